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

// The loaders that hold a file, each under its full path. The same lock makes SDL loads run one
// at a time and keeps a holder from unloading while its file is being read.
std::mutex& SDLPathLock() {
    static std::mutex lock;
    return lock;
}
std::vector<const TSDLLoader*>& SDLHolders() { // SDLPathLock
    static std::vector<const TSDLLoader*> holders;
    return holders;
}

auto FindHolder(const std::string& APath) {
    return std::find_if(SDLHolders().begin(), SDLHolders().end(), [&](const TSDLLoader* AHolder) {
        return strcasecmp(AHolder->LibFile().c_str(), APath.c_str()) == 0;
    });
}

std::string FullPath(const std::string& APath, const std::string& AFile) {
    if (APath.empty() || APath.back() == '/')
        return APath + AFile;
    return APath + '/' + AFile;
}

} // namespace

TSDLLoader::~TSDLLoader() {
    Unload();
}

bool TSDLLoader::Load(const std::string& APath, const std::string& AFile) {
    const std::string fullPath = FullPath(APath, AFile);
    const std::string folder = fullPath.substr(0, fullPath.size() - AFile.size());
    if (Loaded() && FLibFile == fullPath)
        return true;

    std::lock_guard lock(SDLPathLock());
    if (FindHolder(fullPath) != SDLHolders().end()) {
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
        SDLHolders().push_back(this);
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
        SDLHolders().erase(std::remove(SDLHolders().begin(), SDLHolders().end(), this), SDLHolders().end());
        FLibFile.clear();
    }
}

bool ReadSDLVersion(const std::string& APath, const std::string& AFile, SDL_version& AVersion,
                    std::string& AError) {
    {
        std::lock_guard lock(SDLPathLock());
        const auto holder = FindHolder(FullPath(APath, AFile));
        if (holder != SDLHolders().end()) {
            (*holder)->SDL_GetVersion(&AVersion);
            return true;
        }
    }
    TSDLLoader own;
    if (!own.Load(APath, AFile)) {
        AError = own.LastErrMsg();
        return false;
    }
    own.SDL_GetVersion(&AVersion);
    return true;
}

} // namespace vx
