// The reader side of a playback: starting and ending it, the reader thread that opens the
// file and fills the packet queues, seeking and flushing, and opening and closing streams.
#include <climits>
#include <cstring>

#include "base/FFLog.h"
#include "base/InterruptCB.h"
#include "base/PlatformBridge.h"
#include "base/SteadyClock.h"
#include "base/TextFormat.h"
#include "decode/FFUtils.h"
#include "encode/FFOptions.h"
#include "play/FFPlay.h"
#include "play/PlaybackState.h"
#include "play/PlayerEvents.h"

namespace vx {
namespace {

void SleepMs(int AMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds));
}

void ClearIOMarks(AVFormatContext* AIc) {
    if (AIc->pb) {
        AIc->pb->eof_reached = 0;
        AIc->pb->error = 0;
    }
}

} // namespace

TVideoState::~TVideoState() {
    for (TSubtitleEntry& entry : subpq)
        if (entry.used)
            ff::avsubtitle_free(&entry.sub);
}

// Starting and ending (caller's thread; EndPlayback also on the play thread)

bool TCustomPlayer::StartPlayback(const TFileName& AFileName, bool APaused) {
    auto is = std::make_unique<TVideoState>(this);
    if (APaused) {
        is->timing.paused = true;
        is->open_paused = 1;
        Fstep = false;
    }
    is->filename = AFileName;
    is->iformat = Ffile_iformat;
    is->timing.av_sync_type = static_cast<Tav_sync_type>(Fav_sync_type);
    is->audio_controls.Volume = FAudioVolume.load();
    is->audio_controls.Mute = FMute.load();
    FOpening = is.get();
    try {
        is->read_tid = std::thread([this, state = is.get()] { ReaderThread(state); });
    } catch (const std::system_error&) {
        FOpening = nullptr;
        Report("SDL_CreateThread() failed.");
        return false;
    }
    WaitProcessingMessages([&] { return is->Opened != 0; });
    FOpening = nullptr;
    if (is->Opened > 0) {
        auto lock = LockData();
        FVideoState = std::move(is);
        FVideoState->refresh_tid = std::thread([this, state = FVideoState.get()] { RefreshTicker(state); });
        return true;
    }
    is->read_tid.join();
    return false;
}

void TCustomPlayer::EndPlayback() {
    auto lock = LockData();
    if (!FVideoState)
        return;
    TVideoState& is = *FVideoState;
    FDecoder->SetFileHandle(nullptr);
    is.abort_request = true;
    is.audioq.Abort();
    is.videoq.Abort();
    is.subtitleq.Abort();
    is.pictq_cond.notify_all();
    is.subpq_cond.notify_all();
    if (is.read_tid.joinable())
        is.read_tid.join();
    if (is.refresh_tid.joinable())
        is.refresh_tid.join();
    FVideoState.reset();
    ff::av_log(nullptr, AV_LOG_QUIET, "%s", "");
}

void TCustomPlayer::RefreshTicker(TVideoState* AIs) {
    while (!AIs->abort_request) {
        if (!AIs->refresh.exchange(true))
            PostEvent(peRefresh);
        const bool audioDisplay = AIs->audio_stream >= 0 && AIs->show_mode != 0;
        SleepMs(audioDisplay ? Frdftspeed : 5);
    }
}

// Interrupt checks of the reader thread

bool TCustomPlayer::ReadTimeoutCheck(void* ASender) {
    auto* is = static_cast<TVideoState*>(ASender);
    TCustomPlayer* self = is->Owner;
    if (is->abort_request)
        return true;
    const int64_t start = self->FLastRead;
    if (start == 0) {
        GetLogger().Log(self, llInfo, "connecting/reading canceled");
        return true;
    }
    const int timeout = self->FReadTimeout;
    if (start == INT64_MAX || timeout <= 0 || SteadyMicroseconds() - start <= int64_t(timeout) * 1000)
        return false;
    GetLogger().Log(self, llInfo, "connecting/reading timeout");
    return true;
}

bool TCustomPlayer::AbortCheck(void* ASender) {
    return static_cast<TVideoState*>(ASender)->abort_request;
}

// The reader thread

