#include "FFDecode.h"
#include "base/TextFormat.h"

#include <charconv>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "DurationScan.h"
#include "FFUtils.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/InterruptCB.h"
#include "base/PlatformBridge.h"
#include "base/SteadyClock.h"

namespace vx {
namespace {

// Scores run from 1 to AVPROBE_SCORE_MAX (100); the library itself warns of a
// possible misdetection at AVPROBE_SCORE_RETRY (25) and below.
constexpr int LowestTrustedProbeScore = AVPROBE_SCORE_RETRY / 2;

// A metadata number such as "year": 0 when it is absent or not a whole decimal number.
int MetadataInt(const AVDictionary* ADict, const char* AKey) {
    std::string text = MetadataValue(ADict, AKey);
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        return 0;
    text = text.substr(first, last - first + 1);
    const char* begin = text.c_str() + (text[0] == '+' ? 1 : 0);
    const char* end = text.c_str() + text.size();
    int value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end ? value : 0;
}

// Whether the analysis found anything that can be described and decoded: a picture
// with a size, sound with a rate and channels, or subtitles. A random file that a
// demuxer claimed by mistake ends up with none.
bool HasUsableStream(const AVFormatContext* AContext) {
    for (unsigned i = 0; i < AContext->nb_streams; ++i) {
        const AVCodecParameters* par = AContext->streams[i]->codecpar;
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            if (par->width > 0 && par->height > 0)
                return true;
            break;
        case AVMEDIA_TYPE_AUDIO:
            if (par->sample_rate > 0 && par->ch_layout.nb_channels > 0)
                return true;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (par->codec_id != AV_CODEC_ID_NONE)
                return true;
            break;
        default:
            break;
        }
    }
    return false;
}

const char* KindName(AVMediaType AType) {
    switch (AType) {
    case AVMEDIA_TYPE_AUDIO:
        return "audio";
    case AVMEDIA_TYPE_VIDEO:
        return "video";
    default:
        return "subtitle";
    }
}

} // namespace

// Keeps the decoder's read time-out registered for the calling thread while LoadFile
// runs. The clock runs only between Start and Stop.
class TCustomDecoder::TReadTimeoutGuard {
public:
    explicit TReadTimeoutGuard(TCustomDecoder& ADecoder) : FDecoder(ADecoder), FThreadID(CurrentThreadID()) {
        FDecoder.FTimedOut = false;
        FDecoder.FLastRead = INT64_MAX;
        InterruptDispatcher().Add(FThreadID, &FDecoder, &TCustomDecoder::ReadTimeoutCheck);
    }
    ~TReadTimeoutGuard() {
        Stop();
        InterruptDispatcher().Remove(FThreadID, &FDecoder, &TCustomDecoder::ReadTimeoutCheck);
    }
    void Start() { FDecoder.FLastRead = SteadyMicroseconds(); }
    void Stop() { FDecoder.FLastRead = INT64_MAX; }
    bool Expired() const { return FDecoder.FTimedOut; }

private:
    TCustomDecoder& FDecoder;
    uint32_t FThreadID;
};

TCustomDecoder::TCustomDecoder() {
    UpdateStreamInfo();
}

TCustomDecoder::~TCustomDecoder() {
    TCustomDecoder::CloseFile();
}

bool TCustomDecoder::AVLibLoaded() const {
    return FFLoader().Loaded(DecoderLibraries);
}

bool TCustomDecoder::LoadAVLib(const std::string& APath) {
    TFFLoader& loader = FFLoader();
    loader.SetLibraryPath(APath);
    const bool loaded = loader.Load(DecoderLibraries);
    if (!loaded)
        FLastErrMsg = loader.LastErrMsg();
    return loaded;
}

void TCustomDecoder::UnloadAVLib() {
    FFLoader().Unload(DecoderLibraries);
}

void TCustomDecoder::CheckLibraries() {
    static const struct {
        TLibrary Lib;
        const char* Text;
    } Required[] = {
        {avCodec, "LibAVCodec not loaded."},
        {avFormat, "LibAVFormat not loaded."},
        {avUtil, "LibAVUtil not loaded."},
        {swScale, "LibSwScale not loaded."},
    };
    for (const auto& r : Required)
        if (!FFLoader().Loaded(r.Lib))
            throw std::logic_error(r.Text);
}

bool TCustomDecoder::ReadTimeoutCheck(void* ASender) {
    auto* self = static_cast<TCustomDecoder*>(ASender);
    const int64_t start = self->FLastRead;
    const int timeout = self->FReadTimeout;
    if (start == INT64_MAX || timeout <= 0)
        return false;
    if (SteadyMicroseconds() - start <= int64_t(timeout) * 1000)
        return false;
    self->FTimedOut = true;
    return true;
}

