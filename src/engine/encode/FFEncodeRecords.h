// The records of an encoder task: per-file settings (TInputOptions, TOutputOptions with
// its TStreamInfo) and the records that the encoder's events carry.
//
// Callers reset a record (Reset()) before filling it; a default-constructed record is
// already reset. File names are UTF-16 (TFileName); every other text is UTF-8.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "base/Picture.h"
#include "base/UnicodeProtocol.h"

namespace vx {

using TPathFileName = TFileName;

// The library's "no timestamp" value: the most negative 64-bit number.
inline constexpr int64_t NoPTSValue = std::numeric_limits<int64_t>::min();

enum TOptionTargetType { ttIgnore, ttVCD, ttSVCD, ttDVD };
enum TOptionNormType { ntAuto, ntPAL, ntNTSC };
// Only ntPAL or ntNTSC are meaningful here.
using TOptionNormDefault = TOptionNormType;

// Metadata written into an output file.
struct TStreamInfo {
    double TimeStamp = -1.0; // local date-time as a day count (0 = now); < 0: not written
    int32_t Year = -1;
    int32_t Track = -1;
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;

    void Reset() { *this = TStreamInfo(); }
};

// Settings of one input file.
struct TInputOptions {
    TPathFileName FileName; // filled with the file name argument when empty
    std::string ForceFormat;
    int64_t TimeStart = NoPTSValue; // microseconds
    int32_t ProgramID = -1;
    std::string ExtOptions; // option text
    int32_t Tag = 0;
    void* Data = nullptr;

    void Reset() { *this = TInputOptions(); }
};
using PInputOptions = TInputOptions*;

// Settings of one output file. Values of -1 (or empty text) are not applied.
struct TOutputOptions {
    TPathFileName FileName; // filled with the file name argument when empty
    std::string FileExt;    // carried, not interpreted
    std::string ForceFormat;
    int32_t PacketSize = -1;
    int32_t MuxRate = -1;
    float MuxDelay = -1.0f;   // seconds
    float MuxPreload = -1.0f; // seconds
    std::string AudioCodec;
    bool DisableAudio = false;
    int32_t AudioVolume = -1;
    int32_t AudioChannels = -1;
    int32_t AudioSampleRate = -1;
    int32_t AudioBitrate = -1; // bits per second
    int32_t AudioBitRateTolerance = -1;
    std::string AudioLanguage;
    int32_t AudioSyncMethod = 0;
    std::string AudioTag;
    std::string VideoCodec;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int32_t GroupPictureSize = -1;
    int32_t VideoBitrate = -1; // bits per second
    int32_t VideoMaxRate = -1;
    int32_t VideoMinRate = -1;
    int32_t VideoBitRateTolerance = -1;
    int32_t VideoBufSize = -1;
    int32_t VideoSyncMethod = -1;
    std::string VideoTag;
    std::string VideoFilters;
    std::string VideoLanguage;
    std::string SubtitleCodec;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    std::string DataCodec;
    std::string FilePreset;
    bool InputSync = false;
    bool CopyTimestamp = false;
    int64_t TimeStart = NoPTSValue;  // microseconds
    int64_t TimeLength = NoPTSValue; // microseconds
    TStreamInfo Info;
    TOptionTargetType TargetType = ttIgnore;
    TOptionNormType NormType = ntAuto;
    TOptionNormDefault NormDefault = ntPAL;
    bool AudioHook = false;
    bool VideoInputHook = false;
    bool VideoOutputHook = false;
    int32_t VideoHookBitsPixel = 24;
    bool FrameInputHook = false;
    bool FrameOutputHook = false;
    bool Join = false;
    // An existing file of the output's name is kept: the output takes the next free name
    // "NAME-1.EXT", "NAME-2.EXT", ... when it is finished (see the encoder's OutputFileNameUsed).
    bool KeepExisting = false;
    std::string ExtOptions; // option text
    int32_t Tag = 0;
    void* Data = nullptr;

    void Reset() { *this = TOutputOptions(); }
};
using POutputOptions = TOutputOptions*;

// OnProgress. Durations in microseconds; -1 where unknown.
struct TProgressInfo {
    int32_t TaskIndex = -1;
    int32_t FileIndex = -1;   // input last read from; -1 in the task's final report
    int32_t FrameNumber = -1; // frames written to the first video output; -1 without video
    int32_t FPS = -1;         // 0 during the first second; -1 without video
    float Quality = -1.0f;    // -1 without video or for a copied stream
    float BitRate = 0.0f;     // kbit/s
    int64_t CurrentSize = 0;  // bytes written
    int64_t CurrentDuration = 0;
    int64_t TotalDuration = -1;
};

// OnTerminate. TaskIndex -1 marks the end of the whole run.
struct TTerminateInfo {
    int32_t TaskIndex = -1;
    bool Finished = false;  // converted to its end without being stopped
    bool Exception = false; // ended by an error
    std::string ExceptionMsg;
};

// The RGB picture handed to the video hooks and preview events (base/Bitmap.h).
class TBitmap;

// OnPreviewBitmap.
struct TPreviewInfo {
    int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr;
    int32_t FrameNumber = 0;
    int64_t PTS = 0;
};

// OnVideoInputHook / OnVideoOutputHook. Update and StopHook go back to the task.
struct THookInfo {
    int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr;
    int32_t FrameNumber = 0;
    int64_t PTS = 0;
    bool Update = true;    // write the (edited) bitmap back into the frame
    bool StopHook = false; // stop calling this hook for the task
};

// OnFrameInputHook / OnFrameOutputHook.
struct TFrameHookInfo {
    int32_t TaskIndex = -1;
    int32_t FrameNumber = 0;
    TPicture* Picture = nullptr;
    int32_t PixFmt = -1; // library pixel format
    int32_t Width = 0;
    int32_t Height = 0;
    int64_t PTS = 0;
};

} // namespace vx
