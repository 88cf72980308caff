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

} // namespace vx
