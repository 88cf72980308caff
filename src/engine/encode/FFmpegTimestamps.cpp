// The timestamps of a demuxed packet on their way into the run: the file's offset and
// the stream's scale, then the repairs of timestamps that cannot be right.
//
// - A jump where the container allows its clock to jump (AVFMT_TS_DISCONT) moves the
//   whole file's offset, so that every stream of it continues where it was.
// - A stream whose timestamps stray far from the file's clock (the last timestamp of
//   any stream of the file) has jumped on its own: a flipped bit, a counter that
//   wrapped, a start the writer got wrong. Its own offset makes it go on from where it
//   was (at its first packet: from the file's clock); the other streams are left alone.
//   Filling such a gap would mean hours of repeated pictures or silence.
// - A stream whose first timestamp lies well before the start its demuxer declares for
//   it (leading packets without sound that pushed the first timestamp back) is moved to
//   that start, instead of losing its opening to the audio sync.
// The first timestamp of a stream is never compared with the stream's assumed start:
// that is no jump.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/FFLog.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

// How far (µs) a stream may stray from the file's clock before it counts as a jump of
// its own: well beyond any interleaving a muxer uses.
constexpr int64_t StrayLimit = 60 * int64_t(AV_TIME_BASE);
// How far (µs) before its declared start a stream may begin (encoder delay, reordered
// pictures) before it is moved to that start.
constexpr int64_t EarlyStartLimit = AV_TIME_BASE;

void Shift(AVPacket* APacket, int64_t AMicroseconds, AVRational ATimeBase) {
    const int64_t shift = ff::av_rescale_q(AMicroseconds, MicrosecondBase, ATimeBase);
    if (APacket->dts != AV_NOPTS_VALUE)
        APacket->dts += shift;
    if (APacket->pts != AV_NOPTS_VALUE)
        APacket->pts += shift;
}

} // namespace

void TCustomFFmpeg::correct_timestamps(TAVInputFile& AFile, TAVInputStream& AIst, AVPacket* APacket) {
    const AVRational tb = AIst.st->time_base;
    const int streamIndex = APacket->stream_index;

    // e. The file's and the stream's offsets, and the stream's scale.
    Shift(APacket, AFile.ts_offset + AIst.ts_offset, tb);
    if (streamIndex < static_cast<int>(AFile.ts_scale.size()) && AFile.ts_scale[streamIndex] != 0) {
        const double scale = AFile.ts_scale[streamIndex];
        if (APacket->dts != AV_NOPTS_VALUE)
            APacket->dts = std::llround(APacket->dts * scale);
        if (APacket->pts != AV_NOPTS_VALUE)
            APacket->pts = std::llround(APacket->pts * scale);
    }
    if (APacket->dts == AV_NOPTS_VALUE || FRun->copy_ts)
        return;

    auto moveStream = [&](int64_t ADelta, const char* AWhy) {
        AIst.ts_offset -= ADelta;
        Shift(APacket, -ADelta, tb);
        GetLogger().LogF(this, llVerbose, "Input stream #%d.%d: %s, timestamps moved by %0.3f s",
                         AIst.file_index, AIst.st->index, AWhy, -ADelta / 1000000.0);
    };

    int64_t dts = ff::av_rescale_q(APacket->dts, tb, MicrosecondBase);
    const bool first = !AIst.saw_timestamp;
    AIst.saw_timestamp = 1;

    // A stream that starts well before its declared start.
    if (first && AIst.st->start_time != AV_NOPTS_VALUE) {
        const int64_t declared =
            ff::av_rescale_q(AIst.st->start_time, tb, MicrosecondBase) + AFile.ts_offset + AIst.ts_offset;
        const int64_t at =
            APacket->pts != AV_NOPTS_VALUE ? ff::av_rescale_q(APacket->pts, tb, MicrosecondBase) : dts;
        if (at < declared - EarlyStartLimit) {
            moveStream(at - declared, "starts before its declared start");
            dts = ff::av_rescale_q(APacket->dts, tb, MicrosecondBase);
        }
    }

    // A stream far away from the file's clock. Before any packet the clock is the file's
    // start; a clock that only this stream has set also allows the file's own length.
    const int64_t clock = AFile.clock != AV_NOPTS_VALUE ? AFile.clock : 0;
    int64_t limit = StrayLimit;
    if (AFile.clock_stream == streamIndex && AFile.ctx && AFile.ctx->duration > 0)
        limit = std::max(limit, AFile.ctx->duration);
    if (std::llabs(dts - clock) > limit) {
        // It goes on from where it was, or, at its first packet, from the file's clock.
        const int64_t resume = !first && AIst.next_pts != AV_NOPTS_VALUE ? AIst.next_pts : clock;
        moveStream(dts - resume, "timestamp jump");
        dts = resume;
    } else if (!first && AIst.next_pts != AV_NOPTS_VALUE && (AFile.ctx->iformat->flags & AVFMT_TS_DISCONT)) {
        // f. A jump of the container's clock: the whole file moves.
        const int64_t delta = dts - AIst.next_pts;
        if (std::fabs(static_cast<double>(delta)) > FRun->dts_delta_threshold * 1000000.0 ||
            dts + 1 < AIst.pts) {
            AFile.ts_offset -= delta;
            Shift(APacket, -delta, tb);
            dts -= delta;
            if (FRun->verbose > 2)
                GetLogger().LogF(this, llVerbose, "timestamp discontinuity %d, new offset= %d",
                                 static_cast<int>(delta), static_cast<int>(AFile.ts_offset));
        }
    }
    AFile.clock = dts;
    AFile.clock_stream = streamIndex;
}

} // namespace vx
