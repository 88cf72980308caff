// How "convert" names and writes its output files: many runs into one folder at once, a batch
// whose outputs could hit its own sources, names with blanks at their ends, names that are not
// UTF-8 or hold a line break.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "CliTestSupport.h"
#include "LocalFileNames.h"

using namespace vx::clitest;

namespace {

const char* const BatchFormat = "AVI - DivX Video (*.avi)";

class OutputFilesTest : public TCliMedia {
protected:
    QString Folder(const QString& AName) {
        const QString path = OutFile(AName);
        QDir().mkpath(path);
        return path;
    }
    // Copies a medium to a name given as bytes, which Qt's file classes could not make.
    static void CopyTo(const QString& AMedium, const std::string& APath) {
        QFile from(AMedium);
        ASSERT_TRUE(from.open(QIODevice::ReadOnly));
        const QByteArray data = from.readAll();
        const int fd = ::open(APath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0) << APath;
        ASSERT_EQ(::write(fd, data.constData(), size_t(data.size())), data.size());
        ::close(fd);
    }
    static bool Exists(const std::string& APath) {
        struct stat st {};
        return ::lstat(APath.c_str(), &st) == 0;
    }
    static std::vector<QJsonObject> Ends(const TCliResult& AResult) {
        std::vector<QJsonObject> ends;
        for (const QJsonObject& line : AResult.JsonLines())
            if (line["event"] == QJsonValue("terminate"))
                ends.push_back(line);
        return ends;
    }
};

// Runs started together into one folder, each with another source of the same name: every run
// keeps its own output, whole, under a name of its own.
TEST_F(OutputFilesTest, ConcurrentRunsIntoOneFolderEachKeepTheirOwnOutput) {
    constexpr int Runs = 10;
    const QString out = Folder("out");
    std::vector<double> seconds;
    for (int i = 0; i < Runs; ++i) {
        vx::fixtures::TMediaSpec spec = vx::fixtures::AviMpeg4Mp3();
        spec.Seconds = 0.6 + 0.3 * i; // tells the outputs apart
        seconds.push_back(spec.Seconds);
        vx::fixtures::WriteMedia((Folder(QString("s%1").arg(i)) + "/clip.avi").toStdString(), spec);
    }
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < Runs; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        StartCli(*processes.back(), {"convert", "--json", "-f", BatchFormat, "-o", out,
                                     OutFile(QString("s%1/clip.avi").arg(i))});
    }
    std::set<QString> outputs;
    for (int i = 0; i < Runs; ++i) {
        const TCliResult result = FinishCli(*processes[i], 300000);
        ASSERT_EQ(result.ExitCode, 0) << result;
        const std::vector<QJsonObject> ends = Ends(result);
        ASSERT_EQ(ends.size(), 1u) << result;
        EXPECT_EQ(ends[0]["result"].toString(), "Done");
        const QString output = ends[0]["output"].toString();
        EXPECT_TRUE(outputs.insert(output).second) << "two runs report " << output.toStdString();
        const TMediaFacts facts = ReadMedia(output);
        ASSERT_TRUE(facts.Opened) << output.toStdString() << ": " << facts.Error;
        EXPECT_EQ(facts.VideoStreams, 1);
        EXPECT_EQ(facts.AudioStreams, 1);
        EXPECT_NEAR(facts.Seconds, seconds[i], 0.15) << output.toStdString() << " is not run " << i << "'s";
    }
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), Runs) << "no part file is left";
}

// With overwriting on, row 0's output would be row 1's source: it takes another name, and so
// does row 1's, whose own name is its source. The original stays as it was.
TEST_F(OutputFilesTest, OverwritingNeverWritesOverASourceOfTheBatch) {
    const QString src = Folder("src");
    const QString out = Folder("out");
    ASSERT_TRUE(QFile::copy(Clip(), src + "/a.avi"));
    ASSERT_TRUE(QFile::copy(Wav(), out + "/a.mp4")); // a sound file named like an MP4
    const qint64 originalSize = QFileInfo(out + "/a.mp4").size();

    const TCliResult result =
        RunCli({"convert", "--json", "--overwrite", "-f", "MP4", "-o", out, src + "/a.avi", out + "/a.mp4"});
    ASSERT_EQ(result.ExitCode, 0) << result;
    const std::vector<QJsonObject> ends = Ends(result);
    ASSERT_EQ(ends.size(), 2u) << result;
    EXPECT_EQ(ends[0]["output"].toString(), out + "/a-1.mp4");
    EXPECT_EQ(ends[1]["output"].toString(), out + "/a-2.mp4");
    EXPECT_EQ(ReadMedia(out + "/a-1.mp4").Width, 320) << "row 0 converted the video";
    EXPECT_EQ(ReadMedia(out + "/a-2.mp4").VideoStreams, 0) << "row 1 converted the sound file";
    EXPECT_EQ(QFileInfo(out + "/a.mp4").size(), originalSize);
    EXPECT_EQ(ReadMedia(out + "/a.mp4").Format, "wav");

    // Overwriting a file that is no source replaces it only when the conversion succeeded.
    const TCliResult replaced = RunCli({"convert", "--overwrite", "-f", "MP4", "-o", out, src + "/a.avi"});
    EXPECT_EQ(replaced.ExitCode, 0) << replaced;
    EXPECT_EQ(ReadMedia(out + "/a.mp4").Width, 320);
}

