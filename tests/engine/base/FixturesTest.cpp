#include <cmath>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFApi.h"
#include "base/FFLoad.h"
#include "base/FormatIO.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

struct TExpectedStream {
    AVMediaType Type;
    AVCodecID Codec;
    int Width, Height;        // video
    AVRational FrameRate;     // video
    int SampleRate, Channels; // audio
};

struct TFixtureCase {
    const char* Name;
    TMediaSpec (*Spec)();
    const char* Demuxer; // first name of the demuxer that reads it back
    std::vector<TExpectedStream> Streams;
    double Seconds;
};

void PrintTo(const TFixtureCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

const AVRational Pal{25, 1};

class FixturesTest : public ::testing::TestWithParam<TFixtureCase> {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    }
    TTempDir Dir;
};

TEST_P(FixturesTest, WritesAFileThatReadsBackAsSpecified) {
    const TFixtureCase& c = GetParam();
    const std::string path = Dir.File(std::string(c.Name) + ".media");
    WriteMedia(path, c.Spec());

    AVFormatContext* raw = nullptr;
    ASSERT_EQ(OpenInputFile(&raw, path, nullptr, nullptr), 0);
    TInputFilePtr input(raw);
    ASSERT_GE(ff::avformat_find_stream_info(raw, nullptr), 0);
    EXPECT_EQ(std::string(raw->iformat->name).substr(0, std::string(c.Demuxer).size()), c.Demuxer);
    ASSERT_EQ(raw->nb_streams, c.Streams.size());
    for (size_t i = 0; i < c.Streams.size(); ++i) {
        const AVCodecParameters* par = raw->streams[i]->codecpar;
        const TExpectedStream& e = c.Streams[i];
        EXPECT_EQ(par->codec_type, e.Type) << i;
        EXPECT_EQ(par->codec_id, e.Codec) << i;
        if (e.Type == AVMEDIA_TYPE_VIDEO) {
            EXPECT_EQ(par->width, e.Width);
            EXPECT_EQ(par->height, e.Height);
            EXPECT_EQ(av_cmp_q(raw->streams[i]->r_frame_rate, e.FrameRate), 0)
                << raw->streams[i]->r_frame_rate.num << "/" << raw->streams[i]->r_frame_rate.den;
        } else {
            EXPECT_EQ(par->sample_rate, e.SampleRate);
            EXPECT_EQ(par->ch_layout.nb_channels, e.Channels);
        }
    }
    EXPECT_NEAR(raw->duration / double(AV_TIME_BASE), c.Seconds, 0.15);
}

INSTANTIATE_TEST_SUITE_P(
    Media, FixturesTest,
    ::testing::Values(
        TFixtureCase{"AviMpeg4Mp3",
                     AviMpeg4Mp3,
                     "avi",
                     {{AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, 320, 240, Pal, 0, 0},
                      {AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_MP3, 0, 0, {}, 44100, 2}},
                     2.0},
        TFixtureCase{"Mp4H264Aac",
                     Mp4H264Aac,
                     "mov",
                     {{AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_H264, 320, 240, Pal, 0, 0},
                      {AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_AAC, 0, 0, {}, 48000, 2}},
                     2.0},
        TFixtureCase{
            "WavPcm", WavPcm, "wav", {{AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_PCM_S16LE, 0, 0, {}, 44100, 2}}, 2.0},
        TFixtureCase{"Mp3AudioOnly",
                     Mp3AudioOnly,
                     "mp3",
                     {{AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_MP3, 0, 0, {}, 44100, 2}},
                     3.0},
        TFixtureCase{"TwoVideoStreams",
                     TwoVideoStreams,
                     "matroska",
                     {{AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, 320, 240, Pal, 0, 0},
                      {AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, 160, 120, Pal, 0, 0},
                      {AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_MP3, 0, 0, {}, 44100, 2}},
                     2.0},
        TFixtureCase{"NtscFrameRate",
                     NtscFrameRate,
                     "avi",
                     {{AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, 320, 240, {30000, 1001}, 0, 0}},
                     2.0},
        TFixtureCase{
            "OddSize", OddSize, "avi", {{AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, 175, 97, Pal, 0, 0}}, 1.0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FixturesTest, BrokenFilesDoNotOpenAsMedia) {
    const std::string good = Dir.File("good.avi");
    WriteMedia(good, AviMpeg4Mp3());
    WriteTruncatedCopy(good, Dir.File("truncated.avi"), 300);
    EXPECT_EQ(FileSize(Dir.File("truncated.avi")), 300);
    WriteTextFile(Dir.File("empty.avi"), "");
    WriteTextFile(Dir.File("text.mp4"), "This is not a video file.\n");
    for (const char* name : {"empty.avi", "text.mp4"}) {
        AVFormatContext* raw = nullptr;
        EXPECT_LT(OpenInputFile(&raw, Dir.File(name), nullptr, nullptr), 0) << name;
        EXPECT_EQ(raw, nullptr);
    }
    // A truncated AVI still opens, but is far shorter than its header claims to hold.
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, Dir.File("truncated.avi"), nullptr, nullptr) == 0) {
        TInputFilePtr input(raw);
        ff::avformat_find_stream_info(raw, nullptr);
        AVPacket* packet = ff::av_packet_alloc();
        int packets = 0;
        while (ff::av_read_frame(raw, packet) >= 0) {
            ++packets;
            ff::av_packet_unref(packet);
        }
        ff::av_packet_free(&packet);
        EXPECT_LT(packets, 5);
    }
}

} // namespace
