// Shared pieces of the audio and video path tests: a job with one output file whose
// streams and encoders the test sets up by hand (the paths are driven directly, block
// by block and picture by picture), generated blocks and pictures, and a reader that
// opens the written file again.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/CodecLoop.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/FormatIO.h"
#include "encode/FFmpeg.h"

namespace vx::test {

inline void Check(int ACode, const std::string& AWhat) {
    if (ACode < 0) {
        char text[128] = "";
        ff::av_strerror(ACode, text, sizeof(text));
        throw std::runtime_error(AWhat + ": " + text);
    }
}

class TPathsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!FFLoader().Loaded(EncoderLibraries)) {
            ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        }
    }
    fixtures::TTempDir Dir;
};

// A job whose paths the test drives itself: one output file, input stream records
// standing for decoders, output streams with opened encoders.
class TPathJob : public TCustomFFmpeg {
public:
    TPathJob() : TCustomFFmpeg(1) {
        // Output streams point at input records: they must not move.
        Finput_streams.reserve(8);
        auto flags = std::make_unique<TRunFlags>();
        FFlags = flags.get();
        FRun = std::move(flags);
    }

    // The run flags the paths read. The test stands in for the start of the run: it sets
    // them before it drives a path.
    TRunFlags& Flags() { return *FFlags; }
    // Takes what the options set into the run's flags, as the start of a run does.
    void TakeRunFlags() { *FFlags = FRunFlags; }

    using TCustomFFmpeg::configure_video_filters;
    using TCustomFFmpeg::do_audio_out;
    using TCustomFFmpeg::do_video_out;
    using TCustomFFmpeg::FLastErrMsg;
    using TCustomFFmpeg::flush_audio_out;
    using TCustomFFmpeg::flush_video_out;
    using TCustomFFmpeg::Fnb_frames_drop;
    using TCustomFFmpeg::Fnb_frames_dup;
    using TCustomFFmpeg::Fvideo_size;
    using TCustomFFmpeg::Fvstats_file;
    using TCustomFFmpeg::pre_process_video_frame;
    using TCustomFFmpeg::process_audio_block;
    using TCustomFFmpeg::process_video_frame;

    TAVOutputFile& Output() { return Foutput_files.at(0); }
    TAVOutputStream& Stream(int AIndex = 0) { return *Output().streams.at(AIndex); }

    void CreateOutput(const std::string& APath, const char* AFormat) {
        AVFormatContext* raw = nullptr;
        Check(ff::avformat_alloc_output_context2(&raw, nullptr, AFormat, APath.c_str()), "output format");
        TAVOutputFile file;
        file.ctx.reset(raw);
        file.file_name = APath;
        Check(OpenOutputIO(&raw->pb, APath, AVIO_FLAG_WRITE, nullptr), "create " + APath);
        file.io_open = true;
        Foutput_files.push_back(std::move(file));
    }

    TAVInputStream& AddInput() {
        TAVInputStream& ist = Finput_streams.emplace_back();
        ist.file_index = 0;
        ist.is_start = 1;
        ist.discard = 0;
        ist.decoding_needed = 1;
        ist.dec_ctx.reset(ff::avcodec_alloc_context3(nullptr));
        return ist;
    }

    // An output stream encoding AIst's audio; AFormat none: the encoder's first format.
    TAVOutputStream& AddAudioOutput(TAVInputStream& AIst, const char* AEncoder, int ARate, int AChannels,
                                    AVSampleFormat AFormat = AV_SAMPLE_FMT_NONE) {
        const AVCodec* codec = ff::avcodec_find_encoder_by_name(AEncoder);
        if (!codec)
            throw std::runtime_error(std::string("no encoder ") + AEncoder);
        TCodecContextPtr enc(ff::avcodec_alloc_context3(codec));
        enc->sample_fmt = AFormat != AV_SAMPLE_FMT_NONE ? AFormat : codec->sample_fmts[0];
        enc->sample_rate = ARate;
        ff::av_channel_layout_default(&enc->ch_layout, AChannels);
        enc->time_base = AVRational{1, ARate};
        enc->bit_rate = 128000;
        auto& ost = AddOutput(AIst, std::move(enc), codec);
        // What the set-up records of the decoder.
        ost.resample_sample_fmt = AIst.dec_ctx->sample_fmt;
        ost.resample_channels = AIst.dec_ctx->ch_layout.nb_channels;
        ost.resample_sample_rate = AIst.dec_ctx->sample_rate;
        ost.audio_resample = AIst.dec_ctx->sample_rate != ARate || FRun->audio_sync_method > 1;
        return ost;
    }

