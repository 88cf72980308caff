#include "TextFormat.h"

#include <cctype>
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

std::string Trim(std::string_view AText) {
    size_t first = 0, last = AText.size();
    while (first < last && static_cast<unsigned char>(AText[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(AText[last - 1]) <= ' ')
        --last;
    return std::string(AText.substr(first, last - first));
}

std::string LowerCase(std::string AText) {
    for (char& c : AText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return AText;
}

std::string FormatText(const char* AFormat, ...) {
    va_list args;
    va_start(args, AFormat);
    std::string out = VFormatText(AFormat, args);
    va_end(args);
    return out;
}

} // namespace vx
