// The decoder component: opens a media file, or attaches to a format context that
// another component opened, and describes its container and streams.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/FFApi.h"
#include "base/FFBaseComponent.h"
#include "base/FormatIO.h"
#include "base/UnicodeProtocol.h"

namespace vx {

// Raised after a container is opened and before its streams are analysed, so that the
// handler can adjust the context (probe size, options) first.
using TBeforeFindStreamInfoEvent = std::function<void(void* Sender, AVFormatContext* AFormatContext)>;

// The records below start with their reset values: what a getter returns when the
// file has no such value or the query fails.

// The container.
struct TFileStreamInfo {
    int64_t StartTime = -1; // microseconds
    int64_t Duration = -1;  // microseconds
    int64_t BitRate = -1;   // bits per second
    int64_t TimeStamp = -1; // Unix seconds of the container's creation, 0 when it does not say
    int Year = -1;          // metadata "year"; 0 when absent or not a number
    int Track = -1;         // metadata "track"; 0 when absent or not a number
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TAudioStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartTime = -1;       // stream time base; AV_NOPTS_VALUE when unknown
    int64_t StartTimeScaled = -1; // microseconds; -1 when unknown
    int64_t Duration = -1;        // stream time base; AV_NOPTS_VALUE when unknown
    int64_t DurationScaled = -1;  // microseconds; -1 when unknown
    int64_t BitRate = -1;
    int Channels = -1;
    int SampleRate = -1;
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE;
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartTime = -1;
    int64_t StartTimeScaled = -1;
    int64_t Duration = -1;
    int64_t DurationScaled = -1;
    int64_t BitRate = -1;
    int Height = -1;
    int Width = -1;
    float AspectRatio = -1.0f; // display aspect ratio; 0 when the sample aspect ratio is unknown
    AVPixelFormat PixFmt = AV_PIX_FMT_NONE;
    AVRational FrameRate{-1, -1};
};

struct TSubtitleStreamInfo {
    std::string Language;
    std::string CodecName;
};

class TCustomDecoder : public TFFBaseComponent {
public:
    TCustomDecoder();
    ~TCustomDecoder() override;

    // The decoder's library set through the process-wide loader.
    bool AVLibLoaded() const;
    bool LoadAVLib(const std::string& APath);
    void UnloadAVLib();

    // Opens and analyses a file; AFormatName empty detects the format. False with the
    // reason in LastErrMsg(); the decoder is then empty. Throws std::logic_error
    // ("LibAVCodec not loaded." ...) when a library is missing.
    bool LoadFile(const TFileName& AFileName, const std::string& AFormatName = {});
    virtual void CloseFile();
    // Recomputes the size, the counts and the first index of each kind.
    virtual void UpdateStreamInfo();

    // Writing attaches a context that someone else opened and keeps owning: the
    // decoder never closes it. Its owner writes nullptr (or stops using the decoder)
    // before closing it. Attaching throws like LoadFile when a library is missing.
    AVFormatContext* FileHandle() const { return FFileHandle; }
    virtual void SetFileHandle(AVFormatContext* AContext);

    bool IsAudioStream(int AStreamIndex);
    bool IsVideoStream(int AStreamIndex);
    bool IsSubtitleStream(int AStreamIndex);

    TFileName FileName();
    int64_t FileSize() const { return FFileSize; }
    const std::string& ForceFormat() const { return FForceFormat; }
    std::string FormatName();
    std::string FormatLongName();
    int StreamCount() const { return FStreamCount; }
    int ProgramCount() const { return FProgramCount; }
    int AudioStreamCount() const { return FAudioStreamCount; }
    int VideoStreamCount() const { return FVideoStreamCount; }
    int SubtitleStreamCount() const { return FSubtitleStreamCount; }
    int FirstAudioStreamIndex() const { return FFirstAudioStreamIndex; }
    int FirstVideoStreamIndex() const { return FFirstVideoStreamIndex; }
    int FirstSubtitleStreamIndex() const { return FFirstSubtitleStreamIndex; }

