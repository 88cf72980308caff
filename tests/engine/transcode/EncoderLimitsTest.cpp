// Frame rates and picture sizes that encoders of this library generation refuse: the run
// takes the nearest values the encoder codes, says so in the log, and the file reads back
// with the source's length, frame count and shape. A size that was asked for and cannot be
// coded ends the run before anything is written, naming the limit.
#include <cmath>
#include <cstring>
#include <optional>

#include "TranscodeTestSupport.h"
#include "base/TextFormat.h"
#include "encode/EncoderLimits.h"

using namespace vx;
using namespace vx::test;

namespace {

class EncoderLimitsTest : public TranscodeTest {
protected:
    // A source of this suite, written the first time a test needs it.
    static std::string Source(const std::string& AName, const fixtures::TMediaSpec& ASpec) {
        const std::string path = Path(AName);
        if (!FileExists(path))
            fixtures::WriteMedia(path, ASpec);
        return path;
    }
};

double DisplayAspect(const TStreamFacts& AStream) {
    const double sar = AStream.SampleAspect.num > 0 ? av_q2d(AStream.SampleAspect) : 1.0;
    return AStream.Width * sar / AStream.Height;
}

// Opens the encoder for one picture of the size and codes it; the library's answer.
int OpenAndCode(const char* AEncoder, TPictureSize ASize) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(AEncoder);
    if (!codec)
        return AVERROR_ENCODER_NOT_FOUND;
    TCodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    ctx->width = ASize.Width;
    ctx->height = ASize.Height;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    if (int ret = ff::avcodec_open2(ctx.get(), codec, nullptr); ret < 0)
        return ret;
    TFramePtr frame(ff::av_frame_alloc());
    frame->format = ctx->pix_fmt;
    frame->width = ASize.Width;
    frame->height = ASize.Height;
    if (int ret = ff::av_frame_get_buffer(frame.get(), 0); ret < 0)
        return ret;
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(ctx->pix_fmt);
    for (int p = 0; p < 4 && frame->data[p]; ++p) {
        const int lines = p == 0 ? ASize.Height : -((-ASize.Height) >> desc->log2_chroma_h);
        std::memset(frame->data[p], 128, static_cast<size_t>(frame->linesize[p]) * lines);
    }
    frame->pts = 0;
    int ret = ff::avcodec_send_frame(ctx.get(), frame.get());
    if (ret >= 0)
        ret = ff::avcodec_send_frame(ctx.get(), nullptr);
    TPacketPtr packet(ff::av_packet_alloc());
    while (ret >= 0) {
        ret = ff::avcodec_receive_packet(ctx.get(), packet.get());
        ff::av_packet_unref(packet.get());
    }
    return ret == AVERROR_EOF ? 0 : ret;
}

// The sizes chosen for a source of too large a picture are what each encoder really codes,
// where the source's own size is refused; the shape stays that of the source, except where the
// encoder has a fixed list.
TEST(EncoderSizeLimits, TheSizeChosenForTheSourceIsOneTheEncoderCodes) {
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    struct TCase {
        const char* Encoder;
        TPictureSize Source, Chosen;
    };
    const TCase cases[] = {
        {"rv10", {1920, 1080}, {1360, 768}}, // fewer than 4096 macroblocks
        {"rv10", {1280, 720}, {1280, 720}},  // 3600 macroblocks: as it is
        {"rv20", {175, 97}, {172, 96}},      // multiples of 4
        {"h263", {1920, 1080}, {704, 576}},  // the largest listed size within the source
        {"h263", {100, 60}, {128, 96}},      // none within: the smallest
        {"h263p", {2560, 1440}, {2048, 1152}},
        {"h261", {1920, 1080}, {352, 288}},
        {"mpeg1video", {4096, 2160}, {4094, 2158}},
        {"mpeg2video", {4096, 2160}, {4094, 2158}}, // no side a multiple of 4096
        {"mpeg4", {8192, 4320}, {8190, 4318}},
        {"mjpeg", {70000, 16}, {65500, 14}},
        {"wmv2", {175, 97}, {174, 96}}, // even sides: rounded, not scaled
    };
    TLogRecorder quiet(llQuiet); // the refusals are expected
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Encoder) + " " + std::to_string(c.Source.Width) + "x" +
                     std::to_string(c.Source.Height));
        const AVCodec* codec = ff::avcodec_find_encoder_by_name(c.Encoder);
        ASSERT_NE(codec, nullptr);
        const TSizeLimits limits = EncoderSizeLimits(codec->id, codec->pix_fmts[0], FF_COMPLIANCE_NORMAL);
        const std::optional<TPictureSize> chosen = LargestFittingSize(limits, c.Source);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->Width, c.Chosen.Width);
        EXPECT_EQ(chosen->Height, c.Chosen.Height);
        EXPECT_EQ(OpenAndCode(c.Encoder, *chosen), 0);
        if (!(c.Source == c.Chosen)) {
            EXPECT_LT(OpenAndCode(c.Encoder, c.Source), 0) << "the source's size needs no change";
            EXPECT_FALSE(SizeFits(limits, c.Source));
        }
    }
}

