// The encoder's run: task order, termination events, stop, pause and the working state,
// with real task objects converting generated media on real threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "EncoderTestSupport.h"
#include "base/FormatIO.h"

using namespace vx;
using namespace vx::test;

namespace {

// What a finished output holds: stream kinds and duration, read back by the library.
struct TOutputFacts {
    bool Opened = false;
    int Videos = 0;
    int Audios = 0;
    double Seconds = 0;
};

TOutputFacts ReadBack(const std::string& APath) {
    TOutputFacts facts;
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, APath, nullptr, nullptr) < 0)
        return facts;
    TInputFilePtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0)
        return facts;
    facts.Opened = true;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        facts.Videos += raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        facts.Audios += raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
    }
    facts.Seconds = raw->duration / double(AV_TIME_BASE);
    return facts;
}

class EncoderRunTest : public EncoderMediaTest {};

// The engine's own queue to the main thread, counting the deliveries that a worker asked for.
class TCountingBridge : public IPlatformBridge {
public:
    TCountingBridge() : FInner(PlatformBridge()) { SetPlatformBridge(this); }
    ~TCountingBridge() override { SetPlatformBridge(nullptr); }
    bool IsMainThread() const override { return FInner.IsMainThread(); }
    void CallInMainThread(const std::function<void()>& fn) override {
        if (!IsMainThread())
            ++Asked;
        FInner.CallInMainThread(fn);
    }
    void ProcessPendingMessages() override { FInner.ProcessPendingMessages(); }
    std::atomic<int> Asked{0};

private:
    IPlatformBridge& FInner;
};

TEST_F(EncoderRunTest, StartWithoutThreadsRunsEveryTaskInsideTheCall) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    AddRemux(encoder, Out.File("a.avi"));
    AddRemux(encoder, Out.File("b.avi"));

    encoder.Start(0);

    EXPECT_EQ(log.Order(), (std::vector<int>{0, 1, -1}));
    for (const TTerminateInfo& t : log.Terminations) {
        EXPECT_TRUE(t.Finished);
        EXPECT_FALSE(t.Exception) << t.ExceptionMsg;
    }
    EXPECT_TRUE(encoder.Terminated());
    for (const char* name : {"a.avi", "b.avi"}) {
        const TOutputFacts facts = ReadBack(Out.File(name));
        ASSERT_TRUE(facts.Opened) << name;
        EXPECT_EQ(facts.Videos, 1);
        EXPECT_EQ(facts.Audios, 1);
        EXPECT_NEAR(facts.Seconds, 2.0, 0.15);
    }
    // Every task ends with a final report measured against the source's duration.
    ASSERT_FALSE(log.Progress.empty());
    const TProgressInfo& last = log.Progress.back();
    EXPECT_EQ(last.TaskIndex, 1);
    EXPECT_EQ(last.FileIndex, -1);
    EXPECT_GE(last.FrameNumber, 45);
    EXPECT_NEAR(last.TotalDuration / 1e6, 2.0, 0.15);
    EXPECT_NEAR(double(last.CurrentDuration), double(last.TotalDuration), 0.15e6);
    EXPECT_GT(last.CurrentSize, 0);
}

TEST_F(EncoderRunTest, TwoThreadsRunThreeTasksAndTheEndOfRunComesLast) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    for (const char* name : {"a.avi", "b.avi", "c.avi"})
        AddRemux(encoder, Out.File(name));

    encoder.Start(2);
    ASSERT_TRUE(WaitFor([&] { return log.RunEnded(); }));

    std::vector<int> order = log.Order();
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order.back(), -1);
    std::sort(order.begin(), order.end() - 1);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, -1}));
    for (const TTerminateInfo& t : log.Terminations)
        EXPECT_TRUE(t.Finished && !t.Exception) << t.TaskIndex << " " << t.ExceptionMsg;
    EXPECT_TRUE(log.AllOnMainThread);
    EXPECT_TRUE(ReadBack(Out.File("c.avi")).Opened);
}

