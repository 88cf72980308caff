// The timing rules: audio length corrections towards a video master, the display time
// of pictures, the audio clock, and pause's corrections.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "play/PlayerClocks.h"

using namespace vx;

namespace {

constexpr int64_t Now = 1000000000; // 1000 s

// Audio at 44.1 kHz stereo whose clock stands ADiff seconds ahead of the video clock.
void AudioAheadOfVideo(TPlayerTiming& ATiming, Tav_sync_type ASync, double ADiff) {
    ATiming.av_sync_type = ASync;
    ATiming.has_audio = true;
    ATiming.has_video = true;
    ResetAudioSync(ATiming, 44100, 2, 4096, 0);
    ATiming.audio_clock = 10.0 + ADiff;
    UpdateVideoClock(ATiming, 10.0, Now);
}

// A 4096-byte chunk of distinct sample frames, with room to grow.
std::vector<uint8_t> Chunk() {
    std::vector<uint8_t> chunk(8192, 0);
    for (int i = 0; i < 4096; i++)
        chunk[i] = static_cast<uint8_t>(i * 7 + 1);
    return chunk;
}

} // namespace

TEST(ClocksTest, AudioFollowsVideoMasterOnlyAfterTheAverageSettles) {
    struct {
        double diff;
        int corrected;
    } cases[] = {
        {0.05, 4504},  // ahead: lengthened by the 10 % limit
        {-0.05, 3684}, // behind: shortened by the 10 % limit (921 sample frames)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.diff);
        TPlayerTiming timing;
        AudioAheadOfVideo(timing, AV_SYNC_VIDEO_MASTER, c.diff);
        std::vector<uint8_t> chunk = Chunk();
        for (int i = 0; i < AudioDiffAverageCount; i++)
            ASSERT_EQ(AdjustAudioLength(timing, chunk.data(), 4096, 8192, Now), 4096) << "measurement " << i;
        // The average reaches the threshold (2048 / 44100 s) a few measurements later.
        int size = 4096;
        int calls = AudioDiffAverageCount;
        while (size == 4096 && calls < 60) {
            size = AdjustAudioLength(timing, chunk.data(), 4096, 8192, Now);
            calls++;
        }
        EXPECT_EQ(size, c.corrected);
        EXPECT_GT(calls, AudioDiffAverageCount + 1);
        for (int at = 4096; at < size; at += 4)
            ASSERT_EQ(std::memcmp(chunk.data() + at, chunk.data() + 4092, 4), 0) << "byte " << at;
    }
}

TEST(ClocksTest, AudioLengthStaysWhenAudioIsMasterOrTheGapIsAJump) {
    TPlayerTiming audioMaster;
    AudioAheadOfVideo(audioMaster, AV_SYNC_AUDIO_MASTER, 0.5);
    TPlayerTiming jump;
    AudioAheadOfVideo(jump, AV_SYNC_VIDEO_MASTER, -12.0);
    for (TPlayerTiming* timing : {&audioMaster, &jump}) {
        std::vector<uint8_t> chunk = Chunk();
        for (int i = 0; i < 100; i++)
            ASSERT_EQ(AdjustAudioLength(*timing, chunk.data(), 4096, 8192, Now), 4096);
    }
    EXPECT_EQ(jump.audio_diff_avg_count, 0);
}

