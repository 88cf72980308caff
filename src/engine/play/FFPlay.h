// The player component: plays one media file into a window that the caller owns (or into a
// window of its own), with sound, pause, stepping, seeking and stream switching, and
// reports its state and position through events.
//
// Threads of one playback: the caller (every public operation, normally the main thread),
// the play thread (SDL events, the window, its renderer and textures, display), the reader,
// the refresh ticker, the video and subtitle decoders, SDL's audio thread and the event
// thread that raises OnState and OnPosition.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/FFApi.h"
#include "base/FFBaseComponent.h"
#include "base/SDLLoader.h"
#include "base/UnicodeProtocol.h"
#include "decode/FFDecode.h"
#include "decode/FormatConverter.h"
#include "play/PlayEventQueue.h"
#include "play/PlayerTypes.h"

namespace vx {

class TFFOptions;
struct TVideoState;
struct TPlayOutput;

class TCustomPlayer : public TFFBaseComponent {
public:
    using TPlayStateEvent = std::function<void(TCustomPlayer* Sender, TPlayState APlayState)>;
    using TPositionEvent = std::function<void(TCustomPlayer* Sender, int64_t APTS)>;
    using TFileOpenEvent = std::function<void(TCustomPlayer* Sender, int64_t ADuration, int AFrameWidth,
                                              int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
    using TVideoHookEvent =
        std::function<void(TCustomPlayer* Sender, TBitmap* ABitmap, int64_t APTS, bool& AUpdate)>;
    using TFrameHookEvent = std::function<void(TCustomPlayer* Sender, TPicture* APicture, int APixFmt,
                                               int AWidth, int AHeight, int64_t APTS)>;
    using TAudioHookEvent = std::function<void(TCustomPlayer* Sender, int64_t APTS, uint8_t* ASample,
                                               int ASize, int ASampleRate, int AChannels)>;

    TCustomPlayer();
    ~TCustomPlayer() override;

    // Libraries: the player's library set through the process-wide loader and, with
    // AAutoLoadSDL, SDL2 from the same folder.
    bool LoadAVLib(const std::string& APath, bool AAutoLoadSDL = true);
    bool AVLibLoaded() const;
    void UnloadAVLib();
    bool LoadSDLLib(const std::string& APath, const std::string& AFile);
    bool SDLLibLoaded() const { return FSDLLoader.Loaded(); }
    void UnloadSDLLib();
    // Records a codec, format or scaler option for the next file.
    bool opt_default(const std::string& AOpt, const std::string& AArg);

    // Plays AFileName into the native window AScreenHandle (0: a window of its own).
    // Returns once the file is open and the play thread runs; false with LastErrMsg.
    bool Open(const TFileName& AFileName, uintptr_t AScreenHandle, bool APaused = false);
    // Ends the playback; with AWaitForStop returns when its threads have ended.
    void Stop(bool AWaitForStop);
    void Pause();
    void Resume();
    void TogglePause();
    void StepToNextFrame();
    void ToggleAudioDisplay();
    // Absolute: microseconds from the start of the media, or a byte position with sfByte.
    void Seek(int64_t APTS, TSeekFlags ASeekFlags = 0, bool AWaitForSeekEnd = false);
    // Relative, by ADelta seconds.
    void SeekBy(double ADelta, TSeekFlags ASeekFlags = 0, bool AWaitForSeekEnd = false);
    void FlushQueue();
    // The picture last displayed, as a bitmap (0 x 0 without video); APTS its time or -1.
    TBitmap* CurrentFrame();
    TBitmap* CurrentFrame(int64_t& APTS);
    // After the target window was resized: set ScreenWidth/ScreenHeight to its new size, then
    // call this, and the picture is fitted to it (SDL does not see the change by itself).
    void UpdateScreenPosition();
    // Window pixels to picture pixels of the picture last drawn.
    TRect DisplayToActualRect(TRect ADisplayRect);

    // Properties.
    const std::string& LastErrMsg() const { return FLastErrMsg; }
    const TFileName& FileName() const { return FFileName; }
    uintptr_t ScreenHandle() const { return FScreenHandle; }
    TFFDecoder* Decoder() { return FDecoder.get(); }
    int64_t CurrentPTS() const { return FCurrentPTS; }
    TPlayState PlayState() const { return FState; }
    bool Seeking() const { return FSeeking; }
    bool Paused() const;
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
    void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }
    int ReadTimeout() const { return FReadTimeout; }
    void SetReadTimeout(int AValue) { FReadTimeout = AValue; }
    bool DisableAudio() const { return Faudio_disable; }
    void SetDisableAudio(bool AValue) { Faudio_disable = AValue; }
    bool DisableVideo() const { return Fvideo_disable; }
    void SetDisableVideo(bool AValue) { Fvideo_disable = AValue; }
    bool DisableDisplay() const { return Fdisplay_disable; }
    void SetDisableDisplay(bool AValue) { Fdisplay_disable = AValue; }
    int ScreenWidth() const { return Fscreen_width; }
    void SetScreenWidth(int AValue) { Fscreen_width = AValue; }
    int ScreenHeight() const { return Fscreen_height; }
    void SetScreenHeight(int AValue) { Fscreen_height = AValue; }
    int FrameWidth() const { return Fframe_width; }
    void SetFrameWidth(int AValue);
    int FrameHeight() const { return Fframe_height; }
    void SetFrameHeight(int AValue);
    int AudioVolume() const { return FAudioVolume; }
    void SetAudioVolume(int AValue);
    bool Mute() const { return FMute; }
    void SetMute(bool AValue);
    TAudioDriver AudioDriver() const { return FAudioDriver; }
    void SetAudioDriver(TAudioDriver AValue) { FAudioDriver = AValue; }
    TVideoDriver VideoDriver() const { return FVideoDriver; }
    void SetVideoDriver(TVideoDriver AValue) { FVideoDriver = AValue; }
    bool AudioHook() const { return FAudioHook; }
    void SetAudioHook(bool AValue) { FAudioHook = AValue; }
    bool VideoHook() const { return FVideoHook; }
    void SetVideoHook(bool AValue) { FVideoHook = AValue; }
    bool FrameHook() const { return FFrameHook; }
    void SetFrameHook(bool AValue) { FFrameHook = AValue; }
    int VideoHookBitsPixel() const { return FHookConverter.BitsPixel(); }
    void SetVideoHookBitsPixel(int AValue);
    bool AutoAdjustFrameRate() const { return FAutoAdjustFrameRate; }
    void SetAutoAdjustFrameRate(bool AValue) { FAutoAdjustFrameRate = AValue; }
    bool CheckIOEOF() const { return FCheckIOEOF; }
    void SetCheckIOEOF(bool AValue) { FCheckIOEOF = AValue; }
    bool CheckIOERR() const { return FCheckIOERR; }
    void SetCheckIOERR(bool AValue) { FCheckIOERR = AValue; }
    bool Deinterlace() const { return FDeinterlace; }
    void SetDeinterlace(bool AValue) { FDeinterlace = AValue; }
    bool VerticalFlip() const { return FVerticalFlip; }
    void SetVerticalFlip(bool AValue) { FVerticalFlip = AValue; }
    const std::string& VideoFilters() const { return Fvfilters; }
    void SetVideoFilters(const std::string& AValue) { Fvfilters = AValue; }
    int64_t PlayTime() const { return FPlayTime; }
    void SetPlayTime(int64_t AValue) { FPlayTime = AValue; }
    TRepeatType RepeatType() const { return FRepeatType; }
    void SetRepeatType(TRepeatType AValue) { FRepeatType = AValue; }
    int64_t StartTime() const { return Fstart_time; }
    void SetStartTime(int64_t AValue);
    int64_t start_time() const { return Fstart_time; }
    void set_start_time(int64_t AValue) { Fstart_time = AValue; }
    float AspectRatio() const { return FAspectRatio; }
    void SetAspectRatio(float AValue);
    std::string ForceFormat() const;
    void SetForceFormat(const std::string& AValue);
    const std::string& ForceFrameRate() const { return FForceFrameRate; }
    void SetForceFrameRate(const std::string& AValue);
    int AudioStreamIndex() const;
    void SetAudioStreamIndex(int AValue) { SwitchStream(AVMEDIA_TYPE_AUDIO, AValue); }
    int VideoStreamIndex() const;
    void SetVideoStreamIndex(int AValue) { SwitchStream(AVMEDIA_TYPE_VIDEO, AValue); }
    int SubtitleStreamIndex() const;
    void SetSubtitleStreamIndex(int AValue) { SwitchStream(AVMEDIA_TYPE_SUBTITLE, AValue); }
    int wanted_stream(AVMediaType AKind) const { return Fwanted_stream[AKind]; }
    void set_wanted_stream(AVMediaType AKind, int AValue) { Fwanted_stream[AKind] = AValue; }
    bool is_full_screen() const { return Fis_full_screen; }
    void set_is_full_screen(bool AValue) { Fis_full_screen = AValue; }
    int seek_by_bytes() const { return Fseek_by_bytes; }
    void set_seek_by_bytes(int AValue) { Fseek_by_bytes = AValue; }
    int workaround_bugs() const { return Fworkaround_bugs; }
    void set_workaround_bugs(int AValue) { Fworkaround_bugs = AValue; }
    bool fast() const { return Ffast; }
    void set_fast(bool AValue) { Ffast = AValue; }
    bool genpts() const { return Fgenpts; }
    void set_genpts(bool AValue) { Fgenpts = AValue; }
    int decoder_reorder_pts() const { return Fdecoder_reorder_pts; }
    void set_decoder_reorder_pts(int AValue) { Fdecoder_reorder_pts = AValue; }
    int framedrop() const { return Fframedrop; }
    void set_framedrop(int AValue) { Fframedrop = AValue; }
    int rdftspeed() const { return Frdftspeed; }
    void set_rdftspeed(int AValue) { Frdftspeed = AValue; }
    int lowres() const { return Flowres; }
    void set_lowres(int AValue) { Flowres = AValue; }
    int idct_algo() const { return Fidct_algo; }
    void set_idct_algo(int AValue) { Fidct_algo = AValue; }
    int error_concealment() const { return Ferror_concealment; }
    void set_error_concealment(int AValue) { Ferror_concealment = AValue; }
    int av_sync_type() const { return Fav_sync_type; }
    void set_av_sync_type(int AValue) { Fav_sync_type = AValue; }

