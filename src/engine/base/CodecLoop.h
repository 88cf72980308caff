// The one send/receive loop of a codec. A decoder takes packets and gives frames, an
// encoder takes frames and gives packets; both follow the same protocol:
//   - send: 0 taken; EAGAIN: read the outputs first, then send again; EOF: the codec was
//     already flushed; other negative values are errors;
//   - receive: 0 an output; EAGAIN: needs more input; EOF: fully drained.
// A null input flushes the codec, after which every remaining output is handed over.
#pragma once

#include <functional>

#include "base/FFApi.h"

namespace vx {

// Hands every frame that APacket (null: flush) yields to AOnFrame, which may keep a
// reference. Returns 0, or the library's negative error code.
int DecodePacket(AVCodecContext* ACtx, const AVPacket* APacket, AVFrame* AScratch,
                 const std::function<void(AVFrame*)>& AOnFrame);

// Hands every packet that AFrame (null: flush) yields to AOnPacket. Returns 0, or the
// library's negative error code (AOnPacket's exceptions pass through).
int EncodeFrame(AVCodecContext* ACtx, const AVFrame* AFrame, AVPacket* AScratch,
                const std::function<void(AVPacket*)>& AOnPacket);

} // namespace vx
