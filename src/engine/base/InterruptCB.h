// Blocking library I/O asks here whether the calling thread's operation is to be
// abandoned. A task or playback registers its check for the thread that does the I/O,
// from that thread, and removes it there: a check runs without the dispatcher's lock
// and its sender outlives it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

struct AVIOInterruptCB;

namespace vx {

using TInterruptProc = bool (*)(void* ASender);

class TInterruptCB {
public:
    // A second registration of the same thread, sender and check adds nothing.
    void Add(uint32_t AThreadID, void* ASender, TInterruptProc AInterrupt);
    void Remove(uint32_t AThreadID, void* ASender, TInterruptProc AInterrupt);
    void Clear();
    // The first check registered for the thread decides; none: false.
    bool Interrupt(uint32_t AThreadID);

private:
    struct TEntry {
        uint32_t ThreadID;
        void* Sender;
        TInterruptProc Interrupt;
    };
    std::mutex FLock;
    std::vector<TEntry> FList; // FLock
};

TInterruptCB& InterruptDispatcher();

// The callback every format and I/O context gets: asks the dispatcher about the
// calling thread. Install it before opening.
int InterruptCallback(void* AOpaque);
AVIOInterruptCB EngineInterruptCB();

} // namespace vx
