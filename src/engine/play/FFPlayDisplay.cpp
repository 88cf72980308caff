// The play thread: its SDL event loop, the timed refresh with the frame-drop rules, and
// drawing pictures, subtitles and the audio displays into the window.
#include <algorithm>
#include <vector>

#include "base/FFLog.h"
#include "base/SteadyClock.h"
#include "base/TextFormat.h"
#include "play/FFPlay.h"
#include "play/FrameDropRule.h"
#include "play/PlaybackState.h"
#include "play/PlayerAudioDisplay.h"
#include "play/PlayerEvents.h"
#include "play/PlayerGeometry.h"
#include "play/PlayerScreen.h"
#include "play/PlayerSubtitles.h"

namespace vx {

// What the play thread draws with; made and destroyed on it.
struct TPlayOutput {
    TPlayOutput(const TSDLLoader& ASDL, uintptr_t AHandle) : screen(ASDL, AHandle) {}
    TPlayerScreen screen;
    TPlayerAudioDisplay audio;
    std::vector<uint8_t> pixels;
    // The texture presented last and the shape of its picture, fitted again whenever the
    // area or the aspect setting changes.
    int lastIndex = -1;
    int lastWidth = 0;
    int lastHeight = 0;
    AVRational lastSar{0, 1};
};

void TCustomPlayer::PlayThread() {
    SetState(psPlay);
    {
        TPlayOutput output(FSDLLoader, FScreenHandle);
        FOutput = &output;
        {
            std::lock_guard lock(FSignalLock);
            FLooping = true;
        }
        FSignal.notify_all();
        try {
            SDL_Event event{};
            bool got = false;
            while (true) {
                // Events posted from other threads do not always wake the wait (X11): it
                // times out at the refresh period, and what queued up is taken in one go.
                if (!got)
                    got = FSDLLoader.SDL_WaitEventTimeout(&event, 5) == 1;
                std::lock_guard lock(FDataLock);
                if (!FVideoState)
                    break;
                if (!got)
                    continue;
                got = false;
                TVideoState& is = *FVideoState;
                if (event.type == SDL_QUIT) {
                    EndPlayback();
                    break;
                }
                if (event.type == SDL_WINDOWEVENT) {
                    if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                        output.screen.UpdateSize();
                        is.width = output.screen.Width();
                        is.height = output.screen.Height();
                        Fscreen_width = is.width;
                        Fscreen_height = is.height;
                        if (is.timing.paused)
                            Refresh(is, false);
                    } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
                        if (is.timing.paused)
                            Refresh(is, false);
                        else
                            Display(is);
                    }
                    continue;
                }
                if (event.type != SDL_USEREVENT)
                    continue;
                switch (event.user.code) {
                case peQuit:
                    EndPlayback();
                    break;
                case peAllocPicture:
                    AllocatePicture(is, static_cast<int>(reinterpret_cast<intptr_t>(event.user.data1)));
                    break;
                case peRefresh:
                    Refresh(is, true);
                    is.refresh = false;
                    break;
                case peResetVideoMode:
                    if (OpenScreen(is, true))
                        Display(is);
                    break;
                case peResizeScreen:
                    // SDL does not see a foreign window's new size: it is told.
                    if (Fscreen_width > 0 && Fscreen_height > 0)
                        output.screen.Resize(Fscreen_width, Fscreen_height);
                    else
                        output.screen.UpdateSize();
                    is.width = output.screen.Width();
                    is.height = output.screen.Height();
                    Display(is);
                    break;
                default:
                    break;
                }
                if (!FVideoState)
                    break;
                got = FSDLLoader.SDL_PollEvent(&event) == 1;
            }
        } catch (const std::exception& e) {
            GetLogger().Log(this, llFatal, std::string("PlayThread Exception: ") + e.what());
            EndPlayback();
        }
        FOutput = nullptr;
    }
    {
        std::lock_guard lock(FSignalLock);
        FLooping = false;
    }
    SetState(psStop);
    SetSignal(&TCustomPlayer::FStopEvent, true);
}