    // Events. OnState and OnPosition run on the main thread when TriggerEventInMainThread
    // (the event thread waits for them), else on the event thread; the hooks run on the
    // video decoder and audio threads.
    TPlayStateEvent OnState;
    TPositionEvent OnPosition;
    TFileOpenEvent OnFileOpen;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
    TVideoHookEvent OnVideoHook;
    TFrameHookEvent OnFrameHook;
    TAudioHookEvent OnAudioHook;

private:
    friend struct TPlayOutput;
    struct TStreamOpen;

    // Reports AText at error level; with AKeep also as LastErrMsg.
    void Report(const std::string& AText, bool AKeep = true);
    void SetState(TPlayState AState);
    void EventThreadRun();
    void JoinEventThread();
    bool StartSDL(uintptr_t AHandle);
    void ShutdownSDL();
    void ResetAfterStop();
    void TogglePauseInternal();
    void RequestSeek(int64_t ATarget, int64_t ARel, TSeekFlags AFlags, bool AWait);
    void SwitchStream(AVMediaType AKind, int AIndex);
    void PostEvent(int ACode);
    int64_t PositionNow(TVideoState& AIs) const;
    void PositionUpdate(TVideoState& AIs);

    // The pipeline (FFPlayReader.cpp).
    bool StartPlayback(const TFileName& AFileName, bool APaused);
    void EndPlayback();
    void ReaderThread(TVideoState* AIs);
    bool ReaderOpen(TVideoState& AIs);
    void ReaderLoop(TVideoState& AIs);
    void ReaderClose(TVideoState& AIs);
    void ExecuteSeek(TVideoState& AIs);
    void FlushQueues(TVideoState& AIs);
    int StreamOpen(TVideoState& AIs, int AIndex);
    void StreamClose(TVideoState& AIs, int AIndex);
    static bool ReadTimeoutCheck(void* ASender);
    static bool AbortCheck(void* ASender);
    // The video and subtitle decoders (FFPlayVideo.cpp).
    void ChooseFrameDelay(TVideoState& AIs);
    void VideoThread(TVideoState* AIs);
    int QueuePicture(TVideoState& AIs, AVFrame* AFrame, double APts, int64_t APos);
    void RunVideoHooks(TVideoState& AIs, AVFrame* AFrame, double APts);
    void SubtitleThread(TVideoState* AIs);
    // The play thread (FFPlayDisplay.cpp).
    void PlayThread();
    void RefreshTicker(TVideoState* AIs);
    void Refresh(TVideoState& AIs, bool AConsume);
    bool OpenScreen(TVideoState& AIs, bool AForce);
    void Display(TVideoState& AIs);
    void PictureDisplay(TVideoState& AIs, bool AQueued);
    void ShowSubtitles(TVideoState& AIs);
    void AllocatePicture(TVideoState& AIs, int AIndex);

