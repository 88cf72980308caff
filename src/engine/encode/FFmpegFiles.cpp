// Opening the job's inputs and outputs, creating the output streams, the join slots,
// and releasing every file at the end of the job.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <utility>

#include "base/FFLog.h"
#include "base/PartFiles.h"
#include "base/TextFormat.h"
#include "base/UnicodeProtocol.h"
#include "decode/DurationScan.h"
#include "decode/FFUtils.h"
#include "encode/FFmpeg.h"
#include "encode/FormatSupport.h"

namespace vx {

namespace {

// The codec named AName. An AAC encoder the library lacks becomes its own "aac".
const AVCodec* FindCodecByName(void* ASender, const std::string& AName, bool AEncoder) {
    if (!AEncoder)
        return ff::avcodec_find_decoder_by_name(AName.c_str());
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(AName.c_str());
    if (!codec && IsAacStandIn(AName)) {
        codec = ff::avcodec_find_encoder_by_name("aac");
        if (codec)
            GetLogger().LogF(ASender, llInfo, "Encoder '%s' is not available, using encoder '%s' instead",
                             AName.c_str(), codec->name);
    }
    return codec;
}

bool IsDataKind(AVMediaType AKind) {
    return AKind == AVMEDIA_TYPE_DATA || AKind == AVMEDIA_TYPE_ATTACHMENT || AKind == AVMEDIA_TYPE_UNKNOWN;
}

// A number an option allows (any int, any finite float scaled to a unit) in an integer
// field of the library: clipped to the field's range, which the library then checks.
template <class T> T ClippedValue(double AValue) {
    if (std::isnan(AValue))
        return 0;
    if (AValue >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    if (AValue <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    return static_cast<T>(AValue);
}

// The local path an output is written to through a part file: a file-protocol name whose
// path holds nothing yet or a regular file. Devices, pipes, links and other protocols are
// written directly, as named.
std::optional<std::string> PartFileTarget(const std::string& AName) {
    if (!IsUnicodeURL(AName)) {
        const char* protocol = ff::avio_find_protocol_name(AName.c_str());
        if (!protocol || std::strcmp(protocol, "file") != 0)
            return std::nullopt;
    }
    const std::string path = LocalPath(AName);
    if (path.empty() || path.back() == '/')
        return std::nullopt;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 ? !S_ISREG(st.st_mode) : errno != ENOENT)
        return std::nullopt;
    return path;
}

// The settings of a not yet opened encoder context that the set-up of a run reads.
void CopyEncoderSettings(AVCodecContext* ADest, const AVCodecContext* ASource) {
    ADest->codec_type = ASource->codec_type;
    ADest->codec_id = ASource->codec_id;
    ADest->codec_tag = ASource->codec_tag;
    ADest->flags = ASource->flags;
    ADest->flags2 = ASource->flags2;
    ADest->bit_rate = ASource->bit_rate;
    ADest->global_quality = ASource->global_quality;
    ADest->thread_count = ASource->thread_count;
    ADest->time_base = ASource->time_base;
    ADest->width = ASource->width;
    ADest->height = ASource->height;
    ADest->pix_fmt = ASource->pix_fmt;
    ADest->sample_aspect_ratio = ASource->sample_aspect_ratio;
    ADest->bits_per_raw_sample = ASource->bits_per_raw_sample;
    ADest->sample_rate = ASource->sample_rate;
    ADest->sample_fmt = ASource->sample_fmt;
    ff::av_channel_layout_uninit(&ADest->ch_layout);
    ff::av_channel_layout_copy(&ADest->ch_layout, &ASource->ch_layout);
}

// Parses the rate-control overrides: entries "start,end,q" separated by "/".
std::vector<RcOverride> ParseRcOverride(const std::string& AText) {
    std::vector<RcOverride> result;
    size_t pos = 0;
    auto number = [&](int& AValue) {
        if (pos >= AText.size())
            return false;
        const char* start = AText.c_str() + pos;
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(start, &end, 10);
        if (end == start || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
            return false;
        AValue = static_cast<int>(v);
        pos += static_cast<size_t>(end - start);
        if (pos < AText.size())
            ++pos; // the separator after the number
        return true;
    };
    for (;;) {
        const size_t entry = pos;
        RcOverride o{};
        int q = 0;
        if (!number(o.start_frame) || !number(o.end_frame))
            throw FFmpegException("error parsing rc_override");
        if (!number(q))
            q = 0;
        if (q > 0) {
            o.qscale = q;
            o.quality_factor = 1.0f;
        } else {
            o.qscale = 0;
            // Negated as a float: the smallest int has no positive counterpart.
            o.quality_factor = -(static_cast<float>(q) / 100.0f);
        }
        result.push_back(o);
        const size_t slash = AText.find('/', entry);
        if (slash == std::string::npos)
            break;
        pos = slash + 1;
    }
    return result;
}

// "force_key_frames": the times in microseconds.
std::vector<int64_t> ParseForcedKeyFrames(const std::string& AText) {
    std::vector<int64_t> times;
    size_t start = 0;
    for (;;) {
        const size_t comma = AText.find(',', start);
        times.push_back(TFFmpegOptions::parse_time_value(
            "force_key_frames",
            AText.substr(start, comma == std::string::npos ? std::string::npos : comma - start), true));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return times;
}

uint16_t* CopyMatrix(const std::array<uint16_t, 64>& AMatrix) {
    auto* m = static_cast<uint16_t*>(ff::av_malloc(sizeof(uint16_t) * 64));
    if (!m)
        throw FFmpegException("Could not allocate a quantiser matrix");
    std::copy(AMatrix.begin(), AMatrix.end(), m);
    return m;
}

} // namespace

void TOutputContextFree::operator()(AVFormatContext* ACtx) const {
    if (!ACtx || !Owner)
        return;
    if (ACtx->pb && !(ACtx->oformat->flags & AVFMT_NOFILE))
        CloseOutputIO(&ACtx->pb);
    ff::avformat_free_context(ACtx);
}

bool TCustomFFmpeg::find_codec(const std::optional<std::string>& AName, AVMediaType AKind, int AStrict,
                               bool AEncoder, AVCodecID& ACodecID) {
    ACodecID = AV_CODEC_ID_NONE;
    if (!AName || AName->empty())
        return true;
    const char* direction = AEncoder ? "encoder" : "decoder";
    const AVCodec* codec = FindCodecByName(this, *AName, AEncoder);
    if (!codec) {
        FLastErrMsg = FormatText("Unknown %s '%s'", direction, AName->c_str());
        return false;
    }
    if (codec->type != AKind) {
        FLastErrMsg = FormatText("Invalid %s type '%s'", direction, AName->c_str());
        return false;
    }
    if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && AStrict > FF_COMPLIANCE_EXPERIMENTAL) {
        FLastErrMsg = FormatText("%s '%s' is experimental and might produce bad results.\r\n"
                                 "Add '-strict experimental' if you want to use it.",
                                 direction, codec->name);
        const AVCodec* usual =
            AEncoder ? ff::avcodec_find_encoder(codec->id) : ff::avcodec_find_decoder(codec->id);
        if (usual && !(usual->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
            FLastErrMsg += FormatText("\r\nOr use the non experimental %s '%s'.", direction, usual->name);
        return false;
    }
    ACodecID = codec->id;
    return true;
}

void TCustomFFmpeg::open_input_file(const TFileName& AFileName) {
    const std::string name = FileNameToUTF8(AFileName);

    const AVInputFormat* format = nullptr;
    if (!FNextFile.format.empty()) {
        const std::string asked = FNextFile.format;
        FNextFile.format.clear();
        format = ff::av_find_input_format(asked.c_str());
        if (!format)
            throw FFmpegException("Unknown input format: \"" + asked + "\"");
    }

    // A refused input releases the decoder names and the channel asked for it; the other
    // options wait for the next open.
    const int32_t videoChannel = std::exchange(Fvideo_channel, 0);
    bool timeoutRunning = false;
    auto fail = [&](const std::string& AMessage) {
        if (timeoutRunning)
            StopReadTimeout();
        FNextVideo.codec_name.reset();
        FNextAudio.codec_name.reset();
        FNextSubtitle.codec_name.reset();
        throw FFmpegException(AMessage);
    };
    if (nb_input_files() >= MaxFiles())
        fail("Too many input files.");

    // What used to be the format parameters of the open: raw and capture demuxers take
    // them as options.
    TAVDict options;
    if (FNextFile.audio_sample_rate)
        options.Set("sample_rate", std::to_string(FNextFile.audio_sample_rate));
    if (FNextFile.audio_channels)
        options.Set("channels", std::to_string(FNextFile.audio_channels));
    if (FNextFile.frame_rate.num && FNextFile.frame_rate.den)
        options.Set("framerate", std::to_string(FNextFile.frame_rate.num) + "/" +
                                     std::to_string(FNextFile.frame_rate.den));
    if (FNextFile.frame_width && FNextFile.frame_height)
        options.Set("video_size",
                    std::to_string(FNextFile.frame_width) + "x" + std::to_string(FNextFile.frame_height));
    if (FNextVideo.pix_fmt != AV_PIX_FMT_NONE)
        if (const char* pixFmt = ff::av_get_pix_fmt_name(FNextVideo.pix_fmt))
            options.Set("pixel_format", pixFmt);
    if (videoChannel)
        options.Set("channel", std::to_string(videoChannel));
    if (Fvideo_standard)
        options.Set("standard", *Fvideo_standard);
    if (Floop_input)
        options.Set("loop", "1");
    // The generic options of the container reach the demuxer with the open: some of them
    // (probe size, analysis duration) matter while the file is being recognised.
    AVFormatContext* proto = FOptions.avformat_opts();
    for (int i = 0; i < FOptions.opt_name_count(); ++i) {
        const std::string& optName = FOptions.opt_names()[i];
        if (!ff::av_opt_find(proto, optName.c_str(), nullptr, OptFlagsInputFormat, 0))
            continue;
        uint8_t* value = nullptr;
        if (ff::av_opt_get(proto, optName.c_str(), 0, &value) >= 0 && value)
            options.Set(optName, reinterpret_cast<const char*>(value));
        ff::av_free(value);
    }
    for (const AVDictionaryEntry* e = nullptr;
         (e = ff::av_dict_get(FOptions.format_opts().Get(), "", e, AV_DICT_IGNORE_SUFFIX));)
        options.Set(e->key, e->value);

    AVCodecID videoID, audioID, subtitleID;
    if (!find_codec(FNextVideo.codec_name, AVMEDIA_TYPE_VIDEO,
                    FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO)->strict_std_compliance, false, videoID) ||
        !find_codec(FNextAudio.codec_name, AVMEDIA_TYPE_AUDIO,
                    FOptions.avcodec_opts(AVMEDIA_TYPE_AUDIO)->strict_std_compliance, false, audioID) ||
        !find_codec(FNextSubtitle.codec_name, AVMEDIA_TYPE_SUBTITLE,
                    FOptions.avcodec_opts(AVMEDIA_TYPE_SUBTITLE)->strict_std_compliance, false, subtitleID))
        fail(FLastErrMsg);

    StartReadTimeout();
    timeoutRunning = true;
    AVFormatContext* raw = nullptr;
    int ret = OpenInputFile(&raw, name, format, options.Ref());
    if (ret < 0)
        fail(ErrorText(name, ret));
    TInputFilePtr ctx(raw);
    raw->flags |= AVFMT_FLAG_NONBLOCK;
    raw->video_codec_id = videoID;
    raw->audio_codec_id = audioID;
    raw->subtitle_codec_id = subtitleID;
    if (FNextVideo.codec_name)
        raw->video_codec = ff::avcodec_find_decoder_by_name(FNextVideo.codec_name->c_str());
    if (FNextAudio.codec_name)
        raw->audio_codec = ff::avcodec_find_decoder_by_name(FNextAudio.codec_name->c_str());
    if (FNextSubtitle.codec_name)
        raw->subtitle_codec = ff::avcodec_find_decoder_by_name(FNextSubtitle.codec_name->c_str());
    FOptions.apply_generic_options(raw, proto, OptFlagsInputFormat);

    if (const int32_t programID = std::exchange(FRunFlags.opt_programid, 0)) {
        bool found = false;
        for (unsigned s = 0; s < raw->nb_streams; ++s)
            raw->streams[s]->discard = AVDISCARD_ALL;
        for (unsigned p = 0; p < raw->nb_programs; ++p) {
            AVProgram* program = raw->programs[p];
            if (program->id == programID) {
                found = true;
                program->discard = AVDISCARD_DEFAULT;
                for (unsigned s = 0; s < program->nb_stream_indexes; ++s)
                    raw->streams[program->stream_index[s]]->discard = AVDISCARD_DEFAULT;
            } else {
                program->discard = AVDISCARD_ALL;
            }
        }
        if (!found)
            fail("Specified program id not found");
    }

    if (OnBeforeFindStreamInfo)
        OnBeforeFindStreamInfo(this, raw);

    StartReadTimeout();
    ret = ff::avformat_find_stream_info(raw, nullptr);
    if (ret < 0) {
        const std::string text = ErrorText(name + ": could not find codec parameters", ret);
        // A quiet run (verbose below 0) goes on with what the header told; the reason is
        // still written, as a warning.
        if (FRunFlags.verbose < 0)
            GetLogger().Log(this, llWarning, text);
        else {
            GetLogger().Log(this, llVerbose, text);
            fail(text);
        }
    }

    const int64_t startTime = std::exchange(FRunFlags.start_time, 0);
    int64_t startOffset = startTime;
    if (raw->start_time != AV_NOPTS_VALUE)
        startOffset += raw->start_time;
    if (startTime != 0) {
        StartReadTimeout();
        if (ff::avformat_seek_file(raw, -1, INT64_MIN, startOffset, INT64_MAX, 0) < 0 &&
            FRunFlags.verbose > 0)
            GetLogger().LogF(this, llVerbose, "%s: could not seek to position %0.3f", name.c_str(),
                             startOffset / 1000000.0);
    }
    StopReadTimeout();
    timeoutRunning = false;

    const int fileIndex = nb_input_files();
    std::vector<TAVInputStream> streams(raw->nb_streams);
    for (unsigned s = 0; s < raw->nb_streams; ++s) {
        AVStream* st = raw->streams[s];
        const AVCodecParameters* par = st->codecpar;
        TAVInputStream& ist = streams[s];
        ist.st = st;
        ist.file_index = fileIndex;
        ist.discard = 1;
        const std::optional<std::string>* forced = nullptr;
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            forced = &FNextVideo.codec_name;
            ist.frames_in_info = par->width > 0 && par->height > 0;
            break;
        case AVMEDIA_TYPE_AUDIO:
            forced = &FNextAudio.codec_name;
            ist.frames_in_info = par->sample_rate > 0 && par->ch_layout.nb_channels > 0;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            forced = &FNextSubtitle.codec_name;
            ist.frames_in_info = par->codec_id != AV_CODEC_ID_NONE;
            break;
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT:
        case AVMEDIA_TYPE_UNKNOWN:
            ist.frames_in_info = par->codec_id != AV_CODEC_ID_NONE;
            break;
        default:
            throw FFmpegException("invalid codec_type");
        }
        if (forced)
            ist.dec = *forced ? ff::avcodec_find_decoder_by_name((*forced)->c_str())
                              : ff::avcodec_find_decoder(par->codec_id);
        ist.dec_ctx.reset(ff::avcodec_alloc_context3(ist.dec));
        if (!ist.dec_ctx)
            throw FFmpegException("Could not allocate a decoder context");
        CheckResult(ff::avcodec_parameters_to_context(ist.dec_ctx.get(), par),
                    "Could not copy the codec parameters");
        AVCodecContext* dec = ist.dec_ctx.get();
        dec->pkt_timebase = st->time_base;
        dec->thread_count = Fthread_count;

        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO: {
            FOptions.apply_generic_options(dec, FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO), ist.dec,
                                           OptFlagsVideoDecoder);
            if (dec->lowres) {
                dec->width >>= dec->lowres;
                dec->height >>= dec->lowres;
            }
            // The frame rate the stream's timing declares against the one its frames
            // really come at.
            const AVRational codecRate = st->avg_frame_rate;
            const AVRational realRate = st->r_frame_rate;
            if (codecRate.num && codecRate.den && realRate.num && realRate.den &&
                av_cmp_q(codecRate, realRate) != 0 && FRunFlags.verbose >= 0)
                GetLogger().LogF(this, llInfo,
                                 "Seems stream %d codec frame rate differs from container frame rate: "
                                 "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                                 static_cast<int>(s), static_cast<double>(codecRate.num) / codecRate.den,
                                 codecRate.num, codecRate.den,
                                 static_cast<double>(realRate.num) / realRate.den, realRate.num,
                                 realRate.den);
            if (FNextVideo.disable)
                st->discard = AVDISCARD_ALL;
            else if (Fvideo_discard)
                st->discard = static_cast<AVDiscard>(
                    std::clamp<int32_t>(Fvideo_discard, AVDISCARD_NONE, AVDISCARD_ALL));
            break;
        }
        case AVMEDIA_TYPE_AUDIO:
            FOptions.apply_generic_options(dec, FOptions.avcodec_opts(AVMEDIA_TYPE_AUDIO), ist.dec,
                                           OptFlagsAudioDecoder);
            Fchannel_layout = dec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                                  ? static_cast<int64_t>(dec->ch_layout.u.mask)
                                  : 0;
            Faudio_sample_fmt = dec->sample_fmt;
            if (FNextAudio.disable)
                st->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (FNextSubtitle.disable)
                st->discard = AVDISCARD_ALL;
            break;
        default:
            break;
        }
    }