// A picture taken over at the source's size that the encoder refuses is scaled down (or to a
// size of the encoder's list), the change is logged, and the file has every picture at the new
// size with the source's display shape.
TEST_F(EncoderLimitsTest, ASourceTooLargeForTheEncoderIsScaledToFit) {
    struct TCase {
        const char* Encoder;
        const char* File;
        std::string Source;
        int Width, Height;
    };
    const std::string fullHd = Source("fullhd.avi", fixtures::LargePicture(1920, 1080, 0.4));
    const std::string cinema = Source("cinema4k.avi", fixtures::LargePicture(4096, 2160, 0.2));
    const TCase cases[] = {
        {"rv10", "rv10.rm", fullHd, 1360, 768},          {"h263", "h263.avi", fullHd, 704, 576},
        {"h261", "h261.avi", fullHd, 352, 288},          {"mpeg1video", "mpeg1.mpg", cinema, 4094, 2158},
        {"mpeg2video", "mpeg2.mpg", cinema, 4094, 2158},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Encoder);
        const TFileFacts source = ReadBack(c.Source);
        const TStreamFacts* in = source.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(in, nullptr);
        TLogRecorder log;
        TTestJob job;
        ASSERT_TRUE(job.Input(c.Source));
        const std::string out = Out.File(c.File);
        ASSERT_EQ(job.Output(out, {{"vcodec", c.Encoder}, {"b", "2000k"}, {"an", "1"}}), 1)
            << job.LastErrMsg();
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage() << log.Text();
        EXPECT_EQ(log.Count(llInfo, FormatText("the %dx%d picture is scaled to %dx%d", in->Width, in->Height,
                                               c.Width, c.Height)),
                  1);

        const TFileFacts facts = ReadBack(out);
        const TStreamFacts* video = facts.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->Width, c.Width);
        EXPECT_EQ(video->Height, c.Height);
        EXPECT_NEAR(DisplayAspect(*video), DisplayAspect(*in), DisplayAspect(*in) * 0.01);
        EXPECT_EQ(video->Packets, in->Packets);
        EXPECT_NEAR(facts.Seconds, source.Seconds, 0.1);
    }
}

