// The run of a job: the packet loop that reads the inputs in timestamp order, decodes
// and hands the results to the audio and video paths or copies packets unchanged, the
// join of several inputs into one output, and the progress report.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <thread>

#include "base/CodecLoop.h"
#include "base/FFLog.h"
#include "base/PlatformBridge.h"
#include "base/TextFormat.h"
#include "decode/FFUtils.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

// Quantiser histogram of the progress line: counts of every job's reported quantisers.
std::array<std::atomic<int>, 52>& QpHistogram() {
    static std::array<std::atomic<int>, 52> histogram{};
    return histogram;
}

int64_t FrameDurationOf(const TAVInputStream& AIst, const AVFrame* AFrame) {
    const AVRational tb = AIst.st->time_base;
    if (AFrame && AFrame->pkt_duration > 0)
        return ff::av_rescale_q(AFrame->pkt_duration, tb, MicrosecondBase);
    AVRational rate = AIst.dec_ctx ? AIst.dec_ctx->framerate : AVRational{0, 1};
    if (rate.num <= 0 || rate.den <= 0)
        rate = AIst.st->avg_frame_rate;
    // Without a declared rate, the pictures so far tell better than the library's guess.
    if ((rate.num <= 0 || rate.den <= 0) && AIst.last_frame_interval > 0)
        return AIst.last_frame_interval;
    if (rate.num <= 0 || rate.den <= 0)
        rate = AIst.st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    const int ticks = 2 + (AFrame ? AFrame->repeat_pict : 0);
    return ff::av_rescale(1000000LL * ticks, rate.den, 2LL * rate.num);
}

} // namespace

bool TCustomFFmpeg::StopCheck(void* ASender) {
    auto* self = static_cast<TCustomFFmpeg*>(ASender);
    // Only a blocked read is abandoned: what was read is still written out, with the
    // trailer, so that a stopped output stays playable.
    return self->FBroken && self->FReadingInput;
}

double TCustomFFmpeg::output_time(const TAVOutputStream& AOst) const {
    if (AOst.encoding_needed) {
        if (!AOst.enc_ctx || AOst.enc_ctx->time_base.den == 0)
            return 0;
        // While the audio stage runs, sync_opts is its own.
        const int64_t opts =
            FPipeline && AOst.kind == AVMEDIA_TYPE_AUDIO ? AOst.written_opts : AOst.sync_opts;
        return static_cast<double>(opts) * av_q2d(AOst.enc_ctx->time_base);
    }
    return AOst.copy_end_time == AV_NOPTS_VALUE ? 0 : AOst.copy_end_time / 1000000.0;
}

bool TCustomFFmpeg::stages_wanted() const {
    if (FRun->stage_threads == 0 || (FRun->stage_threads < 0 && Fthread_count == 1))
        return false;
    // The stages lag behind the loop. Choosing among several inputs by the outputs' times,
    // the size limit and the per-picture statistics need what is encoded now; a join
    // reopens the encoders between its inputs.
    if (FJoinMode || nb_input_files() != 1 || FRun->limit_filesize != 0 || FRun->vstats_filename)
        return false;
    return std::any_of(Frun_streams.begin(), Frun_streams.end(), [](const TAVOutputStream* AOst) {
        return AOst->encoding_needed &&
               (AOst->kind == AVMEDIA_TYPE_AUDIO || AOst->kind == AVMEDIA_TYPE_VIDEO);
    });
}