    // A length that the library only guessed from a bit rate would make the progress a guess too.
    if (DurationIsGuessed(raw))
        MeasureDuration(raw, name);
    if (raw->duration != AV_NOPTS_VALUE && raw->duration > FTotalOutputDuration)
        FTotalOutputDuration = raw->duration;
    TAVInputFile file;
    file.probed_size = raw->pb ? ff::avio_size(raw->pb) : -1;
    file.ts_offset = FRunFlags.copy_ts ? Finput_ts_offset : Finput_ts_offset - startOffset;
    if (fileIndex < Fnb_input_files_ts_scale())
        file.ts_scale = Finput_files_ts_scale[fileIndex];
    if (FRunFlags.verbose >= 0)
        ff::av_dump_format(raw, fileIndex, name.c_str(), 0);
    file.ist_index = static_cast<int32_t>(Finput_streams.size());
    file.nb_streams = static_cast<int32_t>(raw->nb_streams);
    file.ctx = std::move(ctx);

    grow_array(Finput_streams, static_cast<int64_t>(Finput_streams.size()) + file.nb_streams);
    std::move(streams.begin(), streams.end(), Finput_streams.end() - file.nb_streams);
    grow_array(Finput_files, static_cast<int64_t>(Finput_files.size()) + 1);
    Finput_files.back() = std::move(file);

