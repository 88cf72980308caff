// "convert": the window's batch run from the command line, on generated media.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <map>
#include <ostream>
#include <set>

#include "CliTestSupport.h"

using namespace vx::clitest;

namespace {

class ConvertCommandTest : public TCliMedia {
protected:
    // Copies a medium into the test's source folder under another name.
    QString Source(const QString& AMedium, const QString& AName) {
        const QString folder = OutFile("sources");
        QDir().mkpath(folder);
        const QString path = folder + "/" + AName;
        EXPECT_TRUE(QFile::copy(AMedium, path));
        return path;
    }
    QString Folder(const QString& AName) {
        const QString path = OutFile(AName);
        QDir().mkpath(path);
        return path;
    }
};

// The fields of the option records, as the encoder documents them.
const QStringList InputFields = {"FileName",   "ForceFormat", "TimeStart", "ProgramID",
                                 "ExtOptions", "Tag",         "Data"};
const QStringList OutputFields = {"FileName",
                                  "FileExt",
                                  "ForceFormat",
                                  "PacketSize",
                                  "MuxRate",
                                  "MuxDelay",
                                  "MuxPreload",
                                  "AudioCodec",
                                  "DisableAudio",
                                  "AudioVolume",
                                  "AudioChannels",
                                  "AudioSampleRate",
                                  "AudioBitrate",
                                  "AudioBitRateTolerance",
                                  "AudioLanguage",
                                  "AudioSyncMethod",
                                  "AudioTag",
                                  "VideoCodec",
                                  "DisableVideo",
                                  "FrameRate",
                                  "FrameSize",
                                  "FrameAspectRatio",
                                  "GroupPictureSize",
                                  "VideoBitrate",
                                  "VideoMaxRate",
                                  "VideoMinRate",
                                  "VideoBitRateTolerance",
                                  "VideoBufSize",
                                  "VideoSyncMethod",
                                  "VideoTag",
                                  "VideoFilters",
                                  "VideoLanguage",
                                  "SubtitleCodec",
                                  "DisableSubtitle",
                                  "SubtitleLanguage",
                                  "DataCodec",
                                  "FilePreset",
                                  "InputSync",
                                  "CopyTimestamp",
                                  "TimeStart",
                                  "TimeLength",
                                  "Info",
                                  "TargetType",
                                  "NormType",
                                  "NormDefault",
                                  "AudioHook",
                                  "VideoInputHook",
                                  "VideoOutputHook",
                                  "VideoHookBitsPixel",
                                  "FrameInputHook",
                                  "FrameOutputHook",
                                  "Join",
                                  "KeepExisting",
                                  "ExtOptions",
                                  "Tag",
                                  "Data"};

QStringList Sorted(QStringList AList) {
    AList.sort();
    return AList;
}

QJsonObject OnlyLine(const TCliResult& AResult) {
    const std::vector<QJsonObject> lines = AResult.JsonLines();
    EXPECT_EQ(lines.size(), 1u) << AResult;
    return lines.empty() ? QJsonObject() : lines.front();
}

// With the defaults of "MP4 - MPEG4 Video (*.mp4)", a 640x480 source at 100 % volume.
TEST_F(ConvertCommandTest, DryRunRecordIsTheWorkedExample) {
    const QString source = Source(Clip640(), "clip.avi");
    const QString out = Folder("out");
    const TCliResult result =
        RunCli({"convert", "--dry-run", "-f", "MP4 - MPEG4 Video (*.mp4)", "-o", out, source});
    ASSERT_EQ(result.ExitCode, 0) << result;
    const QJsonObject record = OnlyLine(result);

    EXPECT_EQ(record["source"].toString(), source);
    EXPECT_EQ(record["output"].toString(), out + "/clip.mp4");
    const QJsonObject input = record["input_options"].toObject();
    EXPECT_EQ(input["FileName"].toString(), source);
    EXPECT_EQ(input["ForceFormat"].toString("?"), "");
    EXPECT_EQ(input["ProgramID"].toInt(), -1);
    EXPECT_TRUE(input["Data"].isNull());
    // Every core unless told otherwise: the codecs choose their thread counts.
    EXPECT_EQ(input["ExtOptions"].toString(), "threads=0\n");

    const QJsonObject options = record["output_options"].toObject();
    EXPECT_EQ(options["VideoBitrate"].toInt(), 6000000);
    EXPECT_EQ(options["AudioBitrate"].toInt(), 128000);
    EXPECT_EQ(options["AudioSampleRate"].toInt(), 44100);
    EXPECT_EQ(options["FrameSize"].toString("?"), "");
    EXPECT_EQ(options["VideoCodec"].toString(), "mpeg4");
    EXPECT_EQ(options["AudioCodec"].toString(), "libfaac");
    EXPECT_EQ(options["FrameRate"].toString("?"), "");
    EXPECT_EQ(options["AudioVolume"].toInt(), 255);
    EXPECT_EQ(options["FrameAspectRatio"].toString(), "1.3333");
    EXPECT_EQ(options["AudioChannels"].toInt(), 2);
    EXPECT_EQ(options["DisableVideo"], QJsonValue(false));
    EXPECT_EQ(options["TargetType"].toString(), "ttIgnore");
    EXPECT_EQ(options["NormType"].toString(), "ntAuto");
    EXPECT_EQ(options["NormDefault"].toString(), "ntPAL");
    EXPECT_EQ(options["MuxDelay"].toDouble(), -1.0);
    EXPECT_EQ(options["VideoHookBitsPixel"].toInt(), 24);
    EXPECT_EQ(options["Info"]["Year"].toInt(), -1);
    // Every field of both records is there, the "no timestamp" value as its exact integer.
    EXPECT_EQ(Sorted(input.keys()), Sorted(InputFields));
    EXPECT_EQ(Sorted(options.keys()), Sorted(OutputFields));
    EXPECT_EQ(result.Out.count("\"TimeStart\":-9223372036854775808"), 2) << result;
    EXPECT_EQ(result.Out.count("\"TimeLength\":-9223372036854775808"), 1) << result;

    EXPECT_EQ(QDir(out).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList())
        << "a dry run wrote";
}

struct TDryRunCase {
    const char* Name;
    QStringList Args;
    const char* Field;
    QJsonValue Expected;
};

TEST_F(ConvertCommandTest, DryRunFollowsTheChoicesOfTheCommandLine) {
    const QString source = Source(Clip640(), "clip.avi");
    const QString out = Folder("out");
    const std::vector<TDryRunCase> cases = {
        {"loudest", {"-f", "MP4", "--volume", "200"}, "AudioVolume", 600},
        {"silent", {"-f", "MP4", "--volume", "0%"}, "AudioVolume", 0},
        {"quieter", {"-f", "MP4", "--volume", "40"}, "AudioVolume", 100},
        {"video size", {"-f", "MP4", "--set", "Video Size=128 x 96 (SQCIF)"}, "FrameSize", "128x96"},
        {"list name in any case", {"-f", "MP4", "--set", "video codec=H264"}, "VideoCodec", "libx264"},
        {"frame rate", {"-f", "MP4", "--set", "Video Framerate=29.97 fps"}, "FrameRate", "29.97"},
        {"channels", {"-f", "MP4", "--set", "Audio Channels=Mono"}, "AudioChannels", 1},
        {"later --set wins",
         {"-f", "MP4", "--set", "Audio Bitrate=64 Kbps", "--set", "Audio Bitrate=96 Kbps"},
         "AudioBitrate",
         96000},
        {"short name, any case", {"-f", "ogg"}, "AudioCodec", "libvorbis"},
        {"audio only", {"-f", "OGG - Ogg Vorbis Audio (*.ogg)"}, "DisableVideo", true},
        {"mobile is mono", {"-f", "3G2", "--set", "Audio Channels=Stereo"}, "AudioChannels", 1},
        {"disc target",
         {"-f", "Video CD (*.mpg)", "--set", "Video Framerate=25 fps [PAL]"},
         "TargetType",
         "ttVCD"},
        {"disc norm",
         {"-f", "Video CD (*.mpg)", "--set", "Video Framerate=25 fps [PAL]"},
         "NormType",
         "ntPAL"},
        {"disc frame rate",
         {"-f", "Video CD (*.mpg)", "--set", "Video Framerate=25 fps [PAL]"},
         "FrameRate",
         "25"},
    };
    const TCliResult oneThread =
        RunCli({"convert", "--dry-run", "--threads", "1", "-f", "MP4", "-o", out, source});
    ASSERT_EQ(oneThread.ExitCode, 0) << oneThread;
    EXPECT_EQ(OnlyLine(oneThread)["input_options"].toObject()["ExtOptions"].toString("?"), "") << oneThread;
    for (const TDryRunCase& c : cases) {
        const TCliResult result =
            RunCli(QStringList{"convert", "--dry-run", "-o", out} + c.Args + QStringList{source});
        ASSERT_EQ(result.ExitCode, 0) << c.Name << "\n" << result;
        EXPECT_EQ(OnlyLine(result)["output_options"][QString::fromLatin1(c.Field)], c.Expected)
            << c.Name << "\n"
            << result;
    }
}

TEST_F(ConvertCommandTest, DryRunNamesOutputsAsTheRunWould) {
    const QString source = Source(Clip(), "clip.avi");
    const QString out = Folder("out");
    QFile(out + "/clip.mp4").open(QIODevice::WriteOnly);
    QFile(out + "/clip-1.mp4").open(QIODevice::WriteOnly);

    const TCliResult numbered = RunCli({"convert", "--dry-run", "-f", "MP4", "-o", out, source});
    EXPECT_EQ(OnlyLine(numbered)["output"].toString(), out + "/clip-2.mp4") << numbered;
    const TCliResult overwriting =
        RunCli({"convert", "--dry-run", "--overwrite", "-f", "MP4", "-o", out, source});
    EXPECT_EQ(OnlyLine(overwriting)["output"].toString(), out + "/clip.mp4") << overwriting;
    // A relative folder is taken from the working folder and reported in full.
    QProcess relative;
    relative.setWorkingDirectory(OutDir());
    StartCli(relative, {"convert", "--dry-run", "-f", "MP4", "-o", "out", source});
    const TCliResult fromRelative = FinishCli(relative);
    EXPECT_EQ(OnlyLine(fromRelative)["output"].toString(), out + "/clip-2.mp4") << fromRelative;

    // A source that names a folder has no name to give its output: that row has no task.
    const TCliResult unnamed = RunCli({"convert", "--dry-run", "-f", "MP4", "-o", out, out + "/", source});
    EXPECT_EQ(unnamed.ExitCode, 1) << unnamed;
    const std::vector<QJsonObject> lines = unnamed.JsonLines();
    ASSERT_EQ(lines.size(), 2u) << unnamed;
    EXPECT_TRUE(lines[0]["output"].isNull()) << unnamed;
    EXPECT_TRUE(lines[0]["error"].toString().contains("names no file")) << unnamed;
    EXPECT_EQ(lines[1]["output"].toString(), out + "/clip-2.mp4");
    EXPECT_FALSE(lines[1].contains("error"));
}

// The format every current engine can produce from the AVI fixture: its streams fit an AVI as they are.
const char* const BatchFormat = "AVI - DivX Video (*.avi)";

TEST_F(ConvertCommandTest, ABrokenFileInTheMiddleFailsAloneAndTheBatchGoesOn) {
    const QString first = Source(Clip(), "first.avi");
    const QString broken = Source(NotMedia(), "broken.avi");
    // A name beyond ASCII goes through the arguments, the engine and the JSON unharmed.
    const QString last = Source(Clip(), "последний.avi");
    const QString out = Folder("out");

    const TCliResult result =
        RunCli({"convert", "--json", "-f", BatchFormat, "-o", out, first, broken, last});
    EXPECT_EQ(result.ExitCode, 1) << result;
    EXPECT_FALSE(result.Crashed) << result;

    std::vector<QJsonObject> ends;
    for (const QJsonObject& line : result.JsonLines()) {
        const QString event = line["event"].toString();
        EXPECT_TRUE(event == "progress" || event == "terminate" || event == "end") << event.toStdString();
        if (event == "progress") {
            EXPECT_GE(line["row"].toInt(-1), 0);
            EXPECT_TRUE(line["size"].isDouble());
        }
        if (event == "terminate")
            ends.push_back(line);
    }
    ASSERT_FALSE(result.JsonLines().empty());
    EXPECT_EQ(result.JsonLines().back(), (QJsonObject{{"event", "end"}}));
    ASSERT_EQ(ends.size(), 3u) << result;
    const char* expected[] = {"Done", "Fail", "Done"};
    const QString outputs[] = {out + "/first.avi", out + "/broken.avi", out + "/последний.avi"};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(ends[row]["row"].toInt(-1), row);
        EXPECT_EQ(ends[row]["result"].toString(), expected[row]) << result;
        EXPECT_EQ(ends[row]["output"].toString(), outputs[row]);
    }
    EXPECT_TRUE(ends[0]["message"].isNull()) << result;
    EXPECT_FALSE(ends[1]["message"].toString().isEmpty()) << result;

