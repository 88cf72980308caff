// Decoding pictures and sound with the decoder: timestamps to the end of the stream,
// seeking and stepping back, bitmaps, and audio read as converted bytes.
#include <gtest/gtest.h>

#include <vector>

#include "MediaFixtures.h"
#include "base/Bitmap.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "decode/FFDecode.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

TTempDir* g_dir = nullptr;
std::string Media(const std::string& AName) {
    return g_dir->File(AName);
}

class FrameDecodingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(DecoderLibraries)) << FFLoader().LastErrMsg();
        g_dir = new TTempDir;
        WriteMedia(Media("clip.avi"), AviMpeg4Mp3());
        WriteMedia(Media("clip.mp4"), Mp4H264Aac());
        WriteMedia(Media("bframes.mp4"), BFramesClip());
        WriteMedia(Media("program.mpg"), MpegProgramStream());
        WriteMedia(Media("still-picture"), StillPicture());
        WriteMedia(Media("two.mkv"), TwoVideoStreams());
        WriteMedia(Media("tone.wav"), WavPcm());
        WriteMedia(Media("song.mp3"), Mp3AudioOnly());
    }
    static void TearDownTestSuite() {
        delete g_dir;
        g_dir = nullptr;
    }
    void SetUp() override {
        GetLogger().OnLog = [this](void* ASender, uint32_t, TLogLevel ALevel, const std::string& AText) {
            if (ASender == &Decoder)
                Logged.push_back({ALevel, AText});
        };
    }
    void TearDown() override { GetLogger().OnLog = nullptr; }

    void Load(const std::string& AName) {
        ASSERT_TRUE(Decoder.LoadFile(UTF8ToFileName(Media(AName)))) << Decoder.LastErrMsg();
    }
    int Number() const {
        const TFrameInfo& f = Decoder.FrameInfo();
        return PatternNumber(f.Picture.Data[0], f.Picture.Linesize[0]);
    }
    bool WasLogged(TLogLevel ALevel, const std::string& AText) const {
        for (const auto& [level, text] : Logged)
            if (level == ALevel && text == AText)
                return true;
        return false;
    }

    TFFDecoder Decoder;
    std::vector<std::pair<TLogLevel, std::string>> Logged;
};

TEST_F(FrameDecodingTest, EveryPictureInOrderThenTheEndOfTheStream) {
    for (const char* name : {"two.mkv", "clip.mp4", "bframes.mp4"}) {
        SCOPED_TRACE(name);
        Load(name);
        std::vector<int64_t> times;
        while (Decoder.Decode()) {
            const TFrameInfo& f = Decoder.FrameInfo();
            ASSERT_TRUE(f.Ready);
            EXPECT_EQ(f.Width, 320);
            EXPECT_EQ(f.Height, 240);
            EXPECT_EQ(f.StreamIndex, 0);
            EXPECT_EQ(Number(), int(times.size())) << "picture shows another number than its place";
            times.push_back(f.PTS);
            ASSERT_LT(times.size(), 100u);
        }
        ASSERT_EQ(times.size(), 50u);
        for (size_t i = 0; i < times.size(); ++i)
            EXPECT_EQ(times[i], int64_t(i) * 40000) << "picture " << i;
        EXPECT_TRUE(Decoder.FrameInfo().IsKeyFrame || times.size() == 50u);
        EXPECT_EQ(Decoder.LastErrMsg(), "stream eof reached.");
        EXPECT_TRUE(Decoder.Eof());
        EXPECT_TRUE(WasLogged(llInfo, "stream eof reached."));
        // Further calls keep answering the same, and the last picture stays.
        EXPECT_FALSE(Decoder.Decode());
        EXPECT_EQ(Decoder.LastErrMsg(), "stream eof reached.");
        EXPECT_EQ(Decoder.FrameInfo().PTS, 49 * 40000);
        Decoder.CloseFile();
        EXPECT_FALSE(Decoder.Eof());
        EXPECT_FALSE(Decoder.FrameInfo().Ready);
    }
}

TEST_F(FrameDecodingTest, AStillPictureStaysAfterTheFirstDecode) {
    // Without a known extension the contents tell the kind; read as an image sequence when asked for.
    for (const char* format : {"", "image2"}) {
        SCOPED_TRACE(format);
        ASSERT_TRUE(Decoder.LoadFile(UTF8ToFileName(Media("still-picture")), format)) << Decoder.LastErrMsg();
        ASSERT_TRUE(Decoder.Decode()) << Decoder.LastErrMsg();
        const uint8_t* data = Decoder.FrameInfo().Picture.Data[0];
        ASSERT_TRUE(Decoder.Decode()) << Decoder.LastErrMsg();
        EXPECT_TRUE(Decoder.FrameInfo().Ready);
        EXPECT_EQ(Decoder.FrameInfo().Picture.Data[0], data);
        EXPECT_EQ(Decoder.FrameInfo().Width, 320);
        EXPECT_EQ(Number(), 0);
        EXPECT_FALSE(Decoder.Eof());
    }
}

