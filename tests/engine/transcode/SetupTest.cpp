// The set-up of a run: which input stream feeds each output stream, the refusals that
// end a run before its first packet, rates, two-pass files, metadata and chapters.
#include <filesystem>

#include "TranscodeTestSupport.h"

using namespace vx;
using namespace vx::test;

namespace {

class TranscodeSetupTest : public TranscodeTest {};

TEST_F(TranscodeSetupTest, TwoVideoOutputsTakeDifferentInputStreams) {
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("two.mkv")));
    const std::string out = Out.File("two.avi");
    ASSERT_EQ(job.Output(out, {{"an", "1"}}), 1);
    job.Options({{"vcodec", "mpeg4"}, {"newvideo", ""}});
    job.Run();
    ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
    const TFileFacts facts = ReadBack(out);
    ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 2);
    EXPECT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 0);
    EXPECT_EQ(facts.Streams[0].Width, 320);
    EXPECT_EQ(facts.Streams[1].Width, 160);
}

TEST_F(TranscodeSetupTest, ARunThatCannotBeSetUpFailsAndLeavesNoFile) {
    struct TCase {
        TOptionList BeforeOutput;
        std::string Message;
    };
    const TCase cases[] = {
        {{{"map", "0.0"}}, "Number of stream maps must match number of output streams"},
        {{{"map", "0.0"}, {"map", "0.7"}}, "Could not find input stream #0.7"},
        {{{"map", "0.0"}, {"map", "0.1:3.0"}}, "Could not find sync stream #3.0"},
        {{{"map", "0.1"}, {"map", "0.0"}}, "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)"},
        {{{"vol", "512"}, {"acodec", "copy"}},
         "-acodec copy and -vol are incompatible (frames are not decoded)"},
        {{{"map_chapters", "0:3"}}, "Invalid input file index 3 in chapter mapping."},
        {{{"map_chapters", "2:0"}}, "Invalid output file index 2 in chapter mapping."},
        {{{"map_metadata", "0,s9:0"}}, "Invalid stream index 9 while processing metadata maps"},
        {{{"map_metadata", "0:0,c5"}}, "Invalid chapter index 5 while processing metadata maps"},
        {{{"map_metadata", "0:4"}}, "Invalid input file index 4 while processing metadata maps"},
        {{{"vf", "nosuchfilter"}}, "Error opening filters"},
    };
    for (const TCase& c : cases) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        const std::string out = Out.File("fail.avi");
        ASSERT_EQ(job.Output(out, c.BeforeOutput), 1) << job.LastErrMsg();
        job.Run();
        EXPECT_TRUE(job.Terminated());
        EXPECT_TRUE(job.FatalException()) << c.Message;
        EXPECT_FALSE(job.Finished());
        EXPECT_NE(job.FatalMessage().find(c.Message), std::string::npos) << job.FatalMessage();
        EXPECT_FALSE(FileExists(out)) << c.Message;
    }
}

// A refusal of the set-up is logged once, at error level, where the run ends; where a library
// call refused, its reason follows the text, in the log and in the run's failure message.
TEST_F(TranscodeSetupTest, ARefusedSetUpIsLoggedOnceWithTheLibrarysReason) {
    struct TCase {
        const char* Output;
        TOptionList BeforeOutput;
        std::string Message;
    };
    const TCase cases[] = {
        {"low.mkv",
         {{"vn", "1"}, {"acodec", "mp2"}, {"ab", "1000"}},
         "Error while opening encoder for output stream #0.0 (Audio) - maybe incorrect parameters such as "
         "bit_rate, rate, width or height. Please check error log message to find out more detail "
         "information.: Invalid argument / Invalid data found when processing input"},
        {"copy.ogg",
         {{"vcodec", "copy"}, {"an", "1"}},
         "Could not write header for output file #0 (incorrect codec parameters ?): Invalid argument / "
         "Invalid data found when processing input"},
        {"chapters.mkv", {{"map_chapters", "0:3"}}, "Invalid input file index 3 in chapter mapping."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Output);
        TLogRecorder log(llVerbose);
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        ASSERT_EQ(job.Output(Out.File(c.Output), c.BeforeOutput), 1) << job.LastErrMsg();
        job.Run();
        EXPECT_TRUE(job.FatalException());
        EXPECT_EQ(job.FatalMessage(), c.Message);
        EXPECT_EQ(log.Count(llError, c.Message), 1) << log.Text();
        EXPECT_EQ(log.Count(c.Message), 1) << log.Text();
    }
}

