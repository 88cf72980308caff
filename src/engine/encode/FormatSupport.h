// What this build of the media libraries can write: whether an encoder is there and which
// muxer and default encoders an output file gets. The libraries must be loaded.
#pragma once

#include <string>

namespace vx {

// Encoder names that this library generation no longer has, for which its own "aac" stands in.
bool IsAacStandIn(const std::string& AName);

// The encoder named AName is there, or stands in for it (IsAacStandIn).
bool HasEncoder(const std::string& AName);

// What the transcoder chooses for an output file: the muxer by AFormat when it is set, else by
// the file name's extension, and the encoders the muxer uses when a task names none.
struct TMuxerChoice {
    std::string Muxer;        // empty: this build has no muxer for it
    std::string VideoEncoder; // empty: the muxer takes no video, or this build has no encoder for it
    std::string AudioEncoder;
    std::string VideoCodec; // the codecs the muxer asks for, named even when no encoder is there
    std::string AudioCodec;
};
TMuxerChoice ChooseMuxer(const std::string& AFormat, const std::string& AFileName);

} // namespace vx
