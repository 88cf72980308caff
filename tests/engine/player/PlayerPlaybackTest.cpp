// Playing generated clips headless: SDL draws into a window without a display of the player's own
// and plays into the disk audio driver. States in order, the end of the clip, opening
// paused, a second file, stopping, seeking onto a numbered picture, and the sound that
// reaches the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/PlatformBridge.h"
#include "base/SteadyClock.h"
#include "play/FFPlay.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

TTempDir* g_dir = nullptr;
std::string Media(const std::string& AName) {
    return g_dir->File(AName);
}
TFileName Name(const std::string& AName) {
    const std::string path = Media(AName);
    return TFileName(path.begin(), path.end());
}

int ThreadCount() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                          std::filesystem::directory_iterator{}));
}

class PlayerPlaybackTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_dir = new TTempDir;
        // Three seconds of pattern and tone with a key frame every second.
        TMediaSpec clip = Mp4H264Aac();
        clip.Seconds = 3;
        clip.Videos[0].GopSize = 25;
        WriteMedia(Media("clip.mp4"), clip);
        WriteMedia(Media("short.avi"), AviMpeg4Mp3());
        WriteMedia(Media("tone.wav"), WavPcm());
        WriteTextFile(Media("text.avi"), "not a video");
    }
    static void TearDownTestSuite() {
        delete g_dir;
        g_dir = nullptr;
    }

    void SetUp() override {
        if (!std::getenv("SDL_VIDEODRIVER"))
            setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", Media("audio.raw").c_str(), 1);
        unsetenv("SDL_DISKAUDIODELAY"); // the disk driver keeps real time
        FBaseline = ThreadCount();
        FPlayer = std::make_unique<TZADorovu>();
        ASSERT_TRUE(FPlayer->LoadAVLib("", true)) << FPlayer->LastErrMsg();
        FPlayer->OnState = [this](TCustomPlayer*, TPlayState AState) {
            std::lock_guard lock(FLock);
            FStates.push_back(AState);
            FStateTimes.push_back(SteadyMicroseconds());
        };
    }
    void TearDown() override { FPlayer.reset(); }

    std::vector<TPlayState> States() {
        std::lock_guard lock(FLock);
        return FStates;
    }
    bool WaitForState(TPlayState AState, int AMilliseconds) {
        return WaitProcessingMessages(
            [&] {
                const auto states = States();
                return std::find(states.begin(), states.end(), AState) != states.end();
            },
            AMilliseconds);
    }
    int64_t TimeOf(TPlayState AState) {
        std::lock_guard lock(FLock);
        for (size_t i = 0; i < FStates.size(); ++i)
            if (FStates[i] == AState)
                return FStateTimes[i];
        return -1;
    }

    int FBaseline = 0;
    std::unique_ptr<TZADorovu> FPlayer;
    std::mutex FLock;
    std::vector<TPlayState> FStates;  // FLock
    std::vector<int64_t> FStateTimes; // FLock
};

TEST_F(PlayerPlaybackTest, PlaysToTheEndInRealTimeAndStopsCleanly) {
    ASSERT_TRUE(FPlayer->Open(Name("short.avi"), 0, false)) << FPlayer->LastErrMsg();
    EXPECT_EQ(FPlayer->VideoStreamIndex(), 0);
    EXPECT_EQ(FPlayer->AudioStreamIndex(), 1);
    // Pictures follow the sound: a second in, the picture of about a second is shown.
    WaitProcessingMessages([] { return false; }, 1000);
    int64_t shown = -1;
    FPlayer->CurrentFrame(shown);
    EXPECT_NEAR(shown, 1000000, 200000);
    ASSERT_TRUE(WaitForState(psEnd, 6000));
    const double played = (TimeOf(psEnd) - TimeOf(psPlay)) / 1e6;
    EXPECT_NEAR(played, 2.0, 0.2);
    EXPECT_NEAR(FPlayer->CurrentPTS(), 2000000, 100000);

    const int64_t start = SteadyMicroseconds();
    FPlayer->Stop(true);
    EXPECT_LT(SteadyMicroseconds() - start, 1000000);
    EXPECT_EQ(States(), (std::vector<TPlayState>{psPlay, psEnd, psStop}));
    EXPECT_EQ(ThreadCount(), FBaseline);
    EXPECT_EQ(FPlayer->PlayState(), psStop);
}

