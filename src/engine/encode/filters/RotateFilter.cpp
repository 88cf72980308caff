#include "encode/filters/RotateFilter.h"

#include <algorithm>
#include <cmath>

#include "base/FFLog.h"

namespace vx {

namespace {

// Black in limited-range YUV, by plane.
constexpr uint8_t Fill[3] = {16, 128, 128};

class TRotateFilter : public TNativeFilter {
public:
    explicit TRotateFilter(int AAngle) : FAngle(AAngle) {}

    const std::vector<AVPixelFormat>& PixelFormats() const override {
        static const std::vector<AVPixelFormat> formats = {
            AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV411P,
            AV_PIX_FMT_YUV410P, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ420P,
            AV_PIX_FMT_YUV440P, AV_PIX_FMT_YUVJ440P};
        return formats;
    }

    TVideoGeometry Configure(const TVideoGeometry& AInput) override {
        const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(AInput.PixFmt));
        FHsub = desc ? desc->log2_chroma_w : 0;
        FVsub = desc ? desc->log2_chroma_h : 0;
        const double w = AInput.Width, h = AInput.Height;
        const double theta = FAngle * M_PI / 180;
        FSin = static_cast<float>(std::sin(theta));
        FCos = static_cast<float>(std::cos(theta));
        FTransX = std::max(0.0f, float(h) * FSin) + std::max(0.0f, float(-w) * FCos);
        FTransY = std::max(0.0f, float(-h) * FCos) + std::max(0.0f, float(-w) * FSin);
        TVideoGeometry out = AInput;
        out.Width = static_cast<int>(
            std::floor(std::max(0.0f, FCos * float(w)) + std::max(0.0f, -FSin * float(h)) + FTransX));
        out.Height = static_cast<int>(
            std::floor(std::max(0.0f, float(h) * FCos) + std::max(0.0f, float(w) * FSin) + FTransY));
        if (AInput.Sar.num != 0)
            out.Sar = AVRational{AInput.Sar.den, AInput.Sar.num};
        FOutput = out;
        return out;
    }

    int Filter(TFramePtr& APicture) override {
        TFramePtr out(ff::av_frame_alloc());
        if (!out)
            return AVERROR(ENOMEM);
        out->format = APicture->format;
        out->width = FOutput.Width;
        out->height = FOutput.Height;
        int ret = ff::av_frame_get_buffer(out.get(), 0);
        if (ret >= 0)
            ret = ff::av_frame_copy_props(out.get(), APicture.get());
        if (ret < 0)
            return ret;
        out->sample_aspect_ratio = FOutput.Sar;
        const AVFrame* in = APicture.get();
        const int inW = in->width, inH = in->height;
        // Each output sample takes the source sample under its centre (coordinates with the
        // pixel edges on whole numbers), so that a quarter turn moves every pixel exactly.
        auto inside = [&](const TPoint& AAt) {
            return AAt.X >= 0 && AAt.X < inW && AAt.Y >= 0 && AAt.Y < inH;
        };
        for (int i = 0; i < out->height; ++i) {
            uint8_t* row = out->data[0] + i * out->linesize[0];
            for (int j = 0; j < out->width; ++j) {
                const TPoint at = SourceOf(i + 0.5f, j + 0.5f);
                row[j] = inside(at) ? in->data[0][int(at.Y) * in->linesize[0] + int(at.X)] : Fill[0];
            }
        }
        const float hScale = float(1 << FHsub), vScale = float(1 << FVsub);
        // The last chroma sample of the source, for the odd sizes whose rounding reaches past it.
        const int lastCol = AV_CEIL_RSHIFT(inW, FHsub) - 1, lastRow = AV_CEIL_RSHIFT(inH, FVsub) - 1;
        for (int plane = 1; plane < 3; ++plane)
            for (int i = 0; i < AV_CEIL_RSHIFT(out->height, FVsub); ++i) {
                uint8_t* row = out->data[plane] + i * out->linesize[plane];
                for (int j = 0; j < AV_CEIL_RSHIFT(out->width, FHsub); ++j) {
                    const TPoint at = SourceOf((i + 0.5f) * vScale, (j + 0.5f) * hScale);
                    row[j] =
                        inside(at)
                            ? in->data[plane][std::min(int(at.Y / vScale), lastRow) * in->linesize[plane] +
                                              std::min(int(at.X / hScale), lastCol)]
                            : Fill[plane];
                }
            }
        APicture = std::move(out);
        return 0;
    }

private:
    struct TPoint {
        float X, Y;
    };
    // The point of the source that lies under the output point (ARow, ACol).
    TPoint SourceOf(float ARow, float ACol) const {
        return {(ARow - FTransY) * FSin + (ACol - FTransX) * FCos,
                (ARow - FTransY) * FCos - (ACol - FTransX) * FSin};
    }

    int FAngle;
    int FHsub = 0, FVsub = 0;
    float FTransX = 0, FTransY = 0, FSin = 0, FCos = 1;
    TVideoGeometry FOutput;
};

} // namespace

std::unique_ptr<TNativeFilter> MakeRotateFilter(void* ASender, const std::string& AArgs) {
    int angle = 45;
    if (!AArgs.empty()) {
        char* end = nullptr;
        const long value = std::strtol(AArgs.c_str(), &end, 10);
        if (end == AArgs.c_str() || *end != '\0' || value < -360000 || value > 360000) {
            GetLogger().LogF(ASender, llError, "failed to parsing parameters: %s", AArgs.c_str());
            return nullptr;
        }
        angle = static_cast<int>(value);
    }
    return std::make_unique<TRotateFilter>(angle);
}

} // namespace vx
