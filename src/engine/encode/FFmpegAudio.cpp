// The audio path: a decoded block of an input stream becomes encoded packets of an
// output stream. The block is resampled or converted to the encoder's sample format,
// kept in step with the input's timing (audio sync), collected into frames of the
// encoder's size and encoded.
//
// One libswresample context does what used to take a resampler and a separate
// sample-format converter; an AVAudioFifo in the encoder's format holds the samples
// that do not yet fill an encoder frame.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "base/FFLog.h"
#include "base/TextFormat.h"
#include "decode/FFUtils.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

// Silence is fed in pieces of this many samples, with the encoder draining the FIFO
// between them, so a long gap in the input never needs a buffer of its own length.
constexpr int SilenceChunk = 4096;

const char* SampleFormatName(int AFormat) {
    const char* name =
        AFormat >= 0 ? ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(AFormat)) : nullptr;
    return name ? name : "none";
}

// A channel layout the resampler can work with: a layout that only tells the channel
// count gets the default order for that count.
class TLayout {
public:
    explicit TLayout(const AVChannelLayout& ALayout) {
        if (ALayout.order == AV_CHANNEL_ORDER_UNSPEC || ff::av_channel_layout_copy(&FLayout, &ALayout) < 0)
            ff::av_channel_layout_default(&FLayout, ALayout.nb_channels);
    }
    ~TLayout() { ff::av_channel_layout_uninit(&FLayout); }
    TLayout(const TLayout&) = delete;
    TLayout& operator=(const TLayout&) = delete;
    AVChannelLayout* Get() { return &FLayout; }

private:
    AVChannelLayout FLayout{};
};

