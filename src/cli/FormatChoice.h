// Naming the window's choices on the command line: an output format by its text or short name,
// and the eight advanced settings lists by their labels.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace vx {
class TConversionSettings;
class TSettingsList;
} // namespace vx

namespace vx::cli {

// A list's label without its colon and padding: "Audio Bitrate :" gives "Audio Bitrate".
QString ListName(const TSettingsList& AList);

// The advanced panel's lists in the panel's order: video codec, size, bitrate and frame rate, then
// audio codec, bitrate, channels and sampling rate.
std::vector<TSettingsList*> AdvancedLists(TConversionSettings& ASettings);

// The position in the format list of the entry that ATextOrName names: its exact text first;
// otherwise, ignoring case, the name in front of " - " ("MP4" for "MP4 - MPEG4 Video (*.mp4)");
// otherwise the short output name ("MPG"), when only one entry has it. Throws TUsageError for a
// text that names no entry or several, listing the candidates.
int FindFormatPosition(const QString& ATextOrName);

// "LIST=ITEM": selects ITEM (exact text) in the advanced list whose name is LIST (any case).
// Throws TUsageError naming the lists, or the items of the list, when either is unknown.
void ApplySetting(TConversionSettings& ASettings, const QString& AAssignment);

} // namespace vx::cli