    for (const QString& output : {outputs[0], outputs[2]}) {
        const TMediaFacts facts = ReadMedia(output);
        ASSERT_TRUE(facts.Opened) << output.toStdString() << ": " << facts.Error;
        EXPECT_EQ(facts.Format, "avi");
        EXPECT_EQ(facts.Width, 320);
        EXPECT_EQ(facts.AudioStreams, 1);
        EXPECT_NEAR(facts.Seconds, 2.0, 0.2);
    }
    EXPECT_FALSE(QFileInfo::exists(outputs[1]));

    // The human report: each row's result, the broken file's reason, and the summary.
    const QString err = result.ErrText();
    EXPECT_TRUE(err.contains(broken)) << result;
    EXPECT_TRUE(err.contains("2 of 3 files converted")) << result;
    // Nothing of the window's settings is written by the command line.
    EXPECT_FALSE(QFileInfo::exists(CliHome() + "/.config/Quenlo/Vantorix.conf"));
}

// Two files at once: every file gets its own output, even two of one name, and a broken one
// fails alone.
TEST_F(ConvertCommandTest, TwoJobsConvertEveryFileIntoAnOutputOfItsOwn) {
    const QString first = Source(Clip(), "clip.avi");
    const QString broken = Source(NotMedia(), "broken.avi");
    const QString other = Folder("other") + "/clip.avi";
    ASSERT_TRUE(QFile::copy(Clip(), other));
    const QString last = Source(Clip(), "last.avi");
    const QString out = Folder("out");

    const TCliResult result = RunCli(
        {"convert", "--json", "--jobs", "2", "-f", BatchFormat, "-o", out, first, broken, other, last});
    EXPECT_EQ(result.ExitCode, 1) << result;
    EXPECT_FALSE(result.Crashed) << result;

    std::map<int, QJsonObject> ends;
    std::set<int> progressRows;
    for (const QJsonObject& line : result.JsonLines()) {
        if (line["event"].toString() == "terminate")
            ends[line["row"].toInt(-1)] = line;
        if (line["event"].toString() == "progress")
            progressRows.insert(line["row"].toInt(-1));
    }
    ASSERT_EQ(ends.size(), 4u) << result;
    EXPECT_EQ(ends[1]["result"].toString(), "Fail") << result;
    std::set<QString> outputs;
    for (const int row : {0, 2, 3}) {
        EXPECT_EQ(ends[row]["result"].toString(), "Done") << result;
        const QString output = ends[row]["output"].toString();
        outputs.insert(output);
        const TMediaFacts facts = ReadMedia(output);
        ASSERT_TRUE(facts.Opened) << output.toStdString() << ": " << facts.Error;
        EXPECT_NEAR(facts.Seconds, 2.0, 0.2) << output.toStdString();
    }
    EXPECT_EQ(outputs.size(), 3u) << result;
    EXPECT_TRUE(progressRows.contains(0) && progressRows.contains(2) && progressRows.contains(3)) << result;
    EXPECT_TRUE(result.ErrText().contains("3 of 4 files converted")) << result;
}

