// The engine's own video filters inside a filter text, run through the video path into
// a lossless file that is read back: "rotate" (in place of the library's filter of that
// name), "nativeeq", "nativehue", live values, mixed chains and size changes inside a
// chain.
#include <cmath>
#include <cstring>

#include "PathsTestSupport.h"
#include "encode/filters/EqualizerFilters.h"

namespace vx::test {
namespace {

constexpr int64_t Second = 1000000;

// A picture whose luma at (x, y) is ALuma(x, y) and whose chroma is AU, AV.
TFramePtr ColourPicture(int AWidth, int AHeight, const std::function<uint8_t(int, int)>& ALuma, uint8_t AU,
                        uint8_t AV) {
    TFramePtr picture = MakePicture(AWidth, AHeight, ALuma);
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < AHeight / 2; ++y)
            std::memset(picture->data[p] + y * picture->linesize[p], p == 1 ? AU : AV, AWidth / 2);
    return picture;
}

uint8_t At(const AVFrame* APicture, int APlane, int AX, int AY) {
    return APicture->data[APlane][AY * APicture->linesize[APlane] + AX];
}

double MeanLuma(const AVFrame* APicture) {
    double sum = 0;
    for (int y = 0; y < APicture->height; ++y)
        for (int x = 0; x < APicture->width; ++x)
            sum += At(APicture, 0, x, y);
    return sum / (double(APicture->width) * APicture->height);
}

class VideoFiltersTest : public TPathsTest {
protected:
    void SetUp() override { RegisterEqualizerFilters(); }

    // Runs AFrames pictures made by AMake (by index) through AText into an FFV1 file and
    // reads it back. ABefore runs before each picture.
    TReadBack Convert(const std::string& AText, int AWidth, int AHeight,
                      const std::function<TFramePtr(int)>& AMake, int AFrames = 3,
                      const std::function<void(int)>& ABefore = nullptr) {
        const std::string path = Dir.File("filtered" + std::to_string(FRun++) + ".mkv");
        TPathJob job;
        job.CreateOutput(path, "matroska");
        TAVInputStream& ist = job.AddInput();
        ist.dec_ctx->width = AWidth;
        ist.dec_ctx->height = AHeight;
        ist.dec_ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        int configured = -1;
        TAVOutputStream& ost = job.AddVideoOutput(ist, "ffv1", AWidth, AHeight, {25, 1}, AV_PIX_FMT_YUV420P,
                                                  [&](TAVOutputStream& AOst) {
                                                      AOst.avfilter = AText;
                                                      configured = job.configure_video_filters(ist, AOst);
                                                  });
        if (configured != 0)
            throw std::runtime_error("filters not set up: " + job.FLastErrMsg);
        job.Start();
        for (int k = 0; k < AFrames; ++k) {
            if (ABefore)
                ABefore(k);
            TFramePtr picture = AMake(k);
            ist.pts = k * Second / 25;
            job.pre_process_video_frame(ist, picture.get());
            job.process_video_frame(job.Output(), ost, ist, picture.get());
        }
        job.Finish();
        TReadBack back = ReadBack(path, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(back.Frames, AFrames);
        return back;
    }

    // Whether setting up AText fails, with FLastErrMsg of the job in AError.
    bool SetUpFails(const std::string& AText, std::string& AError) {
        TPathJob job;
        job.CreateOutput(Dir.File("bad.mkv"), "matroska");
        TAVInputStream& ist = job.AddInput();
        ist.dec_ctx->width = 64;
        ist.dec_ctx->height = 48;
        ist.dec_ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        int configured = 0;
        job.AddVideoOutput(ist, "ffv1", 64, 48, {25, 1}, AV_PIX_FMT_YUV420P, [&](TAVOutputStream& AOst) {
            AOst.avfilter = AText;
            configured = job.configure_video_filters(ist, AOst);
        });
        AError = job.FLastErrMsg;
        return configured < 0;
    }

    int FRun = 0;
};

// A smooth gradient with a bright block in the top left corner: easy to recognise turned.
uint8_t Marked(int AX, int AY) {
    if (AX < 160 && AY < 120)
        return 235;
    return static_cast<uint8_t>(30 + AX / 8 + AY / 8);
}

TEST_F(VideoFiltersTest, RotateBy90TurnsThePictureAndItsAspect) {
    const TReadBack back = Convert(
        "rotate=90", 640, 480, [](int) { return MakePicture(640, 480, Marked); }, 2);
    ASSERT_EQ(back.Width, 480);
    ASSERT_EQ(back.Height, 640);
    const AVFrame* out = back.Pictures.at(0).get();
    // Turned clockwise: the top edge becomes the right edge, the block the top right
    // corner; every pixel lands exactly where the turn puts it, none is lost.
    int wrong = 0;
    for (int i = 0; i < 640; ++i)
        for (int j = 0; j < 480; ++j)
            wrong += At(out, 0, j, i) != Marked(i, 479 - j);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(At(out, 0, 470, 10), 235);
    EXPECT_NE(At(out, 0, 10, 10), 235);
    EXPECT_NE(At(out, 0, 470, 630), 235);
}

TEST_F(VideoFiltersTest, RotateWithoutArgumentTurns45DegreesOnBlack) {
    const TReadBack back = Convert(
        "rotate", 64, 48,
        [](int) {
            return ColourPicture(
                64, 48, [](int, int) { return 200; }, 60, 190);
        },
        1);
    // 64x48 turned by 45 degrees needs 79x79; the last chroma row and column cover its
    // odd last pixels.
    ASSERT_EQ(back.Width, 79);
    ASSERT_EQ(back.Height, 79);
    const AVFrame* out = back.Pictures.at(0).get();
    for (auto [x, y] : {std::pair{0, 0}, {78, 0}, {0, 78}, {78, 78}}) {
        EXPECT_EQ(At(out, 0, x, y), 16) << x << "," << y;
        EXPECT_EQ(At(out, 1, x / 2, y / 2), 128) << x << "," << y;
        EXPECT_EQ(At(out, 2, x / 2, y / 2), 128) << x << "," << y;
    }
    EXPECT_EQ(At(out, 0, 39, 39), 200);
    EXPECT_EQ(At(out, 1, 19, 19), 60);
    EXPECT_EQ(At(out, 2, 19, 19), 190);
}

TEST_F(VideoFiltersTest, EqualizerWithZeroValuesLeavesPicturesAsTheyAre) {
    auto make = [](int k) {
        return MakePicture(64, 48, [k](int x, int y) { return uint8_t(x * 3 + y + k); });
    };
    const TReadBack plain = Convert("", 64, 48, make);
    const TReadBack filtered = Convert("nativeeq=0:0", 64, 48, make);
    ASSERT_EQ(filtered.Pictures.size(), plain.Pictures.size());
    for (size_t k = 0; k < plain.Pictures.size(); ++k)
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? 24 : 48); ++y)
                ASSERT_EQ(std::memcmp(plain.Pictures[k]->data[p] + y * plain.Pictures[k]->linesize[p],
                                      filtered.Pictures[k]->data[p] + y * filtered.Pictures[k]->linesize[p],
                                      p ? 32 : 64),
                          0)
                    << "picture " << k << " plane " << p << " row " << y;
}

