#include "encode/FFEncode.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <thread>

#include "base/Bitmap.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/LocalTime.h"
#include "base/PlatformBridge.h"
#include "base/TextFormat.h"

namespace vx {

namespace {

bool SameText(const std::string& A, const char* B) {
    return LowerCase(A) == LowerCase(B);
}

// A whole decimal 64-bit number, else AFallback.
int64_t ReadInt64(const std::string& AText, int64_t AFallback) {
    if (AText.empty() || std::isspace(static_cast<unsigned char>(AText.front())))
        return AFallback;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(AText.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return AFallback;
    return v;
}

// Microseconds as the seconds text that time options take ("-1.500000").
std::string SecondsText(int64_t AMicroseconds) {
    const bool negative = AMicroseconds < 0;
    const uint64_t us = negative ? uint64_t(0) - uint64_t(AMicroseconds) : uint64_t(AMicroseconds);
    char text[40];
    std::snprintf(text, sizeof(text), "%s%llu.%06llu", negative ? "-" : "",
                  (unsigned long long)(us / 1000000), (unsigned long long)(us % 1000000));
    return text;
}

std::string FloatText(float AValue) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g", double(AValue));
    return text;
}

std::string StreamName(const void* AStream, const std::string& APrivateData) {
    return "stream:" + std::to_string(reinterpret_cast<uintptr_t>(AStream)) + ":" + APrivateData;
}

// The value of an entry of the codec default list ("" when absent).
std::string DefaultValue(const TOptionLines& ADefaults, const std::string& AName) {
    for (const auto& [name, value] : ADefaults)
        if (name == AName)
            return value;
    return {};
}

} // namespace

// ---- Option text ----

TOptionLines ParseOptionText(const std::string& AText) {
    size_t first = 0;
    size_t last = AText.size();
    while (first < last && static_cast<unsigned char>(AText[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(AText[last - 1]) <= ' ')
        --last;
    std::string text;
    text.reserve(last - first);
    for (size_t i = first; i < last; ++i) {
        if (AText[i] == '\r') {
            if (i + 1 < last && AText[i + 1] == '\n')
                ++i;
            text += '\n';
        } else if (AText.compare(i, 6, "<CRLF>") == 0 && i + 6 <= last) {
            text += '\n';
            i += 5;
        } else {
            text += AText[i];
        }
    }
    TOptionLines lines;
    if (text.empty())
        return lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        const std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            lines.emplace_back(line, std::string());
        else
            lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

// ---- TFFmpeg ----

TFFmpeg::TFFmpeg(int AMaxFiles, TCustomEncoder* AParent)
    : TCustomFFmpeg(AMaxFiles), FParent(AParent), FInputOptions(AMaxFiles), FOutputOptions(AMaxFiles) {}

const TInputOptions* TFFmpeg::InputOptions(int AIndex) const {
    return AIndex >= 0 && AIndex < MaxFiles() ? FInputOptions[AIndex].get() : nullptr;
}

const TOutputOptions* TFFmpeg::OutputOptions(int AIndex) const {
    return AIndex >= 0 && AIndex < MaxFiles() ? FOutputOptions[AIndex].get() : nullptr;
}

TInputOptions& TFFmpeg::InputOptionsSlot(int AIndex) {
    auto& slot = FInputOptions.at(AIndex);
    if (!slot)
        slot = std::make_unique<TInputOptions>();
    return *slot;
}

TOutputOptions& TFFmpeg::OutputOptionsSlot(int AIndex) {
    auto& slot = FOutputOptions.at(AIndex);
    if (!slot)
        slot = std::make_unique<TOutputOptions>();
    return *slot;
}

void TFFmpeg::ResetInputOptions(int AIndex) {
    if (AIndex >= 0 && AIndex < MaxFiles() && FInputOptions[AIndex])
        FInputOptions[AIndex]->Reset();
}

void TFFmpeg::ResetOutputOptions(int AIndex) {
    if (AIndex >= 0 && AIndex < MaxFiles() && FOutputOptions[AIndex])
        FOutputOptions[AIndex]->Reset();
}

// ---- TFFmpegList ----

void TFFmpegList::CheckIndex(int AIndex) const {
    if (AIndex < 0 || AIndex >= static_cast<int>(FItems.size()))
        throw std::out_of_range("List index out of bounds (" + std::to_string(AIndex) + ")");
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> ATask) {
    std::lock_guard lock(FLock);
    FItems.push_back(std::move(ATask));
    return static_cast<int>(FItems.size()) - 1;
}

void TFFmpegList::Clear() {
    std::vector<std::unique_ptr<TFFmpeg>> gone;
    {
        std::lock_guard lock(FLock);
        gone.swap(FItems);
    }
    gone.clear(); // each task stops and waits for its worker
}

void TFFmpegList::Delete(int AIndex) {
    std::unique_ptr<TFFmpeg> gone;
    {
        std::lock_guard lock(FLock);
        CheckIndex(AIndex);
        gone = std::move(FItems[AIndex]);
        FItems.erase(FItems.begin() + AIndex);
    }
}

void TFFmpegList::Exchange(int AIndex1, int AIndex2) {
    std::lock_guard lock(FLock);
    CheckIndex(AIndex1);
    CheckIndex(AIndex2);
    std::swap(FItems[AIndex1], FItems[AIndex2]);
}

TFFmpeg& TFFmpegList::Item(int AIndex) const {
    std::lock_guard lock(FLock);
    CheckIndex(AIndex);
    return *FItems[AIndex];
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* ATask) const {
    std::lock_guard lock(FLock);
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == ATask)
            return static_cast<int>(i);
    return -1;
}

int TFFmpegList::Count() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FItems.size());
}

std::vector<TFFmpeg*> TFFmpegList::Snapshot() const {
    std::lock_guard lock(FLock);
    std::vector<TFFmpeg*> tasks;
    for (const auto& t : FItems)
        tasks.push_back(t.get());
    return tasks;
}

void TFFmpegList::PauseAll() {
    for (TFFmpeg* t : Snapshot())
        t->Pause();
}

void TFFmpegList::ResumeAll() {
    for (TFFmpeg* t : Snapshot())
        t->Resume();
}

void TFFmpegList::StopAll(bool AWaitForStop) {
    for (TFFmpeg* t : Snapshot())
        t->StopOrTerminate(AWaitForStop);
}

void TFFmpegList::SetPreviewAll(bool AValue) {
    for (TFFmpeg* t : Snapshot())
        t->SetPreviewHook(AValue);
}

void TFFmpegList::SetPreviewBitmapAll(bool AValue) {
    for (TFFmpeg* t : Snapshot())
        t->SetPreviewBitmapHook(AValue);
}

// ---- Termination delivery ----

// Delivers the encoder's termination events from a thread of its own, strictly in the
// order they were raised, so the final event (-1) always comes after every task's event.
// A delivery to the main thread blocks this thread until the handler has run.
class TCustomEncoder::TDoTerminateThread {
public:
    explicit TDoTerminateThread(TCustomEncoder* AOwner) : FOwner(AOwner), FThread([this] { Execute(); }) {}

