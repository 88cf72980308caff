// Building encoder tasks: option text, the record-to-option mapping, the codec default
// list, file limits and the refusals of bad files and bad calls.
#include <ctime>
#include <stdexcept>

#include "EncoderTestSupport.h"
#include "base/LocalTime.h"

using namespace vx;
using namespace vx::test;

namespace {

struct TOptionTextCase {
    const char* Text;
    TOptionLines Lines;
};

// The text with its control characters as \xNN, for the test's listing.
void PrintTo(const TOptionTextCase& ACase, std::ostream* AOut) {
    static const char digits[] = "0123456789ABCDEF";
    *AOut << '"';
    for (const char* c = ACase.Text; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < ' ')
            *AOut << "\\x" << digits[byte >> 4] << digits[byte & 15];
        else
            *AOut << *c;
    }
    *AOut << '"';
}

class OptionTextTest : public ::testing::TestWithParam<TOptionTextCase> {};

TEST_P(OptionTextTest, SplitsIntoNamesAndValues) {
    EXPECT_EQ(ParseOptionText(GetParam().Text), GetParam().Lines);
}

INSTANTIATE_TEST_SUITE_P(
    Encoder, OptionTextTest,
    ::testing::Values(TOptionTextCase{"vcodec=mpeg4<CRLF>b=512k", {{"vcodec", "mpeg4"}, {"b", "512k"}}},
                      TOptionTextCase{"  \t a=1\r\nb=2\rc=3\nd \r\n ",
                                      {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", ""}}},
                      TOptionTextCase{"metadata=title=x", {{"metadata", "title=x"}}},
                      TOptionTextCase{"a = 1 \n\nb=", {{"a ", " 1 "}, {"", ""}, {"b", ""}}},
                      TOptionTextCase{" \r\n\t", {}}, TOptionTextCase{"<CRLF>", {{"", ""}, {"", ""}}}));

class EncoderBuildTest : public EncoderMediaTest {};

TEST_F(EncoderBuildTest, OwnDecoderProbesFiles) {
    TFFEncoder encoder;
    ASSERT_TRUE(encoder.Decoder().LoadFile(UTF8ToFileName(Avi()))) << encoder.Decoder().LastErrMsg();
    EXPECT_EQ(encoder.Decoder().VideoStreamCount(), 1);
    EXPECT_EQ(encoder.Decoder().AudioStreamCount(), 1);
    EXPECT_FALSE(encoder.Decoder().LoadFile(UTF8ToFileName(Avi() + ".missing")));
}

TEST_F(EncoderBuildTest, ProgressIntervalIsNeverBelow100) {
    TFFEncoder encoder;
    for (const auto& [written, read] : {std::pair{50, 100}, {100, 100}, {101, 101}, {-5, 100}, {500, 500}}) {
        encoder.SetProgressInterval(written);
        EXPECT_EQ(encoder.ProgressInterval(), read) << written;
    }
}

TEST_F(EncoderBuildTest, InputOptionTextSetsTimeStartAndPassesTheRest) {
    struct TCase {
        const char* Text;
        int64_t TimeStart;
        const char* Ext;
    };
    for (const TCase& c : {TCase{"timestart=abc", NoPTSValue, ""},
                           TCase{"TimeStart=1500000<CRLF>vcodec=mpeg4", 1500000, "vcodec=mpeg4\n"},
                           TCase{"TIMESTART=", NoPTSValue, ""}}) {
        TTestEncoder encoder;
        ASSERT_GE(encoder.AddTask(Name(Avi()), std::string(c.Text)), 0) << encoder.LastErrMsg();
        const TInputOptions* options = encoder.LastTask().InputOptions(0);
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(options->TimeStart, c.TimeStart) << c.Text;
        EXPECT_EQ(options->ExtOptions, c.Ext) << c.Text;
        EXPECT_EQ(options->FileName, Name(Avi()));
        if (c.TimeStart == 1500000) {
            EXPECT_TRUE(encoder.LastTask().Received("ss", "1.500000"));
            EXPECT_TRUE(encoder.LastTask().Received("vcodec", "mpeg4")); // inputs take codec choices
        }
    }
}

TEST_F(EncoderBuildTest, OutputOptionTextSetsTheRecordFields) {
    struct TCase {
        const char* Text;
        bool Join;
        int64_t TimeLength;
        int32_t BitsPixel;
    };
    for (const TCase& c :
         {TCase{"Join=0", false, NoPTSValue, 24}, TCase{"join=1", true, NoPTSValue, 24},
          TCase{"JOIN=yes<CRLF>TimeLength=abc", true, NoPTSValue, 24},
          TCase{"Join=<CRLF>TimeLength=1000000<CRLF>VideoHookBitsPixel=x", true, 1000000, 24},
          TCase{"VideoHookBitsPixel=32", false, NoPTSValue, 32}}) {
        TTestEncoder encoder;
        const int task = encoder.AddTask(Name(Avi()), nullptr);
        ASSERT_GE(task, 0);
        ASSERT_TRUE(encoder.SetOutputFile(task, Name(Out.File("o.avi")), std::string(c.Text)))
            << encoder.LastErrMsg();
        const TOutputOptions* options = encoder.LastTask().OutputOptions(0);
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(options->Join, c.Join) << c.Text;
        EXPECT_EQ(options->TimeLength, c.TimeLength) << c.Text;
        EXPECT_EQ(options->VideoHookBitsPixel, c.BitsPixel) << c.Text;
        EXPECT_TRUE(options->ExtOptions.empty()) << c.Text;
        EXPECT_EQ(encoder.LastTask().Received("t", "1.000000"), c.TimeLength == 1000000) << c.Text;
    }
}

TEST_F(EncoderBuildTest, AnExtraVideoStreamTakesTheEarliestUnusedCodec) {
    TTestEncoder encoder;
    const int task = encoder.AddTask(Name(Avi()), nullptr);
    ASSERT_GE(task, 0);
    TOutputOptions options;
    options.ExtOptions = "vcodec=mpeg4\nnewvideo=\nvcodec=mjpeg\nvfilters=hflip";
    ASSERT_TRUE(encoder.SetOutputFile(task, Name(Out.File("o.avi")), &options)) << encoder.LastErrMsg();

    const TOptionList& got = encoder.LastTask().Options;
    // The first stream's codec, then, after the output exists, the new stream's settings.
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got.front(), (std::pair<std::string, std::string>{"vcodec", "mpeg4"}));
    const TOptionList tail(got.end() - 4, got.end());
    EXPECT_EQ(tail, (TOptionList{{"vcodec", "mpeg4"}, {"s", ""}, {"vf", "hflip"}, {"newvideo", ""}}));
    EXPECT_FALSE(encoder.LastTask().Received("vcodec", "mjpeg"));
    EXPECT_FALSE(encoder.LastTask().Received("vfilters", "hflip"));
}

TEST_F(EncoderBuildTest, ADiscTargetFixesItsOwnBitRates) {
    for (const TOptionTargetType target : {ttIgnore, ttDVD, ttVCD}) {
        TTestEncoder encoder;
        const int task = encoder.AddTask(Name(Avi()), nullptr);
        ASSERT_GE(task, 0);
        TOutputOptions options;
        options.AudioBitrate = 128000;
        options.VideoBitrate = 1500000;
        options.TargetType = target;
        options.NormType = ntPAL;
        encoder.SetOutputFile(task, Name(Out.File("o.mpg")), &options);
        EXPECT_EQ(encoder.LastTask().Received("ab", "128000"), target == ttIgnore) << target;
        EXPECT_EQ(encoder.LastTask().Received("vb", "1500000"), target == ttIgnore) << target;
    }
}

TEST_F(EncoderBuildTest, TheRecordBecomesOptionsInItsOrder) {
    TTestEncoder encoder;
    const int task = encoder.AddTask(Name(Avi()), nullptr);
    ASSERT_GE(task, 0);
    TOutputOptions options;
    options.AudioCodec = "libmp3lame";
    options.AudioVolume = 0;
    options.AudioChannels = 2;
    options.FrameRate = "25";
    options.FrameAspectRatio = "4:3";
    options.FrameSize = "320x240";
    options.VideoTag = "DIVX";
    options.Info.Title = "T";
    options.ExtOptions = "acodec=mp2\nb=512k";
    ASSERT_TRUE(encoder.SetOutputFile(task, Name(Out.File("o.avi")), &options)) << encoder.LastErrMsg();

    TOptionList got;
    for (const auto& o : encoder.LastTask().Options)
        if (o.first != "alang" && o.first != "async" && o.first != "vsync" && o.first != "vlang" &&
            o.first != "slang" && o.first != "isync")
            got.push_back(o);
    // The record's codec wins over the text's; "s" comes after the record's fields.
    EXPECT_EQ(got, (TOptionList{{"acodec", "libmp3lame"},
                                {"b", "512k"},
                                {"vol", "0"},
                                {"ac", "2"},
                                {"r", "25"},
                                {"aspect", "4:3"},
                                {"vtag", "DIVX"},
                                {"metadata", "title=T"},
                                {"s", "320x240"}}));
}

// The record's date is a count of seconds: it becomes the container's creation time (as
// option text it was read as a date and refused).
TEST_F(EncoderBuildTest, TheRecordsDateBecomesTheCreationTime) {
    TTestEncoder encoder;
    const int task = encoder.AddTask(Name(Avi()), nullptr);
    ASSERT_GE(task, 0);
    TOutputOptions options;
    options.Info.TimeStamp = 43831.5; // 2020-01-01 12:00, local time
    ASSERT_TRUE(encoder.SetOutputFile(task, Name(Out.File("dated.avi")), &options)) << encoder.LastErrMsg();
    EXPECT_EQ(encoder.LastTask().Frecording_timestamp, LocalDateTimeToUnix(43831.5));

    const int second = encoder.AddTask(Name(Avi()), nullptr);
    ASSERT_GE(second, 0);
    options.Reset();
    options.Info.TimeStamp = 0; // now
    const int64_t before = std::time(nullptr);
    ASSERT_TRUE(encoder.SetOutputFile(second, Name(Out.File("now.avi")), &options)) << encoder.LastErrMsg();
    EXPECT_GE(encoder.LastTask().Frecording_timestamp, before);
    EXPECT_LE(encoder.LastTask().Frecording_timestamp, std::time(nullptr));
}

TEST_F(EncoderBuildTest, ATaskTakesNineteenMoreInputsAndRefusesTheTwentieth) {
    TFFEncoder encoder;
    const int task = encoder.AddTask(Name(Mp3()), nullptr);
    ASSERT_EQ(task, 0) << encoder.LastErrMsg();
    for (int i = 0; i < 19; ++i)
        ASSERT_TRUE(encoder.AddInputFile(task, Name(Mp3()), nullptr)) << i << " " << encoder.LastErrMsg();
    EXPECT_FALSE(encoder.AddInputFile(task, Name(Mp3()), nullptr));
    EXPECT_EQ(encoder.LastErrMsg(), "max input files 20 reached");
}

TEST_F(EncoderBuildTest, StreamInfoEventSeesTheTaskIndexOnlyOnceListed) {
    TFFEncoder encoder;
    std::vector<int> seen;
    encoder.OnBeforeFindStreamInfo = [&](TCustomFFmpeg* ATask, AVFormatContext* AContext) {
        EXPECT_NE(AContext, nullptr);
        seen.push_back(encoder.GetTaskIndex(ATask));
    };
    ASSERT_EQ(encoder.AddTask(Name(Mp3()), nullptr), 0);
    ASSERT_EQ(encoder.AddTask(Name(Mp3()), nullptr), 1);
    ASSERT_TRUE(encoder.AddInputFile(1, Name(Mp3()), nullptr));
    EXPECT_EQ(seen, (std::vector<int>{-1, -1, 1}));
}

TEST_F(EncoderBuildTest, PreviewSwitchesTheTasksAlreadyListed) {
    TTestEncoder encoder;
    ASSERT_GE(encoder.AddTask(Name(Mp3()), nullptr), 0);
    encoder.SetPreview(true);
    encoder.SetPreviewBitmap(true);
    EXPECT_TRUE(encoder.LastTask().PreviewHook());
    EXPECT_TRUE(encoder.LastTask().PreviewBitmapHook());
    encoder.SetPreview(false);
    EXPECT_FALSE(encoder.LastTask().PreviewHook());
}

TEST_F(EncoderBuildTest, BadFilesAreRefusedWithAReason) {
    TFFEncoder encoder;
    fixtures::WriteTextFile(Out.File("text.avi"), "not a movie");
    EXPECT_EQ(encoder.AddTask(Name(Out.File("missing.avi")), nullptr), -1);
    EXPECT_NE(encoder.LastErrMsg().find("missing.avi"), std::string::npos) << encoder.LastErrMsg();
    EXPECT_EQ(encoder.AddTask(Name(Out.File("text.avi")), nullptr), -1);
    EXPECT_FALSE(encoder.LastErrMsg().empty());
    EXPECT_EQ(encoder.AddTask(Name(Avi()), std::string("croptop=1")), -1);
    EXPECT_EQ(encoder.LastErrMsg(), "Removed, use the crop filter instead");
    EXPECT_EQ(encoder.TasksCount(), 0);

    // A refused output leaves the task in the list.
    const int task = encoder.AddTask(Name(Avi()), nullptr);
    ASSERT_EQ(task, 0);
    TOutputOptions options;
    EXPECT_FALSE(encoder.SetOutputFile(task, Name(Out.File("no/such/folder/o.avi")), &options));
    EXPECT_FALSE(encoder.LastErrMsg().empty());
    const long size = fixtures::FileSize(Avi());
    EXPECT_FALSE(encoder.SetOutputFile(task, Name(Avi()), &options));
    EXPECT_NE(encoder.LastErrMsg().find("one of the input files"), std::string::npos) << encoder.LastErrMsg();
    EXPECT_EQ(fixtures::FileSize(Avi()), size);
    EXPECT_EQ(encoder.TasksCount(), 1);
}

TEST_F(EncoderBuildTest, BadIndicesAndFileCountsThrow) {
    TFFEncoder encoder;
    ASSERT_EQ(encoder.AddTask(Name(Mp3()), nullptr), 0);
    EXPECT_THROW(encoder.SetOutputFile(1, Name(Out.File("o.avi")), nullptr), std::out_of_range);
    EXPECT_THROW(encoder.AddInputFile(-1, Name(Mp3()), nullptr), std::out_of_range);
    EXPECT_THROW(encoder.RemoveTask(3), std::out_of_range);
    EXPECT_THROW(encoder.Exchange(0, 1), std::out_of_range);
    for (const int count : {0, 513}) {
        encoder.SetCustomMaxFiles(count);
        EXPECT_THROW(encoder.AddTask(Name(Mp3()), nullptr), std::out_of_range) << count;
    }
    encoder.SetCustomMaxFiles(512);
    EXPECT_EQ(encoder.AddTask(Name(Mp3()), nullptr), 1);
}

} // namespace
