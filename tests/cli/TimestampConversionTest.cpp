// Sources whose timestamps are off, converted through catalogue entries as the window does:
// each output lasts as long as its source, with all of its pictures and sound.
#include <QDir>
#include <cmath>
#include <map>
#include <memory>

#include "CliTestSupport.h"
#include "base/FFLoad.h"

using namespace vx;
using namespace vx::clitest;

namespace {

// The generated sources, by file name.
const std::map<std::string, fixtures::TMediaSpec>& Sources() {
    static const std::map<std::string, fixtures::TMediaSpec> sources = [] {
        std::map<std::string, fixtures::TMediaSpec> s;
        // Theora and Vorbis in Ogg, the sound starting 4.2 s before the pictures with negative
        // timestamps, behind thousands of packets without data.
        s["early.ogg"] = {"ogg",
                          {{"libtheora", 160, 120, {15, 1}, 200000}},
                          {{"libvorbis", 44100, 2, 96000, {}, -4.2, 3000}},
                          8.3};
        // One picture a second.
        s["slides2.mp4"] = {"mp4", {{"mpeg4", 160, 120, {1, 1}}}, {{"aac", 44100, 2}}, 2.0};
        s["slides10.mkv"] = {"matroska", {{"mpeg4", 160, 120, {1, 1}}}, {{"libvorbis", 44100, 2}}, 10.0};
        // Two pictures a second apart in a container that states no frame rate.
        s["two.asf"] = {"asf", {{"msmpeg4", 160, 120, {1, 1}}}, {}, 2.0};
        // 4 s of pictures and sound; the pictures jump to 3,600,000 s after 2 s, start there, or
        // one picture alone is stamped 2,147,484 s.
        fixtures::TMediaSpec jump{"matroska", {{"mpeg4", 160, 120, {25, 1}}}, {{"libvorbis", 44100, 2}}, 4.0};
        jump.Videos[0].JumpAt = 2.0;
        jump.Videos[0].JumpTo = 3600000.0;
        s["jump.mkv"] = jump;
        jump.Videos[0].JumpAt = 0;
        s["late.mkv"] = jump;
        jump.Videos[0].JumpAt = 2.0;
        jump.Videos[0].JumpTo = 2147484.0;
        jump.Videos[0].JumpOnce = true;
        s["stray.mkv"] = jump;
        return s;
    }();
    return sources;
}

struct TTimingCase {
    const char* Name;
    const char* Source;
    const char* Entry;
    double Seconds;      // the source's length: of the output, its pictures and its sound
    double Tolerance;    // beyond one output picture
    int Frames = 0;      // pictures written; 0: as many as the length holds at the output's rate
    bool Sound = true;   // the output has sound
    bool Picture = true; // the output has pictures
};

class TimestampConversionTest : public ::testing::TestWithParam<TTimingCase> {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        Media = std::make_unique<fixtures::TTempDir>();
    }
    static void TearDownTestSuite() { Media.reset(); }

    static QString Source(const std::string& AName) {
        const std::string path = Media->File(AName);
        if (fixtures::FileSize(path) < 0)
            fixtures::WriteMedia(path, Sources().at(AName));
        return Q(path);
    }

    static inline std::unique_ptr<fixtures::TTempDir> Media;
    fixtures::TTempDir Out;
};

