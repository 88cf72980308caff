#include "TextFormat.h"

#include <cstdio>

namespace vx {

std::string VFormatText(const char* AFormat, va_list AArgs) {
    va_list copy;
    va_copy(copy, AArgs);
    const int len = std::vsnprintf(nullptr, 0, AFormat, copy);
    va_end(copy);
    if (len <= 0)
        return {};
    std::string out(static_cast<size_t>(len) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), AFormat, AArgs);
    out.resize(static_cast<size_t>(len));
    return out;
}

std::string FormatText(const char* AFormat, ...) {
    va_list args;
    va_start(args, AFormat);
    std::string out = VFormatText(AFormat, args);
    va_end(args);
    return out;
}

} // namespace vx
