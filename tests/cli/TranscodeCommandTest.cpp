// "transcode": transcoder options on the command line, handed to the engine as option text.
#include <QFileInfo>
#include <csignal>

#include "CliTestSupport.h"

using namespace vx::clitest;

namespace {

class TranscodeCommandTest : public TCliMedia {};

TEST_F(TranscodeCommandTest, OptionsReachTheirFiles) {
    const QString output = OutFile("copy.mkv");
    // "-f" before the output names its container; "-an" is a switch and takes no value.
    const TCliResult result =
        RunCli({"transcode", "-i", Clip(), "-vcodec", "copy", "-an", "-f", "matroska", output});
    ASSERT_EQ(result.ExitCode, 0) << result;
    const TMediaFacts facts = ReadMedia(output);
    ASSERT_TRUE(facts.Opened) << facts.Error;
    EXPECT_EQ(facts.Format, "matroska,webm");
    EXPECT_EQ(facts.VideoStreams, 1);
    EXPECT_EQ(facts.AudioStreams, 0);
    EXPECT_NEAR(facts.Seconds, 2.0, 0.2);
}

TEST_F(TranscodeCommandTest, EngineRefusalsExitWithOneAndSayWhy) {
    struct TCase {
        const char* Name;
        QStringList Args;
        const char* Reason;
    };
    const QString output = OutFile("out.mkv");
    const std::vector<TCase> cases = {
        {"unknown option", {"-i", Clip(), "-frobnicate", "7", output}, "frobnicate"},
        {"bad value", {"-i", Clip(), "-qscale", "0", output}, "qscale must be > 0.0 and <= 255"},
        {"missing input", {"-i", OutFile("missing.avi"), output}, "No such file"},
        {"not media", {"-i", NotMedia(), output}, "notes.avi"},
        // The library's reason for a refused encoder reaches the failure's line.
        {"refused encoder",
         {"-i", Clip(), "-vn", "-acodec", "mp2", "-ab", "1000", output},
         "(Audio) - maybe incorrect parameters such as bit_rate, rate, width or height. Please check error "
         "log message to find out more detail information.: Invalid argument"},
    };
    for (const TCase& c : cases) {
        const TCliResult result = RunCli(QStringList{"transcode"} + c.Args);
        EXPECT_EQ(result.ExitCode, 1) << c.Name << "\n" << result;
        EXPECT_FALSE(result.Crashed) << c.Name;
        EXPECT_TRUE(result.ErrText().contains(c.Reason)) << c.Name << "\n" << result;
    }
    EXPECT_FALSE(QFileInfo::exists(output));
}

TEST_F(TranscodeCommandTest, CtrlCStopsTheTaskAndClosesItsOutput) {
    const QString output = OutFile("long.mp4");
    QProcess process;
    StartCli(process, {"transcode", "-i", LongClip(), "-s", "720x576", "-f", "mp4", output});
    QByteArray read;
    ASSERT_TRUE(WaitForOutput(process, true, read, "frames")) << read.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    const TCliResult result = FinishCli(process, 120000, {}, read);

    EXPECT_EQ(result.ExitCode, 130) << result;
    EXPECT_FALSE(result.Crashed) << result;
    EXPECT_TRUE(result.ErrText().contains("long.mp4: Abort")) << result;
    const TMediaFacts facts = ReadMedia(output);
    ASSERT_TRUE(facts.Opened) << facts.Error;
    EXPECT_EQ(facts.Width, 720);
    EXPECT_GT(facts.Seconds, 0.0);
    EXPECT_LT(facts.Seconds, 50.0);
}

} // namespace
