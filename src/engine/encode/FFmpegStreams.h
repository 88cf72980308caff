// The transcoder's per-file and per-stream state: what an opened input file and each of
// its streams carry through the run, and what each output stream carries.
//
// In this library generation a stream no longer owns a codec context: every input
// stream that is decoded has its own decoder context (dec_ctx), every output stream its
// own encoder context (enc_ctx), whose parameters go to the stream's codecpar before
// the header is written. All library objects are owned here through RAII.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/FFApi.h"
#include "base/FormatIO.h"
#include "encode/filters/Deinterlacer.h"
#include "encode/filters/VideoFilterChain.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace vx {

struct TBSFContextFree {
    void operator()(AVBSFContext* ACtx) const { ff::av_bsf_free(&ACtx); }
};
using TBSFContextPtr = std::unique_ptr<AVBSFContext, TBSFContextFree>;
// Bitstream filters applied in order to the packets of one output stream.
using TBitstreamFilterChain = std::vector<TBSFContextPtr>;

struct TSwsContextFree {
    void operator()(SwsContext* ACtx) const { ff::sws_freeContext(ACtx); }
};
struct TSwrContextFree {
    void operator()(SwrContext* ACtx) const { ff::swr_free(&ACtx); }
};
struct TAudioFifoFree {
    void operator()(AVAudioFifo* AFifo) const { ff::av_audio_fifo_free(AFifo); }
};
struct TFileClose {
    void operator()(std::FILE* AFile) const { std::fclose(AFile); }
};
using TSwsContextPtr = std::unique_ptr<SwsContext, TSwsContextFree>;
using TSwrContextPtr = std::unique_ptr<SwrContext, TSwrContextFree>;
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoFree>;
using TFilePtr = std::unique_ptr<std::FILE, TFileClose>;

struct TAVInputFile {
    TInputFilePtr ctx;
    int32_t eof_reached = 0;
    int32_t ist_index = 0; // index in the job's input streams of the file's first stream
    int32_t buffer_size = 0;
    int32_t nb_streams = 0;
    int64_t ts_offset = 0; // microseconds added to the file's timestamps
    // The file's clock: the last timestamp (µs, offsets applied) of any stream read, and
    // the stream that set it.
    int64_t clock = AV_NOPTS_VALUE;
    int32_t clock_stream = -1;
    std::vector<double> ts_scale; // per stream; 0 = unscaled
    int64_t probed_size = -1;     // bytes of the file when it was opened; -1 unknown
    bool damaged = false;         // a packet came out incomplete or damaged
};

struct TAVInputStream {
    int32_t file_index = 0;
    AVStream* st = nullptr;
    const AVCodec* dec = nullptr; // forced or found decoder
    TCodecContextPtr dec_ctx;     // opened when decoding_needed
    bool decoder_opened = false;  // dec_ctx is open and still to be closed
    int32_t discard = 1;          // 1 = not taken by any output stream
    int32_t decoding_needed = 0;
    int64_t sample_index = 0;
    int32_t frame_number = 0;
    int64_t start = 0;                 // wall clock at the start, for rate emulation
    int64_t next_pts = AV_NOPTS_VALUE; // microseconds
    int64_t pts = 0;                   // microseconds: the current decoding position
    int32_t is_start = 0;
    int32_t showed_multi_packet_warning = 0;
    int32_t is_past_recording_time = 0;
    int32_t decoder_flushed = 0;
    int32_t used = 0;  // join mode: already feeds an output slot
    float quality = 0; // of the last decoded picture
    TFramePtr decoded; // the frame last received from the decoder
    // Timestamps: microseconds added to this stream's on its own (a jump of its own was
    // repaired), and whether a packet of it with a timestamp was read.
    int64_t ts_offset = 0;
    int32_t saw_timestamp = 0;
    // Video: timestamp (µs) of the last decoded picture and its distance to the one before.
    int64_t last_frame_pts = AV_NOPTS_VALUE;
    int64_t last_frame_interval = 0;

