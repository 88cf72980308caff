// The audio output on real files: decoding through the callback to s16, volume and mute,
// the hook, pause, the sample ring, a running device, and the opening errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/SDLLoader.h"
#include "play/PlayerAudio.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

TTempDir* g_dir = nullptr;
TSDLLoader* g_sdl = nullptr;

// The audio stream of a file with its opened decoder.
class TAudioSource {
public:
    explicit TAudioSource(const std::string& APath) {
        if (ff::avformat_open_input(&FFormat, APath.c_str(), nullptr, nullptr) < 0 ||
            ff::avformat_find_stream_info(FFormat, nullptr) < 0)
            return;
        for (unsigned i = 0; i < FFormat->nb_streams; i++)
            if (FFormat->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                FStream = FFormat->streams[i];
        if (!FStream)
            return;
        const AVCodec* codec = ff::avcodec_find_decoder(FStream->codecpar->codec_id);
        Decoder = ff::avcodec_alloc_context3(codec);
        ff::avcodec_parameters_to_context(Decoder, FStream->codecpar);
        Decoder->pkt_timebase = FStream->time_base;
        if (ff::avcodec_open2(Decoder, codec, nullptr) < 0)
            ff::avcodec_free_context(&Decoder);
    }
    ~TAudioSource() {
        ff::avcodec_free_context(&Decoder);
        ff::avformat_close_input(&FFormat);
    }
    AVRational TimeBase() const { return FStream->time_base; }
    // Starts AQueue and puts every audio packet of the file into it.
    void QueueAll(TPacketQueue& AQueue) {
        AQueue.Start();
        AVPacket* packet = ff::av_packet_alloc();
        while (ff::av_read_frame(FFormat, packet) >= 0) {
            if (packet->stream_index == FStream->index)
                AQueue.Put(packet);
            ff::av_packet_unref(packet);
        }
        ff::av_packet_free(&packet);
    }

    AVCodecContext* Decoder = nullptr;

private:
    AVFormatContext* FFormat = nullptr;
    AVStream* FStream = nullptr;
};

// Everything one audio output needs, on the SDL audio driver named in the fixture.
struct TOutput {
    TPacketQueue Queue;
    TPlayerTiming Timing;
    TPlayerAudioControls Controls;
    TSampleRing Ring;
    std::vector<uint8_t> Hooked; // what the hook saw, in order
    std::vector<int64_t> HookPTS;
    int HookChannels = 0;
    std::function<void(uint8_t*, int)> Change; // lets a test change the samples
    TPlayerAudio Audio{*g_sdl,
                       Queue,
                       Timing,
                       Controls,
                       Ring,
                       [this](int64_t APTS, uint8_t* ASample, int ASize, int, int AChannels) {
                           HookPTS.push_back(APTS);
                           HookChannels = AChannels;
                           if (Change)
                               Change(ASample, ASize);
                           Hooked.insert(Hooked.end(), ASample, ASample + ASize);
                       }};

    // Drives the callback by hand in device-sized chunks until the queue has run dry;
    // returns what the device would have played.
    std::vector<uint8_t> Play() {
        std::vector<uint8_t> played;
        std::vector<uint8_t> chunk(4096);
        size_t hooked = 0;
        int dry = 0;
        while (dry < 4) {
            Audio.FillBuffer(chunk.data(), static_cast<int>(chunk.size()));
            played.insert(played.end(), chunk.begin(), chunk.end());
            dry = Hooked.size() == hooked ? dry + 1 : 0;
            hooked = Hooked.size();
        }
        return played;
    }
};

int16_t Sample(const std::vector<uint8_t>& ABytes, size_t AIndex) {
    int16_t s;
    std::memcpy(&s, ABytes.data() + 2 * AIndex, 2);
    return s;
}

class PlayerAudioTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(PlayerLibraries)) << FFLoader().LastErrMsg();
        g_sdl = new TSDLLoader;
        ASSERT_TRUE(g_sdl->Load("", "libSDL2-2.0.so.0")) << g_sdl->LastErrMsg();
        g_dir = new TTempDir;
        WriteMedia(g_dir->File("tone.wav"), WavPcm());
        WriteMedia(g_dir->File("song.mp3"), Mp3AudioOnly());
        WriteMedia(g_dir->File("three.wav"), TinyWav());
    }
    static void TearDownTestSuite() {
        delete g_dir;
        g_dir = nullptr;
        delete g_sdl;
        g_sdl = nullptr;
    }
    // The dummy driver plays in real time and asks nothing while paused, so a test can
    // drive the callback itself.
    void StartSDL(const char* ADriver = "dummy") {
        setenv("SDL_AUDIODRIVER", ADriver, 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        setenv("SDL_DISKAUDIOFILE", g_dir->File("disk.raw").c_str(), 1);
        ASSERT_EQ(g_sdl->SDL_Init(SDL_INIT_AUDIO), 0) << g_sdl->SDL_GetError();
    }
    void TearDown() override { g_sdl->SDL_Quit(); }
};

} // namespace

