// The run: stream copy, limits, joins, stop, failures and what each leaves behind.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TranscodeTestSupport.h"

using namespace vx;
using namespace vx::test;

namespace {

class TranscodeLoopTest : public TranscodeTest {};

// The video packets of a file from the first one at or after AFrom seconds (with
// AFromKey, the first key frame there), as a copy starting at AFrom takes them.
int VideoPacketsFrom(const std::string& APath, double AFrom, bool AFromKey) {
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, APath, nullptr, nullptr) < 0)
        return -1;
    TInputFilePtr input(raw);
    TPacketPtr packet(ff::av_packet_alloc());
    int count = 0;
    bool started = false;
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        const AVStream* st = raw->streams[packet->stream_index];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            packet->dts * av_q2d(st->time_base) >= AFrom - 1e-6) {
            started = started || !AFromKey || (packet->flags & AV_PKT_FLAG_KEY);
            count += started;
        }
        ff::av_packet_unref(packet.get());
    }
    return count;
}

TEST_F(TranscodeLoopTest, RemuxCopiesEveryPacket) {
    struct TCase {
        const char* Output;
        TOptionList Options;
        const char* Format;
    };
    const TCase cases[] = {
        {"remux.mkv", {}, "matroska,webm"},
        // The chain turns the length-prefixed pictures into the start-code form.
        {"remux.ts", {{"vbsf", "h264_mp4toannexb"}}, "mpegts"},
    };
    for (const TCase& c : cases) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.mp4")));
        const std::string out = Out.File(c.Output);
        TOptionList options = c.Options;
        options.insert(options.end(), {{"vcodec", "copy"}, {"acodec", "copy"}});
        ASSERT_EQ(job.Output(out, options), 1);
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        EXPECT_TRUE(job.Finished());
        const TFileFacts facts = ReadBack(out);
        ASSERT_TRUE(facts.Opened) << c.Output;
        EXPECT_EQ(facts.Format, c.Format);
        const TStreamFacts* video = facts.First(AVMEDIA_TYPE_VIDEO);
        const TStreamFacts* audio = facts.First(AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(video && audio) << c.Output;
        EXPECT_EQ(video->Codec, "h264");
        EXPECT_EQ(video->Packets, VideoPacketsFrom(Path("clip.mp4"), 0, false)) << c.Output;
        EXPECT_EQ(video->Width, 320);
        EXPECT_NEAR(video->FrameRate, 25.0, 1.0);
        EXPECT_EQ(audio->Codec, "aac");
        EXPECT_EQ(audio->SampleRate, 48000);
        EXPECT_EQ(audio->Channels, 2);
        EXPECT_NEAR(facts.Seconds, 2.0, 0.1) << c.Output;
    }
}

TEST_F(TranscodeLoopTest, ACopyStartsAtAKeyFrame) {
    // Key frames every 12 pictures; the output starts after picture 5, so the copy waits
    // for picture 12, unless told to take what comes.
    struct TCase {
        TOptionList Options;
        int Packets;
        bool FirstIsKey;
    };
    const std::string in = Path("clip.avi");
    const TCase cases[] = {
        {{{"ss", "0.2"}}, VideoPacketsFrom(in, 0.2, true), true},
        {{{"ss", "0.2"}, {"copyinkf", "1"}}, VideoPacketsFrom(in, 0.2, false), false},
        {{}, VideoPacketsFrom(in, 0, false), true},
    };
    ASSERT_LT(cases[0].Packets, cases[1].Packets) << "the fixture needs key frames after the start";
    for (const TCase& c : cases) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        const std::string out = Out.File("copy.avi");
        TOptionList options = c.Options;
        options.insert(options.end(), {{"an", "1"}, {"vcodec", "copy"}});
        ASSERT_EQ(job.Output(out, options), 1);
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        const TFileFacts facts = ReadBack(out);
        ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
        EXPECT_EQ(facts.Streams[0].Packets, c.Packets);
        EXPECT_EQ(facts.Streams[0].FirstIsKey, c.FirstIsKey);
    }
}

