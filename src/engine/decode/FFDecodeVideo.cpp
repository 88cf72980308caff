// The decoder's pictures: selecting and opening the video stream, decoding one picture at
// a time, and the picture as a bitmap.
#include "FFDecode.h"

#include <cstring>
#include <stdexcept>

#include "FFUtils.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/TextFormat.h"

namespace vx {

void TFFDecoder::TAVFree::operator()(uint8_t* ABuffer) const {
    ff::av_free(ABuffer);
}

TFFDecoder::TFFDecoder() = default;

TFFDecoder::~TFFDecoder() {
    TFFDecoder::CloseFile();
}

void TFFDecoder::CloseFile() {
    FDeinterlacer.Reset();
    FCodec.reset();
    FCodecStream = -1;
    FAudioCodec.reset();
    FAudioCodecStream = -1;
    CloseResampler();
    FSeekIndex = -1;
    FDesireVideoIndex = -1;
    FDesireAudioIndex = -1;
    FFrameRate = {0, 0};
    FDeinterlace = false;
    FEOF = false;
    FEOFpkt = false;
    ResetPicture();
    FLastPTS = AV_NOPTS_VALUE;
    ResetWave();
    FFrame.reset();
    TCustomDecoder::CloseFile();
}

bool TFFDecoder::CheckOwnFile() {
    if (!FileHandle()) {
        ReportError(AV_LOG_WARNING, "file not loaded.");
        return false;
    }
    if (!OwnHandle()) {
        const char* text = "file cannot be seeked, handle is readonly.";
        ReportError(AV_LOG_WARNING, text);
        throw std::logic_error(text);
    }
    if (!FFrame)
        FFrame.reset(ff::av_frame_alloc());
    if (!FFrame) {
        ReportError(AV_LOG_ERROR, "Out of memory");
        return false;
    }
    return true;
}

int64_t TFFDecoder::FrameDuration() const {
    if (FFrameRate.num == 0 || FFrameRate.den == 0)
        return 1000000 / 25;
    return int64_t(1000000) * FFrameRate.den / FFrameRate.num;
}

int64_t TFFDecoder::StreamTimeToMicroseconds(int64_t ATime, int AStreamIndex) const {
    const AVStream* st = FileHandle()->streams[AStreamIndex];
    if (Known(st->start_time))
        ATime -= st->start_time;
    return ff::av_rescale_q(ATime, st->time_base, AV_TIME_BASE_Q);
}

int TFFDecoder::SelectVideoStream(int AStreamIndex) {
    if (AStreamIndex < 0 && FDesireVideoIndex >= 0)
        AStreamIndex = FDesireVideoIndex;
    const int index = ResolveStream(AStreamIndex, AVMEDIA_TYPE_VIDEO);
    if (index < 0 || index == FDesireVideoIndex)
        return index;

    ResetPicture();
    FDeinterlacer.Reset();
    // The codec's own rate is known once its decoder is open.
    if (!OpenDecoder(FCodec, FCodecStream, index, true))
        return -1;
    FFrameRate = SelectedFrameRate(index);
    FDesireVideoIndex = index;
    FSeekIndex = index;
    return index;
}

AVRational TFFDecoder::SelectedFrameRate(int AStreamIndex) {
    const AVStream* st = FileHandle()->streams[AStreamIndex];
    if (st->avg_frame_rate.num && st->avg_frame_rate.den)
        return st->avg_frame_rate;
    // Without an average the container's base rate serves. The codec's time base counts
    // ticks, and a picture may last several of them (two for field-coded video): only when the
    // two disagree is it worth a word.
    const AVRational base = st->r_frame_rate;
    const AVRational codec = FCodec->time_base;
    const bool agree = codec.num == base.den && codec.den == FCodec->ticks_per_frame * base.num;
    if (!agree && codec.num > 0 && codec.den > 0)
        GetLogger().Log(this, llInfo,
                        FormatText("Seems stream %d codec frame rate differs from container frame rate: "
                                   "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                                   AStreamIndex, double(codec.den) / codec.num, codec.den, codec.num,
                                   base.den ? double(base.num) / base.den : 0.0, base.num, base.den));
    return base;
}

bool TFFDecoder::OpenDecoder(TCodecContextPtr& ACodec, int& ACodecStream, int AStreamIndex, bool AVideo) {
    const AVStream* st = FileHandle()->streams[AStreamIndex];
    if (AVideo && (st->codecpar->width == 0 || st->codecpar->height == 0)) {
        ReportError(AV_LOG_ERROR, "frame size of codec is invalid.");
        return false;
    }
    if (ACodec && ACodecStream == AStreamIndex)
        return true;
    ACodec.reset();
    ACodecStream = -1;
    const AVCodec* codec = ff::avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        ReportError(AV_LOG_ERROR, FormatText("Unsupported codec (id=%d) for input file stream #%d",
                                             int(st->codecpar->codec_id), AStreamIndex));
        return false;
    }
    TCodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    if (!ctx || ff::avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0 ||
        (ctx->pkt_timebase = st->time_base, ff::avcodec_open2(ctx.get(), codec, nullptr) < 0)) {
        ReportError(AV_LOG_ERROR,
                    FormatText("Error while opening codec for input file stream #%d", AStreamIndex));
        return false;
    }
    ACodec = std::move(ctx);
    ACodecStream = AStreamIndex;
    return true;
}