void TCustomDecoder::ReportError(int ALevel, const std::string& AText) {
    GetLogger().Log(this, AVLevelToLogLevel(ALevel), AText);
    FLastErrMsg = AText;
}

bool TCustomDecoder::LoadFile(const TFileName& AFileName, const std::string& AFormatName) {
    CheckLibraries();
    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!AFormatName.empty()) {
        format = ff::av_find_input_format(AFormatName.c_str());
        if (!format) {
            FLastErrMsg = "Unknown input format: " + AFormatName;
            return false;
        }
    }

    const std::string name = FileNameToUTF8(AFileName);
    const std::string timeoutText = name + ": connecting/reading timeout";
    TReadTimeoutGuard timeout(*this);
    // Whatever ends this call early, an exception from the handler included, leaves
    // the decoder empty.
    struct TCloseUnlessLoaded {
        TCustomDecoder* Decoder;
        bool Loaded = false;
        ~TCloseUnlessLoaded() {
            if (!Loaded)
                Decoder->CloseFile();
        }
    } closer{this};

    AVFormatContext* context = nullptr;
    timeout.Start();
    int ret = OpenInputFile(&context, name, format, nullptr);
    timeout.Stop();
    if (ret < 0) {
        ReportError(AV_LOG_ERROR, timeout.Expired() ? timeoutText : ErrorText(name, ret));
        return false;
    }
    FFileHandle = context;
    FOwnHandle = true;
    // When the file is too short for the library to be sure, it takes whichever
    // demuxer scored at all, down to a file-name match or one chance sync word in
    // random bytes. Real media, even a few frames of it, score far higher.
    if (!format && context->probe_score < LowestTrustedProbeScore) {
        ReportError(AV_LOG_ERROR, ErrorText(name, AVERROR_INVALIDDATA));
        return false;
    }

    if (OnBeforeFindStreamInfo) {
        // No time-out while the handler runs: it may wait for the user.
        const auto raise = [this, context] { OnBeforeFindStreamInfo(this, context); };
        if (FTriggerEventInMainThread)
            PlatformBridge().CallInMainThread(raise);
        else
            raise();
    }

    timeout.Start();
    ret = ff::avformat_find_stream_info(context, nullptr);
    timeout.Stop();
    if (ret < 0 || !HasUsableStream(context)) {
        FLastErrMsg = timeout.Expired() ? timeoutText : name + ": could not find codec parameters";
        return false;
    }

    // A file cut off behind its header describes streams but holds nothing to decode.
    // The packet read to find out is kept and handed out first by ReadPacket.
    FPendingPacket.reset(ff::av_packet_alloc());
    if (!FPendingPacket) {
        FLastErrMsg = ErrorText(name, AVERROR(ENOMEM));
        return false;
    }
    timeout.Start();
    ret = ff::av_read_frame(context, FPendingPacket.get());
    timeout.Stop();
    if (ret < 0) {
        FLastErrMsg = timeout.Expired() ? timeoutText : name + ": no media data found";
        return false;
    }
    // A length that the library only guessed from a bit rate is measured instead; when
    // that fails the guess stays.
    if (DurationIsGuessed(context)) {
        timeout.Start();
        MeasureDuration(context, name);
        timeout.Stop();
    }
    // Later reads must not block a caller that polls.
    context->flags |= AVFMT_FLAG_NONBLOCK;

    UpdateStreamInfo();
    FForceFormat = AFormatName;
    closer.Loaded = true;
    return true;
}

void TCustomDecoder::CloseFile() {
    FForceFormat.clear();
    FPendingPacket.reset();
    if (FFileHandle) {
        if (FOwnHandle)
            CloseInputFile(&FFileHandle);
        FFileHandle = nullptr;
        FOwnHandle = false;
    }
    UpdateStreamInfo();
}

void TCustomDecoder::SetFileHandle(AVFormatContext* AContext) {
    if (AContext == FFileHandle)
        return;
    // Detaching touches no library, so it works (and never throws) even after the
    // libraries went away.
    if (AContext)
        CheckLibraries();
    CloseFile();
    FFileHandle = AContext;
    FOwnHandle = false;
    UpdateStreamInfo();
}

