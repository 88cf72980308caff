// The encoder component: a list of transcoding tasks, run on worker threads (or in the
// calling thread), with progress, termination, preview and hook events.
//
// Building (AddTask, AddInputFile, SetOutputFile, ...) and Start happen on the owner's
// thread while the encoder is idle. Events of one kind are delivered one at a time; with
// TriggerEventInMainThread (the default) progress, preview, stream-info and termination
// events run on the main thread through the platform bridge, so the main thread must keep
// processing its messages while tasks run. Assign the handlers while the encoder is idle.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/FFBaseComponent.h"
#include "decode/FFDecode.h"
#include "encode/FFEncodeRecords.h"
#include "encode/FFmpeg.h"

namespace vx {

class TCustomEncoder;

// Option text: lines of name "=" value. The whole text is trimmed of blanks and control
// characters, every line break (CR LF, CR, LF) and every "<CRLF>" separates lines, and
// each line splits at its first "=" (no "=": the whole line is the name). Lines are not
// trimmed one by one.
using TOptionLines = std::vector<std::pair<std::string, std::string>>;
TOptionLines ParseOptionText(const std::string& AText);

// A task of the encoder: one transcoding job plus the option records of its files.
class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg(int AMaxFiles, TCustomEncoder* AParent);

    TCustomEncoder* Parent() const { return FParent; }
    // The record used for an input or output file; null when none was given.
    const TInputOptions* InputOptions(int AIndex) const;
    const TOutputOptions* OutputOptions(int AIndex) const;

private:
    friend class TCustomEncoder;
    TInputOptions& InputOptionsSlot(int AIndex);
    TOutputOptions& OutputOptionsSlot(int AIndex);
    void ResetInputOptions(int AIndex);
    void ResetOutputOptions(int AIndex);

    TCustomEncoder* FParent;
    std::vector<std::unique_ptr<TInputOptions>> FInputOptions;   // MaxFiles entries
    std::vector<std::unique_ptr<TOutputOptions>> FOutputOptions; // MaxFiles entries
};

// The tasks of an encoder, owned, in task-index order. A bad index throws
// std::out_of_range("List index out of bounds (%d)").
class TFFmpegList {
public:
    int Add(std::unique_ptr<TFFmpeg> ATask);
    void Clear();
    void Delete(int AIndex);
    void Exchange(int AIndex1, int AIndex2);
    TFFmpeg& Item(int AIndex) const;
    int IndexOf(const TCustomFFmpeg* ATask) const;
    int Count() const;

    void PauseAll();
    void ResumeAll();
    void StopAll(bool AWaitForStop);
    void SetPreviewAll(bool AValue);
    void SetPreviewBitmapAll(bool AValue);

private:
    std::vector<TFFmpeg*> Snapshot() const;
    void CheckIndex(int AIndex) const;

    mutable std::mutex FLock; // guards FItems; tasks are destroyed outside it
    std::vector<std::unique_ptr<TFFmpeg>> FItems;
};

class TCustomEncoder : public TFFBaseComponent {
public:
    using TProgressEvent = std::function<void(TCustomEncoder* Sender, const TProgressInfo& AProgressInfo)>;
    using TTerminateEvent = std::function<void(TCustomEncoder* Sender, const TTerminateInfo& ATerminateInfo)>;
    using TPreviewBitmapEvent = std::function<void(TCustomEncoder* Sender, const TPreviewInfo& APreviewInfo)>;
    // The sender is the task object that is opening an input.
    using TBeforeFindStreamInfoEvent = std::function<void(TCustomFFmpeg* Sender, AVFormatContext* AContext)>;
    using TVideoHookEvent = std::function<void(TCustomEncoder* Sender, THookInfo& AHookInfo)>;
    using TFrameHookEvent = std::function<void(TCustomEncoder* Sender, const TFrameHookInfo& AFrameHookInfo)>;
    using TAudioHookEvent =
        std::function<void(TCustomEncoder* Sender, int32_t ATaskIndex, int64_t APTS, void* ASample,
                           int32_t ASize, int32_t ASampleRate, int32_t AChannels, int32_t ASampleFormat)>;

    TCustomEncoder();
    // Clears the handlers first, then stops and destroys every task.
    ~TCustomEncoder() override;

    // ---- Libraries ----
    bool AVLibLoaded() const;
    // Loads the encoder's libraries from APath (empty: the default search). False: the
    // loader's reason is in LastErrMsg.
    bool LoadAVLib(const std::string& APath);
    void UnloadAVLib();

    // ---- Building the task list (idle only; otherwise std::logic_error
    // "Cannot %s while working."). AddTask needs the libraries loaded, otherwise it
    // throws std::logic_error("LibAVCodec not loaded.") or a sibling. ----