TFFDecoder::TRead TFFDecoder::ReadStreamPacket(int AStreamIndex, AVPacket* APacket) {
    for (;;) {
        const int ret = ReadPacket(APacket);
        if (ret >= 0) {
            if (APacket->stream_index == AStreamIndex)
                return TRead::Packet;
            ff::av_packet_unref(APacket);
            continue;
        }
        if (ret == AVERROR(EAGAIN)) {
            ReportError(AV_LOG_INFO, "no data, please try again.");
            return TRead::Failed;
        }
        if (!FEOFpkt) {
            // The decoder still holds delayed frames: let it release them.
            FEOFpkt = true;
            return TRead::Flush;
        }
        if (ret == AVERROR_EOF || ret == AVERROR(EPIPE) ||
            (FileHandle()->pb && FileHandle()->pb->eof_reached)) {
            ReportError(AV_LOG_INFO, "stream eof reached.");
            FEOF = true;
        } else {
            ReportError(AV_LOG_INFO, FormatText("unknown error #%d.", ret));
        }
        return TRead::Failed;
    }
}

bool TFFDecoder::Decode(int AStreamIndex) {
    if (!CheckOwnFile())
        return false;
    const int index = SelectVideoStream(AStreamIndex);
    if (index < 0)
        return false;
    // A single picture stays the picture: there is nothing after it to read.
    if (FPicture.Ready && IsStillPicture())
        return true;
    if (FEOF && FEOFpkt) {
        ReportError(AV_LOG_INFO, "stream eof reached.");
        return false;
    }
    if (!OpenDecoder(FCodec, FCodecStream, index, true))
        return false;

    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet) {
        ReportError(AV_LOG_ERROR, "Out of memory");
        return false;
    }
    for (;;) {
        const int received = ff::avcodec_receive_frame(FCodec.get(), FFrame.get());
        if (received >= 0)
            break;
        if (received == AVERROR_EOF) {
            FEOF = true;
            ReportError(AV_LOG_INFO, "stream eof reached.");
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            ReportError(AV_LOG_ERROR, ErrorMessage(received));
            return false;
        }
        const TRead read = ReadStreamPacket(index, packet.get());
        if (read == TRead::Failed)
            return false;
        const int sent =
            ff::avcodec_send_packet(FCodec.get(), read == TRead::Packet ? packet.get() : nullptr);
        ff::av_packet_unref(packet.get());
        // A damaged packet is skipped: the pictures after it may still decode.
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF)
            GetLogger().Log(this, llDebug, "skipping a packet: " + ErrorMessage(sent));
    }

    const AVFrame* frame = FFrame.get();
    GetLogger().Log(this, llDebug,
                    FormatText("pkt.st_idx=%d, dts=%lld, pts=%lld, flags=%d, pict_type=%d(%s)", index,
                               (long long)frame->pkt_dts, (long long)frame->pts, frame->flags,
                               int(frame->pict_type), PictureTypeName(frame->pict_type).c_str()));
    if (FDeinterlace)
        DeinterlacePicture(FFrame.get());
    StorePicture(FFrame.get());
    ff::av_frame_unref(FFrame.get());
    return true;
}

void TFFDecoder::DeinterlacePicture(AVFrame* AFrame) {
    // The filter library is not among the ones that describing files needs.
    const int ret = FFLoader().Loaded(avFilter) ? FDeinterlacer.Run(AFrame) : AVERROR(ENOSYS);
    if (ret >= 0)
        return;
    // The picture stays as decoded, and so do the ones after it.
    GetLogger().Log(this, llError,
                    ret == AVERROR(ENOMEM) ? "deinterlace buffer malloc error." : "deinterlacing failed.");
    FDeinterlace = false;
}

bool TFFDecoder::IsStillPicture() {
    // The library reads a picture file through its image sequence demuxer, or, when the
    // contents tell the kind of picture, through that kind's own demuxer ("png_pipe" ...).
    const std::string name = FormatName();
    const std::string pipe = "_pipe";
    return name == "image2" ||
           (name.size() > pipe.size() && name.compare(name.size() - pipe.size(), pipe.size(), pipe) == 0);
}

