// The video path driven picture by picture: frame-rate conversion, frame limits, stop,
// scaling after a size change, the filter graph, deinterlacing, the frame hooks, forced
// key frames and the statistics file; outputs are checked by reading them back.
#include <cstring>
#include <fstream>
#include <regex>

#include "PathsTestSupport.h"

namespace vx::test {
namespace {

constexpr int64_t Second = 1000000;

void SetVideoDecoder(TAVInputStream& AIst, int AWidth, int AHeight,
                     AVPixelFormat AFormat = AV_PIX_FMT_YUV420P) {
    AIst.dec_ctx->width = AWidth;
    AIst.dec_ctx->height = AHeight;
    AIst.dec_ctx->pix_fmt = AFormat;
}

uint8_t LumaAt(const AVFrame* AFrame, int AX, int AY) {
    return AFrame->data[0][AY * AFrame->linesize[0] + AX];
}

// Feeds pictures whose luma is 10 × their index, timed at AInputRate, and records the
// index of every picture the encoder receives.
struct TSequence {
    std::vector<int> Encoded;
    std::vector<int64_t> HookPts;

    void Attach(TPathJob& AJob) {
        AJob.OnFrameOutputHook = [this](TCustomFFmpeg*, TPicture* APicture, int32_t, int32_t, int32_t,
                                        int32_t, int64_t APTS) {
            Encoded.push_back(APicture->Data[0][0] / 10);
            HookPts.push_back(APTS);
        };
    }
};

void Feed(TPathJob& AJob, TAVInputStream& AIst, TAVOutputStream& AOst, int AFirst, int ACount,
          double AInputRate, int64_t AOffset = 0) {
    for (int k = AFirst; k < AFirst + ACount; ++k) {
        AIst.pts = AOffset + std::llround(k * Second / AInputRate);
        TFramePtr picture = FlatPicture(64, 48, static_cast<uint8_t>(k * 10));
        AJob.pre_process_video_frame(AIst, picture.get());
        AJob.process_video_frame(AJob.Output(), AOst, AIst, picture.get());
    }
}

// Feeds ACount pictures of a slowly moving texture at 25 fps, the kind of content an
// encoder predicts from the picture before.
void FeedMoving(TPathJob& AJob, TAVInputStream& AIst, TAVOutputStream& AOst, int ACount) {
    for (int k = 0; k < ACount; ++k) {
        AIst.pts = k * Second / 25;
        TFramePtr picture =
            MakePicture(64, 48, [k](int x, int y) { return uint8_t((x * 3 + y * 2 + k * 2) & 0xff); });
        AJob.pre_process_video_frame(AIst, picture.get());
        AJob.process_video_frame(AJob.Output(), AOst, AIst, picture.get());
    }
}

using VideoPathTest = TPathsTest;

// 25 fps pictures into other rates, with the default sync method: a container without
// variable-frame-rate support (AVI) keeps a constant rate by dropping and duplicating,
// one with it (Matroska) only drops what comes too early.
struct TVsyncCase {
    const char* Name;
    const char* Format;
    AVRational OutputRate;
    std::vector<int> Prefix; // first pictures encoded, by input index
    int Encoded, Dups, Drops;
};

class VsyncTest : public TPathsTest, public ::testing::WithParamInterface<TVsyncCase> {};

TEST_P(VsyncTest, DropsAndDuplicates) {
    const TVsyncCase& c = GetParam();
    TLogCapture log(llVerbose);
    TPathJob job;
    job.Flags().verbose = 3;
    job.CreateOutput(Dir.File("vsync.out"), c.Format);
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "mpeg4", 64, 48, c.OutputRate);
    TSequence seq;
    seq.Attach(job);
    job.Start();
    Feed(job, ist, ost, 0, 20, 25);
    job.Finish();

