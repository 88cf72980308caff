// The bitmap hooks of a real conversion through the encoder: preview bitmaps at their
// interval, the preview window (through a bridge whose windows the test watches), output
// hooks whose drawing reaches the file, and hooks that stop or fail.
#include <atomic>
#include <chrono>
#include <regex>
#include <stdexcept>

#include "PathsTestSupport.h"
#include "base/Bitmap.h"
#include "base/PlatformBridge.h"
#include "encode/FFEncode.h"

namespace vx::test {
namespace {

constexpr TRGBColor Red{255, 0, 0};
// The square the hooks draw, in a 320x240 picture.
constexpr int SquareX = 100, SquareY = 80, SquareW = 64, SquareH = 48;

class VideoHookTest : public TPathsTest {
protected:
    void SetUp() override {
        // 2 s at 25 fps, 320x240.
        fixtures::WriteMedia(Source(), fixtures::AviMpeg4Mp3());
    }
    std::string Source() const { return Dir.File("clip.avi"); }
    std::string Output() const { return Dir.File("out.avi"); }

    // A task converting the clip into Output(); ASourceOptions is the input's option text.
    void AddTask(TFFEncoder& AEncoder, TOutputOptions& AOptions, const std::string& ASourceOptions = "") {
        const int task = AEncoder.AddTask(UTF8ToFileName(Source()), ASourceOptions);
        ASSERT_EQ(task, 0) << AEncoder.LastErrMsg();
        AOptions.VideoCodec = "mpeg4";
        AOptions.VideoBitrate = 4000000;
        ASSERT_TRUE(AEncoder.SetOutputFile(task, UTF8ToFileName(Output()), &AOptions))
            << AEncoder.LastErrMsg();
    }
    // Runs the encoder's tasks on a worker, keeping main-thread deliveries flowing.
    static TTerminateInfo Run(TFFEncoder& AEncoder) {
        TTerminateInfo result;
        bool ended = false;
        AEncoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& AInfo) {
            if (AInfo.TaskIndex == 0)
                result = AInfo;
            ended = ended || AInfo.TaskIndex == -1;
        };
        AEncoder.Start(1);
        EXPECT_TRUE(WaitProcessingMessages([&] { return ended; }, 120000));
        return result;
    }
    // Whether an output picture shows the red square (the colour at its centre).
    static bool ShowsSquare(const AVFrame* APicture) {
        const int x = SquareX + SquareW / 2, y = SquareY + SquareH / 2;
        const int luma = APicture->data[0][y * APicture->linesize[0] + x];
        const int cr = APicture->data[2][y / 2 * APicture->linesize[2] + x / 2];
        // Red is Y 81, Cr 240 in the encoders' limited range.
        return std::abs(luma - 81) <= 12 && std::abs(cr - 240) <= 12;
    }
};

TEST_F(VideoHookTest, PreviewBitmapsComeAboutEveryInterval) {
    TFFEncoder encoder;
    struct TEvent {
        int32_t TaskIndex, FrameNumber, Width, Height;
        int64_t PTS;
        bool MainThread;
    };
    std::vector<TEvent> events;
    encoder.OnPreviewBitmap = [&](TCustomEncoder*, const TPreviewInfo& AInfo) {
        events.push_back({AInfo.TaskIndex, AInfo.FrameNumber, AInfo.Bitmap->Width(), AInfo.Bitmap->Height(),
                          AInfo.PTS, PlatformBridge().IsMainThread()});
    };
    TOutputOptions options;
    // Read at the clip's own pace ("re"), so that the run lasts about its 2 s.
    AddTask(encoder, options, "re=1");
    encoder.SetPreviewBitmap(true); // the task exists already
    const auto start = std::chrono::steady_clock::now();
    const TTerminateInfo end = Run(encoder);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(end.Finished) << end.ExceptionMsg;

    // At most one per 100 ms; at 25 pictures a second the next picture after 100 ms comes
    // within 40 ms more, so a loaded machine still gives well over a third of that.
    const int most = int(ms / 100) + 1;
    EXPECT_LE(int(events.size()), most) << ms << " ms";
    EXPECT_GE(int(events.size()), std::max(3, most / 3)) << ms << " ms";
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].TaskIndex, 0);
        EXPECT_EQ(events[i].Width, 320);
        EXPECT_EQ(events[i].Height, 240);
        EXPECT_TRUE(events[i].MainThread);
        if (i > 0) {
            EXPECT_GT(events[i].FrameNumber, events[i - 1].FrameNumber);
            EXPECT_GT(events[i].PTS, events[i - 1].PTS);
        }
    }
}