bool TCustomPlayer::OpenScreen(TVideoState& AIs, bool AForce) {
    TPlayerScreen& screen = FOutput->screen;
    int w = TPlayerScreen::DefaultWidth, h = TPlayerScreen::DefaultHeight;
    if (Fscreen_width > 0 && Fscreen_height > 0) {
        w = Fscreen_width;
        h = Fscreen_height;
    } else if (Fframe_width > 0 && Fframe_height > 0) {
        w = Fframe_width;
        h = Fframe_height;
    }
    if (!screen.Opened()) {
        if (!screen.Open(w, h, Fis_full_screen)) {
            GetLogger().Log(this, llError, "SDL: could not set video mode.");
            GetLogger().Log(this, llDebug, screen.LastErrMsg());
            return false;
        }
    } else if (AForce && !FScreenHandle && !Fis_full_screen) {
        screen.Resize(w, h);
    } else if (AForce) {
        screen.UpdateSize();
    }
    AIs.width = screen.Width();
    AIs.height = screen.Height();
    return true;
}

void TCustomPlayer::AllocatePicture(TVideoState& AIs, int AIndex) {
    if (AIndex < 0 || AIndex >= PictureQueueSize)
        return;
    TPictureEntry& vp = AIs.pictq[AIndex];
    int width, height;
    {
        std::lock_guard lock(AIs.pictq_mutex);
        width = vp.pict_width;
        height = vp.pict_height;
    }
    Fframe_width = width;
    Fframe_height = height;
    OpenScreen(AIs, false);
    if (!FOutput->screen.MakePictureTexture(AIndex, width, height)) {
        GetLogger().LogF(this, llFatal,
                         "Error: the video system does not support an image size of %dx%d pixels. Try using "
                         "-lowres or -vf \"scale=w:h\" to reduce the image size.",
                         width, height);
        EndPlayback();
        return;
    }
    if (FOutput->lastIndex == AIndex)
        FOutput->lastIndex = -1;
    std::lock_guard lock(AIs.pictq_mutex);
    vp.overlay_ready = true;
    AIs.pictq_cond.notify_all();
}

void TCustomPlayer::Refresh(TVideoState& AIs, bool AConsume) {
    if (AIs.video_stream < 0) {
        if (AIs.audio_stream >= 0) {
            Display(AIs);
            PositionUpdate(AIs);
        }
        return;
    }
    bool afterSeek = AIs.seek_done;
    bool dropped = false;
    while (true) {
        if (AIs.seek_done)
            afterSeek = true;
        int queued;
        double displayTime, nextTime = 0;
        {
            std::lock_guard lock(AIs.pictq_mutex);
            queued = AIs.pictq_size;
            displayTime = AIs.pictq[AIs.pictq_rindex].display_time;
            if (queued > 1)
                nextTime = AIs.pictq[(AIs.pictq_rindex + 1) % PictureQueueSize].display_time;
        }
        if (queued == 0) {
            if (!AConsume)
                Display(AIs);
            break;
        }
        TPictureEntry& vp = AIs.pictq[AIs.pictq_rindex];
        const int64_t nowUs = SteadyMicroseconds();
        const double now = nowUs / 1000000.0;
        if (now < displayTime)
            return;
        UpdateVideoClock(AIs.timing, vp.pts, nowUs);
        AIs.video_current_pos = vp.pos;
        const double next = queued > 1 ? nextTime : displayTime + AIs.timing.video_clock - vp.pts;
        // Paused, the sound stands still: no picture is late (a slow display would drop
        // the pictures of a paused opening or a step, and none would follow).
        const TFrameDropInput input{AIs.timing.paused ? 0 : Fframedrop,
                                    AIs.audio_stream >= 0,
                                    AIs.IsDevice,
                                    now,
                                    next,
                                    queued,
                                    afterSeek};
        if (PictureLate(input) || afterSeek)
            AIs.skip_frames = AIs.skip_frames.load() * 1.05f;
        if (!DropPicture(input)) {
            ShowSubtitles(AIs);
            PictureDisplay(AIs, true);
            if (AConsume) {
                AIs.pictq_rindex = (AIs.pictq_rindex + 1) % PictureQueueSize;
                std::lock_guard lock(AIs.pictq_mutex);
                --AIs.pictq_size;
                AIs.pictq_cond.notify_all();
            }
            break;
        }
        AIs.pictq_rindex = (AIs.pictq_rindex + 1) % PictureQueueSize;
        {
            std::lock_guard lock(AIs.pictq_mutex);
            --AIs.pictq_size;
            AIs.pictq_cond.notify_all();
        }
        dropped = true;
    }
    if (!dropped)
        PositionUpdate(AIs);
}

