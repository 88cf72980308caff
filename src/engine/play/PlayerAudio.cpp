#include "play/PlayerAudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/SteadyClock.h"
#include "base/TextFormat.h"
#include "decode/FFUtils.h"

namespace vx {
namespace {

// Drivers that play a chunk while the next is asked for, with no sound server behind.
bool DriverWithoutServer(const char* ADriver) {
    return ADriver && (std::strcmp(ADriver, "disk") == 0 || std::strcmp(ADriver, "dummy") == 0);
}

} // namespace

TPlayerAudio::TPlayerAudio(const TSDLLoader& ASDL, TPacketQueue& AQueue, TPlayerTiming& ATiming,
                           const TPlayerAudioControls& AControls, TSampleRing& ARing, TPlayerAudioHook AHook)
    : FSDL(ASDL), FQueue(AQueue), FTiming(ATiming), FControls(AControls), FRing(ARing),
      FHook(std::move(AHook)) {}

TPlayerAudio::~TPlayerAudio() {
    Close();
}

void TPlayerAudio::Report(TLogLevel ALevel, const std::string& AText) {
    GetLogger().Log(this, ALevel, AText);
}

int TPlayerAudio::Open(AVCodecContext* ADecoder, AVRational ATimeBase) {
    Close();
    const int rate = ADecoder->sample_rate;
    const int channels = ADecoder->ch_layout.nb_channels;
    if (rate <= 0 || channels <= 0) {
        FLastErrMsg = "Invalid sample rate or channel count.";
        Report(llError, FLastErrMsg);
        return -1;
    }
    FPacket.reset(ff::av_packet_alloc());
    FFrame.reset(ff::av_frame_alloc());
    if (!FPacket || !FFrame) {
        FLastErrMsg = "Out of memory for audio decoding.";
        Report(llError, FLastErrMsg);
        return -1;
    }

    SDL_AudioSpec wanted{};
    SDL_AudioSpec obtained{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(std::min(channels, 2));
    wanted.silence = 0;
    wanted.samples = DeviceSamples;
    wanted.callback = SDLCallback;
    wanted.userdata = this;
    // No changes allowed: SDL converts to what the device takes, so the callback always
    // gets the format asked for.
    const SDL_AudioDeviceID device = FSDL.SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        FLastErrMsg = std::string("SDL_OpenAudio() failed: ") + FSDL.SDL_GetError();
        Report(llError, FLastErrMsg);
        return -1;
    }
    FDecoder = ADecoder;
    FTimeBase = ATimeBase;
    FSampleRate = obtained.freq;
    FChannels = obtained.channels;
    FBuffer.assign(AudioBufferBytes, 0);
    FBufSize = FBufIndex = 0;
    FClock = 0;
    FPacketPending = false;
    // A sound server holds about one more chunk than the device asks for.
    const int chunks = DriverWithoutServer(FSDL.SDL_GetCurrentAudioDriver()) ? 1 : 2;
    ResetAudioSync(FTiming, FSampleRate, FChannels, static_cast<int>(obtained.size),
                   chunks * double(obtained.samples) / FSampleRate);
    FDevice = device;
    return 0;
}

void TPlayerAudio::Start() {
    if (FDevice)
        FSDL.SDL_PauseAudioDevice(FDevice, 0);
}

void TPlayerAudio::Close() {
    if (FDevice) {
        FSDL.SDL_CloseAudioDevice(FDevice);
        FDevice = 0;
    }
    FConverter.reset();
    if (FConverterLayout.nb_channels)
        ff::av_channel_layout_uninit(&FConverterLayout);
    FConverterFormat = -1;
    FConverterRate = 0;
    FPacket.reset();
    FFrame.reset();
    FPacketPending = false;
    FDecoder = nullptr;
}

void TPlayerAudio::SDLCallback(void* AUserData, uint8_t* AStream, int ALen) {
    auto* self = static_cast<TPlayerAudio*>(AUserData);
    try {
        self->FillBuffer(AStream, ALen);
    } catch (const std::exception& e) {
        // Nothing may leave SDL's thread; the rest of this chunk is silence.
        std::memset(AStream, 0, ALen);
        self->Report(llError, std::string("Audio callback: ") + e.what());
    }
}

void TPlayerAudio::FillBuffer(uint8_t* AStream, int ALen) {
    const int64_t callbackTime = SteadyMicroseconds();
    if (!FDecoder) {
        std::memset(AStream, 0, ALen);
        return;
    }
    while (ALen > 0) {
        if (FBufIndex >= FBufSize) {
            double pts = 0;
            const int size = DecodeFrame(pts);
            if (FQueue.Aborted()) {
                std::memset(AStream, 0, ALen);
                break;
            }
            if (size < 0) {
                // Paused or starved: a short stretch of silence, then look again.
                FBufSize = std::min(1024, static_cast<int>(FBuffer.size()));
                std::memset(FBuffer.data(), 0, FBufSize);
            } else {
                if (FHook)
                    FHook(std::llround(pts * 1000000) - FTiming.StartTime, FBuffer.data(), size, FSampleRate,
                          FChannels);
                if (FControls.ShowMode != 0)
                    FRing.Write(reinterpret_cast<const int16_t*>(FBuffer.data()), size / 2);
                FBufSize = AdjustAudioLength(FTiming, FBuffer.data(), size, static_cast<int>(FBuffer.size()),
                                             callbackTime);
            }
            FBufIndex = 0;
        }
        const int n = std::min(ALen, FBufSize - FBufIndex);
        const uint8_t* source = FBuffer.data() + FBufIndex;
        const int volume = FControls.Volume;
        if (FControls.Mute || volume <= 0) {
            std::memset(AStream, 0, n);
        } else if (volume >= SDL_MIX_MAXVOLUME) {
            std::memcpy(AStream, source, n);
        } else {
            // Mixing into silence scales the samples by volume / 128.
            std::memset(AStream, 0, n);
            FSDL.SDL_MixAudioFormat(AStream, source, AUDIO_S16SYS, n, volume);
        }
        FBufIndex += n;
        AStream += n;
        ALen -= n;
    }
    PublishClock(callbackTime);
}

void TPlayerAudio::PublishClock(int64_t ACallbackTime) {
    FTiming.audio_clock = FClock;
    FTiming.audio_buf_pending = FBufSize - FBufIndex;
    FTiming.audio_callback_time = ACallbackTime;
}

int TPlayerAudio::DecodeFrame(double& APts) {
    for (;;) {
        if (FTiming.paused || FQueue.Aborted())
            return -1;
        int ret = ff::avcodec_receive_frame(FDecoder, FFrame.get());
        if (ret == 0) {
            int64_t pts = FFrame->pts;
            if (pts == AV_NOPTS_VALUE)
                pts = FFrame->best_effort_timestamp;
            if (pts != AV_NOPTS_VALUE)
                FClock = pts * av_q2d(FTimeBase);
            const int size = ConvertFrame();
            ff::av_frame_unref(FFrame.get());
            if (size <= 0)
                continue;
            APts = FClock;
            FClock += double(size) / (2.0 * FChannels * FSampleRate);
            return size;
        }
        if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF)
            Report(llInfo, "avcodec_receive_frame() failed: " + ErrorMessage(ret));
        // The decoder wants input (or has ended, until the next flush).
        if (!FPacketPending) {
            ret = TakePacket();
            if (ret <= 0)
                return -1;
        }
        ret = ff::avcodec_send_packet(FDecoder, FPacket.get());
        if (ret == AVERROR(EAGAIN))
            continue; // frames first; the packet stays
        if (ret < 0 && ret != AVERROR_EOF)
            Report(llInfo, "avcodec_send_packet() failed: " + ErrorMessage(ret));
        ff::av_packet_unref(FPacket.get());
        FPacketPending = false;
    }
}

