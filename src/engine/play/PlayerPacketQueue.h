// The packet queue between the player's reader thread and one decoder. The reader thread
// puts packets (and, on seeks and flushes, the flush marker); the consumer is the video or
// subtitle decoder thread (blocking get) or the SDL audio callback (non-blocking get).
// Every member may be called from any thread; the queue's own mutex guards its state.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "base/FFApi.h"

namespace vx {

// A packet whose data pointer is the marker tells its decoder to flush (after a seek or
// a flush request). It owns no buffer, so moving and unreferencing it is harmless.
void MakeFlushPacket(AVPacket* APacket);
bool IsFlushPacket(const AVPacket* APacket);

class TPacketQueue {
public:
    // Bytes that each queued packet counts besides its data (a list node of the old
    // packet list), so that a queue of empty packets still fills up.
    static constexpr int64_t NodeSize = 80;

    TPacketQueue() = default;
    ~TPacketQueue(); // frees every queued packet
    TPacketQueue(const TPacketQueue&) = delete;
    TPacketQueue& operator=(const TPacketQueue&) = delete;

    // Makes the queue usable for a stream: clears the abort mark, drops what is queued and
    // puts the flush marker first.
    void Start();
    // Takes APacket's contents (APacket is left blank); a packet that does not own its data
    // gets a copy of it. Returns 0, or -1 when the queue is aborted or memory runs out (the
    // packet is then released).
    int Put(AVPacket* APacket);
    // Puts the flush marker. 0 or -1 as Put.
    int PutFlush();
    // Drops every queued packet and zeroes the counts.
    void Flush();
    // Drops every queued packet and puts the flush marker: what a seek does to a queue.
    void FlushAndMark();
    // Makes every get, present and future, return -1 until Start; wakes blocked getters.
    void Abort();
    bool Aborted() const;

    // Moves the oldest packet into APacket (which must be blank): 1. Empty queue: 0 when
    // not blocking, else waits. Aborted: -1.
    int Get(AVPacket* APacket, bool ABlock);

    int Packets() const;
    // Queued data bytes plus NodeSize per packet.
    int64_t Size() const;

private:
    struct TPacketDeleter {
        void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
    };
    using TPacketPtr = std::unique_ptr<AVPacket, TPacketDeleter>;
    void FlushLocked();
    int PutLocked(TPacketPtr APacket);

    mutable std::mutex FMutex;
    std::condition_variable FCond;   // FMutex; signalled on put and abort
    std::deque<TPacketPtr> FPackets; // FMutex
    int64_t FSize = 0;               // FMutex
    bool FAbort = false;             // FMutex
};

// The reader's read limits over the three queues of a playback.
inline constexpr int64_t MaxQueuedBytes = 0xF00000; // all queues together
inline constexpr int64_t AudioQueueBytes = 0x50000; // the audio queue is short up to this
inline constexpr int MinQueuedPackets = 5;          // video and subtitle queues are short up to this

// True when the reader should read another packet: the queues together hold at most
// MaxQueuedBytes and at least one open stream's queue is short. A null queue is a stream
// that is not open.
bool ReaderWantsMore(const TPacketQueue* AAudio, const TPacketQueue* AVideo, const TPacketQueue* ASubtitle);

} // namespace vx
