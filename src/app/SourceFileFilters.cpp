#include "SourceFileFilters.h"

#include "SourceFiles.h"

namespace vx {

const QStringList OtherMediaPatterns = {
    QStringLiteral("*.mkv"),  QStringLiteral("*.mka"), QStringLiteral("*.webm"), QStringLiteral("*.m4v"),
    QStringLiteral("*.ts"),   QStringLiteral("*.mts"), QStringLiteral("*.m2ts"), QStringLiteral("*.flac"),
    QStringLiteral("*.opus"), QStringLiteral("*.oga"), QStringLiteral("*.ogv"),  QStringLiteral("*.caf"),
    QStringLiteral("*.aif"),  QStringLiteral("*.nut"), QStringLiteral("*.f4v"),
};

QStringList OpenDialogNameFilters() {
    // The classic text stays as written; only the patterns of its first pair grow, so that the
    // filter selected at the start shows every file the program can convert.
    QStringList fields = OpenDialogFilter.split(QLatin1Char('|'));
    fields[1] += QLatin1Char(';') + OtherMediaPatterns.join(QLatin1Char(';'));

    const QString others =
        QStringLiteral("Other Media Files (%1)|%2|All Files (*)|*|")
            .arg(OtherMediaPatterns.join(QStringLiteral(", ")), OtherMediaPatterns.join(QLatin1Char(';')));
    return NameFiltersOf(fields.join(QLatin1Char('|'))) + NameFiltersOf(others);
}

} // namespace vx
