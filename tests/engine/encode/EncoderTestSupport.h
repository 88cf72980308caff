// Shared pieces of the encoder tests: generated media, an encoder whose tasks remember
// the options they were given, and a recorder of the encoder's events.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/PlatformBridge.h"
#include "encode/FFEncode.h"

namespace vx::test {

using TOptionList = std::vector<std::pair<std::string, std::string>>;

inline TFileName Name(const std::string& APath) {
    return UTF8ToFileName(APath);
}

// A real task that also remembers every option passed to it, in order.
class TRecordingTask : public TFFmpeg {
public:
    using TFFmpeg::TFFmpeg;
    void SetExtOption(const std::string& AName, const std::string& AValue) override {
        Options.emplace_back(AName, AValue);
        // Every output stream is a copy here, so an extra stream has nothing to add.
        if (AName.rfind("new", 0) == 0)
            return;
        TFFmpeg::SetExtOption(AName, AValue);
    }
    bool Received(const std::string& AName, const std::string& AValue) const {
        for (const auto& o : Options)
            if (o.first == AName && o.second == AValue)
                return true;
        return false;
    }
    TOptionList Options;
};

// An encoder that keeps a view of the task objects it made (valid while they are listed).
class TTestEncoder : public TFFEncoder {
public:
    TRecordingTask& LastTask() { return *Created.back(); }
    std::vector<TRecordingTask*> Created;

protected:
    std::unique_ptr<TFFmpeg> CreateTask(int AMaxFiles) override {
        auto task = std::make_unique<TRecordingTask>(AMaxFiles, this);
        Created.push_back(task.get());
        return task;
    }
};

// What the encoder raised, and where.
struct TEventLog {
    std::vector<TTerminateInfo> Terminations;
    std::vector<TProgressInfo> Progress;
    bool AllOnMainThread = true;

    void Attach(TCustomEncoder& AEncoder) {
        AEncoder.OnTerminate = [this](TCustomEncoder*, const TTerminateInfo& AInfo) {
            AllOnMainThread = AllOnMainThread && PlatformBridge().IsMainThread();
            Terminations.push_back(AInfo);
        };
        AEncoder.OnProgress = [this](TCustomEncoder*, const TProgressInfo& AInfo) {
            AllOnMainThread = AllOnMainThread && PlatformBridge().IsMainThread();
            Progress.push_back(AInfo);
        };
    }
    bool RunEnded() const { return !Terminations.empty() && Terminations.back().TaskIndex == -1; }
    std::vector<int> Order() const {
        std::vector<int> order;
        for (const auto& t : Terminations)
            order.push_back(t.TaskIndex);
        return order;
    }
};

// The media every encoder test reads, written once.
class EncoderMediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        if (!Media) {
            Media = std::make_unique<fixtures::TTempDir>();
            fixtures::WriteMedia(Media->File("clip.avi"), fixtures::AviMpeg4Mp3());
            fixtures::WriteMedia(Media->File("tone.mp3"), fixtures::Mp3AudioOnly());
        }
    }
    static std::string Avi() { return Media->File("clip.avi"); }
    static std::string Mp3() { return Media->File("tone.mp3"); }

    // Keeps main-thread deliveries flowing until APredicate holds (at most 30 s).
    static bool WaitFor(const std::function<bool()>& APredicate) {
        return WaitProcessingMessages(APredicate, 30000);
    }

    // A task converting Avi() into AOutput; returns its index.
    int AddRemux(TCustomEncoder& AEncoder, const std::string& AOutput, TOutputOptions* AOptions = nullptr) {
        return AddRemuxOf(AEncoder, Avi(), AOutput, AOptions);
    }
    int AddRemuxOf(TCustomEncoder& AEncoder, const std::string& ASource, const std::string& AOutput,
                   TOutputOptions* AOptions = nullptr) {
        const int task = AEncoder.AddTask(Name(ASource), nullptr);
        EXPECT_GE(task, 0) << AEncoder.LastErrMsg();
        TOutputOptions options;
        EXPECT_TRUE(AEncoder.SetOutputFile(task, Name(AOutput), AOptions ? AOptions : &options))
            << AEncoder.LastErrMsg();
        return task;
    }

    fixtures::TTempDir Out;
    static inline std::unique_ptr<fixtures::TTempDir> Media;
};

} // namespace vx::test
