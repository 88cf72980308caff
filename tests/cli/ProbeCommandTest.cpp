// "probe": the decoder's view of good and bad files, as text and as JSON lines.
#include <QJsonArray>

#include "CliTestSupport.h"

using namespace vx::clitest;

namespace {

class ProbeCommandTest : public TCliMedia {};

TEST_F(ProbeCommandTest, JsonDescribesGoodFilesAndExplainsBadOnes) {
    const QString missing = OutFile("missing.avi");
    const TCliResult result = RunCli({"probe", "--json", Clip(), NotMedia(), Wav(), missing, Truncated()});
    EXPECT_EQ(result.ExitCode, 1) << result;
    const std::vector<QJsonObject> lines = result.JsonLines();
    ASSERT_EQ(lines.size(), 5u) << result;

    const QJsonObject clip = lines[0];
    EXPECT_EQ(clip["file"].toString(), Clip());
    EXPECT_EQ(clip["ok"], QJsonValue(true));
    EXPECT_TRUE(clip["error"].isNull());
    EXPECT_NEAR(clip["FileStreamInfo"]["Duration"].toDouble(), 2000000, 100000);
    const QJsonArray streams = clip["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0]["index"].toInt(-1), 0);
    EXPECT_EQ(streams[0]["kind"].toString(), "video");
    const QJsonObject video = streams[0]["info"].toObject();
    EXPECT_EQ(video["Width"].toInt(), 320);
    EXPECT_EQ(video["Height"].toInt(), 240);
    EXPECT_EQ(video["FrameRate"]["num"].toInt(), 25);
    EXPECT_EQ(video["FrameRate"]["den"].toInt(), 1);
    EXPECT_EQ(video["PixFmt"].toString(), "yuv420p");
    EXPECT_TRUE(video["CodecName"].toString().contains("mpeg4", Qt::CaseInsensitive))
        << video["CodecName"].toString().toStdString();
    EXPECT_EQ(streams[1]["kind"].toString(), "audio");
    const QJsonObject audio = streams[1]["info"].toObject();
    EXPECT_EQ(audio["SampleRate"].toInt(), 44100);
    EXPECT_EQ(audio["Channels"].toInt(), 2);
    EXPECT_FALSE(audio["SampleFormat"].toString().isEmpty());
    EXPECT_TRUE(clip["FileInfoText"].toString().contains("320x240"))
        << clip["FileInfoText"].toString().toStdString();

    const QJsonObject wav = lines[2];
    EXPECT_EQ(wav["ok"], QJsonValue(true));
    ASSERT_EQ(wav["streams"].toArray().size(), 1);
    EXPECT_EQ(wav["streams"][0]["kind"].toString(), "audio");

    for (const size_t bad : {size_t(1), size_t(3), size_t(4)}) {
        SCOPED_TRACE(lines[bad]["file"].toString().toStdString());
        EXPECT_EQ(lines[bad]["ok"], QJsonValue(false));
        EXPECT_FALSE(lines[bad]["error"].toString().isEmpty());
        EXPECT_TRUE(lines[bad]["FileStreamInfo"].isNull());
        EXPECT_TRUE(lines[bad]["streams"].toArray().isEmpty());
    }
    EXPECT_EQ(lines[3]["file"].toString(), missing);
}

TEST_F(ProbeCommandTest, TextIsTheInformationTextAndErrorsGoToStderr) {
    const TCliResult good = RunCli({"probe", Clip()});
    ASSERT_EQ(good.ExitCode, 0) << good;
    EXPECT_TRUE(good.Err.isEmpty()) << good;
    const TCliResult json = RunCli({"probe", "--json", Clip()});
    ASSERT_EQ(json.JsonLines().size(), 1u);
    EXPECT_EQ(QString::fromUtf8(good.Out), json.JsonLines()[0]["FileInfoText"].toString() + "\n");

    const TCliResult mixed = RunCli({"probe", NotMedia(), Clip()});
    EXPECT_EQ(mixed.ExitCode, 1) << mixed;
    EXPECT_EQ(mixed.Out, good.Out);
    EXPECT_TRUE(mixed.ErrText().startsWith("vantorix-cli: " + NotMedia() + ": ")) << mixed;
}

} // namespace
