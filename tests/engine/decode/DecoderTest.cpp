#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DecodeTestMedia.h"
#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/InterruptCB.h"
#include "base/PlatformBridge.h"
#include "decode/FFDecode.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

TFileName Name(const std::string& APath) {
    return UTF8ToFileName(APath);
}

class DecoderTest : public TDecoderTest {
protected:
    void ExpectEmpty() {
        EXPECT_EQ(Decoder.FileHandle(), nullptr);
        EXPECT_EQ(Decoder.FileSize(), -1);
        EXPECT_EQ(Decoder.StreamCount(), -1);
        EXPECT_EQ(Decoder.ProgramCount(), -1);
        EXPECT_EQ(Decoder.AudioStreamCount(), -1);
        EXPECT_EQ(Decoder.VideoStreamCount(), -1);
        EXPECT_EQ(Decoder.SubtitleStreamCount(), -1);
        EXPECT_EQ(Decoder.FirstAudioStreamIndex(), -1);
        EXPECT_EQ(Decoder.FirstVideoStreamIndex(), -1);
        EXPECT_EQ(Decoder.FirstSubtitleStreamIndex(), -1);
    }
};

void ExpectResetVideo(const TVideoStreamInfo& AInfo) {
    EXPECT_EQ(AInfo.Language, "");
    EXPECT_EQ(AInfo.CodecName, "");
    EXPECT_EQ(AInfo.StartTime, -1);
    EXPECT_EQ(AInfo.StartTimeScaled, -1);
    EXPECT_EQ(AInfo.Duration, -1);
    EXPECT_EQ(AInfo.DurationScaled, -1);
    EXPECT_EQ(AInfo.BitRate, -1);
    EXPECT_EQ(AInfo.Width, -1);
    EXPECT_EQ(AInfo.Height, -1);
    EXPECT_EQ(AInfo.AspectRatio, -1.0f);
    EXPECT_EQ(AInfo.PixFmt, AV_PIX_FMT_NONE);
    EXPECT_EQ(AInfo.FrameRate.num, -1);
    EXPECT_EQ(AInfo.FrameRate.den, -1);
}

TEST_F(DecoderTest, FreshDecoderHoldsNothing) {
    ExpectEmpty();
    const TFileStreamInfo info = Decoder.FileStreamInfo();
    EXPECT_EQ(Decoder.LastErrMsg(), "file not loaded.");
    EXPECT_EQ(info.StartTime, -1);
    EXPECT_EQ(info.Duration, -1);
    EXPECT_EQ(info.BitRate, -1);
    EXPECT_EQ(info.TimeStamp, -1);
    EXPECT_EQ(info.Year, -1);
    EXPECT_EQ(info.Track, -1);
    EXPECT_EQ(info.Title + info.Author + info.Copyright + info.Comment + info.Album + info.Genre, "");
    ExpectResetVideo(Decoder.VideoStreamInfos(0));
    EXPECT_FALSE(Decoder.IsAudioStream(0));
    EXPECT_EQ(Decoder.FileInfoText(), "");
    EXPECT_EQ(Decoder.FormatName(), "");
    EXPECT_EQ(Decoder.FileName(), u"");
    ASSERT_FALSE(Logged.empty());
    EXPECT_EQ(Logged.back().Level, llWarning);
    EXPECT_EQ(Logged.back().Text, "file not loaded.");
}

struct TStandardCase {
    const char* File;
    const char* Format;
    int Streams, Audios, Videos, FirstAudio, FirstVideo;
    int Width, Height;
    AVRational FrameRate; // exact unless the container only knows an average
    int SampleRate, Channels;
    double Seconds;
    bool ExactRate = true;
    bool StreamDurations = true; // the container stores a duration per stream
};

class StandardMediaTest : public DecoderTest, public ::testing::WithParamInterface<TStandardCase> {};

