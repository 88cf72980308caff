// The audio path and the video encoder on threads of their own: the same file as a run on
// one thread, the same final report, and a failure of a stage ending the run with its
// message.
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "TranscodeTestSupport.h"

using namespace vx;
using namespace vx::test;

namespace {

class TranscodeStageThreadsTest : public TranscodeTest {};

// A job that tells whether its run had the stages on threads of their own.
class TStagedJob : public TTestJob {
public:
    using TCustomFFmpeg::FPipeline;
};

// Every packet of a file read back, as the demuxer gives them: stream, timestamps, flags
// and data.
struct TPacketRecord {
    int Stream;
    int64_t Pts, Dts, Duration;
    int Flags;
    std::string Data;
    bool operator==(const TPacketRecord&) const = default;
};

std::vector<TPacketRecord> PacketsOf(const std::string& APath) {
    std::vector<TPacketRecord> packets;
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, APath, nullptr, nullptr) < 0)
        return packets;
    TInputFilePtr input(raw);
    TPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        packets.push_back({packet->stream_index, packet->pts, packet->dts, packet->duration, packet->flags,
                           std::string(reinterpret_cast<const char*>(packet->data), size_t(packet->size))});
        ff::av_packet_unref(packet.get());
    }
    return packets;
}

std::string FileBytes(const std::string& APath) {
    std::ifstream in(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TStagedRun {
    bool Staged = false; // the stages had threads of their own during the run
    // The last report.
    int32_t Frames = 0;
    int64_t Size = 0, Time = 0;
    std::string Fatal;
};

TOptionList WithStages(TOptionList AOptions, bool AStaged) {
    AOptions.emplace_back("stage_threads", AStaged ? "1" : "0");
    return AOptions;
}

// Converts ASource into AOutput with AOptions on the caller's thread.
TStagedRun RunWithStages(const std::string& ASource, const std::string& AOutput,
                         const TOptionList& AOptions) {
    TStagedJob job;
    TStagedRun run;
    EXPECT_TRUE(job.Input(ASource)) << job.InputError;
    EXPECT_EQ(job.Output(AOutput, AOptions), 1) << job.LastErrMsg();
    job.SetReportInterval(0);
    job.OnProgress = [&](TCustomFFmpeg*, int32_t AFileIndex, int32_t AFrame, int32_t, float, float,
                         int64_t ASize, int64_t ACurrent, int64_t) {
        run.Staged = run.Staged || job.FPipeline;
        if (AFileIndex == -1) {
            run.Frames = AFrame;
            run.Size = ASize;
            run.Time = ACurrent;
        }
    };
    job.StartConvert(false, tpNormal);
    run.Fatal = job.FatalException() ? job.FatalMessage() : std::string();
    return run;
}

// Codecs that give the same bytes for the same input (one codec thread, the default), in
// several containers, with resampling, volume, scaling, frame-rate conversion and a copied
// stream written between encoded ones.
TEST_F(TranscodeStageThreadsTest, TheStagesWriteWhatOneThreadWrites) {
    struct TCase {
        const char* Source;
        const char* Output;
        TOptionList Options;
    };
    const TCase cases[] = {
        {"clip.avi", "mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"ar", "48000"}}},
        {"clip.mp4", "avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"vol", "512"}}},
        {"clip.avi",
         "mkv",
         {{"vcodec", "copy"}, {"acodec", "pcm_s16le"}, {"ac", "1"}, {"fflags", "+bitexact"}}},
        {"clip.mp4", "mov", {{"s", "160x120"}, {"r", "10"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}}},
        {"tone.mp3", "wav", {{"acodec", "pcm_s16le"}, {"ar", "22050"}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Source) + " -> " + c.Output);
        const std::string one = Out.File(std::string("one.") + c.Output);
        const std::string staged = Out.File(std::string("staged.") + c.Output);
        const TStagedRun oneRun = RunWithStages(Path(c.Source), one, WithStages(c.Options, false));
        const TStagedRun stagedRun = RunWithStages(Path(c.Source), staged, WithStages(c.Options, true));
        ASSERT_EQ(oneRun.Fatal, "");
        ASSERT_EQ(stagedRun.Fatal, "");
        EXPECT_FALSE(oneRun.Staged);
        EXPECT_TRUE(stagedRun.Staged);

        const TFileFacts facts = ReadBack(staged);
        ASSERT_TRUE(facts.Opened);
        EXPECT_NEAR(facts.Seconds, ReadBack(Path(c.Source)).Seconds, 0.2);
        for (const TStreamFacts& s : facts.Streams)
            EXPECT_GT(s.Packets, 0);
        const std::vector<TPacketRecord> packets = PacketsOf(staged);
        EXPECT_FALSE(packets.empty());
        EXPECT_TRUE(packets == PacketsOf(one));
        EXPECT_TRUE(FileBytes(staged) == FileBytes(one));
        // The last report counts the same pictures, bytes and time.
        EXPECT_EQ(stagedRun.Frames, oneRun.Frames);
        EXPECT_EQ(stagedRun.Size, oneRun.Size);
        EXPECT_EQ(stagedRun.Time, oneRun.Time);
    }
}

// Whether a run gets the stage threads: by default when the codecs get more than one
// thread; never when the loop needs what is encoded at once.
TEST_F(TranscodeStageThreadsTest, WhichRunsGetStageThreads) {
    struct TCase {
        TOptionList Options;
        bool Staged;
    };
    const TCase cases[] = {
        {{}, false},
        {{{"threads", "2"}}, true},
        {{{"threads", "2"}, {"stage_threads", "0"}}, false},
        {{{"stage_threads", "1"}}, true},
        {{{"stage_threads", "1"}, {"fs", "100000"}}, false},
        {{{"stage_threads", "1"}, {"vstats_file", Out.File("stats.log")}}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Options.empty() ? "defaults" : c.Options.back().first);
        const TStagedRun run = RunWithStages(Path("clip.avi"), Out.File("which.avi"), c.Options);
        EXPECT_EQ(run.Fatal, "");
        EXPECT_EQ(run.Staged, c.Staged);
    }
}

// A frame the audio encoder refuses ends the run with the encoder's message, whether the
// audio path has its own thread or not, and the output is removed. The run is on the main
// thread and log lines are delivered there: the encoder's line from the audio stage must
// not wait for a main thread that waits for the stage.
TEST_F(TranscodeStageThreadsTest, AFrameTheAudioEncoderRefusesEndsTheRun) {
    std::string messages[2];
    for (bool staged : {false, true}) {
        SCOPED_TRACE(staged ? "staged" : "one thread");
        TLogRecorder log(llError);
        GetLogger().SetTriggerEventInMainThread(true);
        TStagedJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        const std::string out = Out.File(staged ? "refused2.mp4" : "refused1.mp4");
        ASSERT_EQ(job.Output(out, WithStages({{"acodec", "aac"}}, staged)), 1);
        // The decoded sound is float; what is not a number cannot be encoded.
        job.OnAudioHook = [](TCustomFFmpeg*, int64_t, void* ASamples, int32_t ASize, int32_t, int32_t,
                             int32_t AFormat) {
            if (AFormat != AV_SAMPLE_FMT_FLT)
                return;
            auto* samples = static_cast<float*>(ASamples);
            for (size_t i = 0; i < size_t(ASize) / sizeof(float); ++i)
                samples[i] = std::numeric_limits<float>::quiet_NaN();
        };
        job.StartConvert(false, tpNormal);
        EXPECT_TRUE(job.FatalException());
        EXPECT_FALSE(job.Finished());
        EXPECT_FALSE(FileExists(out));
        EXPECT_GE(log.Count(llError, "NaN"), 1) << log.Text();
        messages[staged] = job.FatalMessage();
    }
    EXPECT_EQ(messages[1], messages[0]);
    EXPECT_EQ(messages[1].rfind("Audio encoding failed: ", 0), 0u) << messages[1];
}

} // namespace