    // The getters never throw; a failure is reported through ReportError and the
    // record keeps its reset values. A negative index means the first stream of the kind.
    TFileStreamInfo FileStreamInfo();
    TAudioStreamInfo AudioStreamInfos(int AStreamIndex);
    TVideoStreamInfo VideoStreamInfos(int AStreamIndex);
    TSubtitleStreamInfo SubtitleStreamInfos(int AStreamIndex);
    TAudioStreamInfo FirstAudioStreamInfo() { return AudioStreamInfos(-1); }
    TVideoStreamInfo FirstVideoStreamInfo() { return VideoStreamInfos(-1); }
    TSubtitleStreamInfo FirstSubtitleStreamInfo() { return SubtitleStreamInfos(-1); }
    // The multi-line description of the container and its streams.
    std::string FileInfoText();

    const std::string& LastErrMsg() const { return FLastErrMsg; }

    // Raise OnBeforeFindStreamInfo on the main thread (the caller waits for it).
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
    void SetTriggerEventInMainThread(bool AValue) { FTriggerEventInMainThread = AValue; }
    // Milliseconds that each step of LoadFile (opening, analysing, reading the first
    // packet) may block before it is abandoned; 0 or less: no limit.
    int ReadTimeout() const { return FReadTimeout; }
    void SetReadTimeout(int AValue) { FReadTimeout = AValue; }

    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

protected:
    // Logs AText with the decoder as sender at the logger level of the library level
    // ALevel (AV_LOG_ERROR, AV_LOG_WARNING ...) and keeps it as LastErrMsg.
    void ReportError(int ALevel, const std::string& AText);
    bool OwnHandle() const { return FOwnHandle; }
    // The next packet of an opened file. LoadFile reads the first packet to make sure
    // the file holds data; that packet comes first. Returns av_read_frame's result.
    int ReadPacket(AVPacket* APacket);
    // Forgets the packet LoadFile kept (after a seek it is no longer the next one).
    void DropPendingPacket();

private:
    // Reports and answers false when no file is loaded or the index is out of range.
    bool IsStreamOfKind(int AStreamIndex, AVMediaType AKind);
    class TReadTimeoutGuard;
    static bool ReadTimeoutCheck(void* ASender);
    static void CheckLibraries();
    // The stream of the given kind that AStreamIndex means, or -1 after reporting why
    // there is none.
    int ResolveStream(int AStreamIndex, AVMediaType AType);
    // Start time and duration, raw and in microseconds.
    template <typename TInfo> void FillTimes(TInfo& AInfo, AVStream* AStream);

    AVFormatContext* FFileHandle = nullptr;
    bool FOwnHandle = false;
    std::string FLastErrMsg;
    std::string FForceFormat;
    int64_t FFileSize = -1;
    int FStreamCount = -1;
    int FProgramCount = -1;
    int FAudioStreamCount = -1;
    int FVideoStreamCount = -1;
    int FSubtitleStreamCount = -1;
    int FFirstAudioStreamIndex = -1;
    int FFirstVideoStreamIndex = -1;
    int FFirstSubtitleStreamIndex = -1;
    bool FTriggerEventInMainThread = true;
    TPacketPtr FPendingPacket;

    // Read by the interrupt check on the thread that runs LoadFile; atomics so that
    // the check may also be asked from the library's own threads.
    std::atomic<int> FReadTimeout{10000};
    std::atomic<int64_t> FLastRead{INT64_MAX}; // steady-clock microseconds; INT64_MAX: no time-out running
    std::atomic<bool> FTimedOut{false};
};

// The concrete decoder. Frame, seek and audio decoding build on this class.
class TFFDecoder : public TCustomDecoder {
public:
    TFFDecoder() = default;
    ~TFFDecoder() override;
    void CloseFile() override;
};

} // namespace vx
