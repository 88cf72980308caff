#include "play/PlayerClocks.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
}

namespace vx {
namespace {

double Seconds(int64_t AMicroseconds) {
    return AMicroseconds / 1000000.0;
}

} // namespace

void ResetAudioSync(TPlayerTiming& ATiming, int ASampleRate, int AChannels, int AHwBufSize,
                    double AHwLatency) {
    ATiming.audio_sample_rate = ASampleRate;
    ATiming.audio_channels = AChannels;
    ATiming.audio_hw_buf_size = AHwBufSize;
    ATiming.audio_hw_latency = AHwLatency;
    ATiming.audio_clock = 0;
    ATiming.audio_buf_pending = 0;
    ATiming.audio_callback_time = 0;
    // Weight of a measurement that has dropped to 1 % after 20 more: the decimal logarithm
    // makes it e^-0.1, a slow average.
    ATiming.audio_diff_avg_coef = std::exp(std::log10(0.01) / AudioDiffAverageCount);
    ATiming.audio_diff_avg_count = 0;
    ATiming.audio_diff_cum = 0;
    ATiming.audio_diff_threshold = ASampleRate > 0 ? 2.0 * AudioDeviceSamples / ASampleRate : 0;
}

void ResetVideoTiming(TPlayerTiming& ATiming, int64_t ANow, double AFrameDelay) {
    ATiming.frame_timer = Seconds(ANow);
    ATiming.frame_last_pts = NoLastPicture;
    ATiming.frame_last_delay = AFrameDelay;
}

double AudioClock(const TPlayerTiming& ATiming, int64_t ANow) {
    const int rate = ATiming.audio_sample_rate;
    if (rate <= 0 || ATiming.audio_channels <= 0)
        return ATiming.audio_clock;
    const double bytesPerSecond = 2.0 * ATiming.audio_channels * rate;
    double pts = ATiming.audio_clock - ATiming.audio_buf_pending / bytesPerSecond - ATiming.audio_hw_latency;
    // Between two callbacks the device plays on through the chunk it was given.
    const int64_t callback = ATiming.audio_callback_time;
    if (callback > 0 && !ATiming.paused)
        pts += std::clamp(Seconds(ANow - callback), 0.0, ATiming.audio_hw_buf_size / bytesPerSecond);
    return pts;
}

double VideoClock(const TPlayerTiming& ATiming, int64_t ANow) {
    if (ATiming.paused)
        return ATiming.video_current_pts;
    const double drift = ATiming.video_current_pts_drift;
    if (drift != 0)
        return drift + Seconds(ANow);
    return Seconds(ATiming.StartTime); // nothing shown yet
}

double ExternalClock(const TPlayerTiming& ATiming, int64_t ANow) {
    return ATiming.external_clock + Seconds(ANow - ATiming.external_clock_time);
}

double MasterClock(const TPlayerTiming& ATiming, int64_t ANow) {
    switch (ATiming.av_sync_type) {
    case AV_SYNC_VIDEO_MASTER:
        return ATiming.has_video ? VideoClock(ATiming, ANow) : AudioClock(ATiming, ANow);
    case AV_SYNC_AUDIO_MASTER:
        return ATiming.has_audio ? AudioClock(ATiming, ANow) : VideoClock(ATiming, ANow);
    case AV_SYNC_EXTERNAL_CLOCK:
        break;
    }
    return ExternalClock(ATiming, ANow);
}

bool AudioFollowsMaster(const TPlayerTiming& ATiming) {
    return (ATiming.av_sync_type == AV_SYNC_VIDEO_MASTER && ATiming.has_video) ||
           ATiming.av_sync_type == AV_SYNC_EXTERNAL_CLOCK;
}

void UpdateVideoClock(TPlayerTiming& ATiming, double APts, int64_t ANow) {
    ATiming.video_current_pts = APts;
    ATiming.video_current_pts_drift = APts - Seconds(ANow);
}

void SetExternalClock(TPlayerTiming& ATiming, double ATime, int64_t ANow) {
    ATiming.external_clock = ATime;
    ATiming.external_clock_time = ANow;
}

double TargetDisplayTime(TPlayerTiming& ATiming, double APts, int64_t ANow) {
    double delay = APts - ATiming.frame_last_pts;
    if (delay <= 0 || delay >= NoSyncThreshold)
        delay = ATiming.frame_last_delay; // a jump or a repeat: keep the pace
    else
        ATiming.frame_last_delay = delay;
    ATiming.frame_last_pts = APts;

    const bool videoFollows = (ATiming.av_sync_type == AV_SYNC_AUDIO_MASTER && ATiming.has_audio) ||
                              ATiming.av_sync_type == AV_SYNC_EXTERNAL_CLOCK;
    if (videoFollows) {
        const double diff = VideoClock(ATiming, ANow) - MasterClock(ATiming, ANow);
        const double threshold = std::max(SyncThreshold, delay);
        if (std::fabs(diff) < NoSyncThreshold) {
            if (diff <= -threshold)
                delay = 0; // late: show it at once
            else if (diff >= threshold)
                delay = 2 * delay; // early: hold the previous picture longer
        }
    }
    ATiming.frame_timer += delay;
    return ATiming.frame_timer;
}

int AdjustAudioLength(TPlayerTiming& ATiming, uint8_t* ASamples, int ASize, int ACapacity, int64_t ANow) {
    if (!AudioFollowsMaster(ATiming) || ATiming.audio_channels <= 0)
        return ASize;
    const int frameBytes = 2 * ATiming.audio_channels;
    const double diff = AudioClock(ATiming, ANow) - MasterClock(ATiming, ANow);
    if (!(diff < NoSyncThreshold) || !(diff > -NoSyncThreshold)) {
        // Too far apart to be drift (a seek, a jump): start the average again.
        ATiming.audio_diff_avg_count = 0;
        ATiming.audio_diff_cum = 0;
        return ASize;
    }
    ATiming.audio_diff_cum = diff + ATiming.audio_diff_avg_coef * ATiming.audio_diff_cum;
    if (ATiming.audio_diff_avg_count < AudioDiffAverageCount) {
        ATiming.audio_diff_avg_count++;
        return ASize;
    }
    const double avg = ATiming.audio_diff_cum * (1.0 - ATiming.audio_diff_avg_coef);
    if (std::fabs(avg) < ATiming.audio_diff_threshold)
        return ASize;

    const int frames = ASize / frameBytes;
    if (frames == 0)
        return ASize;
    const int minSize = frames * (100 - MaxAudioCorrectionPercent) / 100 * frameBytes;
    const int maxSize = std::min(frames * (100 + MaxAudioCorrectionPercent) / 100 * frameBytes,
                                 ACapacity / frameBytes * frameBytes);
    int64_t wanted = ASize + std::llround(diff * ATiming.audio_sample_rate) * frameBytes;
    wanted = std::clamp<int64_t>(wanted, minSize, std::max(minSize, maxSize));
    if (wanted > ASize && ASize >= frameBytes) {
        const uint8_t* last = ASamples + ASize - frameBytes;
        for (int64_t at = ASize; at < wanted; at += frameBytes)
            std::memcpy(ASamples + at, last, frameBytes);
    }
    return static_cast<int>(wanted);
}

bool TogglePauseClocks(TPlayerTiming& ATiming, int64_t ANow) {
    if (!ATiming.paused) {
        ATiming.paused = true;
        return true;
    }
    const double now = Seconds(ANow);
    ATiming.frame_timer += now + ATiming.video_current_pts_drift - ATiming.video_current_pts;
    if (ATiming.read_pause_return != AVERROR(ENOSYS))
        ATiming.video_current_pts = ATiming.video_current_pts_drift + now;
    ATiming.video_current_pts_drift = ATiming.video_current_pts - now;
    ATiming.paused = false;
    return false;
}

} // namespace vx
