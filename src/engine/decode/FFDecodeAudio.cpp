// The decoder's sound: one packet at a time, converted to the wanted channels, rate and
// sample format, and read back as a stream of bytes.
#include "FFDecode.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "FFUtils.h"
#include "base/CodecLoop.h"
#include "base/FFLog.h"
#include "base/TextFormat.h"

namespace vx {

namespace {

const char* SampleFormatName(AVSampleFormat AFormat) {
    const char* name = ff::av_get_sample_fmt_name(AFormat);
    return name ? name : "none";
}

} // namespace

void TFFDecoder::TSwrFree::operator()(SwrContext* AContext) const {
    ff::swr_free(&AContext);
}

void TFFDecoder::SetDesireAudioChannels(int AValue) {
    if (AValue != FDesireAudioChannels) {
        FDesireAudioChannels = AValue;
        CloseResampler();
    }
}

void TFFDecoder::SetDesireAudioSampleRate(int AValue) {
    if (AValue != FDesireAudioSampleRate) {
        FDesireAudioSampleRate = AValue;
        CloseResampler();
    }
}

void TFFDecoder::CloseResampler() {
    FAudioResampler.reset();
    if (ff::av_channel_layout_uninit)
        ff::av_channel_layout_uninit(&FResamplerInLayout);
    FResamplerInFormat = AV_SAMPLE_FMT_NONE;
    FResamplerInRate = 0;
}

void TFFDecoder::ResetWave() {
    FWaveInfo = TWaveInfo();
    FResampledAudio.clear();
    FRemainsAudioSize = 0;
}

int TFFDecoder::SelectAudioStream(int AStreamIndex) {
    if (AStreamIndex < 0 && FDesireAudioIndex >= 0)
        AStreamIndex = FDesireAudioIndex;
    const int index = ResolveStream(AStreamIndex, AVMEDIA_TYPE_AUDIO);
    if (index < 0 || index == FDesireAudioIndex)
        return index;
    ResetWave();
    CloseResampler();
    FDesireAudioIndex = index;
    return index;
}

bool TFFDecoder::AppendAudio(const AVFrame* AFrame) {
    const auto format = static_cast<AVSampleFormat>(AFrame->format);
    const int outBytes = ff::av_get_bytes_per_sample(FDesireAudioSampleFormat) * FDesireAudioChannels;
    const bool same = format == FDesireAudioSampleFormat && AFrame->sample_rate == FDesireAudioSampleRate &&
                      AFrame->ch_layout.nb_channels == FDesireAudioChannels && !FAudioResampler;
    if (same) {
        const size_t bytes = size_t(AFrame->nb_samples) * size_t(outBytes);
        FResampledAudio.insert(FResampledAudio.end(), AFrame->data[0], AFrame->data[0] + bytes);
        return true;
    }
    const bool changed =
        FAudioResampler && (format != FResamplerInFormat || AFrame->sample_rate != FResamplerInRate ||
                            ff::av_channel_layout_compare(&AFrame->ch_layout, &FResamplerInLayout));
    if (changed && !FlushResampler())
        return false;
    // Only the sample format differs: a conversion, which the resampler does as well.
    const bool convertOnly = AFrame->sample_rate == FDesireAudioSampleRate &&
                             AFrame->ch_layout.nb_channels == FDesireAudioChannels;
    if (!FAudioResampler || changed) {
        CloseResampler();
        AVChannelLayout outLayout{};
        ff::av_channel_layout_default(&outLayout, FDesireAudioChannels);
        SwrContext* swr = nullptr;
        int ret = ff::swr_alloc_set_opts2(&swr, &outLayout, FDesireAudioSampleFormat, FDesireAudioSampleRate,
                                          const_cast<AVChannelLayout*>(&AFrame->ch_layout), format,
                                          AFrame->sample_rate, 0, nullptr);
        FAudioResampler.reset(swr);
        if (ret >= 0)
            ret = ff::swr_init(swr);
        const std::string formats =
            FormatText("%s sample format to %s sample format", SampleFormatName(format),
                       SampleFormatName(FDesireAudioSampleFormat));
        const std::string rates =
            FormatText("%d channels @ %d Hz to %d channels @ %d Hz", AFrame->ch_layout.nb_channels,
                       AFrame->sample_rate, FDesireAudioChannels, FDesireAudioSampleRate);
        if (ret < 0) {
            CloseResampler();
            ReportError(AV_LOG_ERROR,
                        convertOnly ? "Cannot convert " + formats : "Can not resample " + rates);
            return false;
        }
        GetLogger().Log(this, llInfo, convertOnly ? "need convert " + formats : "need resample " + rates);
        ff::av_channel_layout_copy(&FResamplerInLayout, &AFrame->ch_layout);
        FResamplerInFormat = format;
        FResamplerInRate = AFrame->sample_rate;
    }
    const int room = ff::swr_get_out_samples(FAudioResampler.get(), AFrame->nb_samples);
    if (room < 0 ||
        int64_t(room) * outBytes + int64_t(FResampledAudio.size()) > std::numeric_limits<int>::max()) {
        ReportError(AV_LOG_ERROR, "Buffer sizes too large in DecodeAudio");
        return false;
    }
    const size_t used = FResampledAudio.size();
    FResampledAudio.resize(used + size_t(room) * size_t(outBytes));
    uint8_t* out[1] = {FResampledAudio.data() + used};
    const int got = ff::swr_convert(FAudioResampler.get(), out, room,
                                    const_cast<const uint8_t**>(AFrame->extended_data), AFrame->nb_samples);
    FResampledAudio.resize(used + size_t(std::max(got, 0)) * size_t(outBytes));
    if (got < 0) {
        ReportError(AV_LOG_ERROR, convertOnly ? "av_audio_convert() failed"
                                              : "audio resampling failed: " + ErrorMessage(got));
        return false;
    }
    return true;
}

// The samples that the resampler still holds for the end of its input.
bool TFFDecoder::FlushResampler() {
    if (!FAudioResampler)
        return true;
    const int outBytes = ff::av_get_bytes_per_sample(FDesireAudioSampleFormat) * FDesireAudioChannels;
    const int room = ff::swr_get_out_samples(FAudioResampler.get(), 0);
    if (room <= 0)
        return true;
    const size_t used = FResampledAudio.size();
    FResampledAudio.resize(used + size_t(room) * size_t(outBytes));
    uint8_t* out[1] = {FResampledAudio.data() + used};
    const int got = ff::swr_convert(FAudioResampler.get(), out, room, nullptr, 0);
    FResampledAudio.resize(used + size_t(std::max(got, 0)) * size_t(outBytes));
    if (got < 0) {
        ReportError(AV_LOG_ERROR, "audio resampling failed: " + ErrorMessage(got));
        return false;
    }
    return true;
}

void TFFDecoder::FillWave(int AStreamIndex, const AVPacket* APacket) {
    TWaveInfo& w = FWaveInfo;
    w.Channels = FDesireAudioChannels;
    w.SampleRate = FDesireAudioSampleRate;
    w.SampleFormat = FDesireAudioSampleFormat;
    w.BytesPerSample = ff::av_get_bytes_per_sample(FDesireAudioSampleFormat);
    w.BytesPerSecond = w.BytesPerSample * w.SampleRate * w.Channels;
    w.OriginalDTS = APacket ? APacket->dts : AV_NOPTS_VALUE;
    w.OriginalPTS = APacket ? APacket->pts : AV_NOPTS_VALUE;
    const int64_t time = w.OriginalDTS != AV_NOPTS_VALUE ? w.OriginalDTS : w.OriginalPTS;
    w.PTS = time != AV_NOPTS_VALUE ? StreamTimeToMicroseconds(time, AStreamIndex) : AV_NOPTS_VALUE;
    if (w.PTS != AV_NOPTS_VALUE)
        GetLogger().Log(this, llDebug, FormatText("decode PTS: %0.3f", double(w.PTS) / 1000000));
    w.StreamIndex = AStreamIndex;
    w.Ready = true;
    w.Buffer = FResampledAudio.data();
    w.Size = int(FResampledAudio.size());
    w.Duration = w.BytesPerSecond ? int64_t(w.Size) * 1000000 / w.BytesPerSecond : 0;
}

bool TFFDecoder::DecodeAudio(int AStreamIndex) {
    if (!CheckOwnFile())
        return false;
    const int index = SelectAudioStream(AStreamIndex);
    if (index < 0)
        return false;
    if (FEOF && FEOFpkt) {
        ReportError(AV_LOG_INFO, "stream eof reached.");
        return false;
    }
    if (!OpenDecoder(FAudioCodec, FAudioCodecStream, index, false))
        return false;
    FLastPTS = AV_NOPTS_VALUE;

    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet) {
        ReportError(AV_LOG_ERROR, "Out of memory in DecodeAudio");
        return false;
    }
    for (;;) {
        const TRead read = ReadStreamPacket(index, packet.get());
        if (read == TRead::Failed)
            return false;
        ResetWave();
        bool converted = true;
        const int ret = DecodePacket(FAudioCodec.get(), read == TRead::Packet ? packet.get() : nullptr,
                                     FFrame.get(), [&](AVFrame* AFrame) {
                                         converted = converted && AppendAudio(AFrame);
                                         ff::av_frame_unref(AFrame);
                                     });
        if (read == TRead::Flush)
            converted = converted && FlushResampler();
        if (!converted)
            return false;
        if (ret < 0)
            GetLogger().Log(this, llDebug, "skipping an audio packet: " + ErrorMessage(ret));
        if (read == TRead::Packet)
            GetLogger().Log(this, llDebug,
                            FormatText("pkt.st_idx=%d, dts=%lld, pts=%lld, flags=%d, samples data size=%d",
                                       index, (long long)packet->dts, (long long)packet->pts, packet->flags,
                                       int(FResampledAudio.size())));
        if (FResampledAudio.empty()) {
            ff::av_packet_unref(packet.get());
            continue; // nothing yet (or nothing left after the flush: the next read ends)
        }
        FillWave(index, read == TRead::Packet ? packet.get() : nullptr);
        ff::av_packet_unref(packet.get());
        return true;
    }
}

int TFFDecoder::ReadAudio(uint8_t* ABuffer, int ACount, int /*AStreamIndex*/) {
    if (FRemainsAudioSize <= 0) {
        if (!DecodeAudio(-1))
            return -1;
        FRemainsAudioSize = FWaveInfo.Size;
    }
    const int count = std::clamp(ACount, 0, FRemainsAudioSize);
    if (ABuffer) {
        std::memcpy(ABuffer, FWaveInfo.Buffer + (FWaveInfo.Size - FRemainsAudioSize), size_t(count));
        FRemainsAudioSize -= count;
    }
    return count;
}

} // namespace vx
