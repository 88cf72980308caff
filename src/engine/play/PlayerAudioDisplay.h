// The audio displays shown instead of a picture: the waveform (triggered on a falling
// zero crossing so that a steady tone stands still) and the scrolling spectrum. They draw
// into a plain pixel buffer; the player uploads it to its texture. Owned by the player's
// playback and used on the play thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/tx.h>
}

#include "play/PlayerClocks.h"
#include "play/PlayerSampleRing.h"

namespace vx {

enum TAudioShowMode { smVideo = 0, smWaves = 1, smSpectrum = 2 };

// Pixels are 4 bytes in the order R, G, B, A (SDL_PIXELFORMAT_RGBA32); APitch is the
// byte distance between rows.
struct TPixelBuffer {
    uint8_t* Pixels = nullptr;
    int Width = 0;
    int Height = 0;
    int Pitch = 0;
};

class TPlayerAudioDisplay {
public:
    TPlayerAudioDisplay();
    ~TPlayerAudioDisplay();
    TPlayerAudioDisplay(const TPlayerAudioDisplay&) = delete;
    TPlayerAudioDisplay& operator=(const TPlayerAudioDisplay&) = delete;

    // Draws the samples that are being heard at ANow. The waveform redraws the whole
    // buffer; the spectrum draws one column at XPos and moves XPos on (wrapping at the
    // width), leaving the other columns as they were. Returns false when the transform
    // cannot be made (the buffer is then left alone).
    bool Draw(TAudioShowMode AMode, const TSampleRing& ARing, const TPlayerTiming& ATiming, int64_t ANow,
              const TPixelBuffer& ABuffer);
    int XPos() const { return FXPos; }

private:
    struct TTxDeleter {
        void operator()(AVTXContext* p) const;
    };
    int StartIndex(TAudioShowMode AMode, int AChannels, int ANbFreq, const TPlayerTiming& ATiming,
                   int64_t ANow, int AWidth);
    void DrawWaves(int AChannels, int AStart, const TPixelBuffer& ABuffer);
    bool DrawSpectrum(int AChannels, int AStart, int ARdftBits, const TPixelBuffer& ABuffer);

    std::vector<int16_t> FSamples; // copy of the ring
    int FRingIndex = 0;
    int FLastStart = 0;
    int FXPos = 0;
    int FRdftBits = 0;
    std::unique_ptr<AVTXContext, TTxDeleter> FRdft;
    av_tx_fn FRdftFn = nullptr;
    std::vector<float> FRdftIn;
    std::vector<AVComplexFloat> FRdftOut;
};

} // namespace vx
