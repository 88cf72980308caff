// The decoder component: opens a media file, or attaches to a format context that
// another component opened, and describes its container and streams.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/FFApi.h"
#include "base/FFBaseComponent.h"
#include "base/FormatIO.h"
#include "base/Picture.h"
#include "base/UnicodeProtocol.h"
#include "decode/FormatConverter.h"
#include "encode/filters/Deinterlacer.h"

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
    void SetLastErrMsg(const std::string& AText) { FLastErrMsg = AText; }
    bool OwnHandle() const { return FOwnHandle; }
    // The stream of the given kind that AStreamIndex means (negative: the first one), or
    // -1 after reporting why there is none.
    int ResolveStream(int AStreamIndex, AVMediaType AType);
    // The next packet of an opened file. LoadFile reads the first packet to make sure
    // the file holds data; that packet comes first. Returns av_read_frame's result.
    int ReadPacket(AVPacket* APacket);
    // Forgets the packet LoadFile kept (after a seek it is no longer the next one).
    void DropPendingPacket();
    // Makes APacket the one that the next ReadPacket hands out.
    void PutBackPacket(TPacketPtr APacket);

private:
    // Reports and answers false when no file is loaded or the index is out of range.
    bool IsStreamOfKind(int AStreamIndex, AVMediaType AKind);
    class TReadTimeoutGuard;
    static bool ReadTimeoutCheck(void* ASender);
    static void CheckLibraries();
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

// The last decoded picture, in the decoder's own buffer.
struct TFrameInfo {
    AVPixelFormat PixFmt = AV_PIX_FMT_NONE;
    int Width = -1;
    int Height = -1;
    bool IsKeyFrame = false;
    AVPictureType PictureType = AV_PICTURE_TYPE_NONE;
    int64_t PTS = AV_NOPTS_VALUE;         // microseconds from the stream's start
    int64_t OriginalDTS = AV_NOPTS_VALUE; // the packet's, in the stream's time base
    int64_t OriginalPTS = AV_NOPTS_VALUE;
    int StreamIndex = -1;
    int64_t Position = -1; // byte position of the packet
    bool Ready = false;
    TPicture Picture; // points into the decoder's buffer
};

// The last decoded audio, converted to the wanted channels, rate and sample format.
struct TWaveInfo {
    int Channels = 0;
    int SampleRate = 0;
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE;
    int BytesPerSample = 0;
    int BytesPerSecond = 0;
    int64_t PTS = AV_NOPTS_VALUE; // microseconds from the stream's start
    int64_t OriginalDTS = AV_NOPTS_VALUE;
    int64_t OriginalPTS = AV_NOPTS_VALUE;
    int StreamIndex = -1;
    bool Ready = false;
    const uint8_t* Buffer = nullptr; // interleaved samples
    int Size = 0;                    // bytes
    int64_t Duration = 0;            // microseconds
};

// Seek flags, passed to the library as its own (AVSEEK_FLAG_BACKWARD ...).
enum TSeekFlag : int { sfBackward = 1, sfByte = 2, sfAny = 4, sfFrame = 8 };
using TSeekFlags = int;

// The concrete decoder: describes a file and decodes it, a video frame or an audio packet
// at a time, with seeking. Decoding works only on a file the decoder opened itself: on an
// attached context every decoding call throws std::logic_error.
class TFFDecoder : public TCustomDecoder {
public:
    TFFDecoder();
    ~TFFDecoder() override;
    void CloseFile() override;

    // The next picture of a video stream (-1: the selected one, else the first). False at
    // the end ("stream eof reached.", Eof() true) or on failure, with LastErrMsg().
    bool Decode(int AStreamIndex = -1);
    // The first key frame after the current picture.
    bool DecodeNextKeyFrame(int AStreamIndex = -1);
    // The nearest key frame before the current picture.
    bool DecodePreviousKeyFrame(int AStreamIndex = -1);
    // The picture before the current one.
    bool DecodePreviousFrame(int AStreamIndex = -1);
    // APTS in microseconds (bytes with sfByte). Without flags the input lands on the key
    // frame at or before the time.
    bool Seek(int64_t APTS, TSeekFlags AFlags = 0);

    // The current picture as RGB, in ABitmap. Before any Decode, or when the conversion
    // fails, false (ABitmap is then black at the picture's size).
    bool CopyToBitmap(TBitmap& ABitmap);
    // Converts without filling a bitmap; null on failure.
    const TDIB* GetBitmapPtr();
    int BitmapBitsPixel() const { return FFormatConv.BitsPixel(); }
    void SetBitmapBitsPixel(int AValue) { FFormatConv.SetBitsPixel(AValue); }

    // The next packet of an audio stream (-1: the selected one, else the first), converted.
    bool DecodeAudio(int AStreamIndex = -1);
    // Up to ACount converted bytes of the selected (or first) audio stream into ABuffer,
    // decoding more when all is read. A null ABuffer consumes nothing and answers how
    // many bytes are ready. -1 at the end or on failure.
    int ReadAudio(uint8_t* ABuffer, int ACount, int AStreamIndex = -1);