TEST_P(StandardMediaTest, DescribesContainerAndFirstStreams) {
    const TStandardCase& c = GetParam();
    ASSERT_TRUE(Decoder.LoadFile(Name(Media(c.File)), "")) << Decoder.LastErrMsg();
    EXPECT_EQ(Decoder.FileName(), Name(Media(c.File)));
    EXPECT_EQ(Decoder.FormatName(), c.Format);
    EXPECT_FALSE(Decoder.FormatLongName().empty());
    EXPECT_EQ(Decoder.FileSize(), FileSize(Media(c.File)));
    EXPECT_EQ(Decoder.StreamCount(), c.Streams);
    EXPECT_EQ(Decoder.AudioStreamCount(), c.Audios);
    EXPECT_EQ(Decoder.VideoStreamCount(), c.Videos);
    EXPECT_EQ(Decoder.SubtitleStreamCount(), 0);
    EXPECT_EQ(Decoder.FirstAudioStreamIndex(), c.FirstAudio);
    EXPECT_EQ(Decoder.FirstVideoStreamIndex(), c.FirstVideo);
    EXPECT_EQ(Decoder.FirstSubtitleStreamIndex(), -1);
    EXPECT_EQ(Decoder.ProgramCount(), 0);
    EXPECT_EQ(Decoder.ForceFormat(), "");

    const TFileStreamInfo file = Decoder.FileStreamInfo();
    EXPECT_NEAR(file.Duration / 1e6, c.Seconds, 0.15);
    EXPECT_GT(file.BitRate, 0);

    if (c.FirstVideo >= 0) {
        const TVideoStreamInfo video = Decoder.FirstVideoStreamInfo();
        EXPECT_EQ(video.Width, c.Width);
        EXPECT_EQ(video.Height, c.Height);
        if (c.ExactRate) {
            EXPECT_EQ(video.FrameRate.num, c.FrameRate.num);
            EXPECT_EQ(video.FrameRate.den, c.FrameRate.den);
        } else {
            EXPECT_NEAR(av_q2d(video.FrameRate), av_q2d(c.FrameRate), 1.0);
        }
        EXPECT_EQ(video.PixFmt, AV_PIX_FMT_YUV420P);
        EXPECT_FALSE(video.CodecName.empty());
        if (c.StreamDurations)
            EXPECT_NEAR(video.DurationScaled / 1e6, c.Seconds, 0.15);
        else
            EXPECT_EQ(video.DurationScaled, -1);
        EXPECT_NE(video.StartTime, AV_NOPTS_VALUE);
        EXPECT_GE(video.StartTimeScaled, 0);
    }
    if (c.FirstAudio >= 0) {
        const TAudioStreamInfo audio = Decoder.FirstAudioStreamInfo();
        EXPECT_EQ(audio.SampleRate, c.SampleRate);
        EXPECT_EQ(audio.Channels, c.Channels);
        EXPECT_NE(audio.SampleFormat, AV_SAMPLE_FMT_NONE);
        EXPECT_FALSE(audio.CodecName.empty());
        if (c.StreamDurations)
            EXPECT_NEAR(audio.DurationScaled / 1e6, c.Seconds, 0.15);
        else
            EXPECT_EQ(audio.DurationScaled, -1);
    }
    EXPECT_TRUE(Logged.empty()) << Logged.front().Text;
}

INSTANTIATE_TEST_SUITE_P(
    Media, StandardMediaTest,
    ::testing::Values(
        TStandardCase{"clip.avi", "avi", 2, 1, 1, 1, 0, 320, 240, {25, 1}, 44100, 2, 2.0},
        // The average rate of MP4 counts the frames over the track's length.
        TStandardCase{
            "clip.mp4", "mov,mp4,m4a,3gp,3g2,mj2", 2, 1, 1, 1, 0, 320, 240, {25, 1}, 48000, 2, 2.0, false},
        TStandardCase{"tone.wav", "wav", 1, 1, 0, 0, -1, 0, 0, {}, 44100, 2, 2.0},
        TStandardCase{"song.mp3", "mp3", 1, 1, 0, 0, -1, 0, 0, {}, 44100, 2, 3.0},
        TStandardCase{
            "two.mkv", "matroska,webm", 3, 1, 2, 2, 0, 320, 240, {25, 1}, 44100, 2, 2.0, true, false},
        TStandardCase{"ntsc.avi", "avi", 1, 0, 1, -1, 0, 320, 240, {30000, 1001}, 0, 0, 2.0},
        TStandardCase{"odd.avi", "avi", 1, 0, 1, -1, 0, 175, 97, {25, 1}, 0, 0, 1.0}),
    [](const auto& info) {
        std::string name = info.param.File;
        return name.substr(0, name.find('.')) + "_" + name.substr(name.find('.') + 1);
    });

