// What the playback tests share: a player playing headless (SDL draws into a window
// without a display and plays into the disk audio driver), the states it reported with
// their times, the picture on screen once it stays, and the log lines of a test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "MediaFixtures.h"
#include "base/FFLog.h"
#include "base/PlatformBridge.h"
#include "base/SteadyClock.h"
#include "play/FFPlay.h"

namespace vx::playertest {

inline int ThreadCount() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                          std::filesystem::directory_iterator{}));
}

// Waits AMilliseconds while deliveries to the main thread go on.
inline void Idle(int AMilliseconds) {
    WaitProcessingMessages([] { return false; }, AMilliseconds);
}

// Three seconds of pattern and tone with a key frame every second, in MP4.
inline fixtures::TMediaSpec KeyFrameEverySecondClip() {
    fixtures::TMediaSpec clip = fixtures::Mp4H264Aac();
    clip.Seconds = 3;
    clip.Videos[0].GopSize = 25;
    return clip;
}

// A suite writes its media into Dir() in its SetUpTestSuite and calls FreeDir() in its
// TearDownTestSuite.
class TPlayerHarness : public ::testing::Test {
protected:
    static fixtures::TTempDir& Dir() {
        if (!s_dir)
            s_dir = std::make_unique<fixtures::TTempDir>();
        return *s_dir;
    }
    static void FreeDir() { s_dir.reset(); }
    static std::string Media(const std::string& AName) { return Dir().File(AName); }
    static TFileName Name(const std::string& AName) {
        const std::string path = Media(AName);
        return TFileName(path.begin(), path.end());
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
    void ClearStates() {
        std::lock_guard lock(FLock);
        FStates.clear();
        FStateTimes.clear();
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

    // The time of the picture on screen once it has stayed for a while (-1 when none is
    // shown or it keeps changing for 15 s).
    int64_t SettledPicture() {
        int64_t pts = -2, before = -3;
        const bool settled = WaitProcessingMessages(
            [&] {
                before = pts;
                Idle(400);
                FPlayer->CurrentFrame(pts);
                return pts >= 0 && pts == before;
            },
            15000);
        return settled ? pts : -1;
    }

    int FBaseline = 0;
    std::unique_ptr<TZADorovu> FPlayer;
    std::mutex FLock;
    std::vector<TPlayState> FStates;  // FLock
    std::vector<int64_t> FStateTimes; // FLock

private:
    static inline std::unique_ptr<fixtures::TTempDir> s_dir;
};

// The engine's log lines while it lives, from whichever thread logs them. With ARefused, the
// handler throws on that line (on the thread that logs it), as a host's log handler may.
class TLogLines {
public:
    explicit TLogLines(std::string ARefused = {})
        : FMainThread(GetLogger().TriggerEventInMainThread()), FLevel(GetLogger().LogLevel()) {
        GetLogger().SetTriggerEventInMainThread(false);
        GetLogger().SetLogLevel(llDebug);
        GetLogger().OnLog = [this, refused = std::move(ARefused)](void*, uint32_t, TLogLevel,
                                                                  const std::string& AMsg) {
            {
                std::lock_guard lock(FLock);
                FLines.push_back(AMsg);
            }
            if (!refused.empty() && AMsg == refused)
                throw std::runtime_error("the log refuses \"" + AMsg + "\"");
        };
    }
    ~TLogLines() {
        GetLogger().OnLog = nullptr;
        GetLogger().SetLogLevel(FLevel);
        GetLogger().SetTriggerEventInMainThread(FMainThread);
    }
    bool Has(const std::string& AText) {
        std::lock_guard lock(FLock);
        return std::any_of(FLines.begin(), FLines.end(),
                           [&](const std::string& ALine) { return ALine.find(AText) != std::string::npos; });
    }

private:
    const bool FMainThread;
    const TLogLevel FLevel;
    std::mutex FLock;
    std::vector<std::string> FLines; // FLock
};

} // namespace vx::playertest
