// The decoder's seeking: by time or byte position, onto the key frame at or before a time,
// and stepping between key frames and back one picture.
#include "FFDecode.h"

#include <algorithm>

#include "base/FFLog.h"
#include "base/TextFormat.h"

namespace vx {
namespace {

// Pictures read after a seek in search of a key frame before the search is given up: more
// than the longest distance between key frames that encoders use.
constexpr int MaxPicturesBeforeKeyFrame = 1000;
// Seeks back, each twice as far as the one before, from one picture on.
constexpr int MaxKeyFrameSeeks = 40;

} // namespace

int64_t TFFDecoder::Position() {
    if (!FileHandle()) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return -1;
    }
    const int64_t pos = FileHandle()->pb ? ff::avio_seek(FileHandle()->pb, 0, SEEK_CUR) : -1;
    if (pos < 0) {
        ReportError(AV_LOG_WARNING, "cannot get position");
        return -1;
    }
    return pos;
}

bool TFFDecoder::PrepareSeek(int64_t& APTS, TSeekFlags AFlags) {
    if (!CheckOwnFile())
        return false;
    if (FormatName() == "image2") {
        ReportError(AV_LOG_INFO, "\"image2\" format cannot to be seeked.");
        return false;
    }
    AVFormatContext* ctx = FileHandle();
    GetLogger().Log(this, llDebug, FormatText("current position %lld bytes", (long long)Position()));
    // Before any picture, the times of the first video stream: the library's own choice of
    // stream may be one without key frames in the index (sound), which lands at the start.
    if (FSeekIndex < 0)
        FSeekIndex = FirstVideoStreamIndex();
    // At the very start, half a frame early, so that the first picture is found.
    if (APTS == 0 && FFrameRate.num && FFrameRate.den && FSeekIndex >= 0 && IsVideoStream(FSeekIndex))
        APTS = -(FrameDuration() / 2);
    if (!(AFlags & sfByte)) {
        int64_t base = ctx->start_time;
        if (FSeekIndex >= 0) {
            const AVStream* st = ctx->streams[FSeekIndex];
            APTS = ff::av_rescale_q(APTS, AV_TIME_BASE_Q, st->time_base);
            base = st->start_time;
        }
        if (Known(base))
            APTS += base;
    }
    if (FCodec)
        ff::avcodec_flush_buffers(FCodec.get());
    if (FAudioCodec)
        ff::avcodec_flush_buffers(FAudioCodec.get());
    // Samples that the resampler holds belong before the new position, and so do the pictures
    // that the deinterlacer compares the next one with.
    CloseResampler();
    FDeinterlacer.Reset();
    FEOF = false;
    FEOFpkt = false;
    DropPendingPacket();
    ResetPicture();
    ResetWave();
    return true;
}

bool TFFDecoder::SeekInput(int64_t APTS, int64_t AMin, int64_t AMax, TSeekFlags AFlags) {
    AVFormatContext* ctx = FileHandle();
    int ret = ff::avformat_seek_file(ctx, FSeekIndex, AMin, APTS, AMax, AFlags);
    if (ret < 0)
        ret = ff::av_seek_frame(ctx, FSeekIndex, APTS, AFlags);
    if (ret < 0)
        ret = ff::av_seek_frame(ctx, FSeekIndex, APTS, AFlags ^ sfBackward);
    if (ret >= 0)
        GetLogger().Log(this, llDebug, FormatText("seek to position %lld bytes", (long long)Position()));
    return ret >= 0;
}

TFFDecoder::TKeyPacket TFFDecoder::ReadKeyPacket() {
    TKeyPacket key;
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet)
        return key;
    for (int pictures = 0; pictures < MaxPicturesBeforeKeyFrame;) {
        const int ret = ReadPacket(packet.get());
        if (ret < 0) {
            if (ret == AVERROR_EOF || (FileHandle()->pb && FileHandle()->pb->eof_reached))
                key.State = TKeyPacket::End;
            return key;
        }
        if (packet->stream_index == FSeekIndex) {
            if (packet->flags & AV_PKT_FLAG_KEY) {
                key.State = TKeyPacket::Found;
                key.Time = Known(packet->pts) ? packet->pts : packet->dts;
                key.Packet = std::move(packet);
                return key;
            }
            ++pictures;
        }
        ff::av_packet_unref(packet.get());
    }
    return key;
}

