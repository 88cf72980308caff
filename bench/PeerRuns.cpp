#include "PeerRuns.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vx::bench {

TProcessFigures RunProgram(const std::vector<std::string>& AArgv, const std::string& ALogFile,
                           const std::string& AOutputFile) {
    std::vector<char*> argv;
    for (const std::string& a : AArgv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        const int log = open(ALogFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "%s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
    TProcessFigures f;
    f.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto seconds = [](const timeval& ATime) { return double(ATime.tv_sec) + ATime.tv_usec / 1e6; };
    f.CpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    // The child's figure also covers the moment between the fork and the exec, when it
    // was a copy of this small launcher; any converter grows far beyond that.
    f.PeakKiB = usage.ru_maxrss;
    std::error_code error;
    f.OutputBytes = static_cast<long long>(std::filesystem::file_size(AOutputFile, error));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || error || f.OutputBytes == 0)
        throw std::runtime_error("\"" + AArgv[0] + "\" failed; see " + ALogFile);
    return f;
}

std::vector<std::string> HandBrakeArgs(const std::string& ASource, const std::string& AOutput, int AWidth,
                                       int AHeight, int ARate) {
    return {"HandBrakeCLI", "-i", ASource, "-o", AOutput, "-f", "av_mp4",
            // video: the same encoder and rate, the source's picture untouched
            "-e", "mpeg4", "-b", "6000", "-r", std::to_string(ARate), "--cfr", "-w", std::to_string(AWidth),
            "-l", std::to_string(AHeight), "--crop", "0:0:0:0", "--non-anamorphic", "--no-comb-detect",
            "--no-deinterlace", "--no-decomb", "--no-detelecine", "--no-hqdn3d", "--no-nlmeans",
            "--no-chroma-smooth", "--no-unsharp", "--no-lapsharp", "--no-deblock", "--no-grayscale",
            // sound: the library's AAC encoder, as ours
            "-E", "av_aac", "-B", "128", "-R", "44.1", "-6", "stereo"};
}

} // namespace vx::bench
