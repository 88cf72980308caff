// The player's controls beyond play, pause and seek: relative and byte seeks, stream
// switching, the forced format and frame rate, the aspect setting, the start and play
// times with what happens when the play time is reached, the hooks, flipping and
// deinterlacing, subtitles, the audio displays and the read time-out.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "PlayerHarness.h"

using namespace vx;
using namespace vx::fixtures;
using namespace vx::playertest;

namespace {

class PlayerControlsTest : public TPlayerHarness {
protected:
    static void SetUpTestSuite() {
        WriteMedia(Media("clip.mp4"), KeyFrameEverySecondClip());
        WriteMedia(Media("clip.mpg"), MpegProgramStream());
        WriteMedia(Media("two-audio.mkv"),
                   {"matroska", {{"mpeg4"}}, {{"aac", 48000, 2}, {"aac", 44100, 1}}, 2.0});
        TMediaSpec subtitled{"matroska", {{"mpeg4"}}, {}, 3.0};
        subtitled.BoxSubtitle = true;
        WriteMedia(Media("subtitled.mkv"), subtitled);
    }
    static void TearDownTestSuite() { FreeDir(); }

    // The number of the picture on screen, read through the frame hook (-1: none yet).
    void WatchPictureNumbers() {
        FPlayer->SetFrameHook(true);
        FPlayer->OnFrameHook = [this](TCustomPlayer*, TPicture* APicture, int, int, int, int64_t APTS) {
            std::lock_guard lock(FLock);
            FNumbers.emplace_back(APTS, PatternNumber(APicture->Data[0], APicture->Linesize[0]));
        };
    }
    int ShownNumber() {
        int64_t pts = -1;
        FPlayer->CurrentFrame(pts);
        std::lock_guard lock(FLock);
        for (auto it = FNumbers.rbegin(); it != FNumbers.rend(); ++it)
            if (it->first == pts)
                return it->second;
        return -1;
    }
    int SettledNumber() {
        SettledPicture();
        return ShownNumber();
    }