    // Pending deliveries are dropped; waits for the thread, keeping main-thread calls
    // flowing when called on the main thread.
    ~TDoTerminateThread() {
        {
            std::lock_guard lock(FLock);
            ++FGeneration;
            FQuit = true;
        }
        FCond.notify_all();
        if (PlatformBridge().IsMainThread())
            WaitProcessingMessages([this] { return FExited.load(); });
        FThread.join();
    }

    void Queue(const TTerminateInfo& AInfo, TTerminateEvent AHandler, bool AInMainThread) {
        {
            std::lock_guard lock(FLock);
            FQueue.push_back({AInfo, std::move(AHandler), AInMainThread, FGeneration});
        }
        FCond.notify_all();
    }

    // Deliveries queued so far will not reach their handler.
    void Discard() {
        std::lock_guard lock(FLock);
        ++FGeneration;
        FQueue.clear();
    }

    bool Idle() const {
        std::lock_guard lock(FLock);
        return FQueue.empty() && !FBusy;
    }

private:
    struct TItem {
        TTerminateInfo Info;
        TTerminateEvent Handler;
        bool InMainThread;
        uint64_t Generation;
    };

    bool Current(const TItem& AItem) const {
        std::lock_guard lock(FLock);
        return AItem.Generation == FGeneration;
    }

    void Execute() {
        for (;;) {
            TItem item;
            {
                std::unique_lock lock(FLock);
                FCond.wait(lock, [&] { return FQuit || !FQueue.empty(); });
                if (FQuit) {
                    FQueue.clear();
                    break;
                }
                item = std::move(FQueue.front());
                FQueue.pop_front();
                FBusy = true;
            }
            auto call = [&] {
                // Checked where the handler runs: ClearTasks on the main thread and this
                // check cannot interleave there.
                if (item.Handler && Current(item))
                    item.Handler(FOwner, item.Info);
            };
            try {
                if (item.InMainThread)
                    PlatformBridge().CallInMainThread([&] {
                        ++FOwner->FMainHandlerDepth;
                        try {
                            call();
                        } catch (...) {
                            --FOwner->FMainHandlerDepth;
                            throw;
                        }
                        --FOwner->FMainHandlerDepth;
                    });
                else
                    call();
            } catch (const std::exception& e) {
                GetLogger().LogF(FOwner, llError, "Error occurs Terminate event: %s", e.what());
            }
            {
                std::lock_guard lock(FLock);
                FBusy = false;
            }
            FCond.notify_all();
        }
        FExited = true;
    }