    // Decoded pictures are deinterlaced (each at once, against the one before). A picture that
    // cannot be deinterlaced turns it off again, with "deinterlacing failed." logged.
    bool Deinterlace() const { return FDeinterlace; }
    void SetDeinterlace(bool AValue) { FDeinterlace = AValue; }
    bool Eof() const { return FEOF; }
    const TFrameInfo& FrameInfo() const { return FPicture; }
    const TWaveInfo& WaveInfo() const { return FWaveInfo; }
    // The input's byte position; -1 when unknown.
    int64_t Position();
    int DesireAudioChannels() const { return FDesireAudioChannels; }
    void SetDesireAudioChannels(int AValue);
    int DesireAudioSampleRate() const { return FDesireAudioSampleRate; }
    void SetDesireAudioSampleRate(int AValue);
    AVSampleFormat DesireAudioSampleFormat() const { return FDesireAudioSampleFormat; }

private:
    struct TSwrFree {
        void operator()(SwrContext* AContext) const;
    };
    struct TAVFree {
        void operator()(uint8_t* ABuffer) const;
    };
    enum class TRead { Packet, Flush, Failed };
    // What follows a seek: the seek stream's first key packet, the end of the input, or
    // nothing to go by (a read error, or no packet marked as key).
    struct TKeyPacket {
        enum { Found, End, Unknown } State = Unknown;
        int64_t Time = AV_NOPTS_VALUE; // presentation time, else decoding time, stream time base
        TPacketPtr Packet;
    };

    static bool Known(int64_t ATime) { return ATime != AV_NOPTS_VALUE; }

    // False after reporting when no file is loaded; throws on an attached context.
    bool CheckOwnFile();
    // The stream AStreamIndex stands for, selected; -1 after reporting why there is none.
    int SelectVideoStream(int AStreamIndex);
    int SelectAudioStream(int AStreamIndex);
    bool OpenDecoder(TCodecContextPtr& ACodec, int& ACodecStream, int AStreamIndex, bool AVideo);
    // The next packet of AStreamIndex, or the end of the input (once: the flush).
    TRead ReadStreamPacket(int AStreamIndex, AVPacket* APacket);
    // Whether the input is a picture file (one picture, no timeline).
    bool IsStillPicture();
    // The rate of the newly selected stream AStreamIndex, whose decoder is open.
    AVRational SelectedFrameRate(int AStreamIndex);
    void DeinterlacePicture(AVFrame* AFrame);
    void StorePicture(const AVFrame* AFrame);
    void ResetPicture();
    void ResetWave();
    void CloseResampler();
    int64_t FrameDuration() const;
    int64_t StreamTimeToMicroseconds(int64_t ATime, int AStreamIndex) const;
    // Seeks the input to APTS (stream time base of FSeekIndex, or bytes) within the bounds.
    bool SeekInput(int64_t APTS, int64_t AMin, int64_t AMax, TSeekFlags AFlags);
    // Seeks the input so that the next packet of the seek stream is the key frame at or before
    // APTS (stream time base), stepping further back while the library lands after it.
    bool SeekToKeyFrame(int64_t APTS, TSeekFlags AFlags);
    TKeyPacket ReadKeyPacket();
    bool PrepareSeek(int64_t& APTS, TSeekFlags AFlags);
    // Converts the frame to the wanted format and appends it to the converted audio.
    bool AppendAudio(const AVFrame* AFrame);
    bool FlushResampler();
    void FillWave(int AStreamIndex, const AVPacket* APacket);

    TCodecContextPtr FCodec;
    int FCodecStream = -1;
    TFormatConverter FFormatConv;
    int FSeekIndex = -1;
    int FDesireVideoIndex = -1;
    AVRational FFrameRate{0, 0};
    bool FDeinterlace = false;
    TDeinterlacer FDeinterlacer;
    bool FEOF = false;
    bool FEOFpkt = false;
    TFrameInfo FPicture;
    std::unique_ptr<uint8_t, TAVFree> FPictureBuffer;
    int FPictureBufferSize = 0;
    int64_t FLastPTS = AV_NOPTS_VALUE;
    TFramePtr FFrame;

    TWaveInfo FWaveInfo;
    int FDesireAudioChannels = 2;
    int FDesireAudioSampleRate = 44100;
    AVSampleFormat FDesireAudioSampleFormat = AV_SAMPLE_FMT_S16;
    int FDesireAudioIndex = -1;
    TCodecContextPtr FAudioCodec;
    int FAudioCodecStream = -1;
    std::unique_ptr<SwrContext, TSwrFree> FAudioResampler;
    // What the resampler was made for.
    AVChannelLayout FResamplerInLayout{};
    AVSampleFormat FResamplerInFormat = AV_SAMPLE_FMT_NONE;
    int FResamplerInRate = 0;
    std::vector<uint8_t> FResampledAudio;
    int FRemainsAudioSize = 0;
    int64_t FAudioPacketDTS = AV_NOPTS_VALUE;
    int64_t FAudioPacketPTS = AV_NOPTS_VALUE;
};

} // namespace vx
