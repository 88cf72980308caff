#include "encode/filters/FrameHooks.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "base/FFLog.h"

namespace vx {

namespace {

// The hook library at APath, loaded on first use and never unloaded (a hook may have
// left threads or callbacks behind); null with the loader's reason in AError.
void* HookModule(const std::string& APath, std::string& AError) {
    static std::mutex lock;
    static std::map<std::string, void*> modules;
    std::lock_guard guard(lock);
    const auto it = modules.find(APath);
    if (it != modules.end())
        return it->second;
    void* module = dlopen(APath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* reason = dlerror();
        AError = reason ? reason : "cannot load " + APath;
        return nullptr;
    }
    modules.emplace(APath, module);
    return module;
}

template <class TEntryPoint> TEntryPoint EntryPoint(void* AModule, const char* AName) {
    return reinterpret_cast<TEntryPoint>(dlsym(AModule, AName));
}

} // namespace

int TFrameHookList::Add(void* ASender, const std::vector<std::string>& AArgs) {
    if (AArgs.empty())
        return -2;
    const std::string& path = AArgs[0];
    std::string error;
    void* module = HookModule(path, error);
    if (!module) {
        GetLogger().Log(ASender, llError, error);
        return -1;
    }
    TEntry entry;
    entry.Configure = EntryPoint<TFrameHookConfigure>(module, "Configure");
    entry.Process = EntryPoint<TFrameHookProcess>(module, "Process");
    entry.Release = EntryPoint<TFrameHookRelease>(module, "Release");
    if (!entry.Process) {
        GetLogger().LogF(ASender, llError, "Failed to find Process entrypoint in %s", path.c_str());
        return -2;
    }
    if (!entry.Configure && AArgs.size() > 1) {
        GetLogger().LogF(ASender, llError, "Failed to find Configure entrypoint in %s", path.c_str());
        return -2;
    }
    if (entry.Configure) {
        std::vector<std::string> args = AArgs; // the hook may keep or change its arguments' text
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (entry.Configure(&entry.Ctx, static_cast<int>(AArgs.size()), argv.data()) != 0) {
            GetLogger().LogF(ASender, llError, "Failed to Configure %s", path.c_str());
            return -22;
        }
    }
    FHooks.push_back(entry);
    return 0;
}

void TFrameHookList::Process(AVFrame* APicture, int64_t APTS) const {
    TFrameHookPicture picture;
    for (int i = 0; i < 4; ++i) {
        picture.data[i] = APicture->data[i];
        picture.linesize[i] = APicture->linesize[i];
    }
    for (const TEntry& entry : FHooks)
        entry.Process(entry.Ctx, &picture, APicture->format, APicture->width, APicture->height, APTS);
}

void TFrameHookList::Release() {
    for (const TEntry& entry : FHooks)
        if (entry.Release)
            entry.Release(entry.Ctx);
    FHooks.clear();
}

} // namespace vx
