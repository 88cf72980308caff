// The frame hooks of one job ("vhook" option): libraries (FrameHookApi.h) that get every
// decoded picture. A library is loaded once per process and stays loaded until the
// process ends; each use of it is configured on its own and has its own context.
#pragma once

#include <string>
#include <vector>

#include "base/FFApi.h"
#include "encode/filters/FrameHookApi.h"

namespace vx {

class TFrameHookList {
public:
    TFrameHookList() = default;
    TFrameHookList(const TFrameHookList&) = delete;
    TFrameHookList& operator=(const TFrameHookList&) = delete;
    ~TFrameHookList() { Release(); }

    // Loads AArgs[0] (when not loaded yet), configures it with AArgs and appends it.
    // Returns 0; -2 without arguments or entry points; -1 when the library cannot be
    // loaded; -22 when it refuses its configuration. Reasons are logged for ASender.
    int Add(void* ASender, const std::vector<std::string>& AArgs);
    // Every hook in the order added, on APicture (which the caller made writable).
    void Process(AVFrame* APicture, int64_t APTS) const;
    // Releases every hook; the list becomes empty.
    void Release();
    bool Empty() const { return FHooks.empty(); }

private:
    struct TEntry {
        TFrameHookConfigure Configure = nullptr;
        TFrameHookProcess Process = nullptr;
        TFrameHookRelease Release = nullptr;
        void* Ctx = nullptr;
    };
    std::vector<TEntry> FHooks;
};

} // namespace vx
