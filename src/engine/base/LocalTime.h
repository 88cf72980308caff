// Local date-times as the component properties carry them, and their Unix counterparts.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

// Date-times count days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;
inline constexpr double UnixDateDelta = 25569.0; // 1970-01-01 as a TDateTime
// Local date-time of a Unix time, with the offset from UTC that was in force then
// (daylight saving included); LocalDateTimeToUnix is its inverse.
TDateTime UnixToLocalDateTime(int64_t ASeconds);
int64_t LocalDateTimeToUnix(TDateTime ADateTime);
// "yyyy-mm-dd hh:nn:ss".
std::string DateTimeText(TDateTime ADateTime);

} // namespace vx
