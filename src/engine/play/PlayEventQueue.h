// The queue between a playback's threads and the thread that raises OnState/OnPosition.
// Consecutive entries of one kind collapse into the latest, so a slow handler sees the
// newest state and position instead of a backlog; the ring holds at most 9 entries and
// drops its oldest when full. Any thread puts; the event thread takes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vx {

enum TPlayEventKind { pekNone = 0, pekPosition = 1, pekState = 2, pekEnd = 3 };

struct TPlayEvent {
    TPlayEventKind Kind = pekNone;
    int64_t Value = 0;
};

class TPlayEventQueue {
public:
    static constexpr int Capacity = 10;

    void Put(TPlayEventKind AKind, int64_t AValue);
    // The oldest entry, or kind pekNone when empty.
    TPlayEvent Take();
    // Waits up to AMilliseconds for an entry; true when one is queued.
    bool Wait(int AMilliseconds);
    void Clear();

private:
    std::mutex FLock;
    std::condition_variable FSignal; // FLock
    TPlayEvent FEvents[Capacity];    // FLock
    int FHeader = 0;                 // FLock: next to take
    int FTailer = 0;                 // FLock: next free; equal to FHeader when empty
};

} // namespace vx
