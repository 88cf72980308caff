// Whole conversions through the encoder component, as the batch driver starts them:
// generated sources in, outputs read back.
#include "PathsTestSupport.h"
#include "base/PlatformBridge.h"
#include "encode/FFEncode.h"

namespace vx::test {
namespace {

struct TFacts {
    std::string Format;
    AVCodecID Video = AV_CODEC_ID_NONE, Audio = AV_CODEC_ID_NONE;
    int Width = 0, Height = 0, SampleRate = 0, Channels = 0;
    AVRational FrameRate{0, 1};
    double Seconds = 0;
};

TFacts Inspect(const std::string& APath) {
    AVFormatContext* raw = nullptr;
    Check(OpenInputFile(&raw, APath, nullptr, nullptr), "open " + APath);
    TInputFilePtr input(raw);
    Check(ff::avformat_find_stream_info(raw, nullptr), "stream info");
    TFacts facts;
    facts.Format = raw->iformat->name;
    facts.Seconds = raw->duration / double(AV_TIME_BASE);
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVCodecParameters* par = raw->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && facts.Video == AV_CODEC_ID_NONE) {
            facts.Video = par->codec_id;
            facts.Width = par->width;
            facts.Height = par->height;
            facts.FrameRate = raw->streams[i]->avg_frame_rate;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && facts.Audio == AV_CODEC_ID_NONE) {
            facts.Audio = par->codec_id;
            facts.SampleRate = par->sample_rate;
            facts.Channels = par->ch_layout.nb_channels;
        }
    }
    return facts;
}

class EndToEndTest : public TPathsTest {
protected:
    static void SetUpTestSuite() {
        TPathsTest::SetUpTestSuite();
        if (!Media) {
            Media = std::make_unique<fixtures::TTempDir>();
            fixtures::WriteMedia(Media->File("clip.avi"), fixtures::AviMpeg4Mp3());
        }
    }
    static std::string Avi() { return Media->File("clip.avi"); }

    // Converts Avi() into AOutput with AOptions; returns the task's termination.
    TTerminateInfo Convert(const std::string& AOutput, TOutputOptions& AOptions) {
        TFFEncoder encoder;
        TTerminateInfo result;
        bool ended = false;
        encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& AInfo) {
            if (AInfo.TaskIndex == 0)
                result = AInfo;
            ended = ended || AInfo.TaskIndex == -1;
        };
        const int task = encoder.AddTask(UTF8ToFileName(Avi()), nullptr);
        EXPECT_GE(task, 0) << encoder.LastErrMsg();
        EXPECT_TRUE(encoder.SetOutputFile(task, UTF8ToFileName(AOutput), &AOptions)) << encoder.LastErrMsg();
        encoder.Start(1);
        EXPECT_TRUE(WaitProcessingMessages([&] { return ended; }, 120000));
        return result;
    }

    static inline std::unique_ptr<fixtures::TTempDir> Media;
};

TEST_F(EndToEndTest, AviToMp4WithH264AndAac) {
    const std::string out = Dir.File("clip.mp4");
    TOutputOptions options;
    options.VideoCodec = "libx264";
    options.AudioCodec = "aac";
    const TTerminateInfo end = Convert(out, options);
    ASSERT_TRUE(end.Finished && !end.Exception) << end.ExceptionMsg;
    const TFacts facts = Inspect(out);
    EXPECT_NE(facts.Format.find("mp4"), std::string::npos) << facts.Format;
    EXPECT_EQ(facts.Video, AV_CODEC_ID_H264);
    EXPECT_EQ(facts.Audio, AV_CODEC_ID_AAC);
    EXPECT_EQ(facts.Width, 320);
    EXPECT_EQ(facts.Height, 240);
    EXPECT_EQ(av_cmp_q(facts.FrameRate, AVRational{25, 1}), 0)
        << facts.FrameRate.num << "/" << facts.FrameRate.den;
    EXPECT_EQ(facts.SampleRate, 44100);
    EXPECT_EQ(facts.Channels, 2);
    EXPECT_NEAR(facts.Seconds, 2.0, 0.5);
    EXPECT_NEAR(double(ReadBack(out, AVMEDIA_TYPE_VIDEO).Frames), 50, 2);
    EXPECT_NEAR(double(ReadBack(out, AVMEDIA_TYPE_AUDIO).Frames), 2 * 44100, 2048);
}

TEST_F(EndToEndTest, AviToMp3KeepsOnlyTheSound) {
    const std::string out = Dir.File("clip.mp3");
    TOutputOptions options;
    options.AudioCodec = "libmp3lame";
    options.DisableVideo = true;
    options.AudioSampleRate = 22050;
    options.AudioChannels = 1;
    const TTerminateInfo end = Convert(out, options);
    ASSERT_TRUE(end.Finished && !end.Exception) << end.ExceptionMsg;
    const TFacts facts = Inspect(out);
    EXPECT_EQ(facts.Format, "mp3");
    EXPECT_EQ(facts.Video, AV_CODEC_ID_NONE);
    EXPECT_EQ(facts.Audio, AV_CODEC_ID_MP3);
    EXPECT_EQ(facts.SampleRate, 22050);
    EXPECT_EQ(facts.Channels, 1);
    EXPECT_NEAR(facts.Seconds, 2.0, 0.5);
}

TEST_F(EndToEndTest, FiltersSizeAndVolumeReachTheOutput) {
    const std::string out = Dir.File("small.mkv");
    TOutputOptions options;
    options.VideoCodec = "mpeg4";
    options.AudioCodec = "pcm_s16le";
    options.FrameSize = "160x120";
    options.VideoFilters = "hflip";
    options.AudioVolume = 128;
    const TTerminateInfo end = Convert(out, options);
    ASSERT_TRUE(end.Finished && !end.Exception) << end.ExceptionMsg;
    const TFacts facts = Inspect(out);
    EXPECT_EQ(facts.Width, 160);
    EXPECT_EQ(facts.Height, 120);
    EXPECT_NEAR(facts.Seconds, 2.0, 0.5);
    // The source tone peaks at 0.4; half the volume peaks at 0.2.
    const TReadBack sound = ReadBack(out, AVMEDIA_TYPE_AUDIO);
    double peak = 0;
    for (double s : sound.Samples)
        peak = std::max(peak, std::abs(s));
    EXPECT_NEAR(peak, 0.2, 0.03);
}

} // namespace
} // namespace vx::test
