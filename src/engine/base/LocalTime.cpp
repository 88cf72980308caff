#include "LocalTime.h"

#include <cmath>
#include <ctime>

namespace vx {

TDateTime UnixToLocalDateTime(int64_t ASeconds) {
    const time_t t = static_cast<time_t>(ASeconds);
    struct tm local {};
    const long offset = localtime_r(&t, &local) ? local.tm_gmtoff : 0;
    return UnixDateDelta + double(ASeconds + offset) / 86400.0;
}

int64_t LocalDateTimeToUnix(TDateTime ADateTime) {
    const time_t wall = static_cast<time_t>(std::llround((ADateTime - UnixDateDelta) * 86400.0));
    struct tm fields {};
    if (!gmtime_r(&wall, &fields))
        return 0;
    fields.tm_isdst = -1; // let the time zone say whether summer time applies
    return mktime(&fields);
}

std::string DateTimeText(TDateTime ADateTime) {
    const time_t wall = static_cast<time_t>(std::llround((ADateTime - UnixDateDelta) * 86400.0));
    struct tm fields {};
    if (!gmtime_r(&wall, &fields))
        return {};
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
    return text;
}

} // namespace vx
