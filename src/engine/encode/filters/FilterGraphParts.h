// The ends of a library filter graph, shared by the filter chains and the deinterlacer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/FFApi.h"

namespace vx {

struct TFilterGraphFree {
    void operator()(AVFilterGraph* AGraph) const { ff::avfilter_graph_free(&AGraph); }
};
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, TFilterGraphFree>;

// A filter of AGraph made from its name and argument text.
int CreateFilter(AVFilterContext** AContext, AVFilterGraph* AGraph, const char* AFilter, const char* AName,
                 const char* AArgs);
// A "buffersink" named "out" that only gives pictures in AFormats (any when empty).
int CreateSink(AVFilterContext** AContext, AVFilterGraph* AGraph, const std::vector<int>& AFormats);
// The argument text of a "buffer" for pictures of this geometry.
std::string BufferArgs(int AWidth, int AHeight, int APixFmt, AVRational ATimeBase, AVRational ASar);

} // namespace vx
