// The clocks of a playback and the rules that keep audio and video together: the audio,
// video, external and master clocks, the display time of each picture, the stretching or
// shrinking of audio towards a video or external master, and the clock corrections of
// pause. Everything here is a plain function of a TPlayerTiming and the current time
// ("now", microseconds of the engine's steady clock), so that it can be driven without
// sleeping.
//
// One TPlayerTiming belongs to one playback (the player owns it inside its playback
// state). Who writes what (the rest only reads):
//   - the audio output (SDL's audio thread): the audio group;
//   - the video decoder thread: video_clock;
//   - the play thread (display and refresh): frame_timer, frame_last_pts, frame_last_delay,
//     video_current_pts, video_current_pts_drift, and the pause corrections, which the
//     player runs under its data lock;
//   - the player, before the playback's threads start: av_sync_type, StartTime, has_audio,
//     has_video, and the audio format through ResetAudioSync.
// Fields read across threads are atomics; a reader may see one field of a pair newer
// than the other, which moves a clock by at most one audio chunk for one reading.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace vx {

enum Tav_sync_type { AV_SYNC_AUDIO_MASTER = 0, AV_SYNC_VIDEO_MASTER = 1, AV_SYNC_EXTERNAL_CLOCK = 2 };

// frame_last_pts before the first picture of a playback or after a seek: so far from any
// picture's time that the next one is taken as a jump and shows at once.
inline constexpr double NoLastPicture = -1e18;
// Sample frames of one audio device chunk.
inline constexpr int AudioDeviceSamples = 1024;
// Pictures further apart than this (seconds) are a timestamp jump, not a frame delay;
// a clock difference this large is not corrected.
inline constexpr double NoSyncThreshold = 10.0;
// The smallest difference (seconds) that moves a picture's display time.
inline constexpr double SyncThreshold = 0.01;
// Audio length corrections are averaged over this many measurements ...
inline constexpr int AudioDiffAverageCount = 20;
// ... and change a chunk by at most this many percent.
inline constexpr int MaxAudioCorrectionPercent = 10;

struct TPlayerTiming {
    // Set by the player before the playback's threads start.
    Tav_sync_type av_sync_type = AV_SYNC_AUDIO_MASTER;
    int64_t StartTime = 0; // microseconds: the media's first timestamp
    std::atomic<bool> has_audio{false};
    std::atomic<bool> has_video{false};
    // The playback is paused (pause corrections write it; every thread reads it).
    std::atomic<bool> paused{false};

    // Audio group, written by the audio output.
    int audio_sample_rate = 0; // of the samples handed to the device; 0: no audio
    int audio_channels = 0;
    int audio_hw_buf_size = 0; // bytes of one device chunk
    // Seconds between handing samples to the device and hearing them at the start of the
    // next chunk request: the device chunk itself, and the sound server's own buffer.
    double audio_hw_latency = 0;
    // Time (seconds) at the end of the last decoded audio data.
    std::atomic<double> audio_clock{0};
    // Decoded bytes not yet handed to the device.
    std::atomic<int> audio_buf_pending{0};
    // When the last audio callback started (microseconds; 0: none yet).
    std::atomic<int64_t> audio_callback_time{0};
    // Averaging of the audio-master difference (audio thread only).
    double audio_diff_cum = 0;
    double audio_diff_avg_coef = 0;
    double audio_diff_threshold = 0;
    int audio_diff_avg_count = 0;

    // External clock: a time and the moment (microseconds) it was taken.
    std::atomic<double> external_clock{0};
    std::atomic<int64_t> external_clock_time{0};

    // Video group (seconds).
    double frame_timer = 0;                   // display time of the last picture, on the now / 1e6 scale
    double frame_last_pts = NoLastPicture;    // timestamp of the last picture given a display time
    double frame_last_delay = 0;              // the delay between the last two pictures
    std::atomic<double> video_clock{0};       // timestamp after the last decoded picture
    std::atomic<double> video_current_pts{0}; // timestamp of the picture on screen
    std::atomic<double> video_current_pts_drift{0}; // video_current_pts - now / 1e6 when shown
    // What pausing the input returned; AVERROR(ENOSYS): the input cannot pause (a file),
    // which is also assumed until the input has been asked.
    std::atomic<int> read_pause_return{-ENOSYS};
};

// Sets the audio format and restarts the averaging of the audio difference: the
// threshold is two device chunks of 1024 sample frames.
void ResetAudioSync(TPlayerTiming& ATiming, int ASampleRate, int AChannels, int AHwBufSize,
                    double AHwLatency);
// Starts the picture timing again at ANow (a playback's start, a seek, a flush): the next
// picture shows at once whatever its time, the previous delay is assumed to be
// AFrameDelay. The video clock stays on the picture on screen until the next one shows.
void ResetVideoTiming(TPlayerTiming& ATiming, int64_t ANow, double AFrameDelay);

// Time of the audio being heard now (seconds).
double AudioClock(const TPlayerTiming& ATiming, int64_t ANow);
// Time of the picture on screen, running on while not paused.
double VideoClock(const TPlayerTiming& ATiming, int64_t ANow);
double ExternalClock(const TPlayerTiming& ATiming, int64_t ANow);
// The clock that the others follow, by av_sync_type and the streams present.
double MasterClock(const TPlayerTiming& ATiming, int64_t ANow);
// True when the audio follows another clock (video master with video, or external).
bool AudioFollowsMaster(const TPlayerTiming& ATiming);

// Records that the picture with timestamp APts went on screen at ANow.
void UpdateVideoClock(TPlayerTiming& ATiming, double APts, int64_t ANow);
void SetExternalClock(TPlayerTiming& ATiming, double ATime, int64_t ANow);

// Display time (seconds on the ANow / 1e6 scale) of the picture with timestamp APts;
// advances frame_timer. The caller holds the picture queue's lock.
double TargetDisplayTime(TPlayerTiming& ATiming, double APts, int64_t ANow);

// Shortens or lengthens a decoded chunk of s16 interleaved samples when audio follows
// another clock; returns the new size in bytes. ASamples holds ASize bytes and has room
// for ACapacity; added bytes repeat the last sample frame. Audio thread only.
int AdjustAudioLength(TPlayerTiming& ATiming, uint8_t* ASamples, int ASize, int ACapacity, int64_t ANow);

// The clock side of pausing and resuming: resuming moves frame_timer and the video clock
// past the paused time. Returns the new paused state.
bool TogglePauseClocks(TPlayerTiming& ATiming, int64_t ANow);

} // namespace vx