TEST_F(TranscodeLoopTest, LimitsEndTheOutput) {
    struct TCase {
        TOptionList Options;
        double Seconds;
        int VideoPackets; // -1: not checked
    };
    const TCase cases[] = {
        {{{"t", "1"}}, 1.0, 25},
        {{{"t", "1"}, {"vcodec", "copy"}, {"acodec", "copy"}}, 1.0, 25},
        {{{"vframes", "10"}}, -1, 10},
        {{{"ss", "1.5"}}, 0.5, 13},
    };
    for (const TCase& c : cases) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        const std::string out = Out.File("limited.avi");
        ASSERT_EQ(job.Output(out, c.Options), 1);
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        EXPECT_TRUE(job.Finished());
        const TFileFacts facts = ReadBack(out);
        ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
        if (c.Seconds >= 0) {
            EXPECT_NEAR(facts.Seconds, c.Seconds, 0.15) << c.Options[0].first;
        }
        EXPECT_NEAR(facts.First(AVMEDIA_TYPE_VIDEO)->Packets, c.VideoPackets, 1) << c.Options[0].first;
    }
    // "t" given after the input is what progress measures against.
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    ASSERT_EQ(job.Output(Out.File("t.avi"), {{"t", "1"}}), 1);
    job.Run();
    ASSERT_FALSE(job.Reports.empty());
    EXPECT_EQ(job.Reports.back().Total, 1000000);
}

TEST_F(TranscodeLoopTest, AnOptionSetDuringTheRunDoesNotReachIt) {
    // The run reads the flags it took when it started: a frame limit set from a progress
    // report (on the run's own thread) changes nothing of this run.
    const std::string in = Path("clip.avi");
    TTestJob job;
    ASSERT_TRUE(job.Input(in));
    const std::string out = Out.File("whole.avi");
    ASSERT_EQ(job.Output(out, {{"an", "1"}, {"vcodec", "copy"}}), 1);
    job.SetReportInterval(0);
    int32_t setAtFrame = -1;
    job.OnProgress = [&](TCustomFFmpeg* ASender, int32_t, int32_t AFrame, int32_t, float, float, int64_t,
                         int64_t, int64_t) {
        if (setAtFrame < 0 && AFrame > 0) {
            setAtFrame = AFrame;
            ASender->SetExtOption("vframes", "1");
        }
    };
    job.StartConvert(false, tpNormal);
    ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
    const int whole = VideoPacketsFrom(in, 0, false);
    ASSERT_GT(setAtFrame, 0);
    ASSERT_LT(setAtFrame, whole); // set while the run still had packets to copy
    const TFileFacts facts = ReadBack(out);
    ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
    EXPECT_EQ(facts.First(AVMEDIA_TYPE_VIDEO)->Packets, whole);
}

TEST_F(TranscodeLoopTest, ShortestEndsWithTheFirstInputToEnd) {
    for (const bool shortest : {false, true}) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("ntsc.avi"))); // 2 s of video
        ASSERT_TRUE(job.Input(Path("tone.mp3"))); // 3 s of audio
        const std::string out = Out.File("shortest.mkv");
        ASSERT_EQ(job.Output(out, {{"vcodec", "mpeg4"}, {"shortest", shortest ? "1" : "0"}}), 1);
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        const TFileFacts facts = ReadBack(out);
        ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
        ASSERT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
        if (shortest) {
            EXPECT_LT(facts.Seconds, 2.5);
        } else {
            EXPECT_NEAR(facts.Seconds, 3.0, 0.15);
        }
    }
}

TEST_F(TranscodeLoopTest, AJoinPlaysTheInputsOneAfterAnother) {
    for (const bool copy : {false, true}) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        ASSERT_TRUE(job.Input(Path("short.avi")));
        const std::string out = Out.File(copy ? "joined.avi" : "joined.mkv");
        TOptionList options;
        if (copy)
            options = {{"vcodec", "copy"}, {"acodec", "copy"}};
        ASSERT_EQ(job.Output(out, options, true), 1) << job.LastErrMsg();
        job.SetReportInterval(0);
        job.Run();
        ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
        EXPECT_TRUE(job.Finished());

        const TFileFacts facts = ReadBack(out);
        ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
        ASSERT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
        EXPECT_NEAR(facts.Seconds, 3.0, 0.15) << copy;
        EXPECT_NEAR(facts.First(AVMEDIA_TYPE_VIDEO)->Packets, 75, 1) << copy;

        // Progress moves on to the second input and measures against both.
        ASSERT_FALSE(job.Reports.empty());
        std::vector<int> indices;
        for (const auto& r : job.Reports)
            if (indices.empty() || indices.back() != r.FileIndex)
                indices.push_back(r.FileIndex);
        EXPECT_EQ(indices, (std::vector<int>{0, 1, -1})) << copy;
        EXPECT_NEAR(job.Reports.back().Total / 1e6, 3.0, 0.1);
        EXPECT_NEAR(job.Reports.back().Current / 1e6, 3.0, 0.15);
        EXPECT_NEAR(job.Reports.back().Frame, 75, 1);
    }
}