TEST_F(TranscodeSetupTest, AnUnsupportedSampleRateTakesTheClosestWithAWarning) {
    TLogRecorder log;
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("tone.mp3")));
    const std::string out = Out.File("tone.mp3");
    ASSERT_EQ(job.Output(out, {{"ar", "44000"}, {"acodec", "libmp3lame"}}), 1);
    job.Run();
    ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
    EXPECT_EQ(log.Count(llWarning, "Requested sampling rate unsupported using closest supported (44100)"), 1);
    const TFileFacts facts = ReadBack(out);
    ASSERT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
    EXPECT_EQ(facts.Streams[0].SampleRate, 44100);
}

TEST_F(TranscodeSetupTest, AnIncompatibleFormatIsReplacedWithAWarning) {
    TLogRecorder log;
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    const std::string out = Out.File("mono.avi");
    // The MPEG audio layer 2 encoder takes 16-bit integers, the MP3 decoder gives floats.
    ASSERT_EQ(job.Output(out, {{"vn", "1"}, {"acodec", "mp2"}, {"ac", "1"}, {"ar", "22050"}}), 1);
    EXPECT_EQ(
        log.Count(llWarning,
                  "Incompatible sample format \"fltp\" for codec \"mp2\", auto-selecting format \"s16\""),
        1);
    job.Run();
    ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
    const TFileFacts facts = ReadBack(out);
    ASSERT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
    EXPECT_EQ(facts.Streams[0].Codec, "mp2");
    EXPECT_EQ(facts.Streams[0].Channels, 1);
    EXPECT_EQ(facts.Streams[0].SampleRate, 22050);
    EXPECT_NEAR(facts.Seconds, 2.0, 0.2);
}

TEST_F(TranscodeSetupTest, TwoPassWritesItsLogAndReadsItBack) {
    const std::string prefix = Out.File("stats");
    for (const char* pass : {"1", "2"}) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        ASSERT_EQ(
            job.Output(
                Out.File(std::string("pass") + pass + ".avi"),
                {{"an", "1"}, {"vcodec", "mpeg4"}, {"b", "300000"}, {"pass", pass}, {"passlogfile", prefix}}),
            1);
        job.Run();
        ASSERT_FALSE(job.FatalException()) << pass << ": " << job.FatalMessage();
        EXPECT_GT(fixtures::FileSize(prefix + "-0.log"), 0) << pass;
    }
    const TFileFacts facts = ReadBack(Out.File("pass2.avi"));
    ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
    // 50 pictures over 51 slots of 1/25 s (the clip's writer leaves an empty slot after
    // the first picture): the last picture fills the 51st.
    EXPECT_EQ(facts.Streams[0].Packets, 51);

    // Pass 2 without the statistics of pass 1.
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    ASSERT_EQ(
        job.Output(Out.File("nolog.avi"),
                   {{"an", "1"}, {"vcodec", "mpeg4"}, {"pass", "2"}, {"passlogfile", Out.File("none")}}),
        1);
    job.Run();
    EXPECT_EQ(job.FatalMessage(), "Cannot read file: Error reading log file \"" + Out.File("none") +
                                      "-0.log\" for pass-2 encoding");
}

TEST_F(TranscodeSetupTest, ChaptersAndMetadataFollowTheStartOffset) {
    struct TCase {
        TOptionList Options;
        std::vector<std::pair<double, double>> Chapters;
        std::vector<std::string> Titles;
        std::string Title;
    };
    const TCase cases[] = {
        {{}, {{0.0, 1.0}, {1.0, 2.0}}, {"One", "Two"}, "Clip Title"},
        // The first chapter ends before the start; the second is cut at both ends.
        {{{"ss", "1.5"}}, {{0.0, 0.5}}, {"Two"}, "Clip Title"},
        {{{"t", "0.5"}}, {{0.0, 0.5}}, {"One"}, "Clip Title"},
        {{{"metadata", "title=Mine"}}, {{0.0, 1.0}, {1.0, 2.0}}, {"One", "Two"}, "Mine"},
    };
    for (const TCase& c : cases) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("chapters.mkv")));
        const std::string out = Out.File("chapters.mkv");
        ASSERT_EQ(job.Output(out, c.Options), 1);
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        const TFileFacts facts = ReadBack(out);
        ASSERT_EQ(facts.Chapters.size(), c.Chapters.size());
        for (size_t i = 0; i < c.Chapters.size(); ++i) {
            EXPECT_NEAR(facts.Chapters[i].first, c.Chapters[i].first, 0.01);
            EXPECT_NEAR(facts.Chapters[i].second, c.Chapters[i].second, 0.01);
        }
        EXPECT_EQ(facts.ChapterTitles, c.Titles);
        EXPECT_EQ(facts.Title, c.Title);
    }
}

} // namespace
