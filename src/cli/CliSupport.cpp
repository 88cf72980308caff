#include "CliSupport.h"

#include <QCoreApplication>

#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "encode/FFEncode.h"
#include "encode/filters/EqualizerFilters.h"

namespace vx::cli {

void WriteLine(std::FILE* AStream, const std::string& AUtf8) {
    // One write per line: the engine's log lines come from worker threads at the same time.
    const std::string line = AUtf8 + '\n';
    std::fwrite(line.data(), 1, line.size(), AStream);
    std::fflush(AStream);
}

void WriteLine(std::FILE* AStream, const QString& AText) {
    WriteLine(AStream, AText.toStdString());
}

void PrintError(const QString& AText) {
    WriteLine(stderr, QString::fromLatin1(ProgramName) + QStringLiteral(": ") + AText);
}

QString DisplayName(const QString& AText) {
    QString shown;
    shown.reserve(AText.size());
    const auto hex = [&](int AByte) { shown += QStringLiteral("\\x%1").arg(AByte, 2, 16, QLatin1Char('0')); };
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const QChar c = AText[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < AText.size() && AText[i + 1].isLowSurrogate()) {
            shown += c;
            shown += AText[++i];
        } else if (u == '\n') {
            shown += QStringLiteral("\\n");
        } else if (u == '\r') {
            shown += QStringLiteral("\\r");
        } else if (u == '\t') {
            shown += QStringLiteral("\\t");
        } else if (u < 0x20 || u == 0x7F) {
            hex(u);
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            hex(u - 0xDC00); // a byte of a name that is not UTF-8
        } else if (c.isSurrogate()) {
            shown += QChar::ReplacementCharacter;
        } else {
            shown += c;
        }
    }
    return shown;
}

QString Quoted(const QString& AText) {
    return QLatin1Char('"') + DisplayName(AText) + QLatin1Char('"');
}

QString FromUtf8(const std::string& AText) {
    return QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size()));
}

void LoadMediaLibraries(TCustomEncoder& AEncoder) {
    // The window loads from its own folder first; so does the command line, so that a packaged
    // copy of the libraries beside the programs serves both.
    if (!AEncoder.LoadAVLib(QCoreApplication::applicationDirPath().toStdString()))
        throw TCommandError(QStringLiteral("Some files are missing. Please re-install this software (") +
                            FromUtf8(AEncoder.LastErrMsg()) + QLatin1Char(')'));
    // Filter texts given to the tasks may use the engine's equalizers.
    RegisterEqualizerFilters();
}

void LoadReadingLibraries() {
    FFLoader().SetLibraryPath(QCoreApplication::applicationDirPath().toStdString());
    if (!FFLoader().Load(DecoderLibraries))
        throw TCommandError(QStringLiteral("Some files are missing. Please re-install this software (") +
                            FromUtf8(FFLoader().LastErrMsg()) + QLatin1Char(')'));
}

void SilenceEngineLog() {
    TFFLogger& logger = GetLogger();
    logger.OnLog = nullptr;
    logger.SetLogLevel(llQuiet);
}

void ShowEngineLogOnStderr() {
    TFFLogger& logger = GetLogger();
    // Written from whichever thread logs: a line on stderr needs no main thread, and a worker
    // must not wait for a main thread that may itself be waiting for the worker.
    logger.SetTriggerEventInMainThread(false);
    logger.SetLogLevel(llWarning);
    logger.OnLog = [](void*, uint32_t, TLogLevel ALevel, const std::string& AMessage) {
        // The logger lets its progress lines (verbose) through at every level; the command
        // prints its own progress, so they show only when the level asks for them.
        if (ALevel > GetLogger().LogLevel())
            return;
        std::string line = AMessage;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty())
            WriteLine(stderr, line);
    };
}

} // namespace vx::cli