    TCustomEncoder* FOwner;
    mutable std::mutex FLock;
    std::condition_variable FCond;
    std::deque<TItem> FQueue; // FLock
    bool FBusy = false;       // FLock
    bool FQuit = false;       // FLock
    uint64_t FGeneration = 0; // FLock
    std::atomic<bool> FExited{false};
    std::thread FThread;
};

// ---- TCustomEncoder ----

TCustomEncoder::TCustomEncoder() = default;

TCustomEncoder::~TCustomEncoder() {
    // No event may reach a half-destroyed owner. The routers check the flag; the handlers
    // themselves are cleared once no worker can read them any more.
    FDestroying = true;
    if (FTerminateThread)
        FTerminateThread->Discard();
    FPendingTasks = 0;
    FFFmpegList.Clear();
    FTerminateThread.reset();
    OnAudioHook = nullptr;
    OnBeforeFindStreamInfo = nullptr;
    OnVideoInputHook = nullptr;
    OnVideoOutputHook = nullptr;
    OnPreviewBitmap = nullptr;
    OnProgress = nullptr;
    OnTerminate = nullptr;
    OnFrameInputHook = nullptr;
    OnFrameOutputHook = nullptr;
}

bool TCustomEncoder::AVLibLoaded() const {
    return FFLoader().Loaded(EncoderLibraries);
}

bool TCustomEncoder::LoadAVLib(const std::string& APath) {
    FFLoader().SetLibraryPath(APath);
    const bool ok = FFLoader().Load(EncoderLibraries);
    if (!ok)
        FLastErrMsg = FFLoader().LastErrMsg();
    return ok;
}

void TCustomEncoder::UnloadAVLib() {
    FFLoader().Unload(EncoderLibraries);
}

void TCustomEncoder::CheckNotWorking(const char* AName) const {
    if (FWorking)
        throw std::logic_error(std::string("Cannot ") + AName + " while working.");
}

void TCustomEncoder::CheckLibraries() const {
    // A task object sets its option defaults through the libraries.
    static const std::pair<TLibrary, const char*> Needed[] = {{avCodec, "LibAVCodec not loaded."},
                                                              {avFormat, "LibAVFormat not loaded."},
                                                              {avUtil, "LibAVUtil not loaded."},
                                                              {swScale, "LibSwScale not loaded."}};
    for (const auto& [lib, message] : Needed)
        if (!FFLoader().Loaded(lib))
            throw std::logic_error(message);
}

std::unique_ptr<TFFmpeg> TCustomEncoder::CreateTask(int AMaxFiles) {
    return std::make_unique<TFFmpeg>(AMaxFiles, this);
}

void TCustomEncoder::SetPreview(bool AValue) {
    FFFmpegList.SetPreviewAll(AValue);
    FPreview = AValue;
}

void TCustomEncoder::SetPreviewBitmap(bool AValue) {
    FFFmpegList.SetPreviewBitmapAll(AValue);
    FPreviewBitmap = AValue;
}

// ---- Building ----

void TCustomEncoder::ApplyExtOptions(TFFmpeg& ATask, const std::string& AExtOptions, bool AInput) {
    for (const auto& [name, value] : ParseOptionText(AExtOptions)) {
        const std::string lname = LowerCase(name);
        // Extra streams and filter chains are applied around the output's creation.
        if (lname == "newvideo" || lname == "newaudio" || lname == "newsubtitle" || lname == "newdata" ||
            lname == "vfilters" || lname == "vf")
            continue;
        // For an output these come from the codec default list.
        if (!AInput && (lname == "acodec" || lname == "vcodec" || lname == "scodec" || lname == "dcodec" ||
                        lname == "s"))
            continue;
        ATask.SetExtOption(lname, value);
    }
}

void TCustomEncoder::OpenInput(TFFmpeg& ATask, int AIndex, const TPathFileName& AFileName,
                               PInputOptions AOptions) {
    if (AOptions) {
        if (AOptions->FileName.empty())
            AOptions->FileName = AFileName;
        ATask.InputOptionsSlot(AIndex) = *AOptions;
        ApplyExtOptions(ATask, AOptions->ExtOptions, true);
        if (!AOptions->ForceFormat.empty())
            ATask.SetExtOption("f", AOptions->ForceFormat);
        if (AOptions->TimeStart != NoPTSValue)
            ATask.SetExtOption("ss", SecondsText(AOptions->TimeStart));
        if (AOptions->ProgramID >= 0)
            ATask.SetExtOption("programid", std::to_string(AOptions->ProgramID));
    } else {
        ATask.ResetInputOptions(AIndex);
    }
    ATask.SetReadTimeout(FReadTimeout);
    ATask.open_input_file(AFileName);
}

void TCustomEncoder::InstallRunCallbacks(TFFmpeg& ATask) {
    ATask.OnProgress = [this](TCustomFFmpeg* s, int32_t fi, int32_t fn, int32_t fps, float q, float br,
                              int64_t size, int64_t cur,
                              int64_t total) { HandleProgress(s, fi, fn, fps, q, br, size, cur, total); };
    ATask.OnTerminate = [this](TCustomFFmpeg* s) { HandleTerminate(s); };
}

int TCustomEncoder::AddTask(const TPathFileName& AFileName, PInputOptions AOptions) {
    CheckNotWorking("AddTask");
    CheckLibraries();
    // A maximum file count outside 1..512 is the caller's error: it is not caught here.
    std::unique_ptr<TFFmpeg> task = CreateTask(FCustomMaxFiles);
    task->SetHaltOnInvalidOption(FHaltOnInvalidOption);
    try {
        task->SetVerbose(FVerbose);
        task->SetPreviewHook(FPreview);
        task->SetPreviewBitmapHook(FPreviewBitmap);
        task->OnBeforeFindStreamInfo = [this](TCustomFFmpeg* s, AVFormatContext* c) {
            HandleBeforeFindStreamInfo(s, c);
        };
        task->OnPreviewBitmap = [this](TCustomFFmpeg* s, TBitmap* b, int32_t fn, int64_t pts) {
            HandlePreviewBitmap(s, b, fn, pts);
        };
        OpenInput(*task, 0, AFileName, AOptions);
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        return -1;
    }
    InstallRunCallbacks(*task);
    return FFFmpegList.Add(std::move(task));
}

int TCustomEncoder::AddTask(const TPathFileName& AFileName, const std::string& AExtOptions) {
    TInputOptions options;
    for (const auto& [name, value] : ParseOptionText(AExtOptions)) {
        if (SameText(name, "TimeStart"))
            options.TimeStart = ReadInt64(value, NoPTSValue);
        else
            options.ExtOptions += name + "=" + value + "\n";
    }
    return AddTask(AFileName, &options);
}

int TCustomEncoder::AddTask(const void* AStream, const std::string& APrivateData, PInputOptions AOptions) {
    return AddTask(UTF8ToFileName(StreamName(AStream, APrivateData)), AOptions);
}

bool TCustomEncoder::AddInputFile(int ATaskIndex, const TPathFileName& AFileName, PInputOptions AOptions) {
    CheckNotWorking("AddInputFile");
    TFFmpeg& task = FFFmpegList.Item(ATaskIndex);
    if (task.nb_input_files() >= task.MaxFiles()) {
        FLastErrMsg = "max input files " + std::to_string(task.MaxFiles()) + " reached";
        return false;
    }
    const int index = task.nb_input_files();
    try {
        task.SetHaltOnInvalidOption(FHaltOnInvalidOption);
        OpenInput(task, index, AFileName, AOptions);
        return true;
    } catch (const std::exception& e) {
        task.ResetInputOptions(index);
        FLastErrMsg = e.what();
        return false;
    }
}

bool TCustomEncoder::AddInputFile(int ATaskIndex, const TPathFileName& AFileName,
                                  const std::string& AExtOptions) {
    TInputOptions options;
    for (const auto& [name, value] : ParseOptionText(AExtOptions)) {
        if (SameText(name, "TimeStart"))
            options.TimeStart = ReadInt64(value, NoPTSValue);
        else
            options.ExtOptions += name + "=" + value + "\n";
    }
    return AddInputFile(ATaskIndex, AFileName, &options);
}

void TCustomEncoder::ApplyOutputRecord(TFFmpeg& ATask, TOutputOptions& O, TOptionLines& ADefaults) {
    // The codec default list: the record's choices, then the text's codec-like lines in
    // text order; the first non-empty value of a name becomes its default.
    ADefaults = {{"def_acodec", O.AudioCodec}, {"def_vcodec", O.VideoCodec}, {"def_scodec", O.SubtitleCodec},
                 {"def_dcodec", O.DataCodec},  {"def_fpre", O.FilePreset},   {"def_s", O.FrameSize},
                 {"def_vf", O.VideoFilters}};
    for (const auto& [name, value] : ParseOptionText(O.ExtOptions)) {
        std::string lname = LowerCase(name);
        if (value.empty() || !(lname == "acodec" || lname == "vcodec" || lname == "scodec" ||
                               lname == "dcodec" || lname == "s" || lname == "vfilters" || lname == "vf"))
            continue;
        if (lname == "vfilters")
            lname = "vf";
        for (auto& [defName, defValue] : ADefaults)
            if (defName == "def_" + lname && defValue.empty())
                defValue = value;
        ADefaults.emplace_back(lname, value);
    }

    if (O.TargetType != ttIgnore) {
        const char* kind = O.TargetType == ttVCD ? "vcd" : O.TargetType == ttSVCD ? "svcd" : "dvd";
        const char* norm = O.NormType == ntPAL ? "pal" : O.NormType == ntNTSC ? "ntsc" : "auto";
        ATask.apply_target(kind, norm, O.NormDefault == ntPAL ? "pal" : "ntsc");
    }

    for (const char* name : {"acodec", "vcodec", "scodec", "dcodec", "fpre"}) {
        const std::string value = DefaultValue(ADefaults, std::string("def_") + name);
        if (!value.empty())
            ATask.SetExtOption(name, value);
    }

    ApplyExtOptions(ATask, O.ExtOptions, false);

    auto set = [&](const char* AName, const std::string& AValue) { ATask.SetExtOption(AName, AValue); };
    const bool noTarget = O.TargetType == ttIgnore;
    if (O.KeepExisting)
        set("keep_existing", "1");
    if (!O.ForceFormat.empty())
        set("f", O.ForceFormat);
    if (O.PacketSize > 0)
        set("packetsize", std::to_string(O.PacketSize));
    if (O.MuxRate > 0)
        set("muxrate", std::to_string(O.MuxRate));
    if (O.MuxDelay > 0)
        set("muxdelay", FloatText(O.MuxDelay));
    if (O.MuxPreload > 0)
        set("muxpreload", FloatText(O.MuxPreload));
    if (O.DisableAudio)
        set("an", "1");
    if (O.AudioVolume >= 0)
        set("vol", std::to_string(O.AudioVolume));
    if (O.AudioChannels > 0)
        set("ac", std::to_string(O.AudioChannels));
    if (O.AudioSampleRate > 0)
        set("ar", std::to_string(O.AudioSampleRate));
    // A disc target fixes its own bit rates.
    if (O.AudioBitrate > 0 && noTarget)
        set("ab", std::to_string(O.AudioBitrate));
    if (O.AudioBitRateTolerance > 0)
        set("abt", std::to_string(O.AudioBitRateTolerance));
    set("alang", O.AudioLanguage);
    set("async", std::to_string(O.AudioSyncMethod));
    if (!O.AudioTag.empty())
        set("atag", O.AudioTag);
    if (O.DisableVideo)
        set("vn", "1");
    if (!O.FrameRate.empty())
        set("r", O.FrameRate);
    if (!O.FrameAspectRatio.empty())
        set("aspect", O.FrameAspectRatio);
    if (O.GroupPictureSize > 0)
        set("g", std::to_string(O.GroupPictureSize));
    if (O.VideoBitrate > 0 && noTarget)
        set("vb", std::to_string(O.VideoBitrate));
    if (O.VideoMaxRate > 0)
        set("maxrate", std::to_string(O.VideoMaxRate));
    if (O.VideoMinRate > 0)
        set("minrate", std::to_string(O.VideoMinRate));
    if (O.VideoBitRateTolerance > 0)
        set("bt", std::to_string(O.VideoBitRateTolerance));
    if (O.VideoBufSize > 0)
        set("bufsize", std::to_string(O.VideoBufSize));
    set("vsync", std::to_string(O.VideoSyncMethod));
    if (!O.VideoTag.empty())
        set("vtag", O.VideoTag);
    set("vlang", O.VideoLanguage);
    if (O.DisableSubtitle)
        set("sn", "1");
    set("slang", O.SubtitleLanguage);
    set("isync", O.InputSync ? "1" : "0");
    if (O.CopyTimestamp)
        set("copyts", "1");
    if (O.TimeStart != NoPTSValue)
        set("ss", SecondsText(O.TimeStart));
    if (O.TimeLength != NoPTSValue)
        set("t", SecondsText(O.TimeLength)); // also the duration that progress measures against
    // Seconds since 1970, the container's creation time: set as the number it is (the
    // "timestamp" option reads a date text, which a count of seconds is not).
    if (O.Info.TimeStamp >= 0)
        ATask.Frecording_timestamp =
            O.Info.TimeStamp == 0 ? int64_t(std::time(nullptr)) : LocalDateTimeToUnix(O.Info.TimeStamp);
    if (O.Info.Year > 0)
        set("metadata", "year=" + std::to_string(O.Info.Year));
    if (O.Info.Track > 0)
        set("metadata", "track=" + std::to_string(O.Info.Track));
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &O.Info.Title},     {"author", &O.Info.Author}, {"copyright", &O.Info.Copyright},
        {"comment", &O.Info.Comment}, {"album", &O.Info.Album},   {"genre", &O.Info.Genre}};
    for (const auto& [key, value] : texts)
        if (!value->empty())
            set("metadata", std::string(key) + "=" + *value);

    for (const char* name : {"s", "vf"}) {
        const std::string value = DefaultValue(ADefaults, std::string("def_") + name);
        if (!value.empty())
            set(name, value);
    }

    if (O.AudioHook)
        ATask.OnAudioHook = [this](TCustomFFmpeg* s, int64_t pts, void* samples, int32_t size, int32_t rate,
                                   int32_t channels, int32_t fmt) {
            HandleAudioHook(s, pts, samples, size, rate, channels, fmt);
        };
    ATask.SetVideoHookBitsPixel(O.VideoHookBitsPixel);
    if (O.VideoInputHook)
        ATask.OnVideoInputHook = [this](TCustomFFmpeg* s, TBitmap* b, int32_t fn, int64_t pts, bool& u,
                                        bool& st) { HandleInputVideoHook(s, b, fn, pts, u, st); };
    if (O.VideoOutputHook)
        ATask.OnVideoOutputHook = [this](TCustomFFmpeg* s, TBitmap* b, int32_t fn, int64_t pts, bool& u,
                                         bool& st) { HandleOutputVideoHook(s, b, fn, pts, u, st); };
    if (O.FrameInputHook)
        ATask.OnFrameInputHook = [this](TCustomFFmpeg* s, TPicture* p, int32_t pf, int32_t fn, int32_t w,
                                        int32_t h,
                                        int64_t pts) { HandleInputFrameHook(s, p, pf, fn, w, h, pts); };
    if (O.FrameOutputHook)
        ATask.OnFrameOutputHook = [this](TCustomFFmpeg* s, TPicture* p, int32_t pf, int32_t fn, int32_t w,
                                         int32_t h,
                                         int64_t pts) { HandleOutputFrameHook(s, p, pf, fn, w, h, pts); };
}

