// What the items of the settings lists stand for: the numbers, sizes, rates and ratios the
// engine takes. Each list item keeps its value beside its label (TSettingsList); the value is
// read from the label once, when the item enters its list, by the reader of the list's kind,
// so that whoever builds a task reads values and never labels.
#pragma once

#include <QString>
#include <optional>
#include <string>

namespace vx {

struct TSettingValue {
    // False when the label should hold a number and does not ("fast Kbps"): choosing the item
    // fails the row's task.
    bool Readable = true;
    // A bit rate in bit/s or a sampling rate in Hz; none for an item that sends none ("Original").
    std::optional<int32_t> Number;
    // A frame size ("176x144"), frame rate ("29.97") or aspect ratio ("4:3"); empty: the source's.
    std::string Text;

    bool operator==(const TSettingValue&) const = default;
};

// Digits with at most one point, above zero: "29.97", "11", "15.0".
bool IsPositiveDecimal(const QString& AText);

// Reads the value a label stands for; one reader per kind of list.
using TSettingReader = TSettingValue (*)(const QString& ALabel);

// "384  Kbps" → 384000. Every label gets "000" after its first word ("" → 0).
TSettingValue VideoBitrateValue(const QString& ALabel);
// "128 Kbps" → 128000, "7400 bps" → 7400, "Original" → none.
TSettingValue AudioBitrateValue(const QString& ALabel);
// "44100 Hz" → 44100, "8000  bps" → 8000.
TSettingValue SampleRateValue(const QString& ALabel);
// "176 x 144 (QCIF)" → "176x144", "320 x 240 " → "320x240"; "Original Video Size" and "Auto"
// → the source's size.
TSettingValue FrameSizeValue(const QString& ALabel);
// "29.97 fps [NTSC]" → "29.97", "15.0 fps" → "15.0" (as listed), "PAL" → "25", "NTSC" →
// "29.97", "Auto" or nothing → the source's rate; a label without a usable rate → "25".
TSettingValue FrameRateValue(const QString& ALabel);

} // namespace vx
