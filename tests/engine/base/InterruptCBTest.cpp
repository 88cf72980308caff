#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/FFApi.h"
#include "base/FFLoad.h"
#include "base/FormatIO.h"
#include "base/InterruptCB.h"
#include "base/PlatformBridge.h"

using namespace vx;

namespace {

bool Yes(void*) {
    return true;
}
bool No(void*) {
    return false;
}

TEST(InterruptCBTest, FirstCheckOfTheThreadDecides) {
    TInterruptCB dispatcher;
    int sender = 0;
    dispatcher.Add(7, &sender, No);
    dispatcher.Add(7, &sender, Yes);
    dispatcher.Add(8, &sender, Yes);
    EXPECT_FALSE(dispatcher.Interrupt(7)) << "only the first check registered for thread 7 counts";
    EXPECT_TRUE(dispatcher.Interrupt(8));
    EXPECT_FALSE(dispatcher.Interrupt(9));
    dispatcher.Add(7, &sender, No); // a duplicate adds nothing
    dispatcher.Remove(7, &sender, No);
    EXPECT_TRUE(dispatcher.Interrupt(7));
    dispatcher.Clear();
    EXPECT_FALSE(dispatcher.Interrupt(8));
}

// A deadline that the check compares against, so that the open below gives up.
struct TDeadline {
    std::chrono::steady_clock::time_point At;
};
bool Expired(void* ASender) {
    return std::chrono::steady_clock::now() >= static_cast<TDeadline*>(ASender)->At;
}

TEST(InterruptCBTest, AbandonsABlockingOpen) {
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    // A loopback server that accepts the connection and never sends a byte.
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    const std::string url = "tcp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    TDeadline deadline{std::chrono::steady_clock::now() + std::chrono::milliseconds(300)};
    InterruptDispatcher().Add(CurrentThreadID(), &deadline, Expired);
    AVFormatContext* ctx = nullptr;
    const int ret = OpenInputFile(&ctx, url, nullptr, nullptr);
    InterruptDispatcher().Remove(CurrentThreadID(), &deadline, Expired);
    ::close(server);
    EXPECT_EQ(ret, AVERROR_EXIT);
    EXPECT_EQ(ctx, nullptr);
}

} // namespace