void TCustomDecoder::UpdateStreamInfo() {
    FFileSize = -1;
    FStreamCount = -1;
    FProgramCount = -1;
    FAudioStreamCount = -1;
    FVideoStreamCount = -1;
    FSubtitleStreamCount = -1;
    FFirstAudioStreamIndex = -1;
    FFirstVideoStreamIndex = -1;
    FFirstSubtitleStreamIndex = -1;
    if (!FFileHandle)
        return;

    // Asking the byte stream moves nothing only on our own thread: an attached context
    // may be read by its owner meanwhile, so that one is asked through the file system.
    if (FOwnHandle && FFileHandle->pb)
        FFileSize = ff::avio_size(FFileHandle->pb);
    if (FFileSize <= 0) {
        const int64_t size = FileSizeOf(LocalPath(FFileHandle->url ? FFileHandle->url : ""));
        FFileSize = size >= 0 ? size : -1;
    }

    FStreamCount = int(FFileHandle->nb_streams);
    FProgramCount = int(FFileHandle->nb_programs);
    FAudioStreamCount = 0;
    FVideoStreamCount = 0;
    FSubtitleStreamCount = 0;
    for (int i = 0; i < FStreamCount; ++i) {
        switch (FFileHandle->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ++FVideoStreamCount;
            if (FFirstVideoStreamIndex < 0)
                FFirstVideoStreamIndex = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            ++FAudioStreamCount;
            if (FFirstAudioStreamIndex < 0)
                FFirstAudioStreamIndex = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ++FSubtitleStreamCount;
            if (FFirstSubtitleStreamIndex < 0)
                FFirstSubtitleStreamIndex = i;
            break;
        default:
            break;
        }
    }
}

int TCustomDecoder::ReadPacket(AVPacket* APacket) {
    if (FPendingPacket) {
        ff::av_packet_move_ref(APacket, FPendingPacket.get());
        FPendingPacket.reset();
        return 0;
    }
    if (!FFileHandle)
        return AVERROR(EINVAL);
    return ff::av_read_frame(FFileHandle, APacket);
}

void TCustomDecoder::DropPendingPacket() {
    FPendingPacket.reset();
}

void TCustomDecoder::PutBackPacket(TPacketPtr APacket) {
    FPendingPacket = std::move(APacket);
}

bool TCustomDecoder::IsStreamOfKind(int AStreamIndex, AVMediaType AKind) {
    if (!FFileHandle) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return false;
    }
    if (AStreamIndex < 0 || AStreamIndex >= FStreamCount) {
        ReportError(AV_LOG_ERROR, FormatText("stream index #%d is invalid.", AStreamIndex));
        return false;
    }
    return FFileHandle->streams[AStreamIndex]->codecpar->codec_type == AKind;
}

bool TCustomDecoder::IsAudioStream(int AStreamIndex) {
    return IsStreamOfKind(AStreamIndex, AVMEDIA_TYPE_AUDIO);
}

bool TCustomDecoder::IsVideoStream(int AStreamIndex) {
    return IsStreamOfKind(AStreamIndex, AVMEDIA_TYPE_VIDEO);
}

bool TCustomDecoder::IsSubtitleStream(int AStreamIndex) {
    return IsStreamOfKind(AStreamIndex, AVMEDIA_TYPE_SUBTITLE);
}

TFileName TCustomDecoder::FileName() {
    if (!FFileHandle) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return {};
    }
    return FFileHandle->url ? UTF8ToFileName(FFileHandle->url) : TFileName();
}

std::string TCustomDecoder::FormatName() {
    if (!FFileHandle) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return {};
    }
    return FFileHandle->iformat && FFileHandle->iformat->name ? FFileHandle->iformat->name : "";
}

std::string TCustomDecoder::FormatLongName() {
    if (!FFileHandle) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return {};
    }
    return FFileHandle->iformat && FFileHandle->iformat->long_name ? FFileHandle->iformat->long_name : "";
}

TFileStreamInfo TCustomDecoder::FileStreamInfo() {
    TFileStreamInfo info;
    if (!FFileHandle) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return info;
    }
    const AVFormatContext* ctx = FFileHandle;
    info.StartTime = ctx->start_time == AV_NOPTS_VALUE ? -1 : ctx->start_time;
    info.Duration = ctx->duration == AV_NOPTS_VALUE ? -1 : ctx->duration;
    info.BitRate = ctx->bit_rate;
    info.TimeStamp = ContainerTimeStamp(ctx);
    info.Year = MetadataInt(ctx->metadata, "year");
    info.Track = MetadataInt(ctx->metadata, "track");
    info.Title = MetadataValue(ctx->metadata, "title");
    info.Author = MetadataValue(ctx->metadata, "author");
    info.Copyright = MetadataValue(ctx->metadata, "copyright");
    info.Comment = MetadataValue(ctx->metadata, "comment");
    info.Album = MetadataValue(ctx->metadata, "album");
    info.Genre = MetadataValue(ctx->metadata, "genre");
    return info;
}