TEST_F(PlayerAudioTest, FloatPlanarFilePlaysAsS16OfItsLength) {
    StartSDL();
    TAudioSource source(g_dir->File("song.mp3"));
    ASSERT_NE(source.Decoder, nullptr);
    ASSERT_EQ(source.Decoder->sample_fmt, AV_SAMPLE_FMT_FLTP);
    TOutput out;
    out.Controls.ShowMode = 1;
    ASSERT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), 0) << out.Audio.LastErrMsg();
    source.QueueAll(out.Queue);
    const std::vector<uint8_t> played = out.Play();

    // 3 s at 44.1 kHz, two channels of two bytes, give or take the coder's padding.
    const double expected = 3.0 * 44100 * 2 * 2;
    EXPECT_NEAR(double(out.Hooked.size()), expected, expected * 0.02);
    int peak = 0;
    for (size_t i = 0; i < out.Hooked.size() / 2; i++)
        peak = std::max(peak, std::abs(int(Sample(out.Hooked, i))));
    EXPECT_GT(peak, 4000); // the tone, not silence or noise from a wrong format
    EXPECT_EQ(std::memcmp(played.data(), out.Hooked.data(), out.Hooked.size()), 0);
    EXPECT_TRUE(
        std::all_of(played.begin() + out.Hooked.size(), played.end(), [](uint8_t b) { return b == 0; }));

    // Hook times run from the start in microseconds; the clock ends at the clip's end.
    ASSERT_GE(out.HookPTS.size(), 2u);
    EXPECT_NEAR(out.HookPTS.front(), 0, 30000);
    EXPECT_TRUE(std::is_sorted(out.HookPTS.begin(), out.HookPTS.end()));
    EXPECT_NEAR(out.Timing.audio_clock, 3.0, 0.06);
    std::vector<int16_t> ring(TSampleRing::Size);
    EXPECT_EQ(out.Ring.CopyTo(ring.data()), int(out.Hooked.size() / 2 % TSampleRing::Size));
}

TEST_F(PlayerAudioTest, FlushMarkerRestartsTheDecoderAfterASeek) {
    StartSDL();
    TAudioSource source(g_dir->File("song.mp3"));
    ASSERT_NE(source.Decoder, nullptr);
    TOutput out;
    ASSERT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), 0) << out.Audio.LastErrMsg();
    source.QueueAll(out.Queue);
    AVPacket* end = ff::av_packet_alloc(); // the end of input: the decoder drains and stops
    out.Queue.Put(end);
    ff::av_packet_free(&end);
    out.Play();
    ASSERT_NEAR(out.Timing.audio_clock, 3.0, 0.06);

    // Back to the start, as a seek does: the queue is flushed and marked, then refilled.
    TAudioSource again(g_dir->File("song.mp3"));
    again.QueueAll(out.Queue);
    const size_t before = out.HookPTS.size();
    out.Hooked.clear();
    out.Play();
    ASSERT_GT(out.HookPTS.size(), before);
    EXPECT_LT(out.HookPTS[before], 100000);
    const double expected = 3.0 * 44100 * 2 * 2;
    EXPECT_NEAR(double(out.Hooked.size()), expected, expected * 0.02);
    EXPECT_NEAR(out.Timing.audio_clock, 3.0, 0.06);
}

