// The engine's clock for measuring intervals: monotonic, in microseconds.
#pragma once

#include <chrono>
#include <cstdint>

namespace vx {

inline int64_t SteadyMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace vx
