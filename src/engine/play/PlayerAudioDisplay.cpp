#include "play/PlayerAudioDisplay.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "base/FFApi.h"

namespace vx {
namespace {

int Wrap(int64_t AIndex) {
    const int64_t size = TSampleRing::Size;
    return static_cast<int>(((AIndex % size) + size) % size);
}

void PutPixel(const TPixelBuffer& ABuffer, int AX, int AY, uint8_t AR, uint8_t AG, uint8_t AB) {
    uint8_t* p = ABuffer.Pixels + AY * ABuffer.Pitch + AX * 4;
    p[0] = AR;
    p[1] = AG;
    p[2] = AB;
    p[3] = 255;
}

// Fills rows [AY, AY + AH) of column AX white, clipped to the buffer.
void WhiteColumn(const TPixelBuffer& ABuffer, int AX, int AY, int AH) {
    const int from = std::max(AY, 0);
    const int to = std::min(AY + AH, ABuffer.Height);
    for (int y = from; y < to; y++)
        PutPixel(ABuffer, AX, y, 255, 255, 255);
}

} // namespace

void TPlayerAudioDisplay::TTxDeleter::operator()(AVTXContext* p) const {
    ff::av_tx_uninit(&p);
}

TPlayerAudioDisplay::TPlayerAudioDisplay() = default;
TPlayerAudioDisplay::~TPlayerAudioDisplay() = default;

bool TPlayerAudioDisplay::Draw(TAudioShowMode AMode, const TSampleRing& ARing, const TPlayerTiming& ATiming,
                               int64_t ANow, const TPixelBuffer& ABuffer) {
    if (ABuffer.Width <= 0 || ABuffer.Height <= 0 || AMode == smVideo)
        return true;
    int rdftBits = 1;
    while ((1 << rdftBits) < 2 * ABuffer.Height)
        rdftBits++;
    const int nbFreq = 1 << (rdftBits - 1);
    const int channels = std::max(ATiming.audio_channels, 1);

    FSamples.resize(TSampleRing::Size);
    FRingIndex = ARing.CopyTo(FSamples.data());
    const int start = StartIndex(AMode, channels, nbFreq, ATiming, ANow, ABuffer.Width);
    if (AMode == smWaves) {
        DrawWaves(channels, start, ABuffer);
        return true;
    }
    return DrawSpectrum(std::min(channels, 2), start, rdftBits, ABuffer);
}

int TPlayerAudioDisplay::StartIndex(TAudioShowMode AMode, int AChannels, int ANbFreq,
                                    const TPlayerTiming& ATiming, int64_t ANow, int AWidth) {
    if (ATiming.paused)
        return FLastStart; // keep the picture still
    const int dataUsed = AMode == smWaves ? AWidth : 2 * ANbFreq;
    const int rate = ATiming.audio_sample_rate;
    // Sample frames written to the ring but not heard yet.
    int64_t delay = ATiming.audio_buf_pending / (2 * AChannels);
    delay += std::llround(ATiming.audio_hw_latency * rate);
    const int64_t callback = ATiming.audio_callback_time;
    if (callback > 0)
        delay -= (ANow - callback) * rate / 1000000;
    delay += 2 * dataUsed;
    delay = std::max<int64_t>(delay, dataUsed);
    int start = Wrap(FRingIndex - delay * AChannels);

    if (AMode == smWaves) {
        // Start on a falling zero crossing near there, so that a steady tone stands still.
        const int16_t* s = FSamples.data();
        int best = INT_MIN;
        int chosen = start;
        for (int i = 0; i < 1000; i += AChannels) {
            const int idx = Wrap(int64_t(start) - i);
            const int a = s[idx];
            const int b = s[Wrap(idx + 4 * AChannels)];
            const int c = s[Wrap(idx + 5 * AChannels)];
            const int d = s[Wrap(idx + 9 * AChannels)];
            const int score = a - d;
            if (best < score && (b ^ c) < 0) {
                best = score;
                chosen = idx;
            }
        }
        start = chosen;
    }
    FLastStart = start;
    return start;
}

void TPlayerAudioDisplay::DrawWaves(int AChannels, int AStart, const TPixelBuffer& ABuffer) {
    for (int y = 0; y < ABuffer.Height; y++) {
        uint8_t* row = ABuffer.Pixels + y * ABuffer.Pitch;
        for (int x = 0; x < ABuffer.Width; x++) {
            row[x * 4 + 0] = row[x * 4 + 1] = row[x * 4 + 2] = 0;
            row[x * 4 + 3] = 255;
        }
    }
    const int h = ABuffer.Height / AChannels;
    const int h2 = h * 9 / 20; // a full-scale sample reaches 90 % of half the band
    for (int c = 0; c < AChannels; c++) {
        int i = Wrap(int64_t(AStart) + c);
        const int centre = c * h + h / 2;
        for (int x = 0; x < ABuffer.Width; x++) {
            const int y = (FSamples[i] * h2) >> 15;
            if (y < 0)
                WhiteColumn(ABuffer, x, centre + y, -y);
            else
                WhiteColumn(ABuffer, x, centre, y);
            i = Wrap(int64_t(i) + AChannels);
        }
    }
    for (int c = 1; c < AChannels; c++)
        for (int x = 0; x < ABuffer.Width; x++)
            WhiteColumn(ABuffer, x, c * h, 1);
}

bool TPlayerAudioDisplay::DrawSpectrum(int AChannels, int AStart, int ARdftBits,
                                       const TPixelBuffer& ABuffer) {
    const int nbFreq = 1 << (ARdftBits - 1);
    const int len = 2 * nbFreq;
    if (ARdftBits != FRdftBits || !FRdft) {
        FRdft.reset();
        FRdftBits = 0;
        AVTXContext* tx = nullptr;
        const float scale = 1.0f;
        if (ff::av_tx_init(&tx, &FRdftFn, AV_TX_FLOAT_RDFT, 0, len, &scale, AV_TX_UNALIGNED) < 0) {
            ff::av_tx_uninit(&tx);
            return false;
        }
        FRdft.reset(tx);
        FRdftBits = ARdftBits;
        FRdftIn.resize(len);
        FRdftOut.resize(2 * (nbFreq + 1));
    }
    for (int c = 0; c < AChannels; c++) {
        int i = Wrap(int64_t(AStart) + c);
        for (int x = 0; x < len; x++) {
            const float w = float(x - nbFreq) / nbFreq;
            FRdftIn[x] = FSamples[i] * (1.0f - w * w);
            i = Wrap(int64_t(i) + AChannels);
        }
        FRdftFn(FRdft.get(), FRdftOut.data() + c * (nbFreq + 1), FRdftIn.data(), sizeof(float));
    }
    if (FXPos >= ABuffer.Width)
        FXPos = 0;
    const double weight = 1.0 / std::sqrt(double(nbFreq));
    auto level = [&](const AVComplexFloat& ABin) {
        const double v = std::sqrt(weight * std::hypot(ABin.re, ABin.im));
        return static_cast<uint8_t>(std::min(std::lround(v), 255L));
    };
    for (int y = 0; y < ABuffer.Height && y <= nbFreq; y++) {
        const uint8_t a = level(FRdftOut[y]);
        const uint8_t b = AChannels > 1 ? level(FRdftOut[nbFreq + 1 + y]) : a;
        PutPixel(ABuffer, FXPos, ABuffer.Height - 1 - y, a, b, static_cast<uint8_t>((a + b) / 2));
    }
    FXPos = FXPos + 1 >= ABuffer.Width ? 0 : FXPos + 1;
    return true;
}

} // namespace vx
