// Between the library's pictures and bitmaps: a picture of any pixel format becomes a
// packed RGB picture laid out like a bitmap of 8, 15, 16, 24 or 32 bits per pixel, is
// copied into the converter's bitmap, and an edited bitmap goes back into a picture.
//
// Bit depths and the library's formats they use:
//   pf8bit  8   BGR8         pf15bit 16  BGR555LE    pf16bit 16  BGR565LE
//   pf24bit 24  BGR24        pf32bit 32  BGRA
//
// Not thread-safe: each user owns its converters. Needs the scaling library bound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "base/Bitmap.h"
#include "base/Picture.h"

struct SwsContext;

namespace vx {

// The description of the last converted picture as a bitmap would describe itself.
struct TDIB {
    int Type = 0;
    int Width = 0;
    int Height = 0;
    int BytesPerLine = 0;
    int Planes = 0;
    int BitsPixel = 0;
    uint8_t* Bits = nullptr; // the RGB picture's first row
};

class TFormatConverter {
public:
    // 24 bits per pixel.
    TFormatConverter();
    ~TFormatConverter();
    TFormatConverter(const TFormatConverter&) = delete;
    TFormatConverter& operator=(const TFormatConverter&) = delete;

    int BitsPixel() const { return FBitsPixel; }
    // 8, 15, 16, 24 or 32; any other value throws std::invalid_argument("Invalid BitsPixel
    // %d") and keeps the setting. A depth other than the current one resets the converter.
    void SetBitsPixel(int AValue);
    TBMPPixelFormat BMPPixFmt() const { return FBMPPixFmt; }
    // pf8bit..pf32bit, else std::invalid_argument("Invalid PixelFormat %d").
    void SetBMPPixFmt(TBMPPixelFormat AValue);
    // The library format of the RGB side.
    AVPixelFormat AVPixFmt() const { return FAVPixFmt; }

    TBitmap& Bitmap() { return FBitmap; }
    const TDIB* DIB() const { return &FDIB; }
    // The converter's own RGB picture.
    const TPicture* RGBPicture() const { return &FRGBPicture; }
    // The RGB picture of the last conversion: the converter's own, or the caller's picture
    // when it needed no conversion; null before the first and after a failed conversion.
    const TPicture* RGBPictureRef() const { return FRGBPictureRef; }
    const std::string& LastErrMsg() const { return FLastErrMsg; }

    // APicture (AWidth x AHeight, format APixFmt) as RGB. A picture already in the RGB
    // format with an even size and rows laid out as the bitmap's is used as it is;
    // anything else is converted into the converter's own picture. With AToBitmap the
    // result is copied into the bitmap. False: LastErrMsg says why.
    bool PictureToRGB(const TPicture& APicture, int APixFmt, bool AToBitmap, int AHeight, int AWidth);
    // The RGB picture into the bitmap, and back. Both throw std::logic_error when there
    // is no RGB picture.
    void RGBToBitmap();
    void BitmapToRGB();
    // The RGB picture into APicture (format APixFmt, same size). False: LastErrMsg says
    // why. Not needed when the RGB picture is the caller's own: BitmapToRGB wrote into it.
    bool RGBToPicture(TPicture& APicture, int APixFmt, int AHeight, int AWidth);

private:
    struct TAVFree {
        void operator()(uint8_t* ABuffer) const;
    };
    struct TSwsFree {
        void operator()(SwsContext* AContext) const;
    };

    void Reset();
    void CheckRGBPicture(const char* AWho) const;

    int FBitsPixel = 24;
    AVPixelFormat FAVPixFmt = AV_PIX_FMT_BGR24;
    TBMPPixelFormat FBMPPixFmt = pf24bit;
    TBitmap FBitmap;
    TDIB FDIB;
    std::unique_ptr<uint8_t, TAVFree> FRGBBuffer;
    int FRGBBufSize = 0;
    TPicture FRGBPicture;
    TPicture FCallerPicture; // the caller's picture when it needed no conversion
    const TPicture* FRGBPictureRef = nullptr;
    std::unique_ptr<SwsContext, TSwsFree> FtoRGB_convert_ctx;
    std::unique_ptr<SwsContext, TSwsFree> FfromRGB_convert_ctx;
    std::string FLastErrMsg;
};

} // namespace vx
