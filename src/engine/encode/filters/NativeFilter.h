// The engine's own video filters. The filter library of this generation takes no filters
// from outside, so these run as stages of their own between runs of library filters
// (VideoFilterChain.h): each gets whole pictures and gives whole pictures back.
//
// Filters are found by name in a process-wide registry; a name is registered once, the
// first registration stays. "rotate" is always there; the equalizers are registered by
// the front ends before they build tasks (RegisterEqualizerFilters, EqualizerFilters.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/FFApi.h"
#include "base/FormatIO.h"

namespace vx {

// What the pictures between two stages look like.
struct TVideoGeometry {
    int Width = 0, Height = 0;
    int PixFmt = -1;
    AVRational Sar{0, 1};
    AVRational TimeBase{1, 1000000};
};

class TNativeFilter {
public:
    virtual ~TNativeFilter() = default;
    // The pixel formats the filter works on; the library converts to the first of them
    // when the pictures come in another.
    virtual const std::vector<AVPixelFormat>& PixelFormats() const = 0;
    // The geometry of the pictures given back for pictures of AInput (in one of
    // PixelFormats()); called before the first picture and whenever the input changes.
    virtual TVideoGeometry Configure(const TVideoGeometry& AInput) = 0;
    // Filters one picture: changes it in place or replaces it. Returns 0 or a negative
    // library code.
    virtual int Filter(TFramePtr& APicture) = 0;
};

// Makes a filter from its argument text; null when the text is not valid (the reason
// logged for ASender).
using TNativeFilterFactory =
    std::function<std::unique_ptr<TNativeFilter>(void* ASender, const std::string& AArgs)>;

// Adds AFactory under AName unless a filter of that name is registered already.
void RegisterNativeFilterOnce(const std::string& AName, TNativeFilterFactory AFactory);
// The factory of the filter named AName, or an empty one.
TNativeFilterFactory FindNativeFilter(const std::string& AName);

} // namespace vx