TEST_F(TranscodeLoopTest, WithoutAProgressHandlerTheReportGoesToTheLog) {
    TLogRecorder log(llVerbose);
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    ASSERT_EQ(job.Output(Out.File("logged.avi"), {{"vsync", "1"}, {"r", "50"}}), 1);
    job.StartConvert(false, tpNormal); // no OnProgress
    ASSERT_FALSE(job.FatalException()) << job.FatalMessage();
    // 25 pictures a second become 50: pictures are doubled, which the line counts.
    const std::string last = log.Last(llVerbose, "frame=");
    ASSERT_FALSE(last.empty());
    EXPECT_NE(last.find(" q="), std::string::npos) << last;
    EXPECT_NE(last.find(" Lsize="), std::string::npos) << last;
    // The clip's pictures last 2.04 s (its writer leaves an empty slot after the first
    // one); the sound, the shorter stream, 2.03 s.
    EXPECT_NE(last.find(" time=00:00:02.03 bitrate="), std::string::npos) << last;
    EXPECT_NE(last.find(" dup="), std::string::npos) << last;
    const std::string totals = log.Last(llVerbose, "video:");
    EXPECT_NE(totals.find("kB audio:"), std::string::npos) << totals;
    EXPECT_NE(totals.find("kB global headers:0kB muxing overhead "), std::string::npos) << totals;
}

// With the audio path and the video encoder on threads of their own or not.
TEST_F(TranscodeLoopTest, AStoppedRunLeavesAPlayableFile) {
    fixtures::TMediaSpec longSpec = fixtures::AviMpeg4Mp3();
    longSpec.Seconds = 20;
    const std::string in = Out.File("long.avi");
    fixtures::WriteMedia(in, longSpec);

    for (const char* stages : {"0", "1"}) {
        SCOPED_TRACE(std::string("stage_threads ") + stages);
        TTestJob job;
        std::atomic<int> reports{0};
        ASSERT_TRUE(job.Input(in));
        const std::string out = Out.File(std::string("stopped") + stages + ".mkv");
        ASSERT_EQ(job.Output(out, {{"stage_threads", stages}}), 1);
        job.SetReportInterval(0);
        job.OnProgress = [&](TCustomFFmpeg*, int32_t, int32_t, int32_t, float, float, int64_t, int64_t,
                             int64_t) { ++reports; };
        ASSERT_TRUE(job.StartConvert(true, tpNormal));
        ASSERT_TRUE(WaitProcessingMessages([&] { return reports > 5; }, 30000));
        const auto start = std::chrono::steady_clock::now();
        job.Stop(true);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_TRUE(job.Terminated());
        EXPECT_FALSE(job.Finished());
        EXPECT_FALSE(job.FatalException()) << job.FatalMessage();
        const TFileFacts facts = ReadBack(out);
        ASSERT_TRUE(facts.Opened);
        EXPECT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
        EXPECT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
        EXPECT_GT(facts.First(AVMEDIA_TYPE_VIDEO)->Packets, 0);
        EXPECT_GT(facts.First(AVMEDIA_TYPE_AUDIO)->Packets, 0);
        EXPECT_GT(facts.Seconds, 0);
        EXPECT_LT(facts.Seconds, 20);
    }
}

// Serves the first bytes of a file to one TCP client, then keeps the connection open
// without sending more, as a stalled network source does.
class TStallingServer {
public:
    TStallingServer(const std::string& APath, size_t ABytes) {
        std::ifstream in(APath, std::ios::binary);
        FData.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        FData.resize(std::min(FData.size(), ABytes));
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(addr);
        if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(FListen, 1) != 0 ||
            ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this] {
            const int client = ::accept(FListen, nullptr, nullptr);
            if (client < 0)
                return;
            for (size_t sent = 0; sent < FData.size();) {
                const ssize_t n = ::send(client, FData.data() + sent, FData.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
            std::unique_lock lock(FLock);
            FDone.wait(lock, [this] { return FClosing; });
            ::close(client);
        });
    }
    ~TStallingServer() {
        {
            std::lock_guard lock(FLock);
            FClosing = true;
        }
        FDone.notify_all();
        if (FListen >= 0)
            ::shutdown(FListen, SHUT_RDWR);
        if (FThread.joinable())
            FThread.join();
        if (FListen >= 0)
            ::close(FListen);
    }
    std::string URL() const { return "tcp://127.0.0.1:" + std::to_string(FPort); }
    bool Listening() const { return FPort != 0; }

private:
    std::vector<char> FData;
    int FListen = -1;
    int FPort = 0;
    std::thread FThread;
    std::mutex FLock;
    std::condition_variable FDone;
    bool FClosing = false; // FLock
};

