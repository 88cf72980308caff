// The two conversions the benchmark compares. Each runs in a process of its own (see
// ConvertBench.cpp), so that the peak memory it reports is its own.
#pragma once

#include <cstdint>
#include <string>

namespace vx::bench {

// The MP4 entry of the format list, as the window offers it.
inline constexpr const char* MP4Entry = "MP4 - MPEG4 Video (*.mp4)";

struct TRunResult {
    double Seconds = 0;     // wall time of the conversion itself (libraries already loaded)
    double CpuSeconds = 0;  // processor time of all the process's threads meanwhile
    int64_t Frames = 0;     // video frames encoded
    std::string OutputFile; // what was written
};

// Processor time (user and system) of all threads of this process so far, the ended ones
// included.
double ProcessCpuSeconds();

// The engine: the MP4 entry's default task, built from the window's lists by the task
// builder as the window builds it, with the options dialog's codec thread count at
// AThreads, then run by the encoder component as the batch driver runs it,
// the main thread waiting in Qt's event loop (a QCoreApplication must exist). Without
// AStageThreads the task is told to do everything on its one thread (stage_threads=0). The
// output goes into AOutputFolder. Throws std::runtime_error on failure.
TRunResult RunEngine(const std::string& ASource, const std::string& AOutputFolder, int AThreads,
                     bool AStageThreads = true);

// The floor: the same conversion written directly on the library calls, with nothing a
// wrapper adds — open, decode, scale (when the picture needs it), resample (when the sound
// needs it), encode and mux — and the same encoders with the same settings as the engine's
// MP4 default task, written to the same name in AOutputFolder. Throws std::runtime_error
// on failure.
TRunResult RunFloor(const std::string& ASource, const std::string& AOutputFolder, int AThreads);

} // namespace vx::bench
