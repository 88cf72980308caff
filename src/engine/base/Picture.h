// A library picture as the engine hands it around: four plane pointers and four line
// sizes (bytes from one row to the next), as in the library's own frames.
#pragma once

#include <cstdint>

namespace vx {

struct TPicture {
    uint8_t* Data[4] = {nullptr, nullptr, nullptr, nullptr};
    int Linesize[4] = {0, 0, 0, 0};
};

} // namespace vx
