// The record of one playback: its file, streams and decoders, packet queues, clocks,
// picture and subtitle queues and threads. The player creates it when a file opens and
// frees it when the playback ends; each group says which thread writes it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/FFApi.h"
#include "base/FormatIO.h"
#include "base/UnicodeProtocol.h"
#include "play/PlayerAudio.h"
#include "play/PlayerClocks.h"
#include "play/PlayerPacketQueue.h"
#include "play/PlayerSampleRing.h"

namespace vx {

class TCustomPlayer;

inline constexpr int PictureQueueSize = 2;
inline constexpr int SubtitleQueueSize = 4;

// One decoded picture waiting for its display time, in YUV 4:2:0 as it is shown (flipped
// and hooked). The video thread fills the entry at pictq_windex while it is not queued;
// the play thread shows the entry at pictq_rindex and owns the entry's texture.
struct TPictureEntry {
    double pts = 0;
    double display_time = 0; // pictq_mutex: when to show it, seconds on the steady scale
    int64_t pos = -1;
    TFramePtr frame;
    int pict_width = 0; // even sizes of the texture
    int pict_height = 0;
    AVRational sar{0, 1};
    bool overlay_ready = false; // pictq_mutex: the play thread made the texture for this size
    bool uploaded = false;      // play thread: the texture holds this picture
};

struct TSubtitleEntry {
    double pts = 0;
    AVSubtitle sub{};
    bool used = false;
};

struct TVideoState {
    explicit TVideoState(TCustomPlayer* AOwner) : Owner(AOwner) {}
    ~TVideoState();

    TCustomPlayer* const Owner;
    TFileName filename;
    const AVInputFormat* iformat = nullptr;

    // Reader thread (and the caller before it starts / after it ends).
    TInputFilePtr ic;
    std::atomic<bool> abort_request{false};
    bool last_paused = false;
    // Seek request: the fields are written before seek_req is raised and read after.
    std::atomic<int> seek_req{0};
    int seek_flags = 0;
    int64_t seek_pos = 0;
    int64_t seek_rel = 0;
    std::atomic<bool> flush_req{false};

    // Streams, opened and closed by the reader thread (stream switching: under the data lock).
    std::atomic<int> audio_stream{-1};
    std::atomic<int> video_stream{-1};
    std::atomic<int> subtitle_stream{-1};
    AVStream* audio_st = nullptr;
    AVStream* video_st = nullptr;
    AVStream* subtitle_st = nullptr;
    TCodecContextPtr audio_dec, video_dec, subtitle_dec;
    TPacketQueue audioq, videoq, subtitleq;
    std::unique_ptr<TPlayerAudio> audio;
    TPlayerAudioControls audio_controls;
    TSampleRing sample_array;
    TPlayerTiming timing;
    std::atomic<int> show_mode{-1};

    // Video group.
    double frame_delay = 0.04; // seconds per picture that advance the video clock
    // Changed by the video thread and the refresh: a heuristic, so a lost update is harmless.
    std::atomic<float> skip_frames{1};
    float skip_frames_index = 0;
    std::mutex pictq_mutex;
    std::condition_variable pictq_cond; // pictq_mutex
    TPictureEntry pictq[PictureQueueSize];
    int pictq_size = 0;                // pictq_mutex
    int pictq_rindex = 0;              // play thread
    int pictq_windex = 0;              // video thread
    std::atomic<int> pictq_cindex{-1}; // play thread: the entry shown last
    std::atomic<int64_t> video_current_pos{-1};

    // Subtitle group.
    std::mutex subpq_mutex;
    std::condition_variable subpq_cond; // subpq_mutex
    TSubtitleEntry subpq[SubtitleQueueSize];
    int subpq_size = 0; // subpq_mutex
    int subpq_rindex = 0;
    int subpq_windex = 0;
    bool subtitle_stream_changed = false; // subpq_mutex

    // Display area (play thread).
    int width = 0;
    int height = 0;
    int xleft = 0;
    int ytop = 0;
    std::atomic<bool> refresh{false}; // a refresh event is pending

    // Extras.
    std::atomic<int> Opened{0}; // 0 opening, 1 open, -1 failed and cleaning up, -2 failed and done
    int64_t StartTime = 0;      // microseconds
    int64_t Duration = -1;
    int64_t AudioDuration = -1;
    bool IsImage2 = false;
    bool IsDevice = false;
    bool IOEOFLog = false;
    bool IOERRLog = false;
    std::atomic<bool> EventEOF{false};
    std::atomic<bool> ReachEOF{false};
    std::atomic<bool> Reading{false};
    std::atomic<int> open_paused{0};
    std::atomic<bool> seek_paused{false};
    std::atomic<bool> seek_done{false};
    std::atomic<bool> seek_flushed{false};

    std::thread read_tid, video_tid, subtitle_tid, refresh_tid;
};

} // namespace vx
