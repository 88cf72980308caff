// printf-style text: the engine's messages are given as format strings.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace vx {

std::string FormatText(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));
std::string VFormatText(const char* AFormat, va_list AArgs);

// AText without the blanks and control characters at its ends.
std::string Trim(std::string_view AText);
// AText with its ASCII letters in lower case.
std::string LowerCase(std::string AText);

} // namespace vx
