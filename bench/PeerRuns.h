// Whole programs converting the benchmark's source: ours (the command line), the floor
// (this benchmark's own minimal loop, in a process of its own) and a Debian peer,
// HandBrakeCLI, told to use the same encoders, rates and picture as our MP4 default.
#pragma once

#include <string>
#include <vector>

namespace vx::bench {

// What one whole process cost, from its start to its exit.
struct TProcessFigures {
    double WallSeconds = 0;
    double CpuSeconds = 0; // user and system time of the process and its threads
    long PeakKiB = 0;      // its largest resident size
    long long OutputBytes = 0;
};

// Runs AArgv (the program first) with its output and messages sent to ALogFile, waits for
// it and measures it; AOutputFile is what it should have written. Throws
// std::runtime_error when the program fails or writes nothing.
TProcessFigures RunProgram(const std::vector<std::string>& AArgv, const std::string& ALogFile,
                           const std::string& AOutputFile);

// The arguments that make HandBrakeCLI convert ASource into AOutput as our MP4 default does:
// MPEG-4 part 2 at 6000 kbit/s, the source's AWidth x AHeight at a constant ARate frames per
// second, AAC 128 kbit/s 44.1 kHz stereo, with none of its picture filters or cropping.
std::vector<std::string> HandBrakeArgs(const std::string& ASource, const std::string& AOutput, int AWidth,
                                       int AHeight, int ARate);

} // namespace vx::bench