void TCustomFFmpeg::transcode() {
    transcode_setup();
    struct TCleanup {
        TCustomFFmpeg* Self;
        ~TCleanup() { Self->transcode_cleanup(); }
    } cleanup{this};
    // The stages end before anything they use is cleaned up; after a failure their queued
    // work is abandoned.
    struct TEndStages {
        TCustomFFmpeg* Self;
        ~TEndStages() { Self->FPipeline.reset(); }
    } endStages{this};
    if (stages_wanted()) {
        for (TAVOutputStream* ost : Frun_streams)
            ost->written_opts = ost->sync_opts;
        FPipeline = std::make_unique<TStagePipeline>(StageCount, [this] { CheckPaused(); });
    }

    Ftimer_start = FLastReport = SteadyMicroseconds();
    FCurrentInput = 0;
    Finput_waiting.assign(static_cast<size_t>(nb_input_files()), 0);
    Fnb_input_waiting = 0;
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet)
        throw FFmpegException("Could not allocate a packet");

    {
        // A stop abandons a blocking read of the worker.
        std::optional<TInterruptRegistration> stopCheck;
        if (!PlatformBridge().IsMainThread())
            stopCheck.emplace(this, &StopCheck);

        while (CheckPaused()) {
            // a. The input to read from.
            int fileIndex = -1;
            if (!FJoinMode) {
                double smallest = 1e10;
                for (TAVOutputStream* ost : Frun_streams) {
                    const TAVInputStream& ist = Finput_streams[ost->source_index];
                    if (ist.is_past_recording_time || Finput_waiting[ist.file_index])
                        continue;
                    const double opts = output_time(*ost);
                    const double ipts = static_cast<double>(ist.pts);
                    if (!Finput_files[ist.file_index].eof_reached) {
                        const double key = FRun->input_sync ? ipts : opts;
                        if (key < smallest) {
                            smallest = key;
                            fileIndex = ist.file_index;
                        }
                    }
                    if (ost->kind >= 0 && ost->kind < static_cast<int>(FRun->max_frames.size()) &&
                        ost->frame_number >= FRun->max_frames[ost->kind]) {
                        fileIndex = -1;
                        break;
                    }
                }
            } else {
                fileIndex = FCurrentInput;
                for (int s = 0; s < Fslot_stream_count; ++s) {
                    const TAVOutputStream* ost = Frun_streams[FCurrentInput * Fslot_stream_count + s];
                    if (ost->kind >= 0 && ost->kind < static_cast<int>(FRun->max_frames.size()) &&
                        ost->frame_number >= FRun->max_frames[ost->kind])
                        fileIndex = -1;
                }
            }
            if (fileIndex < 0) {
                if (FJoinMode || Fnb_input_waiting == 0)
                    break;
                std::fill(Finput_waiting.begin(), Finput_waiting.end(), 0);
                Fnb_input_waiting = 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }

            // b. The size limit of the first output.
            if (FRun->limit_filesize != 0) {
                AVIOContext* pb = Foutput_files[0].ctx->pb;
                if (pb && ff::avio_seek(pb, 0, SEEK_CUR) >= FRun->limit_filesize)
                    break;
            }

            // c. One packet.
            TAVInputFile& input = Finput_files[fileIndex];
            FReadingInput = true;
            const int ret = ff::av_read_frame(input.ctx.get(), packet.get());
            FReadingInput = false;
            if (ret == AVERROR(EAGAIN)) {
                Finput_waiting[fileIndex] = 1;
                ++Fnb_input_waiting;
                continue;
            }
            if (ret < 0) {
                if (Broken())
                    break; // the read was abandoned
                check_input_end(input, ret);
                input.eof_reached = 1;
                if (FJoinMode) {
                    if (!join_next_input(fileIndex))
                        break;
                    continue;
                }
                if (FRun->opt_shortest)
                    break;
                continue;
            }
            std::fill(Finput_waiting.begin(), Finput_waiting.end(), 0);
            Fnb_input_waiting = 0;
            // A packet the file could not give whole (cut off at its end, or damaged) is
            // decoded as far as it goes; the run says so when it ends.
            if ((packet->flags & AV_PKT_FLAG_CORRUPT) && !input.damaged) {
                input.damaged = true;
                SetRunNote(InputName(input) + ": the file is damaged; what could be read was converted");
            }
            if (FRun->do_pkt_dump && packet->stream_index < static_cast<int>(input.ctx->nb_streams))
                ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet.get(), FRun->do_hex_dump,
                                     input.ctx->streams[packet->stream_index]);

            struct TUnref {
                AVPacket* P;
                ~TUnref() { ff::av_packet_unref(P); }
            } unref{packet.get()};
            AVPacket* pkt = packet.get();

            // d. Streams that appeared later, or that no output takes.
            if (pkt->stream_index >= input.nb_streams)
                continue;
            TAVInputStream& ist = Finput_streams[input.ist_index + pkt->stream_index];
            if (ist.discard)
                continue;

            // A packet without data of a decoded sound stream carries nothing, not even a
            // position: its timestamps are not to be trusted.
            if (pkt->size == 0 && ist.decoding_needed && ist.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                continue;

            // e. and f. Offsets, scale and the repair of jumps.
            const AVRational tb = ist.st->time_base;
            correct_timestamps(input, ist, pkt);

            // g. The recording time.
            if (FRun->recording_time != INT64_MAX) {
                const int64_t end = FRun->recording_time + FRun->start_time;
                int cmp = 0;
                bool known = true;
                if (pkt->dts != AV_NOPTS_VALUE)
                    cmp = ff::av_compare_ts(pkt->dts, tb, end, MicrosecondBase);
                else if (ist.pts != AV_NOPTS_VALUE)
                    cmp = ff::av_compare_ts(ist.pts, MicrosecondBase, end, MicrosecondBase);
                else if (pkt->pts != AV_NOPTS_VALUE)
                    cmp = ff::av_compare_ts(pkt->pts, tb, end, MicrosecondBase);
                else
                    known = false;
                if (!known) {
                    GetLogger().Log(
                        this, llDebug,
                        "no timestamp information to check whether recording time exhausted or not.");
                } else if (cmp >= 0) {
                    ist.is_past_recording_time = 1;
                    continue;
                }
            }

            // h. Decoding and the outputs.
            if (process_packet(ist, pkt) < 0) {
                const std::string text =
                    FormatText("Error while decoding stream #%d.%d (%s)", ist.file_index, ist.st->index,
                               MediaTypeName(ist.st->codecpar->codec_type).c_str());
                if (FRun->exit_on_error)
                    throw FFmpegException(text);
                if (FRun->verbose >= 0)
                    GetLogger().Log(this, llVerbose, text);
            }

            // i. What the stages finished is written, then progress.
            if (FPipeline)
                FPipeline->DeliverFinished();
            if (SteadyMicroseconds() - FLastReport > ReportInterval())
                print_report(false, fileIndex);
        }
    }

    // End of the inputs: what the decoders and encoders still hold.
    for (TAVInputStream& ist : Finput_streams)
        if (ist.decoding_needed && !ist.decoder_flushed) {
            process_packet(ist, nullptr);
            ist.decoder_flushed = 1;
        }
    if (FPipeline) {
        FPipeline->Finish();
        FPipeline.reset();
    }
    const size_t outputs = FJoinMode ? std::min<size_t>(1, Foutput_files.size()) : Foutput_files.size();
    for (size_t i = 0; i < outputs; ++i) {
        TAVOutputFile& file = Foutput_files[i];
        if (!file.header_written)
            continue;
        const int ret = ff::av_write_trailer(file.ctx.get());
        if (ret < 0)
            throw FFmpegException(ErrorText(file.file_name, ret));
    }
    print_report(true, -1);
    close_codecs();

    // An output without a single media packet must not pass for a conversion, whatever its
    // size; after a stop it is removed instead.
    int64_t written = 0;
    for (const TAVOutputFile& file : Foutput_files)
        written += file.packets_written;
    for (size_t i = 0; i < outputs; ++i) {
        TAVOutputFile& file = Foutput_files[i];
        if ((FJoinMode ? written : file.packets_written) > 0 && !muxer_dropped_everything(file))
            continue;
        if (Broken())
            file.discard = true;
        else
            throw FFmpegException(file.file_name + ": nothing was written to the output file");
    }
    SetFinished(!Broken());
}

