// Playing generated clips headless: SDL draws into a window without a display of the player's own
// and plays into the disk audio driver. States in order, the end of the clip, opening
// paused, a second file, stopping, seeking onto a numbered picture, and the sound that
// reaches the device.
#include <chrono>
#include <fstream>

#include "PlayerHarness.h"

using namespace vx;
using namespace vx::fixtures;
using namespace vx::playertest;

namespace {

class PlayerPlaybackTest : public TPlayerHarness {
protected:
    static void SetUpTestSuite() {
        WriteMedia(Media("clip.mp4"), KeyFrameEverySecondClip());
        WriteMedia(Media("short.avi"), AviMpeg4Mp3());
        TMediaSpec avi = AviMpeg4Mp3();
        avi.Seconds = 3;
        avi.Videos[0].GopSize = 25;
        WriteMedia(Media("seek.avi"), avi);
        WriteMedia(Media("tone.wav"), WavPcm());
        WriteTextFile(Media("text.avi"), "not a video");
    }
    static void TearDownTestSuite() { FreeDir(); }
};

TEST_F(PlayerPlaybackTest, PlaysToTheEndInRealTimeAndStopsCleanly) {
    ASSERT_TRUE(FPlayer->Open(Name("short.avi"), 0, false)) << FPlayer->LastErrMsg();
    EXPECT_EQ(FPlayer->VideoStreamIndex(), 0);
    EXPECT_EQ(FPlayer->AudioStreamIndex(), 1);
    // Pictures follow the sound: a second in, the picture of about a second is shown.
    Idle(1000);
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
    Idle(500);
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
    // Pictures queued before the pause are still shown at their times.
    int64_t pts = SettledPicture();
    ASSERT_LT(pts, 200000) << "the pause came after the first pictures";
    for (int step = 1; step <= 5; ++step) {
        const int64_t before = pts;
        FPlayer->StepToNextFrame();
        WaitProcessingMessages(
            [&] {
                FPlayer->CurrentFrame(pts);
                return pts != before;
            },
            10000);
        pts = SettledPicture();
        EXPECT_EQ(pts, before + 40000) << "step " << step;
        EXPECT_TRUE(FPlayer->Paused());
    }
    EXPECT_EQ(FPlayer->PlayState(), psStep);
    // Steps in a row stay in one stepping state.
    EXPECT_EQ(States(), (std::vector<TPlayState>{psPlay, psPause, psStep}));
    FPlayer->Resume();
    ASSERT_TRUE(WaitForState(psResume, 1000));
    Idle(500);
    EXPECT_FALSE(FPlayer->Paused()) << "a resumed playback is not paused again by a step";
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

// Both files have a key frame every second. In the AVI file every picture after the first
// is stamped one place later (the muxer moved them past the MP3 encoder's priming
// samples), so there the key frame before 2 s is picture 25, stamped 1.04 s.
TEST_F(PlayerPlaybackTest, SeekingWithWaitShowsTheKeyFrameAtOrBeforeTheTarget) {
    struct TCase {
        const char* File;
        int64_t Target;
        int64_t ShownPts;
        int Shown;
    };
    for (const TCase c : {TCase{"clip.mp4", 2000000, 2000000, 50}, TCase{"seek.avi", 2000000, 1040000, 25},
                          TCase{"seek.avi", 2040000, 2040000, 50}}) {
        SCOPED_TRACE(std::string(c.File) + " to " + std::to_string(c.Target));
        // The frame hook reads the number of each picture that is queued for display.
        std::mutex lock;
        std::vector<std::pair<int64_t, int>> hooked; // lock
        FPlayer->SetFrameHook(true);
        FPlayer->OnFrameHook = [&](TCustomPlayer*, TPicture* APicture, int APixFmt, int, int, int64_t APTS) {
            EXPECT_EQ(APixFmt, AV_PIX_FMT_YUV420P);
            std::lock_guard guard(lock);
            hooked.emplace_back(APTS, PatternNumber(APicture->Data[0], APicture->Linesize[0]));
        };
        ClearStates();
        ASSERT_TRUE(FPlayer->Open(Name(c.File), 0, true)) << FPlayer->LastErrMsg();
        ASSERT_TRUE(WaitForState(psPause, 3000));
        FPlayer->Seek(c.Target, 0, true);
        int64_t pts = -1;
        TBitmap* bitmap = nullptr;
        WaitProcessingMessages(
            [&] {
                bitmap = FPlayer->CurrentFrame(pts);
                return pts == c.ShownPts;
            },
            2000);
        EXPECT_EQ(pts, c.ShownPts);
        EXPECT_EQ(bitmap->Width(), 320);
        EXPECT_EQ(bitmap->Height(), 240);
        EXPECT_FALSE(FPlayer->Seeking());
        std::unique_lock guard(lock);
        const auto queued = hooked;
        guard.unlock();
        FPlayer->Stop(true); // playing again to end: more pictures come
        ASSERT_GE(queued.size(), 3u);
        EXPECT_EQ(queued[0], std::make_pair(int64_t(0), 0));
        EXPECT_EQ(queued.back(), std::make_pair(c.ShownPts, c.Shown));
    }
}

// Between a seek and the first picture after it, the position stays where it was instead
// of falling back to the start.
TEST_F(PlayerPlaybackTest, PositionNeverFallsBackToTheStartWhileSeeking) {
    std::mutex lock;
    std::vector<int64_t> positions; // lock
    FPlayer->SetTriggerEventInMainThread(false);
    FPlayer->OnPosition = [&](TCustomPlayer*, int64_t APTS) {
        std::lock_guard guard(lock);
        positions.push_back(APTS);
    };
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, false)) << FPlayer->LastErrMsg();
    Idle(1000);
    size_t before = 0;
    int64_t last = 0;
    {
        std::lock_guard guard(lock);
        before = positions.size();
        ASSERT_GT(before, 0u);
        last = positions.back();
    }
    FPlayer->SeekBy(1.0, 0, true);
    Idle(300);
    FPlayer->Stop(true);
    std::lock_guard guard(lock);
    ASSERT_GT(positions.size(), before);
    // Reports may lag the request by a refresh: none is earlier than the last one before it.
    for (size_t i = before; i < positions.size(); ++i)
        EXPECT_GE(positions[i], last) << "report " << i;
    EXPECT_GT(positions.back(), last + 500000);
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
        ClearStates();
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
