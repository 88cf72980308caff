#include "base/Bitmap.h"

#include <algorithm>
#include <stdexcept>

#include "base/TextFormat.h"

namespace vx {

namespace {

// A field of ABits bits read from a pixel, widened to 0..255.
uint8_t Widen(unsigned AValue, unsigned ABits) {
    const unsigned max = (1u << ABits) - 1;
    return static_cast<uint8_t>((AValue & max) * 255 / max);
}

unsigned Narrow(uint8_t AValue, unsigned ABits) {
    return (unsigned(AValue) * ((1u << ABits) - 1) + 127) / 255;
}

} // namespace

int DIBLineSize(int AWidth, int ABitsPixel) {
    return (AWidth * ABitsPixel + 31) / 32 * 4;
}

void TBitmap::SetSize(int AWidth, int AHeight) {
    if (AWidth < 0 || AHeight < 0)
        throw std::invalid_argument(FormatText("Invalid bitmap size %dx%d", AWidth, AHeight));
    if (AWidth == FWidth && AHeight == FHeight)
        return;
    FWidth = AWidth;
    FHeight = AHeight;
    Allocate();
}

void TBitmap::SetPixelFormat(TBMPPixelFormat AFormat) {
    if (AFormat < pf8bit || AFormat > pf32bit)
        throw std::invalid_argument(FormatText("Invalid PixelFormat %d", static_cast<int>(AFormat)));
    if (AFormat == FPixelFormat)
        return;
    FPixelFormat = AFormat;
    Allocate();
}

int TBitmap::BitsPixel() const {
    switch (FPixelFormat) {
    case pf8bit:
        return 8;
    case pf15bit:
    case pf16bit:
        return 16;
    case pf32bit:
        return 32;
    default:
        return 24;
    }
}

void TBitmap::Allocate() {
    FBits.assign(size_t(LineSize()) * size_t(FHeight), 0);
}

uint8_t* TBitmap::ScanLine(int ARow) {
    return FBits.data() + size_t(FHeight - 1 - ARow) * size_t(LineSize());
}

const uint8_t* TBitmap::ScanLine(int ARow) const {
    return FBits.data() + size_t(FHeight - 1 - ARow) * size_t(LineSize());
}

TRGBColor TBitmap::Pixel(int AX, int AY) const {
    if (AX < 0 || AY < 0 || AX >= FWidth || AY >= FHeight)
        return {};
    const uint8_t* p = ScanLine(AY) + size_t(AX) * size_t(BitsPixel() / 8);
    const unsigned word = BitsPixel() == 16 ? unsigned(p[0]) | unsigned(p[1]) << 8 : 0;
    switch (FPixelFormat) {
    case pf8bit:
        return {Widen(p[0], 3), Widen(p[0] >> 3, 3), Widen(p[0] >> 6, 2)};
    case pf15bit:
        return {Widen(word, 5), Widen(word >> 5, 5), Widen(word >> 10, 5)};
    case pf16bit:
        return {Widen(word, 5), Widen(word >> 5, 6), Widen(word >> 11, 5)};
    default: // 24 and 32 bits: blue, green, red
        return {p[2], p[1], p[0]};
    }
}

void TBitmap::SetPixel(int AX, int AY, TRGBColor AColor) {
    if (AX < 0 || AY < 0 || AX >= FWidth || AY >= FHeight)
        return;
    uint8_t* p = ScanLine(AY) + size_t(AX) * size_t(BitsPixel() / 8);
    unsigned word = 0;
    switch (FPixelFormat) {
    case pf8bit:
        p[0] =
            static_cast<uint8_t>(Narrow(AColor.R, 3) | Narrow(AColor.G, 3) << 3 | Narrow(AColor.B, 2) << 6);
        return;
    case pf15bit:
        word = Narrow(AColor.R, 5) | Narrow(AColor.G, 5) << 5 | Narrow(AColor.B, 5) << 10;
        break;
    case pf16bit:
        word = Narrow(AColor.R, 5) | Narrow(AColor.G, 6) << 5 | Narrow(AColor.B, 5) << 11;
        break;
    default:
        p[0] = AColor.B;
        p[1] = AColor.G;
        p[2] = AColor.R;
        if (FPixelFormat == pf32bit)
            p[3] = 255;
        return;
    }
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
}

void TBitmap::FillRect(int AX, int AY, int AWidth, int AHeight, TRGBColor AColor) {
    const int right = std::min(FWidth, AX + AWidth);
    const int bottom = std::min(FHeight, AY + AHeight);
    for (int y = std::max(0, AY); y < bottom; ++y)
        for (int x = std::max(0, AX); x < right; ++x)
            SetPixel(x, y, AColor);
}

} // namespace vx
