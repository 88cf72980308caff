#include "encode/filters/Deinterlacer.h"

#include "base/FFApi.h"
#include "base/FormatIO.h"

namespace vx {

// A graph that deinterlaces every picture it is given marked as interlaced and passes the
// others through untouched.
int TDeinterlacer::Build(const AVFrame* APicture) {
    FGraph.reset();
    FSource = FSink = nullptr;
    TFilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph)
        return AVERROR(ENOMEM);
    AVFilterContext* src = nullptr;
    AVFilterContext* yadif = nullptr;
    AVFilterContext* sink = nullptr;
    int ret = CreateFilter(&src, graph.get(), "buffer", "src",
                           BufferArgs(APicture->width, APicture->height, APicture->format, AVRational{1, 1},
                                      APicture->sample_aspect_ratio)
                               .c_str());
    if (ret >= 0)
        ret = CreateFilter(&yadif, graph.get(), "yadif", "deinterlace",
                           "mode=send_frame:parity=auto:deint=interlaced");
    if (ret >= 0)
        ret = CreateSink(&sink, graph.get(), {APicture->format});
    if (ret >= 0)
        ret = ff::avfilter_link(src, 0, yadif, 0);
    if (ret >= 0)
        ret = ff::avfilter_link(yadif, 0, sink, 0);
    if (ret >= 0)
        ret = ff::avfilter_graph_config(graph.get(), nullptr);
    if (ret < 0)
        return ret;
    FGraph = std::move(graph);
    FSource = src;
    FSink = sink;
    FWidth = APicture->width;
    FHeight = APicture->height;
    FPixFmt = APicture->format;
    return 0;
}

// yadif looks one picture ahead, so on its own it would hand back each picture only once the
// next one has arrived. Each picture is therefore given twice: first marked interlaced, then
// marked progressive. The second copy stands in for the next picture, so the first comes out
// at once, deinterlaced against the previous picture and itself; the second only passes
// through (a reference, no work) and is discarded when the next picture arrives.
int TDeinterlacer::Run(AVFrame* APicture) {
    if (!FGraph || FWidth != APicture->width || FHeight != APicture->height || FPixFmt != APicture->format) {
        if (const int ret = Build(APicture); ret < 0)
            return ret;
    }
    TFramePtr first(ff::av_frame_clone(APicture));
    TFramePtr second(ff::av_frame_clone(APicture));
    TFramePtr out(ff::av_frame_alloc());
    TFramePtr scratch(ff::av_frame_alloc());
    if (!first || !second || !out || !scratch)
        return AVERROR(ENOMEM);
    first->interlaced_frame = 1;
    first->repeat_pict = 0;
    first->pts = FPts++;
    second->interlaced_frame = 0;
    second->repeat_pict = 0;
    second->pts = FPts++;

    int ret = ff::av_buffersrc_add_frame_flags(FSource, first.get(), 0);
    while (ret >= 0 && ff::av_buffersink_get_frame(FSink, scratch.get()) >= 0)
        ff::av_frame_unref(scratch.get());
    if (ret >= 0)
        ret = ff::av_buffersrc_add_frame_flags(FSource, second.get(), 0);
    bool got = false;
    while (ret >= 0 && ff::av_buffersink_get_frame(FSink, scratch.get()) >= 0) {
        ff::av_frame_unref(out.get());
        ff::av_frame_move_ref(out.get(), scratch.get());
        got = true;
    }
    if (ret >= 0 && !got)
        ret = AVERROR_BUG;
    if (ret >= 0)
        ret = ff::av_frame_copy_props(out.get(), APicture);
    if (ret < 0) {
        FGraph.reset(); // its history is no longer to be trusted
        return ret;
    }
    out->interlaced_frame = 0;
    ff::av_frame_unref(APicture);
    ff::av_frame_move_ref(APicture, out.get());
    return 0;
}

} // namespace vx
