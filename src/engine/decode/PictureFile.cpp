#include "PictureFile.h"

#include <cmath>
#include <memory>

#include "FFUtils.h"
#include "base/CodecLoop.h"

namespace vx {
namespace {

struct TSwsFree {
    void operator()(SwsContext* AContext) const { ff::sws_freeContext(AContext); }
};

bool Failed(int ACode, const char* AWhat, std::string& AError) {
    if (ACode >= 0)
        return false;
    AError = std::string(AWhat) + ": " + ErrorMessage(ACode);
    return true;
}

} // namespace

bool EncodePng(const TFrameInfo& AFrame, int AWidth, std::vector<uint8_t>& APng, std::string& AError) {
    APng.clear();
    if (!AFrame.Ready || AFrame.Width <= 0 || AFrame.Height <= 0) {
        AError = "picture not ready, please decode first";
        return false;
    }
    const int width = AWidth > 0 ? AWidth : AFrame.Width;
    const int height = std::max(1, int(std::lround(double(width) * AFrame.Height / AFrame.Width)));

    const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec) {
        AError = "the media libraries have no PNG encoder";
        return false;
    }
    TFramePtr rgb(ff::av_frame_alloc());
    if (!rgb) {
        AError = "Out of memory";
        return false;
    }
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = width;
    rgb->height = height;
    if (Failed(ff::av_frame_get_buffer(rgb.get(), 0), "picture buffer", AError))
        return false;
    std::unique_ptr<SwsContext, TSwsFree> scaler(
        ff::sws_getContext(AFrame.Width, AFrame.Height, AFrame.PixFmt, width, height, AV_PIX_FMT_RGB24,
                           SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) {
        AError = "cannot scale the picture to " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    ff::sws_scale(scaler.get(), AFrame.Picture.Data, AFrame.Picture.Linesize, 0, AFrame.Height, rgb->data,
                  rgb->linesize);

    TCodecContextPtr encoder(ff::avcodec_alloc_context3(codec));
    TPacketPtr packet(ff::av_packet_alloc());
    if (!encoder || !packet) {
        AError = "Out of memory";
        return false;
    }
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = AV_PIX_FMT_RGB24;
    encoder->time_base = AVRational{1, 25};
    if (Failed(ff::avcodec_open2(encoder.get(), codec, nullptr), "PNG encoder", AError))
        return false;
    const auto append = [&APng](AVPacket* APacket) {
        APng.insert(APng.end(), APacket->data, APacket->data + APacket->size);
    };
    if (Failed(EncodeFrame(encoder.get(), rgb.get(), packet.get(), append), "PNG encoder", AError) ||
        Failed(EncodeFrame(encoder.get(), nullptr, packet.get(), append), "PNG encoder", AError))
        return false;
    if (APng.empty()) {
        AError = "PNG encoder: no picture written";
        return false;
    }
    return true;
}

} // namespace vx
