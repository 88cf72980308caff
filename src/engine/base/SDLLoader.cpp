#include "SDLLoader.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <strings.h>
#include <vector>

#include <dlfcn.h>

#include "FFLoad.h"

namespace vx {
namespace {

// The full paths held by any player. The same lock makes SDL loads run one at a time.
std::mutex& SDLPathLock() {
    static std::mutex lock;
    return lock;
}
std::vector<std::string>& SDLPaths() { // SDLPathLock
    static std::vector<std::string> paths;
    return paths;
}

auto FindPath(const std::string& APath) {
    return std::find_if(SDLPaths().begin(), SDLPaths().end(),
                        [&](const std::string& p) { return strcasecmp(p.c_str(), APath.c_str()) == 0; });
}

} // namespace

TSDLLoader::~TSDLLoader() {
    Unload();
}

bool TSDLLoader::Load(const std::string& APath, const std::string& AFile) {
    std::string folder = APath;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    const std::string fullPath = folder + AFile;
    if (Loaded() && FLibFile == fullPath)
        return true;

    std::lock_guard lock(SDLPathLock());
    if (FindPath(fullPath) != SDLPaths().end()) {
        FLastErrMsg = fullPath + " alreay loaded in another instance.";
        return false;
    }
    UnloadLocked();
    std::string error;
    FHandle = LoadLibraryFromPath(folder, AFile, error);
    if (!FHandle) {
        FLastErrMsg = "Load library " + fullPath + " error: " + error;
        return false;
    }
    try {
#define VX_SDL_BIND(name)                                                                                    \
    name = reinterpret_cast<decltype(name)>(ResolveFunction(AFile, FHandle, #name, false));
        VX_SDL_ENTRY_POINTS(VX_SDL_BIND)
#undef VX_SDL_BIND
        FFixuped = true;
        FLibFile = fullPath;
        SDLPaths().push_back(fullPath);
    } catch (const std::exception& e) {
        FLastErrMsg = e.what();
        FFixuped = false;
        UnloadLocked();
    }
    return FFixuped;
}

void TSDLLoader::Unload() {
    std::lock_guard lock(SDLPathLock());
    UnloadLocked();
}

void TSDLLoader::UnloadLocked() {
#define VX_SDL_CLEAR(name) name = nullptr;
    VX_SDL_ENTRY_POINTS(VX_SDL_CLEAR)
#undef VX_SDL_CLEAR
    FFixuped = false;
    if (FHandle) {
        dlclose(FHandle);
        FHandle = nullptr;
    }
    if (!FLibFile.empty()) {
        auto it = FindPath(FLibFile);
        if (it != SDLPaths().end())
            SDLPaths().erase(it);
        FLibFile.clear();
    }
}

} // namespace vx