TEST_F(DecoderTest, AudioOnlyFileHasNoVideoToDescribe) {
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("song.mp3"))));
    EXPECT_EQ(Decoder.FirstVideoStreamIndex(), -1);
    EXPECT_EQ(Decoder.VideoStreamCount(), 0);

    TVideoStreamInfo video = Decoder.FirstVideoStreamInfo();
    EXPECT_EQ(Decoder.LastErrMsg(), "no video stream.");
    ExpectResetVideo(video);

    // What adding a file does when no stream is a video stream: it asks for the index
    // one past the last and shows the reset size and rate (-1x-1, -1/-1).
    video = Decoder.VideoStreamInfos(Decoder.StreamCount());
    EXPECT_EQ(Decoder.LastErrMsg(), "stream index #1 is invalid.");
    ExpectResetVideo(video);
    ASSERT_FALSE(Logged.empty());
    EXPECT_EQ(Logged.back().Level, llError);
    EXPECT_EQ(Logged.back().Text, "stream index #1 is invalid.");
}

TEST_F(DecoderTest, AskingForTheWrongKindOfStreamReportsAndKeepsTheRecordReset) {
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("tone.wav"))));
    ExpectResetVideo(Decoder.VideoStreamInfos(0));
    EXPECT_EQ(Decoder.LastErrMsg(), "stream #0 is not video stream.");
    EXPECT_EQ(Decoder.SubtitleStreamInfos(0).CodecName, "");
    EXPECT_EQ(Decoder.LastErrMsg(), "stream #0 is not subtitle stream.");
    EXPECT_EQ(Decoder.FirstSubtitleStreamInfo().Language, "");
    EXPECT_EQ(Decoder.LastErrMsg(), "no subtitle stream.");

    ASSERT_TRUE(Decoder.LoadFile(Name(Media("clip.avi"))));
    const TAudioStreamInfo audio = Decoder.AudioStreamInfos(0);
    EXPECT_EQ(Decoder.LastErrMsg(), "stream #0 is not audio stream.");
    EXPECT_EQ(audio.SampleRate, -1);
    EXPECT_EQ(audio.Channels, -1);
    EXPECT_EQ(audio.SampleFormat, AV_SAMPLE_FMT_NONE);
    EXPECT_EQ(Decoder.AudioStreamInfos(1).SampleRate, 44100);

    EXPECT_TRUE(Decoder.IsVideoStream(0));
    EXPECT_TRUE(Decoder.IsAudioStream(1));
    EXPECT_FALSE(Decoder.IsSubtitleStream(1));
    for (int index : {Decoder.StreamCount(), -1}) {
        EXPECT_FALSE(Decoder.IsVideoStream(index));
        EXPECT_EQ(Decoder.LastErrMsg(), "stream index #" + std::to_string(index) + " is invalid.");
    }
}

TEST_F(DecoderTest, StreamTimesComeRawAndInMicroseconds) {
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("clip.mp4"))));
    AVStream* st = Decoder.FileHandle()->streams[1];
    const TAudioStreamInfo audio = Decoder.AudioStreamInfos(1);
    EXPECT_EQ(audio.StartTime, st->start_time);
    EXPECT_EQ(audio.Duration, st->duration);
    EXPECT_EQ(audio.DurationScaled, st->duration * 1000000 / st->time_base.den * st->time_base.num);

    // A time base without a denominator is repaired instead of dividing by zero.
    st->time_base = {2, 0};
    const TAudioStreamInfo repaired = Decoder.AudioStreamInfos(1);
    EXPECT_EQ(repaired.DurationScaled, st->duration * 1000000);
    EXPECT_EQ(st->time_base.den, 2);
    st->time_base = {0, 0};
    EXPECT_EQ(Decoder.AudioStreamInfos(1).DurationScaled, 0);
    EXPECT_EQ(st->time_base.den, 1);

    // Unknown times are copied as they are; the scaled fields stay -1.
    st->start_time = AV_NOPTS_VALUE;
    st->duration = AV_NOPTS_VALUE;
    const TAudioStreamInfo unknown = Decoder.AudioStreamInfos(1);
    EXPECT_EQ(unknown.StartTime, AV_NOPTS_VALUE);
    EXPECT_EQ(unknown.StartTimeScaled, -1);
    EXPECT_EQ(unknown.Duration, AV_NOPTS_VALUE);
    EXPECT_EQ(unknown.DurationScaled, -1);
}