    TDeinterlacer deinterlacer;
    // Packed copy of a planar audio block for the audio hook.
    std::vector<uint8_t> hook_buf;

    // Stream choice: 1 when reading the stream information found its parameters.
    int32_t frames_in_info = 0;
};

struct TAVOutputStream {
    int32_t file_index = 0; // output file slot
    int32_t index = 0;      // stream number in the file
    int32_t source_index = -1;
    AVStream* st = nullptr;
    const AVCodec* enc = nullptr;
    TCodecContextPtr enc_ctx;    // the encoder, or the copied stream's parameters
    bool encoder_opened = false; // enc_ctx is an open encoder, still to be closed
    int32_t stream_copy = 0;
    int32_t encoding_needed = 0;
    int32_t frame_number = 0;
    TAVInputStream* sync_ist = nullptr;
    int64_t sync_opts = 0; // in encoder time-base units
    TBitstreamFilterChain bitstream_filters;

    // video
    AVRational frame_rate{0, 0};
    float frame_aspect_ratio = 0;
    int32_t video_resample = 0;
    TFramePtr resample_frame;
    TSwsContextPtr img_resample_ctx;
    int32_t resample_height = 0, resample_width = 0, resample_pix_fmt = -1;
    std::vector<int64_t> forced_kf_pts; // encoder time base
    int32_t forced_kf_index = 0;
    std::string avfilter; // filter graph text
    std::unique_ptr<TVideoFilterChain> graph;
    int32_t sws_flags = SWS_BICUBIC;
    // What the filter graph was built for; a picture of another geometry rebuilds it.
    int32_t graph_width = 0, graph_height = 0, graph_pix_fmt = -1;
    bool graph_flushed = false; // end of stream was sent: the next picture rebuilds it
    // Source geometry of img_resample_ctx.
    int32_t sws_src_width = 0, sws_src_height = 0, sws_src_pix_fmt = -1;
    TFramePtr enc_frame; // the reference handed to the encoder, reused
    // The picture last given to the encoder: it fills the time up to the stream's end.
    TFramePtr last_picture;
    // From the last packet's quality statistics: the coded picture's quality (lambda
    // units, -1 unknown), picture type and per-plane squared error.
    int32_t coded_quality = -1;
    int32_t coded_pict_type = 0;
    int64_t coded_error[4] = {0, 0, 0, 0};

    // audio
    int32_t audio_resample = 0;
    TSwrContextPtr resample;
    int32_t resample_sample_fmt = -1, resample_channels = 0, resample_sample_rate = 0;
    TAudioFifoPtr fifo;
    TFramePtr audio_buf; // resampler output, in the encoder's format
    int32_t audio_buf_samples = 0;
    TFramePtr audio_frame; // one encoder frame taken from the FIFO, reused
    int32_t audio_frame_samples = 0;
    TFramePtr silence; // silence in the decoder's format, for audio sync
    // Timestamp (in samples) of the next encoder frame. Audio runs on without gaps:
    // audio sync corrects by adding and dropping samples, never by moving timestamps.
    int64_t audio_pts = AV_NOPTS_VALUE;
    // sync_opts as of the last audio written: what the run's thread reports while the audio
    // stage owns sync_opts (run's thread only).
    int64_t written_opts = 0;

    TFilePtr logfile; // pass-1 statistics
    AVCodecID codec_id = AV_CODEC_ID_NONE;
    int32_t show_fps = 0;

    // Set-up and loop.
    AVMediaType kind = AVMEDIA_TYPE_UNKNOWN; // the stream's media kind, copied or encoded
    std::vector<char> stats_in;              // pass-2 statistics that enc_ctx->stats_in points into
    int64_t copy_end_time = AV_NOPTS_VALUE;  // microseconds: end of the last packet copied
};

} // namespace vx
