// "--version": the program version, then the media libraries and SDL2 as this installation
// loads them, with their versions, licences and addresses.
#include "CliSupport.h"
#include "Commands.h"

#include "base/FFBaseComponent.h"
#include "base/LibraryCredits.h"

#include <QCoreApplication>

namespace vx::cli {

int RunVersion() {
    SilenceEngineLog();
    const TLibraryCredits credits = ReadLibraryCredits(QCoreApplication::applicationDirPath().toStdString());
    WriteLine(stdout, QStringLiteral("%1 %2").arg(QLatin1String(ProgramName), QLatin1String(EngineVersion)));
    WriteLine(stdout, QString());
    WriteLine(stdout, credits.MediaRelease.empty()
                          ? QStringLiteral("Libraries:")
                          : QStringLiteral("Libraries (FFmpeg %1):").arg(FromUtf8(credits.MediaRelease)));
    for (const TLibraryCredit& library : credits.Libraries) {
        const QString name = FromUtf8(library.Name).leftJustified(14);
        if (library.Version.empty())
            WriteLine(stdout, QStringLiteral("  %1 not loaded: %2").arg(name, FromUtf8(library.Error)));
        else
            WriteLine(stdout, QStringLiteral("  %1 %2 %3 %4")
                                  .arg(name, FromUtf8(library.Version).leftJustified(10),
                                       FromUtf8(library.License).leftJustified(25), FromUtf8(library.Link)));
    }
    return ExitDone;
}

} // namespace vx::cli