    // The input took the options of the next file, its decoders the generic ones ("top"
    // among them), and the decoder names and the raw pixel format of the next streams.
    FNextFile = {};
    FRunFlags.top_field_first = -1;
    FNextVideo.pix_fmt = AV_PIX_FMT_NONE;
    FNextVideo.codec_name.reset();
    FNextAudio.codec_name.reset();
    FNextSubtitle.codec_name.reset();
    FOptions.reset_generic_options();
}

TCustomFFmpeg::TInputKinds TCustomFFmpeg::check_inputs(bool AJoin) const {
    TInputKinds kinds;
    if (!AJoin) {
        for (const TAVInputStream& ist : Finput_streams) {
            const AVMediaType kind = ist.st->codecpar->codec_type;
            kinds.Video |= kind == AVMEDIA_TYPE_VIDEO;
            kinds.Audio |= kind == AVMEDIA_TYPE_AUDIO;
            kinds.Subtitle |= kind == AVMEDIA_TYPE_SUBTITLE;
            kinds.Data |= IsDataKind(kind);
        }
        return kinds;
    }
    // Joined: a kind counts only when every input has it.
    kinds = {true, true, true, true};
    bool everyData = true, everyAttachment = true, everyUnknown = true;
    for (const TAVInputFile& file : Finput_files) {
        bool video = false, audio = false, subtitle = false, data = false, attachment = false,
             unknown = false;
        for (int s = 0; s < file.nb_streams; ++s) {
            const AVMediaType kind = Finput_streams[file.ist_index + s].st->codecpar->codec_type;
            video |= kind == AVMEDIA_TYPE_VIDEO;
            audio |= kind == AVMEDIA_TYPE_AUDIO;
            subtitle |= kind == AVMEDIA_TYPE_SUBTITLE;
            data |= kind == AVMEDIA_TYPE_DATA;
            attachment |= kind == AVMEDIA_TYPE_ATTACHMENT;
            unknown |= kind == AVMEDIA_TYPE_UNKNOWN;
        }
        kinds.Video &= video;
        kinds.Audio &= audio;
        kinds.Subtitle &= subtitle;
        everyData &= data;
        everyAttachment &= attachment;
        everyUnknown &= unknown;
    }
    kinds.Data = everyData || everyAttachment || everyUnknown;
    return kinds;
}

int TCustomFFmpeg::open_output_file(const TFileName& AFileName, bool AJoin) {
    // A joined output takes every input, so it can be the job's only output.
    if (FJoinMode || (AJoin && nb_input_files() > 1 && nb_output_files() > 0)) {
        FLastErrMsg = "Cannot join more than one output file.";
        return -1;
    }
    if (nb_output_files() >= MaxFiles()) {
        FLastErrMsg = "Too many output files.";
        return -1;
    }
    if (!Fvfilters.empty())
        FRunFlags.enable_filter = true;

    const std::string name = FileNameToUTF8(AFileName);
    const std::string asked = FNextFile.format;
    FNextFile.format.clear();
    // The feed muxer, whose stream layout was read from a live server, is gone from the
    // libraries; say so rather than failing on an unknown format.
    const std::string lowerName = LowerCase(name);
    if (asked == "ffm" ||
        (asked.empty() && lowerName.size() > 4 && lowerName.compare(lowerName.size() - 4, 4, ".ffm") == 0)) {
        FLastErrMsg = name + ": live feeds (ffm) cannot be written with the media libraries in use";
        return -1;
    }
    AVFormatContext* raw = nullptr;
    const int ret = ff::avformat_alloc_output_context2(&raw, nullptr, asked.empty() ? nullptr : asked.c_str(),
                                                       name.c_str());
    if (!raw) {
        FLastErrMsg = ErrorText(name, ret < 0 ? ret : AVERROR(EINVAL));
        return -1;
    }
    TAVOutputFile file;
    file.ctx.reset(raw);
    file.file_name = name;
    raw->interrupt_callback = EngineInterruptCB();
    const int fileIndex = nb_output_files();

    // Which kinds of streams the output gets.
    const AVOutputFormat* oformat = raw->oformat;
    bool useVideo =
        FNextVideo.stream_copy || oformat->video_codec != AV_CODEC_ID_NONE || FNextVideo.codec_name;
    bool useAudio =
        FNextAudio.stream_copy || oformat->audio_codec != AV_CODEC_ID_NONE || FNextAudio.codec_name;
    bool useSubtitle =
        FNextSubtitle.stream_copy || oformat->subtitle_codec != AV_CODEC_ID_NONE || FNextSubtitle.codec_name;
    bool useData = FNextData.codec_name || FNextData.stream_copy;
    if (nb_input_files() > 0) {
        TInputKinds kinds;
        try {
            kinds = check_inputs(AJoin);
        } catch (const std::exception& e) {
            FLastErrMsg = FormatText("check_inputs fail: %s", e.what());
            return -1;
        }
        useVideo &= kinds.Video;
        useAudio &= kinds.Audio;
        useSubtitle &= kinds.Subtitle;
        useData &= kinds.Data;
    }
    useVideo &= !FNextVideo.disable;
    useAudio &= !FNextAudio.disable;
    useSubtitle &= !FNextSubtitle.disable;
    useData &= !FNextData.disable;

    struct TStep {
        bool Use;
        void (TCustomFFmpeg::*Make)(TAVOutputFile&, int);
        const char* Failure;
    };
    for (const TStep& step :
         {TStep{useVideo, &TCustomFFmpeg::new_video_stream, "new_video_stream fail: %s"},
          TStep{useAudio, &TCustomFFmpeg::new_audio_stream, "new_audio_stream fail: %s"},
          TStep{useSubtitle, &TCustomFFmpeg::new_subtitle_stream, "new_subtitle_stream fail: %s"},
          TStep{useData, &TCustomFFmpeg::new_data_stream, "new_data_stream fail: %s"}}) {
        if (!step.Use)
            continue;
        try {
            (this->*step.Make)(file, fileIndex);
        } catch (const std::exception& e) {
            FLastErrMsg = FormatText(step.Failure, e.what());
            return -1;
        }
    }

    // The container's creation time, when one was given.
    if (Frecording_timestamp != 0) {
        const std::time_t t = static_cast<std::time_t>(Frecording_timestamp);
        std::tm utc{};
        if (gmtime_r(&t, &utc)) {
            char text[40];
            std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
            ff::av_dict_set(&raw->metadata, "creation_time", text, 0);
        }
    }
    if (Fmetadata.Get())
        ff::av_dict_copy(&raw->metadata, Fmetadata.Get(), 0);
    Fmetadata.Clear();

    if ((oformat->flags & AVFMT_NEEDNUMBER) && !ff::av_filename_number_test(name.c_str())) {
        FLastErrMsg = ErrorText(name, AVERROR(EINVAL));
        return -1;
    }

    if (!(oformat->flags & AVFMT_NOFILE)) {
        // Opening for writing empties the file: never do that to a file being read.
        std::error_code ec;
        for (const TAVInputFile& input : Finput_files) {
            if (std::filesystem::equivalent(LocalPath(input.ctx->url), LocalPath(name), ec) && !ec) {
                FLastErrMsg = name + ": the output file is one of the input files";
                return -1;
            }
        }
        int io;
        if (const std::optional<std::string> local = PartFileTarget(name)) {
            // Written under a hidden name, so that nobody sees a half-written file under the
            // output's name, and created exclusively, so that no other run writes into it.
            const size_t slash = local->rfind('/');
            RemoveStalePartFiles(slash == std::string::npos ? std::string(".") : local->substr(0, slash + 1));
            std::string part;
            do {
                part = PartFileName(*local, NextPartFileNumber());
                io = UnicodeCreateNew(part, &raw->pb);
            } while (io == AVERROR(EEXIST));
            if (io >= 0)
                file.part.Reset(part);
            file.local_path = *local;
            file.keep_existing = Fkeep_existing;
        } else {
            StartReadTimeout();
            io = OpenOutputIO(&raw->pb, name, AVIO_FLAG_WRITE, nullptr);
            StopReadTimeout();
        }
        if (io < 0) {
            FLastErrMsg = ErrorText(name, io);
            return -1;
        }
        file.io_open = true;
    }
    Fkeep_existing = false;

    // The muxer's buffering: the preload of the MPEG program stream muxer, the delay of
    // every muxer; a looping output (GIF) when asked.
    raw->max_delay = ClippedValue<int>(Fmux_max_delay * 1000000.0);
    ff::av_opt_set_int(raw, "preload", ClippedValue<int64_t>(Fmux_preload * 1000000.0),
                       AV_OPT_SEARCH_CHILDREN);
    if (Floop_output >= 0)
        ff::av_opt_set_int(raw, "loop", Floop_output, AV_OPT_SEARCH_CHILDREN);
    FOptions.apply_generic_options(raw, FOptions.avformat_opts(), OptFlagsOutputFormat);

    grow_array(Foutput_files, static_cast<int64_t>(Foutput_files.size()) + 1);
    Foutput_files.back() = std::move(file);

    // Also without a video stream, the output took the forced key frames.
    FNextFile = {};
    FNextVideo.forced_key_frames.clear();
    FOptions.reset_generic_options();
    if (AJoin && nb_input_files() > 1)
        FJoinMode = true;
    return nb_output_files();
}

const AVCodec* TCustomFFmpeg::choose_encoder(const std::optional<std::string>& AName, AVMediaType AKind,
                                             const TAVOutputFile& AFile) {
    if (AName && !AName->empty()) {
        AVCodecID id;
        if (!find_codec(AName, AKind, FOptions.avcodec_opts(AKind)->strict_std_compliance, true, id))
            throw FFmpegException(FLastErrMsg);
        return FindCodecByName(this, *AName, true);
    }
    const AVCodecID id =
        ff::av_guess_codec(AFile.ctx->oformat, nullptr, AFile.file_name.c_str(), nullptr, AKind);
    return id == AV_CODEC_ID_NONE ? nullptr : ff::avcodec_find_encoder(id);
}

TAVOutputStream& TCustomFFmpeg::new_output_stream(TAVOutputFile& AFile, int AFileIndex, AVMediaType AKind,
                                                  const AVCodec* AEncoder) {
    AVFormatContext* ctx = AFile.ctx.get();
    const int n = static_cast<int>(ctx->nb_streams);
    AVStream* st = ff::avformat_new_stream(ctx, nullptr);
    if (!st) {
        switch (AKind) {
        case AVMEDIA_TYPE_VIDEO:
            FNextVideo.codec_name.reset();
            FNextVideo.language.clear();
            break;
        case AVMEDIA_TYPE_AUDIO:
            FNextAudio.codec_name.reset();
            FNextAudio.language.clear();
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            FNextSubtitle.codec_name.reset();
            FNextSubtitle.language.clear();
            break;
        default:
            FNextData.codec_name.reset();
            break;
        }
        throw FFmpegException("Could not alloc stream");
    }
    if (n < static_cast<int>(Fstreamid_map.size()) && Fstreamid_map[n])
        st->id = Fstreamid_map[n];

    auto ost = std::make_unique<TAVOutputStream>();
    ost->file_index = AFileIndex;
    ost->index = n;
    ost->st = st;
    ost->kind = AKind;
    ost->enc = AEncoder;
    int64_t swsFlags = SWS_BICUBIC;
    if (ff::av_opt_get_int(FOptions.sws_opts(), "sws_flags", 0, &swsFlags) >= 0)
        ost->sws_flags = static_cast<int32_t>(swsFlags);
    ost->enc_ctx.reset(ff::avcodec_alloc_context3(AEncoder));
    if (!ost->enc_ctx)
        throw FFmpegException("Could not alloc output stream");
    ost->enc_ctx->codec_type = AKind;
    AFile.streams.push_back(std::move(ost));
    return *AFile.streams.back();
}

void TCustomFFmpeg::new_video_stream(TAVOutputFile& AFile, int AFileIndex) {
    const bool copy = FNextVideo.stream_copy != 0;
    const AVCodec* codec = nullptr;
    AVCodecID codecID = AV_CODEC_ID_NONE;
    std::vector<RcOverride> rcOverride;
    std::vector<int64_t> forcedKeyFrames;
    // Everything that can be refused is checked before the stream exists.
    if (FNextVideo.stream_copy != 1) {
        codec = choose_encoder(FNextVideo.codec_name, AVMEDIA_TYPE_VIDEO, AFile);
        codecID = codec ? codec->id
                        : ff::av_guess_codec(AFile.ctx->oformat, nullptr, AFile.file_name.c_str(), nullptr,
                                             AVMEDIA_TYPE_VIDEO);
    }
    if (!copy) {
        if (Fvideo_rc_override_string && !Fvideo_rc_override_string->empty())
            rcOverride = ParseRcOverride(*Fvideo_rc_override_string);
        if (!FNextVideo.forced_key_frames.empty())
            forcedKeyFrames = ParseForcedKeyFrames(FNextVideo.forced_key_frames);
    }

    TAVOutputStream& ost = new_output_stream(AFile, AFileIndex, AVMEDIA_TYPE_VIDEO, codec);
    AVStream* st = ost.st;
    AVCodecContext* enc = ost.enc_ctx.get();
    if (FNextVideo.stream_copy != 1) {
        ost.frame_aspect_ratio = std::exchange(Fframe_aspect_ratio, 0.0f);
        ost.avfilter = std::exchange(Fvfilters, {});
        if (!ost.avfilter.empty())
            FRunFlags.enable_filter = true;
    }
    ost.bitstream_filters = std::move(FNextVideo.bitstream_filters);
    FNextVideo.bitstream_filters.clear();
    enc->thread_count = Fthread_count;
    if (Fvideo_codec_tag)
        enc->codec_tag = Fvideo_codec_tag;

    if (copy) {
        ost.stream_copy = 1;
        const double area = static_cast<double>(FNextFile.frame_width) * FNextFile.frame_height;
        const double sar = area != 0 ? Fframe_aspect_ratio * FNextFile.frame_height / FNextFile.frame_width
                                     : Fframe_aspect_ratio * 3.0 / 4.0;
        enc->sample_aspect_ratio = st->sample_aspect_ratio = ff::av_d2q(sar, 255);
    } else {
        if (FNextFile.frame_rate.num && FNextFile.frame_rate.den)
            ost.frame_rate = FNextFile.frame_rate;
        enc->codec_id = codecID;
        FOptions.apply_generic_options(enc, FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO), codec,
                                       OptFlagsVideoEncoder);
        enc->width = FNextFile.frame_width;
        enc->height = FNextFile.frame_height;
        enc->pix_fmt = FNextVideo.pix_fmt;
        enc->bits_per_raw_sample = FRunFlags.frame_bits_per_raw_sample;
        st->sample_aspect_ratio = enc->sample_aspect_ratio;
        if (Fintra_only)
            enc->gop_size = 0;
        if (Fvideo_qscale != 0 || FRunFlags.same_quality) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(FF_QP2LAMBDA * Fvideo_qscale);
        }
        if (Fintra_matrix)
            enc->intra_matrix = CopyMatrix(*Fintra_matrix);
        if (Finter_matrix)
            enc->inter_matrix = CopyMatrix(*Finter_matrix);
        if (!rcOverride.empty()) {
            auto* table = static_cast<RcOverride*>(ff::av_malloc(sizeof(RcOverride) * rcOverride.size()));
            if (!table)
                throw FFmpegException("error parsing rc_override");
            std::copy(rcOverride.begin(), rcOverride.end(), table);
            enc->rc_override = table;
            enc->rc_override_count = static_cast<int>(rcOverride.size());
        }
        if (enc->rc_initial_buffer_occupancy == 0)
            enc->rc_initial_buffer_occupancy = static_cast<int>(enc->rc_buffer_size * 3LL / 4);
        enc->intra_dc_precision = ClippedValue<int>(Fintra_dc_precision - 8.0);
        if (Fdo_psnr)
            enc->flags |= AV_CODEC_FLAG_PSNR;
        if (Fdo_pass == 1)
            enc->flags |= AV_CODEC_FLAG_PASS1;
        else if (Fdo_pass == 2)
            enc->flags |= AV_CODEC_FLAG_PASS2;
        // Kept in microseconds until the set-up knows the encoder's time base.
        ost.forced_kf_pts = std::move(forcedKeyFrames);
    }
    if (AFile.ctx->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO)->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (!FNextVideo.language.empty())
        ff::av_dict_set(&st->metadata, "language", FNextVideo.language.c_str(), 0);

    FNextVideo = {};
}

