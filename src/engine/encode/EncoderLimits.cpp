#include "encode/EncoderLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/FFApi.h"

namespace vx {

namespace {

// MPEG-4 Part 2 codes the time base's resolution in 16 bits.
constexpr int Mpeg4MaxTimeBaseDen = 65535;

// A RealMedia chunk is at most 65535 bytes; a video picture's chunk and packet headers take
// at most 23 of them.
constexpr int RealMediaMaxPicture = 65535 - 23;

// H.263 without its extensions knows five picture formats; H.261 two of them.
const std::vector<TPictureSize> H263Sizes = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};
const std::vector<TPictureSize> H261Sizes = {{176, 144}, {352, 288}};

int RoundDown(int AValue, int AStep) {
    return std::max(AStep, AValue - AValue % AStep);
}

int64_t Area(TPictureSize ASize) {
    return static_cast<int64_t>(ASize.Width) * ASize.Height;
}

} // namespace

AVRational EncoderFrameRate(AVCodecID ACodec, AVRational ARate) {
    if (ACodec != AV_CODEC_ID_MPEG4 || ARate.num <= Mpeg4MaxTimeBaseDen || ARate.den <= 0)
        return ARate;
    AVRational fit{0, 1};
    ff::av_reduce(&fit.num, &fit.den, ARate.num, ARate.den, Mpeg4MaxTimeBaseDen);
    return fit.num > 0 ? fit : AVRational{1, Mpeg4MaxTimeBaseDen};
}

TSizeLimits EncoderSizeLimits(AVCodecID ACodec, AVPixelFormat APixFmt, int AStrict) {
    TSizeLimits l;
    switch (ACodec) {
    case AV_CODEC_ID_MPEG4:
        l.MaxWidth = l.MaxHeight = 8191;
        l.Text = "at most 8191x8191";
        break;
    case AV_CODEC_ID_H263:
        l.AlignWidth = l.AlignHeight = 4;
        l.Only = H263Sizes;
        l.Text = "only 128x96, 176x144, 352x288, 704x576 and 1408x1152";
        break;
    case AV_CODEC_ID_H263P:
        l.AlignWidth = l.AlignHeight = 4;
        l.MaxWidth = 2048;
        l.MaxHeight = 1152;
        l.Text = "at most 2048x1152, in multiples of 4";
        break;
    case AV_CODEC_ID_H261:
        l.Only = H261Sizes;
        l.Text = "only 176x144 and 352x288";
        break;
    case AV_CODEC_ID_RV10:
        l.AlignWidth = l.AlignHeight = 16;
        l.MaxMacroblocks = 4095;
        l.Text = "whole macroblocks (multiples of 16), fewer than 4096 of them";
        break;
    case AV_CODEC_ID_RV20:
        l.AlignWidth = l.AlignHeight = 4;
        l.Text = "multiples of 4";
        break;
    case AV_CODEC_ID_MPEG1VIDEO:
        l.MaxWidth = l.MaxHeight = 4095;
        l.Text = "at most 4095x4095";
        break;
    case AV_CODEC_ID_MPEG2VIDEO:
        l.MaxWidth = l.MaxHeight = 16383;
        if (AStrict >= FF_COMPLIANCE_NORMAL) {
            l.RefusedMultiple = 4096;
            l.Text = "at most 16383x16383, no side a multiple of 4096";
        } else {
            l.Text = "at most 16383x16383";
        }
        break;
    case AV_CODEC_ID_MJPEG:
        l.MaxWidth = l.MaxHeight = 65500;
        l.Text = "at most 65500x65500";
        break;
    case AV_CODEC_ID_WMV1:
    case AV_CODEC_ID_WMV2:
        l.AlignWidth = 2;
        l.Text = "an even width";
        break;
    default:
        break;
    }
    if (APixFmt != AV_PIX_FMT_NONE)
        if (const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(APixFmt)) {
            l.AlignWidth = std::max(l.AlignWidth, 1 << desc->log2_chroma_w);
            l.AlignHeight = std::max(l.AlignHeight, 1 << desc->log2_chroma_h);
        }
    return l;
}