    // An output stream encoding AIst's video. With AConfigure, the encoder is opened
    // after AConfigure ran (the filter graph's place in the set-up).
    TAVOutputStream& AddVideoOutput(TAVInputStream& AIst, const char* AEncoder, int AWidth, int AHeight,
                                    AVRational AFrameRate, AVPixelFormat APixFmt = AV_PIX_FMT_YUV420P,
                                    const std::function<void(TAVOutputStream&)>& AConfigure = nullptr) {
        const AVCodec* codec = ff::avcodec_find_encoder_by_name(AEncoder);
        if (!codec)
            throw std::runtime_error(std::string("no encoder ") + AEncoder);
        TCodecContextPtr enc(ff::avcodec_alloc_context3(codec));
        enc->width = AWidth;
        enc->height = AHeight;
        enc->pix_fmt = APixFmt;
        enc->time_base = av_inv_q(AFrameRate);
        enc->framerate = AFrameRate;
        enc->gop_size = 250;
        enc->bit_rate = 800000;
        auto& ost = AddOutput(AIst, std::move(enc), codec, AConfigure);
        ost.resample_width = AIst.dec_ctx->width;
        ost.resample_height = AIst.dec_ctx->height;
        ost.resample_pix_fmt = AIst.dec_ctx->pix_fmt;
        return ost;
    }

    void Start() { Check(ff::avformat_write_header(Output().ctx.get(), nullptr), "write header"); }

    // Flushes every stream, writes the trailer and closes the file.
    void Finish() {
        for (auto& ost : Output().streams) {
            if (ost->enc_ctx->codec_type == AVMEDIA_TYPE_AUDIO)
                flush_audio_out(Output(), *ost);
            else
                flush_video_out(Output(), *ost);
        }
        Check(ff::av_write_trailer(Output().ctx.get()), "write trailer");
        Output().io_open = false;
        Check(CloseOutputIO(&Output().ctx->pb), "close");
    }

private:
    TAVOutputStream& AddOutput(TAVInputStream& AIst, TCodecContextPtr AEnc, const AVCodec* ACodec,
                               const std::function<void(TAVOutputStream&)>& AConfigure = nullptr) {
        TAVOutputFile& file = Output();
        auto ost = std::make_unique<TAVOutputStream>();
        ost->file_index = 0;
        ost->index = static_cast<int>(file.streams.size());
        ost->source_index = static_cast<int>(&AIst - Finput_streams.data());
        ost->sync_ist = &AIst;
        ost->enc = ACodec;
        ost->encoding_needed = 1;
        ost->enc_ctx = std::move(AEnc);
        if (file.ctx->oformat->flags & AVFMT_GLOBALHEADER)
            ost->enc_ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ost->st = ff::avformat_new_stream(file.ctx.get(), nullptr);
        if (AConfigure)
            AConfigure(*ost);
        Check(ff::avcodec_open2(ost->enc_ctx.get(), ACodec, nullptr), std::string("open ") + ACodec->name);
        Check(ff::avcodec_parameters_from_context(ost->st->codecpar, ost->enc_ctx.get()), "parameters");
        ost->st->time_base = ost->enc_ctx->time_base;
        file.streams.push_back(std::move(ost));
        return *file.streams.back();
    }

    TRunFlags* FFlags;
};

// ---- Generated blocks and pictures ----