void TFFDecoder::ResetPicture() {
    if (Known(FPicture.PTS))
        FLastPTS = FPicture.PTS;
    const TPicture picture = FPicture.Picture;
    FPicture = TFrameInfo();
    FPicture.Picture = picture;
}

void TFFDecoder::StorePicture(const AVFrame* AFrame) {
    const auto format = static_cast<AVPixelFormat>(AFrame->format);
    const int size = ff::av_image_get_buffer_size(format, AFrame->width, AFrame->height, 32);
    if (size > FPictureBufferSize) {
        FPictureBuffer.reset(static_cast<uint8_t*>(ff::av_malloc(size_t(size))));
        FPictureBufferSize = FPictureBuffer ? size : 0;
    }
    const int64_t previous = FPicture.PTS;
    FPicture.PixFmt = format;
    FPicture.Width = AFrame->width;
    FPicture.Height = AFrame->height;
    FPicture.IsKeyFrame = AFrame->key_frame == 1;
    FPicture.PictureType = AFrame->pict_type;

    // The presentation time of the packet that started the picture, as the library judges it
    // from presentation and decoding times; the decoding time of the packet that was sent
    // last belongs to a later picture whenever the decoder holds pictures back.
    int64_t time = Known(AFrame->best_effort_timestamp) ? AFrame->best_effort_timestamp
                   : Known(AFrame->pts)                 ? AFrame->pts
                                                        : AFrame->pkt_dts;
    int64_t pts = Known(time) ? StreamTimeToMicroseconds(time, FCodecStream) : AV_NOPTS_VALUE;
    if (!Known(pts) && FEOFpkt && Known(previous) && Known(FLastPTS))
        pts = previous + (previous - FLastPTS);
    if (Known(previous))
        FLastPTS = previous;
    FPicture.PTS = pts;
    if (Known(pts))
        GetLogger().Log(this, llDebug, FormatText("decode PTS: %0.3f", double(pts) / 1000000));
    FPicture.OriginalDTS = AFrame->pkt_dts;
    FPicture.OriginalPTS = AFrame->pts;
    FPicture.StreamIndex = FCodecStream;
    FPicture.Position = AFrame->pkt_pos;
    if (size < 0 || !FPictureBuffer) {
        ReportError(AV_LOG_ERROR, "Out of memory");
        FPicture.Ready = false;
        return;
    }
    uint8_t* data[4] = {};
    int linesize[4] = {};
    ff::av_image_fill_arrays(data, linesize, FPictureBuffer.get(), format, AFrame->width, AFrame->height, 32);
    ff::av_image_copy(data, linesize, const_cast<const uint8_t**>(AFrame->data), AFrame->linesize, format,
                      AFrame->width, AFrame->height);
    std::memcpy(FPicture.Picture.Data, data, sizeof data);
    std::memcpy(FPicture.Picture.Linesize, linesize, sizeof linesize);
    FPicture.Ready = true;
}

bool TFFDecoder::CopyToBitmap(TBitmap& ABitmap) {
    if (!FPicture.Ready) {
        ReportError(AV_LOG_ERROR, "picture not ready, please decode first");
        return false;
    }
    if (!FFormatConv.PictureToRGB(FPicture.Picture, FPicture.PixFmt, true, FPicture.Height, FPicture.Width)) {
        ABitmap.SetSize(FPicture.Width, FPicture.Height);
        ABitmap.FillRect(0, 0, FPicture.Width, FPicture.Height, TRGBColor{});
        ReportError(AV_LOG_ERROR, FFormatConv.LastErrMsg());
        return false;
    }
    const TBitmap& source = FFormatConv.Bitmap();
    ABitmap.SetPixelFormat(source.PixelFormat());
    ABitmap.SetSize(source.Width(), source.Height());
    for (int row = 0; row < source.Height(); ++row)
        std::memcpy(ABitmap.ScanLine(row), source.ScanLine(row), size_t(source.LineSize()));
    return true;
}

const TDIB* TFFDecoder::GetBitmapPtr() {
    if (!FPicture.Ready) {
        ReportError(AV_LOG_ERROR, "picture not ready, please decode first");
        return nullptr;
    }
    if (!FFormatConv.PictureToRGB(FPicture.Picture, FPicture.PixFmt, false, FPicture.Height,
                                  FPicture.Width)) {
        ReportError(AV_LOG_ERROR, FFormatConv.LastErrMsg());
        return nullptr;
    }
    return FFormatConv.DIB();
}

} // namespace vx