std::string TCustomFFmpeg::InputName(const TAVInputFile& AInput) {
    return AInput.ctx && AInput.ctx->url ? AInput.ctx->url : std::string();
}

void TCustomFFmpeg::check_input_end(const TAVInputFile& AInput, int ARet) {
    const AVIOContext* pb = AInput.ctx->pb;
    if (pb && pb->error < 0 && pb->error != AVERROR_EOF && pb->error != AVERROR(EAGAIN))
        throw FFmpegException(ErrorText(InputName(AInput), pb->error));
    // Some demuxers tell the end of their data in words of their own; the byte stream
    // knows whether it was the end of the file.
    if (ARet != AVERROR_EOF && !(pb && pb->eof_reached))
        throw FFmpegException(ErrorText(InputName(AInput), ARet));
    if (pb && AInput.probed_size > 0) {
        const int64_t size = ff::avio_size(const_cast<AVIOContext*>(pb));
        if (size >= 0 && size < AInput.probed_size)
            throw FFmpegException(FormatText(
                "%s: the file was cut to %lld of its %lld bytes while it was read", InputName(AInput).c_str(),
                static_cast<long long>(size), static_cast<long long>(AInput.probed_size)));
    }
}

bool TCustomFFmpeg::join_next_input(int AFinished) {
    const bool last = AFinished + 1 >= nb_input_files();
    const TAVInputFile& input = Finput_files[AFinished];
    for (int s = 0; s < input.nb_streams; ++s) {
        TAVInputStream& ist = Finput_streams[input.ist_index + s];
        if (!ist.decoding_needed)
            continue;
        // The encoders drain only at the very end: they go on with the next input.
        process_packet(ist, nullptr, last);
        if (ist.dec_ctx)
            ff::avcodec_flush_buffers(ist.dec_ctx.get());
        ist.decoder_flushed = 1;
    }
    if (!last) {
        // What the filter graphs still hold and the last picture's time belong to this
        // input; the encoders go on.
        for (int s = 0; s < Fslot_stream_count; ++s) {
            TAVOutputStream& ost = *Frun_streams[static_cast<size_t>(AFinished) * Fslot_stream_count + s];
            if (ost.kind != AVMEDIA_TYPE_VIDEO || !ost.encoding_needed || !ost.encoder_opened)
                continue;
            if (ost.graph)
                process_video_frame(output_file_of(ost), ost, Finput_streams[ost.source_index], nullptr);
            fill_video_to_end(output_file_of(ost), ost);
        }
        reopen_encoders(AFinished);
    }
    const int slot = Fslot_stream_count;
    for (size_t i = static_cast<size_t>(AFinished + 1) * slot; i < Frun_streams.size(); ++i) {
        Frun_streams[i]->sync_opts = Frun_streams[i - slot]->sync_opts;
        Frun_streams[i]->frame_number = Frun_streams[i - slot]->frame_number;
    }
    double end = 0;
    for (int s = 0; s < slot; ++s)
        end = std::max(end, output_time(*Frun_streams[static_cast<size_t>(AFinished) * slot + s]));
    if (last)
        return false; // the final report still counts the last slot's pictures
    for (int s = 0; s < slot; ++s)
        Frun_streams[static_cast<size_t>(AFinished) * slot + s]->show_fps = 0;
    Finput_files[AFinished + 1].ts_offset += std::llround(end * 1000000.0);
    FCurrentInput = AFinished + 1;
    return true;
}

