// The floor of the comparison: the conversion the engine's MP4 default task does, written
// straight on the library calls, as a program would that knows its input and wants nothing
// else. What the engine spends beyond this is the wrapper's cost.
//
// It takes every setting from the same task the engine runs (BuildMP4Task), so the two
// encode the same pictures and sound with the same encoders and settings. It leaves out
// what the task asks for on top of the conversion itself: the volume stage (the window's
// 100 % is 255 on the engine's 256 scale, one multiplication per sample), audio sync,
// frame-rate conversion, progress events, metadata and chapters.
#include "BenchRuns.h"
#include "BenchTask.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <string>

#include "base/FormatIO.h"
#include "encode/FFmpeg.h"

namespace vx::bench {

namespace {

void Check(int ACode, const std::string& AWhat) {
    if (ACode >= 0)
        return;
    char text[128] = "";
    ff::av_strerror(ACode, text, sizeof text);
    throw std::runtime_error("floor: " + AWhat + ": " + text);
}

template <class T> T* Checked(T* APointer, const char* AWhat) {
    if (!APointer)
        throw std::runtime_error(std::string("floor: ") + AWhat);
    return APointer;
}

struct TStream {
    AVStream* In = nullptr;
    TCodecContextPtr Dec;
    AVStream* Out = nullptr;
    TCodecContextPtr Enc;
};

class TFloor {
public:
    TFloor(const TEncoderTask& ATask, int AThreads) : FTask(ATask), FThreads(AThreads) {}

    int64_t Run(const std::string& ASource, const std::string& AOutput) {
        OpenInput(ASource);
        OpenOutput(AOutput);
        TPacketPtr packet(Checked(ff::av_packet_alloc(), "packet"));
        while (ff::av_read_frame(FInput.get(), packet.get()) >= 0) {
            if (packet->stream_index == FVideo.In->index)
                Decode(FVideo, packet.get());
            else if (FAudio.In && packet->stream_index == FAudio.In->index)
                Decode(FAudio, packet.get());
            ff::av_packet_unref(packet.get());
        }
        Decode(FVideo, nullptr);
        if (FAudio.In) {
            Decode(FAudio, nullptr);
            FlushAudio();
            Encode(FAudio, nullptr);
        }
        Encode(FVideo, nullptr);
        Check(ff::av_write_trailer(FOutput.get()), "trailer");
        Check(CloseOutputIO(&FOutput->pb), "close");
        return FFrames;
    }

private:
    void OpenDecoder(TStream& AStream, AVStream* AIn) {
        AStream.In = AIn;
        const AVCodec* codec = Checked(ff::avcodec_find_decoder(AIn->codecpar->codec_id), "no decoder");
        AStream.Dec.reset(Checked(ff::avcodec_alloc_context3(codec), "decoder context"));
        Check(ff::avcodec_parameters_to_context(AStream.Dec.get(), AIn->codecpar), "decoder parameters");
        AStream.Dec->pkt_timebase = AIn->time_base;
        AStream.Dec->thread_count = FThreads;
        Check(ff::avcodec_open2(AStream.Dec.get(), codec, nullptr), "open decoder");
    }

    void OpenInput(const std::string& ASource) {
        AVFormatContext* raw = nullptr;
        Check(OpenInputFile(&raw, ASource, nullptr, nullptr), "open " + ASource);
        FInput.reset(raw);
        Check(ff::avformat_find_stream_info(raw, nullptr), "stream info");
        for (unsigned i = 0; i < raw->nb_streams; ++i) {
            AVStream* st = raw->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !FVideo.In)
                OpenDecoder(FVideo, st);
            else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && !FAudio.In)
                OpenDecoder(FAudio, st);
            else
                st->discard = AVDISCARD_ALL;
        }
        if (!FVideo.In)
            throw std::runtime_error("floor: the source has no video");
    }

