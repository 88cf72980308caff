// printf-style texts for the transcoder's messages, which are given as format strings.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace vx {

inline std::string FormatText(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));
inline std::string FormatText(const char* AFormat, ...) {
    va_list args;
    va_start(args, AFormat);
    va_list copy;
    va_copy(copy, args);
    const int len = std::vsnprintf(nullptr, 0, AFormat, copy);
    va_end(copy);
    std::string out(len > 0 ? static_cast<size_t>(len) + 1 : 1, '\0');
    if (len > 0)
        std::vsnprintf(out.data(), out.size(), AFormat, args);
    va_end(args);
    out.resize(len > 0 ? static_cast<size_t>(len) : 0);
    return out;
}

} // namespace vx