TEST_F(PlayerPlaybackTest, OpenedPausedShowsTwoPicturesThenPauses) {
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    EXPECT_EQ(States(), (std::vector<TPlayState>{psPlay, psPause}));
    EXPECT_TRUE(FPlayer->Paused());
    // Paused means paused: the position stays and no end comes.
    WaitProcessingMessages([] { return false; }, 500);
    int64_t pts = -1;
    FPlayer->CurrentFrame(pts);
    EXPECT_LT(pts, 200000);

    FPlayer->TogglePause();
    ASSERT_TRUE(WaitForState(psResume, 1000));
    EXPECT_FALSE(FPlayer->Paused());
    FPlayer->TogglePause();
    WaitProcessingMessages([&] { return States().back() == psPause; }, 1000);
    EXPECT_EQ(States(), (std::vector<TPlayState>{psPlay, psPause, psResume, psPause}));
}

TEST_F(PlayerPlaybackTest, StepShowsExactlyOneMorePicture) {
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    // Pictures queued before the pause are still shown at their times; wait until the shown
    // picture stays.
    int64_t before = -1;
    int64_t pts = -2;
    WaitProcessingMessages(
        [&] {
            before = pts;
            WaitProcessingMessages([] { return false; }, 300);
            FPlayer->CurrentFrame(pts);
            return pts == before;
        },
        3000);
    ASSERT_EQ(pts, before) << "the paused picture stays";
    ASSERT_LT(pts, 200000) << "the pause came after the first pictures";
    FPlayer->StepToNextFrame();
    ASSERT_TRUE(WaitForState(psStep, 1000));
    WaitProcessingMessages([] { return false; }, 500);
    FPlayer->CurrentFrame(pts);
    EXPECT_EQ(pts, before + 40000);
    EXPECT_TRUE(FPlayer->Paused());
    EXPECT_EQ(FPlayer->PlayState(), psStep);
}

TEST_F(PlayerPlaybackTest, OpeningASecondFileStopsTheFirst) {
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, false)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPlay, 1000));
    ASSERT_TRUE(FPlayer->Open(Name("tone.wav"), 0, false)) << FPlayer->LastErrMsg();
    WaitProcessingMessages([&] { return States().size() >= 3; }, 2000);
    EXPECT_EQ(States(), (std::vector<TPlayState>{psPlay, psStop, psPlay}));
    EXPECT_EQ(FPlayer->VideoStreamIndex(), -1);
    EXPECT_EQ(FPlayer->AudioStreamIndex(), 0);
}

TEST_F(PlayerPlaybackTest, SeekingWithWaitShowsThePictureAtTheTarget) {
    // The frame hook reads the number of each picture that is queued for display.
    std::mutex lock;
    std::vector<std::pair<int64_t, int>> hooked; // lock
    FPlayer->SetFrameHook(true);
    FPlayer->OnFrameHook = [&](TCustomPlayer*, TPicture* APicture, int APixFmt, int, int, int64_t APTS) {
        EXPECT_EQ(APixFmt, AV_PIX_FMT_YUV420P);
        std::lock_guard guard(lock);
        hooked.emplace_back(APTS, PatternNumber(APicture->Data[0], APicture->Linesize[0]));
    };
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    FPlayer->Seek(2000000, 0, true);
    int64_t pts = -1;
    TBitmap* bitmap = nullptr;
    WaitProcessingMessages(
        [&] {
            bitmap = FPlayer->CurrentFrame(pts);
            return pts == 2000000;
        },
        2000);
    ASSERT_EQ(pts, 2000000);
    EXPECT_EQ(bitmap->Width(), 320);
    EXPECT_EQ(bitmap->Height(), 240);
    EXPECT_FALSE(FPlayer->Seeking());
    std::lock_guard guard(lock);
    ASSERT_GE(hooked.size(), 3u);
    EXPECT_EQ(hooked[0], std::make_pair(int64_t(0), 0));
    EXPECT_EQ(hooked.back(), std::make_pair(int64_t(2000000), 50));
}