TEST_F(EncoderRunTest, StopWithWaitEndsTheRunningTaskAndTheNeverStartedOnes) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    for (const char* name : {"a.avi", "b.avi", "c.avi"})
        AddRemux(encoder, Out.File(name));

    // The worker's first report waits for this thread, so task 0 has pictures in its file and
    // cannot end before the stop.
    TCountingBridge bridge;
    encoder.Start(1);
    for (int waited = 0; bridge.Asked == 0 && waited < 30000; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(bridge.Asked, 0) << "no report came";
    encoder.Stop(true);

    // Every event has been delivered inside Stop.
    ASSERT_EQ(log.Order(), (std::vector<int>{0, 1, 2, -1}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(log.Terminations[i].Finished) << i;
        EXPECT_FALSE(log.Terminations[i].Exception) << i << " " << log.Terminations[i].ExceptionMsg;
    }
    EXPECT_TRUE(log.Terminations[3].Finished);
    EXPECT_TRUE(encoder.Terminated());
    // The stopped output still got its trailer.
    EXPECT_TRUE(ReadBack(Out.File("a.avi")).Opened);
}

// A stop before anything reached the file leaves no file: there is nothing in it to keep. The
// source's pictures cannot be decoded, so nothing ever reaches the file; a run that ends before
// the stop fails for that.
TEST_F(EncoderRunTest, StopBeforeAnyMediaLeavesNoOutput) {
    fixtures::TMediaSpec spec{"avi", {{"mpeg4"}}, {}, 10.0};
    spec.Videos[0].Undecodable = true;
    const std::string source = Out.File("zeros.avi");
    fixtures::WriteMedia(source, spec);
    for (const char* output : {"stopped.mp4", "stopped.avi"}) {
        SCOPED_TRACE(output);
        TFFEncoder encoder;
        TEventLog log;
        log.Attach(encoder);
        const int task = encoder.AddTask(Name(source), nullptr);
        ASSERT_GE(task, 0) << encoder.LastErrMsg();
        TOutputOptions options;
        ASSERT_TRUE(encoder.SetOutputFile(task, Name(Out.File(output)), &options)) << encoder.LastErrMsg();

        encoder.Start(1);
        encoder.Stop(true);

        ASSERT_EQ(log.Order(), (std::vector<int>{0, -1}));
        EXPECT_FALSE(log.Terminations[0].Finished);
        if (log.Terminations[0].Exception) {
            EXPECT_NE(log.Terminations[0].ExceptionMsg.find("nothing was written"), std::string::npos)
                << log.Terminations[0].ExceptionMsg;
        }
        EXPECT_EQ(fixtures::FileSize(Out.File(output)), -1) << "a file without media was left";
    }
}

// How a run ends when its source ends early: a file cut while it is read fails with the reason;
// a file that was already cut off (its last packet incomplete) is converted as far as it goes,
// and the termination says so; an intact file ends without a message.
TEST_F(EncoderRunTest, ASourceThatEndsEarlyIsReported) {
    // Pictures only: the library keeps the mark of an incomplete packet only on packets
    // that it does not cut up again (it does cut up MP3 sound). Pictures large enough that
    // coding them lasts past the first progress report.
    const fixtures::TMediaSpec longClip{"avi", {{"mpeg4", 1280, 720}}, {}, 10.0};
    const std::string whole = Out.File("whole.avi");
    fixtures::WriteMedia(whole, longClip);
    const long size = fixtures::FileSize(whole);
    const struct {
        const char* Name;
        long Bytes;    // of the source at the start
        bool CutInRun; // cut to half at the first report
        bool Exception;
        const char* Message; // part of the termination's message; "" none
    } cases[] = {
        {"cut-in-run.avi", size, true, true, "was cut to"},
        {"cut-before.avi", size * 6 / 10 + 7, false, false, "the file is damaged"},
        {"intact.avi", size, false, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string source = Out.File(c.Name);
        fixtures::WriteTruncatedCopy(whole, source, c.Bytes);
        TFFEncoder encoder;
        encoder.SetProgressInterval(100);
        TEventLog log;
        log.Attach(encoder);
        bool firstReportWasLast = false;
        encoder.OnProgress = [&](TCustomEncoder*, const TProgressInfo& AInfo) {
            if (c.CutInRun && log.Progress.empty()) {
                firstReportWasLast = AInfo.FileIndex == -1;
                std::filesystem::resize_file(source, c.Bytes / 2);
            }
            log.Progress.push_back(AInfo);
        };
        const std::string output = Out.File(std::string("out-") + c.Name);
        AddRemuxOf(encoder, source, output);

        encoder.Start(1);
        ASSERT_TRUE(WaitFor([&] { return log.RunEnded(); }));

        ASSERT_FALSE(firstReportWasLast) << "the run ended before the source was cut";
        const TTerminateInfo& end = log.Terminations.front();
        EXPECT_EQ(end.Exception, c.Exception) << end.ExceptionMsg;
        EXPECT_EQ(end.Finished, !c.Exception);
        if (*c.Message) {
            EXPECT_NE(end.ExceptionMsg.find(c.Message), std::string::npos) << end.ExceptionMsg;
            EXPECT_NE(end.ExceptionMsg.find(source), std::string::npos) << end.ExceptionMsg;
        } else {
            EXPECT_EQ(end.ExceptionMsg, "");
        }
        EXPECT_EQ(ReadBack(output).Opened, !c.Exception);
    }
}

TEST_F(EncoderRunTest, APausedTaskRaisesNothingUntilResumed) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    AddRemux(encoder, Out.File("a.avi"));

    encoder.Start(1);
    encoder.Pause();
    EXPECT_TRUE(encoder.Paused());
    WaitProcessingMessages([] { return false; }, 300);
    EXPECT_TRUE(log.Terminations.empty());
    EXPECT_FALSE(encoder.Terminated());

    encoder.Resume();
    ASSERT_TRUE(WaitFor([&] { return log.RunEnded(); }));
    EXPECT_TRUE(log.Terminations.front().Finished);
}

TEST_F(EncoderRunTest, StopReleasesAPausedTask) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    AddRemux(encoder, Out.File("a.avi"));

    encoder.Start(1);
    encoder.Pause();
    encoder.Stop(true);

    ASSERT_EQ(log.Order(), (std::vector<int>{0, -1}));
    EXPECT_FALSE(log.Terminations[0].Finished);
}

