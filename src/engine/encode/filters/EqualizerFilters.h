// "nativeeq" (brightness and contrast of the luma) and "nativehue" (hue and saturation
// of the chroma). Their argument text is "first:second[:live first:live second]", each
// value -100..100 (out of range values are clamped, with an error line). The optional
// third and fourth fields are keys of live values (MakeLiveFilterValue): the filter then
// reads that value, which any thread may change, once for every picture.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace vx {

using TLiveFilterValue = std::shared_ptr<std::atomic<int32_t>>;

// A live value starting at AInitial, and its key (never 0) for the filter text. The
// filters that use it keep it alive; the key is forgotten when the last owner lets go.
TLiveFilterValue MakeLiveFilterValue(int32_t AInitial, int64_t& AKey);

// Makes "nativeeq" and "nativehue" known to the filter texts; harmless when repeated.
void RegisterEqualizerFilters();

} // namespace vx