int TCustomDecoder::ResolveStream(int AStreamIndex, AVMediaType AType) {
    if (!FFileHandle) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return -1;
    }
    if (AStreamIndex < 0) {
        AStreamIndex = AType == AVMEDIA_TYPE_AUDIO   ? FFirstAudioStreamIndex
                       : AType == AVMEDIA_TYPE_VIDEO ? FFirstVideoStreamIndex
                                                     : FFirstSubtitleStreamIndex;
        if (AStreamIndex < 0) {
            ReportError(AV_LOG_ERROR, FormatText("no %s stream.", KindName(AType)));
            return -1;
        }
    } else if (AStreamIndex >= FStreamCount) {
        ReportError(AV_LOG_ERROR, FormatText("stream index #%d is invalid.", AStreamIndex));
        return -1;
    }
    if (FFileHandle->streams[AStreamIndex]->codecpar->codec_type != AType) {
        ReportError(AV_LOG_ERROR, FormatText("stream #%d is not %s stream.", AStreamIndex, KindName(AType)));
        return -1;
    }
    return AStreamIndex;
}

template <typename TInfo> void TCustomDecoder::FillTimes(TInfo& AInfo, AVStream* AStream) {
    AVRational timeBase = AStream->time_base;
    if (timeBase.den == 0) {
        timeBase.den = timeBase.num ? timeBase.num : 1;
        // Our own context is repaired for whoever rescales next; an attached one
        // belongs to a component that may be reading it right now.
        if (FOwnHandle)
            AStream->time_base = timeBase;
    }
    AInfo.StartTime = AStream->start_time;
    if (AStream->start_time != AV_NOPTS_VALUE)
        AInfo.StartTimeScaled = ff::av_rescale_q(AStream->start_time, timeBase, AV_TIME_BASE_Q);
    AInfo.Duration = AStream->duration;
    if (AStream->duration != AV_NOPTS_VALUE)
        AInfo.DurationScaled = ff::av_rescale_q(AStream->duration, timeBase, AV_TIME_BASE_Q);
}

TAudioStreamInfo TCustomDecoder::AudioStreamInfos(int AStreamIndex) {
    TAudioStreamInfo info;
    const int index = ResolveStream(AStreamIndex, AVMEDIA_TYPE_AUDIO);
    if (index < 0)
        return info;
    AVStream* st = FFileHandle->streams[index];
    const AVCodecParameters* par = st->codecpar;
    info.Language = MetadataValue(st->metadata, "language");
    info.CodecName = CodecDescription(par, false);
    FillTimes(info, st);
    info.BitRate = par->bit_rate;
    info.Channels = par->ch_layout.nb_channels;
    info.SampleRate = par->sample_rate;
    info.SampleFormat = static_cast<AVSampleFormat>(par->format);
    return info;
}

TVideoStreamInfo TCustomDecoder::VideoStreamInfos(int AStreamIndex) {
    TVideoStreamInfo info;
    const int index = ResolveStream(AStreamIndex, AVMEDIA_TYPE_VIDEO);
    if (index < 0)
        return info;
    AVStream* st = FFileHandle->streams[index];
    const AVCodecParameters* par = st->codecpar;
    info.Language = MetadataValue(st->metadata, "language");
    info.CodecName = CodecDescription(par, false);
    FillTimes(info, st);
    info.BitRate = par->bit_rate;
    info.Height = par->height;
    info.Width = par->width;
    // Without a height there is no ratio to speak of; 0 like an unknown one.
    const AVRational sar = par->sample_aspect_ratio;
    info.AspectRatio = sar.num && sar.den && par->height
                           ? float(double(par->width) * sar.num / sar.den / par->height)
                           : 0.0f;
    info.PixFmt = static_cast<AVPixelFormat>(par->format);
    info.FrameRate = st->avg_frame_rate.num && st->avg_frame_rate.den ? st->avg_frame_rate : st->r_frame_rate;
    return info;
}

TSubtitleStreamInfo TCustomDecoder::SubtitleStreamInfos(int AStreamIndex) {
    TSubtitleStreamInfo info;
    const int index = ResolveStream(AStreamIndex, AVMEDIA_TYPE_SUBTITLE);
    if (index < 0)
        return info;
    const AVStream* st = FFileHandle->streams[index];
    info.Language = MetadataValue(st->metadata, "language");
    info.CodecName = CodecDescription(st->codecpar, false);
    return info;
}

std::string TCustomDecoder::FileInfoText() {
    if (!FFileHandle) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return {};
    }
    return vx::FileInfoText(FFileHandle, FFileSize);
}

} // namespace vx