void TCustomEncoder::AddExtraStreams(TFFmpeg& ATask, const TOutputOptions& AOptions,
                                     TOptionLines& ADefaults) {
    // Each setting of a new stream takes the earliest unused entry of its name, else the
    // name's default.
    auto take = [&](const std::string& AName) {
        for (auto it = ADefaults.begin(); it != ADefaults.end(); ++it)
            if (it->first == AName) {
                std::string value = it->second;
                ADefaults.erase(it);
                return value;
            }
        return DefaultValue(ADefaults, "def_" + AName);
    };
    for (const auto& [name, value] : ParseOptionText(AOptions.ExtOptions)) {
        const std::string lname = LowerCase(name);
        std::vector<const char*> settings;
        if (lname == "newaudio")
            settings = {"acodec"};
        else if (lname == "newvideo")
            settings = {"vcodec", "s", "vf"};
        else if (lname == "newsubtitle")
            settings = {"scodec"};
        else if (lname == "newdata")
            settings = {"dcodec"};
        else
            continue;
        for (const char* setting : settings)
            ATask.SetExtOption(setting, take(setting));
        ATask.SetExtOption(lname, value);
    }
}

TPathFileName TCustomEncoder::OutputFileNameUsed(int ATaskIndex, int AOutputIndex) const {
    const std::vector<std::string> names = FFFmpegList.Item(ATaskIndex).PublishedOutputs();
    if (AOutputIndex < 0 || AOutputIndex >= static_cast<int>(names.size()))
        return {};
    return UTF8ToFileName(names[AOutputIndex]);
}

