// vantorix-cli: the window's catalogue, probing and batch conversion from the command line,
// and the raw engine for power users.
#include "CliSupport.h"
#include "Commands.h"
#include "LocalFileNames.h"
#include "QtPlatformBridge.h"

#include <QCoreApplication>
#include <clocale>
#include <exception>

namespace {

const char* const Usage = "Usage: vantorix-cli COMMAND [OPTIONS] [FILE...]\n"
                          "\n"
                          "Converts video and audio files with the Vantorix engine.\n"
                          "\n"
                          "Commands:\n"
                          "  formats     list the output formats and their settings\n"
                          "  probe       describe media files\n"
                          "  convert     convert files into an output format, as the window does\n"
                          "  transcode   run the engine with transcoder options\n"
                          "  thumbnail   write one picture of a video as a PNG file\n"
                          "\n"
                          "Options:\n"
                          "  --help      show this text; COMMAND --help shows a command's own\n"
                          "  --version   show the program version and the libraries it runs on\n";

int Run(const QStringList& AArgs) {
    using namespace vx::cli;
    if (AArgs.isEmpty()) {
        std::fputs(Usage, stderr);
        return ExitUsage;
    }
    const QString& command = AArgs.front();
    const QStringList rest = AArgs.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        std::fputs(Usage, stdout);
        return ExitDone;
    }
    if (command == QLatin1String("--version"))
        return RunVersion();
    if (command == QLatin1String("formats"))
        return RunFormats(rest);
    if (command == QLatin1String("probe"))
        return RunProbe(rest);
    if (command == QLatin1String("convert"))
        return RunConvert(rest);
    if (command == QLatin1String("transcode"))
        return RunTranscode(rest);
    if (command == QLatin1String("thumbnail"))
        return RunThumbnail(rest);
    throw TUsageError(QStringLiteral("unknown command %1").arg(Quoted(command)));
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace vx::cli;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(ProgramName));
    // The media libraries read and write numbers in the C locale; Qt has just applied the user's.
    std::setlocale(LC_NUMERIC, "C");
    // Engine events reach this thread through Qt's event loop.
    vx::TQtPlatformBridge bridge;

    try {
        // Qt's own argument list decodes names that are not UTF-8 lossily.
        return Run(vx::LocalArguments(argc, argv).mid(1));
    } catch (const TUsageError& error) {
        PrintError(QString::fromStdString(error.what()));
        PrintError(QStringLiteral("try \"vantorix-cli --help\""));
        return ExitUsage;
    } catch (const std::exception& error) {
        PrintError(QString::fromStdString(error.what()));
        return ExitFailed;
    }
}
