// The status bar's account of a run while it goes on: the batch's overall percentage, the
// time it has taken and an estimate of the time left.
#pragma once

#include <QString>
#include <cstdint>

namespace vx {

// How far the batch is, 0..100: the rows ended count whole, the rows converting by their own
// percentages (ACurrentPercents: those percentages added up).
int OverallPercent(int ARowsEnded, int ARowsInRun, int ACurrentPercents);

// "45%  0:12, 0:15 left": the percentage, the elapsed time and the time left at the pace so
// far; without any progress yet the estimate is left out ("0%  0:03").
QString RunStatusText(int AOverallPercent, int64_t AElapsedMs);

// "0:05", "12:34", "1:02:03".
QString ClockText(int64_t AMs);

} // namespace vx