bool TCustomEncoder::SetOutputFile(int ATaskIndex, const TPathFileName& AFileName, POutputOptions AOptions) {
    CheckNotWorking("SetOutputFile");
    TFFmpeg& task = FFFmpegList.Item(ATaskIndex);
    if (task.nb_output_files() >= task.MaxFiles()) {
        FLastErrMsg = "max output files " + std::to_string(task.MaxFiles()) + " reached";
        return false;
    }
    task.SetHaltOnInvalidOption(FHaltOnInvalidOption);
    const int index = task.nb_output_files();
    try {
        bool join = false;
        TOptionLines defaults;
        if (!AOptions) {
            task.ResetOutputOptions(index);
        } else {
            if (AOptions->FileName.empty())
                AOptions->FileName = AFileName;
            task.OutputOptionsSlot(index) = *AOptions;
            ApplyOutputRecord(task, *AOptions, defaults);
            join = AOptions->Join;
        }
        task.SetReadTimeout(FReadTimeout);
        if (task.open_output_file(AFileName, join) < 0) {
            FLastErrMsg = task.LastErrMsg();
            task.ResetOutputOptions(index);
            return false;
        }
        if (AOptions) {
            AddExtraStreams(task, *AOptions, defaults);
            if (join)
                task.join_setup();
        }
        return true;
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        if (task.nb_output_files() == index)
            task.ResetOutputOptions(index);
        return false;
    }
}