int TCustomFFmpeg::process_packet(TAVInputStream& AIst, const AVPacket* APacket, bool AFlushEncoders) {
    const AVRational tb = AIst.st->time_base;
    const AVCodecParameters* par = AIst.st->codecpar;
    const int istIndex = static_cast<int>(&AIst - Finput_streams.data());
    if (AIst.next_pts == AV_NOPTS_VALUE)
        AIst.next_pts = AIst.pts;
    int64_t packetPts = AV_NOPTS_VALUE;
    if (APacket) {
        if (APacket->dts != AV_NOPTS_VALUE)
            AIst.next_pts = AIst.pts = ff::av_rescale_q(APacket->dts, tb, MicrosecondBase);
        if (APacket->pts != AV_NOPTS_VALUE)
            packetPts = ff::av_rescale_q(APacket->pts, tb, MicrosecondBase);
    }

    auto rateEmulation = [&] {
        if (!FRun->rate_emu)
            return;
        for (;;) {
            const int64_t ahead = AIst.pts - (SteadyMicroseconds() - AIst.start);
            if (ahead <= 1000 || Broken())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(ahead / 1000, 50)));
        }
    };

    if (AIst.decoding_needed && APacket && APacket->size == 0) {
        // A picture without data repeats the one before: only the stream's time moves on.
        if (par->codec_type == AVMEDIA_TYPE_VIDEO)
            AIst.next_pts += APacket->duration > 0 ? ff::av_rescale_q(APacket->duration, tb, MicrosecondBase)
                                                   : FrameDurationOf(AIst, nullptr);
        return 0;
    }
    if (AIst.decoding_needed) {
        AVCodecContext* dec = AIst.dec_ctx.get();
        if (!dec)
            return -1;
        switch (par->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
        case AVMEDIA_TYPE_VIDEO: {
            if (!AIst.decoded)
                AIst.decoded.reset(ff::av_frame_alloc());
            if (!AIst.decoded)
                throw FFmpegException("Could not allocate a frame");
            int frames = 0;
            const int ret = DecodePacket(dec, APacket, AIst.decoded.get(), [&](AVFrame* AFrame) {
                if (APacket && ++frames > 1 &&
                    ((!AIst.showed_multi_packet_warning && FRun->verbose > 0) || FRun->verbose > 1)) {
                    GetLogger().LogF(this, llError, "Multiple frames in a packet from stream %d",
                                     AIst.st->index);
                    AIst.showed_multi_packet_warning = 1;
                }
                if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
                    AIst.pts = AIst.next_pts;
                    if (AFrame->sample_rate > 0)
                        AIst.next_pts += ff::av_rescale(AFrame->nb_samples, 1000000, AFrame->sample_rate);
                    process_audio_block(AIst, AFrame);
                } else {
                    const int64_t ts = AFrame->best_effort_timestamp;
                    const int64_t at =
                        ts != AV_NOPTS_VALUE ? ff::av_rescale_q(ts, tb, MicrosecondBase) : AIst.next_pts;
                    if (AIst.last_frame_pts != AV_NOPTS_VALUE && at > AIst.last_frame_pts)
                        AIst.last_frame_interval = at - AIst.last_frame_pts;
                    AIst.last_frame_pts = at;
                    AIst.pts = AIst.next_pts = at;
                    AIst.next_pts += FrameDurationOf(AIst, AFrame);
                    AIst.quality = static_cast<float>(AFrame->quality);
                    pre_process_video_frame(AIst, AFrame);
                }
                rateEmulation();
                dispatch_frame(AIst, AFrame);
            });
            if (ret < 0 && ret != AVERROR_EOF)
                return -1;
            break;
        }
        case AVMEDIA_TYPE_SUBTITLE: {
            // Only decoders that hold subtitles back have something to give at the end.
            if (!APacket && !(dec->codec && (dec->codec->capabilities & AV_CODEC_CAP_DELAY)))
                break;
            TPacketPtr empty;
            if (!APacket) {
                empty.reset(ff::av_packet_alloc());
                if (!empty)
                    throw FFmpegException("Could not allocate a packet");
            }
            for (;;) {
                AVSubtitle sub{};
                int got = 0;
                if (ff::avcodec_decode_subtitle2(dec, &sub, &got,
                                                 APacket ? const_cast<AVPacket*>(APacket) : empty.get()) < 0)
                    return -1;
                if (!got)
                    break;
                struct TFreeSubtitle {
                    AVSubtitle* S;
                    ~TFreeSubtitle() { ff::avsubtitle_free(S); }
                } freeSub{&sub};
                rateEmulation();
                if (FRun->start_time == 0 || AIst.pts >= FRun->start_time)
                    for (TAVOutputStream* ost : Frun_streams)
                        if (ost->source_index == istIndex && ost->encoding_needed)
                            do_subtitle_out(output_file_of(*ost), *ost, AIst, &sub,
                                            packetPts != AV_NOPTS_VALUE ? packetPts : AIst.pts);
                if (APacket)
                    break;
            }
            break;
        }
        default:
            return -1;
        }
    } else if (APacket) {
        // Copied only: the stream's position moves by the packet's length.
        int64_t duration =
            APacket->duration > 0 ? ff::av_rescale_q(APacket->duration, tb, MicrosecondBase) : 0;
        if (duration == 0) {
            if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
                duration = ff::av_rescale(par->frame_size, 1000000, par->sample_rate);
            else if (par->codec_type == AVMEDIA_TYPE_VIDEO)
                duration = FrameDurationOf(AIst, nullptr);
        }
        AIst.next_pts += duration;
        rateEmulation();
    }

    if (APacket && (FRun->start_time == 0 || AIst.pts >= FRun->start_time))
        for (TAVOutputStream* ost : Frun_streams)
            if (ost->source_index == istIndex && !ost->encoding_needed)
                do_streamcopy(AIst, *ost, APacket);

    if (!APacket && AFlushEncoders)
        for (TAVOutputStream* ost : Frun_streams) {
            if (ost->source_index != istIndex || !ost->encoding_needed || !ost->enc_ctx ||
                !ost->encoder_opened)
                continue;
            if (ost->kind == AVMEDIA_TYPE_AUDIO)
                flush_audio_out(output_file_of(*ost), *ost);
            else if (ost->kind == AVMEDIA_TYPE_VIDEO)
                flush_video_out(output_file_of(*ost), *ost);
        }
    return 0;
}

