// How a playback ends when the play thread does not end it the usual way: stopped from the
// file-open handler, before any play thread runs (the stop closes it itself, or leaves the
// quit to the play thread that starts next), and the play thread failing in its event loop.
// Each ends with the state stopped and every thread of the playback gone.
#include "PlayerHarness.h"

using namespace vx;
using namespace vx::fixtures;
using namespace vx::playertest;

namespace {

class PlayerEndingTest : public TPlayerHarness {
protected:
    static void SetUpTestSuite() { WriteMedia(Media("clip.mp4"), KeyFrameEverySecondClip()); }
    static void TearDownTestSuite() { FreeDir(); }
};

TEST_F(PlayerEndingTest, StopFromTheFileOpenHandler) {
    for (const bool wait : {true, false}) {
        SCOPED_TRACE(wait ? "Stop(true)" : "Stop(false)");
        ClearStates();
        int streamAfterStop = -2;
        FPlayer->OnFileOpen = [&](TCustomPlayer* ASender, int64_t, int, int, int&, int&) {
            ASender->Stop(wait);
            streamAfterStop = ASender->VideoStreamIndex();
        };
        const bool opened = FPlayer->Open(Name("clip.mp4"), 0, false);
        if (wait) {
            // Nothing plays: no play thread was there to end the playback, the stop did.
            EXPECT_EQ(streamAfterStop, -1);
            EXPECT_FALSE(opened);
            EXPECT_EQ(ThreadCount(), FBaseline);
        } else {
            // The quit waits for the play thread, which ends the playback as it starts.
            EXPECT_EQ(streamAfterStop, 0);
            EXPECT_TRUE(opened) << FPlayer->LastErrMsg();
            EXPECT_TRUE(WaitForState(psStop, 3000));
            EXPECT_EQ(States(), (std::vector<TPlayState>{psPlay, psStop}));
        }
        FPlayer->Stop(true);
        EXPECT_EQ(FPlayer->PlayState(), psStop);
        EXPECT_EQ(ThreadCount(), FBaseline);
    }
    // The player plays the next file as usual.
    FPlayer->OnFileOpen = nullptr;
    ClearStates();
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, true)) << FPlayer->LastErrMsg();
    EXPECT_TRUE(WaitForState(psPause, 3000));
    EXPECT_GE(SettledPicture(), 0);
}

// The dummy video driver cannot draw into a window of another program: the play thread
// cannot set its video mode. When the host's log handler throws on that report, the
// exception leaves the play thread's loop, is logged, and ends the playback all the same.
TEST_F(PlayerEndingTest, AFailingPlayThreadEndsThePlayback) {
    const std::string noVideoMode = "SDL: could not set video mode.";
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "the log handler throws" : "the log handler takes the line");
        ClearStates();
        TLogLines log(refused ? noVideoMode : std::string());
        ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0x2a00001, false)) << FPlayer->LastErrMsg();
        EXPECT_TRUE(WaitForState(psStop, 5000));
        EXPECT_EQ(States(), (std::vector<TPlayState>{psPlay, psStop}));
        EXPECT_TRUE(log.Has(noVideoMode));
        EXPECT_EQ(log.Has("PlayThread Exception: the log refuses \"" + noVideoMode + "\""), refused);
        EXPECT_EQ(FPlayer->VideoStreamIndex(), -1) << "the playback is over";
        FPlayer->Stop(true);
        EXPECT_EQ(FPlayer->PlayState(), psStop);
        EXPECT_EQ(ThreadCount(), FBaseline);
    }
}

} // namespace
