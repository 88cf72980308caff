// Conversion speed and memory of the engine against the floor of any wrapper.
//
// A generated 1280x720 25 fps source (H.264 + AAC 48 kHz stereo in MP4, written once) is
// converted with the MP4 entry's default settings twice over: by the engine (task builder
// and encoder component, as the window does it) and by a minimal decode → scale → encode →
// mux loop written directly on the same library calls (FloorLoop.cpp). Both run with the
// "threads" option at 1 and at 0 (0: the libraries pick), each run in a fresh process of its
// own, so that each peak memory figure belongs to one conversion. Each figure is the median
// of the repeats. Wall times suffer from whatever else the machine runs; the processor
// times beside them much less so.
//
//   vantorix_bench [--seconds S] [--repeats N]      (defaults: 10 s, 3 repeats)
//
// With --stages it compares the engine with itself instead, at 720p and at 1080p with the
// "threads" option at 0: the audio path and the video encoder on threads of their own
// (the default there) against the whole conversion on the task's one thread.
//
// The program re-runs itself for each measurement: "--write-source PATH SECONDS HEIGHT" and
// "--run engine|one-thread|floor|idle THREADS SOURCE FOLDER", which leaves its figures in
// FOLDER/result ("one-thread": the engine with stage_threads=0; "idle" builds the task and
// converts nothing: the memory every measuring process starts from).
#include <QCoreApplication>
#include <QStandardPaths>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BenchRuns.h"
#include "BenchTask.h"
#include "MediaFixtures.h"
#include "PeerRuns.h"
#include "base/FFLoad.h"

using namespace vx;
using namespace vx::bench;