void TCustomPlayer::ReaderThread(TVideoState* AIs) {
    TVideoState& is = *AIs;
    const uint32_t thread = CurrentThreadID();
    InterruptDispatcher().Add(thread, AIs, &TCustomPlayer::ReadTimeoutCheck);
    FLastRead = INT64_MAX;
    const bool opened = ReaderOpen(is);
    FLastRead = INT64_MAX;
    InterruptDispatcher().Remove(thread, AIs, &TCustomPlayer::ReadTimeoutCheck);
    if (!opened) {
        is.Opened = -1;
        ReaderClose(is);
        is.Opened = -2;
        return;
    }
    InterruptDispatcher().Add(thread, AIs, &TCustomPlayer::AbortCheck);
    is.Opened = 1;
    ReaderLoop(is);
    while (!is.abort_request)
        SleepMs(100);
    InterruptDispatcher().Remove(thread, AIs, &TCustomPlayer::AbortCheck);
    ReaderClose(is);
}

bool TCustomPlayer::ReaderOpen(TVideoState& AIs) {
    const std::string name = FileNameToUTF8(AIs.filename);
    TAVDict options;
    ff::av_dict_copy(options.Ref(), FOptions->format_opts().Get(), 0);
    if (Fframe_width > 0 && Fframe_height > 0)
        options.Set("video_size", std::to_string(Fframe_width) + "x" + std::to_string(Fframe_height));
    if (Fframe_pix_fmt >= 0)
        if (const char* pixFmt = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Fframe_pix_fmt)))
            options.Set("pixel_format", pixFmt);

    FLastRead = SteadyMicroseconds();
    AVFormatContext* ctx = nullptr;
    int ret = OpenInputFile(&ctx, name, AIs.iformat, options.Ref());
    if (ret < 0) {
        Report(ErrorText(name, ret));
        return false;
    }
    AIs.ic.reset(ctx);
    FOptions->apply_generic_options(ctx, FOptions->avformat_opts(), OptFlagsInputFormat);
    if (Fgenpts)
        ctx->flags |= AVFMT_FLAG_GENPTS;

    if (OnBeforeFindStreamInfo) {
        FLastRead = INT64_MAX;
        auto run = [&] { OnBeforeFindStreamInfo(this, ctx); };
        if (FTriggerEventInMainThread)
            PlatformBridge().CallInMainThread(run);
        else
            run();
    }
    FLastRead = SteadyMicroseconds();
    if (ff::avformat_find_stream_info(ctx, nullptr) < 0) {
        Report(FormatText("%s: could not find codec parameters", name.c_str()));
        return false;
    }
    ClearIOMarks(ctx);
    if (Fseek_by_bytes < 0)
        Fseek_by_bytes = (ctx->iformat->flags & AVFMT_TS_DISCONT) ? 1 : 0;
    const char* formatName = ctx->iformat->name;
    AIs.IsImage2 = std::strcmp(formatName, "image2") == 0;
    AIs.IsDevice = std::strstr(formatName, "v4l2") || std::strcmp(formatName, "x11grab") == 0;
    AIs.StartTime = ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time : 0;
    AIs.Duration = ctx->duration != AV_NOPTS_VALUE ? ctx->duration : -1;
    AIs.timing.StartTime = AIs.StartTime;

    const int64_t startTime = Fstart_time;
    if (startTime != AV_NOPTS_VALUE) {
        const int64_t target = startTime + (ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time : 0);
        FLastRead = SteadyMicroseconds();
        if (ff::avformat_seek_file(ctx, -1, INT64_MIN, target, INT64_MAX, 0) < 0)
            GetLogger().LogF(this, llError, "%s: could not seek to position %0.3f", name.c_str(),
                             target / 1000000.0);
    }

    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = AVDISCARD_ALL;
    int video = -1, audio = -1, subtitle = -1;
    if (!Fvideo_disable)
        video = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, Fwanted_stream[AVMEDIA_TYPE_VIDEO], -1,
                                        nullptr, 0);
    if (!Faudio_disable)
        audio = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, Fwanted_stream[AVMEDIA_TYPE_AUDIO], video,
                                        nullptr, 0);
    if (!Fvideo_disable)
        subtitle = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_SUBTITLE, Fwanted_stream[AVMEDIA_TYPE_SUBTITLE],
                                           audio >= 0 ? audio : video, nullptr, 0);
    FLastRead = INT64_MAX;
    AIs.show_mode = FShowMode.load();

    if (audio >= 0)
        StreamOpen(AIs, audio);
    const bool videoOpened = video >= 0 && StreamOpen(AIs, video) == 0;
    if (subtitle >= 0)
        StreamOpen(AIs, subtitle);
    if (AIs.show_mode < 0)
        AIs.show_mode = videoOpened ? 0 : 2;
    AIs.audio_controls.ShowMode = AIs.show_mode.load();
    if (AIs.audio_stream < 0 && AIs.video_stream < 0) {
        Report(FormatText("%s: could not open codecs, no stream to play.", name.c_str()));
        return false;
    }
    return true;
}

