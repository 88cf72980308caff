#include "play/PlayerSampleRing.h"

#include <algorithm>
#include <cstring>

namespace vx {

void TSampleRing::Write(const int16_t* ASamples, int ACount) {
    std::lock_guard lock(FMutex);
    // Only the newest Size samples can be kept.
    if (ACount > Size) {
        ASamples += ACount - Size;
        ACount = Size;
    }
    while (ACount > 0) {
        const int n = std::min(ACount, Size - FIndex);
        std::memcpy(FSamples.data() + FIndex, ASamples, n * sizeof(int16_t));
        ASamples += n;
        ACount -= n;
        FIndex = (FIndex + n) % Size;
    }
}

int TSampleRing::CopyTo(int16_t* AOut) const {
    std::lock_guard lock(FMutex);
    std::memcpy(AOut, FSamples.data(), Size * sizeof(int16_t));
    return FIndex;
}

void TSampleRing::Clear() {
    std::lock_guard lock(FMutex);
    std::fill(FSamples.begin(), FSamples.end(), 0);
    FIndex = 0;
}

} // namespace vx