    AVStream* OpenEncoder(TStream& AStream, const AVCodec* ACodec) {
        AVCodecContext* enc = AStream.Enc.get();
        enc->thread_count = FThreads;
        if (FOutput->oformat->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Check(ff::avcodec_open2(enc, ACodec, nullptr), std::string("open encoder ") + ACodec->name);
        AVStream* st = Checked(ff::avformat_new_stream(FOutput.get(), nullptr), "stream");
        Check(ff::avcodec_parameters_from_context(st->codecpar, enc), "stream parameters");
        st->time_base = enc->time_base;
        AStream.Out = st;
        return st;
    }

    void OpenOutput(const std::string& AOutput) {
        const TOutputOptions& o = FTask.OutputOptions;
        AVFormatContext* raw = nullptr;
        Check(ff::avformat_alloc_output_context2(&raw, nullptr, nullptr, AOutput.c_str()), "output format");
        FOutput.reset(raw);

        // Video: the named encoder, else the container's default (the MP4 entry names none),
        // the source's size and frame rate ("Original Video Size", "Auto"), the task's bit
        // rate, and the pixel aspect that gives the task's display aspect.
        const AVCodec* videoCodec = o.VideoCodec.empty()
                                        ? ff::avcodec_find_encoder(raw->oformat->video_codec)
                                        : ff::avcodec_find_encoder_by_name(o.VideoCodec.c_str());
        Checked(videoCodec, "video encoder");
        FVideo.Enc.reset(Checked(ff::avcodec_alloc_context3(videoCodec), "encoder context"));
        AVCodecContext* venc = FVideo.Enc.get();
        const AVCodecContext* vdec = FVideo.Dec.get();
        venc->pix_fmt = videoCodec->pix_fmts ? videoCodec->pix_fmts[0] : vdec->pix_fmt;
        for (const AVPixelFormat* p = videoCodec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
            if (*p == vdec->pix_fmt)
                venc->pix_fmt = vdec->pix_fmt;
        // Whole chroma samples, as the engine rounds a size taken over from the source.
        const AVPixFmtDescriptor* desc = Checked(ff::av_pix_fmt_desc_get(venc->pix_fmt), "pixel format");
        venc->width = vdec->width - vdec->width % (1 << desc->log2_chroma_w);
        venc->height = vdec->height - vdec->height % (1 << desc->log2_chroma_h);
        AVRational rate = FVideo.In->r_frame_rate;
        if (!o.FrameRate.empty())
            Check(ff::av_parse_video_rate(&rate, o.FrameRate.c_str()), "frame rate");
        venc->framerate = rate;
        venc->time_base = av_inv_q(rate);
        venc->bit_rate = o.VideoBitrate;
        if (!o.FrameAspectRatio.empty())
            venc->sample_aspect_ratio =
                ff::av_d2q(std::stod(o.FrameAspectRatio) * venc->height / venc->width, 255);
        OpenEncoder(FVideo, videoCodec)->avg_frame_rate = rate;

        // Audio: the named encoder, else the container's default (the engine's stand-in for
        // an encoder the library no longer has), at the task's rate, channels and bit rate.
        if (FAudio.In) {
            const AVCodec* audioCodec = ff::avcodec_find_encoder_by_name(o.AudioCodec.c_str());
            if (!audioCodec)
                audioCodec = Checked(ff::avcodec_find_encoder(raw->oformat->audio_codec), "audio encoder");
            FAudio.Enc.reset(Checked(ff::avcodec_alloc_context3(audioCodec), "encoder context"));
            AVCodecContext* aenc = FAudio.Enc.get();
            aenc->sample_fmt = audioCodec->sample_fmts[0];
            aenc->sample_rate = o.AudioSampleRate > 0 ? o.AudioSampleRate : FAudio.Dec->sample_rate;
            ff::av_channel_layout_default(
                &aenc->ch_layout, o.AudioChannels > 0 ? o.AudioChannels : FAudio.Dec->ch_layout.nb_channels);
            aenc->bit_rate = o.AudioBitrate;
            aenc->time_base = AVRational{1, aenc->sample_rate};
            OpenEncoder(FAudio, audioCodec);
            FFifo.reset(Checked(ff::av_audio_fifo_alloc(aenc->sample_fmt, aenc->ch_layout.nb_channels,
                                                        std::max(aenc->frame_size, 1024)),
                                "audio FIFO"));
        }

        Check(OpenOutputIO(&raw->pb, AOutput, AVIO_FLAG_WRITE, nullptr), "create " + AOutput);
        Check(ff::avformat_write_header(raw, nullptr), "header");
        FScratch.reset(Checked(ff::av_frame_alloc(), "frame"));
        FEncoded.reset(Checked(ff::av_packet_alloc(), "packet"));
    }

    void Decode(TStream& AStream, const AVPacket* APacket) {
        int ret = ff::avcodec_send_packet(AStream.Dec.get(), APacket);
        if (ret < 0 && ret != AVERROR_EOF)
            return; // a broken packet is skipped, as a player would
        for (;;) {
            ret = ff::avcodec_receive_frame(AStream.Dec.get(), FScratch.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                return;
            Check(ret, "decode");
            if (&AStream == &FVideo)
                VideoFrame(FScratch.get());
            else
                AudioFrame(FScratch.get());
            ff::av_frame_unref(FScratch.get());
        }
    }

    void VideoFrame(AVFrame* AFrame) {
        AVCodecContext* enc = FVideo.Enc.get();
        AVFrame* picture = AFrame;
        if (AFrame->width != enc->width || AFrame->height != enc->height || AFrame->format != enc->pix_fmt) {
            if (!FScaler) {
                FScaler.reset(Checked(ff::sws_getContext(AFrame->width, AFrame->height,
                                                         static_cast<AVPixelFormat>(AFrame->format),
                                                         enc->width, enc->height, enc->pix_fmt, SWS_BICUBIC,
                                                         nullptr, nullptr, nullptr),
                                      "scaler"));
                FScaled.reset(Checked(ff::av_frame_alloc(), "frame"));
                FScaled->format = enc->pix_fmt;
                FScaled->width = enc->width;
                FScaled->height = enc->height;
                Check(ff::av_frame_get_buffer(FScaled.get(), 0), "frame buffer");
            }
            Check(ff::av_frame_make_writable(FScaled.get()), "frame buffer");
            ff::sws_scale(FScaler.get(), AFrame->data, AFrame->linesize, 0, AFrame->height, FScaled->data,
                          FScaled->linesize);
            picture = FScaled.get();
        }
        picture->pts = FFrames++;
        picture->pict_type = AV_PICTURE_TYPE_NONE;
        Encode(FVideo, picture);
    }

    void AudioFrame(AVFrame* AFrame) {
        AVCodecContext* enc = FAudio.Enc.get();
        if (AFrame->format != enc->sample_fmt || AFrame->sample_rate != enc->sample_rate ||
            ff::av_channel_layout_compare(&AFrame->ch_layout, &enc->ch_layout) != 0) {
            if (!FResampler) {
                SwrContext* raw = nullptr;
                Check(ff::swr_alloc_set_opts2(&raw, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                              &AFrame->ch_layout, static_cast<AVSampleFormat>(AFrame->format),
                                              AFrame->sample_rate, 0, nullptr),
                      "resampler");
                FResampler.reset(raw);
                // The engine's resampler filter, so that both do the same arithmetic.
                ff::av_opt_set(raw, "filter_size", "16", 0);
                ff::av_opt_set(raw, "phase_shift", "10", 0);
                ff::av_opt_set(raw, "linear_interp", "0", 0);
                ff::av_opt_set(raw, "cutoff", "0.8", 0);
                Check(ff::swr_init(raw), "resampler");
            }
            Resample(AFrame->extended_data, AFrame->nb_samples);
        } else {
            Check(ff::av_audio_fifo_write(FFifo.get(), reinterpret_cast<void**>(AFrame->extended_data),
                                          AFrame->nb_samples),
                  "audio FIFO");
        }
        DrainFifo(false);
    }

    void Resample(uint8_t** AData, int ACount) {
        AVCodecContext* enc = FAudio.Enc.get();
        const int capacity = ff::swr_get_out_samples(FResampler.get(), ACount);
        if (capacity <= 0)
            return;
        if (!FResampled || FResampled->nb_samples < capacity) {
            FResampled.reset(Checked(ff::av_frame_alloc(), "frame"));
            FResampled->format = enc->sample_fmt;
            FResampled->sample_rate = enc->sample_rate;
            FResampled->nb_samples = capacity;
            Check(ff::av_channel_layout_copy(&FResampled->ch_layout, &enc->ch_layout), "layout");
            Check(ff::av_frame_get_buffer(FResampled.get(), 0), "frame buffer");
        }
        const int got = ff::swr_convert(FResampler.get(), FResampled->extended_data, capacity,
                                        const_cast<const uint8_t**>(AData), ACount);
        Check(got, "resample");
        Check(ff::av_audio_fifo_write(FFifo.get(), reinterpret_cast<void**>(FResampled->extended_data), got),
              "audio FIFO");
    }

    // Frames of the encoder's frame size out of the FIFO; at the end also the last, short one.
    void DrainFifo(bool AFlush) {
        AVCodecContext* enc = FAudio.Enc.get();
        for (;;) {
            const int available = ff::av_audio_fifo_size(FFifo.get());
            const int take = std::min(available, enc->frame_size);
            if (take <= 0 || (take < enc->frame_size && !AFlush))
                return;
            if (!FAudioFrame) {
                FAudioFrame.reset(Checked(ff::av_frame_alloc(), "frame"));
                FAudioFrame->format = enc->sample_fmt;
                FAudioFrame->sample_rate = enc->sample_rate;
                FAudioFrame->nb_samples = enc->frame_size;
                Check(ff::av_channel_layout_copy(&FAudioFrame->ch_layout, &enc->ch_layout), "layout");
                Check(ff::av_frame_get_buffer(FAudioFrame.get(), 0), "frame buffer");
            }
            FAudioFrame->nb_samples = enc->frame_size;
            Check(ff::av_frame_make_writable(FAudioFrame.get()), "frame buffer");
            FAudioFrame->nb_samples = take;
            Check(ff::av_audio_fifo_read(FFifo.get(), reinterpret_cast<void**>(FAudioFrame->extended_data),
                                         take),
                  "audio FIFO");
            FAudioFrame->pts = FSamples;
            FSamples += take;
            Encode(FAudio, FAudioFrame.get());
        }
    }

    void FlushAudio() {
        if (FResampler)
            Resample(nullptr, 0);
        DrainFifo(true);
    }

    void Encode(TStream& AStream, const AVFrame* AFrame) {
        int ret = ff::avcodec_send_frame(AStream.Enc.get(), AFrame);
        if (ret == AVERROR_EOF)
            return;
        Check(ret, "encode");
        for (;;) {
            ret = ff::avcodec_receive_packet(AStream.Enc.get(), FEncoded.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                return;
            Check(ret, "encode");
            ff::av_packet_rescale_ts(FEncoded.get(), AStream.Enc->time_base, AStream.Out->time_base);
            FEncoded->stream_index = AStream.Out->index;
            Check(ff::av_interleaved_write_frame(FOutput.get(), FEncoded.get()), "write");
        }
    }

    const TEncoderTask& FTask;
    const int FThreads;
    TInputFilePtr FInput;
    TOutputContextPtr FOutput;
    TStream FVideo, FAudio;
    TFramePtr FScratch, FScaled, FResampled, FAudioFrame;
    TPacketPtr FEncoded;
    TSwsContextPtr FScaler;
    TSwrContextPtr FResampler;
    TAudioFifoPtr FFifo;
    int64_t FFrames = 0;
    int64_t FSamples = 0;
};

} // namespace

TRunResult RunFloor(const std::string& ASource, const std::string& AOutputFolder, int AThreads) {
    const TEncoderTask task = BuildMP4Task(ASource, AOutputFolder, AThreads);
    TRunResult result;
    result.OutputFile = task.OutputFileName.toStdString();
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    {
        TFloor floor(task, AThreads);
        result.Frames = floor.Run(ASource, result.OutputFile);
    }
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.CpuSeconds = ProcessCpuSeconds() - cpuStart;
    return result;
}

} // namespace vx::bench