TEST(ClocksTest, PictureDisplayTimes) {
    struct {
        const char* name;
        Tav_sync_type sync;
        double lastPts, pts;
        double videoMinusAudio;
        double advance;   // of frame_timer
        double lastDelay; // afterwards
    } cases[] = {
        {"steady", AV_SYNC_VIDEO_MASTER, 1.0, 1.04, 0, 0.04, 0.04},
        {"12 s jump keeps the previous delay", AV_SYNC_VIDEO_MASTER, 1.0, 13.0, 0, 0.02, 0.02},
        {"repeated timestamp", AV_SYNC_VIDEO_MASTER, 1.0, 1.0, 0, 0.02, 0.02},
        {"in step with audio", AV_SYNC_AUDIO_MASTER, 1.0, 1.04, 0.005, 0.04, 0.04},
        {"late against audio: at once", AV_SYNC_AUDIO_MASTER, 1.0, 1.04, -0.1, 0.0, 0.04},
        {"early against audio: held", AV_SYNC_AUDIO_MASTER, 1.0, 1.04, 0.1, 0.08, 0.04},
        {"too far apart to sync", AV_SYNC_AUDIO_MASTER, 1.0, 1.04, 11.0, 0.04, 0.04},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPlayerTiming timing;
        timing.av_sync_type = c.sync;
        timing.has_audio = true;
        timing.has_video = true;
        ResetAudioSync(timing, 44100, 2, 4096, 0);
        timing.frame_timer = 100.0;
        timing.frame_last_pts = c.lastPts;
        timing.frame_last_delay = 0.02;
        UpdateVideoClock(timing, 5.0, Now);
        timing.audio_clock = 5.0 - c.videoMinusAudio;
        EXPECT_NEAR(TargetDisplayTime(timing, c.pts, Now), 100.0 + c.advance, 1e-9);
        EXPECT_NEAR(timing.frame_last_delay, c.lastDelay, 1e-9);
        EXPECT_EQ(timing.frame_last_pts, c.pts);
    }
}

TEST(ClocksTest, AudioClockIsWhatIsHeard) {
    TPlayerTiming timing;
    ResetAudioSync(timing, 44100, 2, 4096, 0.05);
    timing.audio_clock = 10.0;
    timing.audio_buf_pending = 17640; // 0.1 s decoded but not handed over
    EXPECT_NEAR(AudioClock(timing, Now), 9.85, 1e-9);
    // After a callback the device plays on through its chunk (4096 bytes: 23.2 ms), no further.
    timing.audio_callback_time = Now - 10000;
    EXPECT_NEAR(AudioClock(timing, Now), 9.86, 1e-9);
    EXPECT_NEAR(AudioClock(timing, Now + 1000000), 9.85 + 4096 / 176400.0, 1e-9);
    timing.paused = true;
    EXPECT_NEAR(AudioClock(timing, Now + 1000000), 9.85, 1e-9);
}

TEST(ClocksTest, PauseHoldsTheVideoClockAndMovesTheFrameTimer) {
    TPlayerTiming timing;
    timing.frame_timer = 100.04;
    UpdateVideoClock(timing, 5.0, 100000000); // shown at 100 s
    EXPECT_TRUE(TogglePauseClocks(timing, 100000000));
    EXPECT_EQ(VideoClock(timing, 102000000), 5.0);
    EXPECT_FALSE(TogglePauseClocks(timing, 103000000));
    EXPECT_NEAR(timing.frame_timer, 103.04, 1e-9);
    EXPECT_NEAR(VideoClock(timing, 103000000), 5.0, 1e-9);
    EXPECT_NEAR(VideoClock(timing, 104000000), 6.0, 1e-9);
}

// A seek restarts the picture timing: the first picture after it shows at once, wherever
// its time lies, while the clock stays on the picture on screen until then (a position
// read meanwhile, or a relative seek made from it, does not fall back to the start).
TEST(ClocksTest, RestartedPictureTimingShowsTheNextPictureAtOnceAndKeepsTheClock) {
    for (const double next : {0.0, 1.5, 7200.0}) {
        SCOPED_TRACE(next);
        TPlayerTiming timing;
        timing.has_video = true;
        timing.av_sync_type = AV_SYNC_VIDEO_MASTER;
        UpdateVideoClock(timing, 5.0, 100000000); // shown at 100 s
        timing.frame_last_pts = 5.0;
        ResetVideoTiming(timing, 100500000, 0);
        EXPECT_NEAR(VideoClock(timing, 100500000), 5.5, 1e-9);
        EXPECT_NEAR(TargetDisplayTime(timing, next, 100500000), 100.5, 1e-9);
        // The picture after it keeps the pace of the timestamps again.
        EXPECT_NEAR(TargetDisplayTime(timing, next + 0.04, 100500000), 100.54, 1e-9);
    }
}