// A decoded-looking audio block whose sample i of channel c is AValue(AFirst + i, c)
// in -1..1 (written in the block's own format).
inline TFramePtr MakeAudioBlock(AVSampleFormat AFormat, int ARate, int AChannels, int ASamples,
                                int64_t AFirst, const std::function<double(int64_t, int)>& AValue) {
    TFramePtr frame(ff::av_frame_alloc());
    frame->format = AFormat;
    frame->sample_rate = ARate;
    frame->nb_samples = ASamples;
    ff::av_channel_layout_default(&frame->ch_layout, AChannels);
    Check(ff::av_frame_get_buffer(frame.get(), 0), "audio block");
    const bool planar = ff::av_sample_fmt_is_planar(AFormat);
    for (int i = 0; i < ASamples; ++i)
        for (int c = 0; c < AChannels; ++c) {
            const double v = AValue(AFirst + i, c);
            const size_t index = planar ? size_t(i) : size_t(i) * AChannels + c;
            uint8_t* plane = frame->extended_data[planar ? c : 0];
            switch (ff::av_get_packed_sample_fmt(AFormat)) {
            case AV_SAMPLE_FMT_U8:
                plane[index] = static_cast<uint8_t>(std::lround(v * 127) + 128);
                break;
            case AV_SAMPLE_FMT_S16:
                reinterpret_cast<int16_t*>(plane)[index] = static_cast<int16_t>(std::lround(v * 32767));
                break;
            case AV_SAMPLE_FMT_S32:
                reinterpret_cast<int32_t*>(plane)[index] =
                    static_cast<int32_t>(std::llround(v * 2147483647.0));
                break;
            case AV_SAMPLE_FMT_FLT:
                reinterpret_cast<float*>(plane)[index] = static_cast<float>(v);
                break;
            case AV_SAMPLE_FMT_DBL:
                reinterpret_cast<double*>(plane)[index] = v;
                break;
            default:
                throw std::runtime_error("sample format not generated");
            }
        }
    return frame;
}

inline TFramePtr MakeTone(AVSampleFormat AFormat, int ARate, int AChannels, int ASamples, int64_t AFirst,
                          double AFrequency = 440.0) {
    return MakeAudioBlock(AFormat, ARate, AChannels, ASamples, AFirst, [&](int64_t AIndex, int) {
        return 0.4 * std::sin(2 * M_PI * AFrequency * double(AIndex) / ARate);
    });
}

// Sample i of channel c of an audio frame of any common format, in -1..1.
inline double SampleAt(const AVFrame* AFrame, int AIndex, int AChannel) {
    const auto format = static_cast<AVSampleFormat>(AFrame->format);
    const bool planar = ff::av_sample_fmt_is_planar(format);
    const int channels = AFrame->ch_layout.nb_channels;
    const size_t index = planar ? size_t(AIndex) : size_t(AIndex) * channels + AChannel;
    const uint8_t* plane = AFrame->extended_data[planar ? AChannel : 0];
    switch (ff::av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return (plane[index] - 128) / 128.0;
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const int16_t*>(plane)[index] / 32768.0;
    case AV_SAMPLE_FMT_S32:
        return reinterpret_cast<const int32_t*>(plane)[index] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float*>(plane)[index];
    case AV_SAMPLE_FMT_DBL:
        return reinterpret_cast<const double*>(plane)[index];
    default:
        throw std::runtime_error("sample format not read");
    }
}

// A decoded-looking picture whose luma at (x, y) is ALuma(x, y); chroma is neutral.
inline TFramePtr MakePicture(int AWidth, int AHeight, const std::function<uint8_t(int, int)>& ALuma,
                             AVPixelFormat AFormat = AV_PIX_FMT_YUV420P) {
    TFramePtr frame(ff::av_frame_alloc());
    frame->format = AFormat;
    frame->width = AWidth;
    frame->height = AHeight;
    Check(ff::av_frame_get_buffer(frame.get(), 0), "picture");
    for (int y = 0; y < AHeight; ++y)
        for (int x = 0; x < AWidth; ++x)
            frame->data[0][y * frame->linesize[0] + x] = ALuma(x, y);
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < (AHeight + 1) / 2; ++y)
            for (int x = 0; x < (AWidth + 1) / 2; ++x)
                frame->data[p][y * frame->linesize[p] + x] = 128;
    return frame;
}

