// A frame-hook library for the tests: turns the luma of every picture into its negative.
// Its counters tell how often it was loaded, configured and released; Configure refuses
// the argument "fail".
#include <cstring>

#include "encode/filters/FrameHookApi.h"

namespace {

int Loads = 0, Configures = 0, Releases = 0;

struct TContext {
    int Pictures = 0;
};

__attribute__((constructor)) void Loaded() {
    ++Loads;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int HookLoads() {
    return Loads;
}
__attribute__((visibility("default"))) int HookConfigures() {
    return Configures;
}
__attribute__((visibility("default"))) int HookReleases() {
    return Releases;
}

__attribute__((visibility("default"))) int Configure(void** ctx, int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "fail") == 0)
        return 1;
    ++Configures;
    *ctx = new TContext;
    return 0;
}

__attribute__((visibility("default"))) void Process(void* ctx, TFrameHookPicture* picture, int, int width,
                                                    int height, int64_t) {
    ++static_cast<TContext*>(ctx)->Pictures;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture->data[0] + y * picture->linesize[0];
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<uint8_t>(255 - row[x]);
    }
}

__attribute__((visibility("default"))) void Release(void* ctx) {
    ++Releases;
    delete static_cast<TContext*>(ctx);
}
}