// PCM-like encoders take blocks of any length as they come.
bool TakesAnySize(const AVCodecContext* AEnc) {
    return AEnc->frame_size <= 1 ||
           (AEnc->codec && (AEnc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
}

// Makes AFrame a writable frame of ASamples samples, keeping its buffer while that is
// large enough (ACapacity samples): no allocation per block once the largest size has
// been seen.
void PrepareFrame(TFramePtr& AFrame, int32_t& ACapacity, AVSampleFormat AFormat, int ARate,
                  const AVChannelLayout& ALayout, int ASamples) {
    if (!AFrame) {
        AFrame.reset(ff::av_frame_alloc());
        if (!AFrame)
            throw FFmpegException("Out of memory in do_audio_out");
        ACapacity = 0;
    }
    if (ASamples > ACapacity || AFrame->format != AFormat ||
        AFrame->ch_layout.nb_channels != ALayout.nb_channels) {
        ff::av_frame_unref(AFrame.get());
        ACapacity = 0;
        AFrame->format = AFormat;
        AFrame->sample_rate = ARate;
        TLayout layout(ALayout);
        AFrame->nb_samples = std::max(ASamples, 1);
        if (ff::av_channel_layout_copy(&AFrame->ch_layout, layout.Get()) < 0 ||
            ff::av_frame_get_buffer(AFrame.get(), 0) < 0)
            throw FFmpegException("Out of memory in do_audio_out");
        ACapacity = AFrame->nb_samples;
    }
    // The encoder may still hold the buffer; then a fresh one of the full capacity.
    AFrame->nb_samples = ACapacity;
    if (ff::av_frame_make_writable(AFrame.get()) < 0)
        throw FFmpegException("Out of memory in do_audio_out");
    AFrame->sample_rate = ARate;
    AFrame->nb_samples = ASamples;
}

// SilenceChunk samples of silence in the given format, kept in AOst.silence for reuse.
AVFrame* SilenceBlock(TAVOutputStream& AOst, AVSampleFormat AFormat, int ARate,
                      const AVChannelLayout& ALayout) {
    AVFrame* quiet = AOst.silence.get();
    if (!quiet || quiet->format != AFormat || quiet->ch_layout.nb_channels != ALayout.nb_channels) {
        int32_t capacity = 0;
        AOst.silence.reset();
        PrepareFrame(AOst.silence, capacity, AFormat, ARate, ALayout, SilenceChunk);
        quiet = AOst.silence.get();
        ff::av_samples_set_silence(quiet->extended_data, 0, SilenceChunk, ALayout.nb_channels, AFormat);
    }
    return quiet;
}

void WriteFifo(AVAudioFifo* AFifo, uint8_t* const* APlanes, int ACount) {
    if (ACount <= 0)
        return;
    if (ff::av_audio_fifo_write(AFifo, reinterpret_cast<void**>(const_cast<uint8_t**>(APlanes)), ACount) <
        ACount)
        throw FFmpegException("av_fifo_realloc2() failed");
}

// Takes encoder frames out of the FIFO and hands them to AEncode: frames of the
// encoder's frame size, or all there is for an encoder that takes any size; with
// AFlush also the last, shorter frame (the library pads it with silence for an
// encoder that wants whole frames).
void DrainFifo(TAVOutputStream& AOst, bool AFlush, const std::function<void(AVFrame*)>& AEncode) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    const bool anySize = TakesAnySize(enc);
    for (;;) {
        const int available = ff::av_audio_fifo_size(AOst.fifo.get());
        int take = 0;
        if (available <= 0)
            return;
        if (anySize)
            take = available;
        else if (available >= enc->frame_size)
            take = enc->frame_size;
        else if (AFlush)
            take = available;
        else
            return;
        PrepareFrame(AOst.audio_frame, AOst.audio_frame_samples, enc->sample_fmt, enc->sample_rate,
                     enc->ch_layout, take);
        AVFrame* frame = AOst.audio_frame.get();
        if (ff::av_audio_fifo_read(AOst.fifo.get(), reinterpret_cast<void**>(frame->extended_data), take) <
            take)
            throw FFmpegException("Audio encoding failed");
        // Without sync, sync_opts follows every wobble of the container's timestamps;
        // the frames themselves run on from where the first one started.
        if (AOst.audio_pts == AV_NOPTS_VALUE)
            AOst.audio_pts = AOst.sync_opts;
        frame->pts = ff::av_rescale_q(AOst.audio_pts, AVRational{1, enc->sample_rate}, enc->time_base);
        AEncode(frame);
        AOst.sync_opts += take;
        AOst.audio_pts += take;
    }
}

// Volume in 1/256 steps, rounded and clipped to the sample type's range. TWide holds a
// sample times any int volume.
template <class T, class TWide> void ScaleSamples(uint8_t* AData, size_t ACount, int AVolume) {
    auto* samples = reinterpret_cast<T*>(AData);
    constexpr TWide low = std::numeric_limits<T>::min();
    constexpr TWide high = std::numeric_limits<T>::max();
    for (size_t i = 0; i < ACount; ++i) {
        const TWide v = (static_cast<TWide>(samples[i]) * AVolume + 128) >> 8;
        samples[i] = static_cast<T>(std::clamp(v, low, high));
    }
}

void ScaleUnsigned8(uint8_t* AData, size_t ACount, int AVolume) {
    for (size_t i = 0; i < ACount; ++i) {
        const int64_t v = ((static_cast<int64_t>(AData[i]) - 128) * AVolume + 128) >> 8;
        AData[i] = static_cast<uint8_t>(std::clamp<int64_t>(v, -128, 127) + 128);
    }
}

template <class T> void ScaleFloat(uint8_t* AData, size_t ACount, int AVolume) {
    auto* samples = reinterpret_cast<T*>(AData);
    const T factor = static_cast<T>(AVolume) / 256;
    for (size_t i = 0; i < ACount; ++i)
        samples[i] *= factor;
}

void ApplyVolume(AVFrame* ABlock, int AVolume) {
    const auto format = static_cast<AVSampleFormat>(ABlock->format);
    const bool planar = ff::av_sample_fmt_is_planar(format);
    const int channels = ABlock->ch_layout.nb_channels;
    const int planes = planar ? channels : 1;
    const size_t count = static_cast<size_t>(ABlock->nb_samples) * (planar ? 1 : channels);
    for (int p = 0; p < planes; ++p) {
        uint8_t* data = ABlock->extended_data[p];
        switch (ff::av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            ScaleUnsigned8(data, count, AVolume);
            break;
        case AV_SAMPLE_FMT_S16:
            ScaleSamples<int16_t, int64_t>(data, count, AVolume);
            break;
        case AV_SAMPLE_FMT_S32:
            ScaleSamples<int32_t, int64_t>(data, count, AVolume);
            break;
        case AV_SAMPLE_FMT_S64:
            ScaleSamples<int64_t, __int128>(data, count, AVolume);
            break;
        case AV_SAMPLE_FMT_FLT:
            ScaleFloat<float>(data, count, AVolume);
            break;
        case AV_SAMPLE_FMT_DBL:
            ScaleFloat<double>(data, count, AVolume);
            break;
        default:
            return;
        }
    }
}

} // namespace

