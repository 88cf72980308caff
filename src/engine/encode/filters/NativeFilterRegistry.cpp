#include <map>
#include <mutex>

#include "encode/filters/NativeFilter.h"
#include "encode/filters/RotateFilter.h"

namespace vx {

namespace {

struct TRegistry {
    TRegistry() { Filters.emplace("rotate", MakeRotateFilter); }
    std::mutex Lock;
    std::map<std::string, TNativeFilterFactory> Filters;
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

} // namespace

void RegisterNativeFilterOnce(const std::string& AName, TNativeFilterFactory AFactory) {
    TRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    registry.Filters.emplace(AName, std::move(AFactory));
}

TNativeFilterFactory FindNativeFilter(const std::string& AName) {
    TRegistry& registry = Registry();
    std::lock_guard lock(registry.Lock);
    const auto it = registry.Filters.find(AName);
    return it == registry.Filters.end() ? TNativeFilterFactory() : it->second;
}

} // namespace vx
