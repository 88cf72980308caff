// Shared pieces of the option tests: the libraries, a log recorder, and a job stand-in
// whose files are whatever the test says.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "encode/FFmpegOptions.h"

namespace vx::test {

// Collects what the engine logs while a test runs.
class TLogRecorder {
public:
    TLogRecorder() {
        FOldLevel = GetLogger().LogLevel();
        FOldTrigger = GetLogger().TriggerEventInMainThread();
        GetLogger().SetTriggerEventInMainThread(false);
        GetLogger().SetLogLevel(llInfo);
        GetLogger().OnLog = [this](void*, uint32_t, TLogLevel ALevel, const std::string& AText) {
            Lines.push_back({ALevel, AText});
        };
    }
    ~TLogRecorder() {
        GetLogger().OnLog = nullptr;
        GetLogger().SetLogLevel(FOldLevel);
        GetLogger().SetTriggerEventInMainThread(FOldTrigger);
    }
    int Count(TLogLevel ALevel, const std::string& AText) const {
        int n = 0;
        for (const auto& l : Lines)
            n += l.Level == ALevel && l.Text == AText;
        return n;
    }
    bool Has(const std::string& AText) const {
        for (const auto& l : Lines)
            if (l.Text == AText)
                return true;
        return false;
    }
    struct TLine {
        TLogLevel Level;
        std::string Text;
    };
    std::vector<TLine> Lines;

private:
    TLogLevel FOldLevel;
    bool FOldTrigger;
};

// A job with the files the test gives it, recording what options ask of it.
class TTestJob : public TFFmpegOptions {
public:
    int Inputs = 0;
    int Outputs = 0;
    std::vector<AVRational> InputRates;
    bool HookLoads = false;

    std::vector<AVMediaType> NewStreams;
    std::vector<int64_t> RecordingTimes;
    std::vector<std::vector<std::string>> Hooks;

protected:
    int InputFileCount() const override { return Inputs; }
    int OutputFileCount() const override { return Outputs; }
    std::vector<AVRational> InputVideoFrameRates() const override { return InputRates; }
    void NewOutputStream(AVMediaType AKind) override { NewStreams.push_back(AKind); }
    void RecordingTimeSet(int64_t AMicroseconds) override { RecordingTimes.push_back(AMicroseconds); }
    bool AddFrameHook(const std::vector<std::string>& AArgs) override {
        Hooks.push_back(AArgs);
        return HookLoads;
    }
};

inline void LoadLibraries() {
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
}

inline int64_t IntOption(void* AObject, const char* AName) {
    int64_t v = -1;
    EXPECT_GE(ff::av_opt_get_int(AObject, AName, 0, &v), 0) << AName;
    return v;
}

} // namespace vx::test
