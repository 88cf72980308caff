#include "decode/FormatConverter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/FFApi.h"
#include "base/TextFormat.h"
#include "decode/FFUtils.h"

namespace vx {

namespace {

struct TDepth {
    TBMPPixelFormat Format;
    int BitsPixel;
    AVPixelFormat PixFmt;
};

constexpr TDepth Depths[] = {
    {pf8bit, 8, AV_PIX_FMT_BGR8},    {pf15bit, 16, AV_PIX_FMT_BGR555LE}, {pf16bit, 16, AV_PIX_FMT_BGR565LE},
    {pf24bit, 24, AV_PIX_FMT_BGR24}, {pf32bit, 32, AV_PIX_FMT_BGRA},
};

// Rows of the converter's own picture are padded to 32 bits, as a bitmap's are.
constexpr int RowAlign = 4;
// Bicubic, with accurate rounding: without it the library takes a fast path from 4:2:0 to
// RGB that leaves the last pixels of a row unwritten when the width is not a multiple of 8
// and the rows have no room beyond it (as a bitmap's have not).
constexpr int ScaleFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

// The scaler stops the process on a number that is no pixel format at all.
SwsContext* CachedContext(SwsContext* AContext, int AWidth, int AHeight, int AFrom, int ATo) {
    if (!ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(AFrom)) ||
        !ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(ATo))) {
        ff::sws_freeContext(AContext);
        return nullptr;
    }
    return ff::sws_getCachedContext(AContext, AWidth, AHeight, static_cast<AVPixelFormat>(AFrom), AWidth,
                                    AHeight, static_cast<AVPixelFormat>(ATo), ScaleFlags, nullptr, nullptr,
                                    nullptr);
}

const TDepth& DepthOf(TBMPPixelFormat AFormat) {
    for (const TDepth& d : Depths)
        if (d.Format == AFormat)
            return d;
    throw std::invalid_argument(FormatText("Invalid PixelFormat %d", static_cast<int>(AFormat)));
}

} // namespace

// (After the libraries were unloaded what is left is not freed: their entry points are gone.)
void TFormatConverter::TAVFree::operator()(uint8_t* ABuffer) const {
    if (ff::av_free)
        ff::av_free(ABuffer);
}

void TFormatConverter::TSwsFree::operator()(SwsContext* AContext) const {
    if (ff::sws_freeContext)
        ff::sws_freeContext(AContext);
}

TFormatConverter::TFormatConverter() {
    Reset();
}

TFormatConverter::~TFormatConverter() = default;

void TFormatConverter::SetBitsPixel(int AValue) {
    TBMPPixelFormat format;
    switch (AValue) {
    case 8:
        format = pf8bit;
        break;
    case 15:
        format = pf15bit;
        break;
    case 16:
        format = pf16bit;
        break;
    case 24:
        format = pf24bit;
        break;
    case 32:
        format = pf32bit;
        break;
    default:
        throw std::invalid_argument(FormatText("Invalid BitsPixel %d", AValue));
    }
    // 15 and 16 are both 16 bits per pixel, so the format, not the number, tells whether
    // anything changes.
    if (format == FBMPPixFmt)
        return;
    FBMPPixFmt = format;
    Reset();
}

void TFormatConverter::SetBMPPixFmt(TBMPPixelFormat AValue) {
    if (AValue == FBMPPixFmt)
        return;
    DepthOf(AValue); // throws for a format no bitmap of ours has
    FBMPPixFmt = AValue;
    Reset();
}

void TFormatConverter::Reset() {
    FDIB = TDIB();
    FRGBPicture = TPicture();
    FCallerPicture = TPicture();
    FRGBPictureRef = nullptr;
    const TDepth& depth = DepthOf(FBMPPixFmt);
    FBitsPixel = depth.BitsPixel;
    FAVPixFmt = depth.PixFmt;
    FBitmap.SetPixelFormat(FBMPPixFmt);
}