    TSDLLoader FSDLLoader;
    bool FAutoLoadSDL = true;
    std::unique_ptr<TFFDecoder> FDecoder;
    std::unique_ptr<TFFOptions> FOptions;
    TFormatConverter FRGBConverter;  // caller's thread (CurrentFrame)
    TFormatConverter FHookConverter; // video thread
    std::string FLastErrMsg;
    TFileName FFileName;
    uintptr_t FScreenHandle = 0;

    std::atomic<int> FReadTimeout{30000};
    std::atomic<int64_t> FLastRead{
        INT64_MAX}; // steady microseconds; INT64_MAX: no time-out running; 0: canceled
    std::atomic<int64_t> FLastPTS{AV_NOPTS_VALUE};
    std::atomic<int64_t> FCurrentPTS{-1};
    bool FLoading = false;
    std::atomic<TPlayState> FState{psStop};
    std::atomic<bool> FSeeking{false};
    std::atomic<float> FAspectRatio{0};
    std::atomic<int> FAudioVolume{128};
    std::atomic<bool> FMute{false};
    bool FAutoAdjustFrameRate = true;
    std::string FForceFrameRate;
    std::atomic<int> FShowMode{-1};
    bool FCheckIOEOF = true;
    bool FCheckIOERR = true;
    std::atomic<bool> FDeinterlace{false};
    std::atomic<int64_t> FPlayTime{AV_NOPTS_VALUE};
    std::atomic<TRepeatType> FRepeatType{rtRewind};
    std::atomic<bool> FVerticalFlip{false};
    TAudioDriver FAudioDriver = adDefault;
    TVideoDriver FVideoDriver = vdDefault;
    std::atomic<bool> FAudioHook{false};
    std::atomic<bool> FVideoHook{false};
    std::atomic<bool> FFrameHook{false};
    std::atomic<bool> FTriggerEventInMainThread{true};
    std::atomic<bool> Fis_full_screen{false}; // a window of its own covers the desktop
    int Fscreen_width = 0;
    int Fscreen_height = 0;
    std::atomic<int> Fframe_width{0};
    std::atomic<int> Fframe_height{0};
    int Fframe_pix_fmt = -1;
    bool Faudio_disable = false;
    bool Fvideo_disable = false;
    bool Fdisplay_disable = false;
    int Fwanted_stream[AVMEDIA_TYPE_NB] = {-1, -1, -1, -1, -1};
    int Fseek_by_bytes = -1;
    int Fav_sync_type = 0;
    std::atomic<int64_t> Fstart_time{AV_NOPTS_VALUE};
    std::atomic<bool> Fstep{false};
    int Fworkaround_bugs = 1;
    bool Ffast = false;
    bool Fgenpts = false;
    int Flowres = 0;
    int Fidct_algo = 0;
    int Ferror_concealment = 3;
    int Fdecoder_reorder_pts = -1;
    int Fframedrop = -1;
    int Frdftspeed = 20;
    int Fsws_flags = 4;
    std::string Fvfilters;
    const AVInputFormat* Ffile_iformat = nullptr;

