#include "ProgressPrinter.h"

#include "CliSupport.h"

#include "decode/FFUtils.h"

#include <algorithm>
#include <unistd.h>

namespace vx::cli {

TProgressPrinter::TProgressPrinter() : FTerminal(::isatty(STDERR_FILENO) == 1) {}

void TProgressPrinter::Progress(const QString& ALabel, std::optional<int> APercent, int32_t AFrames,
                                int64_t ASize) {
    QString text = ALabel + QLatin1Char(':');
    if (APercent)
        text += QStringLiteral(" %1%").arg(*APercent, 3);
    if (AFrames >= 0)
        text += QStringLiteral(" frames %1").arg(AFrames);
    text += QStringLiteral(" size ") + FromUtf8(SizeText(ASize));
    if (FTerminal) {
        // Erase what a longer earlier report left behind.
        std::fputs(("\r" + text + "\033[K").toStdString().c_str(), stderr);
        std::fflush(stderr);
        FProgressShowing = true;
    } else {
        WriteLine(stderr, text);
    }
}

void TProgressPrinter::EndProgressLine() {
    if (FProgressShowing) {
        std::fputc('\n', stderr);
        FProgressShowing = false;
    }
}

void TProgressPrinter::Line(const QString& AText) {
    EndProgressLine();
    WriteLine(stderr, AText);
}

std::optional<int> TProgressPrinter::Percent(int64_t ACurrentDuration, int64_t ATotalDuration) {
    if (ATotalDuration <= 0)
        return std::nullopt;
    const __int128 percent = __int128(ACurrentDuration) * 100 / ATotalDuration;
    return static_cast<int>(std::clamp<__int128>(percent, 0, 100));
}

} // namespace vx::cli