bool SizeFits(const TSizeLimits& ALimits, TPictureSize ASize) {
    const auto [w, h] = ASize;
    if (w <= 0 || h <= 0 || w % ALimits.AlignWidth || h % ALimits.AlignHeight)
        return false;
    if (!ALimits.Only.empty())
        return std::find(ALimits.Only.begin(), ALimits.Only.end(), ASize) != ALimits.Only.end();
    if ((ALimits.MaxWidth && w > ALimits.MaxWidth) || (ALimits.MaxHeight && h > ALimits.MaxHeight))
        return false;
    if (ALimits.MaxMacroblocks && int64_t((w + 15) / 16) * ((h + 15) / 16) > ALimits.MaxMacroblocks)
        return false;
    return !ALimits.RefusedMultiple || (w % ALimits.RefusedMultiple && h % ALimits.RefusedMultiple);
}

std::optional<TPictureSize> LargestFittingSize(const TSizeLimits& ALimits, TPictureSize ASource) {
    if (ASource.Width <= 0 || ASource.Height <= 0)
        return std::nullopt;
    if (!ALimits.Only.empty()) {
        std::optional<TPictureSize> within, smallest;
        for (const TPictureSize& s : ALimits.Only) {
            if (!SizeFits(ALimits, s))
                continue;
            if (s.Width <= ASource.Width && s.Height <= ASource.Height &&
                (!within || Area(s) > Area(*within)))
                within = s;
            if (!smallest || Area(s) < Area(*smallest))
                smallest = s;
        }
        return within ? within : smallest;
    }
    // Rounding each side down to the encoder's multiples is the smallest change; only a
    // size the encoder still refuses is scaled down as a whole.
    const TPictureSize rounded{RoundDown(ASource.Width, ALimits.AlignWidth),
                               RoundDown(ASource.Height, ALimits.AlignHeight)};
    if (SizeFits(ALimits, rounded))
        return rounded;
    const double shape = double(ASource.Height) / ASource.Width;
    for (int w = rounded.Width; w >= ALimits.AlignWidth; w -= ALimits.AlignWidth) {
        const int steps = std::max(1, int(std::lround(w * shape / ALimits.AlignHeight)));
        const TPictureSize candidate{w, std::min(steps * ALimits.AlignHeight, rounded.Height)};
        if (SizeFits(ALimits, candidate))
            return candidate;
    }
    return std::nullopt;
}

std::optional<TPictureSize> AlignedSize(const TSizeLimits& ALimits, TPictureSize AAsked) {
    if (SizeFits(ALimits, AAsked))
        return AAsked;
    const TPictureSize rounded{RoundDown(AAsked.Width, ALimits.AlignWidth),
                               RoundDown(AAsked.Height, ALimits.AlignHeight)};
    if (SizeFits(ALimits, rounded))
        return rounded;
    return std::nullopt;
}

TPictureBudget MuxerPictureBudget(const char* AMuxer, AVCodecID ACodec) {
    if (!AMuxer || std::strcmp(AMuxer, "rm") != 0 ||
        (ACodec != AV_CODEC_ID_RV10 && ACodec != AV_CODEC_ID_RV20))
        return {};
    // The encoder measures a picture before its last byte is padded; a few bytes spare.
    const int bits = (RealMediaMaxPicture - 256) * 8;
    // The fewest bits of an intra macroblock with no coefficient but its DCs: RealVideo 1 codes
    // six 8-bit DCs besides its block pattern, RealVideo 2 predicts them.
    const int floor = ACodec == AV_CODEC_ID_RV10 ? 53 : 6;
    return {RealMediaMaxPicture, bits, bits / floor};
}

} // namespace vx