bool TCustomEncoder::SetOutputFile(int ATaskIndex, const TPathFileName& AFileName,
                                   const std::string& AExtOptions) {
    TOutputOptions options;
    for (const auto& [name, value] : ParseOptionText(AExtOptions)) {
        const bool flag = value != "0";
        if (SameText(name, "AudioHook"))
            options.AudioHook = flag;
        else if (SameText(name, "VideoInputHook"))
            options.VideoInputHook = flag;
        else if (SameText(name, "VideoOutputHook"))
            options.VideoOutputHook = flag;
        else if (SameText(name, "FrameInputHook"))
            options.FrameInputHook = flag;
        else if (SameText(name, "FrameOutputHook"))
            options.FrameOutputHook = flag;
        else if (SameText(name, "Join"))
            options.Join = flag;
        else if (SameText(name, "VideoHookBitsPixel"))
            options.VideoHookBitsPixel = static_cast<int32_t>(ReadInt64(value, 24));
        else if (SameText(name, "TimeStart"))
            options.TimeStart = ReadInt64(value, NoPTSValue);
        else if (SameText(name, "TimeLength"))
            options.TimeLength = ReadInt64(value, NoPTSValue);
        else
            options.ExtOptions += name + "=" + value + "\n";
    }
    return SetOutputFile(ATaskIndex, AFileName, &options);
}

bool TCustomEncoder::SetOutputStream(int ATaskIndex, const void* AStream, const std::string& APrivateData,
                                     POutputOptions AOptions) {
    return SetOutputFile(ATaskIndex, UTF8ToFileName(StreamName(AStream, APrivateData)), AOptions);
}

void TCustomEncoder::Exchange(int ATaskIndex1, int ATaskIndex2) {
    CheckNotWorking("Exchange");
    FFFmpegList.Exchange(ATaskIndex1, ATaskIndex2);
}

void TCustomEncoder::RemoveTask(int ATaskIndex) {
    CheckNotWorking("RemoveTask");
    FFFmpegList.Delete(ATaskIndex);
}

void TCustomEncoder::ClearTasks() {
    // Inside a run in this thread the tasks are still on the call stack.
    if ((FWorking && !FTerminated) || FInSyncRun)
        throw std::logic_error("Cannot ClearTasks while working.");
    // Events of the old run still on their way would land in the next one.
    if (FTerminateThread)
        FTerminateThread->Discard();
    FFFmpegList.Clear();
    FLastErrMsg.clear();
    {
        std::lock_guard lock(FTerminateLock);
        FCompleteTasks = 0;
        FCurrentTask = -1;
        FRunFinished = false;
    }
    FPendingTasks = 0;
    FTerminated = false;
    FThreadMode = false;
    FWorking = false;
    FPaused = false;
}

int TCustomEncoder::GetTaskIndex(const TCustomFFmpeg* AFFmpeg) const {
    return FFFmpegList.IndexOf(AFFmpeg);
}

// ---- Running ----

void TCustomEncoder::Start(int AThreadCount) {
    CheckNotWorking("StartTask");
    const int count = FFFmpegList.Count();
    {
        std::lock_guard lock(FTerminateLock);
        FCompleteTasks = 0;
        FCurrentTask = 0;
        FRunFinished = false;
    }
    FPendingTasks = count;
    FThreadMode = AThreadCount > 0;
    FWorking = true;
    FPaused = false;
    if (count == 0) {
        // Nothing to run: the run has ended at once (without events), so that the
        // encoder can be cleared and used again.
        FTerminated = true;
        return;
    }
    FTerminated = false;
    if (FThreadMode) {
        // Made here, before any worker exists, so that workers only ever use it.
        if (!FTerminateThread)
            FTerminateThread = std::make_unique<TDoTerminateThread>(this);
        while (FPendingTasks > 0 && AThreadCount > 0) {
            StartNextTask();
            --AThreadCount;
        }
        return;
    }
    FInSyncRun = true;
    try {
        while (FPendingTasks > 0)
            StartNextTask();
    } catch (...) {
        FInSyncRun = false;
        throw;
    }
    FInSyncRun = false;
}

