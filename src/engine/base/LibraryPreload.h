// Opening the media libraries ahead of binding them. Opening one (mapping, relocating and
// initialising it with the many libraries it pulls in) is most of a load's time, and a thread of
// its own can do it while the main thread does other work, such as building a window.
// TFFLoader::Load then finds the libraries open and only binds them, on its own thread as before
// and with the same outcome: a library the preload cannot open is left for Load to report.
#pragma once

#include <string>
#include <thread>
#include <vector>

#include "base/FFLoad.h"

namespace vx {

class TLibraryPreload {
public:
    TLibraryPreload() = default;
    // Waits for the thread, then lets go of its handles (libraries are never unmapped).
    ~TLibraryPreload();
    TLibraryPreload(const TLibraryPreload&) = delete;
    TLibraryPreload& operator=(const TLibraryPreload&) = delete;

    // Starts opening ALibs as TFFLoader::Load with the library path APath would. Called
    // at most once.
    void Start(TLibraries ALibs, std::string APath);
    // Returns once every library has been opened or has failed to open (at once when none was
    // started).
    void Wait();

private:
    std::vector<void*> FHandles;
    std::thread FThread;
};

} // namespace vx