    ASSERT_GE(seq.Encoded.size(), c.Prefix.size());
    EXPECT_EQ(std::vector<int>(seq.Encoded.begin(), seq.Encoded.begin() + c.Prefix.size()), c.Prefix);
    EXPECT_EQ(int(seq.Encoded.size()), c.Encoded);
    EXPECT_EQ(ost.frame_number, c.Encoded);
    EXPECT_EQ(job.Fnb_frames_dup, c.Dups);
    EXPECT_EQ(job.Fnb_frames_drop, c.Drops);
    EXPECT_EQ(log.Count("*** drop!"), c.Drops);
    EXPECT_EQ(log.Count("*** 1 dup!"), c.Dups);
    EXPECT_EQ(ReadBack(job.Output().file_name, AVMEDIA_TYPE_VIDEO).Frames, c.Encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VsyncTest,
    ::testing::Values(TVsyncCase{"HalfRateConstant", "avi", {25, 2}, {0, 1, 2, 4, 6, 8}, 11, 0, 9},
                      TVsyncCase{"DoubleRateConstant", "avi", {50, 1}, {0, 1, 2, 2, 3, 3, 4, 4}, 38, 18, 0},
                      TVsyncCase{"HalfRateVariable", "matroska", {25, 2}, {0, 1, 3, 5, 7}, 11, 0, 9},
                      TVsyncCase{"DoubleRateVariable", "matroska", {50, 1}, {0, 1, 2, 3, 4, 5}, 20, 0, 0}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(VideoPathTest, DropAndDupLinesNeedVerbosityAboveTwo) {
    TLogCapture log(llDebug);
    TPathJob job;
    job.CreateOutput(Dir.File("quiet.avi"), "avi");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "mpeg4", 64, 48, {25, 2});
    job.Start();
    Feed(job, ist, ost, 0, 20, 25);
    job.Finish();
    EXPECT_EQ(job.Fnb_frames_drop, 9);
    EXPECT_EQ(log.Count("*** drop!"), 0);
}

// A jump of one second in the input timestamps: passed on as it is without sync; at a
// constant rate the picture after the jump fills the 25 empty slots (24 duplicates).
class PassthroughTest : public TPathsTest, public ::testing::WithParamInterface<int> {};

TEST_P(PassthroughTest, TimestampJump) {
    const int method = GetParam();
    TPathJob job;
    job.Flags().video_sync_method = method;
    job.CreateOutput(Dir.File("jump.mkv"), "matroska");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "mpeg4", 64, 48, {25, 1});
    TSequence seq;
    seq.Attach(job);
    job.Start();
    Feed(job, ist, ost, 0, 10, 25);
    Feed(job, ist, ost, 10, 10, 25, Second);
    job.Finish();
    if (method == 0) {
        EXPECT_EQ(job.Fnb_frames_dup, 0);
        ASSERT_EQ(seq.HookPts.size(), 20u);
        EXPECT_EQ(seq.HookPts[9], 360000);
        EXPECT_EQ(seq.HookPts[10], 1400000) << "the timestamps follow the input";
    } else {
        EXPECT_EQ(job.Fnb_frames_dup, 24);
        EXPECT_EQ(seq.HookPts.size(), 44u);
    }
    EXPECT_EQ(job.Fnb_frames_drop, 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, PassthroughTest, ::testing::Values(0, 1));

TEST_F(VideoPathTest, MaxFramesStopsEncodingEvenWhenDuplicatesAreDue) {
    const std::string path = Dir.File("max.avi");
    TPathJob job;
    job.Flags().max_frames[AVMEDIA_TYPE_VIDEO] = 100;
    job.CreateOutput(path, "avi");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "mpeg4", 64, 48, {50, 1});
    job.Start();
    Feed(job, ist, ost, 0, 80, 25); // 158 frames at 50 fps
    job.Finish();
    EXPECT_EQ(ost.frame_number, 100);
    EXPECT_EQ(ReadBack(path, AVMEDIA_TYPE_VIDEO).Frames, 100);
}

TEST_F(VideoPathTest, StopEndsARunOfDuplicates) {
    TPathJob job;
    job.CreateOutput(Dir.File("stop.avi"), "avi");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "mpeg4", 64, 48, {25, 1});
    job.OnFrameOutputHook = [&](TCustomFFmpeg* ASender, TPicture*, int32_t, int32_t AFrameNumber, int32_t,
                                int32_t, int64_t) {
        if (AFrameNumber == 10)
            ASender->Stop(false);
    };
    job.Start();
    Feed(job, ist, ost, 0, 1, 25);
    Feed(job, ist, ost, 1000, 1, 25); // 40 s later: 999 duplicates are due
    EXPECT_EQ(ost.frame_number, 10);
    job.Finish();
}

// A picture stamped an hour after the one before fills at most a minute, and the job keeps
// reporting its progress while it repeats the picture.
TEST_F(VideoPathTest, RepeatsOfOnePictureAreBoundedAndReported) {
    TPathJob job;
    job.CreateOutput(Dir.File("hour.avi"), "avi");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "mpeg4", 64, 48, {25, 1});
    int reports = 0;
    job.SetReportInterval(0);
    job.OnProgress = [&](TCustomFFmpeg*, int32_t, int32_t, int32_t, float, float, int64_t, int64_t, int64_t) {
        ++reports;
    };
    job.Start();
    Feed(job, ist, ost, 0, 1, 25);
    Feed(job, ist, ost, 90000, 1, 25); // an hour later
    EXPECT_EQ(ost.frame_number, 1 + 60 * 25);
    EXPECT_GT(reports, 0);
    job.Finish();
}