void TCustomPlayer::ShowSubtitles(TVideoState& AIs) {
    if (AIs.subtitle_stream < 0)
        return;
    std::lock_guard lock(AIs.subpq_mutex);
    auto freeOldest = [&] {
        TSubtitleEntry& sp = AIs.subpq[AIs.subpq_rindex];
        if (sp.used) {
            ff::avsubtitle_free(&sp.sub);
            sp.used = false;
        }
        AIs.subpq_rindex = (AIs.subpq_rindex + 1) % SubtitleQueueSize;
        --AIs.subpq_size;
        AIs.subpq_cond.notify_all();
    };
    if (AIs.subtitle_stream_changed) {
        while (AIs.subpq_size > 0)
            freeOldest();
        AIs.subtitle_stream_changed = false;
        return;
    }
    if (AIs.subpq_size == 0)
        return;
    const double current = AIs.timing.video_current_pts;
    const TSubtitleEntry& sp = AIs.subpq[AIs.subpq_rindex];
    const bool ended = current > sp.pts + sp.sub.end_display_time / 1000.0;
    bool nextStarted = false;
    if (AIs.subpq_size > 1) {
        const TSubtitleEntry& sp2 = AIs.subpq[(AIs.subpq_rindex + 1) % SubtitleQueueSize];
        nextStarted = current > sp2.pts + sp2.sub.start_display_time / 1000.0;
    }
    if (ended || nextStarted)
        freeOldest();
}

void TCustomPlayer::Display(TVideoState& AIs) {
    if (!FOutput->screen.Opened() && !OpenScreen(AIs, false))
        return;
    if (AIs.audio_stream >= 0 && AIs.show_mode != 0) {
        if (AIs.width <= 0 || AIs.height <= 0)
            return;
        const int pitch = AIs.width * 4;
        FOutput->pixels.resize(static_cast<size_t>(pitch) * AIs.height);
        const TPixelBuffer buffer{FOutput->pixels.data(), AIs.width, AIs.height, pitch};
        FOutput->audio.Draw(static_cast<TAudioShowMode>(AIs.show_mode.load()), AIs.sample_array, AIs.timing,
                            SteadyMicroseconds(), buffer);
        FOutput->screen.PresentPixels(buffer.Pixels, buffer.Width, buffer.Height, buffer.Pitch);
        return;
    }
    if (AIs.video_stream >= 0)
        PictureDisplay(AIs, false);
}

void TCustomPlayer::PictureDisplay(TVideoState& AIs, bool AQueued) {
    TPlayOutput& output = *FOutput;
    if (AQueued) {
        const int index = AIs.pictq_rindex;
        TPictureEntry& vp = AIs.pictq[index];
        AIs.pictq_cindex = index;
        if (!vp.frame)
            return;
        if (!vp.uploaded) {
            if (AIs.subtitle_stream >= 0) {
                std::lock_guard lock(AIs.subpq_mutex);
                const TSubtitleEntry& sp = AIs.subpq[AIs.subpq_rindex];
                if (AIs.subpq_size > 0 && sp.used && vp.pts >= sp.pts + sp.sub.start_display_time / 1000.0 &&
                    ff::av_frame_make_writable(vp.frame.get()) >= 0)
                    for (unsigned r = 0; r < sp.sub.num_rects; ++r)
                        BlendSubtitle(vp.frame.get(), sp.sub.rects[r]);
            }
            output.screen.Upload(index, vp.frame.get());
            vp.uploaded = true;
            std::lock_guard lock(FShownLock);
            if (!FShownFrame)
                FShownFrame.reset(ff::av_frame_alloc());
            ff::av_frame_unref(FShownFrame.get());
            ff::av_frame_ref(FShownFrame.get(), vp.frame.get());
            FShownPTS = std::llround(vp.pts * 1000000.0) - AIs.StartTime;
        }
        output.lastIndex = index;
        output.lastWidth = vp.pict_width;
        output.lastHeight = vp.pict_height;
        output.lastSar = vp.sar;
    }
    // Nothing new: the picture shown last again (the video thread may be filling the entry
    // behind it), fitted to the area as it is now.
    if (output.lastIndex < 0) {
        output.screen.Present(-1, nullptr);
        return;
    }
    const AVRational sar = output.lastSar;
    const double aspect =
        DisplayAspect(FAspectRatio, AIs.width, AIs.height, sar.num > 0 && sar.den > 0 ? ::av_q2d(sar) : 0,
                      output.lastWidth, output.lastHeight);
    const TRect rect = FitPicture(aspect, AIs.xleft, AIs.ytop, AIs.width, AIs.height);
    {
        std::lock_guard lock(FDisplayRectLock);
        if (!(FDisplayRect == rect))
            FDisplayRect = rect;
    }
    output.screen.Present(output.lastIndex, &rect);
}

} // namespace vx
