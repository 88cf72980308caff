// A picture in memory laid out as a device-independent bitmap, so that RGB pictures of the
// media library can be copied into it and out of it row by row: rows are stored bottom-up
// (the top row is the last one in memory) and each row is padded to a multiple of 4 bytes.
//
// Pixel layouts by depth, in the library's terms (least significant bits first):
//   8 bits   one byte, 3 bits red, 3 bits green, 2 bits blue (BGR8)
//   15 bits  16-bit little-endian word, 5 bits red, 5 green, 5 blue, 1 unused (BGR555LE)
//   16 bits  16-bit little-endian word, 5 bits red, 6 green, 5 blue (BGR565LE)
//   24 bits  bytes blue, green, red (BGR24)
//   32 bits  bytes blue, green, red, alpha (BGRA)
//
// A bitmap is used by one thread at a time. The video hooks lock it (lock()/unlock(), so
// std::lock_guard works) while a handler draws on it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace vx {

// The bitmap formats; only 8-bit to 32-bit are pixel layouts a bitmap can have. The
// others keep their places so that a format's number means the same everywhere.
enum TBMPPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

struct TRGBColor {
    uint8_t R = 0, G = 0, B = 0;
    bool operator==(const TRGBColor&) const = default;
};

// Bytes of one row of AWidth pixels at ABitsPixel bits, padded to 32 bits.
int DIBLineSize(int AWidth, int ABitsPixel);

class TBitmap {
public:
    // An empty 24-bit bitmap.
    TBitmap() = default;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Resizing clears the pixels to black; the same size keeps them.
    void SetSize(int AWidth, int AHeight);
    TBMPPixelFormat PixelFormat() const { return FPixelFormat; }
    // pf8bit..pf32bit; any other throws std::invalid_argument("Invalid PixelFormat %d").
    // A new format clears the pixels to black.
    void SetPixelFormat(TBMPPixelFormat AFormat);
    // 8, 16 (for 15-bit and 16-bit), 24 or 32.
    int BitsPixel() const;
    // Bytes from one row to the next.
    int LineSize() const { return DIBLineSize(FWidth, BitsPixel()); }
    // The row ARow counted from the top.
    uint8_t* ScanLine(int ARow);
    const uint8_t* ScanLine(int ARow) const;

    // One pixel, counted from the top left; out of range pixels read black and are not written.
    TRGBColor Pixel(int AX, int AY) const;
    void SetPixel(int AX, int AY, TRGBColor AColor);
    void FillRect(int AX, int AY, int AWidth, int AHeight, TRGBColor AColor);

    void lock() { FLock.lock(); }
    void unlock() { FLock.unlock(); }

private:
    void Allocate();

    int FWidth = 0;
    int FHeight = 0;
    TBMPPixelFormat FPixelFormat = pf24bit;
    std::vector<uint8_t> FBits; // bottom row first
    std::mutex FLock;
};

} // namespace vx
