// The audio displays on pure tones: the spectrum's brightest row is the tone's frequency
// bin, per channel; the waveform starts on a falling zero crossing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/FFLoad.h"
#include "play/PlayerAudioDisplay.h"

using namespace vx;

namespace {

constexpr int Rate = 44100;

// Fills the ring with AFrames sample frames of a sine per channel, AFrequencies[c] Hz.
void WriteTones(TSampleRing& ARing, const std::vector<double>& AFrequencies, int AFrames, double AAmplitude) {
    const int channels = static_cast<int>(AFrequencies.size());
    std::vector<int16_t> samples(AFrames * channels);
    for (int i = 0; i < AFrames; i++)
        for (int c = 0; c < channels; c++)
            samples[i * channels + c] = static_cast<int16_t>(
                std::lround(AAmplitude * std::sin(2 * M_PI * AFrequencies[c] * i / Rate)));
    ARing.Write(samples.data(), static_cast<int>(samples.size()));
}

struct TPicture {
    TPicture(int AWidth, int AHeight)
        : Pixels(AWidth * AHeight * 4, 0x80), Buffer{nullptr, AWidth, AHeight, 0} {
        Buffer.Pixels = Pixels.data();
        Buffer.Pitch = AWidth * 4;
    }
    const uint8_t* At(int AX, int AY) const { return Pixels.data() + AY * Buffer.Pitch + AX * 4; }
    bool White(int AX, int AY) const { return At(AX, AY)[0] == 255 && At(AX, AY)[2] == 255; }
    // The row of the brightest value of colour component AComponent in column AX.
    int BrightestRow(int AX, int AComponent) const {
        int best = 0;
        for (int y = 1; y < Buffer.Height; y++)
            if (At(AX, y)[AComponent] > At(AX, best)[AComponent])
                best = y;
        return best;
    }
    std::vector<uint8_t> Pixels;
    TPixelBuffer Buffer;
};

class AudioDisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(FFLoader().Load(PlayerLibraries)) << FFLoader().LastErrMsg(); }
};

} // namespace

TEST_F(AudioDisplayTest, SpectrumPeakRowIsTheToneBinOfEachChannel) {
    // Height 100: a 256-point transform, bins of 44100 / 256 Hz; bin y is drawn on row 99 - y.
    constexpr double Bin = Rate / 256.0;
    TSampleRing ring;
    WriteTones(ring, {20 * Bin, 40 * Bin}, 8192, 3000); // below the brightness cap
    TPlayerTiming timing;
    ResetAudioSync(timing, Rate, 2, 4096, 0);
    TPicture picture(64, 100);
    TPlayerAudioDisplay display;
    ASSERT_TRUE(display.Draw(smSpectrum, ring, timing, 0, picture.Buffer));

    EXPECT_EQ(picture.BrightestRow(0, 0), 99 - 20); // red: the first channel
    EXPECT_EQ(picture.BrightestRow(0, 1), 99 - 40); // green: the second
    EXPECT_GT(picture.At(0, 79)[0], 100);
    EXPECT_EQ(picture.At(1, 79)[0], 0x80); // only one column is drawn per call
    EXPECT_EQ(display.XPos(), 1);
    for (int i = 1; i < 64; i++)
        ASSERT_TRUE(display.Draw(smSpectrum, ring, timing, 0, picture.Buffer));
    EXPECT_EQ(display.XPos(), 0); // wrapped at the width
    EXPECT_EQ(picture.BrightestRow(63, 0), 99 - 20);
}

TEST_F(AudioDisplayTest, WaveformStartsOnAFallingZeroCrossing) {
    // A 441 Hz tone: 100 samples a period; the band is 100 rows high, centred on row 50.
    TSampleRing ring;
    WriteTones(ring, {441.0}, 8192, 20000);
    TPlayerTiming timing;
    ResetAudioSync(timing, Rate, 1, 2048, 0);
    TPicture picture(64, 100);
    TPlayerAudioDisplay display;
    ASSERT_TRUE(display.Draw(smWaves, ring, timing, 0, picture.Buffer));

    // Positive samples hang below the centre line, negative ones stand above it; the
    // crossing is between columns 4 and 5 whichever period the display picked.
    EXPECT_TRUE(picture.White(2, 51));
    EXPECT_FALSE(picture.White(2, 47));
    EXPECT_TRUE(picture.White(30, 35));
    EXPECT_FALSE(picture.White(30, 60));
    EXPECT_FALSE(picture.White(30, 10));
    EXPECT_EQ(picture.At(63, 5)[0], 0); // the background is black
}
