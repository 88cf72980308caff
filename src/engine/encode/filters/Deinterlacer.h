// Deinterlacing one picture at a time with the library's "yadif", each picture handed back at
// once, as the transcoder's and the decoder's pictures need it.
#pragma once

#include <cstdint>

#include "encode/filters/FilterGraphParts.h"

namespace vx {

class TDeinterlacer {
public:
    // Replaces APicture by its deinterlaced copy. 0, or a negative code with the picture
    // untouched (AVERROR(ENOMEM) when no picture could be allocated).
    int Run(AVFrame* APicture);
    // Forgets the pictures seen so far: after a seek they are no neighbours of the next one.
    void Reset() { FGraph.reset(); }

private:
    int Build(const AVFrame* APicture);

    // Made for the picture geometry it last saw.
    TFilterGraphPtr FGraph;
    AVFilterContext* FSource = nullptr; // owned by FGraph
    AVFilterContext* FSink = nullptr;   // owned by FGraph
    int FWidth = 0;
    int FHeight = 0;
    int FPixFmt = -1;
    int64_t FPts = 0; // timestamps of the pictures fed to the graph
};

} // namespace vx