void TCustomEncoder::StartNextTask() {
    TFFmpeg* task;
    {
        std::lock_guard lock(FTerminateLock);
        task = ClaimNextTaskLocked();
    }
    if (task)
        StartTask(*task);
}

TFFmpeg* TCustomEncoder::ClaimNextTaskLocked() {
    int pending = FPendingTasks;
    do {
        if (pending <= 0)
            return nullptr;
    } while (!FPendingTasks.compare_exchange_weak(pending, pending - 1));
    // Counted before the start: a task that ends inside StartConvert starts the next.
    return &FFFmpegList.Item(FCurrentTask++);
}

void TCustomEncoder::StartTask(TFFmpeg& ATask) {
    ATask.SetReportInterval(int64_t(FProgressInterval) * 1000);
    ATask.StartConvert(FThreadMode, FThreadPriority);
}

void TCustomEncoder::HandleTerminate(TCustomFFmpeg* Sender) {
    // The next task starts after the lock is released: one that ends inside its start
    // comes back here.
    TFFmpeg* next = nullptr;
    {
        std::lock_guard lock(FTerminateLock);
        if (!FDestroying && OnTerminate) {
            FTerminateInfo.TaskIndex = GetTaskIndex(Sender);
            FTerminateInfo.Finished = Sender->Finished();
            FTerminateInfo.Exception = Sender->FatalException();
            FTerminateInfo.ExceptionMsg = Sender->FatalMessage();
            if (FThreadMode || !FWorking)
                QueueTermination(FTerminateInfo);
            else
                Deliver(
                    "Terminate", [&] { OnTerminate(this, FTerminateInfo); }, false);
        }
        ++FCompleteTasks;
        if (FPendingTasks > 0) {
            if (FThreadMode)
                next = ClaimNextTaskLocked();
        } else if (FCompleteTasks >= FFFmpegList.Count()) {
            FinishRunLocked();
        }
    }
    if (next)
        StartTask(*next);
}

void TCustomEncoder::FinishRunLocked() {
    if (FRunFinished)
        return;
    FRunFinished = true;
    FTerminated = true;
    if (FDestroying || !OnTerminate)
        return;
    FTerminateInfo = TTerminateInfo{-1, true, false, {}};
    if (FThreadMode || !FWorking)
        QueueTermination(FTerminateInfo);
    else
        Deliver(
            "Terminate", [&] { OnTerminate(this, FTerminateInfo); }, false);
}

void TCustomEncoder::QueueTermination(const TTerminateInfo& AInfo) {
    if (!FTerminateThread) // a termination outside a threaded run, on the owner's thread
        FTerminateThread = std::make_unique<TDoTerminateThread>(this);
    FTerminateThread->Queue(AInfo, OnTerminate, FTriggerEventInMainThread);
}

bool TCustomEncoder::DeliveriesIdle() const {
    return !FTerminateThread || FTerminateThread->Idle();
}

void TCustomEncoder::Pause() {
    if (!FWorking || FPaused)
        return;
    FFFmpegList.PauseAll();
    FPaused = true;
}

void TCustomEncoder::Resume() {
    if (!FWorking || !FPaused)
        return;
    FFFmpegList.ResumeAll();
    FPaused = false;
}

void TCustomEncoder::Stop(bool AWaitForStop) {
    FPendingTasks = 0;
    if (!FWorking)
        return;
    // Inside one of this encoder's handlers on the main thread a wait cannot end: the
    // worker or delivery that raised it is blocked until the handler returns.
    const bool mainThread = PlatformBridge().IsMainThread();
    const bool wait = AWaitForStop && !(mainThread && FMainHandlerDepth > 0);
    FFFmpegList.StopAll(wait);
    if (wait && mainThread)
        WaitProcessingMessages([this] { return DeliveriesIdle(); });
}

// ---- Event routing ----

void TCustomEncoder::Deliver(const char* AEventName, const std::function<void()>& AHandler,
                             bool AInMainThread) {
    auto guarded = [&] {
        try {
            AHandler();
        } catch (const std::exception& e) {
            GetLogger().LogF(this, llError, "Error occurs %s event: %s", AEventName, e.what());
        }
    };
    if (!PlatformBridge().IsMainThread() && !AInMainThread) {
        guarded();
        return;
    }
    PlatformBridge().CallInMainThread([&] {
        // Checked on the main thread, where the destructor sets it.
        if (FDestroying)
            return;
        ++FMainHandlerDepth;
        guarded();
        --FMainHandlerDepth;
    });
}

