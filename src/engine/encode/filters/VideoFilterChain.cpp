#include "encode/filters/VideoFilterChain.h"

#include <cstdio>

#include "decode/FFUtils.h"
#include "encode/FFmpegStreams.h"
#include "encode/filters/FilterGraphParts.h"

namespace vx {

struct TVideoFilterChain::TStage {
    // A native filter, or else a library run of Text.
    std::unique_ptr<TNativeFilter> Native;
    std::string Text;
    std::vector<AVPixelFormat> SinkFormats; // empty: any
    TFilterGraphPtr Graph;
    AVFilterContext* Src = nullptr;  // owned by Graph
    AVFilterContext* Sink = nullptr; // owned by Graph
    TVideoGeometry In, Out;
};

namespace {

std::string Trim(const std::string& AText) {
    const size_t first = AText.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return AText.substr(first, AText.find_last_not_of(" \t\r\n") - first + 1);
}

bool SameShape(const TVideoGeometry& AGeometry, const AVFrame* APicture) {
    return AGeometry.Width == APicture->width && AGeometry.Height == APicture->height &&
           AGeometry.PixFmt == APicture->format;
}

TVideoGeometry ShapeOf(const AVFrame* APicture, const TVideoGeometry& ABefore) {
    TVideoGeometry shape = ABefore;
    shape.Width = APicture->width;
    shape.Height = APicture->height;
    shape.PixFmt = APicture->format;
    if (APicture->sample_aspect_ratio.num != 0)
        shape.Sar = APicture->sample_aspect_ratio;
    return shape;
}

// The pieces of a filter text at its top-level commas (not inside quotes or after a backslash).
std::vector<std::string> SplitFilterText(const std::string& AText) {
    std::vector<std::string> pieces;
    std::string piece;
    bool quoted = false;
    for (size_t i = 0; i < AText.size(); ++i) {
        const char c = AText[i];
        if (c == '\\' && i + 1 < AText.size()) {
            piece += c;
            piece += AText[++i];
            continue;
        }
        if (c == '\'')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            pieces.push_back(Trim(piece));
            piece.clear();
        } else {
            piece += c;
        }
    }
    pieces.push_back(Trim(piece));
    return pieces;
}

} // namespace

TVideoFilterChain::TVideoFilterChain() = default;
TVideoFilterChain::~TVideoFilterChain() = default;

int TVideoFilterChain::Build(void* ASender, const TVideoGeometry& AInput, const std::string& APrefix,
                             const std::string& AText, int AOutPixFmt, unsigned ASwsFlags,
                             std::string& AError) {
    FSender = ASender;
    FSwsFlags = ASwsFlags;
    FStages.clear();
    FReady.clear();
    FStages.emplace_back();
    FStages.back().Text = APrefix;
    const bool simple = AText.find_first_of("[;") == std::string::npos;
    for (const std::string& piece : simple ? SplitFilterText(AText) : std::vector<std::string>{AText}) {
        const size_t equals = piece.find('=');
        const std::string name = Trim(piece.substr(0, equals));
        const TNativeFilterFactory factory = simple ? FindNativeFilter(name) : TNativeFilterFactory();
        if (!factory) {
            std::string& text = FStages.back().Text;
            if (!piece.empty())
                text += (text.empty() ? "" : ",") + piece;
            continue;
        }
        const std::string args = equals == std::string::npos ? std::string() : piece.substr(equals + 1);
        TStage stage;
        stage.Native = factory(ASender, args);
        if (!stage.Native) {
            AError = "Cannot set up the filter \"" + piece + "\"";
            FStages.clear();
            return -1;
        }
        FStages.back().SinkFormats = stage.Native->PixelFormats();
        FStages.push_back(std::move(stage));
        FStages.emplace_back(); // the library run after it
    }
    if (AOutPixFmt >= 0)
        FStages.back().SinkFormats = {static_cast<AVPixelFormat>(AOutPixFmt)};

    TVideoGeometry geometry = AInput;
    for (TStage& stage : FStages) {
        if (stage.Native) {
            stage.In = geometry;
            stage.Out = stage.Native->Configure(geometry);
        } else if (const int ret = BuildRun(stage, geometry, AError); ret < 0) {
            FStages.clear();
            return ret;
        }
        geometry = stage.Out;
    }
    return 0;
}

const TVideoGeometry& TVideoFilterChain::Output() const {
    return FStages.back().Out;
}

