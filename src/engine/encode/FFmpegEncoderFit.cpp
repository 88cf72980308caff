// The picture size and frame rate of an encoded video stream, brought within what its
// encoder takes. The older encoders coded what they were given (cropping a picture where
// they had to); several of the present ones refuse to open, or fail on the first picture.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "base/FFLog.h"
#include "base/TextFormat.h"
#include "encode/EncoderLimits.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

const char* EncoderName(const TAVOutputStream& AOst) {
    return AOst.enc ? AOst.enc->name : ff::avcodec_get_name(AOst.enc_ctx->codec_id);
}

} // namespace

bool TCustomFFmpeg::fit_video_size(TAVOutputStream& AOst, const AVCodecContext& ADec) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    if (!enc->width || !enc->height) {
        enc->width = ADec.width;
        enc->height = ADec.height;
        const TSizeLimits limits = EncoderSizeLimits(enc->codec_id, enc->pix_fmt, enc->strict_std_compliance);
        const TPictureSize source{ADec.width, ADec.height};
        if (source.Width <= 0 || source.Height <= 0)
            return false;
        const std::optional<TPictureSize> size = LargestFittingSize(limits, source);
        if (!size) {
            const std::string text =
                FormatText("Encoder \"%s\" cannot code any picture size for a %dx%d source: it takes %s",
                           EncoderName(AOst), source.Width, source.Height, limits.Text.c_str());
            throw FFmpegException(text, llError);
        }
        enc->width = size->Width;
        enc->height = size->Height;
        // Rounding down to the encoder's multiples goes without a word, as the older
        // encoders' cropping did; a picture scaled as a whole is worth a line.
        if (!AlignedSize(limits, source))
            GetLogger().LogF(this, llInfo, "Encoder \"%s\" takes %s: the %dx%d picture is scaled to %dx%d",
                             EncoderName(AOst), limits.Text.c_str(), source.Width, source.Height, size->Width,
                             size->Height);
        return !(*size == source);
    }
    if (!AOst.enc)
        return false; // opening the encoders says that there is none
    // The asked size's chroma rounding is the scaler's business; only the codec's own
    // limits count here.
    const TSizeLimits limits = EncoderSizeLimits(enc->codec_id, AV_PIX_FMT_NONE, enc->strict_std_compliance);
    const TPictureSize asked{enc->width, enc->height};
    if (SizeFits(limits, asked))
        return false;
    const std::optional<TPictureSize> size = AlignedSize(limits, asked);
    if (!size) {
        const std::string text =
            FormatText("Encoder \"%s\" cannot code %dx%d pictures: it takes %s", EncoderName(AOst),
                       asked.Width, asked.Height, limits.Text.c_str());
        throw FFmpegException(text, llError);
    }
    GetLogger().LogF(this, llInfo, "Encoder \"%s\" takes %s: the asked size %dx%d is rounded to %dx%d",
                     EncoderName(AOst), limits.Text.c_str(), asked.Width, asked.Height, size->Width,
                     size->Height);
    enc->width = size->Width;
    enc->height = size->Height;
    return false;
}

AVRational TCustomFFmpeg::fit_frame_rate(const TAVOutputStream& AOst, AVRational ARate) {
    const AVCodec* codec = AOst.enc;
    if (!codec)
        return ARate;
    AVRational rate = ARate;
    if (!FRun->force_fps && codec->supported_framerates) {
        rate = codec->supported_framerates[ff::av_find_nearest_q_idx(rate, codec->supported_framerates)];
        if (av_cmp_q(rate, ARate) != 0)
            GetLogger().LogF(this, llInfo,
                             "Encoder \"%s\" takes a fixed list of frame rates: %d/%d fps becomes %d/%d fps",
                             codec->name, ARate.num, ARate.den, rate.num, rate.den);
    }
    const AVRational coded = EncoderFrameRate(codec->id, rate);
    if (av_cmp_q(coded, rate) != 0)
        GetLogger().LogF(this, llInfo,
                         "Encoder \"%s\" cannot code the time base of %d/%d fps (its denominator may be at "
                         "most 65535): the nearest rate it can, %d/%d fps, is used",
                         codec->name, rate.num, rate.den, coded.num, coded.den);
    return coded;
}

void TCustomFFmpeg::fit_picture_budget(TAVOutputStream& AOst) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    const char* muxer = output_file_of(AOst).ctx->oformat->name;
    const TPictureBudget limit = MuxerPictureBudget(muxer, enc->codec_id);
    if (!limit.Bytes || !AOst.enc)
        return;
    const std::string name = EncoderName(AOst);
    const int64_t macroblocks = int64_t{(enc->width + 15) / 16} * ((enc->height + 15) / 16);
    if (macroblocks > limit.MaxMacroblocks) {
        const std::string text = FormatText(
            "The \"%s\" muxer takes no picture above %d bytes: encoder \"%s\" cannot code %dx%d pictures "
            "within it (at most %d macroblocks)",
            muxer, limit.Bytes, name.c_str(), enc->width, enc->height, limit.MaxMacroblocks);
        throw FFmpegException(text, llError);
    }
    // The encoder's rate control with a buffer of the muxer's limit (refilled whole for every
    // picture) codes a picture that would not fit again with a coarser quantiser; the
    // buffer's first fill is whole as well, for the first key picture.
    const int budget = limit.BufferBits;
    const AVRational rate = enc->framerate;
    if (enc->rc_buffer_size <= 0 || enc->rc_buffer_size > budget) {
        if (enc->rc_buffer_size > budget)
            GetLogger().LogF(this, llInfo,
                             "The \"%s\" muxer takes no picture above %d bytes: the video buffer size of %d "
                             "bits becomes %d bits",
                             muxer, limit.Bytes, enc->rc_buffer_size, budget);
        enc->rc_buffer_size = budget;
        enc->rc_initial_buffer_occupancy = budget;
    }
    // The average picture at the stream's bit rate must fit the buffer, or the encoder refuses
    // to open.
    const int64_t most = int64_t{enc->rc_buffer_size} * rate.num / rate.den;
    if (enc->bit_rate > most) {
        GetLogger().LogF(this, llInfo,
                         "The \"%s\" muxer takes no picture above %d bytes: the video bit rate of %lld b/s "
                         "becomes %lld b/s at %d/%d fps",
                         muxer, limit.Bytes, static_cast<long long>(enc->bit_rate),
                         static_cast<long long>(most), rate.num, rate.den);
        enc->bit_rate = most;
    }
    if (enc->rc_max_rate <= 0)
        enc->rc_max_rate = std::max(most, enc->bit_rate);
    if (enc->rc_max_available_vbv_use <= 0 || enc->rc_max_available_vbv_use > 1)
        enc->rc_max_available_vbv_use = 1;
    // A picture still too large at the coarsest quantiser (noise-like detail) loses its
    // costliest coefficients instead: trellis quantisation weighs each one's bits against the
    // rate control's lambda, which may then rise beyond the quantiser's range.
    if (enc->trellis <= 0)
        enc->trellis = 1;
    ff::av_opt_set_int(enc->priv_data, "lmax", FF_LAMBDA_MAX, 0);
    GetLogger().LogF(this, llInfo,
                     "The \"%s\" muxer takes no picture above %d bytes: encoder \"%s\" codes every picture "
                     "within a video buffer of %d bits, with trellis quantisation",
                     muxer, limit.Bytes, name.c_str(), enc->rc_buffer_size);
}

} // namespace vx
