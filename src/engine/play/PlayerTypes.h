// The player's public value types: states, repeat and driver choices, seek flags.
#pragma once

#include <cstdint>

namespace vx {

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
// What happens when the play time is reached.
enum TRepeatType { rtNone, rtStop, rtLoop, rtPause, rtRewind };
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };

// Seek flags as the library takes them (AVSEEK_FLAG_BACKWARD, _BYTE, _ANY, _FRAME).
enum TSeekFlag : int { sfBackward = 1, sfByte = 2, sfAny = 4, sfFrame = 8 };
using TSeekFlags = int;

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
