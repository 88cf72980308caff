// The task both conversions of the benchmark follow: the MP4 entry's defaults, read from
// the window's lists by the task builder, as the window builds a row's task.
#pragma once

#include <string>

#include "TaskBuilder.h"

namespace vx::bench {

// The task for converting ASource into AOutputFolder as the window builds it, with the codec
// thread count of the options dialog set to AThreads (0: "Use all processor cores", the
// default; 1: the box cleared). Throws std::runtime_error when the task cannot be built.
TEncoderTask BuildMP4Task(const std::string& ASource, const std::string& AOutputFolder, int AThreads);

} // namespace vx::bench