TEST_F(EncoderRunTest, FailedTasksReportTheirErrorAndTheRunGoesOn) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    // Task 0 has no output; task 1 writes nothing because its length is zero.
    ASSERT_EQ(encoder.AddTask(Name(Avi()), nullptr), 0);
    TOutputOptions empty;
    empty.TimeLength = 0;
    AddRemux(encoder, Out.File("empty.avi"), &empty);
    AddRemux(encoder, Out.File("good.avi"));

    encoder.Start(1);
    ASSERT_TRUE(WaitFor([&] { return log.RunEnded(); }));

    ASSERT_EQ(log.Order(), (std::vector<int>{0, 1, 2, -1}));
    EXPECT_TRUE(log.Terminations[0].Exception);
    EXPECT_EQ(log.Terminations[0].ExceptionMsg, "At least one output file must be specified");
    EXPECT_TRUE(log.Terminations[1].Exception);
    EXPECT_NE(log.Terminations[1].ExceptionMsg.find("nothing was written"), std::string::npos)
        << log.Terminations[1].ExceptionMsg;
    EXPECT_TRUE(log.Terminations[2].Finished);
    EXPECT_FALSE(log.Terminations[2].Exception);
}

TEST_F(EncoderRunTest, AudioOnlyOutputReportsNoFrameNumber) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    const int task = encoder.AddTask(Name(Mp3()), nullptr);
    ASSERT_GE(task, 0) << encoder.LastErrMsg();
    TOutputOptions options;
    ASSERT_TRUE(encoder.SetOutputFile(task, Name(Out.File("tone.mka")), &options)) << encoder.LastErrMsg();

    encoder.Start(1);
    ASSERT_TRUE(WaitFor([&] { return log.RunEnded(); }));

    ASSERT_FALSE(log.Progress.empty());
    EXPECT_EQ(log.Progress.back().FrameNumber, -1);
    EXPECT_EQ(log.Progress.back().FPS, -1);
    EXPECT_TRUE(log.Terminations.front().Finished);
    EXPECT_EQ(ReadBack(Out.File("tone.mka")).Audios, 1);
}