void TCustomFFmpeg::dispatch_frame(TAVInputStream& AIst, AVFrame* AFrame) {
    if (FRun->start_time != 0 && AIst.pts < FRun->start_time)
        return;
    const int istIndex = static_cast<int>(&AIst - Finput_streams.data());
    for (TAVOutputStream* ost : Frun_streams) {
        if (ost->source_index != istIndex || !ost->encoding_needed)
            continue;
        switch (ost->kind) {
        case AVMEDIA_TYPE_AUDIO:
            do_audio_out(output_file_of(*ost), *ost, AIst, AFrame);
            break;
        case AVMEDIA_TYPE_VIDEO:
            process_video_frame(output_file_of(*ost), *ost, AIst, AFrame);
            break;
        default:
            throw FFmpegException("invalid codec_type");
        }
    }
}

void TCustomFFmpeg::do_streamcopy(TAVInputStream& AIst, TAVOutputStream& AOst, const AVPacket* APacket) {
    // What comes before the first key frame cannot be decoded from the copy.
    if (AOst.frame_number == 0 && !(APacket->flags & AV_PKT_FLAG_KEY) && !FRun->copy_initial_nonkeyframes)
        return;
    if (AOst.kind == AVMEDIA_TYPE_AUDIO)
        Faudio_size += APacket->size;
    else if (AOst.kind == AVMEDIA_TYPE_VIDEO) {
        Fvideo_size += APacket->size;
        ++AOst.sync_opts;
    }
    TPacketPtr out(ff::av_packet_alloc());
    if (!out || ff::av_packet_ref(out.get(), APacket) < 0)
        throw FFmpegException("Could not copy a packet");
    const AVRational itb = AIst.st->time_base;
    const AVRational otb = AOst.st->time_base;
    const int64_t startOffset = ff::av_rescale_q(FRun->start_time, MicrosecondBase, otb);
    out->pts = APacket->pts != AV_NOPTS_VALUE ? ff::av_rescale_q(APacket->pts, itb, otb) - startOffset
                                              : AV_NOPTS_VALUE;
    out->dts = (APacket->dts == AV_NOPTS_VALUE ? ff::av_rescale_q(AIst.pts, MicrosecondBase, otb)
                                               : ff::av_rescale_q(APacket->dts, itb, otb)) -
               startOffset;
    out->duration = ff::av_rescale_q(APacket->duration, itb, otb);
    out->pos = -1;
    const int64_t end = std::max(out->dts, out->pts == AV_NOPTS_VALUE ? out->dts : out->pts) + out->duration;
    write_in_order(output_file_of(AOst), std::move(out), AOst);
    ++AOst.frame_number;
    AOst.copy_end_time = ff::av_rescale_q(end, otb, MicrosecondBase);
}

