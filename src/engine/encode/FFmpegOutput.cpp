// Encoding a frame and writing packets: the one road from an encoder or a copied
// stream into the output file. Encoding runs on the run's thread or on a stage thread;
// writing always on the run's thread, in the order the work was handed out.
#include "base/CodecLoop.h"
#include "base/FFLog.h"
#include "decode/FFUtils.h"
#include "encode/FFmpeg.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace vx {

namespace {

// The encoder tells a coded picture's quality, type and squared error through the
// packet's side data; the statistics file and the progress report show them.
void RecordQualityStats(TAVOutputStream& AOst, const AVPacket* APacket) {
    size_t size = 0;
    const uint8_t* data = ff::av_packet_get_side_data(APacket, AV_PKT_DATA_QUALITY_STATS, &size);
    if (!data || size < 6)
        return;
    AOst.coded_quality = static_cast<int32_t>(AV_RL32(data));
    AOst.coded_pict_type = data[4];
    const size_t errors = data[5];
    for (size_t i = 0; i < 4; ++i)
        AOst.coded_error[i] =
            i < errors && size >= 8 + 8 * (i + 1) ? static_cast<int64_t>(AV_RL64(data + 8 + 8 * i)) : 0;
}

} // namespace

void TCustomFFmpeg::encode_frame(TAVOutputStream& AOst, const AVFrame* AFrame, const char* AFailure,
                                 const TPacketSink& ASink) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet)
        throw FFmpegException("Could not allocate a packet");
    const int ret = EncodeFrame(enc, AFrame, packet.get(), [&](AVPacket* APacket) {
        if (AOst.logfile && enc->stats_out)
            std::fprintf(AOst.logfile.get(), "%s", enc->stats_out);
        ff::av_packet_rescale_ts(APacket, enc->time_base, AOst.st->time_base);
        ASink(APacket);
    });
    CheckResult(ret, AFailure, llError);
}

int TCustomFFmpeg::encode_on_stage(TAVOutputFile& AFile, TAVOutputStream& AOst, TEncodeWork AWork) {
    if (!FPipeline) {
        int lastSize = 0;
        AWork([&](AVPacket* APacket) {
            lastSize = APacket->size;
            write_encoded_packet(AFile, AOst, APacket);
        });
        return lastSize;
    }
    // The audio stage owns the audio stream's position while it runs; the report reads the
    // position of what was written.
    const bool audio = AOst.enc_ctx->codec_type == AVMEDIA_TYPE_AUDIO;
    FPipeline->Submit(
        audio ? AudioStage : VideoStage,
        [&AOst, audio, work = std::move(AWork)](TStageResult& AResult) {
            work([&](AVPacket* APacket) { AResult.Keep(APacket); });
            if (audio)
                AResult.Position = AOst.sync_opts;
        },
        [this, &AFile, &AOst, audio](TStageResult& AResult) {
            for (TPacketPtr& packet : AResult.Packets)
                write_encoded_packet(AFile, AOst, packet.get());
            if (audio)
                AOst.written_opts = AResult.Position;
        });
    return 0;
}

void TCustomFFmpeg::write_encoded_packet(TAVOutputFile& AFile, TAVOutputStream& AOst, AVPacket* APacket) {
    const AVMediaType type = AOst.enc_ctx->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO) {
        Fvideo_size += APacket->size;
        RecordQualityStats(AOst, APacket);
    } else if (type == AVMEDIA_TYPE_AUDIO)
        Faudio_size += APacket->size;
    write_output_packet(AFile, APacket, AOst);
}

void TCustomFFmpeg::write_in_order(TAVOutputFile& AFile, TPacketPtr APacket, TAVOutputStream& AOst) {
    if (!FPipeline) {
        write_output_packet(AFile, APacket.get(), AOst);
        return;
    }
    TStageResult ready;
    ready.Packets.push_back(std::move(APacket));
    FPipeline->SubmitReady(std::move(ready), [this, &AFile, &AOst](TStageResult& AResult) {
        write_output_packet(AFile, AResult.Packets.front().get(), AOst);
    });
}

void TCustomFFmpeg::write_output_packet(TAVOutputFile& AFile, AVPacket* APacket, TAVOutputStream& AOst) {
    APacket->stream_index = AOst.st->index;
    // Each filter of the chain takes what the one before it gave; a filter may hold a
    // packet back or give several.
    std::vector<TPacketPtr> pending;
    pending.emplace_back(ff::av_packet_alloc());
    if (!pending.back())
        throw FFmpegException("Could not allocate a packet");
    CheckResult(ff::av_packet_ref(pending.back().get(), APacket), "Could not reference a packet");
    for (const TBSFContextPtr& filter : AOst.bitstream_filters) {
        std::vector<TPacketPtr> filtered;
        for (TPacketPtr& in : pending) {
            int ret = ff::av_bsf_send_packet(filter.get(), in.get());
            while (ret >= 0) {
                TPacketPtr out(ff::av_packet_alloc());
                CheckAllocated(out.get(), "Could not allocate a packet");
                ret = ff::av_bsf_receive_packet(filter.get(), out.get());
                if (ret >= 0)
                    filtered.push_back(std::move(out));
            }
            if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
                const std::string text = std::string(filter->filter->name) + " failed for stream " +
                                         std::to_string(APacket->stream_index) + ", codec " +
                                         (AOst.encoding_needed ? AOst.enc_ctx->codec->name : "copy") + ": " +
                                         ErrorMessage(ret);
                if (FRun->exit_on_error)
                    throw FFmpegException(text);
                GetLogger().Log(this, llError, text);
            }
        }
        pending = std::move(filtered);
    }
    for (TPacketPtr& out : pending) {
        const int ret = ff::av_interleaved_write_frame(AFile.ctx.get(), out.get());
        if (ret < 0)
            throw FFmpegException("av_interleaved_write_frame(): " + ErrorMessage(ret));
        ++AFile.packets_written;
    }
}

} // namespace vx
