#include "encode/filters/FilterGraphParts.h"

#include <cstdio>

namespace vx {

int CreateFilter(AVFilterContext** AContext, AVFilterGraph* AGraph, const char* AFilter, const char* AName,
                 const char* AArgs) {
    const AVFilter* filter = ff::avfilter_get_by_name(AFilter);
    if (!filter)
        return AVERROR_FILTER_NOT_FOUND;
    return ff::avfilter_graph_create_filter(AContext, filter, AName, AArgs, nullptr, AGraph);
}

int CreateSink(AVFilterContext** AContext, AVFilterGraph* AGraph, const std::vector<int>& AFormats) {
    const AVFilter* filter = ff::avfilter_get_by_name("buffersink");
    if (!filter)
        return AVERROR_FILTER_NOT_FOUND;
    *AContext = ff::avfilter_graph_alloc_filter(AGraph, filter, "out");
    if (!*AContext)
        return AVERROR(ENOMEM);
    if (!AFormats.empty()) {
        const int ret =
            ff::av_opt_set_bin(*AContext, "pix_fmts", reinterpret_cast<const uint8_t*>(AFormats.data()),
                               static_cast<int>(AFormats.size() * sizeof(int)), AV_OPT_SEARCH_CHILDREN);
        if (ret < 0)
            return ret;
    }
    return ff::avfilter_init_str(*AContext, nullptr);
}

std::string BufferArgs(int AWidth, int AHeight, int APixFmt, AVRational ATimeBase, AVRational ASar) {
    char args[192];
    std::snprintf(args, sizeof(args), "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                  AWidth, AHeight, APixFmt, ATimeBase.num, ATimeBase.den, ASar.den > 0 ? ASar.num : 0,
                  ASar.den > 0 ? ASar.den : 1);
    return args;
}

} // namespace vx
