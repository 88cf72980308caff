#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/LocalTime.h"
#include "decode/FFDecode.h"
#include "decode/FFUtils.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

std::vector<std::string> Lines(const std::string& AText) {
    std::vector<std::string> lines;
    std::istringstream in(AText);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class FileInfoTextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(DecoderLibraries)) << FFLoader().LastErrMsg();
    }

    std::string Describe(const std::string& AName, const TMediaSpec& ASpec) {
        const std::string path = Dir.File(AName);
        WriteMedia(path, ASpec);
        if (!Decoder.LoadFile(UTF8ToFileName(path)))
            ADD_FAILURE() << Decoder.LastErrMsg();
        return Decoder.FileInfoText();
    }

    TTempDir Dir;
    TFFDecoder Decoder;
};

TEST_F(FileInfoTextTest, ContainerLinesInOrder) {
    const std::string text = Describe("clip.avi", AviMpeg4Mp3());
    const TFileStreamInfo info = Decoder.FileStreamInfo();
    const std::vector<std::string> lines = Lines(text);
    ASSERT_GE(lines.size(), 9u) << text;
    EXPECT_EQ(lines[0], "File Name: " + Dir.File("clip.avi"));
    EXPECT_EQ(lines[1], "Format Name: avi");
    EXPECT_EQ(lines[2], "Format Long Name: AVI (Audio Video Interleaved)");
    EXPECT_EQ(lines[3], "File Size: " + SizeText(FileSize(Dir.File("clip.avi"))));
    EXPECT_EQ(lines[4], "Duration: " + TimeText(info.Duration));
    EXPECT_EQ(lines[5], "StartTime: 0.000000");
    EXPECT_EQ(lines[6], "Bit Rate: " + std::to_string(info.BitRate / 1000) + " kb/s");
    EXPECT_EQ(lines[7], "Metadata:");
    EXPECT_EQ(lines[8].rfind("  software        : Lavf", 0), 0u) << lines[8];
    EXPECT_EQ(lines.at(9).rfind("Stream #0, 1/25: Video: mpeg4", 0), 0u) << lines[9];
    EXPECT_NE(lines[9].find(", 25 fps, 25 tbr, 25 tbn, StartTime: 0.000000, Duration: 00:00:02.0"),
              std::string::npos)
        << lines[9];
    EXPECT_EQ(lines.at(10).rfind("Stream #1, 32/1225: Audio: mp3", 0), 0u) << lines[10];
    EXPECT_EQ(lines.size(), 11u) << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(FileInfoTextTest, NtscRatesKeepTwoDecimals) {
    const std::string text = Describe("ntsc.avi", NtscFrameRate());
    EXPECT_NE(text.find(", 29.97 fps, 29.97 tbr, 29.97 tbn"), std::string::npos) << text;
}

TEST_F(FileInfoTextTest, MetadataChaptersAndTimeStamp) {
    TMediaSpec spec = TwoVideoStreams();
    spec.Metadata = {{"title", "A Title"}, {"creation_time", "2020-05-06T07:08:09.000000Z"}};
    spec.Chapters = {{0.0, 1.0, "First"}, {1.0, 2.0, ""}};
    spec.Videos[0].Metadata = {{"language", "eng"}, {"title", "Main"}};
    const std::string text = Describe("tagged.mkv", spec);

    EXPECT_NE(text.find("Time Stamp: " + DateTimeText(UnixToLocalDateTime(1588748889)) + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Metadata:\n  title           : A Title\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Chapter #0: start 0.000000, end 1.000000\n  Metadata:\n    title           : First\n"
                        "Chapter #1: start 1.000000, end 2.000000\nStream #0"),
              std::string::npos)
        << text;
    // The language goes into the stream line, not into its metadata block.
    EXPECT_NE(text.find("Stream #0(eng), 1/1000: Video: mpeg4"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  Metadata:\n    title           : Main\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("    language"), std::string::npos) << text;
}

TEST_F(FileInfoTextTest, ProgramsListTheirStreamsAndALanguageAloneMakesNoBlock) {
    TMediaSpec spec{"mpegts", {{"mpeg4"}}, {{"libmp3lame", 44100, 2}}, 1.0};
    // The transport stream keeps a language for sound only.
    spec.Audios[0].Metadata = {{"language", "fre"}};
    const std::string text = Describe("clip.ts", spec);
    const std::vector<std::string> lines = Lines(text);

    const auto program = std::find(lines.begin(), lines.end(), "Program 1 FFmpeg@Service01");
    ASSERT_NE(program, lines.end()) << text;
    ASSERT_GE(lines.end() - program, 6) << text;
    EXPECT_EQ(program[1], "  Metadata:");
    EXPECT_EQ(program[2], "    service_name    : Service01");
    EXPECT_EQ(program[3], "    service_provider: FFmpeg");
    // The stream ids show; the language stays in the stream line.
    EXPECT_EQ(program[4].rfind("Stream #0[0x100], 1/90000: Video: mpeg4", 0), 0u) << program[4];
    EXPECT_EQ(program[5].rfind("Stream #1[0x101](fre), 1/90000: Audio: mp3", 0), 0u) << program[5];
    EXPECT_NE(program[4].find(", 25 tbr, 90k tbn, StartTime: 0.0"), std::string::npos) << program[4];
    // Each stream is listed once, under its program; no other metadata block.
    EXPECT_EQ(program + 6, lines.end()) << text;
}

TEST_F(FileInfoTextTest, UnknownDurationAndBitRate) {
    Describe("tone.wav", WavPcm());
    AVFormatContext* ctx = Decoder.FileHandle();
    ASSERT_NE(ctx, nullptr);
    ctx->duration = AV_NOPTS_VALUE;
    ctx->start_time = AV_NOPTS_VALUE;
    ctx->bit_rate = 0;
    ctx->streams[0]->duration = AV_NOPTS_VALUE;
    const std::string text = Decoder.FileInfoText();
    EXPECT_NE(text.find("\nDuration: N/A\nBit Rate: N/A\n"), std::string::npos) << text;
    EXPECT_NE(text.find(", Duration: N/A\n"), std::string::npos) << text;
    ctx->duration = -5;
    EXPECT_NE(Decoder.FileInfoText().find("\nDuration: N/A\n"), std::string::npos);
}

} // namespace