TEST_F(VideoPathTest, SizeChangeIsLoggedOnceAndTheScalerFollows) {
    const std::string path = Dir.File("resize.mkv");
    TLogCapture log(llInfo);
    TPathJob job;
    job.CreateOutput(path, "matroska");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 640, 480);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "ffv1", 160, 120, {25, 1});
    job.Start();
    int k = 0;
    for (int width : {640, 320})
        for (int i = 0; i < 5; ++i, ++k) {
            const int height = width * 3 / 4;
            // Left half bright, right half dark, at either size.
            TFramePtr picture =
                MakePicture(width, height, [=](int x, int) { return x < width / 2 ? 200 : 50; });
            ist.pts = k * Second / 25;
            job.pre_process_video_frame(ist, picture.get());
            job.process_video_frame(job.Output(), ost, ist, picture.get());
        }
    job.Finish();

    EXPECT_EQ(log.Count("frame changed"), 1);
    EXPECT_EQ(
        log.Count(
            "Input stream #0.0 frame changed from size:640x480 fmt:yuv420p to size:320x240 fmt:yuv420p"),
        1);
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(back.Frames, 10);
    for (const TFramePtr& picture : back.Pictures) {
        ASSERT_EQ(picture->width, 160);
        for (int y : {10, 60, 110})
            for (int x : {10, 60, 100, 150})
                EXPECT_NEAR(LumaAt(picture.get(), x, y), x < 80 ? 200 : 50, 2) << x << "," << y;
    }
}

// The filter graph: the encoder takes the graph's output size; a size asked for inserts
// a scaler, an aspect asked for sets the encoder's sample aspect ratio.
struct TGraphCase {
    const char* Name;
    const char* Text;
    int Width, Height; // encoder size asked for (the decoder's when not)
    float Aspect;
    int OutWidth, OutHeight;
    AVRational OutSar;
    uint8_t LumaTopLeft;
};

class FilterGraphTest : public TPathsTest, public ::testing::WithParamInterface<TGraphCase> {};