    // The running playback; set and cleared by the caller's thread and EndPlayback under
    // FDataLock, read by the play thread under it.
    std::unique_ptr<TVideoState> FVideoState;
    // A playback being opened (the reader's handshake not done yet), for Stop to abort.
    std::atomic<TVideoState*> FOpening{nullptr};
    std::recursive_timed_mutex FDataLock;

    std::mutex FSignalLock;
    std::condition_variable FSignal; // FSignalLock: seek, picture and stop events below
    bool FSeekEvent = true;          // FSignalLock: no seek pending
    bool FPictEvent = true;          // FSignalLock: a picture was queued or none can come
    bool FStopEvent = true;          // FSignalLock: the play thread is not running
    // FDataLock, taken from the caller's thread without blocking deliveries to it.
    std::unique_lock<std::recursive_timed_mutex> LockData() const;
    void SetSignal(bool TCustomPlayer::*AFlag, bool AValue);
    bool WaitSignal(bool TCustomPlayer::*AFlag, int AMilliseconds);

    std::atomic<bool> FLooping{false}; // the play thread runs its event loop
    std::thread FPlayThread;
    bool FSDLStarted = false;

    TPlayEventQueue FEvents;
    std::thread FEventThread;
    std::atomic<bool> FEventThreadDone{true};
    std::atomic<bool> FEventThreadTerminate{false};
    // The thread inside an OnState/OnPosition delivery (the main thread or the event
    // thread, by TriggerEventInMainThread); none outside one.
    std::atomic<std::thread::id> FDeliveringThread{};

    std::mutex FDisplayRectLock;
    TRect FDisplayRect; // FDisplayRectLock

    TPlayOutput* FOutput = nullptr; // play thread: the window and displays of the running play thread
    std::mutex FShownLock;
    TFramePtr FShownFrame;              // FShownLock: the picture last displayed (a reference)
    int64_t FShownPTS = AV_NOPTS_VALUE; // FShownLock: its time in microseconds from the start
};

// The subset for form designers; adds no behaviour.
class TZADorovu : public TCustomPlayer {};

} // namespace vx