void TCustomFFmpeg::new_audio_stream(TAVOutputFile& AFile, int AFileIndex) {
    const bool copy = FNextAudio.stream_copy != 0;
    const AVCodec* codec = nullptr;
    AVCodecID codecID = AV_CODEC_ID_NONE;
    if (FNextAudio.stream_copy != 1) {
        codec = choose_encoder(FNextAudio.codec_name, AVMEDIA_TYPE_AUDIO, AFile);
        codecID = codec ? codec->id
                        : ff::av_guess_codec(AFile.ctx->oformat, nullptr, AFile.file_name.c_str(), nullptr,
                                             AVMEDIA_TYPE_AUDIO);
    }
    TAVOutputStream& ost = new_output_stream(AFile, AFileIndex, AVMEDIA_TYPE_AUDIO, codec);
    AVCodecContext* enc = ost.enc_ctx.get();
    ost.bitstream_filters = std::move(FNextAudio.bitstream_filters);
    FNextAudio.bitstream_filters.clear();
    enc->thread_count = Fthread_count;
    if (Faudio_codec_tag)
        enc->codec_tag = Faudio_codec_tag;

    if (copy) {
        ost.stream_copy = 1;
    } else {
        enc->codec_id = codecID;
        FOptions.apply_generic_options(enc, FOptions.avcodec_opts(AVMEDIA_TYPE_AUDIO), codec,
                                       OptFlagsAudioEncoder);
        if (Faudio_qscale > -99999) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = ClippedValue<int>(FF_QP2LAMBDA * static_cast<double>(Faudio_qscale));
        }
        // No channel count given: the set-up takes the input's (layout and all).
        ff::av_channel_layout_uninit(&enc->ch_layout);
        if (FNextFile.audio_channels > 0) {
            AVChannelLayout layout{};
            if (Fchannel_layout &&
                ff::av_channel_layout_from_mask(&layout, static_cast<uint64_t>(Fchannel_layout)) == 0 &&
                layout.nb_channels == FNextFile.audio_channels) {
                enc->ch_layout = layout;
            } else {
                ff::av_channel_layout_uninit(&layout);
                enc->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC;
                enc->ch_layout.nb_channels = FNextFile.audio_channels;
            }
        }
        if (FNextFile.audio_sample_rate)
            enc->sample_rate = FNextFile.audio_sample_rate;
        enc->sample_fmt = Faudio_sample_fmt;
        if (codec && codec->sample_fmts) {
            const AVSampleFormat* p = codec->sample_fmts;
            for (; *p != AV_SAMPLE_FMT_NONE; ++p)
                if (*p == enc->sample_fmt)
                    break;
            if (*p == AV_SAMPLE_FMT_NONE) {
                const AVSampleFormat taken = codec->sample_fmts[0];
                if (enc->sample_fmt != AV_SAMPLE_FMT_NONE) {
                    // A lossless encoder given fewer bits, or integers for floating-point
                    // samples, cannot keep the samples as they were.
                    const AVCodecDescriptor* desc = ff::avcodec_descriptor_get(codec->id);
                    const AVSampleFormat askedPacked = ff::av_get_packed_sample_fmt(enc->sample_fmt);
                    const AVSampleFormat takenPacked = ff::av_get_packed_sample_fmt(taken);
                    const bool askedFloat =
                        askedPacked == AV_SAMPLE_FMT_FLT || askedPacked == AV_SAMPLE_FMT_DBL;
                    const bool takenFloat =
                        takenPacked == AV_SAMPLE_FMT_FLT || takenPacked == AV_SAMPLE_FMT_DBL;
                    if (desc && (desc->props & AV_CODEC_PROP_LOSSLESS) &&
                        (ff::av_get_bytes_per_sample(taken) < ff::av_get_bytes_per_sample(enc->sample_fmt) ||
                         (askedFloat && !takenFloat)))
                        GetLogger().Log(this, llError, "Convertion will not be lossless");
                    GetLogger().LogF(this, llWarning,
                                     "Incompatible sample format \"%s\" for codec \"%s\", auto-selecting "
                                     "format \"%s\"",
                                     ff::av_get_sample_fmt_name(enc->sample_fmt), codec->name,
                                     ff::av_get_sample_fmt_name(taken));
                }
                enc->sample_fmt = taken;
            }
        }
    }
    if (AFile.ctx->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        FOptions.avcodec_opts(AVMEDIA_TYPE_AUDIO)->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (!FNextAudio.language.empty())
        ff::av_dict_set(&ost.st->metadata, "language", FNextAudio.language.c_str(), 0);

    FNextAudio = {};
}

