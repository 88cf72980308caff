// Opening and closing media files at the library border: every format and I/O context
// gets the engine's interrupt callback, and "unicode:" URLs use the engine's own I/O.
#pragma once

#include <memory>
#include <string>

#include "FFApi.h"

namespace vx {

// Opens AURL (UTF-8) for demuxing. On failure *ACtx stays null and the library's
// negative error code is returned.
int OpenInputFile(AVFormatContext** ACtx, const std::string& AURL, const AVInputFormat* AFormat,
                  AVDictionary** AOptions);
// Closes what OpenInputFile opened, the engine's own I/O included; *ACtx = null.
void CloseInputFile(AVFormatContext** ACtx);

// Opens the byte stream behind an output file.
int OpenOutputIO(AVIOContext** APB, const std::string& AURL, int AFlags, AVDictionary** AOptions);
// Flushes and closes it; a negative result means data did not reach the file.
int CloseOutputIO(AVIOContext** APB);

// Owners of library objects.
struct TInputFileCloser {
    void operator()(AVFormatContext* ACtx) const { CloseInputFile(&ACtx); }
};
struct TFormatContextFree {
    void operator()(AVFormatContext* ACtx) const { ff::avformat_free_context(ACtx); }
};
struct TCodecContextFree {
    void operator()(AVCodecContext* ACtx) const { ff::avcodec_free_context(&ACtx); }
};
struct TFrameFree {
    void operator()(AVFrame* AFrame) const { ff::av_frame_free(&AFrame); }
};
struct TPacketFree {
    void operator()(AVPacket* APacket) const { ff::av_packet_free(&APacket); }
};
using TInputFilePtr = std::unique_ptr<AVFormatContext, TInputFileCloser>;
using TFormatContextPtr = std::unique_ptr<AVFormatContext, TFormatContextFree>;
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFree>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;

} // namespace vx
