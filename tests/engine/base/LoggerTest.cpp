#include <cstdarg>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/FFApi.h"
#include "base/FFLog.h"
#include "base/PlatformBridge.h"

using namespace vx;

namespace {

struct TDelivered {
    void* Sender;
    uint32_t ThreadID;
    TLogLevel Level;
    std::string Text;
};

// A library-style context: its first member points at its class.
struct TFakeContext {
    const AVClass* Class;
};
const char* FakeItemName(void*) {
    return "fake";
}
const AVClass FakeClass = [] {
    AVClass c{};
    c.class_name = "FakeClass";
    c.item_name = FakeItemName;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}();

void LibraryLog(void* AContext, int ALevel, const char* AFormat, ...) {
    va_list args;
    va_start(args, AFormat);
    LibraryLogCallback(AContext, ALevel, AFormat, args);
    va_end(args);
}

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLibraryLogState();
        Logger.SetLogLevel(llInfo);
        Logger.OnLog = [this](void* s, uint32_t t, TLogLevel l, const std::string& m) {
            Delivered.push_back({s, t, l, m});
        };
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& d : Delivered)
            out.push_back(d.Text);
        return out;
    }
    TFFLogger Logger;
    std::vector<TDelivered> Delivered;
};

TEST(LogLevelTest, Conversions) {
    const struct {
        int Library;
        TLogLevel Level;
    } cases[] = {{-8, llQuiet},   {0, llPanic}, {8, llFatal},    {16, llError}, {20, llError},
                 {24, llWarning}, {32, llInfo}, {40, llVerbose}, {48, llDebug}, {56, llDebug}};
    for (const auto& c : cases)
        EXPECT_EQ(AVLevelToLogLevel(c.Library), c.Level) << c.Library;
    EXPECT_EQ(LogLevelToAVLevel(llQuiet), -8);
    EXPECT_EQ(LogLevelToAVLevel(llDebug), 48);
}

TEST_F(LoggerTest, EngineMessagesPassByLevelAndVerboseAboveQuiet) {
    Logger.Log(this, llVerbose, "verbose");
    Logger.Log(this, llDebug, "debug");
    Logger.LogF(this, llError, "error %d", 7);
    Logger.SetLogLevel(llQuiet);
    Logger.Log(this, llVerbose, "quiet verbose");
    Logger.Log(this, llDebug, "quiet debug");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"verbose", "error 7"}));
    EXPECT_EQ(Delivered[0].Sender, this);
    EXPECT_EQ(Delivered[0].ThreadID, CurrentThreadID());
}

TEST_F(LoggerTest, LibraryLineInPiecesIsJoinedWithOnePrefix) {
    TFakeContext ctx{&FakeClass};
    LibraryLog(&ctx, AV_LOG_WARNING, "first %d, ", 1);
    LibraryLog(&ctx, AV_LOG_WARNING, "second, ");
    EXPECT_TRUE(Delivered.empty());
    LibraryLog(&ctx, AV_LOG_WARNING, "third\n");
    ASSERT_EQ(Delivered.size(), 1u);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[fake @ %p]", static_cast<void*>(&ctx));
    EXPECT_EQ(Delivered[0].Text, std::string(prefix) + "first 1, second, third");
    EXPECT_EQ(Delivered[0].Sender, &Logger);
    EXPECT_EQ(Delivered[0].Level, llWarning);
}

TEST_F(LoggerTest, RepeatedLibraryLinesCollapse) {
    for (int i = 0; i < 3; ++i)
        LibraryLog(nullptr, AV_LOG_ERROR, "same\n");
    LibraryLog(nullptr, AV_LOG_ERROR, "other\n");
    LibraryLog(nullptr, AV_LOG_ERROR, "other\n"); // one repeat: no notice
    LibraryLog(nullptr, AV_LOG_ERROR, "last\n");
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"same", "    Last message repeated 2 times", "other", "last"}));
}

TEST_F(LoggerTest, LibraryLevelFilterAndFlushOnlyCalls) {
    LibraryLog(nullptr, AV_LOG_DEBUG, "too detailed\n");
    LibraryLog(nullptr, AV_LOG_INFO, "%s", static_cast<const char*>(nullptr));
    LibraryLog(nullptr, AV_LOG_INFO, "%s\n", "shown");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"shown"}));
}

TEST_F(LoggerTest, ThreadsAssembleTheirOwnLines) {
    // Two workers interleave partial lines; deliveries reach the main thread.
    std::atomic<int> finished{0};
    auto worker = [&](const char* AName) {
        for (int i = 0; i < 20; ++i) {
            LibraryLog(nullptr, AV_LOG_INFO, "%s part one ", AName);
            LibraryLog(nullptr, AV_LOG_INFO, "%d\n", i);
        }
        ++finished;
    };
    std::thread a(worker, "alpha"), b(worker, "beta");
    WaitProcessingMessages([&] { return finished == 2; });
    a.join();
    b.join();
    ASSERT_EQ(Delivered.size(), 40u);
    for (const auto& d : Delivered) {
        EXPECT_TRUE(d.Text.rfind("alpha part one ", 0) == 0 || d.Text.rfind("beta part one ", 0) == 0)
            << d.Text;
        EXPECT_NE(d.ThreadID, CurrentThreadID());
    }
}

TEST_F(LoggerTest, OptLogLevel) {
    Logger.OptLogLevel("WaRnInG");
    EXPECT_EQ(Logger.LogLevel(), llWarning);
    Logger.OptLogLevel("20");
    EXPECT_EQ(Logger.LogLevel(), llError);
    Logger.OptLogLevel("-8");
    EXPECT_EQ(Logger.LogLevel(), llQuiet);
    for (const char* bad : {"loud", "", "12x", "99999999999999999999"})
        EXPECT_THROW(Logger.OptLogLevel(bad), std::invalid_argument) << bad;
}

TEST_F(LoggerTest, OnlyOneApplicationLogger) {
    EXPECT_EQ(&GetLogger(), &Logger);
    try {
        TFFLogger second;
        FAIL() << "a second application logger must be refused";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
    }
}

TEST(LoggerLifetimeTest, ApplicationLoggerReplacesTheAutoCreatedOne) {
    TFFLogger& automatic = GetLogger();
    EXPECT_TRUE(automatic.AutoCreated());
    {
        TFFLogger application;
        EXPECT_EQ(&GetLogger(), &application);
        EXPECT_FALSE(application.AutoCreated());
    }
    EXPECT_TRUE(GetLogger().AutoCreated());
}

} // namespace