void TCustomEncoder::HandleProgress(TCustomFFmpeg* Sender, int32_t AFileIndex, int32_t AFrameNumber,
                                    int32_t AFPS, float AQuality, float ABitRate, int64_t ACurrentSize,
                                    int64_t ACurrentDuration, int64_t ATotalDuration) {
    if (FDestroying || !OnProgress)
        return;
    std::lock_guard lock(FProgressLock);
    FProgressInfo.TaskIndex = GetTaskIndex(Sender);
    FProgressInfo.FileIndex = AFileIndex;
    FProgressInfo.FrameNumber = AFrameNumber;
    FProgressInfo.FPS = AFPS;
    FProgressInfo.Quality = AQuality;
    FProgressInfo.BitRate = ABitRate;
    FProgressInfo.CurrentSize = ACurrentSize;
    FProgressInfo.CurrentDuration = ACurrentDuration;
    FProgressInfo.TotalDuration = ATotalDuration;
    Deliver(
        "Progress", [&] { OnProgress(this, FProgressInfo); }, FTriggerEventInMainThread);
}

void TCustomEncoder::HandlePreviewBitmap(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber,
                                         int64_t APTS) {
    if (FDestroying || !OnPreviewBitmap)
        return;
    std::lock_guard lock(FPreviewLock);
    FPreviewInfo.TaskIndex = GetTaskIndex(Sender);
    FPreviewInfo.Bitmap = ABitmap;
    FPreviewInfo.FrameNumber = AFrameNumber;
    FPreviewInfo.PTS = APTS;
    Deliver(
        "PreviewBitmap", [&] { OnPreviewBitmap(this, FPreviewInfo); }, FTriggerEventInMainThread);
}

void TCustomEncoder::HandleBeforeFindStreamInfo(TCustomFFmpeg* Sender, AVFormatContext* AContext) {
    if (FDestroying || !OnBeforeFindStreamInfo)
        return;
    std::lock_guard lock(FFindStreamLock);
    Deliver(
        "BeforeFindStreamInfo", [&] { OnBeforeFindStreamInfo(Sender, AContext); }, FTriggerEventInMainThread);
}

namespace {

void CallVideoHook(TCustomEncoder* AEncoder, const TCustomEncoder::TVideoHookEvent& AHandler,
                   THookInfo& AInfo, bool& AUpdate, bool& AStopHook) {
    AInfo.Update = AUpdate;
    AInfo.StopHook = AStopHook;
    AHandler(AEncoder, AInfo);
    AUpdate = AInfo.Update;
    AStopHook = AInfo.StopHook;
}

} // namespace

void TCustomEncoder::DeliverVideoHook(const TVideoHookEvent& AHandler, TCustomFFmpeg* Sender,
                                      TBitmap* ABitmap, int32_t AFrameNumber, int64_t APTS, bool& AUpdate,
                                      bool& AStopHook) {
    if (FDestroying || !AHandler)
        return;
    std::lock_guard lock(FVideoHookLock);
    FVideoHookInfo.TaskIndex = GetTaskIndex(Sender);
    FVideoHookInfo.Bitmap = ABitmap;
    FVideoHookInfo.FrameNumber = AFrameNumber;
    FVideoHookInfo.PTS = APTS;
    // The handler draws on the bitmap.
    std::lock_guard canvas(*ABitmap);
    CallVideoHook(this, AHandler, FVideoHookInfo, AUpdate, AStopHook);
}

void TCustomEncoder::HandleInputVideoHook(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber,
                                          int64_t APTS, bool& AUpdate, bool& AStopHook) {
    DeliverVideoHook(OnVideoInputHook, Sender, ABitmap, AFrameNumber, APTS, AUpdate, AStopHook);
}

void TCustomEncoder::HandleOutputVideoHook(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber,
                                           int64_t APTS, bool& AUpdate, bool& AStopHook) {
    DeliverVideoHook(OnVideoOutputHook, Sender, ABitmap, AFrameNumber, APTS, AUpdate, AStopHook);
}

void TCustomEncoder::HandleInputFrameHook(TCustomFFmpeg* Sender, TPicture* APicture, int32_t APixFmt,
                                          int32_t AFrameNumber, int32_t AWidth, int32_t AHeight,
                                          int64_t APTS) {
    if (FDestroying || !OnFrameInputHook)
        return;
    std::lock_guard lock(FFrameHookLock);
    FFrameHookInfo = {GetTaskIndex(Sender), AFrameNumber, APicture, APixFmt, AWidth, AHeight, APTS};
    OnFrameInputHook(this, FFrameHookInfo);
}

void TCustomEncoder::HandleOutputFrameHook(TCustomFFmpeg* Sender, TPicture* APicture, int32_t APixFmt,
                                           int32_t AFrameNumber, int32_t AWidth, int32_t AHeight,
                                           int64_t APTS) {
    if (FDestroying || !OnFrameOutputHook)
        return;
    std::lock_guard lock(FFrameHookLock);
    FFrameHookInfo = {GetTaskIndex(Sender), AFrameNumber, APicture, APixFmt, AWidth, AHeight, APTS};
    OnFrameOutputHook(this, FFrameHookInfo);
}

void TCustomEncoder::HandleAudioHook(TCustomFFmpeg* Sender, int64_t APTS, void* ASample, int32_t ASize,
                                     int32_t ASampleRate, int32_t AChannels, int32_t ASampleFormat) {
    if (FDestroying || !OnAudioHook)
        return;
    std::lock_guard lock(FAudioHookLock);
    OnAudioHook(this, GetTaskIndex(Sender), APTS, ASample, ASize, ASampleRate, AChannels, ASampleFormat);
}

} // namespace vx
