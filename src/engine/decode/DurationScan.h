// The length of a file whose container does not tell it. The library then guesses it from
// a bit rate, which for an elementary stream is the header's maximum rate and can be off
// by orders of magnitude (a 5 s MPEG-1 video stream shown as 0.02 s). The packets'
// timestamps tell the real length.
#pragma once

#include <string>

#include "base/FFApi.h"

namespace vx {

// Whether AContext's duration is only the library's guess from a bit rate.
bool DurationIsGuessed(const AVFormatContext* AContext);

// Reads the packets of AURL (UTF-8; a file on disk, opened anew with AContext's format, so
// that AContext keeps its position) and replaces the duration of AContext and of its
// streams by the span of their timestamps. Files larger than what is read are measured
// from the part that was read, in proportion to their size. Returns false, leaving
// AContext as it was, when AURL is no file on disk or its packets carry no timestamps.
bool MeasureDuration(AVFormatContext* AContext, const std::string& AURL);

} // namespace vx