TEST_F(DecoderTest, UnknownFormatNameFailsQuietly) {
    EXPECT_FALSE(Decoder.LoadFile(Name(Media("clip.avi")), "nosuchformat"));
    EXPECT_EQ(Decoder.LastErrMsg(), "Unknown input format: nosuchformat");
    EXPECT_TRUE(Logged.empty());
    ExpectEmpty();

    ASSERT_TRUE(Decoder.LoadFile(Name(Media("clip.avi")), "avi"));
    EXPECT_EQ(Decoder.ForceFormat(), "avi");
    Decoder.CloseFile();
    EXPECT_EQ(Decoder.ForceFormat(), "");
    ExpectEmpty();
}

struct TBadInput {
    const char* Name;
    std::string (*Make)(const std::string& ADir); // writes the input, returns its path
    const char* Message;                          // after "<path>: "
    bool Logged;                                  // open failures are logged, analysis failures not
    const char* Format = "";                      // forced demuxer
};

std::string RandomBytes(const std::string& APath, int ASeed, size_t ASize) {
    std::mt19937 random(ASeed);
    std::string data(ASize, '\0');
    for (char& c : data)
        c = char(random());
    WriteTextFile(APath, data);
    return APath;
}

// The first bytes of an AVI up to and including its "movi" list tag: the header
// describes two streams, but no packet follows.
std::string HeaderOnlyAvi(const std::string& ADir) {
    std::ifstream in(Media("clip.avi"), std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), {});
    const std::string path = ADir + "/header.avi";
    WriteTruncatedCopy(Media("clip.avi"), path, long(all.find("movi") + 4));
    return path;
}

const TBadInput BadInputs[] = {
    {"Missing", [](const std::string& d) { return d + "/missing.avi"; }, "No such file or directory", true},
    {"Vanished",
     [](const std::string& d) {
         WriteMedia(d + "/gone.avi", OddSize());
         std::filesystem::remove(d + "/gone.avi");
         return d + "/gone.avi";
     },
     "No such file or directory", true},
    {"Empty",
     [](const std::string& d) {
         WriteTextFile(d + "/empty.avi", "");
         return d + "/empty.avi";
     },
     "Invalid data found when processing input", true},
    {"Text",
     [](const std::string& d) {
         WriteTextFile(d + "/notes.mp4", "This is not a video file.\n");
         return d + "/notes.mp4";
     },
     "Invalid data found when processing input", true},
    {"Truncated",
     [](const std::string& d) {
         WriteTruncatedCopy(Media("clip.avi"), d + "/cut.avi", 300);
         return d + "/cut.avi";
     },
     "Invalid data found when processing input", true},
    {"HeaderOnlyWav",
     [](const std::string& d) {
         WriteTruncatedCopy(Media("tone.wav"), d + "/header.wav", 44);
         return d + "/header.wav";
     },
     "Invalid data found when processing input", true},
    {"HeaderOnlyAvi", HeaderOnlyAvi, "no media data found", false},
    {"RandomSmall", [](const std::string& d) { return RandomBytes(d + "/noise.avi", 3, 18432); },
     "Invalid data found when processing input", true},
    // The demuxer of the name's extension finds a chance sync word in the noise.
    {"RandomClaimedByName", [](const std::string& d) { return RandomBytes(d + "/noise.ac3", 1, 96845); },
     "Invalid data found when processing input", true},
    {"RandomForcedMp3", [](const std::string& d) { return RandomBytes(d + "/noise.mp3", 7, 100352); },
     "could not find codec parameters", false, "mp3"},
    {"WavForcedAsMpegts", [](const std::string&) { return Media("tone.wav"); },
     "could not find codec parameters", false, "mpegts"},
    {"Directory", [](const std::string& d) { return d; }, "Is a directory", true},
    // Opens, but every read fails.
    {"Unreadable", [](const std::string&) { return std::string("/proc/self/mem"); }, "I/O error", true},
};

class BadInputTest : public DecoderTest, public ::testing::WithParamInterface<TBadInput> {};

TEST_P(BadInputTest, FailsWithTheReasonAndLeavesTheDecoderEmpty) {
    const TBadInput& c = GetParam();
    TTempDir dir;
    const std::string path = c.Make(dir.Path());
    // The file loaded before is closed even though the next one fails.
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("clip.avi"))));
    EXPECT_FALSE(Decoder.LoadFile(Name(path), c.Format));
    EXPECT_EQ(Decoder.LastErrMsg(), path + ": " + c.Message);
    ExpectEmpty();
    ASSERT_EQ(Logged.size(), c.Logged ? 1u : 0u);
    if (c.Logged) {
        EXPECT_EQ(Logged[0].Level, llError);
        EXPECT_EQ(Logged[0].Text, Decoder.LastErrMsg());
    }
    // The failed load left nothing registered for this thread.
    EXPECT_FALSE(InterruptDispatcher().Interrupt(CurrentThreadID()));
}