void TCustomFFmpeg::do_subtitle_out(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                                    AVSubtitle* ASub, int64_t APts) {
    (void)AIst;
    if (APts == AV_NOPTS_VALUE) {
        if (FRun->exit_on_error)
            throw FFmpegException("Subtitle packets must have a pts");
        GetLogger().Log(this, llError, "Subtitle packets must have a pts");
        return;
    }
    if (Fsubtitle_out.empty())
        Fsubtitle_out.resize(1 << 20);
    AVCodecContext* enc = AOst.enc_ctx.get();
    // DVB subtitles are shown by one packet and cleared by a second, empty one.
    const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const unsigned rects = ASub->num_rects;
    for (int pass = 0; pass < (dvb ? 2 : 1); ++pass) {
        ASub->pts = APts - FRun->start_time + static_cast<int64_t>(ASub->start_display_time) * 1000;
        ASub->end_display_time -= ASub->start_display_time;
        ASub->start_display_time = 0;
        if (pass == 1)
            ASub->num_rects = 0;
        const int size = ff::avcodec_encode_subtitle(enc, Fsubtitle_out.data(),
                                                     static_cast<int>(Fsubtitle_out.size()), ASub);
        ASub->num_rects = rects;
        if (size < 0)
            throw FFmpegException("Subtitle encoding failed");
        TPacketPtr pkt(ff::av_packet_alloc());
        if (!pkt || ff::av_new_packet(pkt.get(), size) < 0)
            throw FFmpegException("Could not allocate a packet");
        std::copy(Fsubtitle_out.data(), Fsubtitle_out.data() + size, pkt->data);
        const AVRational otb = AOst.st->time_base;
        pkt->pts = ff::av_rescale_q(ASub->pts, MicrosecondBase, otb);
        if (dvb) {
            if (pass == 1)
                pkt->pts += ff::av_rescale_q(ASub->end_display_time, AVRational{1, 1000}, otb);
        } else {
            pkt->duration = ff::av_rescale_q(ASub->end_display_time, AVRational{1, 1000}, otb);
        }
        pkt->dts = pkt->pts;
        pkt->flags |= AV_PKT_FLAG_KEY;
        write_in_order(AFile, std::move(pkt), AOst);
        AOst.copy_end_time = ASub->pts;
    }
}

