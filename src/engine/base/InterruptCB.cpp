#include "InterruptCB.h"

#include <algorithm>

#include "FFApi.h"
#include "PlatformBridge.h"

namespace vx {

void TInterruptCB::Add(uint32_t AThreadID, void* ASender, TInterruptProc AInterrupt) {
    std::lock_guard lock(FLock);
    for (const TEntry& e : FList)
        if (e.ThreadID == AThreadID && e.Sender == ASender && e.Interrupt == AInterrupt)
            return;
    FList.push_back({AThreadID, ASender, AInterrupt});
}

void TInterruptCB::Remove(uint32_t AThreadID, void* ASender, TInterruptProc AInterrupt) {
    std::lock_guard lock(FLock);
    auto it = std::find_if(FList.begin(), FList.end(), [&](const TEntry& e) {
        return e.ThreadID == AThreadID && e.Sender == ASender && e.Interrupt == AInterrupt;
    });
    if (it != FList.end())
        FList.erase(it);
}

void TInterruptCB::Clear() {
    std::lock_guard lock(FLock);
    FList.clear();
}

bool TInterruptCB::Interrupt(uint32_t AThreadID) {
    TEntry found{};
    {
        std::lock_guard lock(FLock);
        auto it = std::find_if(FList.begin(), FList.end(),
                               [&](const TEntry& e) { return e.ThreadID == AThreadID; });
        if (it == FList.end())
            return false;
        found = *it;
    }
    // Outside the lock: the check may log, and a log line may wait for the main thread.
    return found.Interrupt(found.Sender);
}

TInterruptCB& InterruptDispatcher() {
    static TInterruptCB dispatcher;
    return dispatcher;
}

int InterruptCallback(void*) {
    return InterruptDispatcher().Interrupt(CurrentThreadID()) ? 1 : 0;
}

AVIOInterruptCB EngineInterruptCB() {
    return AVIOInterruptCB{&InterruptCallback, nullptr};
}

} // namespace vx
