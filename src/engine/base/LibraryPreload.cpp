#include "base/LibraryPreload.h"

#include <dlfcn.h>

#include <system_error>

namespace vx {

void TLibraryPreload::Start(TLibraries ALibs, std::string APath) {
    try {
        FThread = std::thread([this, ALibs, path = std::move(APath)] {
            for (int lib = 0; lib < LibraryCount; ++lib) {
                if (!ALibs.Contains(TLibrary(lib)))
                    continue;
                std::string error;
                if (void* handle = OpenLibrary(TLibrary(lib), path, error))
                    FHandles.push_back(handle);
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: Load opens the libraries itself.
    }
}

TLibraryPreload::~TLibraryPreload() {
    Wait();
    for (void* handle : FHandles)
        dlclose(handle);
}

void TLibraryPreload::Wait() {
    if (FThread.joinable())
        FThread.join();
}

} // namespace vx