void TCustomFFmpeg::process_audio_block(TAVInputStream& AIst, AVFrame* ABlock) {
    if (!ABlock || ABlock->nb_samples <= 0 || (!OnAudioHook && FRun->audio_volume == 256))
        return;
    // The block may share its buffers with the decoder: changing it needs our own copy.
    const int ret = ff::av_frame_make_writable(ABlock);
    if (ret < 0)
        throw FFmpegException(ErrorMessage(ret));
    const auto format = static_cast<AVSampleFormat>(ABlock->format);
    const int channels = ABlock->ch_layout.nb_channels;
    const int bps = ff::av_get_bytes_per_sample(format);
    const int64_t bytes = int64_t(ABlock->nb_samples) * channels * bps;

    if (OnAudioHook && bps > 0 && bytes <= std::numeric_limits<int32_t>::max()) {
        if (!ff::av_sample_fmt_is_planar(format) || channels == 1) {
            OnAudioHook(this, AIst.pts, ABlock->extended_data[0], static_cast<int32_t>(bytes),
                        ABlock->sample_rate, channels, ff::av_get_packed_sample_fmt(format));
        } else {
            // A handler gets one buffer: planar samples are handed over interleaved, in
            // the packed counterpart of the format, and taken back afterwards.
            std::vector<uint8_t>& buf = AIst.hook_buf;
            buf.resize(static_cast<size_t>(bytes));
            const size_t frameBytes = size_t(channels) * bps;
            for (int c = 0; c < channels; ++c) {
                const uint8_t* src = ABlock->extended_data[c];
                uint8_t* dst = buf.data() + size_t(c) * bps;
                for (int s = 0; s < ABlock->nb_samples; ++s)
                    std::memcpy(dst + s * frameBytes, src + size_t(s) * bps, bps);
            }
            OnAudioHook(this, AIst.pts, buf.data(), static_cast<int32_t>(bytes), ABlock->sample_rate,
                        channels, ff::av_get_packed_sample_fmt(format));
            for (int c = 0; c < channels; ++c) {
                uint8_t* dst = ABlock->extended_data[c];
                const uint8_t* src = buf.data() + size_t(c) * bps;
                for (int s = 0; s < ABlock->nb_samples; ++s)
                    std::memcpy(dst + size_t(s) * bps, src + s * frameBytes, bps);
            }
        }
    }
    if (FRun->audio_volume != 256)
        ApplyVolume(ABlock, FRun->audio_volume);
}

void TCustomFFmpeg::do_audio_out(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                                 const AVFrame* ABlock) {
    if (!ABlock || ABlock->nb_samples <= 0)
        return;
    // What the block is measured against is read now: the loop moves on meanwhile.
    const int64_t syncPts = (AOst.sync_ist ? *AOst.sync_ist : AIst).pts;
    const int decoderRate = AIst.dec_ctx ? AIst.dec_ctx->sample_rate : 0;
    encode_on_stage(
        AFile, AOst,
        [this, &AOst, &AIst, block = ShareFrame(ABlock), syncPts, decoderRate](const TPacketSink& ASink) {
            encode_audio_block(AOst, AIst, block.get(), syncPts, decoderRate, ASink);
        });
}

