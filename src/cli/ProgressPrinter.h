// Human progress on stderr. On a terminal each report overwrites the previous one; into a file or
// a pipe every report is a line of its own, so that a log keeps them.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace vx::cli {

class TProgressPrinter {
public:
    TProgressPrinter();

    // "<label>: 45% frames 112 size 1.20 MB"; an unknown percentage or frame count (-1) is left out.
    void Progress(const QString& ALabel, std::optional<int> APercent, int32_t AFrames, int64_t ASize);
    // A line of its own, after the progress line if one is showing.
    void Line(const QString& AText);

    // The percentage the encoder's durations give, 0..100; none when the total is unknown.
    static std::optional<int> Percent(int64_t ACurrentDuration, int64_t ATotalDuration);

private:
    void EndProgressLine();

    bool FTerminal = false;
    bool FProgressShowing = false;
};

} // namespace vx::cli
