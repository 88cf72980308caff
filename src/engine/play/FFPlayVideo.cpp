// The picture side of a playback: the frame delay, the video decoder thread with its filter
// chain, the picture queue's producer with flip and hooks, and the subtitle decoder thread.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "base/CodecLoop.h"
#include "base/FFLog.h"
#include "base/SteadyClock.h"
#include "base/TextFormat.h"
#include "encode/filters/VideoFilterChain.h"
#include "play/FFPlay.h"
#include "play/PlaybackState.h"
#include "play/PlayerEvents.h"
#include "play/PlayerSubtitles.h"

namespace vx {

void TCustomPlayer::ChooseFrameDelay(TVideoState& AIs) {
    const AVCodecContext* dec = AIs.video_dec.get();
    const int index = AIs.video_st->index;
    const int ticks = std::max(dec->ticks_per_frame, 1);
    // The decoder's tick: one picture of its own rate, split into ticks_per_frame ticks.
    AVRational tb =
        dec->framerate.num > 0 && dec->framerate.den > 0
            ? AVRational{dec->framerate.den, dec->framerate.num * ticks}
            : AVRational{AIs.video_st->avg_frame_rate.den, AIs.video_st->avg_frame_rate.num * ticks};
    const AVRational r = AIs.video_st->r_frame_rate;
    AVRational forced{0, 0};
    if (!FForceFrameRate.empty() && ff::av_parse_video_rate(&forced, FForceFrameRate.c_str()) >= 0 &&
        forced.num > 0 && forced.den > 0) {
        GetLogger().LogF(this, llInfo, "Force stream %d frame rate: %2.2f (%d/%d) -> %2.2f (%d/%d)", index,
                         tb.num ? double(tb.den) / tb.num : 0.0, tb.den, tb.num,
                         double(forced.num) / forced.den, forced.num, forced.den);
        AIs.frame_delay = double(forced.den) / forced.num;
        return;
    }
    const bool agree = tb.num == r.den && int64_t(r.num) * ticks == tb.den;
    if (tb.num > 0 && tb.den > 0 && (!FAutoAdjustFrameRate || agree || r.num <= 0 || r.den <= 0)) {
        AIs.frame_delay = double(tb.num) * ticks / tb.den;
        return;
    }
    if (r.num > 0 && r.den > 0) {
        GetLogger().LogF(
            this, llInfo,
            "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> "
            "%2.2f (%d/%d)",
            index, tb.num ? double(tb.den) / tb.num : 0.0, tb.den, tb.num, double(r.num) / r.den, r.num,
            r.den);
        AIs.frame_delay = double(r.den) / r.num;
    }
}

namespace {

// The picture's time as the player's decoder_reorder_pts asks: -1 the library's best
// estimate, 0 the decoding time, anything else the presentation time.
int64_t ChoosePts(const AVFrame* AFrame, int AReorder) {
    const int64_t pts = AReorder == -1 ? AFrame->best_effort_timestamp
                        : AReorder     ? AFrame->pts
                                       : AFrame->pkt_dts;
    return pts == AV_NOPTS_VALUE ? 0 : pts;
}

} // namespace

void TCustomPlayer::VideoThread(TVideoState* AIsPtr) {
    TVideoState& is = *AIsPtr;
    AVCodecContext* dec = is.video_dec.get();
    const AVRational streamTb = is.video_st->time_base;
    TPacketPtr packet(ff::av_packet_alloc());
    TFramePtr decoded(ff::av_frame_alloc());
    TVideoFilterChain filters;
    TVideoGeometry built;
    bool builtDeinterlace = false;
    bool filtersFailed = false;
    int picturesWhileOpening = 0;
    bool stop = false;

    // Paused, pictures wait here one by one (one packet can give several): a step, a seek
    // or the first pictures of a playback opened paused let exactly the ones they need
    // through.
    auto mayQueue = [&] {
        return !is.timing.paused || is.videoq.Aborted() || is.seek_paused || is.open_paused;
    };

    auto deliver = [&](TFramePtr& APicture) {
        while (!mayQueue())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (is.videoq.Aborted()) {
            stop = true;
            return;
        }
        int64_t ptsInt = APicture->pts;
        const AVRational sinkTb = filters.Output().TimeBase;
        if (::av_cmp_q(sinkTb, streamTb) != 0) {
            const int64_t rescaled = ff::av_rescale_q(ptsInt, sinkTb, streamTb);
            GetLogger().LogF(this, llDebug, "video_thread(): tb:%d/%d pts:%lld -> tb:%d/%d pts:%lld",
                             sinkTb.num, sinkTb.den, static_cast<long long>(ptsInt), streamTb.num,
                             streamTb.den, static_cast<long long>(rescaled));
            ptsInt = rescaled;
        }
        if (is.seek_done && is.seek_flushed) {
            is.seek_done = false;
            is.seek_paused = false;
        }
        const double pts = ptsInt * ::av_q2d(streamTb);
        if (QueuePicture(is, APicture.get(), pts, APicture->pkt_pos) < 0) {
            stop = true;
            return;
        }
        SetSignal(&TCustomPlayer::FPictEvent, true);
        is.EventEOF = false;
        if (!is.seek_req)
            FSeeking = false;
        if (is.open_paused && ++picturesWhileOpening >= 2) {
            is.open_paused = 0;
            SetState(psPause);
        }
        if (Fstep) {
            // One picture per step: pause again.
            std::lock_guard lock(is.pictq_mutex);
            if (!is.timing.paused)
                TogglePauseClocks(is.timing, SteadyMicroseconds());
        }
    };

    auto filter = [&](AVFrame* AFrame) {
        AFrame->pts = ChoosePts(AFrame, Fdecoder_reorder_pts);
        // Pictures are skipped to catch up with the sound, never while paused or stepping:
        // there each picture is the one asked for.
        if (!is.timing.paused && !Fstep) {
            const float skip = is.skip_frames;
            is.skip_frames_index += 1;
            if (is.skip_frames_index < skip)
                return;
            is.skip_frames_index -= std::max(skip, 1.0f);
        }
        const bool deinterlace = FDeinterlace;
        if (filtersFailed && built.Width == AFrame->width && built.Height == AFrame->height &&
            built.PixFmt == AFrame->format && builtDeinterlace == deinterlace)
            return;
        if (built.Width != AFrame->width || built.Height != AFrame->height ||
            built.PixFmt != AFrame->format || builtDeinterlace != deinterlace) {
            built = {AFrame->width, AFrame->height, AFrame->format, AFrame->sample_aspect_ratio, streamTb};
            builtDeinterlace = deinterlace;
            std::string error;
            filtersFailed = filters.Build(this, built, deinterlace ? "yadif" : "", Fvfilters,
                                          AV_PIX_FMT_YUV420P, static_cast<unsigned>(Fsws_flags), error) < 0;
            if (filtersFailed) {
                // Pictures stop; the sound goes on.
                GetLogger().Log(this, llError, error);
                return;
            }
        }
        std::string error;
        if (filters.Send(AFrame, error) < 0) {
            GetLogger().Log(this, llError, error);
            return;
        }
        TFramePtr out;
        while (!stop && filters.Receive(out) == 0)
            deliver(out);
    };

    while (!stop) {
        if (!mayQueue()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (is.videoq.Get(packet.get(), true) < 0)
            break;
        if (IsFlushPacket(packet.get())) {
            ff::av_packet_unref(packet.get());
            ff::avcodec_flush_buffers(dec);
            {
                // Pictures of before the seek are not shown any more.
                std::unique_lock lock(is.pictq_mutex);
                for (TPictureEntry& entry : is.pictq)
                    entry.display_time = 0;
                is.pictq_cond.wait(lock, [&] { return is.pictq_size == 0 || is.videoq.Aborted(); });
                ResetVideoTiming(is.timing, SteadyMicroseconds(), 0);
            }
            is.video_current_pos = -1;
            is.skip_frames = 1;
            is.skip_frames_index = 0;
            built = {};
            is.seek_flushed = true;
            continue;
        }
        const bool drain = !packet->data && packet->size == 0;
        DecodePacket(dec, drain ? nullptr : packet.get(), decoded.get(), filter);
        ff::av_packet_unref(packet.get());
    }
}

int TCustomPlayer::QueuePicture(TVideoState& AIs, AVFrame* AFrame, double APts, int64_t APos) {
    double pts = APts;
    if (pts != 0)
        AIs.timing.video_clock = pts;
    else
        pts = AIs.timing.video_clock;
    AIs.timing.video_clock = AIs.timing.video_clock + AIs.frame_delay * (1 + 0.5 * AFrame->repeat_pict);

    const int width = AFrame->width & ~1;
    const int height = AFrame->height & ~1;
    const int index = AIs.pictq_windex;
    TPictureEntry& vp = AIs.pictq[index];
    {
        std::unique_lock lock(AIs.pictq_mutex);
        if (AIs.pictq_size >= PictureQueueSize && !AIs.refresh)
            AIs.skip_frames = std::max(0.95f, AIs.skip_frames.load() * 0.95f);
        AIs.pictq_cond.wait(lock, [&] { return AIs.pictq_size < PictureQueueSize || AIs.videoq.Aborted(); });
        if (AIs.videoq.Aborted())
            return -1;
        if (!vp.overlay_ready || vp.pict_width != width || vp.pict_height != height) {
            // The play thread owns the textures: ask it for one of this size.
            vp.overlay_ready = false;
            vp.pict_width = width;
            vp.pict_height = height;
            SDL_Event event{};
            event.type = SDL_USEREVENT;
            event.user.code = peAllocPicture;
            event.user.data1 = reinterpret_cast<void*>(static_cast<intptr_t>(index));
            FSDLLoader.SDL_PushEvent(&event);
            AIs.pictq_cond.wait(lock, [&] { return vp.overlay_ready || AIs.videoq.Aborted(); });
            if (AIs.videoq.Aborted())
                return -1;
        }
    }

    TFramePtr picture(ff::av_frame_alloc());
    if (!picture)
        return -1;
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width;
    picture->height = height;
    if (ff::av_frame_get_buffer(picture.get(), 0) < 0)
        return -1;
    uint8_t* src[4] = {AFrame->data[0], AFrame->data[1], AFrame->data[2], nullptr};
    int srcLinesize[4] = {AFrame->linesize[0], AFrame->linesize[1], AFrame->linesize[2], 0};
    if (FVerticalFlip) {
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane == 0 ? height : height / 2;
            src[plane] += static_cast<ptrdiff_t>(srcLinesize[plane]) * (rows - 1);
            srcLinesize[plane] = -srcLinesize[plane];
        }
    }
    ff::av_image_copy(picture->data, picture->linesize, const_cast<const uint8_t**>(src), srcLinesize,
                      AV_PIX_FMT_YUV420P, width, height);
    RunVideoHooks(AIs, picture.get(), pts);

    vp.frame = std::move(picture);
    vp.pts = pts;
    vp.pos = APos;
    vp.sar = AFrame->sample_aspect_ratio;
    vp.uploaded = false;
    AIs.pictq_windex = (index + 1) % PictureQueueSize;
    std::lock_guard lock(AIs.pictq_mutex);
    vp.display_time = TargetDisplayTime(AIs.timing, pts, SteadyMicroseconds());
    ++AIs.pictq_size;
    return 0;
}

void TCustomPlayer::RunVideoHooks(TVideoState& AIs, AVFrame* AFrame, double APts) {
    const bool videoHook = FVideoHook && OnVideoHook;
    const bool frameHook = FFrameHook && OnFrameHook;
    if (!videoHook && !frameHook)
        return;
    const int64_t apts = std::llround(APts * 1000000.0) - AIs.StartTime;
    TPicture picture;
    for (int i = 0; i < 3; ++i) {
        picture.Data[i] = AFrame->data[i];
        picture.Linesize[i] = AFrame->linesize[i];
    }
    if (videoHook) {
        if (!FHookConverter.PictureToRGB(picture, AV_PIX_FMT_YUV420P, true, AFrame->height, AFrame->width)) {
            GetLogger().Log(this, llError, FHookConverter.LastErrMsg());
        } else {
            TBitmap& bitmap = FHookConverter.Bitmap();
            bool update = true;
            try {
                std::lock_guard lock(bitmap);
                OnVideoHook(this, &bitmap, apts, update);
            } catch (const std::exception& e) {
                GetLogger().Log(this, llError, std::string("Error occurs OnVideoHook: ") + e.what());
                update = false;
            }
            if (update) {
                FHookConverter.BitmapToRGB();
                if (!FHookConverter.RGBToPicture(picture, AV_PIX_FMT_YUV420P, AFrame->height, AFrame->width))
                    GetLogger().Log(this, llError, FHookConverter.LastErrMsg());
            }
        }
    }
    if (frameHook) {
        try {
            OnFrameHook(this, &picture, AV_PIX_FMT_YUV420P, AFrame->width, AFrame->height, apts);
        } catch (const std::exception& e) {
            GetLogger().Log(this, llError, std::string("Error occurs OnFrameHook: ") + e.what());
        }
    }
}

void TCustomPlayer::SubtitleThread(TVideoState* AIsPtr) {
    TVideoState& is = *AIsPtr;
    AVCodecContext* dec = is.subtitle_dec.get();
    TPacketPtr packet(ff::av_packet_alloc());
    while (true) {
        if (is.timing.paused && !is.subtitleq.Aborted() && !is.seek_paused) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (is.subtitleq.Get(packet.get(), true) < 0)
            break;
        if (IsFlushPacket(packet.get())) {
            ff::av_packet_unref(packet.get());
            ff::avcodec_flush_buffers(dec);
            continue;
        }
        {
            std::unique_lock lock(is.subpq_mutex);
            is.subpq_cond.wait(lock,
                               [&] { return is.subpq_size < SubtitleQueueSize || is.subtitleq.Aborted(); });
        }
        if (is.subtitleq.Aborted())
            break;
        TSubtitleEntry& sp = is.subpq[is.subpq_windex];
        const double pts =
            packet->pts != AV_NOPTS_VALUE ? packet->pts * ::av_q2d(is.subtitle_st->time_base) : 0;
        if (sp.used) {
            ff::avsubtitle_free(&sp.sub);
            sp.used = false;
        }
        int gotSubtitle = 0;
        if (ff::avcodec_decode_subtitle2(dec, &sp.sub, &gotSubtitle, packet.get()) >= 0 && gotSubtitle) {
            sp.used = true;
            if (sp.sub.format == 0) {
                sp.pts = pts;
                for (unsigned r = 0; r < sp.sub.num_rects; ++r)
                    ConvertPaletteToYUV(sp.sub.rects[r]);
                is.subpq_windex = (is.subpq_windex + 1) % SubtitleQueueSize;
                std::lock_guard lock(is.subpq_mutex);
                ++is.subpq_size;
            }
        }
        ff::av_packet_unref(packet.get());
    }
}

} // namespace vx
