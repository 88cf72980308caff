// Option text through the encoder component into the transcoder, as the window and the
// command line hand it over: AddTask with the input's text, SetOutputFile with the
// output's, then the run.
#include <chrono>
#include <filesystem>
#include <optional>

#include "FuzzEnvironment.h"
#include "FuzzHarness.h"
#include "MediaFixtures.h"
#include "encode/FFEncode.h"

namespace vx::fuzz {
namespace {

// A run is stopped after this long; some option texts ask for hours of output.
constexpr auto RunLimit = std::chrono::milliseconds(1000);

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
        encoder.SetTriggerEventInMainThread(false);
        const int task = encoder.AddTask(UTF8ToFileName(input), inputText);
        if (task < 0) {
            if (encoder.LastErrMsg().empty())
                fault = "adding the task failed without a reason";
        } else if (!encoder.SetOutputFile(task, UTF8ToFileName(output), outputText)) {
            if (encoder.LastErrMsg().empty())
                fault = "setting the output failed without a reason";
        } else {
            const auto started = std::chrono::steady_clock::now();
            bool stopped = false;
            std::optional<TTerminateInfo> result;
            int runEnds = 0;
            encoder.OnProgress = [&](TCustomEncoder*, const TProgressInfo&) {
                if (!stopped && std::chrono::steady_clock::now() - started > RunLimit) {
                    stopped = true;
                    encoder.Stop(false);
                }
            };
            encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& AInfo) {
                if (AInfo.TaskIndex < 0)
                    ++runEnds;
                else
                    result = AInfo;
            };
            encoder.Start(0);
            if (!result || runEnds != 1)
                fault = "the run did not report its end once";
            else if (result->Exception && result->ExceptionMsg.empty())
                fault = "the task failed without a reason";
        }
    }
    EmptyFolder(RunFolder());
    return fault;
}

} // namespace vx::fuzz