int TPlayerAudio::TakePacket() {
    for (;;) {
        const int ret = FQueue.Get(FPacket.get(), false);
        if (ret <= 0)
            return ret;
        if (!IsFlushPacket(FPacket.get())) {
            FPacketPending = true;
            return 1;
        }
        ff::av_packet_unref(FPacket.get());
        ff::avcodec_flush_buffers(FDecoder);
    }
}

int TPlayerAudio::ConvertFrame() {
    const AVFrame* frame = FFrame.get();
    if (frame->nb_samples <= 0)
        return 0;
    AVChannelLayout source{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        ff::av_channel_layout_default(&source, frame->ch_layout.nb_channels);
    else if (ff::av_channel_layout_copy(&source, &frame->ch_layout) < 0)
        return -1;
    const bool same = frame->format == FConverterFormat && frame->sample_rate == FConverterRate &&
                      ff::av_channel_layout_compare(&source, &FConverterLayout) == 0;
    if (!same) {
        FConverter.reset();
        ff::av_channel_layout_uninit(&FConverterLayout);
        FConverterLayout = source; // takes it over
        source = {};
        FConverterFormat = frame->format;
        FConverterRate = frame->sample_rate;
        AVChannelLayout target{};
        ff::av_channel_layout_default(&target, FChannels);
        SwrContext* swr = nullptr;
        int ret = ff::swr_alloc_set_opts2(&swr, &target, AV_SAMPLE_FMT_S16, FSampleRate, &FConverterLayout,
                                          static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                          nullptr);
        if (ret >= 0)
            ret = ff::swr_init(swr);
        ff::av_channel_layout_uninit(&target);
        if (ret < 0) {
            ff::swr_free(&swr);
            const char* name = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
            Report(llError, FormatText("Cannot convert %s sample format to %s sample format",
                                       name ? name : "none", ff::av_get_sample_fmt_name(AV_SAMPLE_FMT_S16)));
            return -1; // reported once; the frames of this format are dropped
        }
        FConverter.reset(swr);
    }
    ff::av_channel_layout_uninit(&source);
    if (!FConverter)
        return -1;

    const int frameBytes = 2 * FChannels;
    const int outSamples = ff::swr_get_out_samples(FConverter.get(), frame->nb_samples);
    if (outSamples < 0)
        return -1;
    // Room for the chunk and for lengthening it by a tenth.
    const size_t needed = size_t(outSamples) * frameBytes * 11 / 10 + frameBytes;
    if (FBuffer.size() < needed)
        FBuffer.resize(needed);
    uint8_t* out = FBuffer.data();
    const int got = ff::swr_convert(FConverter.get(), &out, outSamples,
                                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (got < 0) {
        Report(llError, "swr_convert() failed: " + ErrorMessage(got));
        return -1;
    }
    return got * frameBytes;
}

} // namespace vx