TEST_F(FrameDecodingTest, StreamSelectionErrors) {
    struct TCase {
        const char* File;
        int Index;
        const char* Message;
    } cases[] = {
        {"song.mp3", -1, "no video stream."},
        {"clip.avi", 7, "stream index #7 is invalid."},
        {"clip.avi", 1, "stream #1 is not video stream."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Message);
        Load(c.File);
        EXPECT_FALSE(Decoder.Decode(c.Index));
        EXPECT_EQ(Decoder.LastErrMsg(), c.Message);
    }
    Decoder.CloseFile();
    EXPECT_FALSE(Decoder.Decode());
    EXPECT_EQ(Decoder.LastErrMsg(), "file not loaded.");
    EXPECT_FALSE(Decoder.Seek(0));
    EXPECT_EQ(Decoder.Position(), -1);
    EXPECT_EQ(Decoder.ReadAudio(nullptr, 10), -1);
    EXPECT_EQ(Decoder.LastErrMsg(), "file not loaded.");
}

TEST_F(FrameDecodingTest, AnAttachedContextIsReadOnly) {
    TFFDecoder owner;
    ASSERT_TRUE(owner.LoadFile(UTF8ToFileName(Media("clip.avi"))));
    Decoder.SetFileHandle(owner.FileHandle());
    EXPECT_THROW(Decoder.Decode(), std::logic_error);
    EXPECT_THROW(Decoder.Seek(1000000), std::logic_error);
    EXPECT_THROW(Decoder.DecodeAudio(), std::logic_error);
    EXPECT_EQ(Decoder.LastErrMsg(), "file cannot be seeked, handle is readonly.");
    Decoder.SetFileHandle(nullptr);
    // The owner reads on undisturbed.
    EXPECT_TRUE(owner.Decode());
    EXPECT_EQ(owner.FrameInfo().PTS, 0);
}

TEST_F(FrameDecodingTest, BitmapOnlyAfterAPictureWasDecoded) {
    Load("clip.avi");
    TBitmap bitmap;
    EXPECT_FALSE(Decoder.CopyToBitmap(bitmap));
    EXPECT_EQ(Decoder.LastErrMsg(), "picture not ready, please decode first");
    EXPECT_EQ(Decoder.GetBitmapPtr(), nullptr);

    ASSERT_TRUE(Decoder.Decode());
    ASSERT_TRUE(Decoder.CopyToBitmap(bitmap));
    EXPECT_EQ(bitmap.Width(), 320);
    EXPECT_EQ(bitmap.Height(), 240);
    // The pattern's luma grows to the right and down: the picture is not black and not mirrored.
    const TRGBColor topLeft = bitmap.Pixel(2, 2);
    const TRGBColor bottomRight = bitmap.Pixel(200, 200);
    EXPECT_LT(int(topLeft.G) + topLeft.R, int(bottomRight.G) + bottomRight.R);
    const TDIB* dib = Decoder.GetBitmapPtr();
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(dib->Width, 320);
    EXPECT_EQ(dib->Height, 240);
    EXPECT_EQ(dib->BitsPixel, Decoder.BitmapBitsPixel());
}

TEST_F(FrameDecodingTest, SeekLandsOnAKeyFrameAtOrBeforeTheTime) {
    struct TCase {
        const char* File;
        int64_t KeyEvery; // microseconds
    } cases[] = {
        {"two.mkv", 12 * 40000},
        {"clip.mp4", 12 * 40000},
        {"bframes.mp4", 12 * 40000},
        // Starts at 0.5 s and is searched by timestamps, not by an index of key frames.
        {"program.mpg", 25 * 40000},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        Load(c.File);
        ASSERT_TRUE(Decoder.Decode());
        for (const int64_t at : {int64_t(2000000), int64_t(1900000), int64_t(1000000), int64_t(500000),
                                 int64_t(40000), int64_t(0)}) {
            SCOPED_TRACE(at);
            ASSERT_TRUE(Decoder.Seek(at)) << Decoder.LastErrMsg();
            EXPECT_FALSE(Decoder.FrameInfo().Ready);
            ASSERT_TRUE(Decoder.Decode()) << Decoder.LastErrMsg();
            EXPECT_TRUE(Decoder.FrameInfo().IsKeyFrame);
            EXPECT_EQ(Decoder.FrameInfo().PTS, at / c.KeyEvery * c.KeyEvery);
            EXPECT_EQ(Number(), int(Decoder.FrameInfo().PTS / 40000));
        }
        // Before any picture no stream is selected: the container's time serves.
        Load(c.File);
        ASSERT_TRUE(Decoder.Seek(500000)) << Decoder.LastErrMsg();
        ASSERT_TRUE(Decoder.Decode());
        EXPECT_EQ(Decoder.FrameInfo().PTS, 500000 / c.KeyEvery * c.KeyEvery);
    }
}