inline TFramePtr FlatPicture(int AWidth, int AHeight, uint8_t ALuma) {
    return MakePicture(AWidth, AHeight, [=](int, int) { return ALuma; });
}

// ---- Reading the written file back ----

struct TReadBack {
    std::string Format;
    AVCodecID Codec = AV_CODEC_ID_NONE;
    int SampleRate = 0, Channels = 0, Width = 0, Height = 0;
    int64_t Frames = 0;          // decoded pictures, or decoded samples for audio
    std::vector<double> Samples; // channel 0
    std::vector<TFramePtr> Pictures;
    std::vector<bool> KeyPackets;   // per packet of the stream, in file order
    std::vector<int64_t> PacketDts; // per packet, in the stream's time base
};

inline TReadBack ReadBack(const std::string& APath, AVMediaType AKind) {
    AVFormatContext* raw = nullptr;
    Check(OpenInputFile(&raw, APath, nullptr, nullptr), "open " + APath);
    TInputFilePtr input(raw);
    Check(ff::avformat_find_stream_info(raw, nullptr), "stream info");
    TReadBack result;
    result.Format = raw->iformat->name;
    int index = -1;
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (raw->streams[i]->codecpar->codec_type == AKind) {
            index = static_cast<int>(i);
            break;
        }
    if (index < 0)
        throw std::runtime_error("no stream of the kind in " + APath);
    const AVCodecParameters* par = raw->streams[index]->codecpar;
    result.Codec = par->codec_id;
    result.SampleRate = par->sample_rate;
    result.Channels = par->ch_layout.nb_channels;
    result.Width = par->width;
    result.Height = par->height;
    const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
    TCodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    Check(ff::avcodec_parameters_to_context(dec.get(), par), "decoder parameters");
    Check(ff::avcodec_open2(dec.get(), codec, nullptr), "open decoder");
    TPacketPtr packet(ff::av_packet_alloc());
    TFramePtr frame(ff::av_frame_alloc());
    auto take = [&](AVFrame* AFrame) {
        if (AKind == AVMEDIA_TYPE_AUDIO) {
            for (int i = 0; i < AFrame->nb_samples; ++i)
                result.Samples.push_back(SampleAt(AFrame, i, 0));
            result.Frames += AFrame->nb_samples;
        } else {
            result.Pictures.emplace_back(ff::av_frame_clone(AFrame));
            ++result.Frames;
        }
    };
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == index) {
            result.KeyPackets.push_back(packet->flags & AV_PKT_FLAG_KEY);
            result.PacketDts.push_back(packet->dts);
            Check(DecodePacket(dec.get(), packet.get(), frame.get(), take), "decode");
        }
        ff::av_packet_unref(packet.get());
    }
    Check(DecodePacket(dec.get(), nullptr, frame.get(), take), "drain");
    return result;
}

// Engine log lines while it lives.
class TLogCapture {
public:
    explicit TLogCapture(TLogLevel ALevel = llVerbose) {
        GetLogger().SetLogLevel(ALevel);
        GetLogger().OnLog = [this](void*, uint32_t, TLogLevel, const std::string& AMsg) {
            Lines.push_back(AMsg);
        };
    }
    ~TLogCapture() {
        GetLogger().OnLog = nullptr;
        GetLogger().SetLogLevel(llInfo);
    }
    int Count(const std::string& AText) const {
        int n = 0;
        for (const std::string& line : Lines)
            n += line.find(AText) != std::string::npos;
        return n;
    }
    std::vector<std::string> Lines;
};

} // namespace vx::test
