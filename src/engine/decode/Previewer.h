// Shows the pictures of a running conversion in a preview window that the platform
// bridge makes (a floating window on the desktop, nothing elsewhere). Called from the
// conversion's worker; every window operation runs on the main thread, while the
// worker waits.
#pragma once

#include <cstdint>
#include <memory>

#include "base/PlatformBridge.h"

namespace vx {

class TPreviewer {
public:
    TPreviewer() = default;
    // Destroys the window on the main thread.
    ~TPreviewer();
    TPreviewer(const TPreviewer&) = delete;
    TPreviewer& operator=(const TPreviewer&) = delete;

    // Shows ABitmap with its time as the window's caption; the first call opens the
    // window, sized to the bitmap. False, painting nothing, once the user closed it.
    bool PaintFrame(const TBitmap* ABitmap, int32_t AFrameNumber, int64_t APTS);

private:
    // Main thread.
    void Paint();

    std::unique_ptr<IPreviewWindow> FForm;
    bool FClosed = false; // written on the main thread while the worker waits for it
    // Written by the worker just before the main thread reads them.
    const TBitmap* FBitmap = nullptr;
    int64_t FPTS = 0;
};

} // namespace vx
