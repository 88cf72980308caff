// What every command of vantorix-cli shares: exit codes, usage errors, messages on stderr, and
// the loading of the media libraries.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace vx {
class TCustomEncoder;
}

namespace vx::cli {

inline constexpr int ExitDone = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitInterrupted = 130;
// A run stopped by a signal (Ctrl-C, SIGTERM, SIGHUP) ends with 128 + its number, as the shell
// reports a program that the signal ended: 130, 143, 129.
inline constexpr int ExitInterruptedBy(int ASignal) {
    return 128 + ASignal;
}

inline constexpr const char* ProgramName = "vantorix-cli";

// A command line that cannot be carried out as written (exit code 2). Raised before any work starts.
class TUsageError : public std::runtime_error {
public:
    explicit TUsageError(const QString& AText) : std::runtime_error(AText.toStdString()) {}
};

// A failure of the program itself (exit code 1), e.g. missing media libraries.
class TCommandError : public std::runtime_error {
public:
    explicit TCommandError(const QString& AText) : std::runtime_error(AText.toStdString()) {}
};

// Writes the text and a line break, in UTF-8, and flushes: progress must show while it happens.
void WriteLine(std::FILE* AStream, const QString& AText);
void WriteLine(std::FILE* AStream, const std::string& AUtf8);
// "vantorix-cli: " and the text, on stderr.
void PrintError(const QString& AText);

// A name as a line of the terminal can show it: line breaks, tabs and other control characters
// become "\n", "\r", "\t", "\xHH", and the bytes of a name that are not UTF-8 (kept as lone
// surrogates) "\xHH", so that a file name never breaks a progress line or a message.
QString DisplayName(const QString& AText);
// The text in double quotation marks, shown as DisplayName does, for messages.
QString Quoted(const QString& AText);
QString FromUtf8(const std::string& AText);

// Loads the encoder's library set from the program's folder, or through the default search when
// the libraries are not there, and makes the engine's equalizer filters known to filter texts.
// Throws TCommandError with the loader's reason.
void LoadMediaLibraries(TCustomEncoder& AEncoder);
// Loads only what reading files takes (no device or filter libraries), from the same place.
void LoadReadingLibraries();

// The library and engine log: nothing at all for the commands whose own output says what went
// wrong; warnings and errors on stderr for the raw engine, where the libraries' own diagnostics
// are the only explanation of a refused option or stream.
void SilenceEngineLog();
void ShowEngineLogOnStderr();

} // namespace vx::cli
