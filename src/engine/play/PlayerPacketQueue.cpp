#include "play/PlayerPacketQueue.h"

namespace vx {
namespace {

// Only its address matters.
uint8_t FlushMarker[1];

} // namespace

void MakeFlushPacket(AVPacket* APacket) {
    ff::av_packet_unref(APacket);
    APacket->data = FlushMarker;
    APacket->size = 0;
}

bool IsFlushPacket(const AVPacket* APacket) {
    return APacket->data == FlushMarker;
}

TPacketQueue::~TPacketQueue() {
    std::lock_guard lock(FMutex);
    FlushLocked();
}

void TPacketQueue::Start() {
    std::lock_guard lock(FMutex);
    FAbort = false;
    FlushLocked();
    TPacketPtr marker(ff::av_packet_alloc());
    if (marker) {
        MakeFlushPacket(marker.get());
        PutLocked(std::move(marker));
    }
}

int TPacketQueue::Put(AVPacket* APacket) {
    TPacketPtr node(ff::av_packet_alloc());
    if (!node) {
        ff::av_packet_unref(APacket);
        return -1;
    }
    ff::av_packet_move_ref(node.get(), APacket);
    // A packet that borrows its data (a demuxer's buffer) must not outlive the borrow. An
    // empty packet (the end of input for a decoder) has nothing to copy and stays empty.
    if (node->data && !IsFlushPacket(node.get()) && ff::av_packet_make_refcounted(node.get()) < 0)
        return -1;
    std::lock_guard lock(FMutex);
    return PutLocked(std::move(node));
}

int TPacketQueue::PutFlush() {
    TPacketPtr marker(ff::av_packet_alloc());
    if (!marker)
        return -1;
    MakeFlushPacket(marker.get());
    std::lock_guard lock(FMutex);
    return PutLocked(std::move(marker));
}

int TPacketQueue::PutLocked(TPacketPtr APacket) {
    if (FAbort)
        return -1;
    FSize += APacket->size + NodeSize;
    FPackets.push_back(std::move(APacket));
    FCond.notify_one();
    return 0;
}

void TPacketQueue::Flush() {
    std::lock_guard lock(FMutex);
    FlushLocked();
}

void TPacketQueue::FlushAndMark() {
    Flush();
    PutFlush();
}

void TPacketQueue::FlushLocked() {
    FPackets.clear();
    FSize = 0;
}

void TPacketQueue::Abort() {
    std::lock_guard lock(FMutex);
    FAbort = true;
    FCond.notify_all();
}

bool TPacketQueue::Aborted() const {
    std::lock_guard lock(FMutex);
    return FAbort;
}

int TPacketQueue::Get(AVPacket* APacket, bool ABlock) {
    std::unique_lock lock(FMutex);
    for (;;) {
        if (FAbort)
            return -1;
        if (!FPackets.empty()) {
            TPacketPtr node = std::move(FPackets.front());
            FPackets.pop_front();
            FSize -= node->size + NodeSize;
            ff::av_packet_move_ref(APacket, node.get());
            return 1;
        }
        if (!ABlock)
            return 0;
        FCond.wait(lock);
    }
}

int TPacketQueue::Packets() const {
    std::lock_guard lock(FMutex);
    return static_cast<int>(FPackets.size());
}

int64_t TPacketQueue::Size() const {
    std::lock_guard lock(FMutex);
    return FSize;
}

bool ReaderWantsMore(const TPacketQueue* AAudio, const TPacketQueue* AVideo, const TPacketQueue* ASubtitle) {
    int64_t total = 0;
    bool short_queue = false;
    if (AAudio) {
        const int64_t size = AAudio->Size();
        total += size;
        short_queue |= size <= AudioQueueBytes;
    }
    for (const TPacketQueue* q : {AVideo, ASubtitle})
        if (q) {
            total += q->Size();
            short_queue |= q->Packets() <= MinQueuedPackets;
        }
    return short_queue && total <= MaxQueuedBytes;
}

} // namespace vx