// Each row's end comes with the reason of the step that refused it, whichever step that was.
TEST_F(ConvertCommandTest, EveryFailingRowReportsTheReasonOfItsOwnStep) {
    const QString out = Folder("out");
    const QString unnamed = out + "/";                      // a folder: no output name
    const QString missing = OutFile("sources/missing.avi"); // the encoder cannot open it
    const QString good = Source(Clip(), "good.avi");
    const TCliResult result =
        RunCli({"convert", "--json", "-f", BatchFormat, "-o", out, unnamed, missing, good});
    EXPECT_EQ(result.ExitCode, 1) << result;
    std::vector<QJsonObject> ends;
    for (const QJsonObject& line : result.JsonLines())
        if (line["event"].toString() == "terminate")
            ends.push_back(line);
    ASSERT_EQ(ends.size(), 3u) << result;
    EXPECT_EQ(ends[0]["result"].toString(), "Fail");
    EXPECT_TRUE(ends[0]["message"].toString().contains("names no file")) << result;
    EXPECT_EQ(ends[1]["result"].toString(), "Fail");
    EXPECT_TRUE(ends[1]["message"].toString().contains("No such file")) << result;
    EXPECT_EQ(ends[2]["result"].toString(), "Done");
    EXPECT_TRUE(ends[2]["message"].isNull()) << result;
    EXPECT_TRUE(result.ErrText().contains("names no file")) << result;
}