TEST_F(FrameDecodingTest, KeyFramesForwardAndBack) {
    Load("bframes.mp4");
    ASSERT_TRUE(Decoder.Decode());
    std::vector<int64_t> forward{Decoder.FrameInfo().PTS};
    while (Decoder.DecodeNextKeyFrame()) {
        EXPECT_TRUE(Decoder.FrameInfo().IsKeyFrame);
        ASSERT_GT(Decoder.FrameInfo().PTS, forward.back());
        forward.push_back(Decoder.FrameInfo().PTS);
        ASSERT_LT(forward.size(), 10u);
    }
    EXPECT_EQ(forward, (std::vector<int64_t>{0, 480000, 960000, 1440000, 1920000}));
    EXPECT_EQ(Decoder.LastErrMsg(), "no key frame after 1.920 seconds.");

    ASSERT_TRUE(Decoder.Seek(1800000));
    ASSERT_TRUE(Decoder.Decode());
    std::vector<int64_t> back{Decoder.FrameInfo().PTS};
    while (back.back() > 0 && Decoder.DecodePreviousKeyFrame()) {
        EXPECT_TRUE(Decoder.FrameInfo().IsKeyFrame);
        back.push_back(Decoder.FrameInfo().PTS);
        ASSERT_LT(back.size(), 10u);
    }
    EXPECT_EQ(back, (std::vector<int64_t>{1440000, 960000, 480000, 0}));
}

TEST_F(FrameDecodingTest, SteppingBackVisitsEveryPictureInReverse) {
    struct TCase {
        const char* File;
        int Pictures;
    } cases[] = {{"bframes.mp4", 50}, {"two.mkv", 50}, {"program.mpg", 75}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        Load(c.File);
        while (Decoder.Decode()) {
        }
        ASSERT_EQ(Decoder.FrameInfo().PTS, (c.Pictures - 1) * 40000);
        for (int expected = c.Pictures - 2; expected >= 0; --expected) {
            ASSERT_TRUE(Decoder.DecodePreviousFrame()) << expected << ": " << Decoder.LastErrMsg();
            ASSERT_EQ(Decoder.FrameInfo().PTS, expected * 40000);
            ASSERT_EQ(Number(), expected);
        }
    }
}

TEST_F(FrameDecodingTest, ReadAudioGivesTheWholeLengthAsWantedBytes) {
    struct TCase {
        const char* File;
        double Seconds;
        int Slack; // bytes: the codec's frame and the resampler's filter
    } cases[] = {
        {"tone.wav", 2.0, 0},
        {"song.mp3", 3.0, 1152 * 4},
        {"clip.mp4", 2.0, 1024 * 4 + 64}, // 48 kHz resampled to 44.1 kHz
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        Load(c.File);
        int64_t total = 0;
        std::vector<uint8_t> buffer(5000);
        for (;;) {
            const int ready = Decoder.ReadAudio(nullptr, 5000);
            if (ready < 0)
                break;
            // Asking without a buffer consumes nothing.
            EXPECT_EQ(Decoder.ReadAudio(nullptr, 5000), ready);
            const int got = Decoder.ReadAudio(buffer.data(), int(buffer.size()));
            ASSERT_EQ(got, ready);
            total += got;
            const TWaveInfo& w = Decoder.WaveInfo();
            ASSERT_EQ(w.SampleRate, 44100);
            ASSERT_EQ(w.Channels, 2);
            ASSERT_EQ(w.BytesPerSecond, 176400);
        }
        EXPECT_EQ(Decoder.LastErrMsg(), "stream eof reached.");
        EXPECT_NEAR(double(total), c.Seconds * 176400, c.Slack);
        EXPECT_EQ(total % 4, 0);
    }
}

TEST_F(FrameDecodingTest, DecodeAudioPassesMatchingSamplesThrough) {
    Load("tone.wav");
    ASSERT_TRUE(Decoder.DecodeAudio());
    const TWaveInfo& w = Decoder.WaveInfo();
    EXPECT_TRUE(w.Ready);
    EXPECT_EQ(w.PTS, 0);
    EXPECT_EQ(w.Duration, int64_t(w.Size) * 1000000 / 176400);
    EXPECT_FALSE(WasLogged(llInfo, "need resample 2 channels @ 44100 Hz to 2 channels @ 44100 Hz"));
    // The fixture's tone at 0.4 of full scale, both channels alike.
    const auto* samples = reinterpret_cast<const int16_t*>(w.Buffer);
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(samples[20], samples[21]);

    Load("clip.mp4");
    Decoder.SetDesireAudioChannels(1);
    Decoder.SetDesireAudioSampleRate(22050);
    ASSERT_TRUE(Decoder.DecodeAudio());
    EXPECT_EQ(Decoder.WaveInfo().BytesPerSecond, 44100);
    EXPECT_TRUE(WasLogged(llInfo, "need resample 2 channels @ 48000 Hz to 1 channels @ 22050 Hz"));
}

} // namespace
