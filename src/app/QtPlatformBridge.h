// The engine's main-thread bridge on Qt: blocking queued calls into the GUI thread and
// Qt's own event processing. The widgets install their preview windows here; without them
// (the command line) previews go nowhere.
#pragma once

#include "base/PlatformBridge.h"

namespace vx {

class TQtPlatformBridge final : public IPlatformBridge {
public:
    // Installs itself as the engine's bridge; removes itself on destruction.
    // Create it on the main thread after the QCoreApplication.
    TQtPlatformBridge();
    ~TQtPlatformBridge() override;

    bool IsMainThread() const override;
    void CallInMainThread(const std::function<void()>& fn) override;
    void ProcessPendingMessages() override;
    std::unique_ptr<IPreviewWindow> CreatePreviewWindow() override;

    using TPreviewWindowFactory = std::function<std::unique_ptr<IPreviewWindow>()>;
    void SetPreviewWindowFactory(TPreviewWindowFactory AFactory) { FPreviewWindows = std::move(AFactory); }

private:
    TPreviewWindowFactory FPreviewWindows;
};

} // namespace vx
