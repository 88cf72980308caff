// The run of a job: set-up, the packet loop and the progress report.
//
// For now every output stream is a copy of one input stream: packets go from the
// demuxer to the muxer unchanged, in timestamp order across the inputs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <thread>

#include "base/FFLog.h"
#include "base/PlatformBridge.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

std::string ErrorText(int ACode) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (ff::av_strerror(ACode, text, sizeof(text)) < 0)
        return "Error number " + std::to_string(ACode) + " occurred";
    return text;
}

constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

} // namespace

void TCustomFFmpeg::transcode_setup() {
    for (size_t i = 0; i < Foutput_files.size(); ++i) {
        TAVOutputFile& file = Foutput_files[i];
        if (file.streams.empty())
            throw FFmpegException("Output file #" + std::to_string(i) + " does not contain any stream");
        const int ret = ff::avformat_write_header(file.ctx.get(), nullptr);
        if (ret < 0)
            throw FFmpegException("Could not write header for output file #" + std::to_string(i) +
                                  " (incorrect codec parameters ?): " + ErrorText(ret));
        file.header_written = true;
    }
    for (TAVInputStream& ist : Finput_streams) {
        ist.pts = 0;
        ist.next_pts = NoPTSValue;
        ist.is_past_recording_time = 0;
    }
}

