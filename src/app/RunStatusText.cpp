#include "RunStatusText.h"

#include <algorithm>

namespace vx {

int OverallPercent(int ARowsEnded, int ARowsInRun, std::span<const int> ACurrentPercents) {
    if (ARowsInRun <= 0)
        return 0;
    int64_t current = 0;
    if (ARowsEnded < ARowsInRun)
        for (const int percent : ACurrentPercents)
            current += std::clamp(percent, 0, 100);
    const int64_t percent = (int64_t(ARowsEnded) * 100 + current) / ARowsInRun;
    return static_cast<int>(std::clamp<int64_t>(percent, 0, 100));
}

int OverallPercent(int ARowsEnded, int ARowsInRun, int ACurrentPercent) {
    return OverallPercent(ARowsEnded, ARowsInRun, std::span<const int>(&ACurrentPercent, 1));
}

QString ClockText(int64_t AMs) {
    const int64_t s = std::max<int64_t>(AMs, 0) / 1000;
    if (s >= 3600)
        return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                                 static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return QString::asprintf("%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
}

QString RunStatusText(int AOverallPercent, int64_t AElapsedMs) {
    QString text = QStringLiteral("%1%  %2").arg(AOverallPercent).arg(ClockText(AElapsedMs));
    if (AOverallPercent > 0 && AOverallPercent < 100) {
        const int64_t left = AElapsedMs * (100 - AOverallPercent) / AOverallPercent;
        text += QStringLiteral(", %1 left").arg(ClockText(left));
    }
    return text;
}

} // namespace vx
