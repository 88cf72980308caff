#include "DurationScan.h"

#include <algorithm>
#include <vector>

#include "FFUtils.h"
#include "base/FormatIO.h"
#include "base/UnicodeProtocol.h"

namespace vx {

namespace {

// Small files are read through; of a larger one this much gives its rate.
constexpr int64_t ScanBytes = 32 << 20;

// First timestamp and end of the last packet of one stream, in its time base.
struct TSpan {
    int64_t First = AV_NOPTS_VALUE;
    int64_t End = AV_NOPTS_VALUE;
    bool Known() const { return First != AV_NOPTS_VALUE && End > First; }
};

} // namespace

bool DurationIsGuessed(const AVFormatContext* AContext) {
    return AContext && AContext->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
}

bool MeasureDuration(AVFormatContext* AContext, const std::string& AURL) {
    // Only a file on disk is read a second time: a stream, a pipe or a device would be asked
    // for its data again, and may never give it.
    const std::string path = LocalPath(AURL);
    if (!AContext->pb || !(AContext->pb->seekable & AVIO_SEEKABLE_NORMAL) || FileSizeOf(path) <= 0)
        return false;
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, AURL, AContext->iformat, nullptr) < 0)
        return false;
    TInputFilePtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0 || raw->nb_streams != AContext->nb_streams ||
        !raw->pb)
        return false;
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet)
        return false;

    std::vector<TSpan> spans(raw->nb_streams);
    bool wholeFile = false;
    while (ff::avio_seek(raw->pb, 0, SEEK_CUR) <= ScanBytes) {
        // Whatever ends the reading, the packets read so far are the measure.
        if (ff::av_read_frame(raw, packet.get()) < 0) {
            wholeFile = true;
            break;
        }
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (ts != AV_NOPTS_VALUE && packet->stream_index >= 0 &&
            packet->stream_index < static_cast<int>(spans.size())) {
            TSpan& span = spans[packet->stream_index];
            span.First = span.First == AV_NOPTS_VALUE ? ts : std::min(span.First, ts);
            const int64_t end = ts + std::max<int64_t>(packet->duration, 0);
            span.End = span.End == AV_NOPTS_VALUE ? end : std::max(span.End, end);
        }
        ff::av_packet_unref(packet.get());
    }

    // The part that was read stands for the whole file in proportion to its bytes.
    double scale = 1;
    if (!wholeFile) {
        const int64_t read = ff::avio_seek(raw->pb, 0, SEEK_CUR);
        const int64_t size = ff::avio_size(raw->pb);
        if (read > 0 && size > read)
            scale = double(size) / double(read);
    }

    int64_t first = INT64_MAX, end = INT64_MIN; // microseconds
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const TSpan& span = spans[i];
        if (!span.Known())
            continue;
        const AVRational tb = raw->streams[i]->time_base;
        first = std::min(first, ff::av_rescale_q(span.First, tb, AV_TIME_BASE_Q));
        end = std::max(end, ff::av_rescale_q(span.End, tb, AV_TIME_BASE_Q));
        AVStream* st = AContext->streams[i];
        const int64_t length = ff::av_rescale_q(span.End - span.First, tb, st->time_base);
        st->duration = static_cast<int64_t>(double(length) * scale);
    }
    if (end <= first)
        return false;
    AContext->duration = static_cast<int64_t>(double(end - first) * scale);
    return true;
}

} // namespace vx
