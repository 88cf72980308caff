#include "encode/FFmpegException.h"

#include <cerrno>

#include "decode/FFUtils.h"

namespace vx {

int CheckResult(int ACode, const std::string& AWhat, TLogLevel ALevel) {
    if (ACode < 0)
        throw FFmpegException(ErrorText(AWhat, ACode), ALevel);
    return ACode;
}

void CheckAllocated(const void* APointer, const std::string& AWhat) {
    if (!APointer)
        CheckResult(AVERROR(ENOMEM), AWhat);
}

} // namespace vx
