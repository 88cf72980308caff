#include "play/PlayEventQueue.h"

#include <chrono>

namespace vx {

void TPlayEventQueue::Put(TPlayEventKind AKind, int64_t AValue) {
    {
        std::lock_guard lock(FLock);
        const int newest = (FTailer + Capacity - 1) % Capacity;
        if (FHeader != FTailer && FEvents[newest].Kind == AKind) {
            FEvents[newest].Value = AValue;
        } else {
            FEvents[FTailer] = {AKind, AValue};
            FTailer = (FTailer + 1) % Capacity;
            if (FTailer == FHeader)
                FHeader = (FHeader + 1) % Capacity;
        }
    }
    FSignal.notify_all();
}

TPlayEvent TPlayEventQueue::Take() {
    std::lock_guard lock(FLock);
    if (FHeader == FTailer)
        return {};
    const TPlayEvent event = FEvents[FHeader];
    FHeader = (FHeader + 1) % Capacity;
    return event;
}

bool TPlayEventQueue::Wait(int AMilliseconds) {
    std::unique_lock lock(FLock);
    return FSignal.wait_for(lock, std::chrono::milliseconds(AMilliseconds),
                            [this] { return FHeader != FTailer; });
}

void TPlayEventQueue::Clear() {
    std::lock_guard lock(FLock);
    FHeader = FTailer = 0;
}

} // namespace vx
