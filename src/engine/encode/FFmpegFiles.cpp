// Opening the job's inputs and outputs, and releasing them at the end of the job.
#include <filesystem>
#include <string>
#include <system_error>

#include "base/FFLog.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

std::string LibraryErrorText(int ACode) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (ff::av_strerror(ACode, text, sizeof(text)) < 0)
        return "Error number " + std::to_string(ACode) + " occurred";
    return text;
}

std::string FileErrorText(const std::string& AFileName, int ACode) {
    return AFileName + ": " + LibraryErrorText(ACode);
}

// Stream kinds that an output takes over from its inputs.
bool CopiedKind(AVMediaType AType) {
    return AType == AVMEDIA_TYPE_VIDEO || AType == AVMEDIA_TYPE_AUDIO || AType == AVMEDIA_TYPE_SUBTITLE;
}

// Stops the open's time-out on every way out.
class TReadTimeoutScope {
public:
    TReadTimeoutScope(std::function<void()> AStart, std::function<void()> AStop) : FStop(std::move(AStop)) {
        AStart();
    }
    ~TReadTimeoutScope() { FStop(); }
    TReadTimeoutScope(const TReadTimeoutScope&) = delete;
    TReadTimeoutScope& operator=(const TReadTimeoutScope&) = delete;

private:
    std::function<void()> FStop;
};

} // namespace

void TOutputContextFree::operator()(AVFormatContext* ACtx) const {
    if (!ACtx)
        return;
    if (ACtx->pb && !(ACtx->oformat->flags & AVFMT_NOFILE))
        CloseOutputIO(&ACtx->pb);
    ff::avformat_free_context(ACtx);
}

bool TCustomFFmpeg::open_input_file(const TFileName& AFileName) {
    const std::string name = FileNameToUTF8(AFileName);
    const AVInputFormat* format = nullptr;
    if (!Flast_asked_format.empty()) {
        format = ff::av_find_input_format(Flast_asked_format.c_str());
        const std::string asked = Flast_asked_format;
        Flast_asked_format.clear();
        if (!format)
            throw FFmpegException("Unknown input format: \"" + asked + "\"");
    }

    TReadTimeoutScope timeout([this] { StartReadTimeout(); }, [this] { StopReadTimeout(); });
    AVFormatContext* raw = nullptr;
    int ret = OpenInputFile(&raw, name, format, nullptr);
    if (ret < 0) {
        FLastErrMsg = FileErrorText(name, ret);
        return false;
    }
    TInputFilePtr ctx(raw);

    if (Fopt_programid != 0) {
        bool found = false;
        for (unsigned s = 0; s < raw->nb_streams; ++s)
            raw->streams[s]->discard = AVDISCARD_ALL;
        for (unsigned p = 0; p < raw->nb_programs; ++p) {
            AVProgram* program = raw->programs[p];
            if (program->id == Fopt_programid) {
                found = true;
                program->discard = AVDISCARD_DEFAULT;
                for (unsigned s = 0; s < program->nb_stream_indexes; ++s)
                    raw->streams[program->stream_index[s]]->discard = AVDISCARD_DEFAULT;
            } else {
                program->discard = AVDISCARD_ALL;
            }
        }
        Fopt_programid = 0;
        if (!found) {
            FLastErrMsg = "Specified program id not found";
            return false;
        }
    }

    if (OnBeforeFindStreamInfo)
        OnBeforeFindStreamInfo(this, raw);

    StartReadTimeout();
    ret = ff::avformat_find_stream_info(raw, nullptr);
    if (ret < 0 && Fverbose >= 0) {
        FLastErrMsg = name + ": could not find codec parameters";
        GetLogger().Log(this, llVerbose, FLastErrMsg);
        return false;
    }

    int64_t startOffset = Fstart_time;
    if (raw->start_time != AV_NOPTS_VALUE)
        startOffset += raw->start_time;
    if (Fstart_time != 0) {
        StartReadTimeout();
        if (ff::avformat_seek_file(raw, -1, INT64_MIN, startOffset, INT64_MAX, 0) < 0 && Fverbose > 0)
            GetLogger().LogF(this, llVerbose, "%s: could not seek to position %0.3f", name.c_str(),
                             startOffset / 1000000.0);
        Fstart_time = 0;
    }

    TAVInputFile file;
    file.ist_index = static_cast<int>(Finput_streams.size());
    file.nb_streams = static_cast<int>(raw->nb_streams);
    for (unsigned s = 0; s < raw->nb_streams; ++s) {
        AVStream* st = raw->streams[s];
        if ((st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && Fvideo_disable) ||
            (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && Faudio_disable) ||
            (st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && Fsubtitle_disable))
            st->discard = AVDISCARD_ALL;
        TAVInputStream ist;
        ist.file_index = nb_input_files();
        ist.st = st;
        Finput_streams.push_back(std::move(ist));
    }
    if (raw->duration != AV_NOPTS_VALUE && raw->duration > FTotalOutputDuration)
        FTotalOutputDuration = raw->duration;
    file.ctx = std::move(ctx);
    Finput_files.push_back(std::move(file));
    return true;
}