int TVideoFilterChain::BuildRun(TStage& AStage, const TVideoGeometry& AInput, std::string& AError) {
    AStage.Graph.reset();
    AStage.Src = AStage.Sink = nullptr;
    TFilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph)
        return AVERROR(ENOMEM);
    char swsOpts[32];
    std::snprintf(swsOpts, sizeof(swsOpts), "flags=0x%X", FSwsFlags);
    graph->scale_sws_opts = ff::av_strdup(swsOpts);

    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    int ret = CreateFilter(
        &src, graph.get(), "buffer", "src",
        BufferArgs(AInput.Width, AInput.Height, AInput.PixFmt, AInput.TimeBase, AInput.Sar).c_str());
    if (ret < 0) {
        AError = "Cannot create the video source: " + ErrorMessage(ret);
        return ret;
    }
    ret = CreateSink(&sink, graph.get(),
                     std::vector<int>(AStage.SinkFormats.begin(), AStage.SinkFormats.end()));
    if (ret < 0) {
        AError = "Cannot create the video sink: " + ErrorMessage(ret);
        return ret;
    }
    if (!AStage.Text.empty()) {
        AVFilterInOut* outputs = ff::avfilter_inout_alloc();
        AVFilterInOut* inputs = ff::avfilter_inout_alloc();
        if (outputs && inputs) {
            outputs->name = ff::av_strdup("in");
            outputs->filter_ctx = src;
            inputs->name = ff::av_strdup("out");
            inputs->filter_ctx = sink;
            ret = ff::avfilter_graph_parse_ptr(graph.get(), AStage.Text.c_str(), &inputs, &outputs, nullptr);
        } else {
            ret = AVERROR(ENOMEM);
        }
        ff::avfilter_inout_free(&inputs);
        ff::avfilter_inout_free(&outputs);
        if (ret < 0) {
            AError = "Invalid filter text \"" + AStage.Text + "\": " + ErrorMessage(ret);
            return ret;
        }
    } else if ((ret = ff::avfilter_link(src, 0, sink, 0)) < 0) {
        AError = ErrorMessage(ret);
        return ret;
    }
    ret = ff::avfilter_graph_config(graph.get(), nullptr);
    if (ret < 0) {
        AError = ErrorMessage(ret);
        return ret;
    }
    AStage.Graph = std::move(graph);
    AStage.Src = src;
    AStage.Sink = sink;
    AStage.In = AInput;
    AStage.Out.Width = ff::av_buffersink_get_w(sink);
    AStage.Out.Height = ff::av_buffersink_get_h(sink);
    AStage.Out.PixFmt = ff::av_buffersink_get_format(sink);
    AStage.Out.Sar = ff::av_buffersink_get_sample_aspect_ratio(sink);
    AStage.Out.TimeBase = ff::av_buffersink_get_time_base(sink);
    return 0;
}

int TVideoFilterChain::Send(const AVFrame* APicture, std::string& AError) {
    if (FStages.empty())
        return AVERROR(EINVAL);
    std::vector<TFramePtr> out;
    int ret = 0;
    if (APicture) {
        TFramePtr picture(ff::av_frame_clone(APicture));
        if (!picture)
            return AVERROR(ENOMEM);
        ret = Run(0, std::move(picture), out, AError);
    } else {
        ret = Flush(0, out, AError);
    }
    for (TFramePtr& picture : out)
        FReady.push_back(std::move(picture));
    return ret;
}

int TVideoFilterChain::Receive(TFramePtr& APicture) {
    if (FReady.empty())
        return AVERROR(EAGAIN);
    APicture = std::move(FReady.front());
    FReady.pop_front();
    return 0;
}

int TVideoFilterChain::Run(size_t AIndex, TFramePtr APicture, std::vector<TFramePtr>& AOut,
                           std::string& AError) {
    if (AIndex == FStages.size()) {
        AOut.push_back(std::move(APicture));
        return 0;
    }
    TStage& stage = FStages[AIndex];
    if (stage.Native) {
        if (!SameShape(stage.In, APicture.get())) {
            stage.In = ShapeOf(APicture.get(), stage.In);
            stage.Out = stage.Native->Configure(stage.In);
        }
        if (const int ret = stage.Native->Filter(APicture); ret < 0) {
            AError = ErrorMessage(ret);
            return ret;
        }
        return Run(AIndex + 1, std::move(APicture), AOut, AError);
    }
    if (!SameShape(stage.In, APicture.get())) {
        // What the run holds still belongs to the pictures before.
        if (stage.Graph && ff::av_buffersrc_add_frame_flags(stage.Src, nullptr, 0) >= 0) {
            if (const int ret = Drain(AIndex, AOut, AError); ret < 0)
                return ret;
        }
        if (const int ret = BuildRun(stage, ShapeOf(APicture.get(), stage.In), AError); ret < 0)
            return ret;
    }
    if (const int ret = ff::av_buffersrc_add_frame_flags(stage.Src, APicture.get(), 0); ret < 0) {
        AError = ErrorMessage(ret);
        return ret;
    }
    return Drain(AIndex, AOut, AError);
}

int TVideoFilterChain::Drain(size_t AIndex, std::vector<TFramePtr>& AOut, std::string& AError) {
    for (;;) {
        TFramePtr next(ff::av_frame_alloc());
        if (!next)
            return AVERROR(ENOMEM);
        const int got = ff::av_buffersink_get_frame(FStages[AIndex].Sink, next.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return 0;
        if (got < 0) {
            AError = ErrorMessage(got);
            return got;
        }
        if (const int ret = Run(AIndex + 1, std::move(next), AOut, AError); ret < 0)
            return ret;
    }
}

int TVideoFilterChain::Flush(size_t AIndex, std::vector<TFramePtr>& AOut, std::string& AError) {
    if (AIndex == FStages.size())
        return 0;
    TStage& stage = FStages[AIndex];
    if (!stage.Native && stage.Graph && ff::av_buffersrc_add_frame_flags(stage.Src, nullptr, 0) >= 0) {
        if (const int ret = Drain(AIndex, AOut, AError); ret < 0)
            return ret;
    }
    return Flush(AIndex + 1, AOut, AError);
}

} // namespace vx
