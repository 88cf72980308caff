// The choices each output format offers in the advanced settings lists, and their defaults.
#pragma once

#include <QString>
#include <QStringList>

namespace vx {

// The items of one list and the item it starts on. No items: the list stays empty and unselected.
struct TProfileList {
    QStringList Items;
    QString Default;
};

// One profile: the seven lists that change with the output format.
struct TProfile {
    TProfileList VideoCodec;
    TProfileList VideoSize;
    TProfileList VideoBitrate;
    TProfileList VideoFramerate;
    TProfileList AudioCodec;
    TProfileList AudioBitrate;
    TProfileList SamplingRate;
};

// The profile of a catalogue entry's Number; nullptr for a number no entry uses.
const TProfile* FindProfile(int ANumber);

} // namespace vx
