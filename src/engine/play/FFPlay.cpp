// The player component's public side: libraries, SDL start-up, opening and stopping,
// pause and seek requests, properties, the event thread and the position report.
#include "play/FFPlay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/PlatformBridge.h"
#include "base/SteadyClock.h"
#include "base/TextFormat.h"
#include "encode/FFOptions.h"
#include "play/PlaybackState.h"
#include "play/PlayerEvents.h"
#include "play/PlayerGeometry.h"

namespace vx {
namespace {

// Two players never start SDL at the same time.
std::mutex& SDLStartLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

TCustomPlayer::TCustomPlayer() : FDecoder(std::make_unique<TFFDecoder>()) {
    if (FFLoader().Loaded(PlayerLibraries))
        FOptions = std::make_unique<TFFOptions>();
}

TCustomPlayer::~TCustomPlayer() {
    OnPosition = nullptr;
    OnState = nullptr;
    OnAudioHook = nullptr;
    OnVideoHook = nullptr;
    OnFrameHook = nullptr;
    Stop(true);
    FEventThreadTerminate = true;
    if (FEventThread.joinable())
        FEventThread.join();
    FDecoder->SetFileHandle(nullptr);
}

// Libraries

bool TCustomPlayer::LoadAVLib(const std::string& APath, bool AAutoLoadSDL) {
    TFFLoader& loader = FFLoader();
    loader.SetLibraryPath(APath);
    if (!loader.Load(PlayerLibraries)) {
        FLastErrMsg = loader.LastErrMsg();
        return false;
    }
    if (!FOptions)
        FOptions = std::make_unique<TFFOptions>();
    else
        FOptions->reset_generic_options();
    FAutoLoadSDL = AAutoLoadSDL;
    return !AAutoLoadSDL || LoadSDLLib(APath, SDLLibraryFile);
}

bool TCustomPlayer::AVLibLoaded() const {
    return FFLoader().Loaded(PlayerLibraries) && (!FAutoLoadSDL || FSDLLoader.Loaded());
}

void TCustomPlayer::UnloadAVLib() {
    Stop(true);
    FOptions.reset();
    FFLoader().Unload(PlayerLibraries);
    if (FAutoLoadSDL)
        UnloadSDLLib();
}

bool TCustomPlayer::LoadSDLLib(const std::string& APath, const std::string& AFile) {
    if (FSDLLoader.Load(APath, AFile))
        return true;
    FLastErrMsg = FSDLLoader.LastErrMsg();
    return false;
}

void TCustomPlayer::UnloadSDLLib() {
    Stop(true);
    FSDLLoader.Unload();
}

bool TCustomPlayer::opt_default(const std::string& AOpt, const std::string& AArg) {
    if (!FOptions || !FFLoader().Loaded(PlayerLibraries)) {
        Report("libav not loaded.");
        return false;
    }
    return FOptions->set_generic_option(AOpt, AArg);
}

void TCustomPlayer::Report(const std::string& AText, bool AKeep) {
    GetLogger().Log(this, llError, AText);
    if (AKeep)
        FLastErrMsg = AText;
}

std::unique_lock<std::recursive_timed_mutex> TCustomPlayer::LockData() const {
    auto& lock = const_cast<std::recursive_timed_mutex&>(FDataLock);
    if (!PlatformBridge().IsMainThread())
        return std::unique_lock(lock);
    // The play thread may be delivering a log line to the main thread while it holds the
    // lock: keep deliveries flowing while waiting for it.
    std::unique_lock guard(lock, std::defer_lock);
    WaitProcessingMessages([&] { return guard.try_lock(); });
    return guard;
}

// Signals between the caller, the reader, the video thread and the play thread

void TCustomPlayer::SetSignal(bool TCustomPlayer::*AFlag, bool AValue) {
    {
        std::lock_guard lock(FSignalLock);
        this->*AFlag = AValue;
    }
    FSignal.notify_all();
}

bool TCustomPlayer::WaitSignal(bool TCustomPlayer::*AFlag, int AMilliseconds) {
    if (PlatformBridge().IsMainThread())
        return WaitProcessingMessages(
            [&] {
                std::lock_guard lock(FSignalLock);
                return this->*AFlag;
            },
            AMilliseconds);
    std::unique_lock lock(FSignalLock);
    return FSignal.wait_for(lock, std::chrono::milliseconds(AMilliseconds), [&] { return this->*AFlag; });
}

// SDL

bool TCustomPlayer::StartSDL(uintptr_t AHandle) {
    std::lock_guard lock(SDLStartLock());
    // The driver choices name drivers of another platform; here SDL_VIDEODRIVER and
    // SDL_AUDIODRIVER stay as the environment sets them.
    const uint32_t flags = SDL_INIT_VIDEO | SDL_INIT_TIMER | (Faudio_disable ? 0 : SDL_INIT_AUDIO);
    if (FSDLLoader.SDL_Init(flags) < 0) {
        Report(FormatText("Could not initialize SDL with ScreenHandle(%lu): %s",
                          static_cast<unsigned long>(AHandle), FSDLLoader.SDL_GetError()));
        FSDLLoader.SDL_Quit();
        return false;
    }
    FSDLStarted = true;
    if (const char* audio = FSDLLoader.SDL_GetCurrentAudioDriver())
        GetLogger().LogF(this, llDebug, "using audio driver: %s", audio);
    if (const char* video = FSDLLoader.SDL_GetCurrentVideoDriver())
        GetLogger().LogF(this, llDebug, "using video driver: %s", video);
    return true;
}

void TCustomPlayer::ShutdownSDL() {
    if (!FSDLStarted)
        return;
    std::lock_guard lock(SDLStartLock());
    FSDLLoader.SDL_Quit();
    FSDLStarted = false;
}

void TCustomPlayer::PostEvent(int ACode) {
    if (!FSDLLoader.Loaded())
        return;
    SDL_Event event{};
    event.type = SDL_USEREVENT;
    event.user.code = ACode;
    FSDLLoader.SDL_PushEvent(&event);
}

// Opening and stopping

bool TCustomPlayer::Open(const TFileName& AFileName, uintptr_t AScreenHandle, bool APaused) {
    if (!FFLoader().Loaded(PlayerLibraries) || !FOptions) {
        Report("libav not loaded.");
        return false;
    }
    if (!FSDLLoader.Loaded()) {
        Report("sdl not loaded.");
        return false;
    }
    FLoading = true;
    Stop(true);
    {
        std::lock_guard lock(FDisplayRectLock);
        FDisplayRect = {};
    }
    if (!StartSDL(AScreenHandle)) {
        FLoading = false;
        return false;
    }
    if (Fdisplay_disable)
        Fvideo_disable = true;
    FScreenHandle = AScreenHandle;
    if (!StartPlayback(AFileName, APaused)) {
        ShutdownSDL();
        FLoading = false;
        return false;
    }
    FFileName = AFileName;
    TVideoState& is = *FVideoState;
    FDecoder->SetFileHandle(is.ic.get());

    if (OnFileOpen) {
        const int64_t duration = is.IsImage2 ? 0 : is.Duration;
        int width = -1, height = -1;
        if (is.video_st && is.video_st->codecpar->width > 0) {
            width = is.video_st->codecpar->width;
            height = is.video_st->codecpar->height;
        }
        auto deliver = [&] { OnFileOpen(this, duration, width, height, Fscreen_width, Fscreen_height); };
        if (FTriggerEventInMainThread)
            PlatformBridge().CallInMainThread(deliver);
        else
            deliver();
        // The handler may have stopped the playback; a stop that waited has closed it.
        auto lock = LockData();
        if (!FVideoState) {
            FLastErrMsg = "the playback was stopped while it opened.";
            FLoading = false;
            return false;
        }
    }

    JoinEventThread();
    FEvents.Clear();
    FEventThreadTerminate = false;
    FEventThreadDone = false;
    FEventThread = std::thread([this] { EventThreadRun(); });

    SetSignal(&TCustomPlayer::FStopEvent, false);
    FPlayThread = std::thread([this] { PlayThread(); });
    WaitProcessingMessages([this] {
        std::lock_guard lock(FSignalLock);
        return FLooping || FStopEvent;
    });
    FLoading = false;
    return true;
}

void TCustomPlayer::Stop(bool AWaitForStop) {
    auto dataLock = LockData();
    TVideoState* is = FVideoState.get();
    if (!is) {
        // Nothing plays: cancel an open that is under way.
        FLastRead = 0;
        if (TVideoState* opening = FOpening.load())
            opening->abort_request = true;
    }
    dataLock.unlock();
    if (is) {
        if (is->timing.paused) {
            Fstep = false;
            TogglePauseInternal();
        }
        PostEvent(peQuit);
    }
    if (!AWaitForStop)
        return;

    int tries = 0;
    while (is && !WaitSignal(&TCustomPlayer::FStopEvent, 100)) {
        // Each round has waited already; a timed lock would also hide the lock from the
        // thread checker, which sees only plain and trial locking.
        if (!FDataLock.try_lock())
            continue;
        std::lock_guard lock(FDataLock, std::adopt_lock);
        if (!FVideoState)
            break;
        ++tries;
        // The play thread does not come round: close the playback from here.
        if (tries >= 20 || (tries >= 10 && FVideoState->Reading)) {
            EndPlayback();
            break;
        }
        PostEvent(peQuit);
    }
    if (is) {
        // No play thread took the playback over (a stop from the file-open handler): none
        // will end it, so it is closed here.
        auto lock = LockData();
        if (FVideoState.get() == is)
            EndPlayback();
    }
    if (FPlayThread.joinable())
        FPlayThread.join();
    ShutdownSDL();
    JoinEventThread();
    ResetAfterStop();
}

void TCustomPlayer::ResetAfterStop() {
    FState = psStop;
    FLastPTS = AV_NOPTS_VALUE;
    FCurrentPTS = -1;
    Fstep = false;
    for (int& wanted : Fwanted_stream)
        wanted = -1;
    Fseek_by_bytes = -1;
    if (!FLoading) {
        Fstart_time = AV_NOPTS_VALUE;
        FPlayTime = AV_NOPTS_VALUE;
        FRepeatType = rtRewind;
        FVerticalFlip = false;
        Fframe_pix_fmt = -1;
        if (FOptions)
            FOptions->reset_generic_options();
    }
    SetSignal(&TCustomPlayer::FSeekEvent, true);
    FSeeking = false;
    std::lock_guard lock(FShownLock);
    FShownFrame.reset();
    FShownPTS = AV_NOPTS_VALUE;
}

// States and their events

void TCustomPlayer::SetState(TPlayState AState) {
    FState = AState;
    if (OnState)
        FEvents.Put(pekState, AState);
    else if (AState == psStop)
        FEvents.Put(pekEnd, 0);
}

void TCustomPlayer::EventThreadRun() {
    auto deliver = [this](const std::function<void()>& AHandler) {
        auto run = [&] {
            const std::thread::id wasDelivering = FDeliveringThread.exchange(std::this_thread::get_id());
            try {
                AHandler();
            } catch (const std::exception& e) {
                GetLogger().Log(this, llError, std::string("Error occurs in player event: ") + e.what());
            }
            FDeliveringThread = wasDelivering;
        };
        if (FTriggerEventInMainThread)
            PlatformBridge().CallInMainThread(run);
        else
            run();
    };
    while (!FEventThreadTerminate) {
        const TPlayEvent event = FEvents.Take();
        if (event.Kind == pekPosition) {
            deliver([&] {
                if (OnPosition)
                    OnPosition(this, event.Value);
            });
        } else if (event.Kind == pekState) {
            const auto state = static_cast<TPlayState>(event.Value);
            deliver([&] {
                if (OnState)
                    OnState(this, state);
            });
            if (state == psStop)
                break;
        } else if (event.Kind == pekEnd) {
            break;
        } else {
            FEvents.Wait(100);
        }
    }
    FEventThreadDone = true;
}

void TCustomPlayer::JoinEventThread() {
    if (!FEventThread.joinable())
        return;
    // Called from inside a delivery, the event thread is this thread or waits for it: it is
    // left to end on its own.
    if (FDeliveringThread.load() == std::this_thread::get_id()) {
        FEventThread.detach();
        return;
    }
    if (!WaitProcessingMessages([this] { return FEventThreadDone.load(); }, 2000))
        FEventThreadTerminate = true;
    WaitProcessingMessages([this] { return FEventThreadDone.load(); });
    FEventThread.join();
}

// Pause and stepping

bool TCustomPlayer::Paused() const {
    auto lock = LockData();
    return !FVideoState || FVideoState->timing.paused;
}

void TCustomPlayer::TogglePauseInternal() {
    TVideoState* is = nullptr;
    {
        auto lock = LockData();
        is = FVideoState ? FVideoState.get() : FOpening.load();
    }
    if (!is)
        return;
    // A seek under way is not waited for long.
    if (!WaitSignal(&TCustomPlayer::FSeekEvent, 250))
        SetSignal(&TCustomPlayer::FSeekEvent, true);
    if (!is->timing.paused && is->video_stream >= 0 && !WaitSignal(&TCustomPlayer::FPictEvent, 250))
        SetSignal(&TCustomPlayer::FPictEvent, true);
    auto lock = LockData();
    if (FVideoState.get() != is)
        return;
    std::lock_guard pictLock(is->pictq_mutex);
    TogglePauseClocks(is->timing, SteadyMicroseconds());
}

void TCustomPlayer::Pause() {
    if (!FVideoState || Paused())
        return;
    Fstep = false;
    TogglePauseInternal();
    SetState(psPause);
}

void TCustomPlayer::Resume() {
    if (!FVideoState || !Paused())
        return;
    // Disarmed first: an armed step would pause again after the next picture.
    Fstep = false;
    TogglePauseInternal();
    SetState(psResume);
}

void TCustomPlayer::TogglePause() {
    if (!FVideoState)
        return;
    Fstep = false;
    TogglePauseInternal();
    SetState(Paused() ? psPause : psResume);
}

void TCustomPlayer::StepToNextFrame() {
    if (!FVideoState)
        return;
    // Armed before the playback runs again, so that the video thread pauses after the
    // first picture it queues, not after a later one.
    const bool armed = Fstep.exchange(true);
    if (Paused())
        TogglePauseInternal();
    if (!armed)
        SetState(psStep);
}

void TCustomPlayer::ToggleAudioDisplay() {
    auto lock = LockData();
    if (!FVideoState)
        return;
    const int mode = (FVideoState->show_mode.load() + 1) % 3;
    FVideoState->show_mode = mode;
    FVideoState->audio_controls.ShowMode = mode;
    FShowMode = mode;
    PostEvent(peResetVideoMode);
}

// Seeking

void TCustomPlayer::RequestSeek(int64_t ATarget, int64_t ARel, TSeekFlags AFlags, bool AWait) {
    bool hasVideo = false;
    {
        auto lock = LockData();
        TVideoState* is = FVideoState.get();
        if (!is || is->seek_req)
            return;
        FSeeking = true;
        is->seek_paused = is->timing.paused.load();
        is->seek_pos = ATarget;
        is->seek_rel = ARel;
        is->seek_flags = AFlags;
        SetSignal(&TCustomPlayer::FSeekEvent, false);
        is->seek_req = 1;
        hasVideo = is->video_stream >= 0;
    }
    if (!AWait)
        return;
    while (!WaitSignal(&TCustomPlayer::FSeekEvent, 100)) {
    }
    if (hasVideo)
        while (!WaitSignal(&TCustomPlayer::FPictEvent, 100)) {
        }
}

void TCustomPlayer::Seek(int64_t APTS, TSeekFlags ASeekFlags, bool AWaitForSeekEnd) {
    if (APTS == AV_NOPTS_VALUE)
        return;
    int64_t target = APTS;
    {
        auto lock = LockData();
        TVideoState* is = FVideoState.get();
        if (!is)
            return;
        if (!(ASeekFlags & sfByte)) {
            if (is->Duration > 0 && target > is->Duration)
                target = is->Duration;
            const int64_t fileStart = is->ic->start_time;
            const bool atStart = target == 0;
            if (fileStart != AV_NOPTS_VALUE)
                target += fileStart;
            // The first picture's own time lies half a picture before the start.
            if (atStart)
                target -= std::llround(is->frame_delay * 1000000.0 / 2);
        }
    }
    RequestSeek(target, 0, ASeekFlags, AWaitForSeekEnd);
}

void TCustomPlayer::SeekBy(double ADelta, TSeekFlags ASeekFlags, bool AWaitForSeekEnd) {
    int64_t target = 0;
    int64_t rel = 0;
    {
        auto lock = LockData();
        TVideoState* is = FVideoState.get();
        if (!is)
            return;
        if (ASeekFlags & sfByte) {
            const int64_t bitRate = is->ic->bit_rate;
            const double increment = bitRate > 0 ? ADelta * bitRate / 8.0 : ADelta * 180000.0;
            int64_t pos = is->video_current_pos;
            if (pos < 0 && is->ic->pb)
                pos = is->ic->pb->pos;
            target = pos + std::llround(increment);
            rel = std::llround(increment);
        } else {
            const int64_t now = SteadyMicroseconds();
            const double base =
                is->video_stream >= 0 ? VideoClock(is->timing, now) : MasterClock(is->timing, now);
            target = std::llround((base + ADelta) * 1000000.0);
            rel = std::llround(ADelta * 1000000.0);
        }
    }
    RequestSeek(target, rel, ASeekFlags, AWaitForSeekEnd);
}

void TCustomPlayer::FlushQueue() {
    auto lock = LockData();
    if (FVideoState)
        FVideoState->flush_req = true;
}

void TCustomPlayer::SetStartTime(int64_t AValue) {
    if (Fstart_time == AValue)
        return;
    Fstart_time = AValue;
    if (AValue != AV_NOPTS_VALUE)
        Seek(AValue, 0, false);
}

// Position report (play thread, under FDataLock)

int64_t TCustomPlayer::PositionNow(TVideoState& AIs) const {
    const int64_t now = SteadyMicroseconds();
    if (AIs.video_stream >= 0)
        return std::llround(VideoClock(AIs.timing, now) * 1000000.0) - AIs.StartTime;
    int64_t pts = std::llround(AudioClock(AIs.timing, now) * 1000000.0) - AIs.StartTime;
    if (AIs.AudioDuration > 0 && pts >= AIs.AudioDuration && pts < AIs.Duration)
        pts = AIs.Duration;
    return pts;
}

void TCustomPlayer::PositionUpdate(TVideoState& AIs) {
    if (AIs.IsImage2 || (AIs.video_stream < 0 && AIs.audio_stream < 0))
        return;
    int64_t pts = PositionNow(AIs);
    FCurrentPTS = pts;
    if (AIs.Duration > 0 && pts >= AIs.Duration) {
        pts = AIs.Duration;
        if (FLastPTS != pts)
            FLastPTS = 0;
    }
    const int64_t last = FLastPTS;
    if (last == AV_NOPTS_VALUE || std::llabs(pts - last) > 10000) {
        FLastPTS = pts;
        if (OnPosition)
            FEvents.Put(pekPosition, pts);
    }
    if (!AIs.IsDevice && !AIs.EventEOF && AIs.ReachEOF) {
        if (AIs.video_stream >= 0)
            AIs.EventEOF = true;
        SetState(psEnd);
    }
    const int64_t playTime = FPlayTime;
    // A seek under way has not shown its picture yet: the position is still the old one.
    if (playTime == AV_NOPTS_VALUE || FSeeking)
        return;
    const int64_t start = Fstart_time;
    if (pts < (start != AV_NOPTS_VALUE ? start + playTime : playTime))
        return;
    auto rewind = [&] {
        if (start != AV_NOPTS_VALUE)
            Seek(start, 0, false);
        else
            Seek(0, sfAny, false);
    };
    switch (FRepeatType.load()) {
    case rtStop:
        Stop(false);
        break;
    case rtLoop:
        rewind();
        break;
    case rtPause:
        Pause();
        break;
    case rtRewind:
        Pause();
        rewind();
        break;
    case rtNone:
        break;
    }
}

// Pictures and coordinates

TBitmap* TCustomPlayer::CurrentFrame() {
    int64_t pts;
    return CurrentFrame(pts);
}

TBitmap* TCustomPlayer::CurrentFrame(int64_t& APTS) {
    TBitmap& bitmap = FRGBConverter.Bitmap();
    APTS = -1;
    TFramePtr frame;
    int codedW = 0, codedH = 0;
    {
        auto lock = LockData();
        if (FVideoState && FVideoState->video_st) {
            codedW = FVideoState->video_st->codecpar->width;
            codedH = FVideoState->video_st->codecpar->height;
            std::lock_guard shownLock(FShownLock);
            APTS = FShownPTS == AV_NOPTS_VALUE ? -1 : FShownPTS;
            if (FShownFrame) {
                frame.reset(ff::av_frame_alloc());
                if (frame)
                    ff::av_frame_ref(frame.get(), FShownFrame.get());
            }
        }
    }
    if (codedW <= 0 || codedH <= 0) {
        bitmap.SetSize(0, 0);
        return &bitmap;
    }
    bitmap.SetSize(codedW, codedH);
    bitmap.FillRect(0, 0, codedW, codedH, TRGBColor{});
    if (frame) {
        TPicture picture;
        for (int i = 0; i < 3; ++i) {
            picture.Data[i] = frame->data[i];
            picture.Linesize[i] = frame->linesize[i];
        }
        if (!FRGBConverter.PictureToRGB(picture, AV_PIX_FMT_YUV420P, true, frame->height, frame->width))
            bitmap.SetSize(0, 0);
    }
    return &bitmap;
}

void TCustomPlayer::UpdateScreenPosition() {
    auto lock = LockData();
    if (FVideoState && FScreenHandle)
        PostEvent(peResizeScreen);
}

TRect TCustomPlayer::DisplayToActualRect(TRect ADisplayRect) {
    auto lock = LockData();
    if (!FVideoState)
        return {};
    std::lock_guard rectLock(FDisplayRectLock);
    return DisplayToPicture(ADisplayRect, FDisplayRect, Fframe_width, Fframe_height);
}

// Properties

void TCustomPlayer::SetFrameWidth(int AValue) {
    if (AValue % 2)
        throw std::invalid_argument("Frame size must be a multiple of 2");
    Fframe_width = AValue;
}

void TCustomPlayer::SetFrameHeight(int AValue) {
    if (AValue % 2)
        throw std::invalid_argument("Frame size must be a multiple of 2");
    Fframe_height = AValue;
}

void TCustomPlayer::SetAudioVolume(int AValue) {
    FAudioVolume = std::clamp(AValue, 0, 128);
    auto lock = LockData();
    if (FVideoState)
        FVideoState->audio_controls.Volume = FAudioVolume.load();
}

void TCustomPlayer::SetMute(bool AValue) {
    FMute = AValue;
    auto lock = LockData();
    if (FVideoState)
        FVideoState->audio_controls.Mute = AValue;
}

void TCustomPlayer::SetVideoHookBitsPixel(int AValue) {
    FHookConverter.SetBitsPixel(AValue);
    FRGBConverter.SetBitsPixel(AValue);
}

void TCustomPlayer::SetAspectRatio(float AValue) {
    if (FAspectRatio == AValue)
        return;
    FAspectRatio = AValue;
    auto lock = LockData();
    if (FVideoState)
        PostEvent(peResetVideoMode);
}

std::string TCustomPlayer::ForceFormat() const {
    return Ffile_iformat ? Ffile_iformat->name : "";
}

void TCustomPlayer::SetForceFormat(const std::string& AValue) {
    if (!FFLoader().Loaded(PlayerLibraries)) {
        FLastErrMsg = "libav not loaded.";
        return;
    }
    if (AValue.empty()) {
        Ffile_iformat = nullptr;
        return;
    }
    const AVInputFormat* format = ff::av_find_input_format(AValue.c_str());
    if (!format)
        throw std::invalid_argument(FormatText("Unknown input format: %s", AValue.c_str()));
    Ffile_iformat = format;
}

void TCustomPlayer::SetForceFrameRate(const std::string& AValue) {
    if (AValue == FForceFrameRate)
        return;
    if (!AValue.empty()) {
        AVRational rate{0, 0};
        if (ff::av_parse_video_rate(&rate, AValue.c_str()) < 0 || rate.num <= 0 || rate.den <= 0)
            throw std::invalid_argument(FormatText("Incorrect frame rate: %s", AValue.c_str()));
    }
    FForceFrameRate = AValue;
    auto lock = LockData();
    if (FVideoState && FVideoState->video_st) {
        ChooseFrameDelay(*FVideoState);
        FVideoState->flush_req = true;
    }
}

int TCustomPlayer::AudioStreamIndex() const {
    auto lock = LockData();
    return FVideoState ? FVideoState->audio_stream.load() : -1;
}

int TCustomPlayer::VideoStreamIndex() const {
    auto lock = LockData();
    return FVideoState ? FVideoState->video_stream.load() : -1;
}

int TCustomPlayer::SubtitleStreamIndex() const {
    auto lock = LockData();
    return FVideoState ? FVideoState->subtitle_stream.load() : -1;
}

void TCustomPlayer::SwitchStream(AVMediaType AKind, int AIndex) {
    auto lock = LockData();
    TVideoState* is = FVideoState.get();
    if (!is)
        return;
    const int current = AKind == AVMEDIA_TYPE_VIDEO   ? is->video_stream.load()
                        : AKind == AVMEDIA_TYPE_AUDIO ? is->audio_stream.load()
                                                      : is->subtitle_stream.load();
    const int lowest = AKind == AVMEDIA_TYPE_SUBTITLE ? -1 : 0;
    if (current < lowest) {
        Report("the current stream is not valid.");
        return;
    }
    if (AIndex < lowest || AIndex >= static_cast<int>(is->ic->nb_streams)) {
        Report("the stream index is not valid.");
        return;
    }
    if (AIndex == current)
        return;
    if (AIndex >= 0) {
        const AVCodecParameters* par = is->ic->streams[AIndex]->codecpar;
        if (par->codec_type != AKind) {
            Report("the stream type is not matched.");
            return;
        }
        if (AKind == AVMEDIA_TYPE_AUDIO && (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0)) {
            Report("the audio stream is not invalid.");
            return;
        }
    }
    if (current >= 0)
        StreamClose(*is, current);
    if (AIndex >= 0)
        StreamOpen(*is, AIndex);
}

} // namespace vx
