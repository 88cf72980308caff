// Decoding pictures and sound with the decoder: timestamps to the end of the stream,
// seeking and stepping back, bitmaps, and audio read as converted bytes.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "DecodeTestMedia.h"
#include "MediaFixtures.h"
#include "base/Bitmap.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "decode/FFDecode.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

class FrameDecodingTest : public TDecoderTest {
protected:
    int Number() const {
        const TFrameInfo& f = Decoder.FrameInfo();
        return PatternNumber(f.Picture.Data[0], f.Picture.Linesize[0]);
    }
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

// The messages that a caller's mistake or the media provoke, each with its level.
TEST_F(FrameDecodingTest, ProvokedMessages) {
    struct TCase {
        const char* File; // nullptr: nothing loaded
        std::function<bool(TFFDecoder&)> Call;
        TLogLevel Level;
        const char* Message;
    } cases[] = {
        {"song.mp3", [](TFFDecoder& d) { return d.Decode(); }, llError, "no video stream."},
        {"clip.avi", [](TFFDecoder& d) { return d.Decode(7); }, llError, "stream index #7 is invalid."},
        {"clip.avi", [](TFFDecoder& d) { return d.Decode(1); }, llError, "stream #1 is not video stream."},
        {"ntsc.avi", [](TFFDecoder& d) { return d.DecodeAudio(); }, llError, "no audio stream."},
        {"clip.avi", [](TFFDecoder& d) { return d.DecodeAudio(0); }, llError,
         "stream #0 is not audio stream."},
        {"clip.avi", [](TFFDecoder& d) { return d.GetBitmapPtr() != nullptr; }, llError,
         "picture not ready, please decode first"},
        {nullptr,
         [](TFFDecoder& d) {
             return d.LoadFile(UTF8ToFileName(Media("still-picture")), "image2") && d.Seek(0);
         },
         llInfo, "\"image2\" format cannot to be seeked."},
        {"tone.wav",
         [](TFFDecoder& d) {
             while (d.DecodeAudio()) {
             }
             return d.DecodeAudio();
         },
         llInfo, "stream eof reached."},
        {nullptr, [](TFFDecoder& d) { return d.Decode(); }, llWarning, "file not loaded."},
        {nullptr, [](TFFDecoder& d) { return d.Seek(0); }, llWarning, "file not loaded."},
        {nullptr, [](TFFDecoder& d) { return d.ReadAudio(nullptr, 10) >= 0; }, llWarning, "file not loaded."},
        {nullptr, [](TFFDecoder& d) { return d.Position() >= 0; }, llWarning, "file not loaded."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Message);
        if (c.File)
            Load(c.File);
        else
            Decoder.CloseFile();
        Logged.clear();
        EXPECT_FALSE(c.Call(Decoder));
        EXPECT_EQ(Decoder.LastErrMsg(), c.Message);
        EXPECT_TRUE(WasLogged(c.Level, c.Message));
    }
}

// A sample format of its own is converted, with the resampler's word for a conversion.
TEST_F(FrameDecodingTest, AConversionOfTheSampleFormatAloneIsLoggedAsOne) {
    Load("song.mp3");
    ASSERT_TRUE(Decoder.DecodeAudio()) << Decoder.LastErrMsg();
    const std::string from = ff::av_get_sample_fmt_name(
        static_cast<AVSampleFormat>(Decoder.FileHandle()->streams[0]->codecpar->format));
    EXPECT_NE(from, "s16");
    EXPECT_TRUE(WasLogged(llInfo, "need convert " + from + " sample format to s16 sample format"));
    EXPECT_EQ(Decoder.WaveInfo().SampleFormat, AV_SAMPLE_FMT_S16);
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

// Woven fields of a moving picture show combs along its edges. Deinterlaced, no picture keeps
// them: not the first one, which has no picture before it, nor the first after a seek.
TEST_F(FrameDecodingTest, DeinterlacingRemovesTheCombOfWovenFields) {
    ASSERT_TRUE(FFLoader().Load(TLibraries{avFilter})) << FFLoader().LastErrMsg();
    const auto combs = [this] {
        const TFrameInfo& f = Decoder.FrameInfo();
        return CombedPixels(f.Picture.Data[0], f.Picture.Linesize[0], f.Width, f.Height);
    };
    const auto bright = [this] {
        const TFrameInfo& f = Decoder.FrameInfo();
        int count = 0;
        for (int y = 0; y < f.Height; ++y)
            for (int x = 0; x < f.Width; ++x)
                count += f.Picture.Data[0][y * f.Picture.Linesize[0] + x] > 128;
        return count;
    };
    Load("combed.avi");
    ASSERT_TRUE(Decoder.Decode());
    const int woven = combs();
    EXPECT_GT(woven, 400) << "the fixture shows no comb";

    Load("combed.avi");
    EXPECT_FALSE(Decoder.Deinterlace());
    Decoder.SetDeinterlace(true);
    int pictures = 0;
    while (Decoder.Decode()) {
        SCOPED_TRACE(pictures);
        EXPECT_EQ(Decoder.FrameInfo().PTS, pictures * 40000);
        EXPECT_EQ(Decoder.FrameInfo().Width, 96);
        EXPECT_LT(combs(), woven / 20);
        // The bar is still there, 16 to 20 pixels wide.
        EXPECT_GT(bright(), 15 * 64);
        EXPECT_LT(bright(), 21 * 64);
        ASSERT_LT(++pictures, 100);
    }
    EXPECT_EQ(pictures, 25);
    ASSERT_TRUE(Decoder.Seek(480000));
    ASSERT_TRUE(Decoder.Decode());
    EXPECT_EQ(Decoder.FrameInfo().PTS, 480000);
    EXPECT_LT(combs(), woven / 20) << "after a seek";
    EXPECT_TRUE(Decoder.Deinterlace());
    EXPECT_FALSE(WasLogged(llError, "deinterlacing failed."));

    // Without the filter library the pictures come as decoded, and deinterlacing is turned off.
    Decoder.CloseFile(); // its graph goes with the library
    FFLoader().Unload(avFilter);
    Load("combed.avi");
    Decoder.SetDeinterlace(true);
    EXPECT_TRUE(Decoder.Decode());
    EXPECT_EQ(combs(), woven);
    EXPECT_FALSE(Decoder.Deinterlace());
    EXPECT_TRUE(WasLogged(llError, "deinterlacing failed."));
    ASSERT_TRUE(FFLoader().Load(TLibraries{avFilter}));
}

// A seek searches for the key frame of the pictures, reading past the other streams' packets
// stored before it. The sound that the caller asked for, from the time of the seek on, is
// still there for DecodeAudio, from about the key frame on (a program stream stores its sound
// half a second ahead of the pictures, and starts there).
TEST_F(FrameDecodingTest, SoundAfterASeekIsNotLost) {
    struct TCase {
        const char* File;
        int64_t Packet; // microseconds of sound in one packet
    } cases[] = {{"clip.avi", 26123}, {"clip.mp4", 21333}, {"two.mkv", 26123}, {"program.mpg", 24000}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        for (const int64_t at : {int64_t(1000000), int64_t(1500000)}) {
            SCOPED_TRACE(at);
            Load(c.File);
            ASSERT_TRUE(Decoder.Seek(at));
            ASSERT_TRUE(Decoder.Decode());
            const int64_t key = Decoder.FrameInfo().PTS;
            ASSERT_TRUE(Decoder.Seek(at));
            ASSERT_TRUE(Decoder.DecodeAudio()) << Decoder.LastErrMsg();
            const int64_t sound = Decoder.WaveInfo().PTS;
            EXPECT_LE(sound, at) << "sound asked for is lost";
            EXPECT_LE(sound, key + 2 * c.Packet) << "the sound at the key frame is lost";
        }
    }
}

} // namespace
