// The player's public value types: states, repeat and driver choices, rectangles. The seek
// flags are the decoder's (TSeekFlags).
#pragma once

#include <cstdint>

namespace vx {

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
// What happens when the play time is reached.
enum TRepeatType { rtNone, rtStop, rtLoop, rtPause, rtRewind };
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };

// A rectangle in window pixels: right and bottom are exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};

} // namespace vx