double vx::bench::ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& ATime) { return double(ATime.tv_sec) + ATime.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

namespace {

constexpr int SourceHeight = 720;
constexpr int SourceRate = 25;

// 16:9 pictures of AHeight lines.
int WidthFor(int AHeight) {
    return AHeight * 16 / 9;
}

fixtures::TMediaSpec SourceSpec(double ASeconds, int AHeight) {
    fixtures::TMediaSpec spec = fixtures::Mp4H264Aac();
    spec.Videos[0].Width = WidthFor(AHeight);
    spec.Videos[0].Height = AHeight;
    spec.Videos[0].FrameRate = AVRational{SourceRate, 1};
    spec.Videos[0].BitRate = 4000000;
    spec.Seconds = ASeconds;
    return spec;
}

// The high-water mark of this process's resident memory since its program started. (The
// rusage maximum would also count the parent's pages at the fork.)
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// The one-minute load average, e.g. "0.42".
std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string first;
    in >> first;
    return first.empty() ? "unknown" : first;
}

// ---- The measuring processes ----

int WriteSource(const std::string& APath, double ASeconds, int AHeight) {
    fixtures::WriteMedia(APath, SourceSpec(ASeconds, AHeight));
    return 0;
}

int RunOne(const std::string& AKind, int AThreads, const std::string& ASource, const std::string& AFolder) {
    // Every kind of run gets what the programs set up before converting.
    int argc = 1;
    char name[] = "vantorix_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    // The media libraries read and write numbers in the C locale; Qt has just applied the user's.
    std::setlocale(LC_NUMERIC, "C");
    if (!FFLoader().Load(EncoderLibraries))
        throw std::runtime_error(FFLoader().LastErrMsg());
    if (AKind == "idle") {
        // What every measuring process holds before it converts anything.
        BuildMP4Task(ASource, AFolder, AThreads);
        std::ofstream out(AFolder + "/result");
        out << "0 0 0 " << PeakResidentKiB() << " 0\n";
        return out ? 0 : 1;
    }
    const TRunResult r = AKind == "floor" ? RunFloor(ASource, AFolder, AThreads)
                                          : RunEngine(ASource, AFolder, AThreads, AKind == "engine");
    std::ofstream out(AFolder + "/result");
    out << r.Seconds << ' ' << r.CpuSeconds << ' ' << r.Frames << ' ' << PeakResidentKiB() << ' '
        << std::filesystem::file_size(r.OutputFile) << '\n';
    return out ? 0 : 1;
}

// ---- The parent ----

struct TFigures {
    double Seconds = 0;
    double CpuSeconds = 0;
    long long Frames = 0;
    long PeakKiB = 0;
    long long OutputBytes = 0;
};

// Runs this program again with AArgs and waits for it; throws when it fails.
void RunChild(const std::vector<std::string>& AArgs) {
    std::fflush(nullptr);
    std::vector<char*> argv;
    static char self[] = "/proc/self/exe";
    argv.push_back(self);
    for (const std::string& a : AArgs)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        execv(self, argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the measuring process \"" + AArgs[0] + " " + AArgs[1] + "\" failed");
}

TFigures Measure(const std::string& AKind, int AThreads, const std::string& ASource,
                 const std::string& AFolder) {
    std::filesystem::remove_all(AFolder);
    std::filesystem::create_directories(AFolder);
    RunChild({"--run", AKind, std::to_string(AThreads), ASource, AFolder});
    TFigures f;
    std::ifstream in(AFolder + "/result");
    if (!(in >> f.Seconds >> f.CpuSeconds >> f.Frames >> f.PeakKiB >> f.OutputBytes))
        throw std::runtime_error("no figures from the " + AKind + " run");
    std::filesystem::remove_all(AFolder);
    return f;
}

template <class T> T Median(std::vector<T> AValues) {
    std::sort(AValues.begin(), AValues.end());
    const size_t n = AValues.size();
    return n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
}

struct TSeries {
    std::vector<TFigures> Runs;
    TFigures Median() const {
        std::vector<double> wall, cpu;
        std::vector<long long> frames, bytes;
        std::vector<long> peak;
        for (const TFigures& f : Runs) {
            wall.push_back(f.Seconds);
            cpu.push_back(f.CpuSeconds);
            frames.push_back(f.Frames);
            peak.push_back(f.PeakKiB);
            bytes.push_back(f.OutputBytes);
        }
        return {::Median(wall), ::Median(cpu), ::Median(frames), ::Median(peak), ::Median(bytes)};
    }
};

void PrintRow(const std::string& AThreads, const char* AName, const TSeries& ASeries) {
    const TFigures m = ASeries.Median();
    std::string runs;
    for (const TFigures& f : ASeries.Runs) {
        char text[16];
        std::snprintf(text, sizeof text, "%s%.2f", runs.empty() ? "" : " ", f.Seconds);
        runs += text;
    }
    std::printf("%-9s %-10s %7.2f %7.1f %7.2f %8.1f %12lld %6lld   %s\n", AThreads.c_str(), AName, m.Seconds,
                m.Seconds > 0 ? m.Frames / m.Seconds : 0.0, m.CpuSeconds, m.PeakKiB / 1024.0, m.OutputBytes,
                m.Frames, runs.c_str());
}

// One series against another (ALabel, e.g. "engine/floor"): the ratios of the medians, and
// the median of the wall-time ratios of the runs made one right after the other, which a
// change of the machine's load between runs disturbs least. Returns that paired ratio.
double PrintRatio(const TSeries& AEngine, const TSeries& AFloor, const char* ALabel) {
    const TFigures e = AEngine.Median(), f = AFloor.Median();
    const double wall = e.Seconds / f.Seconds;
    const double fps = (double(e.Frames) / e.Seconds) / (double(f.Frames) / f.Seconds);
    const double cpu = e.CpuSeconds / f.CpuSeconds;
    std::vector<double> pairs;
    for (size_t i = 0; i < AEngine.Runs.size() && i < AFloor.Runs.size(); ++i)
        pairs.push_back(AEngine.Runs[i].Seconds / AFloor.Runs[i].Seconds);
    const double paired = Median(pairs);
    std::printf("%-9s %-10s %6.3fx %6.3fx %6.3fx %7.3fx %11.4fx\n", "", "ratio", wall, fps, cpu,
                double(e.PeakKiB) / f.PeakKiB, double(e.OutputBytes) / f.OutputBytes);
    std::printf("%-17s %s: wall %.3fx (medians), %.3fx (runs side by side); processor %+.1f %%\n\n", "",
                ALabel, wall, paired, (cpu - 1) * 100);
    return paired;
}

// Runs AFirst and ASecond ARepeats times each, alternating which goes first, so that a slow
// drift of the machine's load stays off one side.
std::pair<TSeries, TSeries> Alternate(const std::string& AFirst, const std::string& ASecond, int AThreads,
                                      const std::string& ASource, const std::string& AFolder, int ARepeats) {
    TSeries first, second;
    for (int r = 0; r < ARepeats; ++r) {
        if (r % 2 == 0) {
            first.Runs.push_back(Measure(AFirst, AThreads, ASource, AFolder));
            second.Runs.push_back(Measure(ASecond, AThreads, ASource, AFolder));
        } else {
            second.Runs.push_back(Measure(ASecond, AThreads, ASource, AFolder));
            first.Runs.push_back(Measure(AFirst, AThreads, ASource, AFolder));
        }
    }
    return {first, second};
}

void PrintHeader() {
    std::printf("%-9s %-10s %7s %7s %7s %8s %12s %6s   %s\n", "threads", "run", "wall s", "fps", "cpu s",
                "peak MiB", "output bytes", "frames", "wall s of each run");
}

std::string WriteSourceOf(const fixtures::TTempDir& ADir, double ASeconds, int AHeight) {
    const std::string source = ADir.File("source" + std::to_string(AHeight) + ".mp4");
    RunChild({"--write-source", source, std::to_string(ASeconds), std::to_string(AHeight)});
    std::printf("source:  %dx%d %d fps H.264 + AAC 48 kHz stereo in MP4, %g s, %ld bytes (generated)\n",
                WidthFor(AHeight), AHeight, SourceRate, ASeconds, fixtures::FileSize(source));
    return source;
}

void PrintLoad(const std::string& ABefore) {
    std::printf("load average %s before and %s after, on %ld processors (a busy machine makes the wall "
                "times wobble)\n",
                ABefore.c_str(), LoadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
}

// The engine with its stage threads against the engine on one thread, at 720p and 1080p.
int CompareStages(double ASeconds, int ARepeats) {
    const std::string loadBefore = LoadAverage();
    fixtures::TTempDir dir;
    const std::string folder = dir.File("out");
    std::printf("\"%s\" defaults, \"threads\" 0; each figure is the median of %d runs, each in a fresh "
                "process\n",
                MP4Entry, ARepeats);
    std::printf(
        "staged: audio path and video encoder on threads of their own; one-thread: stage_threads=0\n\n");
    for (const int height : {720, 1080}) {
        const std::string source = WriteSourceOf(dir, ASeconds, height);
        PrintHeader();
        const auto [staged, one] = Alternate("engine", "one-thread", 0, source, folder, ARepeats);
        PrintRow("0 (auto)", "staged", staged);
        PrintRow("", "one-thread", one);
        PrintRatio(staged, one, "staged/one-thread");
    }
    PrintLoad(loadBefore);
    return 0;
}

// A whole program converting one source, as one contender of the side-by-side run.
struct TContender {
    std::string Name;
    std::vector<std::string> Argv;
    std::string Output;
    std::vector<TProcessFigures> Runs;
};

// Ours (the command line with the MP4 default, all cores and with one thread), the floor
// and HandBrakeCLI, each a whole process from start to exit, in rotating order.
int ComparePeers(double ASeconds, int ARepeats) {
    const std::string loadBefore = LoadAverage();
    fixtures::TTempDir dir;
    const std::string folder = dir.File("out");
    const bool handBrake = !QStandardPaths::findExecutable("HandBrakeCLI").isEmpty();
    std::printf(
        "whole programs, from start to exit (loading and reading the source included); each figure is "
        "the median of %d runs in rotating order\n",
        ARepeats);
    std::printf("ours: vantorix-cli convert with \"%s\" defaults (--threads 0, the default: all cores)\n"
                "ours, 1 thread: the same with --threads 1 (every codec and stage on one thread)\n"
                "floor: this benchmark's minimal loop on the same calls, codec threads 0, in a process of "
                "its own\n"
                "HandBrakeCLI: mpeg4 6000 kbit/s at the source's size and rate, av_aac 128 kbit/s 44.1 kHz "
                "stereo, no filters\n\n",
                MP4Entry);
    if (!handBrake)
        std::printf("HandBrakeCLI is not installed (bench/run.sh peers installs it): left out\n\n");
    for (const int height : {720, 1080}) {
        const std::string source = WriteSourceOf(dir, ASeconds, height);
        const std::string converted = folder + "/" + std::filesystem::path(source).filename().string();
        const std::vector<std::string> cli = {VANTORIX_CLI_PATH, "convert", "-f", MP4Entry, "-o", folder,
                                              "--overwrite",     source};
        std::vector<TContender> contenders = {
            {"ours", cli, converted, {}},
            {"ours, 1 thread", cli, converted, {}},
            {"floor", {"/proc/self/exe", "--run", "floor", "0", source, folder}, converted, {}},
        };
        contenders[1].Argv.insert(contenders[1].Argv.end() - 1, {"--threads", "1"});
        if (handBrake)
            contenders.push_back(
                {"HandBrakeCLI",
                 HandBrakeArgs(source, folder + "/peer.mp4", WidthFor(height), height, SourceRate),
                 folder + "/peer.mp4",
                 {}});
        for (int r = 0; r < ARepeats; ++r)
            for (size_t i = 0; i < contenders.size(); ++i) {
                TContender& c = contenders[(i + r) % contenders.size()];
                std::filesystem::remove_all(folder);
                std::filesystem::create_directories(folder);
                c.Runs.push_back(RunProgram(c.Argv, dir.File("log.txt"), c.Output));
            }
        std::printf("%-15s %7s %7s %8s %12s   %s\n", "run", "wall s", "cpu s", "peak MiB", "output bytes",
                    "wall s of each run");
        auto median = [](const TContender& AC, auto AField) {
            std::vector<double> values;
            for (const TProcessFigures& f : AC.Runs)
                values.push_back(double(AField(f)));
            return Median(values);
        };
        const auto wall = [](const TProcessFigures& F) { return F.WallSeconds; };
        const auto peak = [](const TProcessFigures& F) { return F.PeakKiB; };
        for (const TContender& c : contenders) {
            std::string runs;
            for (const TProcessFigures& f : c.Runs) {
                char text[16];
                std::snprintf(text, sizeof text, "%s%.2f", runs.empty() ? "" : " ", f.WallSeconds);
                runs += text;
            }
            std::printf("%-15s %7.2f %7.2f %8.1f %12.0f   %s\n", c.Name.c_str(), median(c, wall),
                        median(c, [](const TProcessFigures& F) { return F.CpuSeconds; }),
                        median(c, peak) / 1024,
                        median(c, [](const TProcessFigures& F) { return F.OutputBytes; }), runs.c_str());
        }
        // Ours against each other contender: the ratio of the medians and the median of
        // the ratios of runs made in the same round.
        for (size_t i = 1; i < contenders.size(); ++i) {
            std::vector<double> pairs;
            for (int r = 0; r < ARepeats; ++r)
                pairs.push_back(contenders[0].Runs[r].WallSeconds / contenders[i].Runs[r].WallSeconds);
            std::printf("ours / %-15s wall %.3fx (medians), %.3fx (same round); peak memory %.2fx\n",
                        contenders[i].Name.c_str(), median(contenders[0], wall) / median(contenders[i], wall),
                        Median(pairs), median(contenders[0], peak) / median(contenders[i], peak));
        }
        std::printf("\n");
    }
    PrintLoad(loadBefore);
    return 0;
}

int Parent(double ASeconds, int ARepeats) {
    const std::string loadBefore = LoadAverage();
    fixtures::TTempDir dir;
    const std::string source = WriteSourceOf(dir, ASeconds, SourceHeight);
    const std::string folder = dir.File("out");

    {
        // What the MP4 entry asks for, as the task builder reads it (each measuring process
        // builds the task again).
        if (!FFLoader().Load(EncoderLibraries))
            throw std::runtime_error(FFLoader().LastErrMsg());
        const TOutputOptions o = BuildMP4Task(source, dir.Path(), 1).OutputOptions;
        auto orElse = [](const std::string& AValue, const char* AOtherwise) {
            return AValue.empty() ? std::string(AOtherwise) : "\"" + AValue + "\"";
        };
        std::printf("task:    \"%s\" defaults: video %s, %d bit/s, size %s, rate %s, aspect %s;\n"
                    "         audio %s, %d bit/s, %d Hz, %d channels; volume %d\n",
                    MP4Entry, orElse(o.VideoCodec, "the container's encoder").c_str(), o.VideoBitrate,
                    orElse(o.FrameSize, "the source's").c_str(), orElse(o.FrameRate, "the source's").c_str(),
                    o.FrameAspectRatio.c_str(), orElse(o.AudioCodec, "the container's encoder").c_str(),
                    o.AudioBitrate, o.AudioSampleRate, o.AudioChannels, o.AudioVolume);
    }
    const TFigures idle = Measure("idle", 1, source, folder);
    std::printf("before converting, a measuring process holds %.1f MiB (libraries loaded, task built)\n",
                idle.PeakKiB / 1024.0);
    std::printf("each figure is the median of %d runs, each in a fresh process; times run from opening the "
                "source to the closed output\n\n",
                ARepeats);
    PrintHeader();

    bool within = true;
    for (const int threads : {1, 0}) {
        const auto [engine, floor] = Alternate("engine", "floor", threads, source, folder, ARepeats);
        PrintRow(std::to_string(threads) + (threads == 0 ? " (auto)" : ""), "engine", engine);
        PrintRow("", "floor", floor);
        within = PrintRatio(engine, floor, "engine/floor") <= 1.05 && within;
    }
    std::printf("%s\n", within ? "side by side, the engine's wall time stays within 5 % of the floor's"
                               : "side by side, the engine's wall time is MORE than 5 % above the floor's");
    PrintLoad(loadBefore);
    return 0;
}

double NumberArg(const char* AText, const char* AName) {
    char* end = nullptr;
    const double value = std::strtod(AText, &end);
    if (end == AText || *end || !(value > 0))
        throw std::invalid_argument(std::string(AName) + " takes a positive number, not \"" + AText + "\"");
    return value;
}

} // namespace

int main(int argc, char* argv[]) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 4 && args[0] == "--write-source")
            return WriteSource(args[1], NumberArg(args[2].c_str(), "--write-source"),
                               static_cast<int>(NumberArg(args[3].c_str(), "--write-source")));
        if (args.size() == 5 && args[0] == "--run" &&
            (args[1] == "engine" || args[1] == "one-thread" || args[1] == "floor" || args[1] == "idle"))
            return RunOne(args[1], std::atoi(args[2].c_str()), args[3], args[4]);
        double seconds = 10;
        int repeats = 3;
        std::string mode;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--stages" || args[i] == "--peers")
                mode = args[i];
            else if (args[i] == "--seconds" && i + 1 < args.size())
                seconds = NumberArg(args[++i].c_str(), "--seconds");
            else if (args[i] == "--repeats" && i + 1 < args.size())
                repeats = static_cast<int>(NumberArg(args[++i].c_str(), "--repeats"));
            else
                throw std::invalid_argument(
                    "usage: vantorix_bench [--stages|--peers] [--seconds S] [--repeats N]");
        }
        repeats = std::max(repeats, 1);
        if (mode == "--stages")
            return CompareStages(seconds, repeats);
        return mode == "--peers" ? ComparePeers(seconds, repeats) : Parent(seconds, repeats);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantorix_bench: %s\n", e.what());
        return 2;
    }
}