    // The new task's index, or -1 with LastErrMsg set. AOptions may be null; an empty
    // AOptions->FileName is filled with AFileName.
    int AddTask(const TPathFileName& AFileName, PInputOptions AOptions);
    int AddTask(const TPathFileName& AFileName, const std::string& AExtOptions);
    // A stream object, named "stream:<address>:<APrivateData>"; opening such a name needs
    // an I/O protocol for it.
    int AddTask(const void* AStream, const std::string& APrivateData, PInputOptions AOptions);
    bool AddInputFile(int ATaskIndex, const TPathFileName& AFileName, PInputOptions AOptions);
    bool AddInputFile(int ATaskIndex, const TPathFileName& AFileName, const std::string& AExtOptions);
    bool SetOutputFile(int ATaskIndex, const TPathFileName& AFileName, POutputOptions AOptions);
    bool SetOutputFile(int ATaskIndex, const TPathFileName& AFileName, const std::string& AExtOptions);
    bool SetOutputStream(int ATaskIndex, const void* AStream, const std::string& APrivateData,
                         POutputOptions AOptions);
    void Exchange(int ATaskIndex1, int ATaskIndex2);
    void RemoveTask(int ATaskIndex);
    // Refused ("Cannot ClearTasks while working.") while a run has not ended.
    void ClearTasks();
    int GetTaskIndex(const TCustomFFmpeg* AFFmpeg) const;

    // ---- Running ----

    // AThreadCount > 0: at most that many tasks at a time on worker threads, the call
    // returns once they are started. 0 or less: every task runs inside this call.
    void Start(int AThreadCount);
    void Pause();
    void Resume();
    // No further task starts; running tasks are stopped and never-started ones end with
    // Finished false. With wait, on the main thread, returns after the termination events
    // (the final one included) have been delivered.
    void Stop(bool AWaitForStop);

    // ---- Properties ----
    // A decoder of the encoder's own, for the caller's probing of files.
    TFFDecoder& Decoder() { return FDecoder; }
    const std::string& LastErrMsg() const { return FLastErrMsg; }
    int TasksCount() const { return FFFmpegList.Count(); }
    // The name a task's output (AOutputIndex in the order set) was finally given, once the task
    // has ended: the name asked for, or with KeepExisting the next free numbered one. Empty
    // while the task has not ended, and for an output that was not kept (a failed run).
    TPathFileName OutputFileNameUsed(int ATaskIndex, int AOutputIndex = 0) const;
    int CustomMaxFiles() const { return FCustomMaxFiles; }
    void SetCustomMaxFiles(int AValue) { FCustomMaxFiles = AValue; }
    bool HaltOnInvalidOption() const { return FHaltOnInvalidOption; }
    void SetHaltOnInvalidOption(bool AValue) { FHaltOnInvalidOption = AValue; }
    bool Preview() const { return FPreview; }
    void SetPreview(bool AValue);
    bool PreviewBitmap() const { return FPreviewBitmap; }
    void SetPreviewBitmap(bool AValue);
    // Milliseconds between two progress reports of a task; never below 100.
    int ProgressInterval() const { return FProgressInterval; }
    void SetProgressInterval(int AValue) { FProgressInterval = AValue <= 100 ? 100 : AValue; }
    int ReadTimeout() const { return FReadTimeout; }
    void SetReadTimeout(int AValue) { FReadTimeout = AValue; }
    TThreadPriority ThreadPriority() const { return FThreadPriority; }
    void SetThreadPriority(TThreadPriority AValue) { FThreadPriority = AValue; }
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
    void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }
    void* UserData() const { return FData; }
    void SetUserData(void* AValue) { FData = AValue; }
    int Verbose() const { return FVerbose; }
    void SetVerbose(int AValue) { FVerbose = AValue; }
    bool Terminated() const { return FTerminated; }
    bool Working() const { return FWorking; }
    bool Paused() const { return FPaused; }

    // ---- Events ----
    TAudioHookEvent OnAudioHook;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
    TVideoHookEvent OnVideoInputHook;
    TVideoHookEvent OnVideoOutputHook;
    TPreviewBitmapEvent OnPreviewBitmap;
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TFrameHookEvent OnFrameInputHook;
    TFrameHookEvent OnFrameOutputHook;

protected:
    // The routers installed as each task's callbacks.
    virtual void HandleInputVideoHook(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber,
                                      int64_t APTS, bool& AUpdate, bool& AStopHook);
    virtual void HandleOutputVideoHook(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber,
                                       int64_t APTS, bool& AUpdate, bool& AStopHook);
    virtual void HandleInputFrameHook(TCustomFFmpeg* Sender, TPicture* APicture, int32_t APixFmt,
                                      int32_t AFrameNumber, int32_t AWidth, int32_t AHeight, int64_t APTS);
    virtual void HandleOutputFrameHook(TCustomFFmpeg* Sender, TPicture* APicture, int32_t APixFmt,
                                       int32_t AFrameNumber, int32_t AWidth, int32_t AHeight, int64_t APTS);
    virtual void HandlePreviewBitmap(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber,
                                     int64_t APTS);
    virtual void HandleProgress(TCustomFFmpeg* Sender, int32_t AFileIndex, int32_t AFrameNumber, int32_t AFPS,
                                float AQuality, float ABitRate, int64_t ACurrentSize,
                                int64_t ACurrentDuration, int64_t ATotalDuration);
    virtual void HandleTerminate(TCustomFFmpeg* Sender);
    void HandleAudioHook(TCustomFFmpeg* Sender, int64_t APTS, void* ASample, int32_t ASize,
                         int32_t ASampleRate, int32_t AChannels, int32_t ASampleFormat);
    void HandleBeforeFindStreamInfo(TCustomFFmpeg* Sender, AVFormatContext* AContext);

    // Makes the task object of AddTask; a subclass may supply its own kind.
    virtual std::unique_ptr<TFFmpeg> CreateTask(int AMaxFiles);

