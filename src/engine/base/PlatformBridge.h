// The engine's only way to reach the main thread. The front end may install its own
// bridge (the Qt one); without it a simple queue serves, drained by whichever code runs
// on the main thread and calls ProcessPendingMessages().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vx {

class TBitmap;

// A small floating window that shows the pictures of a running conversion. Used on the
// main thread only.
class IPreviewWindow {
public:
    virtual ~IPreviewWindow() = default;
    // Shows ABitmap under ACaption. The first picture shown sets the window's size for good.
    virtual void Paint(const TBitmap& ABitmap, const std::string& ACaption) = 0;
    // The user closed the window.
    virtual bool Closed() const = 0;
};

class IPlatformBridge {
public:
    virtual ~IPlatformBridge() = default;
    virtual bool IsMainThread() const = 0;
    // Runs fn on the main thread and returns when it has run. From the main thread it
    // runs fn directly. An exception thrown by fn reaches the caller.
    virtual void CallInMainThread(const std::function<void()>& fn) = 0;
    // Runs whatever other threads queued for the main thread.
    virtual void ProcessPendingMessages() = 0;
    // A new preview window, called on the main thread. Without a desktop (the default) a
    // window that shows nothing and is never closed.
    virtual std::unique_ptr<IPreviewWindow> CreatePreviewWindow();
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
