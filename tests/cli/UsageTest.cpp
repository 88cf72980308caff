// Command lines that cannot be carried out: exit code 2, the reason on stderr, nothing on stdout,
// and no work started. Help and version texts.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <unistd.h>

#include "CliTestSupport.h"
#include "base/FFApi.h"
#include "base/FFLoad.h"

using namespace vx::clitest;

namespace {

class CliUsageTest : public TCliMedia {};

struct TUsageCase {
    const char* Name;
    QStringList Args;
    const char* Reason; // part of the message on stderr
};

TEST_F(CliUsageTest, BadCommandLinesExitWithTwoBeforeAnyWork) {
    const QString out = OutDir();
    const QString missing = OutFile("no such folder");
    const QString clip = Clip();
    const std::vector<TUsageCase> cases = {
        {"no command", {}, "Usage: vantorix-cli"},
        {"unknown command", {"explode"}, "unknown command \"explode\""},
        {"unknown option", {"formats", "--colour"}, "colour"},
        {"formats with a file", {"formats", clip}, "formats takes no arguments"},
        {"probe without files", {"probe", "--json"}, "at least one FILE"},
        {"convert without format", {"convert", "-o", out, clip}, "-f TEXT"},
        {"convert without folder", {"convert", "-f", "MP4", clip}, "-o DIR"},
        {"convert without files", {"convert", "-f", "MP4", "-o", out}, "at least one FILE"},
        {"unknown format",
         {"convert", "-f", "Betamax", "-o", out, clip},
         "unknown output format \"Betamax\""},
        {"ambiguous short name", {"convert", "-f", "AVI", "-o", out, clip}, "\"AVI - XviD Video (*.avi)\""},
        {"ambiguous output name", {"convert", "-f", "mpg", "-o", out, clip}, "\"Video CD (*.mpg)\""},
        {"missing folder", {"convert", "-f", "MP4", "-o", missing, clip}, "does not exist"},
        {"folder is a file", {"convert", "-f", "MP4", "-o", clip, clip}, "is not a folder"},
        {"unknown list",
         {"convert", "-f", "MP4", "-o", out, "--set", "Colour=Red", clip},
         "\"Sampling Rate\""},
        {"set without item", {"convert", "-f", "MP4", "-o", out, "--set", "Video Size", clip}, "LIST=ITEM"},
        {"unknown item lists the items",
         {"convert", "-f", "MP4", "-o", out, "--set", "Video Size=999 x 999", clip},
         "\"352 x 288 (CIF)\""},
        {"item not offered by the format",
         {"convert", "-f", "MP3", "-o", out, "--set", "Video Codec=MPEG4", clip},
         "offers nothing"},
        {"item text is exact",
         {"convert", "-f", "MP4", "-o", out, "--set", "Audio Bitrate=128Kbps", clip},
         "128 Kbps"},
        {"volume off the steps", {"convert", "-f", "MP4", "-o", out, "--volume", "50", clip}, "steps of 20"},
        {"volume too loud", {"convert", "-f", "MP4", "-o", out, "--volume", "220", clip}, "steps of 20"},
        {"volume not a number", {"convert", "-f", "MP4", "-o", out, "--volume", "loud", clip}, "steps of 20"},
        {"negative threads",
         {"convert", "-f", "MP4", "-o", out, "--threads", "-1", clip},
         "count of 0 or more"},
        {"threads not a number",
         {"convert", "-f", "MP4", "-o", out, "--threads", "all", clip},
         "count of 0 or more"},
        {"no jobs", {"convert", "-f", "MP4", "-o", out, "--jobs", "0", clip}, "count of 1 or more"},
        {"jobs not a number",
         {"convert", "-f", "MP4", "-o", out, "--jobs", "two", clip},
         "count of 1 or more"},
        {"format twice", {"convert", "-f", "MP4", "-f", "MP3", "-o", out, clip}, "more than once"},
        {"transcode without input", {"transcode", OutFile("x.mkv")}, "before any -i INPUT"},
        {"transcode without output", {"transcode", "-i", clip}, "needs an OUTPUT"},
        {"transcode option without value",
         {"transcode", "-i", clip, OutFile("x.mkv"), "-vcodec"},
         "needs a value"},
        {"transcode trailing option",
         {"transcode", "-i", clip, OutFile("x.mkv"), "-an"},
         "applies to no file"},
        {"transcode value with a line break",
         {"transcode", "-i", clip, "-metadata", "title=a\nb", OutFile("x.mkv")},
         "line break"},
        {"transcode long option", {"transcode", "--json", "-i", clip, OutFile("x.mkv")}, "unknown option"},
    };
    for (const TUsageCase& c : cases) {
        const TCliResult result = RunCli(c.Args);
        EXPECT_EQ(result.ExitCode, 2) << c.Name << "\n" << result;
        EXPECT_FALSE(result.Crashed) << c.Name;
        EXPECT_TRUE(result.Out.isEmpty()) << c.Name << "\n" << result;
        EXPECT_TRUE(result.ErrText().contains(c.Reason)) << c.Name << "\n" << result;
    }
    EXPECT_TRUE(QDir(out).isEmpty()) << "a refused command line wrote into the output folder";
}

TEST_F(CliUsageTest, AnUnwritableOutputFolderIsRefused) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    const QString folder = OutFile("locked");
    ASSERT_TRUE(QDir().mkdir(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    const TCliResult result = RunCli({"convert", "-f", "MP4", "-o", folder, Clip()});
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(result.ExitCode, 2) << result;
    EXPECT_TRUE(result.ErrText().contains("not writable")) << result;
}

TEST(CliHelpTest, EveryCommandHasHelpAndTheProgramItsVersion) {
    for (const char* command : {"formats", "probe", "convert", "transcode", "thumbnail"}) {
        const TCliResult result = RunCli({command, "--help"});
        EXPECT_EQ(result.ExitCode, 0) << command << "\n" << result;
        EXPECT_TRUE(result.Out.startsWith(QByteArray("Usage: vantorix-cli ") + command)) << result;
        EXPECT_TRUE(result.Err.isEmpty()) << result;
    }
    const TCliResult help = RunCli({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    for (const char* command : {"formats", "probe", "convert", "transcode", "thumbnail"})
        EXPECT_TRUE(help.Out.contains(command)) << help;
}

TEST(CliHelpTest, VersionNamesTheLoadedLibrariesWithTheirVersionsAndLicences) {
    const TCliResult version = RunCli({"--version"});
    EXPECT_EQ(version.ExitCode, 0) << version;
    EXPECT_TRUE(version.Err.isEmpty()) << version;
    const QStringList lines = QString::fromUtf8(version.Out).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), "vantorix-cli 4.1");
    ASSERT_TRUE(vx::FFLoader().Load(vx::avUtil)) << vx::FFLoader().LastErrMsg();
    EXPECT_EQ(lines.value(2), QStringLiteral("Libraries (FFmpeg %1):").arg(ff::av_version_info())) << version;

    // Name, the loaded copy's version (of the major one the headers name), its licence, its address.
    const std::pair<QString, QString> libraries[] = {
        {"libavutil", QString::number(LIBAVUTIL_VERSION_MAJOR)},
        {"libavcodec", QString::number(LIBAVCODEC_VERSION_MAJOR)},
        {"libavformat", QString::number(LIBAVFORMAT_VERSION_MAJOR)},
        {"libavdevice", QString::number(LIBAVDEVICE_VERSION_MAJOR)},
        {"libavfilter", QString::number(LIBAVFILTER_VERSION_MAJOR)},
        {"libswscale", QString::number(LIBSWSCALE_VERSION_MAJOR)},
        {"libswresample", QString::number(LIBSWRESAMPLE_VERSION_MAJOR)},
        {"SDL2", "2"},
    };
    for (const auto& [name, major] : libraries) {
        const qsizetype at = lines.indexOf(QRegularExpression("  " + name + " .*"));
        ASSERT_GE(at, 0) << name.toStdString() << "\n" << version;
        const QString licence = name == "SDL2" ? "zlib License +https://www\\.libsdl\\.org/"
                                               : "L?GPL version [0-9.]+ or later +https://ffmpeg\\.org/";
        EXPECT_TRUE(QRegularExpression("^  " + name + " +" + major + "\\.\\d+\\.\\d+ +" + licence + "$")
                        .match(lines[at])
                        .hasMatch())
            << lines[at].toStdString();
    }
}

} // namespace