// A failed run that would have replaced a file leaves the file as it was: the output is given
// its name only at the end.
TEST_F(OutputFilesTest, AFailedRunLeavesTheFileItWouldReplace) {
    const QString out = Folder("out");
    ASSERT_TRUE(QFile::copy(Wav(), out + "/old.avi"));
    const qint64 size = QFileInfo(out + "/old.avi").size();
    // The encoder refuses this size when the run sets it up, after the output was opened.
    const TCliResult result =
        RunCli({"transcode", "-i", Clip(), "-an", "-vcodec", "h263", "-s", "100x100", out + "/old.avi"});
    EXPECT_EQ(result.ExitCode, 1) << result;
    EXPECT_EQ(QFileInfo(out + "/old.avi").size(), size);
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"old.avi"})
        << "no part file is left";
}

// File names are never trimmed: "clip.avi " is another file than "clip.avi", and a relative
// name may begin with a blank.
TEST_F(OutputFilesTest, BlanksAtTheEndsOfANameBelongToIt) {
    const QString sources = Folder("sources");
    const QString out = Folder("out");
    ASSERT_TRUE(QFile::copy(Clip(), sources + "/clip.avi ")); // video
    ASSERT_TRUE(QFile::copy(Wav(), sources + "/clip.avi"));   // sound only
    ASSERT_TRUE(QFile::copy(Clip(), sources + "/ lead.avi"));

    const TCliResult probe = RunCli({"probe", "--json", sources + "/clip.avi "});
    ASSERT_EQ(probe.ExitCode, 0) << probe;
    EXPECT_TRUE(probe.Out.contains("\"kind\":\"video\"")) << "the file with the blank was probed\n" << probe;

    const TCliResult trailing = RunCli({"convert", "--json", "-f", "MP4", "-o", out, sources + "/clip.avi "});
    ASSERT_EQ(trailing.ExitCode, 0) << trailing;
    EXPECT_EQ(ReadMedia(out + "/clip.mp4").Width, 320) << "the file with the blank was converted";

    const TCliResult leading =
        RunCliWithBytes({"convert", "-f", "MP4", "-o", out.toUtf8(), " lead.avi"}, sources);
    ASSERT_EQ(leading.ExitCode, 0) << leading;
    EXPECT_EQ(ReadMedia(out + "/ lead.mp4").Width, 320);
}

// A name is bytes: one that is not UTF-8 is probed and converted, and the output keeps the
// bytes. A line break in a name does not break the progress line.
TEST_F(OutputFilesTest, NamesThatAreNotUTF8OrHoldALineBreakWork) {
    const QString sources = Folder("sources");
    const QString out = Folder("out");
    const std::string odd = sources.toStdString() + "/b\xFF.avi";
    CopyTo(Clip(), odd);

    const TCliResult probe = RunCliWithBytes({"probe", "--json", QByteArray::fromStdString(odd)}, sources);
    ASSERT_EQ(probe.ExitCode, 0) << probe;
    EXPECT_TRUE(probe.Out.contains("b\\udcff.avi\",\"ok\":true")) << probe;

    const TCliResult convert = RunCliWithBytes(
        {"convert", "--json", "-f", BatchFormat, "-o", out.toUtf8(), QByteArray::fromStdString(odd)},
        sources);
    ASSERT_EQ(convert.ExitCode, 0) << convert;
    EXPECT_TRUE(convert.Out.contains("b\\udcff.avi")) << convert;
    ASSERT_TRUE(Exists(out.toStdString() + "/b\xFF.avi"));
    EXPECT_NEAR(ReadMedia(vx::FromLocalBytes(out.toStdString() + "/b\xFF.avi")).Seconds, 2.0, 0.2);
    EXPECT_TRUE(convert.ErrText().contains("b\\xff.avi")) << convert;

    const QString broken = sources + "/new\nline.avi";
    ASSERT_TRUE(QFile::copy(Clip(), broken));
    const TCliResult result = RunCli({"convert", "-f", BatchFormat, "-o", out, broken});
    ASSERT_EQ(result.ExitCode, 0) << result;
    EXPECT_TRUE(QFileInfo::exists(out + "/new\nline.avi"));
    EXPECT_TRUE(result.ErrText().contains("new\\nline.avi")) << result;
    for (const QString& line : result.ErrText().split(QRegularExpression("[\r\n]")))
        EXPECT_FALSE(line.startsWith("line.avi")) << result;
}

} // namespace
