// The commands of vantorix-cli. Each takes the arguments after its name and returns the exit code;
// a usage error is thrown as TUsageError before any work starts.
#pragma once

#include <QStringList>

namespace vx::cli {

int RunFormats(const QStringList& AArgs);
int RunProbe(const QStringList& AArgs);
int RunConvert(const QStringList& AArgs);
int RunTranscode(const QStringList& AArgs);
int RunThumbnail(const QStringList& AArgs);
// Takes no arguments: "--version" is the whole command line.
int RunVersion();

} // namespace vx::cli