TEST_P(FilterGraphTest, EncoderTakesTheGraphsOutput) {
    const TGraphCase& c = GetParam();
    const std::string path = Dir.File("graph.mkv");
    TPathJob job;
    job.CreateOutput(path, "matroska");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 320, 240);
    int configured = -1;
    TAVOutputStream& ost = job.AddVideoOutput(ist, "ffv1", c.Width, c.Height, {25, 1}, AV_PIX_FMT_YUV420P,
                                              [&](TAVOutputStream& AOst) {
                                                  AOst.avfilter = c.Text;
                                                  AOst.frame_aspect_ratio = c.Aspect;
                                                  configured = job.configure_video_filters(ist, AOst);
                                              });
    ASSERT_EQ(configured, 0) << job.FLastErrMsg;
    EXPECT_EQ(ost.enc_ctx->width, c.OutWidth);
    EXPECT_EQ(ost.enc_ctx->height, c.OutHeight);
    EXPECT_EQ(av_cmp_q(ost.enc_ctx->sample_aspect_ratio, c.OutSar), 0)
        << ost.enc_ctx->sample_aspect_ratio.num << "/" << ost.enc_ctx->sample_aspect_ratio.den;
    job.Start();
    for (int k = 0; k < 5; ++k) {
        TFramePtr picture = MakePicture(320, 240, [](int x, int) { return x < 160 ? 200 : 50; });
        ist.pts = k * Second / 25;
        job.pre_process_video_frame(ist, picture.get());
        job.process_video_frame(job.Output(), ost, ist, picture.get());
    }
    job.Finish();
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(back.Frames, 5);
    EXPECT_EQ(back.Width, c.OutWidth);
    EXPECT_EQ(back.Height, c.OutHeight);
    EXPECT_NEAR(LumaAt(back.Pictures.at(0).get(), 4, 4), c.LumaTopLeft, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilterGraphTest,
    ::testing::Values(TGraphCase{"Crop", "crop=iw/2:ih:iw/2:0", 320, 240, 0, 160, 240, {0, 1}, 50},
                      TGraphCase{"Flip", "hflip", 320, 240, 0, 320, 240, {0, 1}, 50},
                      TGraphCase{"ScaleAskedFor", "", 160, 120, 0, 160, 120, {0, 1}, 200},
                      TGraphCase{"ScaleAndText", "vflip", 160, 120, 0, 160, 120, {0, 1}, 200},
                      TGraphCase{"Aspect", "", 160, 120, 16.0f / 9, 160, 120, {4, 3}, 200}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(VideoPathTest, BadFilterTextFailsTheGraphWithAReason) {
    TPathJob job;
    job.CreateOutput(Dir.File("bad.mkv"), "matroska");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 320, 240);
    int configured = 0;
    job.AddVideoOutput(ist, "ffv1", 320, 240, {25, 1}, AV_PIX_FMT_YUV420P, [&](TAVOutputStream& AOst) {
        AOst.avfilter = "nosuchfilter=3";
        configured = job.configure_video_filters(ist, AOst);
    });
    EXPECT_LT(configured, 0);
    EXPECT_NE(job.FLastErrMsg.find("nosuchfilter"), std::string::npos) << job.FLastErrMsg;
}

TEST_F(VideoPathTest, DeinterlacingGivesEachPictureBackAtOnceWithoutCombing) {
    TPathJob job;
    job.Flags().do_deinterlace = true;
    TAVInputStream& ist = job.AddInput();
    for (int k = 0; k < 4; ++k) {
        // Moving interlaced content: the two fields swap brightness from one picture to
        // the next, so weaving them shows combs.
        const uint8_t even = k % 2 ? 40 : 200, odd = k % 2 ? 200 : 40;
        TFramePtr picture = MakePicture(64, 48, [=](int, int y) { return y % 2 ? odd : even; });
        picture->pts = 1000 + k;
        TFramePtr decoderView(ff::av_frame_clone(picture.get()));
        ist.pts = k * Second / 25;
        job.pre_process_video_frame(ist, picture.get());
        EXPECT_EQ(ist.frame_number, k + 1);
        EXPECT_EQ(picture->pts, 1000 + k) << "the picture keeps its timing";
        EXPECT_EQ(picture->width, 64);
        EXPECT_EQ(picture->format, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(LumaAt(decoderView.get(), 32, 1), odd) << "the decoder's picture is not written";
        // The result is this picture's kept field, not the previous picture, from the first
        // picture on.
        int worst = 0;
        for (int y = 4; y < 43; ++y)
            worst =
                std::max(worst, std::abs(LumaAt(picture.get(), 32, y) - LumaAt(picture.get(), 32, y + 1)));
        EXPECT_LT(worst, 20) << "picture " << k;
        EXPECT_NEAR(LumaAt(picture.get(), 32, 20), odd, 10) << "picture " << k;
    }
}

TEST_F(VideoPathTest, FrameHooksChangeTheirOwnCopyOfThePicture) {
    const std::string path = Dir.File("hooks.mkv");
    TPathJob job;
    job.CreateOutput(path, "matroska");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "ffv1", 32, 24, {25, 1});
    std::vector<int> inputFrames, outputFrames;
    job.OnFrameInputHook = [&](TCustomFFmpeg*, TPicture* APicture, int32_t APixFmt, int32_t AFrameNumber,
                               int32_t AWidth, int32_t AHeight, int64_t APTS) {
        inputFrames.push_back(AFrameNumber);
        EXPECT_EQ(APixFmt, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(AWidth, 64);
        EXPECT_EQ(AHeight, 48);
        EXPECT_EQ(APTS, ist.pts);
        for (int y = 0; y < AHeight; ++y)
            std::memset(APicture->Data[0] + y * APicture->Linesize[0], 100, AWidth);
    };
    job.OnFrameOutputHook = [&](TCustomFFmpeg*, TPicture* APicture, int32_t APixFmt, int32_t AFrameNumber,
                                int32_t AWidth, int32_t AHeight, int64_t APTS) {
        outputFrames.push_back(AFrameNumber);
        EXPECT_EQ(APixFmt, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(AWidth, 32);
        EXPECT_EQ(AHeight, 24);
        EXPECT_EQ(APTS, (AFrameNumber - 1) * Second / 25);
        EXPECT_EQ(APicture->Data[0][0], 100) << "the input hook's change reaches the encoder";
        APicture->Data[0][0] = 7;
    };
    job.Start();
    for (int k = 0; k < 3; ++k) {
        TFramePtr picture = FlatPicture(64, 48, 30);
        TFramePtr decoderView(ff::av_frame_clone(picture.get()));
        ist.pts = k * Second / 25;
        job.pre_process_video_frame(ist, picture.get());
        job.process_video_frame(job.Output(), ost, ist, picture.get());
        EXPECT_EQ(LumaAt(decoderView.get(), 0, 0), 30);
    }
    job.Finish();
    EXPECT_EQ(inputFrames, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(outputFrames, (std::vector<int>{1, 2, 3}));
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(back.Frames, 3);
    EXPECT_EQ(LumaAt(back.Pictures[2].get(), 0, 0), 7);
    EXPECT_EQ(LumaAt(back.Pictures[2].get(), 10, 10), 100);
}

TEST_F(VideoPathTest, ForcedKeyFramesComeWhereAsked) {
    const std::string path = Dir.File("keys.avi");
    TPathJob job;
    job.CreateOutput(path, "avi");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost = job.AddVideoOutput(ist, "mpeg4", 64, 48, {25, 1});
    ost.forced_kf_pts = {10, 30};
    job.Start();
    FeedMoving(job, ist, ost, 40);
    job.Finish();
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(back.KeyPackets.size(), 40u);
    std::vector<int> keys;
    for (size_t i = 0; i < back.KeyPackets.size(); ++i)
        if (back.KeyPackets[i])
            keys.push_back(static_cast<int>(i));
    EXPECT_EQ(keys, (std::vector<int>{0, 10, 30}));
}

TEST_F(VideoPathTest, StatisticsFileHasALinePerWrittenFrame) {
    const std::string stats = Dir.File("vstats.txt");
    TPathJob job;
    job.Flags().vstats_filename = stats;
    job.CreateOutput(Dir.File("stats.avi"), "avi");
    TAVInputStream& ist = job.AddInput();
    SetVideoDecoder(ist, 64, 48);
    TAVOutputStream& ost =
        job.AddVideoOutput(ist, "mpeg4", 64, 48, {25, 1}, AV_PIX_FMT_YUV420P,
                           [](TAVOutputStream& AOst) { AOst.enc_ctx->flags |= AV_CODEC_FLAG_PSNR; });
    job.Start();
    FeedMoving(job, ist, ost, 10);
    job.Finish();
    job.Fvstats_file.reset();

    std::ifstream in(stats);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 10u);
    const std::regex shape(R"(frame= +\d+ q= +\d+\.\d PSNR= +\d+\.\d\d f_size= +\d+ s_size= +\d+kB )"
                           R"(time= \d+\.\d{3} br= +\d+\.\dkbits/s avg_br= +\d+\.\dkbits/s type= [IP])");
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_EQ(lines[0].rfind("frame=     1 ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("type= I"), std::string::npos);
    EXPECT_NE(lines[1].find("type= P"), std::string::npos);
}

} // namespace
} // namespace vx::test