TEST_F(VideoHookTest, WhatTheOutputHookDrawsIsInTheFile) {
    TFFEncoder encoder;
    std::atomic<int> calls{0};
    encoder.OnVideoOutputHook = [&](TCustomEncoder*, THookInfo& AInfo) {
        ++calls;
        AInfo.Bitmap->FillRect(SquareX, SquareY, SquareW, SquareH, Red);
    };
    TOutputOptions options;
    options.VideoOutputHook = true;
    AddTask(encoder, options);
    const TTerminateInfo end = Run(encoder);
    ASSERT_TRUE(end.Finished) << end.ExceptionMsg;

    const TReadBack out = ReadBack(Output(), AVMEDIA_TYPE_VIDEO);
    ASSERT_GE(out.Frames, 50);
    EXPECT_EQ(calls, out.Frames);
    for (size_t i = 0; i < out.Pictures.size(); ++i)
        EXPECT_TRUE(ShowsSquare(out.Pictures[i].get())) << "picture " << i;
    // The rest of the picture is the source's.
    const AVFrame* first = out.Pictures[0].get();
    EXPECT_GT(std::abs(first->data[2][10 * first->linesize[2] + 10] - 240), 30);
}

TEST_F(VideoHookTest, AHookThatFailsLeavesThePictureAsItWas) {
    TLogCapture log(llError);
    TFFEncoder encoder;
    std::atomic<int> calls{0};
    encoder.OnVideoOutputHook = [&](TCustomEncoder*, THookInfo& AInfo) {
        ++calls;
        AInfo.Bitmap->FillRect(SquareX, SquareY, SquareW, SquareH, Red);
        throw std::runtime_error("no ink");
    };
    TOutputOptions options;
    options.VideoOutputHook = true;
    AddTask(encoder, options);
    const TTerminateInfo end = Run(encoder);
    ASSERT_TRUE(end.Finished) << end.ExceptionMsg;

    const TReadBack out = ReadBack(Output(), AVMEDIA_TYPE_VIDEO);
    ASSERT_GE(out.Frames, 50);
    // The hook stays: a failure counts as "do not write back".
    EXPECT_EQ(calls, out.Frames);
    EXPECT_EQ(log.Count("Error occurs VideoHook event: no ink"), calls);
    for (size_t i = 0; i < out.Pictures.size(); ++i)
        EXPECT_FALSE(ShowsSquare(out.Pictures[i].get())) << "picture " << i;
}

TEST_F(VideoHookTest, AHookThatAsksToStopIsCalledOnce) {
    TFFEncoder encoder;
    std::atomic<int> calls{0};
    int bitsPixel = 0;
    encoder.OnVideoInputHook = [&](TCustomEncoder*, THookInfo& AInfo) {
        ++calls;
        bitsPixel = AInfo.Bitmap->BitsPixel();
        AInfo.StopHook = true;
    };
    TOutputOptions options;
    options.VideoInputHook = true;
    options.VideoHookBitsPixel = 32;
    AddTask(encoder, options);
    const TTerminateInfo end = Run(encoder);
    ASSERT_TRUE(end.Finished) << end.ExceptionMsg;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(bitsPixel, 32);
    EXPECT_GE(ReadBack(Output(), AVMEDIA_TYPE_VIDEO).Frames, 50);
}

TEST_F(VideoHookTest, ABitDepthNoBitmapHasRefusesTheOutput) {
    TFFEncoder encoder;
    ASSERT_EQ(encoder.AddTask(UTF8ToFileName(Source()), nullptr), 0) << encoder.LastErrMsg();
    TOutputOptions options;
    options.VideoOutputHook = true;
    options.VideoHookBitsPixel = 12;
    EXPECT_FALSE(encoder.SetOutputFile(0, UTF8ToFileName(Output()), &options));
    EXPECT_EQ(encoder.LastErrMsg(), "Invalid BitsPixel 12");
}

