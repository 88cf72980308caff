// The player's packet queue: the flush marker, the counts that bound reading, abort and
// the blocking get.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "base/FFLoad.h"
#include "play/PlayerPacketQueue.h"

using namespace vx;

namespace {

class PacketQueueTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(FFLoader().Load(PlayerLibraries)) << FFLoader().LastErrMsg(); }
    void SetUp() override { Packet = ff::av_packet_alloc(); }
    void TearDown() override { ff::av_packet_free(&Packet); }

    // Puts a packet of ASize bytes of the value AValue.
    int PutBytes(TPacketQueue& AQueue, int ASize, uint8_t AValue) {
        AVPacket* p = ff::av_packet_alloc();
        ff::av_new_packet(p, ASize);
        std::memset(p->data, AValue, ASize);
        const int ret = AQueue.Put(p);
        ff::av_packet_free(&p);
        return ret;
    }

    AVPacket* Packet = nullptr;
};

} // namespace

TEST_F(PacketQueueTest, StartsWithTheFlushMarkerAndCountsNodes) {
    TPacketQueue queue;
    queue.Start();
    EXPECT_EQ(queue.Packets(), 1);
    EXPECT_EQ(queue.Size(), TPacketQueue::NodeSize);
    ASSERT_EQ(PutBytes(queue, 1000, 0x5a), 0);
    EXPECT_EQ(queue.Size(), 1000 + 2 * TPacketQueue::NodeSize);

    ASSERT_EQ(queue.Get(Packet, false), 1);
    EXPECT_TRUE(IsFlushPacket(Packet));
    ff::av_packet_unref(Packet);
    ASSERT_EQ(queue.Get(Packet, false), 1);
    EXPECT_FALSE(IsFlushPacket(Packet));
    ASSERT_EQ(Packet->size, 1000);
    EXPECT_EQ(Packet->data[999], 0x5a);
    ff::av_packet_unref(Packet);
    EXPECT_EQ(queue.Size(), 0);
    EXPECT_EQ(queue.Get(Packet, false), 0);

    // A seek empties the queue and leaves only the marker.
    PutBytes(queue, 10, 1);
    PutBytes(queue, 10, 2);
    queue.FlushAndMark();
    EXPECT_EQ(queue.Packets(), 1);
    ASSERT_EQ(queue.Get(Packet, false), 1);
    EXPECT_TRUE(IsFlushPacket(Packet));
    ff::av_packet_unref(Packet);
}

TEST_F(PacketQueueTest, BorrowedDataIsCopiedAndEmptyPacketsStayEmpty) {
    TPacketQueue queue;
    uint8_t borrowed[16 + AV_INPUT_BUFFER_PADDING_SIZE] = {7, 7, 7};
    Packet->data = borrowed;
    Packet->size = 16;
    ASSERT_EQ(queue.Put(Packet), 0);
    EXPECT_EQ(Packet->data, nullptr);
    borrowed[0] = 9; // the owner reuses its buffer
    // The end of input for a decoder: no data at all.
    ASSERT_EQ(queue.Put(Packet), 0);

    ASSERT_EQ(queue.Get(Packet, false), 1);
    EXPECT_NE(Packet->data, borrowed);
    EXPECT_EQ(Packet->data[0], 7);
    ff::av_packet_unref(Packet);
    ASSERT_EQ(queue.Get(Packet, false), 1);
    EXPECT_EQ(Packet->data, nullptr);
    EXPECT_EQ(Packet->size, 0);
    EXPECT_EQ(queue.Size(), 0);
}

TEST_F(PacketQueueTest, AbortWakesABlockedGetterAndRefusesPackets) {
    TPacketQueue queue;
    queue.Start();
    ASSERT_EQ(queue.Get(Packet, false), 1); // the marker
    ff::av_packet_unref(Packet);
    int result = 0;
    std::thread getter([&] {
        AVPacket* p = ff::av_packet_alloc();
        result = queue.Get(p, true);
        ff::av_packet_free(&p);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue.Abort();
    getter.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(PutBytes(queue, 10, 1), -1);
    EXPECT_EQ(queue.Packets(), 0);

    // Starting again makes it usable.
    queue.Start();
    EXPECT_EQ(PutBytes(queue, 10, 1), 0);
    EXPECT_EQ(queue.Packets(), 2);
}

TEST_F(PacketQueueTest, ReaderLimits) {
    TPacketQueue audio, video, subtitle;
    EXPECT_FALSE(ReaderWantsMore(nullptr, nullptr, nullptr));
    EXPECT_TRUE(ReaderWantsMore(&audio, &video, nullptr));
    for (int i = 0; i < 6; i++)
        PutBytes(video, 100, 0);
    EXPECT_FALSE(ReaderWantsMore(nullptr, &video, nullptr)); // 6 packets: enough
    EXPECT_TRUE(ReaderWantsMore(&audio, &video, nullptr));   // but audio is short
    while (audio.Size() <= AudioQueueBytes)
        PutBytes(audio, 32768, 0);
    EXPECT_FALSE(ReaderWantsMore(&audio, &video, nullptr));
    EXPECT_TRUE(ReaderWantsMore(&audio, &video, &subtitle));
    // However short one queue is, 15 MiB in all stops reading.
    PutBytes(video, MaxQueuedBytes, 0);
    EXPECT_FALSE(ReaderWantsMore(&audio, &video, &subtitle));
}