void TCustomFFmpeg::print_report(bool AIsLast, int AFileIndex) {
    // A paused job raises nothing until it is resumed.
    CheckPaused();
    const int64_t now = SteadyMicroseconds();
    FLastReport = now;

    int64_t size = 0;
    if (!Foutput_files.empty())
        if (AVIOContext* pb = Foutput_files[0].ctx->pb) {
            size = ff::avio_size(pb);
            if (size < 0)
                size = ff::avio_seek(pb, 0, SEEK_CUR);
            size = std::max<int64_t>(size, 0);
        }

    // The streams reported: in join mode the current slot's.
    size_t first = 0, last = Frun_streams.size();
    if (FJoinMode) {
        first = static_cast<size_t>(FCurrentInput) * Fslot_stream_count;
        last = std::min(last, first + Fslot_stream_count);
    }
    std::string line;
    int32_t frameNumber = -1;
    int32_t fps = -1;
    float quality = -1;
    bool video = false;
    int64_t reportTime = INT64_MAX;
    for (size_t i = first; i < last; ++i) {
        const TAVOutputStream& ost = *Frun_streams[i];
        const AVCodecContext* enc = ost.enc_ctx.get();
        float q = -1;
        if (ost.encoding_needed && ost.coded_quality >= 0)
            q = static_cast<float>(ost.coded_quality) / FF_QP2LAMBDA;
        if (video && ost.kind == AVMEDIA_TYPE_VIDEO)
            line += FormatText("q=%2.1f ", q);
        if (!video && ost.kind == AVMEDIA_TYPE_VIDEO && ost.show_fps == 1) {
            if (ost.frame_number < 1)
                return; // nothing to tell before the first picture
            frameNumber = ost.frame_number;
            const double t = (now - Ftimer_start) / 1000000.0;
            fps = t > 1 ? static_cast<int32_t>(std::trunc(frameNumber / t + 0.5)) : 0;
            line += FormatText("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, q);
            if (AIsLast)
                line += "L";
            if (FRun->qp_hist) {
                const int qp = static_cast<int>(std::lround(q));
                if (qp >= 0 && qp < 52)
                    ++QpHistogram()[qp];
                for (int j = 0; j < 32; ++j)
                    line += FormatText("%X", static_cast<int>(std::lround(std::log2(QpHistogram()[j] + 1))));
            }
            if (enc && (enc->flags & AV_CODEC_FLAG_PSNR)) {
                double errorSum = 0, scaleSum = 0;
                line += "PSNR=";
                for (int j = 0; j < 3; ++j) {
                    double error = AIsLast ? static_cast<double>(enc->error[j])
                                           : static_cast<double>(ost.coded_error[j]);
                    double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
                    if (AIsLast)
                        scale *= ost.frame_number;
                    if (j)
                        scale /= 4;
                    errorSum += error;
                    scaleSum += scale;
                    line += FormatText("%c:%2.2f ", "YUV"[j], -10.0 * std::log10(error / scale));
                }
                line += FormatText("*:%2.2f ", -10.0 * std::log10(errorSum / scaleSum));
            }
            video = true;
        }
        reportTime = std::min(reportTime, static_cast<int64_t>(std::llround(output_time(ost) * 1000000.0)));
        quality = q;
    }
    if (reportTime == INT64_MAX)
        reportTime = 0;

    float bitRate = 0;
    if (OnProgress || FRun->verbose > 0 || AIsLast) {
        const int64_t t = std::max<int64_t>(reportTime, 0);
        bitRate = t > 0 ? static_cast<float>(size * 8.0 / (t / 1000.0)) : 0.0f;
        const int64_t secs = t / 1000000;
        line += FormatText("size=%8.0fkB time=%02d:%02d:%02d.%02d bitrate=%6.1fkbits/s", size / 1024.0,
                           static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                           static_cast<int>(secs % 60), static_cast<int>(t / 10000 % 100), bitRate);
        if (Fnb_frames_dup || Fnb_frames_drop)
            line += FormatText(" dup=%d drop=%d", Fnb_frames_dup, Fnb_frames_drop);
        if (FShowDupOrDrop && FRun->verbose >= 0 && OnProgress) {
            FShowDupOrDrop = false;
            GetLogger().Log(this, llVerbose, line);
        }
        if (OnProgress)
            OnProgress(this, AIsLast ? -1 : AFileIndex, frameNumber, fps, quality, bitRate, size, reportTime,
                       FTotalOutputDuration);
        else if (FRun->verbose >= 0)
            GetLogger().Log(this, llVerbose, line);
    }

    if (AIsLast && FRun->verbose >= 0) {
        const double headers = static_cast<double>(Fvideo_size + Faudio_size + Fextra_size);
        GetLogger().LogF(this, llVerbose,
                         "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                         Fvideo_size / 1024.0, Faudio_size / 1024.0, Fextra_size / 1024.0,
                         headers > 0 ? (size - headers) * 100.0 / headers : 0.0);
    }
}

} // namespace vx