TEST_F(ConvertCommandTest, AMissingFileFailsWithItsMessageAndAGoodBatchExitsWithZero) {
    const QString out = Folder("out");
    const QString missing = OutFile("sources/missing.avi");
    const TCliResult failing = RunCli({"convert", "--json", "-f", BatchFormat, "-o", out, missing});
    EXPECT_EQ(failing.ExitCode, 1) << failing;
    ASSERT_GE(failing.JsonLines().size(), 2u) << failing;
    const QJsonObject end = failing.JsonLines()[failing.JsonLines().size() - 2];
    EXPECT_EQ(end["result"].toString(), "Fail");
    EXPECT_TRUE(end["message"].toString().contains("No such file")) << failing;

    const TCliResult good = RunCli({"convert", "-f", BatchFormat, "-o", out, Source(Clip(), "good.avi")});
    EXPECT_EQ(good.ExitCode, 0) << good;
    EXPECT_TRUE(good.Out.isEmpty()) << "without --json stdout stays empty\n" << good;
    EXPECT_TRUE(ReadMedia(out + "/good.avi").Opened);
}

struct TSignalCase {
    int Signal;
    const char* Name;
    int ExitCode;
};

void PrintTo(const TSignalCase& ACase, std::ostream* AStream) {
    *AStream << ACase.Name;
}