int TCustomFFmpeg::open_output_file(const TFileName& AFileName, bool AJoin) {
    if (FJoinMode) {
        FLastErrMsg = "Cannot join more than one output file.";
        return -1;
    }
    if (nb_output_files() >= MaxFiles()) {
        FLastErrMsg = "Too many output files.";
        return -1;
    }
    const std::string name = FileNameToUTF8(AFileName);
    AVFormatContext* raw = nullptr;
    const std::string asked = Flast_asked_format;
    Flast_asked_format.clear();
    const int ret = ff::avformat_alloc_output_context2(&raw, nullptr, asked.empty() ? nullptr : asked.c_str(),
                                                       name.c_str());
    if (!raw) {
        FLastErrMsg = FileErrorText(name, ret < 0 ? ret : AVERROR(EINVAL));
        return -1;
    }
    TAVOutputFile file;
    file.ctx.reset(raw);
    file.file_name = name;
    raw->interrupt_callback = EngineInterruptCB();

    // Every input stream of a kind the output takes and its container can hold is copied.
    const int fileIndex = nb_output_files();
    for (size_t i = 0; i < Finput_streams.size(); ++i) {
        TAVInputStream& ist = Finput_streams[i];
        const AVCodecParameters* par = ist.st->codecpar;
        if (!CopiedKind(par->codec_type) || ist.st->discard == AVDISCARD_ALL)
            continue;
        if ((par->codec_type == AVMEDIA_TYPE_VIDEO && Fvideo_disable) ||
            (par->codec_type == AVMEDIA_TYPE_AUDIO && Faudio_disable) ||
            (par->codec_type == AVMEDIA_TYPE_SUBTITLE && Fsubtitle_disable))
            continue;
        if (ff::avformat_query_codec(raw->oformat, par->codec_id, FF_COMPLIANCE_NORMAL) == 0)
            continue;
        AVStream* st = ff::avformat_new_stream(raw, nullptr);
        if (!st)
            throw FFmpegException("Could not alloc stream");
        if (ff::avcodec_parameters_copy(st->codecpar, par) < 0)
            throw FFmpegException("Could not alloc stream");
        st->codecpar->codec_tag = 0; // the container picks its own tag for the codec
        st->time_base = ist.st->time_base;
        auto ost = std::make_unique<TAVOutputStream>();
        ost->file_index = fileIndex;
        ost->index = st->index;
        ost->source_index = static_cast<int>(i);
        ost->st = st;
        ost->stream_copy = 1;
        ist.discard = 0;
        file.streams.push_back(std::move(ost));
    }
    if (file.streams.empty() && !Finput_files.empty()) {
        FLastErrMsg = name + ": no input stream can be written to this output";
        return -1;
    }

    if (!(raw->oformat->flags & AVFMT_NOFILE)) {
        // Opening for writing empties the file: never do that to a file being read.
        std::error_code ec;
        for (const TAVInputFile& input : Finput_files) {
            if (std::filesystem::equivalent(input.ctx->url, name, ec) && !ec) {
                FLastErrMsg = name + ": the output file is one of the input files";
                return -1;
            }
        }
        StartReadTimeout();
        const int io = OpenOutputIO(&raw->pb, name, AVIO_FLAG_WRITE, nullptr);
        StopReadTimeout();
        if (io < 0) {
            FLastErrMsg = FileErrorText(name, io);
            return -1;
        }
        file.io_open = true;
    }
    Foutput_files.push_back(std::move(file));
    if (AJoin && nb_input_files() > 1)
        FJoinMode = true;
    return nb_output_files();
}

void TCustomFFmpeg::join_setup() {
    if (!FJoinMode)
        return;
    int64_t total = 0;
    for (const TAVInputFile& f : Finput_files)
        if (f.ctx->duration != AV_NOPTS_VALUE)
            total += f.ctx->duration;
    FTotalOutputDuration = total == 0 ? -1 : total;
}

std::string TCustomFFmpeg::file_cleanup() {
    std::string errors;
    for (TAVOutputFile& file : Foutput_files) {
        if (!file.ctx)
            continue;
        const bool writesFile = !(file.ctx->oformat->flags & AVFMT_NOFILE);
        if (file.io_open) {
            file.io_open = false;
            const int ret = CloseOutputIO(&file.ctx->pb);
            if (ret < 0 && errors.empty())
                errors = FileErrorText(file.file_name, ret);
        }
        if (writesFile) {
            // An output that never got a byte is not left behind.
            std::error_code ec;
            const std::filesystem::path path(file.file_name);
            if (std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) == 0 &&
                !ec)
                std::filesystem::remove(path, ec);
        }
        file.ctx.reset();
    }
    Foutput_files.clear();
    Finput_files.clear();
    Finput_streams.clear();
    return errors;
}

std::vector<AVRational> TCustomFFmpeg::InputVideoFrameRates() const {
    std::vector<AVRational> rates;
    for (const TAVInputStream& ist : Finput_streams)
        if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            rates.push_back(ist.st->avg_frame_rate.num && ist.st->avg_frame_rate.den ? ist.st->avg_frame_rate
                                                                                     : ist.st->r_frame_rate);
    return rates;
}

void TCustomFFmpeg::NewOutputStream(AVMediaType) {
    // Every output stream is a copy of an input stream so far; there is nothing to add.
    throw FFmpegException("Adding a stream to an output file is not supported yet");
}

} // namespace vx
