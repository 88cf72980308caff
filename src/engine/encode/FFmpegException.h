// The transcoder's one error type: every failure inside a job (a bad option, a file
// that cannot be opened, a stream that cannot be created) is raised as this and caught
// by whoever drives the job, which turns the message into its last-error text.
#pragma once

#include <stdexcept>
#include <string>

namespace vx {

class FFmpegException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raises "what: reason" when a library call returned a negative code; gives the code back
// otherwise, so a caller that needs the count a call returned can still use it.
int CheckResult(int ACode, const std::string& AWhat);

} // namespace vx
