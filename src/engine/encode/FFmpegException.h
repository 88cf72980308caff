// The transcoder's one error type: every failure inside a job (a bad option, a file
// that cannot be opened, a stream that cannot be created) is raised as this and caught
// by whoever drives the job, which turns the message into its last-error text. The code
// that raises a failure does not log it: a run's failure is logged once, where the run
// ends, at the level the failure carries.
#pragma once

#include <stdexcept>
#include <string>

#include "base/FFLog.h"

namespace vx {

class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const std::string& AMessage, TLogLevel ALevel = llQuiet)
        : std::runtime_error(AMessage), FLevel(ALevel) {}
    // The level the failure is logged at when it ends a run.
    TLogLevel Level() const { return FLevel; }

private:
    TLogLevel FLevel;
};

// Raises "what: reason" when a library call returned a negative code; gives the code back
// otherwise, so a caller that needs the count a call returned can still use it.
int CheckResult(int ACode, const std::string& AWhat, TLogLevel ALevel = llQuiet);
// Raises "what: Cannot allocate memory" when an allocation gave nothing.
void CheckAllocated(const void* APointer, const std::string& AWhat);

} // namespace vx