TEST_F(EncoderRunTest, AJobReportsAtItsIntervalAndTerminatesOnce) {
    struct TCase {
        int64_t Interval;
        bool Several; // reports during the run besides the final one
    };
    for (const TCase& c : {TCase{0, true}, TCase{3600000000LL, false}}) {
        TFFmpeg job(4, nullptr);
        std::vector<int32_t> fileIndices;
        int terminations = 0;
        job.OnProgress = [&](TCustomFFmpeg*, int32_t AFileIndex, int32_t, int32_t, float, float, int64_t,
                             int64_t, int64_t) { fileIndices.push_back(AFileIndex); };
        job.OnTerminate = [&](TCustomFFmpeg*) { ++terminations; };
        job.SetReportInterval(c.Interval);
        ASSERT_NO_THROW(job.open_input_file(Name(Avi())));
        ASSERT_EQ(job.open_output_file(Name(Out.File("job.avi")), false), 1) << job.LastErrMsg();

        EXPECT_FALSE(job.StartConvert(false, tpNormal)); // ran here, no worker
        ASSERT_FALSE(fileIndices.empty());
        EXPECT_EQ(fileIndices.back(), -1);
        EXPECT_EQ(fileIndices.size() > 1, c.Several) << fileIndices.size();
        EXPECT_TRUE(job.Finished());
        EXPECT_EQ(terminations, 1);

        // A job runs once and terminates once.
        EXPECT_FALSE(job.StartConvert(true, tpNormal));
        job.StopOrTerminate(true);
        EXPECT_EQ(terminations, 1);
    }
}

TEST_F(EncoderRunTest, BuildingAndStartingAreRefusedUntilTheTasksAreCleared) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    AddRemux(encoder, Out.File("a.avi"));
    const TFileName avi = Name(Avi());
    const TFileName out = Name(Out.File("x.avi"));
    const std::vector<std::pair<std::string, std::function<void()>>> building = {
        {"Cannot AddTask while working.", [&] { encoder.AddTask(avi, nullptr); }},
        {"Cannot AddTask while working.", [&] { encoder.AddTask(avi, std::string("f=avi")); }},
        {"Cannot AddInputFile while working.", [&] { encoder.AddInputFile(0, avi, nullptr); }},
        {"Cannot SetOutputFile while working.", [&] { encoder.SetOutputFile(0, out, nullptr); }},
        {"Cannot SetOutputFile while working.", [&] { encoder.SetOutputStream(0, &encoder, "x", nullptr); }},
        {"Cannot Exchange while working.", [&] { encoder.Exchange(0, 0); }},
        {"Cannot RemoveTask while working.", [&] { encoder.RemoveTask(0); }},
        {"Cannot StartTask while working.", [&] { encoder.Start(1); }},
    };
    auto expectRefused = [&](const std::string& AMessage, const std::function<void()>& ACall) {
        try {
            ACall();
            ADD_FAILURE() << "accepted: " << AMessage;
        } catch (const std::logic_error& e) {
            EXPECT_EQ(e.what(), AMessage);
        }
    };

    encoder.Start(1);
    encoder.Pause(); // keeps the run going while the refusals are tried
    for (const auto& [message, call] : building)
        expectRefused(message, call);
    expectRefused("Cannot ClearTasks while working.", [&] { encoder.ClearTasks(); });

    encoder.Resume();
    ASSERT_TRUE(WaitFor([&] { return log.RunEnded(); }));
    // Ended, but not yet cleared.
    for (const auto& [message, call] : building)
        expectRefused(message, call);
    EXPECT_NO_THROW(encoder.ClearTasks());
    EXPECT_FALSE(encoder.Working());
    EXPECT_EQ(encoder.TasksCount(), 0);
    EXPECT_GE(encoder.AddTask(avi, nullptr), 0);
}

