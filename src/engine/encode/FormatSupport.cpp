#include "encode/FormatSupport.h"

#include "base/FFApi.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace vx {

namespace {

const char* const AacStandIns[] = {"libfaac", "mpeg4aac"};

struct TFormatContextFree {
    void operator()(AVFormatContext* ACtx) const { ff::avformat_free_context(ACtx); }
};

// The encoder and codec name the muxer uses for one kind of stream.
void DefaultOf(const AVOutputFormat* AFormat, const std::string& AFileName, AVMediaType AKind,
               std::string& AEncoder, std::string& ACodec) {
    const AVCodecID id = ff::av_guess_codec(AFormat, nullptr, AFileName.c_str(), nullptr, AKind);
    if (id == AV_CODEC_ID_NONE)
        return;
    ACodec = ff::avcodec_get_name(id);
    if (const AVCodec* encoder = ff::avcodec_find_encoder(id))
        AEncoder = encoder->name;
}

} // namespace

bool IsAacStandIn(const std::string& AName) {
    return std::find(std::begin(AacStandIns), std::end(AacStandIns), AName) != std::end(AacStandIns);
}

bool HasEncoder(const std::string& AName) {
    if (ff::avcodec_find_encoder_by_name(AName.c_str()))
        return true;
    return IsAacStandIn(AName) && ff::avcodec_find_encoder_by_name("aac");
}

TMuxerChoice ChooseMuxer(const std::string& AFormat, const std::string& AFileName) {
    TMuxerChoice choice;
    AVFormatContext* raw = nullptr;
    ff::avformat_alloc_output_context2(&raw, nullptr, AFormat.empty() ? nullptr : AFormat.c_str(),
                                       AFileName.c_str());
    const std::unique_ptr<AVFormatContext, TFormatContextFree> ctx(raw);
    if (!ctx || !ctx->oformat)
        return choice;
    choice.Muxer = ctx->oformat->name;
    DefaultOf(ctx->oformat, AFileName, AVMEDIA_TYPE_VIDEO, choice.VideoEncoder, choice.VideoCodec);
    DefaultOf(ctx->oformat, AFileName, AVMEDIA_TYPE_AUDIO, choice.AudioEncoder, choice.AudioCodec);
    return choice;
}

} // namespace vx