// A bridge whose preview windows the test watches; everything else goes to the engine's
// own bridge.
class TWatchedWindows final : public IPlatformBridge {
public:
    struct TState {
        int Created = 0, Destroyed = 0, Paints = 0;
        int CloseAfter = 1 << 30; // paints after which the user closes the window
        std::vector<std::string> Captions;
        int Width = 0, Height = 0;
        bool AllOnMainThread = true;
    };
    TWatchedWindows() : FDefault(PlatformBridge()) { SetPlatformBridge(this); }
    ~TWatchedWindows() override { SetPlatformBridge(nullptr); }
    bool IsMainThread() const override { return FDefault.IsMainThread(); }
    void CallInMainThread(const std::function<void()>& fn) override { FDefault.CallInMainThread(fn); }
    void ProcessPendingMessages() override { FDefault.ProcessPendingMessages(); }
    std::unique_ptr<IPreviewWindow> CreatePreviewWindow() override {
        ++State.Created;
        return std::make_unique<TWindow>(State, FDefault.IsMainThread());
    }
    TState State;

private:
    class TWindow final : public IPreviewWindow {
    public:
        TWindow(TState& AState, bool AMainThread) : FState(AState) { FState.AllOnMainThread &= AMainThread; }
        ~TWindow() override {
            ++FState.Destroyed;
            FState.AllOnMainThread &= PlatformBridge().IsMainThread();
        }
        void Paint(const TBitmap& ABitmap, const std::string& ACaption) override {
            FState.AllOnMainThread &= PlatformBridge().IsMainThread();
            ++FState.Paints;
            FState.Captions.push_back(ACaption);
            FState.Width = ABitmap.Width();
            FState.Height = ABitmap.Height();
        }
        bool Closed() const override { return FState.Paints >= FState.CloseAfter; }

    private:
        TState& FState;
    };
    IPlatformBridge& FDefault;
};

TEST_F(VideoHookTest, ThePreviewWindowShowsTheTimeAndStopsWhenClosed) {
    TWatchedWindows windows;
    windows.State.CloseAfter = 3;
    TFFEncoder encoder;
    TOutputOptions options;
    AddTask(encoder, options, "re=1");
    encoder.SetPreview(true); // the task exists already
    const TTerminateInfo end = Run(encoder);
    EXPECT_TRUE(end.Finished) << end.ExceptionMsg;
    EXPECT_GE(ReadBack(Output(), AVMEDIA_TYPE_VIDEO).Frames, 50);

    EXPECT_EQ(windows.State.Created, 1);
    EXPECT_EQ(windows.State.Destroyed, 1);
    EXPECT_EQ(windows.State.Paints, 3);
    EXPECT_TRUE(windows.State.AllOnMainThread);
    EXPECT_EQ(windows.State.Width, 320);
    EXPECT_EQ(windows.State.Height, 240);
    for (const std::string& caption : windows.State.Captions)
        EXPECT_TRUE(std::regex_match(caption, std::regex(R"(00:00:0[0-2]\.\d{3})"))) << caption;
}

TEST_F(VideoHookTest, SwitchingThePreviewOffClosesTheWindow) {
    TWatchedWindows windows;
    TFFEncoder encoder;
    TOutputOptions options;
    AddTask(encoder, options, "re=1");
    encoder.SetPreview(true);
    encoder.OnProgress = [&](TCustomEncoder* AEncoder, const TProgressInfo&) {
        if (windows.State.Paints >= 2)
            static_cast<TFFEncoder*>(AEncoder)->SetPreview(false);
    };
    encoder.SetProgressInterval(100);
    const TTerminateInfo end = Run(encoder);
    EXPECT_TRUE(end.Finished) << end.ExceptionMsg;
    EXPECT_EQ(windows.State.Created, 1);
    EXPECT_EQ(windows.State.Destroyed, 1);
    EXPECT_GE(windows.State.Paints, 2);
    // Far fewer than the run's 2 s would have given.
    EXPECT_LE(windows.State.Paints, 8);
}

} // namespace
} // namespace vx::test
