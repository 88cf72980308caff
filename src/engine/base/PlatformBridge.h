// The engine's only way to reach the main thread. The front end may install its own
// bridge (the Qt one); without it a simple queue serves, drained by whichever code runs
// on the main thread and calls ProcessPendingMessages().
#pragma once

#include <cstdint>
#include <functional>

namespace vx {

class IPlatformBridge {
public:
    virtual ~IPlatformBridge() = default;
    virtual bool IsMainThread() const = 0;
    // Runs fn on the main thread and returns when it has run. From the main thread it
    // runs fn directly. An exception thrown by fn reaches the caller.
    virtual void CallInMainThread(const std::function<void()>& fn) = 0;
    // Runs whatever other threads queued for the main thread.
    virtual void ProcessPendingMessages() = 0;
};

IPlatformBridge& PlatformBridge();
// nullptr restores the engine's default bridge. The caller keeps ownership.
void SetPlatformBridge(IPlatformBridge* ABridge);

// The platform's id of the calling thread (what a debugger or top shows).
uint32_t CurrentThreadID();

// Blocks the main thread until ADone() holds or ATimeoutMs passed (negative: no limit),
// keeping main-thread calls flowing so that a worker blocked in a delivery can finish.
// Returns ADone() at the end.
bool WaitProcessingMessages(const std::function<bool()>& ADone, int ATimeoutMs = -1);

} // namespace vx
