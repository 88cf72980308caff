// The job's life: creation, the run on a worker thread, stop, pause and termination.
#include "encode/FFmpeg.h"

#include <chrono>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "base/FFLog.h"
#include "base/InterruptCB.h"
#include "base/PlatformBridge.h"

namespace vx {

namespace {

// Linux threads share the process's scheduling class; only the nice value of a thread
// can differ. Raising it above normal needs privileges, so a refusal is ignored.
void ApplyThreadPriority(TThreadPriority APriority) {
    static constexpr int NiceOf[] = {19, 10, 5, 0, -5, -10, -15};
    const int nice = NiceOf[APriority];
    if (nice != 0)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
}

} // namespace

TInterruptRegistration::TInterruptRegistration(void* ASender, TInterruptProc AProc)
    : FThreadID(CurrentThreadID()), FSender(ASender), FProc(AProc) {
    InterruptDispatcher().Add(FThreadID, FSender, FProc);
}

TInterruptRegistration::~TInterruptRegistration() {
    InterruptDispatcher().Remove(FThreadID, FSender, FProc);
}

std::mutex& PostHookLock() {
    static std::mutex lock;
    return lock;
}

TCustomFFmpeg::TCustomFFmpeg(int AMaxFiles) : FMaxFiles(AMaxFiles) {
    if (AMaxFiles < 1 || AMaxFiles > MaxFilesLimit)
        throw std::out_of_range("Maximum file count " + std::to_string(AMaxFiles) + " is outside 1.." +
                                std::to_string(MaxFilesLimit));
}

TCustomFFmpeg::~TCustomFFmpeg() {
    Stop(true);
    {
        // A never-started termination may still be delivering.
        std::unique_lock lock(FStateLock);
        FStateCond.wait(lock, [&] { return !FTerminating; });
    }
    for (std::thread* t : {&FThread, &FTermThread}) {
        if (!t->joinable())
            continue;
        if (t->get_id() == std::this_thread::get_id())
            t->detach(); // destroyed from its own callback: the thread only returns from here
        else
            t->join();
    }
    file_cleanup();
}

bool TCustomFFmpeg::StartConvert(bool AUseThread, TThreadPriority APriority) {
    const char* missing = nullptr;
    {
        std::lock_guard lock(FStateLock);
        if (FConverting || FTerminated || FTerminating)
            return false; // a job runs once
        if (Foutput_files.empty())
            missing = "At least one output file must be specified";
        else if (Finput_files.empty())
            missing = "At least one input file must be specified";
        if (missing) {
            FTerminating = true;
        } else {
            FConverting = true;
            FFinished = false;
            FBroken = false;
            FWorkerRunning = AUseThread;
        }
    }
    if (missing) {
        try {
            file_cleanup();
        } catch (const std::exception& e) {
            GetLogger().Log(this, llQuiet, e.what());
        }
        RecordFailure(missing);
        DoTerminate();
        std::lock_guard lock(FStateLock);
        FTerminating = false;
        FStateCond.notify_all();
        return false;
    }
    FRun = std::make_unique<const TRunFlags>(FRunFlags);
    if (!AUseThread) {
        Run();
        return false;
    }
    std::lock_guard lock(FStateLock);
    FThread = std::thread([this, APriority] {
        ApplyThreadPriority(APriority);
        Run();
        // Notified under the lock: a waiter may destroy the job as soon as it sees this.
        std::lock_guard lock(FStateLock);
        FWorkerRunning = false;
        FStateCond.notify_all();
    });
    FWorkerID = FThread.get_id();
    return true;
}

void TCustomFFmpeg::Run() {
    try {
        transcode();
    } catch (const std::exception& e) {
        RecordFailure(e);
    }
    // Each clean-up step records its own failure so that none skips the others.
    try {
        // Codecs a failed run left open.
        close_open_codecs();
    } catch (const std::exception& e) {
        RecordFailure(e);
    }
    try {
        const std::string closeError = file_cleanup();
        if (!closeError.empty())
            RecordFailure(closeError);
    } catch (const std::exception& e) {
        RecordFailure(e);
    }
    // Termination is an event too: a paused job raises it only once resumed or stopped.
    CheckPaused();
    try {
        DoTerminate();
    } catch (const std::exception& e) {
        RecordFailure(e);
    }
}

void TCustomFFmpeg::RecordFailure(const std::string& AMessage, TLogLevel ALevel) {
    GetLogger().Log(this, ALevel, AMessage);
    SetFatal(AMessage);
}

void TCustomFFmpeg::RecordFailure(const std::exception& AError) {
    const auto* failure = dynamic_cast<const FFmpegException*>(&AError);
    RecordFailure(AError.what(), failure ? failure->Level() : llQuiet);
}

void TCustomFFmpeg::DoTerminate() {
    {
        std::lock_guard lock(FStateLock);
        FConverting = false;
        FTerminated = true;
    }
    if (OnTerminate)
        OnTerminate(this);
}

void TCustomFFmpeg::SetFatal(const std::string& AMessage) {
    std::lock_guard lock(FStateLock);
    // The first failure is the cause; later ones are usually its consequences.
    // A note about a damaged input gives way to the failure.
    if (!FFatalException) {
        FFatalException = true;
        FFatalMessage = AMessage;
    }
}

void TCustomFFmpeg::SetRunNote(const std::string& AMessage) {
    std::lock_guard lock(FStateLock);
    if (!FFatalException && FFatalMessage.empty())
        FFatalMessage = AMessage;
}

void TCustomFFmpeg::SetFinished(bool AValue) {
    std::lock_guard lock(FStateLock);
    FFinished = AValue;
}

void TCustomFFmpeg::StartReadTimeout() {
    InterruptDispatcher().Add(CurrentThreadID(), this, &InterruptCheck);
    FLastRead = SteadyMicroseconds();
}

void TCustomFFmpeg::StopReadTimeout() {
    FLastRead = std::numeric_limits<int64_t>::max();
    InterruptDispatcher().Remove(CurrentThreadID(), this, &InterruptCheck);
}

bool TCustomFFmpeg::InterruptCheck(void* ASender) {
    auto* self = static_cast<TCustomFFmpeg*>(ASender);
    if (self->FBroken)
        return true;
    const int64_t lastRead = self->FLastRead;
    if (lastRead == std::numeric_limits<int64_t>::max())
        return false;
    if (lastRead == 0) {
        GetLogger().Log(self, llInfo, "connecting/reading/writing canceled");
        return true;
    }
    if (self->FReadTimeout > 0 && SteadyMicroseconds() - lastRead > int64_t(self->FReadTimeout) * 1000) {
        GetLogger().Log(self, llInfo, "connecting/reading/writing timeout");
        return true;
    }
    return false;
}

void TCustomFFmpeg::Stop(bool AWaitForStop) {
    bool worker;
    bool self;
    {
        std::lock_guard lock(FStateLock);
        FBroken = true;
        FPauseRequested = false; // a parked worker must be able to end
        worker = FWorkerRunning;
        self = FWorkerID == std::this_thread::get_id();
        FStateCond.notify_all();
    }
    if (!worker) {
        // Abandons a blocking open running on the owner's thread.
        FLastRead = 0;
        return;
    }
    if (!AWaitForStop || self)
        return;
    auto workerLeft = [this] {
        std::lock_guard lock(FStateLock);
        return !FWorkerRunning;
    };
    if (PlatformBridge().IsMainThread()) {
        WaitProcessingMessages(workerLeft);
    } else {
        std::unique_lock lock(FStateLock);
        FStateCond.wait(lock, [&] { return !FWorkerRunning; });
    }
}

void TCustomFFmpeg::StopOrTerminate(bool AWaitForStop) {
    {
        std::lock_guard lock(FStateLock);
        if (!FConverting) {
            if (FTerminated)
                return;
            if (!FTerminating) {
                FTerminating = true;
                FTermThread = std::thread([this] {
                    try {
                        DoTerminate();
                    } catch (const std::exception& e) {
                        GetLogger().Log(this, llQuiet, e.what());
                    }
                    std::lock_guard lock(FStateLock);
                    FTerminating = false;
                    FStateCond.notify_all();
                });
            }
        }
    }
    if (Converting()) {
        Stop(AWaitForStop);
        return;
    }
    if (!AWaitForStop)
        return;
    auto terminated = [this] {
        std::lock_guard lock(FStateLock);
        return !FTerminating;
    };
    if (PlatformBridge().IsMainThread()) {
        WaitProcessingMessages(terminated);
    } else {
        std::unique_lock lock(FStateLock);
        FStateCond.wait(lock, [&] { return !FTerminating; });
    }
}

void TCustomFFmpeg::Pause() {
    std::lock_guard lock(FStateLock);
    if (FWorkerRunning)
        FPauseRequested = true;
}

void TCustomFFmpeg::Resume() {
    std::lock_guard lock(FStateLock);
    FPauseRequested = false;
    FStateCond.notify_all();
}

bool TCustomFFmpeg::CheckPaused() {
    std::unique_lock lock(FStateLock);
    FStateCond.wait(lock, [&] { return !FPauseRequested || FBroken; });
    return !FBroken;
}

bool TCustomFFmpeg::Converting() const {
    std::lock_guard lock(FStateLock);
    return FConverting;
}

bool TCustomFFmpeg::Terminated() const {
    std::lock_guard lock(FStateLock);
    return FTerminated;
}

bool TCustomFFmpeg::Finished() const {
    std::lock_guard lock(FStateLock);
    return FFinished;
}

bool TCustomFFmpeg::FatalException() const {
    std::lock_guard lock(FStateLock);
    return FFatalException;
}

std::string TCustomFFmpeg::FatalMessage() const {
    std::lock_guard lock(FStateLock);
    return FFatalMessage;
}

bool TCustomFFmpeg::Paused() const {
    std::lock_guard lock(FStateLock);
    return FPauseRequested;
}

void TCustomFFmpeg::SetPreviewHook(bool AValue) {
    std::lock_guard lock(PostHookLock());
    FPreviewHook = AValue;
    FHookChanged = true;
}

void TCustomFFmpeg::SetPreviewBitmapHook(bool AValue) {
    std::lock_guard lock(PostHookLock());
    FPreviewBitmapHook = AValue;
    FHookChanged = true;
}

void TCustomFFmpeg::SetVideoHookBitsPixel(int AValue) {
    FInputVideoHook.SetBitsPixel(AValue);
    FOutputVideoHook.Converter.SetBitsPixel(AValue);
}

bool TCustomFFmpeg::PreviewHook() const {
    std::lock_guard lock(PostHookLock());
    return FPreviewHook;
}

bool TCustomFFmpeg::PreviewBitmapHook() const {
    std::lock_guard lock(PostHookLock());
    return FPreviewBitmapHook;
}

} // namespace vx
