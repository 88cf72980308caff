#include "PlatformBridge.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace vx {
namespace {

// Set during static initialisation, which runs on the process's main thread.
const std::thread::id g_mainThread = std::this_thread::get_id();

class TDefaultBridge final : public IPlatformBridge {
public:
    bool IsMainThread() const override { return std::this_thread::get_id() == g_mainThread; }

    void CallInMainThread(const std::function<void()>& fn) override {
        if (IsMainThread()) {
            fn();
            return;
        }
        auto call = std::make_shared<TCall>();
        call->Fn = fn;
        {
            std::lock_guard lock(FLock);
            FQueue.push_back(call);
        }
        FQueued.notify_all();
        std::unique_lock lock(FLock);
        FDoneCond.wait(lock, [&] { return call->Done; });
        if (call->Error)
            std::rethrow_exception(call->Error);
    }

    void ProcessPendingMessages() override {
        for (;;) {
            std::shared_ptr<TCall> call;
            {
                std::lock_guard lock(FLock);
                if (FQueue.empty())
                    return;
                call = FQueue.front();
                FQueue.pop_front();
            }
            try {
                call->Fn();
            } catch (...) {
                call->Error = std::current_exception();
            }
            {
                std::lock_guard lock(FLock);
                call->Done = true;
                // From here on the waiting thread alone holds the call, so an exception in
                // it is released on that thread, after its last use there.
                call.reset();
            }
            FDoneCond.notify_all();
        }
    }

    // Lets a waiting main thread wake up as soon as a call is queued.
    void WaitForQueued(std::chrono::milliseconds ATimeout) {
        std::unique_lock lock(FLock);
        FQueued.wait_for(lock, ATimeout, [&] { return !FQueue.empty(); });
    }

private:
    struct TCall {
        std::function<void()> Fn;
        bool Done = false; // FLock
        std::exception_ptr Error;
    };
    std::mutex FLock;
    std::condition_variable FQueued;
    std::condition_variable FDoneCond;
    std::deque<std::shared_ptr<TCall>> FQueue; // FLock
};

class TNullPreviewWindow final : public IPreviewWindow {
public:
    void Paint(const TBitmap&, const std::string&) override {}
    bool Closed() const override { return false; }
};

TDefaultBridge& DefaultBridge() {
    static TDefaultBridge bridge;
    return bridge;
}

IPlatformBridge* g_bridge = nullptr; // set from the main thread only

} // namespace

std::unique_ptr<IPreviewWindow> IPlatformBridge::CreatePreviewWindow() {
    return std::make_unique<TNullPreviewWindow>();
}

IPlatformBridge& PlatformBridge() {
    return g_bridge ? *g_bridge : DefaultBridge();
}

void SetPlatformBridge(IPlatformBridge* ABridge) {
    g_bridge = ABridge;
}

uint32_t CurrentThreadID() {
    return static_cast<uint32_t>(::gettid());
}

bool WaitProcessingMessages(const std::function<bool()>& ADone, int ATimeoutMs) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(ATimeoutMs < 0 ? 0 : ATimeoutMs);
    constexpr auto slice = std::chrono::milliseconds(5);
    while (!ADone()) {
        if (ATimeoutMs >= 0 && clock::now() >= deadline)
            return ADone();
        PlatformBridge().ProcessPendingMessages();
        if (g_bridge)
            std::this_thread::sleep_for(slice);
        else
            DefaultBridge().WaitForQueued(slice);
    }
    return true;
}

} // namespace vx