INSTANTIATE_TEST_SUITE_P(Files, BadInputTest, ::testing::ValuesIn(BadInputs),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DecoderTest, FileWithoutReadPermissionFails) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    TTempDir dir;
    const std::string path = dir.File("secret.avi");
    WriteMedia(path, OddSize());
    ::chmod(path.c_str(), 0);
    EXPECT_FALSE(Decoder.LoadFile(Name(path)));
    EXPECT_EQ(Decoder.LastErrMsg(), path + ": Permission denied");
}

TEST_F(DecoderTest, UnicodeFileName) {
    TTempDir dir;
    const std::string path = dir.File("Тест 测试 clip.avi");
    WriteMedia(path, OddSize());
    const TFileName name = Name(path);
    ASSERT_TRUE(Decoder.LoadFile(name)) << Decoder.LastErrMsg();
    EXPECT_EQ(Decoder.FileName(), name);
    EXPECT_EQ(Decoder.FileSize(), FileSize(path));
    EXPECT_EQ(Decoder.FirstVideoStreamInfo().Width, 175);

    // The same file through the engine's own I/O.
    ASSERT_TRUE(Decoder.LoadFile(u"unicode:" + name)) << Decoder.LastErrMsg();
    EXPECT_EQ(Decoder.FileSize(), FileSize(path));
    EXPECT_EQ(Decoder.FileName(), u"unicode:" + name);
}

// A server that accepts one connection, answers with AReply (nothing when empty) and
// then keeps the connection open without sending more until it is destroyed.
class TStallingServer {
public:
    explicit TStallingServer(std::string AReply) : FReply(std::move(AReply)) {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(FSocket, 4);
        socklen_t len = sizeof addr;
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len);
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~TStallingServer() {
        {
            std::lock_guard lock(FLock);
            FStop = true;
        }
        FStopped.notify_all();
        ::shutdown(FSocket, SHUT_RDWR);
        FThread.join();
        ::close(FSocket);
    }
    int Port() const { return FPort; }

private:
    void Serve() {
        const int client = ::accept(FSocket, nullptr, nullptr);
        if (client < 0)
            return;
        char request[4096];
        (void)::recv(client, request, sizeof request, 0);
        if (!FReply.empty())
            (void)::send(client, FReply.data(), FReply.size(), MSG_NOSIGNAL);
        std::unique_lock lock(FLock);
        FStopped.wait(lock, [this] { return FStop; });
        ::close(client);
    }
    std::string FReply;
    int FSocket = -1;
    int FPort = 0;
    std::thread FThread;
    std::mutex FLock;
    std::condition_variable FStopped;
    bool FStop = false; // FLock
};

std::string FilePrefix(const std::string& APath, size_t ABytes) {
    std::ifstream in(APath, std::ios::binary);
    std::string data(ABytes, '\0');
    in.read(data.data(), std::streamsize(ABytes));
    data.resize(size_t(in.gcount()));
    return data;
}

TEST_F(DecoderTest, ReadTimeOutEndsAStalledOpen) {
    // No answer at all (stalls the opening), and an answer that stops right after the
    // AVI header (stalls the analysis).
    const std::string header = "HTTP/1.0 200 OK\r\nContent-Type: video/x-msvideo\r\n\r\n";
    const std::string avi = FilePrefix(Media("clip.avi"), 1 << 20);
    for (const std::string& reply : {std::string(), header + avi.substr(0, avi.find("movi") + 4)}) {
        TStallingServer server(reply);
        const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/clip.avi";
        {
            TFFDecoder decoder;
            decoder.SetReadTimeout(300);
            const auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(decoder.LoadFile(Name(url)));
            const auto elapsed = std::chrono::steady_clock::now() - start;
            EXPECT_EQ(decoder.LastErrMsg(), url + ": connecting/reading timeout") << reply.size();
            // Without the time-out the call would wait for the server forever.
            EXPECT_LT(elapsed, std::chrono::seconds(20));
            EXPECT_EQ(decoder.FileHandle(), nullptr);
        }
        // The check went with the load: asking now must not reach the gone decoder.
        EXPECT_FALSE(InterruptDispatcher().Interrupt(CurrentThreadID()));
    }
}