void TCustomFFmpeg::encode_audio_block(TAVOutputStream& AOst, TAVInputStream& AIst, const AVFrame* ABlock,
                                       int64_t ASyncPts, int ADecoderRate, const TPacketSink& ASink) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    const auto decFmt = static_cast<AVSampleFormat>(ABlock->format);
    const int decChannels = ABlock->ch_layout.nb_channels;
    const int decRate = ABlock->sample_rate > 0 ? ABlock->sample_rate : ADecoderRate;
    const AVSampleFormat encFmt = enc->sample_fmt;
    const int encChannels = enc->ch_layout.nb_channels;
    const int encRate = enc->sample_rate;
    if (decFmt < 0 || decChannels <= 0 || decRate <= 0)
        return; // nothing a block without a format could be turned into
    const int osize = ff::av_get_bytes_per_sample(encFmt);

    // 1. The largest output a block may give (resampled, doubled for safety, plus room
    // for one encoder frame) must stay addressable.
    {
        int64_t n = ABlock->nb_samples;
        n = (n * encRate + decRate) / decRate;
        n = 2 * n + 10000;
        n = std::max<int64_t>(n, enc->frame_size);
        const int64_t bufSize = n * osize * encChannels;
        const int64_t outSize =
            std::max<int64_t>(bufSize, int64_t(enc->frame_size) * osize * encChannels) + 16384;
        if (bufSize > std::numeric_limits<int32_t>::max() || outSize > std::numeric_limits<int32_t>::max())
            throw FFmpegException("Buffer sizes too large in do_audio_out");
    }

    // 2. The resampler, which also converts the sample format.
    if (encChannels != decChannels)
        AOst.audio_resample = 1;
    if (decFmt != AOst.resample_sample_fmt || decChannels != AOst.resample_channels ||
        decRate != AOst.resample_sample_rate) {
        // The first block only tells what the set-up could not know yet.
        if (AOst.resample_sample_fmt >= 0 && AOst.resample_channels > 0 && AOst.resample_sample_rate > 0)
            GetLogger().LogF(
                this, llInfo,
                "Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to rate:%d fmt:%s ch:%d",
                AIst.file_index, AIst.st ? AIst.st->index : 0, AOst.resample_sample_rate,
                SampleFormatName(AOst.resample_sample_fmt), AOst.resample_channels, decRate,
                SampleFormatName(decFmt), decChannels);
        AOst.resample_sample_fmt = decFmt;
        AOst.resample_channels = decChannels;
        AOst.resample_sample_rate = decRate;
        AOst.resample.reset();
    }
    // Any difference of format, channels or rate, and drift compensation, need the
    // resampler; a block already in the encoder's format goes on as it is.
    const bool differ = decFmt != encFmt || decChannels != encChannels || decRate != encRate;
    if (!AOst.resample) {
        if (!differ && FRun->audio_sync_method <= 1) {
            AOst.audio_resample = 0;
        } else {
            AOst.audio_resample =
                decChannels != encChannels || decRate != encRate || FRun->audio_sync_method > 1;
            TLayout outLayout(enc->ch_layout);
            TLayout inLayout(ABlock->ch_layout);
            SwrContext* raw = nullptr;
            int ret = ff::swr_alloc_set_opts2(&raw, outLayout.Get(), encFmt, encRate, inLayout.Get(), decFmt,
                                              decRate, 0, nullptr);
            TSwrContextPtr swr(raw);
            if (ret >= 0) {
                auto set = [raw](const char* AName, const char* AValue) {
                    CheckResult(ff::av_opt_set(raw, AName, AValue, 0),
                                std::string("Could not set the resampler's option ") + AName);
                };
                // The filter of the classic resampler: 16 taps, 10 phase bits, no linear
                // interpolation, cut-off at 0.8 of the lower Nyquist frequency.
                set("filter_size", "16");
                set("phase_shift", "10");
                set("linear_interp", "0");
                set("cutoff", "0.8");
                // Drift compensation stretches the audio: the resampling stage must exist
                // even when the rates are equal.
                if (FRun->audio_sync_method > 1)
                    set("swr_flags", "res");
                ret = ff::swr_init(raw);
            }
            if (ret < 0) {
                if (AOst.audio_resample)
                    throw FFmpegException(
                        FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", decChannels,
                                   decRate, encChannels, encRate));
                throw FFmpegException(FormatText("Cannot convert %s sample format to %s sample format",
                                                 SampleFormatName(decFmt), SampleFormatName(encFmt)));
            }
            AOst.resample = std::move(swr);
        }
    }
    SwrContext* swr = AOst.resample.get();

    if (!AOst.fifo) {
        AOst.fifo.reset(ff::av_audio_fifo_alloc(encFmt, encChannels, std::max(enc->frame_size, 1024)));
        if (!AOst.fifo)
            throw FFmpegException("av_fifo_alloc fail");
    }

    // 4. Audio sync: the samples produced so far, those waiting in the FIFO and those
    // still inside the resampler are compared with where the input says we are.
    int skip = 0;        // input samples dropped from the front of the block
    int64_t silence = 0; // input samples of silence put before the block
    const double ipts = double(ASyncPts - FRun->start_time) / AV_TIME_BASE;
    const int64_t queued =
        ff::av_audio_fifo_size(AOst.fifo.get()) + (swr ? ff::swr_get_delay(swr, encRate) : 0);
    if (FRun->audio_sync_method != 0) {
        const double delta = ipts * encRate - double(AOst.sync_opts) - double(queued);
        const double idelta = delta * decRate / encRate;
        const int64_t sampleDelta = static_cast<int64_t>(std::trunc(idelta));
        if (std::fabs(delta) > 50) {
            if (AIst.is_start || std::fabs(delta) > FRun->audio_drift_threshold * encRate) {
                if (sampleDelta < 0) {
                    skip = static_cast<int>(std::min<int64_t>(-sampleDelta, ABlock->nb_samples));
                    if (FRun->verbose > 2)
                        GetLogger().LogF(this, llVerbose, "discarding %d audio samples",
                                         static_cast<int>(std::trunc(-delta)));
                    if (skip >= ABlock->nb_samples)
                        return;
                    AIst.is_start = 0;
                } else {
                    silence = sampleDelta;
                    AIst.is_start = 0;
                    if (FRun->verbose > 2)
                        GetLogger().LogF(this, llVerbose, "adding %d audio samples of silence",
                                         static_cast<int>(std::trunc(delta)));
                }
            } else if (FRun->audio_sync_method > 1 && swr) {
                const int comp = static_cast<int>(
                    std::clamp<double>(std::trunc(delta), -FRun->audio_sync_method, FRun->audio_sync_method));
                if (FRun->verbose > 2)
                    GetLogger().LogF(this, llVerbose,
                                     "compensating audio timestamp drift:%f compensation:%d in:%d", delta,
                                     comp, encRate);
                ff::swr_set_compensation(swr, comp, encRate);
            }
        }
    } else {
        AOst.sync_opts = std::llrint(ipts * encRate) - queued;
    }

    // 5. and 6. Convert into the FIFO, then encode every complete frame.
    auto encode = [&](AVFrame* AFrame) { encode_frame(AOst, AFrame, "Audio encoding failed", ASink); };
    // False when the conversion failed and the samples were dropped.
    auto feed = [&](const uint8_t* const* APlanes, int ACount) {
        if (swr) {
            const int capacity = ff::swr_get_out_samples(swr, ACount);
            if (capacity < 0)
                throw FFmpegException("Out of memory in do_audio_out");
            PrepareFrame(AOst.audio_buf, AOst.audio_buf_samples, encFmt, encRate, enc->ch_layout,
                         std::max(capacity, 1));
            const int got = ff::swr_convert(swr, AOst.audio_buf->extended_data, capacity,
                                            const_cast<const uint8_t**>(APlanes), ACount);
            if (got < 0) {
                if (FRun->exit_on_error)
                    throw FFmpegException("av_audio_convert() failed");
                GetLogger().Log(this, llError, "av_audio_convert() failed");
                return false;
            }
            WriteFifo(AOst.fifo.get(), AOst.audio_buf->extended_data, got);
        } else {
            WriteFifo(AOst.fifo.get(), const_cast<uint8_t* const*>(APlanes), ACount);
        }
        DrainFifo(AOst, false, encode);
        return true;
    };

    if (silence > 0) {
        AVFrame* quiet = SilenceBlock(AOst, decFmt, decRate, ABlock->ch_layout);
        for (int64_t left = silence; left > 0;) {
            const int n = static_cast<int>(std::min<int64_t>(left, SilenceChunk));
            if (!feed(quiet->extended_data, n))
                return;
            left -= n;
        }
    }

    const int count = ABlock->nb_samples - skip;
    if (skip == 0) {
        feed(ABlock->extended_data, count);
        return;
    }
    const bool planar = ff::av_sample_fmt_is_planar(decFmt);
    const int isize = ff::av_get_bytes_per_sample(decFmt);
    std::vector<const uint8_t*> planes(planar ? decChannels : 1);
    for (size_t p = 0; p < planes.size(); ++p)
        planes[p] = ABlock->extended_data[p] + size_t(skip) * isize * (planar ? 1 : decChannels);
    feed(planes.data(), count);
}

