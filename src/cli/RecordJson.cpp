#include "RecordJson.h"

#include "base/FFApi.h"

namespace vx::cli {

const char* TargetTypeName(TOptionTargetType AValue) {
    switch (AValue) {
    case ttIgnore:
        return "ttIgnore";
    case ttVCD:
        return "ttVCD";
    case ttSVCD:
        return "ttSVCD";
    case ttDVD:
        return "ttDVD";
    }
    return "?";
}

const char* NormTypeName(TOptionNormType AValue) {
    switch (AValue) {
    case ntAuto:
        return "ntAuto";
    case ntPAL:
        return "ntPAL";
    case ntNTSC:
        return "ntNTSC";
    }
    return "?";
}

namespace {

// The records carry pointers for the caller's own use; only their absence means anything here.
void WritePointer(TJsonWriter& AJson, const char* AKey, const void* APointer) {
    AJson.Key(AKey);
    if (APointer)
        AJson.Int(static_cast<int64_t>(reinterpret_cast<uintptr_t>(APointer)));
    else
        AJson.Null();
}

void WriteStreamInfo(TJsonWriter& AJson, const TStreamInfo& AInfo) {
    AJson.BeginObject()
        .Field("TimeStamp", AInfo.TimeStamp)
        .Field("Year", AInfo.Year)
        .Field("Track", AInfo.Track)
        .Field("Title", AInfo.Title)
        .Field("Author", AInfo.Author)
        .Field("Copyright", AInfo.Copyright)
        .Field("Comment", AInfo.Comment)
        .Field("Album", AInfo.Album)
        .Field("Genre", AInfo.Genre)
        .EndObject();
}

void WriteFormatName(TJsonWriter& AJson, const char* AKey, const char* AName) {
    AJson.Key(AKey);
    if (AName)
        AJson.String(AName);
    else
        AJson.Null();
}

} // namespace

void WriteInputOptions(TJsonWriter& AJson, const TInputOptions& AOptions) {
    AJson.BeginObject()
        .Field("FileName", AOptions.FileName)
        .Field("ForceFormat", AOptions.ForceFormat)
        .Field("TimeStart", AOptions.TimeStart)
        .Field("ProgramID", AOptions.ProgramID)
        .Field("ExtOptions", AOptions.ExtOptions)
        .Field("Tag", AOptions.Tag);
    WritePointer(AJson, "Data", AOptions.Data);
    AJson.EndObject();
}

void WriteOutputOptions(TJsonWriter& AJson, const TOutputOptions& AOptions) {
    AJson.BeginObject()
        .Field("FileName", AOptions.FileName)
        .Field("FileExt", AOptions.FileExt)
        .Field("ForceFormat", AOptions.ForceFormat)
        .Field("PacketSize", AOptions.PacketSize)
        .Field("MuxRate", AOptions.MuxRate)
        .Field("MuxDelay", AOptions.MuxDelay)
        .Field("MuxPreload", AOptions.MuxPreload)
        .Field("AudioCodec", AOptions.AudioCodec)
        .Field("DisableAudio", AOptions.DisableAudio)
        .Field("AudioVolume", AOptions.AudioVolume)
        .Field("AudioChannels", AOptions.AudioChannels)
        .Field("AudioSampleRate", AOptions.AudioSampleRate)
        .Field("AudioBitrate", AOptions.AudioBitrate)
        .Field("AudioBitRateTolerance", AOptions.AudioBitRateTolerance)
        .Field("AudioLanguage", AOptions.AudioLanguage)
        .Field("AudioSyncMethod", AOptions.AudioSyncMethod)
        .Field("AudioTag", AOptions.AudioTag)
        .Field("VideoCodec", AOptions.VideoCodec)
        .Field("DisableVideo", AOptions.DisableVideo)
        .Field("FrameRate", AOptions.FrameRate)
        .Field("FrameSize", AOptions.FrameSize)
        .Field("FrameAspectRatio", AOptions.FrameAspectRatio)
        .Field("GroupPictureSize", AOptions.GroupPictureSize)
        .Field("VideoBitrate", AOptions.VideoBitrate)
        .Field("VideoMaxRate", AOptions.VideoMaxRate)
        .Field("VideoMinRate", AOptions.VideoMinRate)
        .Field("VideoBitRateTolerance", AOptions.VideoBitRateTolerance)
        .Field("VideoBufSize", AOptions.VideoBufSize)
        .Field("VideoSyncMethod", AOptions.VideoSyncMethod)
        .Field("VideoTag", AOptions.VideoTag)
        .Field("VideoFilters", AOptions.VideoFilters)
        .Field("VideoLanguage", AOptions.VideoLanguage)
        .Field("SubtitleCodec", AOptions.SubtitleCodec)
        .Field("DisableSubtitle", AOptions.DisableSubtitle)
        .Field("SubtitleLanguage", AOptions.SubtitleLanguage)
        .Field("DataCodec", AOptions.DataCodec)
        .Field("FilePreset", AOptions.FilePreset)
        .Field("InputSync", AOptions.InputSync)
        .Field("CopyTimestamp", AOptions.CopyTimestamp)
        .Field("TimeStart", AOptions.TimeStart)
        .Field("TimeLength", AOptions.TimeLength);
    AJson.Key("Info");
    WriteStreamInfo(AJson, AOptions.Info);
    AJson.Field("TargetType", TargetTypeName(AOptions.TargetType))
        .Field("NormType", NormTypeName(AOptions.NormType))
        .Field("NormDefault", NormTypeName(AOptions.NormDefault))
        .Field("AudioHook", AOptions.AudioHook)
        .Field("VideoInputHook", AOptions.VideoInputHook)
        .Field("VideoOutputHook", AOptions.VideoOutputHook)
        .Field("VideoHookBitsPixel", AOptions.VideoHookBitsPixel)
        .Field("FrameInputHook", AOptions.FrameInputHook)
        .Field("FrameOutputHook", AOptions.FrameOutputHook)
        .Field("Join", AOptions.Join)
        .Field("KeepExisting", AOptions.KeepExisting)
        .Field("ExtOptions", AOptions.ExtOptions)
        .Field("Tag", AOptions.Tag);
    WritePointer(AJson, "Data", AOptions.Data);
    AJson.EndObject();
}

void WriteFileStreamInfo(TJsonWriter& AJson, const TFileStreamInfo& AInfo) {
    AJson.BeginObject()
        .Field("StartTime", AInfo.StartTime)
        .Field("Duration", AInfo.Duration)
        .Field("BitRate", AInfo.BitRate)
        .Field("TimeStamp", AInfo.TimeStamp)
        .Field("Year", AInfo.Year)
        .Field("Track", AInfo.Track)
        .Field("Title", AInfo.Title)
        .Field("Author", AInfo.Author)
        .Field("Copyright", AInfo.Copyright)
        .Field("Comment", AInfo.Comment)
        .Field("Album", AInfo.Album)
        .Field("Genre", AInfo.Genre)
        .EndObject();
}

void WriteVideoStreamInfo(TJsonWriter& AJson, const TVideoStreamInfo& AInfo) {
    AJson.BeginObject()
        .Field("Language", AInfo.Language)
        .Field("CodecName", AInfo.CodecName)
        .Field("StartTime", AInfo.StartTime)
        .Field("StartTimeScaled", AInfo.StartTimeScaled)
        .Field("Duration", AInfo.Duration)
        .Field("DurationScaled", AInfo.DurationScaled)
        .Field("BitRate", AInfo.BitRate)
        .Field("Height", AInfo.Height)
        .Field("Width", AInfo.Width)
        .Field("AspectRatio", AInfo.AspectRatio);
    WriteFormatName(AJson, "PixFmt", ff::av_get_pix_fmt_name(AInfo.PixFmt));
    AJson.Key("FrameRate")
        .BeginObject()
        .Field("num", AInfo.FrameRate.num)
        .Field("den", AInfo.FrameRate.den)
        .EndObject()
        .EndObject();
}

void WriteAudioStreamInfo(TJsonWriter& AJson, const TAudioStreamInfo& AInfo) {
    AJson.BeginObject()
        .Field("Language", AInfo.Language)
        .Field("CodecName", AInfo.CodecName)
        .Field("StartTime", AInfo.StartTime)
        .Field("StartTimeScaled", AInfo.StartTimeScaled)
        .Field("Duration", AInfo.Duration)
        .Field("DurationScaled", AInfo.DurationScaled)
        .Field("BitRate", AInfo.BitRate)
        .Field("Channels", AInfo.Channels)
        .Field("SampleRate", AInfo.SampleRate);
    WriteFormatName(AJson, "SampleFormat", ff::av_get_sample_fmt_name(AInfo.SampleFormat));
    AJson.EndObject();
}

void WriteSubtitleStreamInfo(TJsonWriter& AJson, const TSubtitleStreamInfo& AInfo) {
    AJson.BeginObject().Field("Language", AInfo.Language).Field("CodecName", AInfo.CodecName).EndObject();
}

} // namespace vx::cli