class StopSignalTest : public ConvertCommandTest, public ::testing::WithParamInterface<TSignalCase> {};

// Ctrl-C, and the system's or a closed terminal's request to end, stop the encoder as the
// window's stop button does: the running row ends "Abort" with a playable output under its name,
// the rows after it never start. While the row runs nothing is under the output's name yet.
TEST_P(StopSignalTest, StopsTheRunningRowWithItsTrailerWritten) {
    const QString source = Source(LongClip(), "long.avi");
    const QString next = Source(Clip(), "next.avi");
    const QString out = Folder("out");
    QProcess process;
    StartCli(process, {"convert", "--json", "-f", "MP4", "--set", SlowSize, "-o", out, source, next});
    QByteArray read;
    ASSERT_TRUE(WaitForOutput(process, false, read, "\"event\":\"progress\"")) << read.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out + "/long.mp4")) << "half-written under the output's name";
    const QStringList parts = QDir(out).entryList({".long.mp4.vantorix-*.part"}, QDir::Files | QDir::Hidden);
    EXPECT_EQ(parts.size(), 1) << parts.join(' ').toStdString();
    ::kill(static_cast<pid_t>(process.processId()), GetParam().Signal);
    const TCliResult result = FinishCli(process, 120000, read);

    EXPECT_EQ(result.ExitCode, GetParam().ExitCode) << result;
    EXPECT_FALSE(result.Crashed) << result;
    std::vector<QJsonObject> ends;
    for (const QJsonObject& line : result.JsonLines())
        if (line["event"] == QJsonValue("terminate"))
            ends.push_back(line);
    ASSERT_EQ(ends.size(), 1u) << result;
    EXPECT_EQ(ends[0]["row"].toInt(-1), 0);
    EXPECT_EQ(ends[0]["result"].toString(), "Abort") << result;
    EXPECT_EQ(ends[0]["output"].toString(), out + "/long.mp4") << result;
    EXPECT_EQ(result.JsonLines().back(), (QJsonObject{{"event", "end"}}));
    EXPECT_TRUE(result.ErrText().contains("stopped")) << result;

    // The trailer makes the part written so far a file that opens and plays.
    const TMediaFacts facts = ReadMedia(out + "/long.mp4");
    ASSERT_TRUE(facts.Opened) << facts.Error;
    EXPECT_EQ(facts.Width, 720);
    EXPECT_GT(facts.Seconds, 0.0);
    EXPECT_LT(facts.Seconds, 50.0);
    EXPECT_FALSE(QFileInfo::exists(out + "/next.mp4"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"long.mp4"});
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest,
                         ::testing::Values(TSignalCase{SIGINT, "SIGINT", 130},
                                           TSignalCase{SIGTERM, "SIGTERM", 143},
                                           TSignalCase{SIGHUP, "SIGHUP", 129}));

