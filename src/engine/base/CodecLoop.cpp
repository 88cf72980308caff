#include "CodecLoop.h"

namespace vx {
namespace {

template <class TIn, class TOut, class TSend, class TReceive, class TUnref>
int SendReceive(AVCodecContext* ACtx, const TIn* AInput, TOut* AScratch, TSend ASend, TReceive AReceive,
                TUnref AUnref, const std::function<void(TOut*)>& AOnOutput) {
    for (;;) {
        const int sent = ASend(ACtx, AInput);
        bool accepted = sent >= 0;
        if (sent == AVERROR_EOF && !AInput)
            accepted = true; // flushed before: only the outputs are left
        else if (sent < 0 && sent != AVERROR(EAGAIN))
            return sent;
        bool drained = false;
        int received = 0;
        for (;;) {
            const int ret = AReceive(ACtx, AScratch);
            if (ret == AVERROR(EAGAIN))
                break;
            if (ret == AVERROR_EOF) {
                drained = true;
                break;
            }
            if (ret < 0)
                return ret;
            ++received;
            try {
                AOnOutput(AScratch);
            } catch (...) {
                AUnref(AScratch);
                throw;
            }
            AUnref(AScratch);
        }
        if (accepted || drained)
            return 0;
        // Refused for want of reading, yet nothing to read: the codec is stuck.
        if (received == 0)
            return AVERROR_BUG;
    }
}

} // namespace

int DecodePacket(AVCodecContext* ACtx, const AVPacket* APacket, AVFrame* AScratch,
                 const std::function<void(AVFrame*)>& AOnFrame) {
    return SendReceive(ACtx, APacket, AScratch, ff::avcodec_send_packet, ff::avcodec_receive_frame,
                       ff::av_frame_unref, AOnFrame);
}

int EncodeFrame(AVCodecContext* ACtx, const AVFrame* AFrame, AVPacket* AScratch,
                const std::function<void(AVPacket*)>& AOnPacket) {
    return SendReceive(ACtx, AFrame, AScratch, ff::avcodec_send_frame, ff::avcodec_receive_packet,
                       ff::av_packet_unref, AOnPacket);
}

} // namespace vx