void TCustomPlayer::ReaderClose(TVideoState& AIs) {
    if (AIs.audio_stream >= 0)
        StreamClose(AIs, AIs.audio_stream);
    if (AIs.video_stream >= 0)
        StreamClose(AIs, AIs.video_stream);
    if (AIs.subtitle_stream >= 0)
        StreamClose(AIs, AIs.subtitle_stream);
    AIs.ic.reset();
}

void TCustomPlayer::ReaderLoop(TVideoState& AIs) {
    AVFormatContext* ic = AIs.ic.get();
    const std::string name = FileNameToUTF8(AIs.filename);
    TPacketPtr packet(ff::av_packet_alloc());
    bool eof = false;
    while (!AIs.abort_request) {
        const bool paused = AIs.timing.paused;
        if (paused != AIs.last_paused) {
            AIs.last_paused = paused;
            if (paused)
                AIs.timing.read_pause_return = ff::av_read_pause(ic);
            else
                ff::av_read_play(ic);
        }
        if (AIs.seek_req) {
            ExecuteSeek(AIs);
            eof = false;
        } else if (AIs.flush_req) {
            FlushQueues(AIs);
        }

        const TPacketQueue* audioq = AIs.audio_stream >= 0 ? &AIs.audioq : nullptr;
        const TPacketQueue* videoq = AIs.video_stream >= 0 ? &AIs.videoq : nullptr;
        const TPacketQueue* subtitleq = AIs.subtitle_stream >= 0 ? &AIs.subtitleq : nullptr;
        if (!ReaderWantsMore(audioq, videoq, subtitleq)) {
            SleepMs(10);
            continue;
        }
        if (eof) {
            // An empty packet makes the video decoder hand over the pictures it holds.
            if (AIs.video_stream >= 0) {
                TPacketPtr drain(ff::av_packet_alloc());
                AIs.videoq.Put(drain.get());
                SetSignal(&TCustomPlayer::FPictEvent, true);
            }
            SleepMs(10);
            if (AIs.audioq.Size() == 0 && AIs.videoq.Size() == 0 && AIs.subtitleq.Size() == 0)
                AIs.ReachEOF = true;
            eof = false;
            continue;
        }

        AIs.Reading = true;
        const int ret = ff::av_read_frame(ic, packet.get());
        AIs.Reading = false;
        if (AIs.abort_request)
            break;
        if (ret < 0) {
            if (AIs.video_stream >= 0)
                SetSignal(&TCustomPlayer::FPictEvent, true);
            auto endOfFile = [&] {
                eof = true;
                if (!AIs.IsImage2 && !AIs.IOEOFLog) {
                    GetLogger().LogF(this, llInfo, "reach end of file: %s", name.c_str());
                    AIs.IOEOFLog = true;
                }
            };
            if (ret == AVERROR(EAGAIN)) {
                ClearIOMarks(ic);
            } else if (ret == AVERROR_EOF) {
                endOfFile();
            } else if (ic->pb && ic->pb->error == AVERROR(EAGAIN)) {
                ClearIOMarks(ic);
            } else if (ic->pb && ic->pb->eof_reached) {
                if (FCheckIOEOF)
                    endOfFile();
                else
                    ClearIOMarks(ic);
            } else if (!AIs.IsImage2 && !AIs.IOERRLog) {
                GetLogger().LogF(this, llError, "error #%d while reading file: %s", ret, name.c_str());
                AIs.IOERRLog = true;
            }
            if (ic->pb && ic->pb->error) {
                // Reading stops; the playback stays until it is stopped.
                if (FCheckIOERR)
                    break;
                ClearIOMarks(ic);
            }
            SleepMs(eof ? 10 : 100);
            continue;
        }
        const int index = packet->stream_index;
        if (index == AIs.audio_stream)
            AIs.audioq.Put(packet.get());
        else if (index == AIs.video_stream)
            AIs.videoq.Put(packet.get());
        else if (index == AIs.subtitle_stream)
            AIs.subtitleq.Put(packet.get());
        else
            ff::av_packet_unref(packet.get());
    }
}