void TCustomFFmpeg::new_subtitle_stream(TAVOutputFile& AFile, int AFileIndex) {
    const bool copy = FNextSubtitle.stream_copy != 0;
    const AVCodec* codec = nullptr;
    AVCodecID codecID = AV_CODEC_ID_NONE;
    if (FNextSubtitle.stream_copy != 1) {
        codec = choose_encoder(FNextSubtitle.codec_name, AVMEDIA_TYPE_SUBTITLE, AFile);
        codecID = codec ? codec->id
                        : ff::av_guess_codec(AFile.ctx->oformat, nullptr, AFile.file_name.c_str(), nullptr,
                                             AVMEDIA_TYPE_SUBTITLE);
    }
    TAVOutputStream& ost = new_output_stream(AFile, AFileIndex, AVMEDIA_TYPE_SUBTITLE, codec);
    AVCodecContext* enc = ost.enc_ctx.get();
    ost.bitstream_filters = std::move(FNextSubtitle.bitstream_filters);
    FNextSubtitle.bitstream_filters.clear();
    enc->thread_count = Fthread_count;
    if (Fsubtitle_codec_tag)
        enc->codec_tag = Fsubtitle_codec_tag;
    if (copy) {
        ost.stream_copy = 1;
    } else {
        enc->codec_id = codecID;
        FOptions.apply_generic_options(enc, FOptions.avcodec_opts(AVMEDIA_TYPE_SUBTITLE), codec,
                                       OptFlagsSubtitleEncoder);
    }
    if (AFile.ctx->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        FOptions.avcodec_opts(AVMEDIA_TYPE_SUBTITLE)->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (!FNextSubtitle.language.empty())
        ff::av_dict_set(&ost.st->metadata, "language", FNextSubtitle.language.c_str(), 0);

    FNextSubtitle = {};
}

void TCustomFFmpeg::new_data_stream(TAVOutputFile& AFile, int AFileIndex) {
    if (!FNextData.stream_copy) {
        GetLogger().Log(this, llError, "Data stream encoding not supported yet (only streamcopy)");
        throw FFmpegException("Data stream encoding not supported yet (only streamcopy)");
    }
    TAVOutputStream& ost = new_output_stream(AFile, AFileIndex, AVMEDIA_TYPE_DATA, nullptr);
    AVCodecContext* enc = ost.enc_ctx.get();
    if (Fdata_codec_tag)
        enc->codec_tag = Fdata_codec_tag;
    if (AFile.ctx->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ost.stream_copy = 1;

    FNextData = {};
}

void TCustomFFmpeg::NewOutputStream(AVMediaType AKind) {
    if (Foutput_files.empty())
        throw FFmpegException("At least one output file must be specified");
    // The slots of a joined output are copies of the first one's streams, made by the
    // join set-up: streams are added before it.
    if (FJoinMode && Foutput_files.size() > 1)
        throw FFmpegException("Cannot add a stream to a joined output file");
    const int index = nb_output_files() - 1;
    TAVOutputFile& file = Foutput_files[index];
    switch (AKind) {
    case AVMEDIA_TYPE_VIDEO:
        new_video_stream(file, index);
        break;
    case AVMEDIA_TYPE_AUDIO:
        new_audio_stream(file, index);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        new_subtitle_stream(file, index);
        break;
    default:
        new_data_stream(file, index);
        break;
    }
}

void TCustomFFmpeg::join_setup() {
    if (!FJoinMode)
        return;
    int64_t total = 0;
    for (const TAVInputFile& f : Finput_files)
        if (f.ctx->duration != AV_NOPTS_VALUE)
            total += f.ctx->duration;
    FTotalOutputDuration = total == 0 ? -1 : total;

    // Slot k is fed by input k; every slot writes into the first slot's file.
    for (int k = 1; k < nb_input_files(); ++k) {
        grow_array(Foutput_files, static_cast<int64_t>(Foutput_files.size()) + 1);
        TAVOutputFile& previous = Foutput_files[k - 1];
        TAVOutputFile& slot = Foutput_files.back();
        slot.ctx = TOutputContextPtr(previous.ctx.get(), TOutputContextFree{false});
        slot.file_name = previous.file_name;
        for (const auto& from : previous.streams) {
            auto ost = std::make_unique<TAVOutputStream>();
            ost->file_index = k;
            ost->index = from->index;
            ost->st = from->st;
            ost->kind = from->kind;
            ost->sws_flags = from->sws_flags;
            ost->enc = from->enc;
            ost->frame_aspect_ratio = from->frame_aspect_ratio;
            ost->avfilter = from->avfilter;
            ost->frame_rate = from->frame_rate;
            ost->stream_copy = from->stream_copy;
            ost->forced_kf_pts = from->forced_kf_pts;
            for (const TBSFContextPtr& bsf : from->bitstream_filters) {
                AVBSFContext* ctx = nullptr;
                if (ff::av_bsf_alloc(bsf->filter, &ctx) < 0 || !ctx)
                    throw FFmpegException(
                        FormatText("Could not allocate bitstream filter %s", bsf->filter->name));
                ost->bitstream_filters.emplace_back(ctx);
            }
            ost->enc_ctx.reset(ff::avcodec_alloc_context3(from->enc));
            if (!ost->enc_ctx)
                throw FFmpegException("Could not alloc output stream");
            CopyEncoderSettings(ost->enc_ctx.get(), from->enc_ctx.get());
            slot.streams.push_back(std::move(ost));
        }
    }
}

void TCustomFFmpeg::Published(const std::string& AName) {
    std::lock_guard lock(FPublishedLock);
    FPublishedOutputs.push_back(AName);
}

std::string TCustomFFmpeg::file_cleanup() {
    // A run that failed leaves no output behind: without its trailer (or with nothing in
    // it) a file only looks like a conversion.
    const bool failed = FatalException();
    std::string errors;
    FFrameHooks.Release();
    for (TAVOutputFile& file : Foutput_files) {
        if (!file.ctx || !file.ctx.get_deleter().Owner)
            continue;
        const bool writesFile = !(file.ctx->oformat->flags & AVFMT_NOFILE);
        bool lost = false;
        if (file.io_open) {
            file.io_open = false;
            const int ret = CloseOutputIO(&file.ctx->pb);
            if (ret < 0) {
                lost = true;
                if (errors.empty())
                    errors = ErrorText(file.file_name, ret);
            }
        }
        std::error_code ec;
        if (!file.part.Empty()) {
            const bool keep = !failed && !lost && !file.discard &&
                              std::filesystem::file_size(file.part.Path(), ec) > 0 && !ec;
            std::string published;
            const int ret =
                keep ? PublishPartFile(file.part.Path(), file.local_path, !file.keep_existing, published) : 0;
            if (keep && ret == 0) {
                file.part.Release();
                // Reported in the form the output was named ("unicode:" and "file:" kept).
                Published(file.file_name.substr(0, file.file_name.size() - file.local_path.size()) +
                          published);
            } else {
                file.part.Remove();
                if (ret < 0 && errors.empty())
                    errors = ErrorText(file.file_name, ret);
            }
        } else if (writesFile) {
            const std::filesystem::path path(LocalPath(file.file_name));
            if (std::filesystem::is_regular_file(path, ec) &&
                (failed || lost || file.discard || (std::filesystem::file_size(path, ec) == 0 && !ec)))
                std::filesystem::remove(path, ec);
            else if (!failed && !lost)
                Published(file.file_name);
        } else if (!failed) {
            Published(file.file_name);
        }
        file.ctx.reset();
    }
    Foutput_files.clear();
    Finput_files.clear();
    Finput_streams.clear();
    FOutputVideoHook.Previewer.reset();
    return errors;
}

bool TCustomFFmpeg::muxer_dropped_everything(const TAVOutputFile& AFile) const {
    // Only a file on disk is read back: a pipe or a device would give nothing, or block.
    std::error_code ec;
    const std::string path = AFile.part.Empty() ? LocalPath(AFile.file_name) : AFile.part.Path();
    if (!AFile.header_written || (AFile.ctx->oformat->flags & AVFMT_NOFILE) ||
        !std::filesystem::is_regular_file(path, ec))
        return false;
    AVFormatContext* raw = nullptr;
    // A file the library cannot read back is not judged.
    const std::string name = AFile.part.Empty() ? AFile.file_name : "file:" + AFile.part.Path();
    if (OpenInputFile(&raw, name, nullptr, nullptr) < 0)
        return false;
    TInputFilePtr written(raw);
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet)
        return false;
    const int ret = ff::av_read_frame(raw, packet.get());
    ff::av_packet_unref(packet.get());
    return ret == AVERROR_EOF;
}

std::vector<AVRational> TCustomFFmpeg::InputVideoFrameRates() const {
    std::vector<AVRational> rates;
    for (const TAVInputStream& ist : Finput_streams)
        if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            rates.push_back(ist.st->avg_frame_rate.num && ist.st->avg_frame_rate.den ? ist.st->avg_frame_rate
                                                                                     : ist.st->r_frame_rate);
    return rates;
}

} // namespace vx
