// "rotate": turns the picture by a whole number of degrees (45 when no argument is
// given) around its centre into a picture just large enough for it; what the source
// does not cover is black.
#pragma once

#include "encode/filters/NativeFilter.h"

namespace vx {

std::unique_ptr<TNativeFilter> MakeRotateFilter(void* ASender, const std::string& AArgs);

} // namespace vx