// Opens a file the way another component would, to attach it.
struct TOwnedInput {
    explicit TOwnedInput(const std::string& APath) {
        AVFormatContext* raw = nullptr;
        if (OpenInputFile(&raw, APath, nullptr, nullptr) == 0)
            Input.reset(raw);
        if (Input)
            ff::avformat_find_stream_info(Input.get(), nullptr);
    }
    TInputFilePtr Input;
};

TEST_F(DecoderTest, AttachedContextIsDescribedButNeverClosed) {
    TOwnedInput owner(Media("clip.avi"));
    ASSERT_TRUE(owner.Input);
    {
        TFFDecoder decoder;
        ASSERT_TRUE(decoder.LoadFile(Name(Media("song.mp3"))));
        decoder.SetFileHandle(owner.Input.get());
        EXPECT_EQ(decoder.FileHandle(), owner.Input.get());
        EXPECT_EQ(decoder.StreamCount(), 2);
        EXPECT_EQ(decoder.FirstVideoStreamIndex(), 0);
        EXPECT_EQ(decoder.FileSize(), FileSize(Media("clip.avi")));
        EXPECT_EQ(decoder.FormatName(), "avi");
        EXPECT_EQ(decoder.FirstVideoStreamInfo().Width, 320);

        // Attaching the same context again changes nothing.
        owner.Input->streams[0]->codecpar->codec_type = AVMEDIA_TYPE_DATA;
        decoder.SetFileHandle(owner.Input.get());
        EXPECT_EQ(decoder.VideoStreamCount(), 1);
        owner.Input->streams[0]->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;

        decoder.CloseFile();
        EXPECT_EQ(decoder.FileHandle(), nullptr);
        decoder.SetFileHandle(owner.Input.get());
    } // the decoder goes away attached
    // Still open and readable: the sanitizer build would catch a freed context here.
    TPacketPtr packet(ff::av_packet_alloc());
    EXPECT_GE(ff::av_read_frame(owner.Input.get(), packet.get()), 0);

    TFFDecoder decoder;
    decoder.SetFileHandle(owner.Input.get());
    decoder.SetFileHandle(nullptr);
    ExpectEmpty();
}

TEST_F(DecoderTest, FrameRateIsTheAverageWhenKnownElseTheBaseRate) {
    TOwnedInput owner(Media("clip.avi"));
    ASSERT_TRUE(owner.Input);
    AVStream* st = owner.Input->streams[0];
    Decoder.SetFileHandle(owner.Input.get());
    st->r_frame_rate = {25, 1};
    st->avg_frame_rate = {50, 1};
    EXPECT_EQ(av_cmp_q(Decoder.FirstVideoStreamInfo().FrameRate, {50, 1}), 0);
    for (AVRational avg : {AVRational{0, 1}, AVRational{50, 0}}) {
        st->avg_frame_rate = avg;
        EXPECT_EQ(av_cmp_q(Decoder.FirstVideoStreamInfo().FrameRate, {25, 1}), 0);
    }
}

TEST_F(DecoderTest, AspectRatioFromSampleAspectRatio) {
    // The H.264 fixture does not say its sample aspect ratio; the MPEG-4 one says 1:1.
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("clip.mp4"))));
    EXPECT_EQ(Decoder.FirstVideoStreamInfo().AspectRatio, 0.0f);
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("odd.avi"))));
    EXPECT_FLOAT_EQ(Decoder.FirstVideoStreamInfo().AspectRatio, 175.0f / 97);

    TOwnedInput owner(Media("clip.avi"));
    ASSERT_TRUE(owner.Input);
    AVCodecParameters* par = owner.Input->streams[0]->codecpar;
    Decoder.SetFileHandle(owner.Input.get());
    par->sample_aspect_ratio = {4, 3};
    EXPECT_FLOAT_EQ(Decoder.FirstVideoStreamInfo().AspectRatio, 320.0f * 4 / 3 / 240);
    par->sample_aspect_ratio = {0, 1};
    EXPECT_EQ(Decoder.FirstVideoStreamInfo().AspectRatio, 0.0f);
}