TEST_F(PlayerAudioTest, VolumeAndMuteScaleWhatIsPlayedWhileTheClockGoesOn) {
    StartSDL();
    struct {
        int volume;
        bool mute;
        int divisor; // 0: silence
    } cases[] = {{128, false, 1}, {64, false, 2}, {0, false, 0}, {128, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " mute " << c.mute);
        TAudioSource source(g_dir->File("tone.wav"));
        ASSERT_NE(source.Decoder, nullptr);
        TOutput out;
        out.Controls.Volume = c.volume;
        out.Controls.Mute = c.mute;
        ASSERT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), 0) << out.Audio.LastErrMsg();
        source.QueueAll(out.Queue);
        const std::vector<uint8_t> played = out.Play();

        ASSERT_NEAR(double(out.Hooked.size()), 2.0 * 44100 * 4, 4096);
        EXPECT_NEAR(out.Timing.audio_clock, 2.0, 0.01);
        int worst = 0;
        for (size_t i = 0; i < out.Hooked.size() / 2; i++) {
            const int want = c.divisor ? Sample(out.Hooked, i) / c.divisor : 0;
            worst = std::max(worst, std::abs(Sample(played, i) - want));
        }
        EXPECT_LE(worst, c.divisor == 2 ? 1 : 0);
    }
}

TEST_F(PlayerAudioTest, HookChangesSamplesBeforeTheyPlayAndPausePlaysSilence) {
    StartSDL();
    TAudioSource source(g_dir->File("tone.wav"));
    ASSERT_NE(source.Decoder, nullptr);
    TOutput out;
    ASSERT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), 0) << out.Audio.LastErrMsg();
    source.QueueAll(out.Queue);

    std::vector<uint8_t> chunk(4096, 0xee);
    out.Timing.paused = true;
    out.Audio.FillBuffer(chunk.data(), 4096);
    EXPECT_TRUE(out.Hooked.empty());
    EXPECT_TRUE(std::all_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b == 0; }));

    out.Timing.paused = false;
    out.Change = [](uint8_t* ASample, int ASize) { std::memset(ASample, 0x11, ASize); };
    out.Audio.FillBuffer(chunk.data(), 4096);
    EXPECT_FALSE(out.Hooked.empty());
    EXPECT_TRUE(std::all_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b == 0x11; }));
}

TEST_F(PlayerAudioTest, RunningDeviceDrainsTheQueue) {
    StartSDL("disk");
    TAudioSource source(g_dir->File("tone.wav"));
    ASSERT_NE(source.Decoder, nullptr);
    TOutput out;
    ASSERT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), 0) << out.Audio.LastErrMsg();
    source.QueueAll(out.Queue);
    out.Audio.Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (out.Timing.audio_clock < 1.99 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    out.Queue.Abort();
    out.Audio.Close();
    EXPECT_NEAR(out.Timing.audio_clock, 2.0, 0.01);
    EXPECT_GT(out.Timing.audio_callback_time, 0);
    ASSERT_NEAR(double(out.Hooked.size()), 2.0 * 44100 * 4, 4096);

    // The device wrote whole chunks of silence until it was started, then the clip.
    std::ifstream file(g_dir->File("disk.raw"), std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(file), {}};
    bool found = false;
    for (size_t at = 0; !found && at + out.Hooked.size() <= written.size(); at += 4096)
        found = std::memcmp(written.data() + at, out.Hooked.data(), out.Hooked.size()) == 0;
    EXPECT_TRUE(found) << written.size() << " bytes written";
}

TEST_F(PlayerAudioTest, MoreThanTwoChannelsAreMixedDownToTwo) {
    StartSDL();
    TAudioSource source(g_dir->File("three.wav")); // 24-bit, three channels, five samples
    ASSERT_NE(source.Decoder, nullptr);
    TOutput out;
    ASSERT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), 0) << out.Audio.LastErrMsg();
    source.QueueAll(out.Queue);
    out.Play();
    EXPECT_EQ(out.HookChannels, 2);
    EXPECT_EQ(out.Hooked.size(), 5u * 2 * 2);
}

TEST_F(PlayerAudioTest, OpeningErrors) {
    TAudioSource source(g_dir->File("tone.wav"));
    ASSERT_NE(source.Decoder, nullptr);
    {
        TOutput out;
        // SDL's audio is not started.
        EXPECT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), -1);
        EXPECT_EQ(out.Audio.LastErrMsg().rfind("SDL_OpenAudio() failed: ", 0), 0u) << out.Audio.LastErrMsg();
        EXPECT_GT(out.Audio.LastErrMsg().size(), std::strlen("SDL_OpenAudio() failed: "));
    }
    StartSDL();
    source.Decoder->sample_rate = 0;
    TOutput out;
    EXPECT_EQ(out.Audio.Open(source.Decoder, source.TimeBase()), -1);
    EXPECT_EQ(out.Audio.LastErrMsg(), "Invalid sample rate or channel count.");
    EXPECT_FALSE(out.Audio.Opened());
}
