#include "encode/FFmpegException.h"

#include "decode/FFUtils.h"

namespace vx {

int CheckResult(int ACode, const std::string& AWhat) {
    if (ACode < 0)
        throw FFmpegException(ErrorText(AWhat, ACode));
    return ACode;
}

} // namespace vx