// A run that is killed outright leaves only its hidden part file, never a file without an index
// under the output's name; the next run into the folder removes it and takes the name.
TEST_F(ConvertCommandTest, AKilledRunLeavesOnlyAPartFileThatTheNextRunRemoves) {
    const QString source = Source(LongClip(), "long.avi");
    const QString out = Folder("out");
    QProcess process;
    StartCli(process, {"convert", "--json", "-f", "MP4", "--set", SlowSize, "-o", out, source});
    QByteArray read;
    ASSERT_TRUE(WaitForOutput(process, false, read, "\"event\":\"progress\"")) << read.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    process.waitForFinished(30000);
    const QStringList left = QDir(out).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(left.size(), 1) << left.join(' ').toStdString();
    EXPECT_TRUE(left[0].startsWith(".long.mp4.vantorix-") && left[0].endsWith(".part"))
        << left[0].toStdString();

    const QString again = Folder("again") + "/long.avi";
    ASSERT_TRUE(QFile::copy(Clip(), again));
    const TCliResult next = RunCli({"convert", "--json", "-f", "MP4", "-o", out, again});
    EXPECT_EQ(next.ExitCode, 0) << next;
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"long.mp4"});
    EXPECT_NEAR(ReadMedia(out + "/long.mp4").Seconds, 2.0, 0.2);
}

struct TConversionCase {
    const char* Name;
    QStringList Args;
    const char* Output;
    const char* Format; // container as the decoder names it
    int Width;          // -1: no video stream
    int Height;
    const char* AudioCodec; // start of the decoder's codec text
    int SampleRate;
    int Channels;
};

// Real conversions of the AVI fixture (MPEG-4 320x240, MP3 44.1 kHz stereo), read back.
TEST_F(ConvertCommandTest, OutputsFollowTheFormatAndTheChosenSettings) {
    const QString source = Source(Clip(), "clip.avi");
    const std::vector<TConversionCase> cases = {
        {"mp4 defaults", {"-f", "MP4"}, "clip.mp4", "mov,mp4,m4a,3gp,3g2,mj2", 320, 240, "aac", 44100, 2},
        {"mp4 small and mono",
         {"-f", "MP4", "--set", "Video Size=176 x 144 (QCIF)", "--set", "Audio Channels=Mono", "--set",
          "Sampling Rate=22050 Hz"},
         "clip.mp4",
         "mov,mp4,m4a,3gp,3g2,mj2",
         176,
         144,
         "aac",
         22050,
         1},
        {"mp3", {"-f", "MP3"}, "clip.mp3", "mp3", -1, -1, "mp3", 48000, 2},
        {"wav", {"-f", "WAV", "--volume", "60"}, "clip.wav", "wav", -1, -1, "pcm_s16le", 44100, 2},
        {"divx avi", {"-f", "AVI - DivX Video (*.avi)"}, "clip.avi", "avi", 320, 240, "mp3", 48000, 2},
    };
    for (const TConversionCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString out = Folder(c.Name);
        const TCliResult result = RunCli(QStringList{"convert", "-o", out} + c.Args + QStringList{source});
        ASSERT_EQ(result.ExitCode, 0) << result;
        const TMediaFacts facts = ReadMedia(out + "/" + c.Output);
        ASSERT_TRUE(facts.Opened) << facts.Error;
        EXPECT_EQ(facts.Format, c.Format);
        EXPECT_EQ(facts.VideoStreams, c.Width < 0 ? 0 : 1);
        EXPECT_EQ(facts.Width, c.Width);
        EXPECT_EQ(facts.Height, c.Height);
        EXPECT_EQ(facts.AudioStreams, 1);
        EXPECT_EQ(facts.AudioCodec.rfind(c.AudioCodec, 0), 0u) << facts.AudioCodec;
        EXPECT_EQ(facts.SampleRate, c.SampleRate);
        EXPECT_EQ(facts.Channels, c.Channels);
        EXPECT_NEAR(facts.Seconds, 2.0, 0.25);
    }
}

} // namespace