// The equalizers' arithmetic on flat pictures (luma 100, U 90, V 200), and the clamping of
// values out of range.
struct TEqualizerCase {
    const char* Name;
    const char* Text;
    int Luma, U, V;
    const char* Logged; // an error line, or null for none
};

class EqualizerCaseTest : public VideoFiltersTest, public ::testing::WithParamInterface<TEqualizerCase> {};

TEST_P(EqualizerCaseTest, ChangesThePictureAsComputed) {
    const TEqualizerCase& c = GetParam();
    TLogCapture log(llError);
    const TReadBack back = Convert(
        c.Text, 64, 48,
        [](int) {
            return ColourPicture(
                64, 48, [](int, int) { return 100; }, 90, 200);
        },
        2);
    for (const TFramePtr& picture : back.Pictures) {
        EXPECT_EQ(At(picture.get(), 0, 20, 20), c.Luma);
        EXPECT_NEAR(MeanLuma(picture.get()), c.Luma, 0.01);
        EXPECT_EQ(At(picture.get(), 1, 10, 10), c.U);
        EXPECT_EQ(At(picture.get(), 2, 10, 10), c.V);
        EXPECT_EQ(At(picture.get(), 1, 31, 23), c.U);
    }
    if (c.Logged)
        EXPECT_EQ(log.Count(c.Logged), 1) << c.Logged;
    else
        EXPECT_TRUE(log.Lines.empty()) << log.Lines.front();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EqualizerCaseTest,
    ::testing::Values(TEqualizerCase{"Brightness", "nativeeq=20:0", 150, 90, 200, nullptr},
                      TEqualizerCase{"Contrast", "nativeeq=0:50", 85, 90, 200, nullptr},
                      TEqualizerCase{"BrightnessClamped", "nativeeq=150:0", 255, 90, 200,
                                     "Invalid brightness value 150, force to 100"},
                      TEqualizerCase{"ContrastClamped", "nativeeq=0:-300", 127, 90, 200,
                                     "Invalid contrast value -300, force to -100"},
                      TEqualizerCase{"Grey", "nativehue=0:-100", 100, 128, 128, nullptr},
                      TEqualizerCase{"HueQuarterTurn", "nativehue=50:0", 100, 56, 90, nullptr},
                      TEqualizerCase{"HueClamped", "nativehue=-250:-100", 100, 128, 128,
                                     "Invalid hue value -250, force to -100"},
                      TEqualizerCase{"SaturationClamped", "nativehue=0:400", 100, 52, 255,
                                     "Invalid saturation value 400, force to 100"},
                      TEqualizerCase{"BothInOneChain", "nativeeq=20:0,hflip,nativehue=0:-100", 150, 128, 128,
                                     nullptr}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(VideoFiltersTest, LiveValuesAreReadForEveryPicture) {
    int64_t brightnessKey = 0, contrastKey = 0;
    TLiveFilterValue brightness = MakeLiveFilterValue(0, brightnessKey);
    TLiveFilterValue contrast = MakeLiveFilterValue(0, contrastKey);
    ASSERT_NE(brightnessKey, contrastKey);
    TLogCapture log(llError);
    const std::string text =
        "nativeeq=0:0:" + std::to_string(brightnessKey) + ":" + std::to_string(contrastKey);
    const int values[] = {0, 20, 20, 150};
    const TReadBack back = Convert(
        text, 64, 48, [](int) { return FlatPicture(64, 48, 100); }, 4,
        [&](int k) { brightness->store(values[k]); });
    const int expected[] = {100, 150, 150, 255};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(At(back.Pictures.at(k).get(), 0, 5, 5), expected[k]) << "picture " << k;
    EXPECT_EQ(log.Count("Invalid brightness value 150, force to 100"), 1);
}

TEST_F(VideoFiltersTest, BadArgumentsOrUnknownLiveValuesFailTheSetUp) {
    for (const char* text : {"nativeeq=abc", "nativehue=0:1x", "rotate=ninety", "nativeeq=0:0:987654321"}) {
        TLogCapture log(llError);
        std::string error;
        EXPECT_TRUE(SetUpFails(text, error)) << text;
        EXPECT_EQ(log.Count("failed to parsing parameters"), 1) << text;
        EXPECT_NE(error.find(text), std::string::npos) << error;
    }
    std::string error;
    EXPECT_TRUE(SetUpFails("hflip,nosuchfilter,rotate=90", error));
    EXPECT_NE(error.find("nosuchfilter"), std::string::npos) << error;
}

TEST_F(VideoFiltersTest, ASizeChangeInsideTheChainRemakesTheStagesAfterIt) {
    // The crop after "rotate" depends on the turned size; pictures of another size must
    // give a crop made for them.
    TVideoFilterChain chain;
    TVideoGeometry input;
    input.Width = 64;
    input.Height = 48;
    input.PixFmt = AV_PIX_FMT_YUV420P;
    std::string error;
    ASSERT_EQ(
        chain.Build(nullptr, input, "", "hflip,rotate=90,crop=iw:ih/2:0:0", AV_PIX_FMT_YUV420P, 0, error), 0)
        << error;
    EXPECT_EQ(chain.Output().Width, 48);
    EXPECT_EQ(chain.Output().Height, 32);
    std::vector<std::pair<int, int>> sizes;
    int64_t pts = 0;
    for (auto [w, h] : {std::pair{64, 48}, {64, 48}, {32, 24}, {32, 24}}) {
        TFramePtr picture = FlatPicture(w, h, 90);
        picture->pts = pts++;
        ASSERT_EQ(chain.Send(picture.get(), error), 0) << error;
        TFramePtr out;
        while (chain.Receive(out) == 0) {
            sizes.emplace_back(out->width, out->height);
            EXPECT_EQ(At(out.get(), 0, 1, out->height - 1), 90);
        }
    }
    ASSERT_EQ(chain.Send(nullptr, error), 0) << error;
    TFramePtr out;
    while (chain.Receive(out) == 0)
        sizes.emplace_back(out->width, out->height);
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{48, 32}, {48, 32}, {24, 16}, {24, 16}}));
    EXPECT_EQ(chain.Output().Width, 24);
    EXPECT_EQ(chain.Output().Height, 16);
}

} // namespace
} // namespace vx::test
