// The status bar's account of a run while it goes on: the batch's overall percentage, the
// time it has taken and an estimate of the time left.
#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace vx {

// How far the batch is, 0..100: the rows ended count whole, the rows converting by their own
// percentages (each held within 0..100).
int OverallPercent(int ARowsEnded, int ARowsInRun, std::span<const int> ACurrentPercents);
// The same with one row converting.
int OverallPercent(int ARowsEnded, int ARowsInRun, int ACurrentPercent);

// "45%  0:12, 0:15 left": the percentage, the elapsed time and the time left at the pace so
// far; without any progress yet the estimate is left out ("0%  0:03").
QString RunStatusText(int AOverallPercent, int64_t AElapsedMs);

// "0:05", "12:34", "1:02:03".
QString ClockText(int64_t AMs);

} // namespace vx