void TCustomPlayer::FlushQueues(TVideoState& AIs) {
    if (AIs.audio_stream >= 0)
        AIs.audioq.FlushAndMark();
    if (AIs.subtitle_stream >= 0)
        AIs.subtitleq.FlushAndMark();
    if (AIs.video_stream >= 0) {
        AIs.seek_flushed = false;
        AIs.videoq.FlushAndMark();
        SetSignal(&TCustomPlayer::FPictEvent, false);
    }
    AIs.flush_req = false;
    AIs.seek_done = true;
}

void TCustomPlayer::ExecuteSeek(TVideoState& AIs) {
    AVFormatContext* ic = AIs.ic.get();
    const int64_t target = AIs.seek_pos;
    const int64_t rel = AIs.seek_rel;
    const int flags = AIs.seek_flags;
    const int64_t seekMin = rel > 0 ? target - rel + 2 : INT64_MIN;
    const int64_t seekMax = rel < 0 ? target - rel - 2 : INT64_MAX;
    int ret = ff::avformat_seek_file(ic, -1, seekMin, target, seekMax, flags);
    if (ret < 0) {
        // Towards the side with more room when the range gives none.
        const bool backward = flags != 0 || (long double)target - seekMin > (long double)seekMax - target;
        ret = ff::av_seek_frame(ic, -1, target, backward ? flags | AVSEEK_FLAG_BACKWARD : flags);
        if (ret < 0)
            ret = ff::av_seek_frame(ic, -1, target,
                                    (backward ? flags | AVSEEK_FLAG_BACKWARD : flags) ^ AVSEEK_FLAG_BACKWARD);
    }
    if (ret < 0) {
        GetLogger().LogF(this, llError, "%s: error while seeking", FileNameToUTF8(AIs.filename).c_str());
        if (AIs.video_stream >= 0)
            SetSignal(&TCustomPlayer::FPictEvent, true);
    } else {
        FlushQueues(AIs);
    }
    AIs.IOEOFLog = false;
    AIs.IOERRLog = false;
    AIs.ReachEOF = false;
    AIs.seek_done = true;
    AIs.seek_req = 0;
    SetSignal(&TCustomPlayer::FSeekEvent, true);
    if (AIs.video_stream < 0)
        FSeeking = false;
}

// Streams