TEST_F(DecoderTest, BeforeFindStreamInfoRunsOnTheMainThreadBeforeAnalysis) {
    for (bool inMainThread : {true, false}) {
        Decoder.SetTriggerEventInMainThread(inMainThread);
        std::thread::id raisedOn;
        void* sender = nullptr;
        int pixelFormatBeforeAnalysis = 0;
        Decoder.OnBeforeFindStreamInfo = [&](void* ASender, AVFormatContext* AContext) {
            raisedOn = std::this_thread::get_id();
            sender = ASender;
            // The AVI header does not tell the pixel format; decoding a frame does.
            pixelFormatBeforeAnalysis = AContext->streams[0]->codecpar->format;
        };
        std::atomic<bool> done = false;
        bool loaded = false;
        std::thread::id worker;
        std::thread thread([&] {
            worker = std::this_thread::get_id();
            loaded = Decoder.LoadFile(Name(Media("clip.avi")));
            done = true;
        });
        WaitProcessingMessages([&] { return done.load(); });
        thread.join();
        EXPECT_TRUE(loaded) << Decoder.LastErrMsg();
        EXPECT_EQ(sender, &Decoder);
        EXPECT_EQ(raisedOn, inMainThread ? std::this_thread::get_id() : worker);
        EXPECT_EQ(pixelFormatBeforeAnalysis, AV_PIX_FMT_NONE);
        EXPECT_EQ(Decoder.FirstVideoStreamInfo().PixFmt, AV_PIX_FMT_YUV420P);
    }
}

TEST_F(DecoderTest, ExceptionFromTheEventLeavesTheDecoderEmpty) {
    Decoder.OnBeforeFindStreamInfo = [](void*, AVFormatContext*) {
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(Decoder.LoadFile(Name(Media("clip.avi"))), std::runtime_error);
    ExpectEmpty();
}

// Reads the packets that LoadFile left for the decoding side.
class TPacketReader : public TFFDecoder {
public:
    int Read(AVPacket* APacket) { return ReadPacket(APacket); }
};

TEST_F(DecoderTest, NoPacketIsLostToTheDataCheck) {
    const auto count = [](auto&& ARead) {
        TPacketPtr packet(ff::av_packet_alloc());
        std::vector<int64_t> positions;
        while (ARead(packet.get()) >= 0) {
            positions.push_back(packet->pos);
            ff::av_packet_unref(packet.get());
        }
        return positions;
    };
    TOwnedInput plain(Media("clip.avi"));
    ASSERT_TRUE(plain.Input);
    const auto expected = count([&](AVPacket* p) { return ff::av_read_frame(plain.Input.get(), p); });

    TPacketReader reader;
    ASSERT_TRUE(reader.LoadFile(Name(Media("clip.avi"))));
    const auto actual = count([&](AVPacket* p) { return reader.Read(p); });
    EXPECT_EQ(actual, expected);
    EXPECT_GT(actual.size(), 50u);
}

TEST_F(DecoderTest, ContainerMetadataFillsTheFileRecord) {
    TTempDir dir;
    const std::string path = dir.File("tagged.mkv");
    TMediaSpec spec = TwoVideoStreams();
    spec.Metadata = {
        {"title", "A Title"},      {"author", "An Author"}, {"copyright", "(c) Nobody"},
        {"comment", "No comment"}, {"album", "An Album"},   {"genre", "Test"},
        {"year", "2011"},          {"track", "7/12"},       {"creation_time", "2020-05-06T07:08:09.000000Z"}};
    WriteMedia(path, spec);
    ASSERT_TRUE(Decoder.LoadFile(Name(path)));
    const TFileStreamInfo info = Decoder.FileStreamInfo();
    EXPECT_EQ(info.Title, "A Title");
    EXPECT_EQ(info.Author, "An Author");
    EXPECT_EQ(info.Copyright, "(c) Nobody");
    EXPECT_EQ(info.Comment, "No comment");
    EXPECT_EQ(info.Album, "An Album");
    EXPECT_EQ(info.Genre, "Test");
    EXPECT_EQ(info.Year, 2011);
    EXPECT_EQ(info.Track, 0); // "7/12" is not a number
    EXPECT_EQ(info.TimeStamp, 1588748889);
    EXPECT_EQ(info.StartTime, 0);

    // Without the tags the numbers read 0 and the texts stay empty.
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("ntsc.avi"))));
    const TFileStreamInfo plain = Decoder.FileStreamInfo();
    EXPECT_EQ(plain.Year, 0);
    EXPECT_EQ(plain.Track, 0);
    EXPECT_EQ(plain.TimeStamp, 0);
    EXPECT_EQ(plain.Title, "");
}