bool TFFDecoder::SeekToKeyFrame(int64_t APTS, TSeekFlags AFlags) {
    const AVStream* st = FileHandle()->streams[FSeekIndex];
    const int64_t first = Known(st->start_time) ? st->start_time : 0;
    const int64_t second = ff::av_rescale_q(1000000, AV_TIME_BASE_Q, st->time_base);
    const int64_t frame =
        std::max<int64_t>(ff::av_rescale_q(FrameDuration(), AV_TIME_BASE_Q, st->time_base), 1);
    // Beyond the end the steps back start from the end, not from the time asked for.
    const AVFormatContext* ctx = FileHandle();
    const int64_t duration = Known(st->duration) ? st->duration
                             : Known(ctx->duration)
                                 ? ff::av_rescale_q(ctx->duration, AV_TIME_BASE_Q, st->time_base)
                                 : AV_NOPTS_VALUE;
    if (Known(duration) && duration > 0)
        APTS = std::min(APTS, first + duration);
    int64_t back = 0;
    for (int attempt = 0; attempt < MaxKeyFrameSeeks; ++attempt) {
        const int64_t at = APTS - back;
        if (!SeekInput(at, INT64_MIN, INT64_MAX, AFlags))
            return attempt > 0 && SeekInput(APTS, INT64_MIN, INT64_MAX, AFlags);
        TKeyPacket key = ReadKeyPacket();
        // A second before the stream's start nothing earlier is left to find.
        const bool beforeStart = at < first - second;
        if (key.State == TKeyPacket::Found &&
            (!Known(key.Time) || key.Time <= std::max(APTS, first) || beforeStart)) {
            PutBackPacket(std::move(key.Packet));
            return true;
        }
        if (key.State == TKeyPacket::Unknown || beforeStart)
            break;
        // The library landed after the key frame, or after the last one: further back.
        back = back ? back * 2 : frame;
    }
    // Nothing to judge by: where the library places the input.
    return SeekInput(APTS, INT64_MIN, INT64_MAX, AFlags);
}

bool TFFDecoder::Seek(int64_t APTS, TSeekFlags AFlags) {
    int64_t target = APTS;
    if (!PrepareSeek(target, AFlags))
        return false;
    const AVFormatContext* ctx = FileHandle();
    // A key frame is what the seek stream's pictures are decoded from: the library's search by
    // timestamps may land on any picture, and the decoder then starts at the next key frame.
    const bool toKeyFrame = !(AFlags & (sfByte | sfAny | sfFrame)) && FSeekIndex >= 0 &&
                            ctx->streams[FSeekIndex]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    if (toKeyFrame ? SeekToKeyFrame(target, AFlags) : SeekInput(target, INT64_MIN, INT64_MAX, AFlags))
        return true;
    ReportError(AV_LOG_ERROR,
                (AFlags & sfByte)
                    ? FormatText("could not seek to position %lld bytes", (long long)APTS)
                    : FormatText("could not seek to position %0.3f seconds", double(APTS) / 1000000));
    return false;
}

bool TFFDecoder::DecodeNextKeyFrame(int AStreamIndex) {
    if (!CheckOwnFile() || SelectVideoStream(AStreamIndex) < 0)
        return false;
    const int64_t current = Known(FPicture.PTS) && FPicture.PTS > 0 ? FPicture.PTS : 0;
    const int64_t from = current + FrameDuration();
    // Only a key frame at or after the time is a next one: the bounds keep the library from
    // going back to the current one.
    int64_t target = from;
    if (!PrepareSeek(target, 0))
        return false;
    if (!SeekInput(target, target, INT64_MAX, 0)) {
        ReportError(AV_LOG_ERROR,
                    FormatText("could not seek to position %0.3f seconds", double(from) / 1000000));
        return false;
    }
    if (!Decode(AStreamIndex))
        return false;
    // Past the last key frame the library goes back to it rather than fail.
    if (FPicture.PTS < from) {
        ReportError(AV_LOG_INFO, FormatText("no key frame after %0.3f seconds.", double(current) / 1000000));
        return false;
    }
    return true;
}

bool TFFDecoder::DecodePreviousKeyFrame(int AStreamIndex) {
    if (!CheckOwnFile() || SelectVideoStream(AStreamIndex) < 0)
        return false;
    const int64_t duration = FileHandle()->duration;
    const int64_t target = Known(FPicture.PTS) ? FPicture.PTS
                           : Known(FLastPTS)   ? FLastPTS
                           : Known(duration)   ? duration
                                               : 0;
    const int64_t frame = FrameDuration();
    const int64_t start = Position();
    for (int64_t k = 1;; ++k) {
        const int64_t before = Position();
        if (Seek(target - k * frame, sfBackward)) {
            const int64_t now = Position();
            // Still where the current picture was read: one more step back is needed.
            if (now >= start && start > 0 && now != before && target >= k * frame)
                continue;
            if (Decode(AStreamIndex)) {
                if (FPicture.PTS < target || FPicture.PTS <= 0)
                    return true;
                continue;
            }
        }
        if (target < k * frame || FEOF)
            break;
    }
    SetLastErrMsg("Could not seek to the previous key-frame. " + LastErrMsg());
    return false;
}

bool TFFDecoder::DecodePreviousFrame(int AStreamIndex) {
    if (!CheckOwnFile() || SelectVideoStream(AStreamIndex) < 0)
        return false;
    const int64_t current = Known(FPicture.PTS) ? FPicture.PTS : FLastPTS;
    const int64_t target = (Known(current) ? current : 0) - 2 * FrameDuration();
    if (!DecodePreviousKeyFrame(AStreamIndex))
        return false;
    // The first picture after the target: the key frame itself when it is that one.
    while (FPicture.PTS <= target)
        if (!Decode(AStreamIndex))
            return false;
    return true;
}

} // namespace vx