    std::vector<std::pair<int64_t, int>> FNumbers; // FLock
};

TEST_F(PlayerControlsTest, RelativeSeeksLandOnTheKeyFrameOnTheirSide) {
    WatchPictureNumbers();
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    ASSERT_LT(SettledNumber(), 3);
    struct TCase {
        double Delta;
        int Shown;
    };
    // Key frames at pictures 0, 25 and 50: forward lands on the one at or after the
    // target, backward on the one at or before it.
    for (const TCase c : {TCase{1.0, 50}, TCase{-0.5, 25}, TCase{-1.5, 0}}) {
        SCOPED_TRACE(c.Delta);
        FPlayer->SeekBy(c.Delta, 0, true);
        EXPECT_EQ(SettledNumber(), c.Shown);
        EXPECT_TRUE(FPlayer->Paused());
    }
}

TEST_F(PlayerControlsTest, ByteSeeksLandInsideTheFile) {
    WatchPictureNumbers();
    ASSERT_TRUE(FPlayer->Open(Name("clip.mpg"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    const long size = FileSize(Media("clip.mpg"));
    FPlayer->Seek(size / 2, sfByte, true);
    const int middle = SettledNumber();
    EXPECT_GT(middle, 20);
    EXPECT_LT(middle, 55);
    FPlayer->Seek(0, sfByte, true);
    EXPECT_EQ(SettledNumber(), 0);
}

TEST_F(PlayerControlsTest, StreamSwitchingAndItsRefusals) {
    ASSERT_TRUE(FPlayer->Open(Name("two-audio.mkv"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    ASSERT_EQ(FPlayer->AudioStreamIndex(), 1);
    FPlayer->SetAudioStreamIndex(2);
    EXPECT_EQ(FPlayer->AudioStreamIndex(), 2);
    struct TCase {
        const char* Name;
        AVMediaType Kind;
        int Index;
        const char* Message;
    };
    const TCase refusals[] = {
        {"video as sound", AVMEDIA_TYPE_AUDIO, 0, "the stream type is not matched."},
        {"past the last stream", AVMEDIA_TYPE_AUDIO, 3, "the stream index is not valid."},
        {"no video", AVMEDIA_TYPE_VIDEO, -1, "the stream index is not valid."},
        {"sound as subtitles", AVMEDIA_TYPE_SUBTITLE, 1, "the stream type is not matched."},
    };
    for (const TCase& c : refusals) {
        SCOPED_TRACE(c.Name);
        if (c.Kind == AVMEDIA_TYPE_AUDIO)
            FPlayer->SetAudioStreamIndex(c.Index);
        else if (c.Kind == AVMEDIA_TYPE_VIDEO)
            FPlayer->SetVideoStreamIndex(c.Index);
        else
            FPlayer->SetSubtitleStreamIndex(c.Index);
        EXPECT_EQ(FPlayer->LastErrMsg(), c.Message);
        EXPECT_EQ(FPlayer->AudioStreamIndex(), 2);
        EXPECT_EQ(FPlayer->VideoStreamIndex(), 0);
        EXPECT_EQ(FPlayer->SubtitleStreamIndex(), -1);
    }
    // The other sound plays to the end.
    FPlayer->Resume();
    ASSERT_TRUE(WaitForState(psEnd, 5000));
    EXPECT_EQ(FPlayer->AudioStreamIndex(), 2);

    // Without a video stream there is none to switch from.
    FPlayer->SetDisableVideo(true);
    ASSERT_TRUE(FPlayer->Open(Name("two-audio.mkv"), 0, true)) << FPlayer->LastErrMsg();
    FPlayer->SetVideoStreamIndex(0);
    EXPECT_EQ(FPlayer->LastErrMsg(), "the current stream is not valid.");
    EXPECT_EQ(FPlayer->VideoStreamIndex(), -1);
}

TEST_F(PlayerControlsTest, ForcedFormatAndFrameRate) {
    EXPECT_THROW(FPlayer->SetForceFormat("no such format"), std::invalid_argument);
    EXPECT_THROW(FPlayer->SetForceFrameRate("fast"), std::invalid_argument);
    // A format that cannot read the file: the open fails with the file's name.
    FPlayer->SetForceFormat("wav");
    EXPECT_EQ(FPlayer->ForceFormat(), "wav");
    EXPECT_FALSE(FPlayer->Open(Name("clip.mp4"), 0, true));
    EXPECT_NE(FPlayer->LastErrMsg().find("clip.mp4"), std::string::npos) << FPlayer->LastErrMsg();

    FPlayer->SetForceFormat("mpeg");
    FPlayer->SetForceFrameRate("50");
    TLogLines log;
    ASSERT_TRUE(FPlayer->Open(Name("clip.mpg"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    EXPECT_TRUE(log.Has("frame rate: 25.00 (25/1) -> 50.00 (50/1)"));
}

TEST_F(PlayerControlsTest, AspectSettingRefitsThePausedPicture) {
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    SettledPicture();
    // The window of its own is the picture's size: the top band of 30 rows is picture.
    const TRect band{0, 0, 320, 30};
    EXPECT_EQ(FPlayer->DisplayToActualRect(band), (TRect{0, 0, 320, 30}));
    // At 16:9 the picture is letterboxed into rows 30 to 210: the band is above it.
    FPlayer->SetAspectRatio(16.0f / 9);
    EXPECT_TRUE(
        WaitProcessingMessages([&] { return FPlayer->DisplayToActualRect(band).Height() == 0; }, 1000));
    EXPECT_EQ(FPlayer->DisplayToActualRect({0, 30, 320, 210}), (TRect{0, 0, 320, 240}));
}

// Full screen, a window of its own covers the desktop, and the 4:3 picture fills the
// desktop's height: the desktop's top-left quarter shows a quarter of the picture, where a
// window of the picture's size shows all of it.
TEST_F(PlayerControlsTest, FullScreenCoversTheDesktop) {
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full);
        FPlayer->set_is_full_screen(full);
        ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
        ASSERT_TRUE(WaitForState(psPause, 3000));
        SettledPicture();
        // The dummy video driver's desktop is 1024x768.
        const TRect quarter = FPlayer->DisplayToActualRect({0, 0, 512, 384});
        EXPECT_EQ(quarter, full ? (TRect{0, 0, 160, 120}) : (TRect{0, 0, 320, 240}));
        FPlayer->Stop(true);
        ClearStates();
    }
}

TEST_F(PlayerControlsTest, StartTimeAndWhatThePlayTimeEndsIn) {
    auto shown = [&] {
        int64_t pts = -1;
        FPlayer->CurrentFrame(pts);
        return pts;
    };
    // The play time counts from the start time: the play ends at 2 s.
    for (const TRepeatType repeat : {rtStop, rtPause, rtRewind, rtLoop}) {
        SCOPED_TRACE(repeat);
        ClearStates();
        FPlayer->SetStartTime(1000000);
        FPlayer->SetPlayTime(1000000);
        FPlayer->SetRepeatType(repeat);
        ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, false)) << FPlayer->LastErrMsg();
        ASSERT_TRUE(WaitProcessingMessages([&] { return shown() >= 0; }, 5000));
        EXPECT_GE(shown(), 1000000) << "starts at the start time";
        EXPECT_LT(shown(), 2000000) << "and plays to the play time";
        switch (repeat) {
        case rtStop:
            EXPECT_TRUE(WaitForState(psStop, 10000));
            break;
        case rtPause:
            ASSERT_TRUE(WaitForState(psPause, 10000));
            EXPECT_TRUE(FPlayer->Paused());
            EXPECT_GE(SettledPicture(), 1960000);
            EXPECT_LE(SettledPicture(), 2200000);
            break;
        case rtRewind:
            ASSERT_TRUE(WaitForState(psPause, 10000));
            EXPECT_TRUE(FPlayer->Paused());
            EXPECT_TRUE(WaitProcessingMessages([&] { return SettledPicture() == 1000000; }, 10000));
            break;
        default: // rtLoop: back to the start time, playing on
            EXPECT_TRUE(WaitProcessingMessages([&] { return shown() >= 1900000; }, 10000));
            EXPECT_TRUE(WaitProcessingMessages([&] { return shown() < 1500000; }, 10000));
            EXPECT_FALSE(FPlayer->Paused());
            EXPECT_EQ(FPlayer->PlayState(), psPlay);
            break;
        }
        FPlayer->Stop(true);
    }
}

// The video hook sees each picture as a bitmap and may paint on it; the frame hook, run
// after it, sees what is shown. A hook that throws is reported and changes nothing.
TEST_F(PlayerControlsTest, HooksChangeWhatIsShownOrAreReported) {
    struct TCase {
        const char* Name;
        bool Update;
        bool Throw;
        bool White;
    };
    const TCase cases[] = {
        {"painted", true, false, true},
        {"painted, not taken", false, false, false},
        {"throws", true, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLogLines log;
        std::mutex lock;
        std::vector<int> corners; // lock: mean luma of the top-left 16x16 block of each picture
        FPlayer->SetVideoHook(true);
        FPlayer->OnVideoHook = [&](TCustomPlayer*, TBitmap* ABitmap, int64_t, bool& AUpdate) {
            ABitmap->FillRect(0, 0, 16, 16, TRGBColor{255, 255, 255});
            AUpdate = c.Update;
            if (c.Throw)
                throw std::runtime_error("painting failed");
        };
        FPlayer->SetFrameHook(true);
        FPlayer->OnFrameHook = [&](TCustomPlayer*, TPicture* APicture, int, int, int, int64_t) {
            int sum = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    sum += APicture->Data[0][y * APicture->Linesize[0] + x];
            std::lock_guard guard(lock);
            corners.push_back(sum / 256);
        };
        ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
        ASSERT_TRUE(WaitForState(psPause, 3000));
        FPlayer->Stop(true);
        std::lock_guard guard(lock);
        ASSERT_FALSE(corners.empty());
        for (const int corner : corners)
            EXPECT_EQ(corner > 200, c.White) << corner;
        EXPECT_EQ(log.Has("Error occurs OnVideoHook: painting failed"), c.Throw);
        ClearStates();
    }
    // The frame hook's own exception.
    TLogLines log;
    FPlayer->SetVideoHook(false);
    FPlayer->OnFrameHook = [](TCustomPlayer*, TPicture*, int, int, int, int64_t) {
        throw std::runtime_error("reading failed");
    };
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPause, 3000));
    EXPECT_GE(SettledPicture(), 0) << "pictures are shown all the same";
    EXPECT_TRUE(log.Has("Error occurs OnFrameHook: reading failed"));
}

TEST_F(PlayerControlsTest, TheAudioHookSeesTheSoundOnlyWhenSwitchedOn) {
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on);
        std::atomic<int> calls{0};
        std::atomic<int> format{0};
        FPlayer->SetAudioHook(on);
        FPlayer->OnAudioHook = [&](TCustomPlayer*, int64_t, uint8_t*, int, int ARate, int AChannels) {
            ++calls;
            format = ARate * 10 + AChannels;
        };
        ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, false)) << FPlayer->LastErrMsg();
        Idle(500);
        FPlayer->Stop(true);
        EXPECT_EQ(calls > 0, on);
        EXPECT_EQ(format, on ? 480002 : 0);
    }
}

// Flipped, the top rows of the pattern (where its number is) come out at the bottom;
// deinterlaced, the pictures still come, each with its number.
TEST_F(PlayerControlsTest, FlippedAndDeinterlacedPictures) {
    struct TCase {
        bool Flip;
        bool Deinterlace;
    };
    for (const TCase c : {TCase{true, false}, TCase{false, true}, TCase{true, true}}) {
        SCOPED_TRACE(std::string(c.Flip ? "flipped " : "") + (c.Deinterlace ? "deinterlaced" : ""));
        std::mutex lock;
        std::vector<std::pair<int, int>> numbers; // lock: read from the top, from the bottom upwards
        FPlayer->SetFrameHook(true);
        FPlayer->OnFrameHook = [&](TCustomPlayer*, TPicture* APicture, int, int, int AHeight, int64_t) {
            const int stride = APicture->Linesize[0];
            const uint8_t* bottom = APicture->Data[0] + static_cast<ptrdiff_t>(stride) * (AHeight - 1);
            std::lock_guard guard(lock);
            numbers.emplace_back(PatternNumber(APicture->Data[0], stride), PatternNumber(bottom, -stride));
        };
        FPlayer->SetVerticalFlip(c.Flip); // for the next file only: set before each open
        FPlayer->SetDeinterlace(c.Deinterlace);
        ClearStates();
        ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
        ASSERT_TRUE(WaitForState(psPause, 3000));
        FPlayer->Stop(true);
        std::lock_guard guard(lock);
        ASSERT_GE(numbers.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            const int expected = static_cast<int>(i);
            EXPECT_EQ(c.Flip ? numbers[i].second : numbers[i].first, expected) << "picture " << i;
            EXPECT_NE(c.Flip ? numbers[i].first : numbers[i].second, expected) << "picture " << i;
        }
    }
}

// The subtitle's white box is blended into the pictures shown; with the subtitle stream
// switched off the pattern shows there again.
TEST_F(PlayerControlsTest, BitmapSubtitlesAreBlendedIntoThePicture) {
    ASSERT_TRUE(FPlayer->Open(Name("subtitled.mkv"), 0, false)) << FPlayer->LastErrMsg();
    ASSERT_EQ(FPlayer->SubtitleStreamIndex(), 1);
    const int y = SubtitleBox[1] + SubtitleBox[3] / 2;
    auto whiteAt = [&](int AX) {
        const TRGBColor colour = FPlayer->CurrentFrame()->Pixel(AX, y);
        return colour.R > 230 && colour.G > 230 && colour.B > 230;
    };
    const int inside = SubtitleBox[0] + SubtitleBox[2] / 2, outside = SubtitleBox[0] - 8;
    Idle(500);
    EXPECT_TRUE(whiteAt(inside));
    EXPECT_FALSE(whiteAt(outside));

    FPlayer->SetSubtitleStreamIndex(-1);
    EXPECT_EQ(FPlayer->SubtitleStreamIndex(), -1);
    Idle(500);
    EXPECT_FALSE(whiteAt(inside));
}

// Waveform, spectrum and back to the picture while the clip plays: the playback goes on
// to its end through every display.
TEST_F(PlayerControlsTest, AudioDisplaysPlayThrough) {
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, false)) << FPlayer->LastErrMsg();
    for (int mode = 0; mode < 3; ++mode) {
        Idle(400);
        FPlayer->ToggleAudioDisplay();
    }
    ASSERT_TRUE(WaitForState(psEnd, 5000));
    EXPECT_NEAR(FPlayer->CurrentPTS(), 3000000, 100000);
    // Back on the picture: it is the last one of the clip.
    EXPECT_GE(SettledPicture(), 2800000);
}

// An input that connects but never sends: the open gives up after the read time-out,
// through the interrupt dispatcher, with the reason and without a thread left behind.
TEST_F(PlayerControlsTest, AnInputThatNeverAnswersTimesOut) {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    TLogLines log;
    FPlayer->SetReadTimeout(500);
    const int64_t start = SteadyMicroseconds();
    EXPECT_FALSE(FPlayer->Open(TFileName(url.begin(), url.end()), 0, false));
    const int64_t took = SteadyMicroseconds() - start;
    ::close(server);
    EXPECT_GE(took, 400000);
    EXPECT_LT(took, 5000000);
    EXPECT_TRUE(log.Has("connecting/reading timeout"));
    EXPECT_NE(FPlayer->LastErrMsg().find("127.0.0.1"), std::string::npos) << FPlayer->LastErrMsg();
    EXPECT_EQ(ThreadCount(), FBaseline);
}

} // namespace