int TCustomPlayer::StreamOpen(TVideoState& AIs, int AIndex) {
    AVFormatContext* ic = AIs.ic.get();
    if (AIndex < 0 || AIndex >= static_cast<int>(ic->nb_streams))
        return -1;
    AVStream* st = ic->streams[AIndex];
    const AVMediaType kind = st->codecpar->codec_type;
    const AVCodec* codec = ff::avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        Report("Cannot find decoder.", false);
        return -1;
    }
    TCodecContextPtr dec(ff::avcodec_alloc_context3(codec));
    if (!dec || ff::avcodec_parameters_to_context(dec.get(), st->codecpar) < 0) {
        Report("avcodec_open() failed.", false);
        return -1;
    }
    dec->pkt_timebase = st->time_base;
    dec->workaround_bugs = Fworkaround_bugs;
    if (Flowres > codec->max_lowres) {
        GetLogger().LogF(this, llWarning, "The maximum value for lowres supported by the decoder is %d",
                         codec->max_lowres);
        dec->lowres = codec->max_lowres;
    } else {
        dec->lowres = Flowres;
    }
    dec->idct_algo = Fidct_algo;
    if (Ffast)
        dec->flags2 |= AV_CODEC_FLAG2_FAST;
    dec->error_concealment = Ferror_concealment;
    const int optFlags = kind == AVMEDIA_TYPE_VIDEO ? OptFlagsVideoDecoder
                         : kind == AVMEDIA_TYPE_AUDIO
                             ? OptFlagsAudioDecoder
                             : AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_DECODING_PARAM;
    if (kind >= 0 && kind < PrototypeKinds)
        FOptions->apply_generic_options(dec.get(), FOptions->avcodec_opts(kind), codec, optFlags);
    if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) {
        Report("avcodec_open() failed.", false);
        return -1;
    }

    if (kind == AVMEDIA_TYPE_AUDIO) {
        TPlayerAudioHook hook = [this, &AIs](int64_t APTS, uint8_t* ASample, int ASize, int ARate,
                                             int AChannels) {
            if (FAudioHook && OnAudioHook)
                OnAudioHook(this, APTS, ASample, ASize, ARate, AChannels);
        };
        auto audio = std::make_unique<TPlayerAudio>(FSDLLoader, AIs.audioq, AIs.timing, AIs.audio_controls,
                                                    AIs.sample_array, std::move(hook));
        if (audio->Open(dec.get(), st->time_base) < 0)
            return -1;
        st->discard = AVDISCARD_DEFAULT;
        AIs.audio_st = st;
        AIs.audio_dec = std::move(dec);
        AIs.AudioDuration = st->duration != AV_NOPTS_VALUE
                                ? ff::av_rescale_q(st->duration, st->time_base, AVRational{1, 1000000})
                                : -1;
        AIs.audioq.Start();
        AIs.timing.has_audio = true;
        AIs.audio = std::move(audio);
        AIs.audio_stream = AIndex;
        AIs.audio->Start();
    } else if (kind == AVMEDIA_TYPE_VIDEO) {
        st->discard = AVDISCARD_DEFAULT;
        AIs.video_st = st;
        AIs.video_dec = std::move(dec);
        ChooseFrameDelay(AIs);
        AIs.videoq.Start();
        AIs.timing.has_video = true;
        AIs.video_stream = AIndex;
        AIs.video_tid = std::thread([this, state = &AIs] { VideoThread(state); });
    } else if (kind == AVMEDIA_TYPE_SUBTITLE) {
        st->discard = AVDISCARD_DEFAULT;
        AIs.subtitle_st = st;
        AIs.subtitle_dec = std::move(dec);
        AIs.subtitleq.Start();
        AIs.subtitle_stream = AIndex;
        AIs.subtitle_tid = std::thread([this, state = &AIs] { SubtitleThread(state); });
    } else {
        return -1;
    }
    return 0;
}

void TCustomPlayer::StreamClose(TVideoState& AIs, int AIndex) {
    AVFormatContext* ic = AIs.ic.get();
    if (AIndex < 0 || AIndex >= static_cast<int>(ic->nb_streams))
        return;
    AVStream* st = ic->streams[AIndex];
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        AIs.videoq.Abort();
        {
            std::lock_guard lock(AIs.pictq_mutex);
            AIs.pictq_cond.notify_all();
        }
        if (AIs.video_tid.joinable())
            AIs.video_tid.join();
        AIs.videoq.Flush();
        AIs.video_stream = -1;
        AIs.video_st = nullptr;
        AIs.video_dec.reset();
        AIs.timing.has_video = false;
        break;
    case AVMEDIA_TYPE_AUDIO:
        AIs.audioq.Abort();
        if (AIs.audio)
            AIs.audio->Close();
        AIs.audio.reset();
        AIs.audioq.Flush();
        AIs.audio_stream = -1;
        AIs.audio_st = nullptr;
        AIs.audio_dec.reset();
        AIs.AudioDuration = -1;
        AIs.timing.has_audio = false;
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        AIs.subtitleq.Abort();
        {
            std::lock_guard lock(AIs.subpq_mutex);
            AIs.subtitle_stream_changed = true;
            AIs.subpq_cond.notify_all();
        }
        if (AIs.subtitle_tid.joinable())
            AIs.subtitle_tid.join();
        AIs.subtitleq.Flush();
        AIs.subtitle_stream = -1;
        AIs.subtitle_st = nullptr;
        AIs.subtitle_dec.reset();
        break;
    default:
        break;
    }
    st->discard = AVDISCARD_ALL;
}

} // namespace vx
