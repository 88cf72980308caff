#include "RunSummary.h"

#include <algorithm>

namespace vx {

const QString TRunSummary::CompletedText = QStringLiteral("All Conversions Completed");
const QString TRunSummary::NothingCheckedText =
    QStringLiteral("No file is checked. Please check the files to convert.");

void TRunSummary::Add(const QString& ASource, TJobResult AResult, const QString& AReason) {
    FRows.push_back({ASource, AResult, AReason});
}

int TRunSummary::Count(TJobResult AResult) const {
    return static_cast<int>(std::count_if(FRows.begin(), FRows.end(),
                                          [AResult](const TRow& ARow) { return ARow.Result == AResult; }));
}

QString TRunSummary::Text() const {
    if (AllConverted())
        return CompletedText;
    QString text = QStringLiteral("%1 of %2 files converted").arg(Converted()).arg(Handled());
    if (const int failed = Failed(); failed > 0)
        text += QStringLiteral(", %1 failed").arg(failed);
    if (const int aborted = Count(TJobResult::Aborted); aborted > 0)
        text += QStringLiteral(", %1 stopped").arg(aborted);
    bool first = true;
    for (const TRow& row : FRows) {
        if (row.Result != TJobResult::Failed)
            continue;
        text += first ? QStringLiteral("\n\n") : QStringLiteral("\n");
        first = false;
        const QString name = row.Source.mid(row.Source.lastIndexOf(QLatin1Char('/')) + 1);
        // The engine's texts often begin with the file's path, which the line already names.
        QString reason = row.Reason;
        if (const QString pathPrefix = row.Source + QStringLiteral(": "); reason.startsWith(pathPrefix))
            reason.remove(0, pathPrefix.size());
        text += (name.isEmpty() ? row.Source : name) + QStringLiteral(": ") +
                (reason.isEmpty() ? QStringLiteral("unknown error") : reason);
    }
    return text;
}

} // namespace vx
