// "thumbnail": a key frame or the exact picture of a video as PNG, and clear refusals.
#include <QFile>

#include "CliTestSupport.h"

using namespace vx::clitest;

namespace {

class ThumbnailCommandTest : public TCliMedia {
protected:
    static void SetUpTestSuite() {
        TCliMedia::SetUpTestSuite();
        vx::fixtures::WriteMedia(Media->File("clip.mp4"), vx::fixtures::Mp4H264Aac());
        vx::fixtures::WriteMedia(Media->File("two.mkv"), vx::fixtures::TwoVideoStreams());
        vx::fixtures::WriteMedia(Media->File("song.mp3"), vx::fixtures::Mp3AudioOnly());
    }
};

TEST_F(ThumbnailCommandTest, KeyFrameOrExactPictureAsPng) {
    struct TCase {
        const char* File;
        QStringList Options;
        const char* Time; // of the picture, as reported
        int Width, Height;
    } cases[] = {
        // Key frames come every 12 pictures: 0, 0.48, 0.96, 1.44 s ...
        {"clip.mp4", {"--at", "1.3"}, "0.960 s", 320, 240},
        {"clip.mp4", {"--at", "1.3", "--exact", "--width", "160"}, "1.280 s", 160, 120},
        {"two.mkv", {"--at", "0.5"}, "0.480 s", 320, 240},
        {"two.mkv", {"--at", "0.5", "--exact"}, "0.480 s", 320, 240},
        {"two.mkv", {"--at", "0.55", "--exact", "--width", "99"}, "0.520 s", 99, 74},
        // Beyond the end: the last picture there is.
        {"clip.mp4", {"--at", "60", "--exact"}, "1.960 s", 320, 240},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File + (" " + c.Options.join(' ')).toStdString());
        const QString out = OutFile("thumb.png");
        QFile::remove(out);
        const TCliResult result =
            RunCli(QStringList{"thumbnail", Q(Media->File(c.File)), "-o", out} + c.Options);
        ASSERT_EQ(result.ExitCode, 0) << result;
        EXPECT_TRUE(result.Out.contains(c.Time)) << result;
        const TMediaFacts png = ReadMedia(out);
        ASSERT_TRUE(png.Opened) << png.Error;
        EXPECT_EQ(png.VideoCodec.find("png") != std::string::npos, true) << png.VideoCodec;
        EXPECT_EQ(png.Width, c.Width);
        EXPECT_EQ(png.Height, c.Height);
    }
}

TEST_F(ThumbnailCommandTest, RefusesWhatHasNoPictureOrWrongArguments) {
    const QString out = OutFile("thumb.png");
    const TCliResult audio = RunCli({"thumbnail", Q(Media->File("song.mp3")), "--at", "1", "-o", out});
    EXPECT_EQ(audio.ExitCode, 1) << audio;
    EXPECT_TRUE(audio.ErrText().contains("no video stream")) << audio;
    EXPECT_FALSE(QFile::exists(out));

    const TCliResult notMedia = RunCli({"thumbnail", NotMedia(), "--at", "1", "-o", out});
    EXPECT_EQ(notMedia.ExitCode, 1) << notMedia;
    EXPECT_FALSE(QFile::exists(out));

    struct TCase {
        QStringList Args;
        const char* Message;
    } usage[] = {
        {{"thumbnail", Clip(), "-o", out}, "needs --at"},
        {{"thumbnail", Clip(), "--at", "1"}, "needs -o"},
        {{"thumbnail", Clip(), "--at", "-1", "-o", out}, "--at takes seconds"},
        {{"thumbnail", Clip(), "--at", "soon", "-o", out}, "--at takes seconds"},
        {{"thumbnail", Clip(), "--at", "1", "-o", out, "--width", "0"}, "--width takes"},
        {{"thumbnail", "--at", "1", "-o", out}, "exactly one FILE"},
        {{"thumbnail", Clip(), "--at", "1", "-o", Clip()}, "overwrite its source"},
    };
    for (const TCase& c : usage) {
        SCOPED_TRACE(c.Message);
        const TCliResult result = RunCli(c.Args);
        EXPECT_EQ(result.ExitCode, 2) << result;
        EXPECT_TRUE(result.ErrText().contains(c.Message)) << result;
    }
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_GT(QFile(Clip()).size(), 10000);
}

} // namespace