// A size that was asked for is rounded to the encoder's multiples when that is all it needs;
// a size it cannot take ends the run at once with the limit in the message, and no file stays.
TEST_F(EncoderLimitsTest, AnAskedSizeIsRoundedOrRefusedNamingTheLimit) {
    struct TCase {
        const char* Encoder;
        const char* File;
        const char* Size;
        int Width, Height; // 0: refused
        const char* Message;
    };
    const TCase cases[] = {
        {"rv10", "rounded.rm", "160x120", 160, 112,
         "Encoder \"rv10\" takes whole macroblocks (multiples of 16), fewer than 4096 of them: the asked "
         "size "
         "160x120 is rounded to 160x112"},
        {"h263", "refused.3gp", "320x240", 0, 0,
         "Encoder \"h263\" cannot code 320x240 pictures: it takes only 128x96, 176x144, 352x288, 704x576 and "
         "1408x1152"},
        {"rv20", "coarsest.rm", "7680x4320", 0, 0,
         "The \"rm\" muxer takes no picture above 65512 bytes: encoder \"rv20\" cannot code 7680x4320 "
         "pictures within it (at most 87008 macroblocks)"},
        {"rv10", "refused.rm", "1920x1088", 0, 0,
         "Encoder \"rv10\" cannot code 1920x1088 pictures: it takes whole macroblocks (multiples of 16), "
         "fewer "
         "than 4096 of them"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Size);
        TLogRecorder log;
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("short.avi")));
        const std::string out = Out.File(c.File);
        ASSERT_EQ(job.Output(out, {{"vcodec", c.Encoder}, {"s", c.Size}, {"an", "1"}}), 1)
            << job.LastErrMsg();
        job.Run();
        if (!c.Width) {
            EXPECT_TRUE(job.FatalException());
            EXPECT_EQ(job.FatalMessage(), c.Message);
            EXPECT_EQ(log.Count(llError, c.Message), 1);
            EXPECT_FALSE(FileExists(out));
            continue;
        }
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        EXPECT_EQ(log.Count(llInfo, c.Message), 1);
        const TFileFacts facts = ReadBack(out);
        const TStreamFacts* video = facts.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->Width, c.Width);
        EXPECT_EQ(video->Height, c.Height);
        // 25 pictures over 26 slots of 1/25 s (the clip's writer leaves an empty slot after
        // the first picture): the last picture fills the 26th.
        EXPECT_EQ(video->Packets, 26);
    }
}

// The RealMedia muxer takes no picture above 65512 bytes. Pictures of pure noise are the most
// an encoder can be given (each one codes to several times the limit at the coarsest quantiser):
// the run keeps every picture within the limit by the encoder's rate control, says so, and the
// file has them all (the muxer ends the run otherwise). A few pictures each: those of noise are
// coded again and again before they fit.
TEST_F(EncoderLimitsTest, EveryRealMediaPictureStaysWithinTheMuxersLimit) {
    struct TCase {
        const char* Encoder;
        std::string Source;
        const char* Rate;
    };
    const std::string camera = Source("noise405.avi", fixtures::NoisePicture(720, 405, 0.12));
    const std::string fullHd = Source("noise1080.avi", fixtures::NoisePicture(1920, 1080, 0.04));
    const TCase cases[] = {
        {"rv10", camera, "1800k"}, // the catalogue entry's codec and bit rate at a camera's size
        {"rv20", camera, "1800k"},
        {"rv10", fullHd, "3000k"}, // scaled to 1360x768 for the encoder
        {"rv20", fullHd, "3000k"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Encoder) + " " + c.Source);
        const TFileFacts source = ReadBack(c.Source);
        const TStreamFacts* in = source.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(in, nullptr);
        TLogRecorder log;
        TTestJob job;
        ASSERT_TRUE(job.Input(c.Source));
        const std::string out = Out.File(std::string(c.Encoder) + ".rm");
        ASSERT_EQ(job.Output(out, {{"vcodec", c.Encoder}, {"b", c.Rate}}), 1) << job.LastErrMsg();
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage() << log.Text();
        EXPECT_EQ(log.Count(llInfo, FormatText("The \"rm\" muxer takes no picture above 65512 bytes: encoder "
                                               "\"%s\" codes every picture within a video buffer of",
                                               c.Encoder)),
                  1);

        const TFileFacts facts = ReadBack(out);
        const TStreamFacts* video = facts.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->Packets, in->Packets);
        EXPECT_NEAR(facts.Seconds, source.Seconds, 0.1);
    }
}