void TCustomFFmpeg::drain_resampler(TAVOutputStream& AOst) {
    // The resampler keeps the last samples of the input for its filter, and lets them out
    // only once enough input follows them: flushing gives nothing back for a source
    // shorter than the filter. Silence follows the real samples instead, and only as many
    // samples as the resampler still owes are kept; the rest is the filter ringing out.
    SwrContext* swr = AOst.resample.get();
    AVCodecContext* enc = AOst.enc_ctx.get();
    int64_t owed = ff::swr_get_delay(swr, enc->sample_rate);
    if (owed <= 0 || AOst.resample_sample_fmt < 0 || AOst.resample_channels <= 0)
        return;
    AVChannelLayout layout{};
    ff::av_channel_layout_default(&layout, AOst.resample_channels);
    AVFrame* quiet = SilenceBlock(AOst, static_cast<AVSampleFormat>(AOst.resample_sample_fmt),
                                  AOst.resample_sample_rate, layout);
    // A filter spans far less than a few blocks of silence, whatever the rates.
    for (int block = 0; block < 8 && owed > 0; ++block) {
        const int capacity = ff::swr_get_out_samples(swr, SilenceChunk);
        if (capacity <= 0)
            break;
        PrepareFrame(AOst.audio_buf, AOst.audio_buf_samples, enc->sample_fmt, enc->sample_rate,
                     enc->ch_layout, capacity);
        const int got = ff::swr_convert(swr, AOst.audio_buf->extended_data, capacity,
                                        const_cast<const uint8_t**>(quiet->extended_data), SilenceChunk);
        if (got < 0)
            break;
        const int keep = static_cast<int>(std::min<int64_t>(got, owed));
        WriteFifo(AOst.fifo.get(), AOst.audio_buf->extended_data, keep);
        owed -= keep;
    }
}

void TCustomFFmpeg::flush_audio_out(TAVOutputFile& AFile, TAVOutputStream& AOst) {
    if (!AOst.encoding_needed || !AOst.enc_ctx)
        return;
    encode_on_stage(AFile, AOst, [this, &AOst](const TPacketSink& ASink) {
        auto encode = [&](AVFrame* AFrame) { encode_frame(AOst, AFrame, "Audio encoding failed", ASink); };
        if (AOst.fifo) {
            if (AOst.resample)
                drain_resampler(AOst);
            DrainFifo(AOst, true, encode);
        }
        encode_frame(AOst, nullptr, "Audio encoding failed", ASink);
    });
}

} // namespace vx
