#include "OutputCatalogue.h"

namespace vx {

const QString FormatListSeparator = QString(14, u' ') + QString(41, u'-');

namespace {

// Position of each entry in this table decides its place in the list; the groups (video,
// audio only, Apple devices, other devices) are separated where the index jumps below.
const std::vector<TheAVCodec> Catalogue = {
    {"3GP - Mobile Video Format (*.3gp)", "3GP", 0},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2", 1},
    {"ASF - Advance Streaming Format (*.asf)", "ASF", 38},
    {"AVI - Audio Video Interleave (*.avi)", "AVI", 22},
    {"AVI - DivX Video (*.avi)", "AVI", 23},
    {"AVI - Uncompress (*.avi)", "AVI", 25},
    {"AVI - XviD Video (*.avi)", "AVI", 24},
    {"DVD - DVD Mpeg2 Format (*.mpg)", "MPG", 47},
    {"FLV - Flash Video (*.flv)", "FLV", 33},
    {"MOV - QuickTime Video (*.mov)", "MOV", 26},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4", 27},
    {"MPEG-1 Movie (*.mpg)", "MPG", 28},
    {"MPEG-2 Movie (*.mpg)", "MPG", 29},
    {"RM - Real Video (*.rm)", "RM", 30},
    {"SWF - Flash Swf (*.swf)", "SWF", 32},
    {"Super Video CD (*.mpg)", "MPG", 35},
    {"Video CD (*.mpg)", "MPG", 34},
    {"WMV - Windows Media Video (*.wmv)", "WMV", 31},
    // separator
    {"AAC - Advance Audio Coding (*.aac)", "AAC", 37},
    {"AU - SUN Audio (*.au)", "AU", 39},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A", 40},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2", 46},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", 41},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG", 42},
    {"RA - Real Audio (*.ra)", "RA", 43},
    {"WAV - Waveform Audio (*.wav)", "WAV", 44},
    {"WMA - Windows Media Audio (*.wma)", "WMA", 45},
    // separator
    {"iPad (*.mp4)", "MP4", 2},
    {"iPod (*.mp4)", "MP4", 3},
    {"iPod Touch (*.mp4)", "MP4", 13},
    {"iPhone (*.mp4)", "MP4", 18},
    // separator
    {"Archos AV500/GMini402 (*.avi)", "AVI", 63},
    {"Archos AV700 (*.avi)", "AVI", 64},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4", 67},
    {"BlackBerry AVI Video (*.avi)", "AVI", 68},
    {"BlackBerry 3GP Video (*.3gp)", "3GP", 69},
    {"Creative Zen Vision (*.avi)", "AVI", 65},
    {"iRiver PMP100 (*.avi)", "AVI", 66},
    {"PSP Video (*.mp4)", "MP4", 53},
    {"PS3 Video (*.mp4)", "MP4", 58},
    {"Zune Mpeg4 Video (*.mp4)", "MP4", 49},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV", 50},
};

// Catalogue indices before which a separator stands.
constexpr int GroupStarts[] = {18, 27, 31};

} // namespace

const std::vector<TheAVCodec>& AVCodecs() {
    return Catalogue;
}

QStringList FormatListItems() {
    QStringList items;
    const int* nextGroup = std::begin(GroupStarts);
    for (int i = 0; i < static_cast<int>(Catalogue.size()); ++i) {
        if (nextGroup != std::end(GroupStarts) && *nextGroup == i) {
            items << FormatListSeparator;
            ++nextGroup;
        }
        items << Catalogue[i].ComboText;
    }
    return items;
}

bool IsFormatListSeparator(const QString& AText) {
    static const QString mark = QString(14, u' ') + QStringLiteral("----");
    return AText.contains(mark);
}

const TheAVCodec* FindAVCodec(const QString& AText) {
    for (const TheAVCodec& codec : Catalogue)
        if (codec.ComboText == AText)
            return &codec;
    return nullptr;
}

} // namespace vx