TEST_F(TranscodeLoopTest, AStopEndsARunBlockedInARead) {
    fixtures::TMediaSpec spec = fixtures::AviMpeg4Mp3();
    spec.Format = "mpegts";
    spec.Seconds = 6;
    const std::string source = Out.File("stream.ts");
    fixtures::WriteMedia(source, spec);
    TStallingServer server(source, static_cast<size_t>(fixtures::FileSize(source) / 2));
    ASSERT_TRUE(server.Listening());

    TTestJob job;
    std::atomic<int64_t> reached{0};
    ASSERT_TRUE(job.Input(server.URL())) << job.InputError;
    const std::string out = Out.File("stalled.mkv");
    ASSERT_EQ(job.Output(out, {{"vcodec", "mpeg4"}}), 1);
    job.SetReportInterval(0);
    job.OnProgress = [&](TCustomFFmpeg*, int32_t, int32_t, int32_t, float, float, int64_t, int64_t ACurrent,
                         int64_t) { reached = ACurrent; };
    ASSERT_TRUE(job.StartConvert(true, tpNormal));
    // The first half converts; then the read waits for data that never comes.
    ASSERT_TRUE(WaitProcessingMessages([&] { return reached > 2000000; }, 30000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(job.Converting());
    const auto start = std::chrono::steady_clock::now();
    job.Stop(true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(job.Finished());
    EXPECT_FALSE(job.FatalException()) << job.FatalMessage();
    const TFileFacts facts = ReadBack(out);
    ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
    EXPECT_NEAR(facts.Seconds, 3.0, 1.0);
}

TEST_F(TranscodeLoopTest, AWriteErrorIsAFailure) {
    if (!std::ifstream("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    ASSERT_EQ(job.Output("/dev/full", {{"f", "avi"}}), 1) << job.LastErrMsg();
    job.Run();
    EXPECT_TRUE(job.FatalException());
    EXPECT_FALSE(job.Finished());
    EXPECT_NE(job.FatalMessage().find("No space left on device"), std::string::npos) << job.FatalMessage();
}

TEST_F(TranscodeLoopTest, AnOutputWithNothingInItFailsAndIsRemoved) {
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    const std::string out = Out.File("empty.avi");
    ASSERT_EQ(job.Output(out, {{"t", "0"}}), 1);
    job.Run();
    EXPECT_TRUE(job.FatalException());
    EXPECT_NE(job.FatalMessage().find("nothing was written"), std::string::npos) << job.FatalMessage();
    EXPECT_FALSE(job.Finished());
    EXPECT_FALSE(FileExists(out));
}

TEST_F(TranscodeLoopTest, ACorruptStretchIsSkipped) {
    fixtures::TMediaSpec spec = fixtures::AviMpeg4Mp3();
    spec.Seconds = 4;
    const std::string in = Out.File("corrupt.avi");
    fixtures::WriteMedia(in, spec);
    {
        std::fstream f(in, std::ios::in | std::ios::out | std::ios::binary);
        const long size = fixtures::FileSize(in);
        f.seekp(size / 2);
        const std::string garbage(4096, '\x5a');
        f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    TTestJob job;
    ASSERT_TRUE(job.Input(in));
    const std::string out = Out.File("repaired.mkv");
    ASSERT_EQ(job.Output(out, {{"vcodec", "mpeg4"}}), 1);
    job.Run();
    EXPECT_FALSE(job.FatalException()) << job.FatalMessage();
    EXPECT_TRUE(job.Finished());
    const TFileFacts facts = ReadBack(out);
    ASSERT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
    EXPECT_NEAR(facts.Seconds, 4.0, 0.5);
}

TEST_F(TranscodeLoopTest, SubtitlesAreDecodedAndEncodedAgain) {
    const std::string srt = Out.File("cues.srt");
    fixtures::WriteTextFile(srt, "1\n00:00:00,200 --> 00:00:00,800\nFirst\n\n"
                                 "2\n00:00:01,000 --> 00:00:01,500\nSecond\n\n");
    for (const char* codec : {"", "copy"}) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        ASSERT_TRUE(job.Input(srt));
        const std::string out = Out.File("subtitled.mkv");
        TOptionList options = {{"vcodec", "mpeg4"}};
        if (*codec)
            options.emplace_back("scodec", codec);
        else
            options.emplace_back("scodec", "srt");
        ASSERT_EQ(job.Output(out, options), 1) << job.LastErrMsg();
        job.Run();
        ASSERT_FALSE(job.FatalException()) << codec << ": " << job.FatalMessage();
        const TFileFacts facts = ReadBack(out);
        const TStreamFacts* sub = facts.First(AVMEDIA_TYPE_SUBTITLE);
        ASSERT_TRUE(sub) << codec;
        EXPECT_EQ(sub->Codec, "subrip");
        EXPECT_EQ(sub->Packets, 2) << codec;
    }
}

} // namespace