bool TFormatConverter::PictureToRGB(const TPicture& APicture, int APixFmt, bool AToBitmap, int AHeight,
                                    int AWidth) {
    FBitmap.SetSize(AWidth, AHeight);
    const bool asItIs = APixFmt == FAVPixFmt && AWidth % 2 == 0 && AHeight % 2 == 0 &&
                        APicture.Linesize[0] == DIBLineSize(AWidth, FBitsPixel);
    if (asItIs) {
        FCallerPicture = APicture;
        FRGBPictureRef = &FCallerPicture;
    } else {
        FRGBPictureRef = nullptr;
        const int size = ff::av_image_get_buffer_size(FAVPixFmt, AWidth, AHeight, RowAlign);
        if (size < 0) {
            FLastErrMsg = "Cannot convert a picture of " + std::to_string(AWidth) + "x" +
                          std::to_string(AHeight) + ": " + ErrorMessage(size);
            return false;
        }
        if (!FRGBBuffer || FRGBBufSize < size) {
            FRGBBuffer.reset();
            FRGBBufSize = 0;
            FRGBBuffer.reset(static_cast<uint8_t*>(ff::av_malloc(size_t(size))));
            if (!FRGBBuffer) {
                FLastErrMsg = "Cannot allocate the RGB picture";
                return false;
            }
            FRGBBufSize = size;
        }
        ff::av_image_fill_arrays(FRGBPicture.Data, FRGBPicture.Linesize, FRGBBuffer.get(), FAVPixFmt, AWidth,
                                 AHeight, RowAlign);
        FtoRGB_convert_ctx.reset(
            CachedContext(FtoRGB_convert_ctx.release(), AWidth, AHeight, APixFmt, FAVPixFmt));
        if (!FtoRGB_convert_ctx) {
            FLastErrMsg = "Cannot initialize the toRGB conversion context";
            return false;
        }
        const int ret = ff::sws_scale(FtoRGB_convert_ctx.get(), APicture.Data, APicture.Linesize, 0, AHeight,
                                      FRGBPicture.Data, FRGBPicture.Linesize);
        if (ret < 0) {
            FLastErrMsg = "Cannot convert the picture to RGB: " + ErrorMessage(ret);
            return false;
        }
        FRGBPictureRef = &FRGBPicture;
    }
    FDIB.Type = 0;
    FDIB.Width = AWidth;
    FDIB.Height = AHeight;
    FDIB.BytesPerLine = FRGBPictureRef->Linesize[0];
    FDIB.Planes = 1;
    FDIB.BitsPixel = FBitsPixel;
    FDIB.Bits = FRGBPictureRef->Data[0];
    if (AToBitmap)
        RGBToBitmap();
    return true;
}

void TFormatConverter::CheckRGBPicture(const char* AWho) const {
    if (!FRGBPictureRef)
        throw std::logic_error(std::string(AWho) + ": no RGB picture to copy");
}

void TFormatConverter::RGBToBitmap() {
    CheckRGBPicture("RGBToBitmap");
    const int bytes = std::min(FRGBPictureRef->Linesize[0], FBitmap.LineSize());
    for (int y = 0; y < FBitmap.Height(); ++y)
        std::memcpy(FBitmap.ScanLine(y), FRGBPictureRef->Data[0] + ptrdiff_t(y) * FRGBPictureRef->Linesize[0],
                    size_t(bytes));
}

void TFormatConverter::BitmapToRGB() {
    CheckRGBPicture("BitmapToRGB");
    const int bytes = std::min(FRGBPictureRef->Linesize[0], FBitmap.LineSize());
    for (int y = 0; y < FBitmap.Height(); ++y)
        std::memcpy(FRGBPictureRef->Data[0] + ptrdiff_t(y) * FRGBPictureRef->Linesize[0], FBitmap.ScanLine(y),
                    size_t(bytes));
}

bool TFormatConverter::RGBToPicture(TPicture& APicture, int APixFmt, int AHeight, int AWidth) {
    CheckRGBPicture("RGBToPicture");
    FfromRGB_convert_ctx.reset(
        CachedContext(FfromRGB_convert_ctx.release(), AWidth, AHeight, FAVPixFmt, APixFmt));
    if (!FfromRGB_convert_ctx) {
        FLastErrMsg = "Cannot initialize the fromRGB conversion context";
        return false;
    }
    const int ret = ff::sws_scale(FfromRGB_convert_ctx.get(), FRGBPictureRef->Data, FRGBPictureRef->Linesize,
                                  0, AHeight, APicture.Data, APicture.Linesize);
    if (ret < 0) {
        FLastErrMsg = "Cannot convert the picture from RGB: " + ErrorMessage(ret);
        return false;
    }
    return true;
}

} // namespace vx
