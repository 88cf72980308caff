#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "base/PlatformBridge.h"

using namespace vx;

TEST(PlatformBridgeTest, WorkerCallsRunOnTheMainThreadWhileItWaits) {
    bool ranOnMain = false;
    bool done = false;
    std::string caught;
    std::thread worker([&] {
        PlatformBridge().CallInMainThread([&] { ranOnMain = PlatformBridge().IsMainThread(); });
        try {
            PlatformBridge().CallInMainThread([] { throw std::runtime_error("from main"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        PlatformBridge().CallInMainThread([&] { done = true; });
    });
    EXPECT_TRUE(WaitProcessingMessages([&] { return done; }, 10000));
    worker.join();
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(caught, "from main");
}

TEST(PlatformBridgeTest, MainThreadCallsRunDirectlyAndWaitsTimeOut) {
    int calls = 0;
    PlatformBridge().CallInMainThread([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(WaitProcessingMessages([] { return false; }, 20));
}
