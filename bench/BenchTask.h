// The task both conversions of the benchmark follow: the MP4 entry's defaults, read from
// the window's lists by the task builder, as the window builds a row's task.
#pragma once

#include <string>

#include "TaskBuilder.h"

namespace vx::bench {

// The task for converting ASource into AOutputFolder, with "threads=AThreads" added to the
// option text of the input (the decoders take their thread count when the input is opened)
// and of the output (the encoders take theirs when the output is opened). The window sends
// no thread count, which leaves the engine's default of 1. Throws std::runtime_error when
// the task cannot be built.
TEncoderTask BuildMP4Task(const std::string& ASource, const std::string& AOutputFolder, int AThreads);

} // namespace vx::bench