// Camera rates whose time base needs a denominator above 65535 are refused by the MPEG-4
// encoder; the run codes the nearest rate it can and logs it. An encoder with a fixed list of
// rates takes the nearest listed one. Every picture of the second is in the file either way.
TEST_F(EncoderLimitsTest, ARateTheEncoderCannotCodeBecomesTheNearestItCan) {
    struct TCase {
        const char* Id;
        std::string Source;
        const char* Encoder;
        const char* File;
        AVRational Rate; // what the encoder codes
        const char* Log;
    };
    const std::string phone = Source("phone.mp4", fixtures::PhoneClip(1920, 1080));
    const std::string camera = Source("camera.avi", fixtures::MjpegCameraClip());
    const std::string fast = Source("fast.mp4", fixtures::HighSpeedClip());
    const TCase cases[] = {
        {"phone into MP4",
         phone,
         "mpeg4",
         "phone.mp4",
         {62991, 2099},
         "Encoder \"mpeg4\" cannot code the time base of 90000/2999 fps (its denominator may be at most "
         "65535): the nearest rate it can, 62991/2099 fps, is used"},
        {"MJPEG camera into AVI",
         camera,
         "mpeg4",
         "camera.avi",
         {0, 0},
         "cannot code the time base of 500000/33333"},
        {"187 fps into 3GP", fast, "mpeg4", "fast.3gp", {0, 0}, "cannot code the time base of 78125/417"},
        {"187 fps into MPEG-1",
         fast,
         "mpeg1video",
         "fast.mpg",
         {60, 1},
         "Encoder \"mpeg1video\" takes a fixed list of frame rates: 78125/417 fps becomes 60/1 fps"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Id);
        const TFileFacts source = ReadBack(c.Source);
        const TStreamFacts* in = source.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(in, nullptr);
        TLogRecorder log;
        TTestJob job;
        ASSERT_TRUE(job.Input(c.Source));
        const AVRational sourceRate = job.Finput_streams[0].st->r_frame_rate;
        const std::string out = Out.File(c.File);
        ASSERT_EQ(job.Output(out, {{"vcodec", c.Encoder}, {"an", "1"}}), 1) << job.LastErrMsg();
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        EXPECT_EQ(log.Count(llInfo, c.Log), 1);

        // The rate coded is the source's (within a millionth), or the one the case names.
        const double rate = c.Rate.num ? av_q2d(c.Rate) : av_q2d(sourceRate);
        const TFileFacts facts = ReadBack(out);
        const TStreamFacts* video = facts.First(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(video, nullptr);
        EXPECT_NEAR(video->FrameRate, rate, rate * 0.005);
        EXPECT_EQ(video->Width, in->Width);
        EXPECT_EQ(video->Height, in->Height);
        EXPECT_NEAR(facts.Seconds, source.Seconds, 0.1);
        EXPECT_NEAR(video->Packets, in->Packets * rate / av_q2d(sourceRate), 1.0);
    }
}

// The rate chosen is the closest one whose time base the encoder codes (the best rational
// approximations below were worked out apart from the library); codable rates stay as they are.
TEST(EncoderFrameRates, TheClosestCodableRateIsChosen) {
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    const std::pair<AVRational, AVRational> cases[] = {
        {{90000, 2999}, {62991, 2099}},
        {{500000, 33333}, {65521, 4368}},
        {{78125, 417}, {63137, 337}},
        {{30000, 1001}, {30000, 1001}},
        {{25, 1}, {25, 1}},
    };
    for (const auto& [rate, coded] : cases) {
        const AVRational chosen = EncoderFrameRate(AV_CODEC_ID_MPEG4, rate);
        EXPECT_EQ(chosen.num, coded.num) << rate.num << "/" << rate.den;
        EXPECT_EQ(chosen.den, coded.den) << rate.num << "/" << rate.den;
        EXPECT_EQ(av_cmp_q(EncoderFrameRate(AV_CODEC_ID_H264, rate), rate), 0) << "no limit for H.264";
    }
}

} // namespace
