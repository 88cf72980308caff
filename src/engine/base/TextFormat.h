// printf-style text: the engine's messages are given as format strings.
#pragma once

#include <cstdarg>
#include <string>

namespace vx {

std::string FormatText(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));
std::string VFormatText(const char* AFormat, va_list AArgs);

} // namespace vx