TEST_P(TimestampConversionTest, OutputLastsAsLongAsTheSource) {
    const TTimingCase& c = GetParam();
    const TCliResult run = RunCli({"convert", "-f", c.Entry, "-o", Q(Out.Path()), Source(c.Source)});
    ASSERT_EQ(run.ExitCode, 0) << run;
    const QStringList outputs = QDir(Q(Out.Path())).entryList(QDir::Files);
    ASSERT_EQ(outputs.size(), 1);
    const TMediaFacts facts = ReadMedia(Q(Out.Path()) + "/" + outputs[0]);
    ASSERT_TRUE(facts.Opened) << facts.Error;

    const double frame = facts.FrameRate > 0 ? 1 / facts.FrameRate : 0;
    EXPECT_NEAR(facts.Seconds, c.Seconds, frame + c.Tolerance);
    if (c.Picture) {
        ASSERT_EQ(facts.VideoStreams, 1);
        ASSERT_GT(facts.FrameRate, 0);
        EXPECT_NEAR(facts.VideoSeconds, c.Seconds, frame + c.Tolerance);
        if (c.Frames)
            EXPECT_EQ(facts.VideoFrames, c.Frames);
        else
            EXPECT_NEAR(facts.VideoFrames, facts.VideoSeconds * facts.FrameRate, 1.0);
    }
    if (c.Sound) {
        ASSERT_EQ(facts.AudioStreams, 1);
        // The sound starts with the pictures (some containers start both a little late).
        EXPECT_NEAR(facts.AudioStart, c.Picture ? facts.VideoStart : 0, c.Tolerance);
        EXPECT_NEAR(facts.AudioSeconds, c.Seconds, c.Tolerance);
    }
}

// Ogg with leading empty sound packets and an early, negative start: the sound starts with
// the pictures and none of it is lost; the file is not shifted.
INSTANTIATE_TEST_SUITE_P(EarlyOggSound, TimestampConversionTest,
                         ::testing::Values(TTimingCase{"MP4", "early.ogg", "MP4", 8.33, 0.1},
                                           TTimingCase{"AVI", "early.ogg",
                                                       "AVI - Audio Video Interleave (*.avi)", 8.33, 0.1},
                                           TTimingCase{"FLV", "early.ogg", "FLV", 8.33, 0.1},
                                           TTimingCase{"OGG", "early.ogg", "OGG", 8.3, 0.1, 0, true, false}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// The last picture lasts its whole time, at the fixed rates of FLV, DVD and iPod and at the
// source's rate of MP4, AVI and ASF; without a stated rate the time between the pictures tells
// it. Containers with a constant rate repeat pictures to fill the time; FLV, which takes
// variable rates, gets one more copy of the last picture, shown until the end.
INSTANTIATE_TEST_SUITE_P(LastPicture, TimestampConversionTest,
                         ::testing::Values(TTimingCase{"FLV2s", "slides2.mp4", "FLV", 2.0, 0.08, 3},
                                           TTimingCase{"DVD2s", "slides2.mp4", "DVD", 2.0, 0.06},
                                           TTimingCase{"iPod2s", "slides2.mp4", "iPod (*.mp4)", 2.0, 0.06},
                                           TTimingCase{"MP42s", "slides2.mp4", "MP4", 2.0, 0.06},
                                           TTimingCase{"FLV10s", "slides10.mkv", "FLV", 10.0, 0.08, 11},
                                           TTimingCase{"DVD10s", "slides10.mkv", "DVD", 10.0, 0.06},
                                           TTimingCase{"iPod10s", "slides10.mkv", "iPod (*.mp4)", 10.0, 0.06},
                                           TTimingCase{"AVI10s", "slides10.mkv",
                                                       "AVI - Audio Video Interleave (*.avi)", 10.0, 0.06},
                                           TTimingCase{"AsfToAsf", "two.asf", "ASF", 2.0, 0.01, 0, false},
                                           TTimingCase{"AsfToFlv", "two.asf", "FLV", 2.0, 0.01, 3, false}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// A picture stream that jumps by hours, starts hours late or has one stray timestamp: the
// conversion takes seconds and the output keeps the source's 4 s.
INSTANTIATE_TEST_SUITE_P(TimestampJump, TimestampConversionTest,
                         ::testing::Values(TTimingCase{"JumpToMp4", "jump.mkv", "MP4", 4.0, 0.1},
                                           TTimingCase{"JumpToFlv", "jump.mkv", "FLV", 4.0, 0.1},
                                           TTimingCase{"LateToDvd", "late.mkv", "DVD", 4.0, 0.1},
                                           TTimingCase{"StrayToMp4", "stray.mkv", "MP4", 4.0, 0.1}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

} // namespace