void TCustomFFmpeg::transcode() {
    if (FJoinMode)
        throw FFmpegException("Joining several inputs into one output is not supported yet");
    transcode_setup();
    Ftimer_start = FLastReport = NowMicroseconds();

    TPacketPtr packet(ff::av_packet_alloc());
    TPacketPtr out(ff::av_packet_alloc());
    if (!packet || !out)
        throw FFmpegException("Could not allocate a packet");

    {
        // A stop abandons a blocking read or write of the worker.
        std::optional<TInterruptRegistration> stopCheck;
        if (!PlatformBridge().IsMainThread())
            stopCheck.emplace(this, &InterruptCheck);

        int lastInput = 0;
        while (CheckPaused()) {
            // The input whose stream lags most is read next, so outputs interleave well.
            int chosen = -1;
            int64_t chosenTime = std::numeric_limits<int64_t>::max();
            for (const TAVOutputFile& file : Foutput_files)
                for (const auto& ost : file.streams) {
                    const TAVInputStream& ist = Finput_streams[ost->source_index];
                    if (ist.is_past_recording_time || Finput_files[ist.file_index].eof_reached)
                        continue;
                    if (ist.pts < chosenTime) {
                        chosenTime = ist.pts;
                        chosen = ist.file_index;
                    }
                }
            if (chosen < 0)
                break;

            TAVInputFile& input = Finput_files[chosen];
            const int ret = ff::av_read_frame(input.ctx.get(), packet.get());
            if (ret == AVERROR(EAGAIN)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            if (ret < 0) {
                input.eof_reached = 1;
                continue;
            }
            lastInput = chosen;
            try {
                copy_packet(chosen, packet.get(), out.get());
            } catch (...) {
                ff::av_packet_unref(packet.get());
                throw;
            }
            ff::av_packet_unref(packet.get());
            if (NowMicroseconds() - FLastReport > ReportInterval())
                print_report(false, lastInput);
        }
    }

    for (TAVOutputFile& file : Foutput_files) {
        if (!file.header_written)
            continue;
        const int ret = ff::av_write_trailer(file.ctx.get());
        if (ret < 0)
            throw FFmpegException(file.file_name + ": could not write the trailer: " + ErrorText(ret));
    }
    print_report(true, -1);
    SetFinished(!Broken());
    // A run that ends without having written anything must not pass for a conversion.
    if (!Broken())
        for (const TAVOutputFile& file : Foutput_files)
            if (file.packets_written == 0)
                throw FFmpegException(file.file_name + ": nothing was written to the output file");
}

void TCustomFFmpeg::copy_packet(int AFileIndex, AVPacket* APacket, AVPacket* AOut) {
    TAVInputFile& input = Finput_files[AFileIndex];
    if (APacket->stream_index >= input.nb_streams)
        return;
    const int istIndex = input.ist_index + APacket->stream_index;
    TAVInputStream& ist = Finput_streams[istIndex];
    if (ist.discard)
        return;

    const AVRational tb = ist.st->time_base;
    const int64_t start = input.ctx->start_time != AV_NOPTS_VALUE ? input.ctx->start_time : 0;
    const int64_t ts = APacket->dts != AV_NOPTS_VALUE ? APacket->dts : APacket->pts;
    if (ts != AV_NOPTS_VALUE) {
        ist.pts = ff::av_rescale_q(ts, tb, MicrosecondBase) - start;
        ist.next_pts =
            ist.pts + (APacket->duration > 0 ? ff::av_rescale_q(APacket->duration, tb, MicrosecondBase) : 0);
    }
    if (Frecording_time != std::numeric_limits<int64_t>::max() && ts != AV_NOPTS_VALUE &&
        ist.pts >= Frecording_time) {
        ist.is_past_recording_time = 1;
        return;
    }
    const int64_t offset = ff::av_rescale_q(start, MicrosecondBase, tb);

    for (TAVOutputFile& file : Foutput_files)
        for (auto& ost : file.streams) {
            if (ost->source_index != istIndex)
                continue;
            // A copy starts at a key frame: what comes before cannot be decoded.
            if (ost->frame_number == 0 && !(APacket->flags & AV_PKT_FLAG_KEY))
                continue;
            if (ff::av_packet_ref(AOut, APacket) < 0)
                throw FFmpegException("Could not copy a packet");
            AOut->stream_index = ost->index;
            if (AOut->pts != AV_NOPTS_VALUE)
                AOut->pts -= offset;
            if (AOut->dts != AV_NOPTS_VALUE)
                AOut->dts -= offset;
            AOut->pos = -1;
            ff::av_packet_rescale_ts(AOut, tb, ost->st->time_base);
            const int ret = ff::av_interleaved_write_frame(file.ctx.get(), AOut);
            ff::av_packet_unref(AOut);
            if (ret < 0)
                throw FFmpegException("av_interleaved_write_frame(): " + ErrorText(ret));
            ost->frame_number++;
            file.packets_written++;
        }
}

void TCustomFFmpeg::print_report(bool AIsLast, int AFileIndex) {
    // A paused job raises nothing until it is resumed.
    CheckPaused();
    const int64_t now = NowMicroseconds();

    int64_t size = 0;
    AVIOContext* pb = Foutput_files.empty() ? nullptr : Foutput_files[0].ctx->pb;
    if (pb) {
        size = ff::avio_size(pb);
        if (size < 0)
            size = ff::avio_seek(pb, 0, SEEK_CUR);
        size = std::max<int64_t>(size, 0);
    }

    int32_t frameNumber = -1;
    int32_t fps = -1;
    float quality = -1.0f;
    bool videoSeen = false;
    int64_t reportTime = std::numeric_limits<int64_t>::max();
    for (const TAVOutputFile& file : Foutput_files)
        for (const auto& ost : file.streams) {
            quality = -1.0f; // copied streams have no quantiser
            if (ost->st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !videoSeen) {
                videoSeen = true;
                if (ost->frame_number < 1)
                    return; // nothing to tell before the first picture
                frameNumber = ost->frame_number;
                const double t = (now - Ftimer_start) / 1000000.0;
                fps = t > 1 ? static_cast<int32_t>(std::trunc(frameNumber / t + 0.5)) : 0;
            }
            // How far the stream's source has been written: the end of its last packet.
            const TAVInputStream& ist = Finput_streams[ost->source_index];
            reportTime = std::min(reportTime, ist.next_pts != AV_NOPTS_VALUE ? ist.next_pts : ist.pts);
        }
    if (reportTime == std::numeric_limits<int64_t>::max())
        reportTime = 0;
    const float bitRate = reportTime > 0 ? static_cast<float>(size * 8.0 / (reportTime / 1000.0)) : 0.0f;
    FLastReport = now;

    if (OnProgress) {
        OnProgress(this, AIsLast ? -1 : AFileIndex, frameNumber, fps, quality, bitRate, size, reportTime,
                   FTotalOutputDuration);
    } else if (Fverbose >= 0) {
        const int64_t secs = reportTime / 1000000;
        GetLogger().LogF(
            this, llVerbose,
            "frame=%5d fps=%3d q=%3.1f %ssize=%8.0fkB time=%02d:%02d:%02d.%02d bitrate=%6.1fkbits/s",
            frameNumber, fps, quality, AIsLast ? "L " : "", size / 1024.0, int(secs / 3600),
            int(secs / 60 % 60), int(secs % 60), int(reportTime / 10000 % 100), bitRate);
    }
}

} // namespace vx
