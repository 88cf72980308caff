// Which catalogue entries this build of the media libraries can write. An entry needs the
// muxer its files get and the encoders its default choices name (with the stand-ins the
// transcoder uses); one that lacks any of them cannot work and says why. The libraries must
// be loaded.
#pragma once

#include <QString>
#include <vector>

#include "OutputCatalogue.h"

namespace vx {

struct TFormatAvailability {
    bool Available = true;
    // Why the entry cannot work, e.g. "Not available here: this build of the media libraries
    // has no encoder \"libxvid\" (video)."
    QString Reason;
};

TFormatAvailability CheckFormatAvailability(const TheAVCodec& AEntry);

// Every entry of AVCodecs(), in order.
std::vector<TFormatAvailability> CheckFormatAvailabilities();

} // namespace vx
