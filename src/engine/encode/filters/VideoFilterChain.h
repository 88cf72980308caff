// A video filter text run as a chain of stages: runs of library filters, each its own
// graph from a "buffer" to a "buffersink", and the engine's own filters (NativeFilter.h)
// between them. Inside a text, a filter name the engine knows is the engine's filter,
// even where the library has one of the same name. A text with labels or several
// chains (";") is one library run.
//
// A stage that gets pictures of another size or format than it was made for is made
// again for them (a library run is drained first), so a size change anywhere in the
// chain carries on downstream.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "encode/filters/NativeFilter.h"

namespace vx {

class TVideoFilterChain {
public:
    TVideoFilterChain();
    ~TVideoFilterChain();
    TVideoFilterChain(const TVideoFilterChain&) = delete;
    TVideoFilterChain& operator=(const TVideoFilterChain&) = delete;

    // Makes the chain for pictures of AInput: APrefix (library filters, may be empty)
    // then AText, ending in pictures of AOutPixFmt (any format when negative).
    // ASwsFlags go to the scalers the library inserts. Returns 0, or a negative code
    // with AError saying what failed. ASender is whom the filters log for.
    int Build(void* ASender, const TVideoGeometry& AInput, const std::string& APrefix,
              const std::string& AText, int AOutPixFmt, unsigned ASwsFlags, std::string& AError);

    // What comes out of the last stage (after a stage was made again, for the pictures
    // that follow).
    const TVideoGeometry& Output() const;

    // Sends a picture (its timestamp in AInput's time base) through every stage; null
    // ends the stream. 0 or a negative code, with AError.
    int Send(const AVFrame* APicture, std::string& AError);
    // The next picture out of the chain: 0, AVERROR(EAGAIN) when there is none.
    int Receive(TFramePtr& APicture);

private:
    struct TStage;
    int Run(size_t AIndex, TFramePtr APicture, std::vector<TFramePtr>& AOut, std::string& AError);
    // Pictures out of the library run AIndex, each sent on to the stages after it.
    int Drain(size_t AIndex, std::vector<TFramePtr>& AOut, std::string& AError);
    int Flush(size_t AIndex, std::vector<TFramePtr>& AOut, std::string& AError);
    int BuildRun(TStage& AStage, const TVideoGeometry& AInput, std::string& AError);

    void* FSender = nullptr;
    unsigned FSwsFlags = 0;
    std::vector<TStage> FStages;
    std::deque<TFramePtr> FReady;
};

} // namespace vx
