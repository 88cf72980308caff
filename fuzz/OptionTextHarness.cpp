// Option text through the encoder component into the transcoder, as the window and the
// command line hand it over: AddTask with the input's text, SetOutputFile with the
// output's, then the run.
#include <filesystem>
#include <optional>

#include "FuzzEnvironment.h"
#include "FuzzHarness.h"
#include "MediaFixtures.h"
#include "base/PlatformBridge.h"
#include "encode/FFEncode.h"

namespace vx::fuzz {
namespace {

// A run is stopped after this long (some option texts ask for hours of output), and must
// end within the second limit once stopped.
constexpr int RunLimitMs = 1000;
constexpr int StopLimitMs = 10000;

// Small and short, so that a whole run takes a few milliseconds: MPEG-4 video in AVI, as
// cameras write it, with 16-bit PCM sound, so that the sound reaches the audio path as
// integers (what the volume and resampling code works on most).
const std::string& InputClip() {
    static const std::string path = [] {
        const std::string file = ScratchFile("clip.avi");
        fixtures::WriteMedia(file,
                             {"avi", {{"mpeg4", 64, 48, {10, 1}, 100000}}, {{"pcm_s16le", 8000, 1}}, 0.5});
        return file;
    }();
    return path;
}

// Each run writes into a folder of its own, emptied afterwards, so that no run sees
// another's files.
const std::string& RunFolder() {
    static const std::string folder = [] {
        const std::string made = ScratchFile("run");
        std::filesystem::create_directory(made);
        return made;
    }();
    return folder;
}

} // namespace

std::string RunOptionText(const uint8_t* AData, size_t ASize) {
    RequireLibraries(EncoderLibraries);
    QuietLogger();
    const std::string& input = InputClip();
    const std::string bytes(reinterpret_cast<const char*>(AData), ASize);
    const size_t split = bytes.find('\0');
    const std::string inputText = bytes.substr(0, split);
    const std::string outputText = split == std::string::npos ? std::string() : bytes.substr(split + 1);
    const std::string output = RunFolder() + "/out.avi";

    std::string fault;
    {
        TFFEncoder encoder;
        const int task = encoder.AddTask(UTF8ToFileName(input), inputText);
        if (task < 0) {
            if (encoder.LastErrMsg().empty())
                fault = "adding the task failed without a reason";
        } else if (!encoder.SetOutputFile(task, UTF8ToFileName(output), outputText)) {
            if (encoder.LastErrMsg().empty())
                fault = "setting the output failed without a reason";
        } else {
            std::optional<TTerminateInfo> result;
            int runEnds = 0;
            encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& AInfo) {
                if (AInfo.TaskIndex < 0)
                    ++runEnds;
                else
                    result = AInfo;
            };
            // As the window runs it: on a worker, the main thread delivering the events, and
            // a user who stops what is still running after a while.
            encoder.Start(1);
            const auto ended = [&] { return runEnds > 0; };
            fault = [&]() -> std::string {
                if (!WaitProcessingMessages(ended, RunLimitMs)) {
                    encoder.Stop(true);
                    if (!WaitProcessingMessages(ended, StopLimitMs))
                        return "the run did not end when it was stopped";
                }
                if (!result || runEnds != 1)
                    return "the run did not report its end once";
                if (result->Exception && result->ExceptionMsg.empty())
                    return "the task failed without a reason";
                return {};
            }();
        }
    }
    EmptyFolder(RunFolder());
    return fault;
}

} // namespace vx::fuzz