TEST_F(DecoderTest, ContainerWithoutDurationReportsMinusOne) {
    ASSERT_TRUE(Decoder.LoadFile(Name(Media("clip.avi"))));
    Decoder.FileHandle()->duration = AV_NOPTS_VALUE;
    Decoder.FileHandle()->start_time = AV_NOPTS_VALUE;
    const TFileStreamInfo info = Decoder.FileStreamInfo();
    EXPECT_EQ(info.Duration, -1);
    EXPECT_EQ(info.StartTime, -1);
}

// A video elementary stream has no container to tell its length, and the bit rate in its header
// is a maximum: the library's guess from it is far too short. The file is read instead.
TEST_F(DecoderTest, LengthGuessedFromTheBitRateIsMeasured) {
    TTempDir dir;
    const std::string path = dir.File("raw.m1v");
    WriteMedia(path, RawMpeg1Video());
    {
        TOwnedInput plain(path);
        ASSERT_TRUE(plain.Input);
        ASSERT_EQ(plain.Input->duration_estimation_method, AVFMT_DURATION_FROM_BITRATE);
        ASSERT_LT(plain.Input->duration, 1000000) << "the library's guess is no longer wrong";
    }
    ASSERT_TRUE(Decoder.LoadFile(Name(path)));
    EXPECT_NEAR(Decoder.FileStreamInfo().Duration, 5400000, 40000);
    EXPECT_NEAR(Decoder.FirstVideoStreamInfo().DurationScaled, 5400000, 40000);
    // The measure reads a file of its own: the decoder's file still starts at its first packet.
    TPacketReader reader;
    ASSERT_TRUE(reader.LoadFile(Name(path)));
    TPacketPtr packet(ff::av_packet_alloc());
    ASSERT_EQ(reader.Read(packet.get()), 0);
    EXPECT_EQ(packet->pos, 0);
}

// Unloads one library at a time and loads the set again before the next case.
TEST_F(DecoderTest, MissingLibrariesRaiseTheirText) {
    const struct {
        TLibrary Lib;
        const char* Text;
    } cases[] = {{avCodec, "LibAVCodec not loaded."},
                 {avFormat, "LibAVFormat not loaded."},
                 {avUtil, "LibAVUtil not loaded."},
                 {swScale, "LibSwScale not loaded."}};
    // Never looked at: the check comes first. No real context stays open while a
    // library is away.
    alignas(AVFormatContext) unsigned char storage[sizeof(AVFormatContext)] = {};
    auto* context = reinterpret_cast<AVFormatContext*>(storage);
    const TFileName clip = Name(Media("clip.avi")); // written while every library is there
    for (const auto& c : cases) {
        FFLoader().Unload(c.Lib);
        EXPECT_FALSE(Decoder.AVLibLoaded());
        try {
            Decoder.LoadFile(clip);
            ADD_FAILURE() << "LoadFile did not throw for " << c.Text;
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), c.Text);
        }
        try {
            Decoder.SetFileHandle(context);
            ADD_FAILURE() << "SetFileHandle did not throw for " << c.Text;
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), c.Text);
        }
        // Detaching needs no library.
        EXPECT_NO_THROW(Decoder.SetFileHandle(nullptr));
        ASSERT_TRUE(Decoder.LoadAVLib("")) << Decoder.LastErrMsg();
        EXPECT_TRUE(Decoder.AVLibLoaded());
    }
    // The decoder does not need the device and filter libraries.
    FFLoader().Unload(avDevice);
    FFLoader().Unload(avFilter);
    EXPECT_TRUE(Decoder.AVLibLoaded());
    EXPECT_TRUE(Decoder.LoadFile(clip));
}

TEST_F(DecoderTest, LoadAVLibReportsTheLoadersMessage) {
    TTempDir dir;
    // A folder whose codec library is not a library at all.
    WriteTextFile(dir.File(LibraryFileName(avCodec)), "not a shared object");
    Decoder.UnloadAVLib();
    EXPECT_FALSE(Decoder.LoadAVLib(dir.Path()));
    EXPECT_FALSE(Decoder.LastErrMsg().empty());
    EXPECT_EQ(Decoder.LastErrMsg(), FFLoader().LastErrMsg());
    ASSERT_TRUE(Decoder.LoadAVLib("")) << Decoder.LastErrMsg();
}

} // namespace