TEST_F(PlayerPlaybackTest, OpenFailuresLeaveTheReason) {
    EXPECT_FALSE(FPlayer->Open(Name("text.avi"), 0, false));
    EXPECT_NE(FPlayer->LastErrMsg().find("text.avi"), std::string::npos) << FPlayer->LastErrMsg();
    EXPECT_FALSE(FPlayer->Open(Name("missing.avi"), 0, false));
    EXPECT_NE(FPlayer->LastErrMsg().find("missing.avi"), std::string::npos) << FPlayer->LastErrMsg();
    EXPECT_EQ(ThreadCount(), FBaseline);

    TZADorovu withoutLibraries;
    withoutLibraries.UnloadSDLLib();
    EXPECT_FALSE(withoutLibraries.Open(Name("clip.mp4"), 0, false));
    EXPECT_EQ(withoutLibraries.LastErrMsg(), "sdl not loaded.");
}

TEST_F(PlayerPlaybackTest, OddFrameSizesAreRefused) {
    FPlayer->SetFrameWidth(320);
    EXPECT_THROW(
        {
            try {
                FPlayer->SetFrameWidth(321);
            } catch (const std::invalid_argument& e) {
                EXPECT_STREQ(e.what(), "Frame size must be a multiple of 2");
                throw;
            }
        },
        std::invalid_argument);
    EXPECT_EQ(FPlayer->FrameWidth(), 320);
    EXPECT_THROW(FPlayer->SetFrameHeight(97), std::invalid_argument);
}

// The sound that reaches the device: the whole clip, scaled by the volume.
TEST_F(PlayerPlaybackTest, TheDeviceGetsTheWholeClipAtTheSetVolume) {
    struct TCase {
        int Volume;
        bool Mute;
    };
    int16_t fullPeak = 0;
    for (const TCase c : {TCase{128, false}, TCase{64, false}, TCase{128, true}}) {
        setenv("SDL_DISKAUDIODELAY", "0", 1); // as fast as the device takes it
        std::filesystem::remove(Media("audio.raw"));
        FPlayer->SetAudioVolume(c.Volume);
        FPlayer->SetMute(c.Mute);
        {
            std::lock_guard lock(FLock);
            FStates.clear();
        }
        ASSERT_TRUE(FPlayer->Open(Name("tone.wav"), 0, false)) << FPlayer->LastErrMsg();
        ASSERT_TRUE(WaitForState(psEnd, 6000));
        FPlayer->Stop(true);

        std::vector<int16_t> pcm(static_cast<size_t>(FileSize(Media("audio.raw"))) / 2);
        std::ifstream(Media("audio.raw"), std::ios::binary)
            .read(reinterpret_cast<char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
        // Faster than real time the device may run dry between packets and get silence:
        // count the sample frames that carry the tone.
        int16_t peak = 0;
        size_t soundFrames = 0;
        for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
            peak = std::max<int16_t>(peak,
                                     static_cast<int16_t>(std::max(std::abs(pcm[i]), std::abs(pcm[i + 1]))));
            if (pcm[i] || pcm[i + 1])
                ++soundFrames;
        }
        if (c.Mute) {
            EXPECT_EQ(peak, 0);
            continue;
        }
        // Two seconds of 44.1 kHz stereo, each sample frame once.
        EXPECT_NEAR(double(soundFrames), 2 * 44100, 64) << "volume " << c.Volume;
        if (c.Volume == 128)
            fullPeak = peak;
        else
            EXPECT_NEAR(peak, fullPeak / 2, 2);
    }
}

} // namespace