private:
    TFFDecoder FDecoder;
    // Both video hooks: one lock, one shared record.
    void DeliverVideoHook(const TVideoHookEvent& AHandler, TCustomFFmpeg* Sender, TBitmap* ABitmap,
                          int32_t AFrameNumber, int64_t APTS, bool& AUpdate, bool& AStopHook);
    class TDoTerminateThread;

    void CheckNotWorking(const char* AName) const;
    // Throws "LibAVCodec not loaded." and its siblings.
    void CheckLibraries() const;
    void StartNextTask();
    // Takes the next pending task off the count; null when none is left. FTerminateLock held.
    TFFmpeg* ClaimNextTaskLocked();
    void StartTask(TFFmpeg& ATask);
    // Ends the run once (the final event). FTerminateLock held.
    void FinishRunLocked();
    void ApplyExtOptions(TFFmpeg& ATask, const std::string& AExtOptions, bool AInput);
    // Applies the input record and opens the input; a refusal raises its reason.
    void OpenInput(TFFmpeg& ATask, int AIndex, const TPathFileName& AFileName, PInputOptions AOptions);
    void ApplyOutputRecord(TFFmpeg& ATask, TOutputOptions& AOptions, TOptionLines& ADefaults);
    void AddExtraStreams(TFFmpeg& ATask, const TOutputOptions& AOptions, TOptionLines& ADefaults);
    void InstallRunCallbacks(TFFmpeg& ATask);
    // Runs a handler on the main thread (AInMainThread) or right here. A handler's
    // exception is logged, never passed to the task.
    void Deliver(const char* AEventName, const std::function<void()>& AHandler, bool AInMainThread);
    void QueueTermination(const TTerminateInfo& AInfo);
    bool DeliveriesIdle() const;

    // Settings and results of building: the owner's thread only. Fields that workers
    // read are atomic.
    std::string FLastErrMsg;
    void* FData = nullptr;
    int FCustomMaxFiles = 20;
    bool FHaltOnInvalidOption = true;
    bool FPreview = false;
    bool FPreviewBitmap = false;
    std::atomic<int> FProgressInterval{500};
    int FReadTimeout = 10000;
    std::atomic<TThreadPriority> FThreadPriority{tpNormal};
    std::atomic<bool> FTriggerEventInMainThread{true};
    int FVerbose = 1;

    // One lock per event kind: events of a kind pass one at a time and the shared record
    // is not overwritten during a call. Never nested, never taken twice by one thread: a
    // task is started only with none of them held.
    std::mutex FAudioHookLock;
    std::mutex FPreviewLock;
    std::mutex FProgressLock;
    std::mutex FTerminateLock;
    std::mutex FVideoHookLock;
    std::mutex FFrameHookLock;
    std::mutex FFindStreamLock;
    TProgressInfo FProgressInfo;   // FProgressLock
    TTerminateInfo FTerminateInfo; // FTerminateLock
    TPreviewInfo FPreviewInfo;     // FPreviewLock
    THookInfo FVideoHookInfo;      // FVideoHookLock
    TFrameHookInfo FFrameHookInfo; // FFrameHookLock

    TFFmpegList FFFmpegList;
    // The run's bookkeeping: FTerminateLock, except FPendingTasks, which Stop clears
    // without it (a worker may hold that lock while it waits for the main thread).
    int FCompleteTasks = 0;
    int FCurrentTask = -1;
    std::atomic<int> FPendingTasks{0};
    bool FRunFinished = false;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FThreadMode{false};
    std::atomic<bool> FWorking{false};
    bool FPaused = false; // owner's thread
    std::atomic<bool> FDestroying{false};
    bool FInSyncRun = false; // owner's thread: Start runs the tasks itself

    // Handlers running on the main thread for this encoder (main thread only). A wait
    // started inside one of them cannot wait for deliveries: they queue behind it.
    int FMainHandlerDepth = 0;

    // Termination deliveries in the order they were raised (the final event last).
    // Created by the owner's thread before the first threaded run starts a worker.
    std::unique_ptr<TDoTerminateThread> FTerminateThread;
};

// The encoder as placed in an application.
class TFFEncoder : public TCustomEncoder {
public:
    using TCustomEncoder::TCustomEncoder;
};

} // namespace vx
