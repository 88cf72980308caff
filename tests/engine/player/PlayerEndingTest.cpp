// How a playback ends when the play thread does not end it the usual way: stopped from the
// file-open handler, before any play thread runs (the stop closes it itself, or leaves the
// quit to the play thread that starts next), a quit that never reaches the play thread, and
// the play thread failing in its event loop. Each ends with the state stopped and every
// thread of the playback gone.
#include <dlfcn.h>

#include <atomic>

#include "PlayerHarness.h"
#include "play/PlayerEvents.h"

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

// The host filters SDL's events (SDL_SetEventFilter on the same SDL) and swallows the
// player's quit: the play thread never ends the playback, so the waiting stop asks again at
// each round and then closes the playback itself.
TEST_F(PlayerEndingTest, AStopWhoseQuitNeverArrivesClosesThePlaybackItself) {
    ASSERT_TRUE(FPlayer->Open(Name("clip.mp4"), 0, false)) << FPlayer->LastErrMsg();
    ASSERT_TRUE(WaitForState(psPlay, 1000));
    void* sdl = dlopen(SDLLibraryFile, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(sdl, nullptr) << "the player has loaded SDL";
    using TSetEventFilter = void (*)(SDL_EventFilter, void*);
    const auto setEventFilter = reinterpret_cast<TSetEventFilter>(dlsym(sdl, "SDL_SetEventFilter"));
    ASSERT_NE(setEventFilter, nullptr);
    std::atomic<int> swallowed{0};
    setEventFilter(
        [](void* ASwallowed, SDL_Event* AEvent) -> int {
            if (AEvent->type != SDL_USEREVENT || AEvent->user.code != peQuit)
                return 1;
            ++*static_cast<std::atomic<int>*>(ASwallowed);
            return 0;
        },
        &swallowed);
    FPlayer->Stop(true);
    setEventFilter(nullptr, nullptr);
    dlclose(sdl);
    // One quit from the stop, then one per round of its wait: ten rounds when the reader was
    // inside a read, else twenty.
    EXPECT_GE(swallowed.load(), 10);
    EXPECT_LE(swallowed.load(), 20);
    EXPECT_EQ(FPlayer->PlayState(), psStop);
    EXPECT_EQ(FPlayer->VideoStreamIndex(), -1);
    EXPECT_TRUE(WaitForState(psStop, 1000));
    EXPECT_EQ(ThreadCount(), FBaseline);
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
