// How far sound and picture drift apart while the player plays a 720p clip in real time.
//
// A generated clip (1280x720 25 fps H.264 at 4 Mbit/s with AAC 48 kHz stereo, in MP4) plays
// through SDL's disk audio driver, which writes each 1024-sample chunk to a file when its
// time comes, into a window without a display. Every 10 ms the program compares what is
// heard, the sound handed to the device so far (the file's length, less half a chunk for
// the chunk playing), with what is seen, the time of the picture on screen
// (CurrentFrame). It prints that offset (heard minus seen) second by second, its median
// and its largest size, how much it moved from the first second to the last, and how
// many pictures were queued for display and how many were seen on screen. A picture stays
// on screen for a picture's time (40 ms), so perfectly timed playback gives offsets spread
// evenly between 0 and 40 ms; the offset beyond that span ("off") is what sound and
// picture are really apart.
//
//   vantorix_player_bench [--seconds S]      (default: a 10 s clip)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MediaFixtures.h"
#include "base/SteadyClock.h"
#include "play/FFPlay.h"

using namespace vx;

namespace {

constexpr int SampleRate = 48000;
constexpr int Channels = 2;
constexpr double BytesPerSecond = SampleRate * Channels * 2.0;
constexpr double ChunkSeconds = 1024.0 / SampleRate;
constexpr int PictureRate = 25;

// How far AOffset (heard minus seen) lies outside the time the seen picture is shown for.
double Off(double AOffset) {
    return AOffset < 0 ? AOffset : std::max(0.0, AOffset - 1.0 / PictureRate);
}

// The value of AValues farthest from zero.
double Largest(const std::vector<double>& AValues) {
    double largest = 0;
    for (double v : AValues)
        largest = std::fabs(v) > std::fabs(largest) ? v : largest;
    return largest;
}

struct TSample {
    double At;     // seconds since the playback started
    double Offset; // heard minus seen, seconds
};

double Median(std::vector<double> AValues) {
    if (AValues.empty())
        return 0;
    std::sort(AValues.begin(), AValues.end());
    return AValues[AValues.size() / 2];
}

// The one-minute load average, e.g. "0.42".
std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string first;
    in >> first;
    return first.empty() ? "unknown" : first;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_NUMERIC, "C");
    double seconds = 10;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(2.0, std::atof(argv[i + 1]));

    fixtures::TTempDir dir;
    const std::string clip = dir.File("clip.mp4");
    const std::string audio = dir.File("audio.raw");
    std::printf("writing a %.0f s 1280x720 H.264/AAC clip ...\n", seconds);
    fixtures::TMediaSpec spec{
        "mp4", {{"libx264", 1280, 720, {PictureRate, 1}, 4000000}}, {{"aac", SampleRate, Channels}}, seconds};
    fixtures::WriteMedia(clip, spec);

    if (!std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", audio.c_str(), 1);
    unsetenv("SDL_DISKAUDIODELAY"); // the disk driver keeps real time

    TZADorovu player;
    if (!player.LoadAVLib("", true)) {
        std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
        return 1;
    }
    player.SetTriggerEventInMainThread(false);
    std::atomic<int> queued{0};
    std::atomic<bool> ended{false};
    player.SetFrameHook(true);
    player.OnFrameHook = [&](TCustomPlayer*, TPicture*, int, int, int, int64_t) { ++queued; };
    player.OnState = [&](TCustomPlayer*, TPlayState AState) {
        if (AState == psEnd || AState == psStop)
            ended = true;
    };
    std::printf("load average before playing: %s\n", LoadAverage().c_str());
    const TFileName name(clip.begin(), clip.end());
    if (!player.Open(name, 0, false)) {
        std::fprintf(stderr, "%s\n", player.LastErrMsg().c_str());
        return 1;
    }
    const int64_t start = SteadyMicroseconds();
    std::vector<TSample> samples;
    std::set<int64_t> seen;
    while (!ended && SteadyMicroseconds() - start < int64_t((seconds + 5) * 1e6)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::error_code error;
        const auto bytes = std::filesystem::file_size(audio, error);
        int64_t pts = -1;
        player.CurrentFrame(pts);
        if (error || bytes == 0 || pts < 0)
            continue;
        seen.insert(pts);
        const double heard = bytes / BytesPerSecond - ChunkSeconds / 2;
        samples.push_back({(SteadyMicroseconds() - start) / 1e6, heard - pts / 1e6});
    }
    player.Stop(true);
    std::printf("load average after playing: %s\n", LoadAverage().c_str());
    if (samples.empty()) {
        std::fprintf(stderr, "nothing was heard and seen\n");
        return 1;
    }

    std::printf("\nsecond  median offset ms  largest ms  median off ms  largest off ms  (offset: heard minus "
                "seen; off: beyond the picture's 40 ms)\n");
    std::vector<double> all, allOff, first, last;
    const int wholeSeconds = static_cast<int>(std::ceil(samples.back().At));
    for (int s = 0; s < wholeSeconds; ++s) {
        std::vector<double> inSecond, off;
        for (const TSample& sample : samples)
            if (sample.At >= s && sample.At < s + 1) {
                inSecond.push_back(sample.Offset * 1000);
                off.push_back(Off(sample.Offset) * 1000);
            }
        if (inSecond.empty())
            continue;
        std::printf("%6d  %16.1f  %10.1f  %13.1f  %14.1f\n", s, Median(inSecond), Largest(inSecond),
                    Median(off), Largest(off));
        all.insert(all.end(), inSecond.begin(), inSecond.end());
        allOff.insert(allOff.end(), off.begin(), off.end());
        if (first.empty())
            first = inSecond;
        last = inSecond;
    }
    const int pictures = static_cast<int>(std::lround(seconds * PictureRate));
    std::printf("\noffset over the playback: median %.1f ms, largest %.1f ms; drift from the first second "
                "to the last %.1f ms\n",
                Median(all), std::fabs(Largest(all)), Median(last) - Median(first));
    std::vector<double> offSizes;
    for (double v : allOff)
        offSizes.push_back(std::fabs(v));
    std::sort(offSizes.begin(), offSizes.end());
    std::printf("beyond the picture on screen: median %.1f ms, 99th percentile %.1f ms, largest %.1f ms\n",
                Median(allOff), offSizes[offSizes.size() * 99 / 100], std::fabs(Largest(allOff)));
    std::printf("pictures: %d in the clip, %d queued for display, %zu seen on screen (sampled every 10 ms), "
                "%d not seen\n",
                pictures, queued.load(), seen.size(), pictures - static_cast<int>(seen.size()));
    return 0;
}