TEST_F(EncoderRunTest, AnEmptyListEndsAtOnceWithoutEvents) {
    TFFEncoder encoder;
    TEventLog log;
    log.Attach(encoder);
    encoder.Start(1);
    EXPECT_TRUE(encoder.Working());
    EXPECT_TRUE(encoder.Terminated());
    WaitProcessingMessages([] { return false; }, 50);
    EXPECT_TRUE(log.Terminations.empty());
    EXPECT_NO_THROW(encoder.ClearTasks());
}

TEST_F(EncoderRunTest, DestroyingARunningEncoderRaisesNoMoreEvents) {
    TEventLog log;
    {
        TFFEncoder encoder;
        log.Attach(encoder);
        AddRemux(encoder, Out.File("a.avi"));
        AddRemux(encoder, Out.File("b.avi"));
        encoder.Start(2);
    }
    const size_t seen = log.Terminations.size() + log.Progress.size();
    WaitProcessingMessages([] { return false; }, 100);
    EXPECT_EQ(log.Terminations.size() + log.Progress.size(), seen);
}

// Many runs of one encoder on short real tasks, paused, resumed and stopped at different
// moments with one or two workers, every other task with its audio path and video encoder
// on threads of their own: each run raises one event per task and the final event last, a
// task reported finished has written its output, and the encoder is cleared and started
// again. Under ThreadSanitizer this is the race and lock-order check of the run.
TEST_F(EncoderRunTest, ManyStartPauseResumeStopCyclesEndCleanly) {
    enum TAction { RunToEnd, PauseThenResume, PauseResumePauseThenStop, StopWhileRunning };
    constexpr int Cycles = 40;
    constexpr int Tasks = 3;
    TFFEncoder encoder;
    encoder.SetProgressInterval(100);
    TEventLog log;
    log.Attach(encoder);
    auto settle = [](int AMilliseconds) { WaitProcessingMessages([] { return false; }, AMilliseconds); };

    for (int cycle = 0; cycle < Cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        encoder.ClearTasks();
        log.Terminations.clear();
        log.Progress.clear();
        std::vector<std::string> outputs;
        for (int t = 0; t < Tasks; ++t) {
            outputs.push_back(Out.File("c" + std::to_string(cycle) + "_" + std::to_string(t) + ".avi"));
            TOutputOptions options;
            options.ExtOptions = (cycle + t) % 2 ? "stage_threads=1\n" : "stage_threads=0\n";
            AddRemux(encoder, outputs.back(), &options);
        }

        const TAction action = static_cast<TAction>(cycle % 4);
        encoder.Start(1 + cycle % 2);
        switch (action) {
        case RunToEnd:
            break;
        case PauseThenResume:
            encoder.Pause();
            settle(cycle % 3 * 10);
            encoder.Resume();
            break;
        case PauseResumePauseThenStop:
            encoder.Pause();
            encoder.Resume();
            settle(cycle % 5 * 5);
            encoder.Pause();
            encoder.Stop(true);
            break;
        case StopWhileRunning:
            settle(cycle % 7 * 8);
            encoder.Stop(true);
            break;
        }
        ASSERT_TRUE(WaitFor([&] { return log.RunEnded(); }));

        std::vector<int> order = log.Order();
        ASSERT_EQ(order.size(), size_t(Tasks + 1));
        EXPECT_EQ(order.back(), -1);
        order.pop_back();
        std::sort(order.begin(), order.end());
        EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
        for (const TTerminateInfo& t : log.Terminations) {
            EXPECT_FALSE(t.Exception) << t.ExceptionMsg;
            if (t.TaskIndex >= 0 && t.Finished) {
                EXPECT_EQ(ReadBack(outputs[size_t(t.TaskIndex)]).Videos, 1) << outputs[size_t(t.TaskIndex)];
            }
            // Runs without a stop end every task.
            if (action == RunToEnd || action == PauseThenResume) {
                EXPECT_TRUE(t.Finished) << t.TaskIndex;
            }
        }
        for (const TProgressInfo& p : log.Progress) {
            EXPECT_GE(p.TaskIndex, 0);
            EXPECT_LT(p.TaskIndex, Tasks);
        }
        EXPECT_TRUE(encoder.Terminated());
        EXPECT_TRUE(log.AllOnMainThread);
    }
}

} // namespace
