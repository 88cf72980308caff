// The audio path driven block by block: resampling, audio sync, encoder frames, volume
// and the audio hook; outputs are checked by reading the written file back.
#include <cmath>
#include <cstring>

#include "PathsTestSupport.h"

namespace vx::test {
namespace {

constexpr int64_t Second = 1000000;

void SetAudioDecoder(TAVInputStream& AIst, AVSampleFormat AFormat, int ARate, int AChannels) {
    AIst.dec_ctx->sample_fmt = AFormat;
    AIst.dec_ctx->sample_rate = ARate;
    ff::av_channel_layout_default(&AIst.dec_ctx->ch_layout, AChannels);
}

// Zero crossings of a signal: twice its frequency per second for a pure tone.
int ZeroCrossings(const std::vector<double>& ASamples, size_t AFrom, size_t ATo) {
    int n = 0;
    for (size_t i = AFrom + 1; i < ATo && i < ASamples.size(); ++i)
        n += (ASamples[i - 1] < 0) != (ASamples[i] < 0);
    return n;
}

using AudioPathTest = TPathsTest;

TEST_F(AudioPathTest, StereoAt48kToMonoAt44k1UsesOneResamplerForTheWholeStream) {
    const std::string path = Dir.File("mono.wav");
    TPathJob job;
    job.CreateOutput(path, "wav");
    TAVInputStream& ist = job.AddInput();
    SetAudioDecoder(ist, AV_SAMPLE_FMT_S16, 48000, 2);
    TAVOutputStream& ost = job.AddAudioOutput(ist, "pcm_s16le", 44100, 1);
    job.Start();
    SwrContext* first = nullptr;
    const int blocks = 94; // about 2 s
    for (int k = 0; k < blocks; ++k) {
        ist.pts = int64_t(k) * 1024 * Second / 48000;
        TFramePtr block = MakeTone(AV_SAMPLE_FMT_S16, 48000, 2, 1024, int64_t(k) * 1024);
        job.do_audio_out(job.Output(), ost, ist, block.get());
        if (k == 0)
            first = ost.resample.get();
        ASSERT_EQ(ost.resample.get(), first) << "block " << k;
    }
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(ost.audio_resample, 1);
    job.Finish();

    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(back.SampleRate, 44100);
    EXPECT_EQ(back.Channels, 1);
    EXPECT_NEAR(double(back.Frames), blocks * 1024 * 44100.0 / 48000, 32);
    // The tone keeps its pitch: 440 Hz crosses zero 880 times a second.
    EXPECT_NEAR(ZeroCrossings(back.Samples, 0, 44100), 880, 4);
}

TEST_F(AudioPathTest, RateChangeMidStreamIsLoggedOnceAndGetsANewResampler) {
    const std::string path = Dir.File("change.wav");
    TLogCapture log(llInfo);
    TPathJob job;
    job.CreateOutput(path, "wav");
    TAVInputStream& ist = job.AddInput();
    SetAudioDecoder(ist, AV_SAMPLE_FMT_S16, 48000, 2);
    TAVOutputStream& ost = job.AddAudioOutput(ist, "pcm_s16le", 48000, 2);
    job.Start();
    int64_t at = 0;
    for (int rate : {48000, 44100}) {
        const int size = rate == 48000 ? 1000 : 1050; // one second in whole blocks
        for (int64_t done = 0; done < rate; done += size) {
            ist.pts = at + done * Second / rate;
            TFramePtr block = MakeTone(AV_SAMPLE_FMT_S16, rate, 2, size, done);
            job.do_audio_out(job.Output(), ost, ist, block.get());
        }
        at += Second;
        if (rate == 48000) {
            EXPECT_EQ(ost.resample, nullptr) << "nothing to convert while the formats match";
        }
    }
    EXPECT_NE(ost.resample, nullptr);
    EXPECT_EQ(ost.audio_resample, 1);
    job.Finish();

    EXPECT_EQ(log.Count("frame changed"), 1);
    EXPECT_EQ(
        log.Count("Input stream #0.0 frame changed from rate:48000 fmt:s16 ch:2 to rate:44100 fmt:s16 ch:2"),
        1);
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_NEAR(double(back.Frames), 2 * 48000, 64);
    EXPECT_NEAR(ZeroCrossings(back.Samples, 48000 + 1000, 2 * 48000 - 1000), 880 * 46 / 48, 6);
}

TEST_F(AudioPathTest, JitteryTimestampsWithoutSyncStillGiveContiguousAudio) {
    // Container timestamps in whole milliseconds wobble around the true block times;
    // the encoded audio must still run on without steps back (which MP4 refuses).
    const std::string path = Dir.File("jitter.mp4");
    TPathJob job;
    job.CreateOutput(path, "mp4");
    TAVInputStream& ist = job.AddInput();
    SetAudioDecoder(ist, AV_SAMPLE_FMT_FLTP, 44100, 2);
    TAVOutputStream& ost = job.AddAudioOutput(ist, "aac", 44100, 2);
    job.Start();
    const int blocks = 100;
    for (int k = 0; k < blocks; ++k) {
        ist.pts = (int64_t(k) * 1152 * Second / 44100 / 1000 + (k % 2 ? 1 : -1)) * 1000;
        TFramePtr block = MakeTone(AV_SAMPLE_FMT_FLTP, 44100, 2, 1152, int64_t(k) * 1152);
        ASSERT_NO_THROW(job.do_audio_out(job.Output(), ost, ist, block.get())) << "block " << k;
    }
    ASSERT_NO_THROW(job.Finish());
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_NEAR(double(back.Frames), blocks * 1152, 1024);
    ASSERT_GT(back.PacketDts.size(), 100u);
    for (size_t i = 1; i < back.PacketDts.size(); ++i)
        ASSERT_EQ(back.PacketDts[i] - back.PacketDts[i - 1], 1024) << "packet " << i;
}

// Audio sync (method 1): silence fills gaps, samples before the start are dropped, and
// once the start is behind, only drifts beyond the threshold (0.1 s) are corrected.
struct TSyncCase {
    const char* Name;
    bool IsStart;
    double FirstPts;   // seconds
    double GapSeconds; // jump of the timestamps after block 20
    int64_t Extra;     // samples added (negative: dropped)
};

class AudioSyncTest : public TPathsTest, public ::testing::WithParamInterface<TSyncCase> {};

TEST_P(AudioSyncTest, OutputFollowsTheInputTimestamps) {
    const TSyncCase& c = GetParam();
    const std::string path = Dir.File("sync.wav");
    TLogCapture log(llVerbose);
    TPathJob job;
    job.Flags().audio_sync_method = 1;
    job.Flags().verbose = 3;
    job.CreateOutput(path, "wav");
    TAVInputStream& ist = job.AddInput();
    SetAudioDecoder(ist, AV_SAMPLE_FMT_S16, 44100, 2);
    TAVOutputStream& ost = job.AddAudioOutput(ist, "pcm_s16le", 44100, 2);
    ist.is_start = c.IsStart;
    job.Start();
    const int blocks = 40;
    for (int k = 0; k < blocks; ++k) {
        const double seconds = c.FirstPts + k * 1024 / 44100.0 + (k >= 20 ? c.GapSeconds : 0);
        ist.pts = std::llround(seconds * Second);
        TFramePtr block =
            MakeAudioBlock(AV_SAMPLE_FMT_S16, 44100, 2, 1024, 0, [](int64_t, int) { return 0.5; });
        job.do_audio_out(job.Output(), ost, ist, block.get());
    }
    job.Finish();

    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_NEAR(double(back.Frames), blocks * 1024 + c.Extra, 2);
    if (c.Extra > 0) {
        // The added samples are silence, exactly where the input had no sound.
        const size_t from = c.GapSeconds > 0 ? 20 * 1024 : 0;
        for (size_t i = from + 2; i < from + size_t(c.Extra) - 2; ++i)
            ASSERT_EQ(back.Samples[i], 0.0) << i;
        EXPECT_NE(back.Samples[from + c.Extra + 2], 0.0);
        EXPECT_EQ(log.Count("audio samples of silence"), 1);
    } else if (c.Extra < 0) {
        EXPECT_GE(log.Count("discarding"), 1);
    } else {
        EXPECT_EQ(log.Count("audio samples"), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AudioSyncTest,
                         ::testing::Values(TSyncCase{"GapOfTwoSeconds", true, 0, 2.0, 2 * 44100},
                                           TSyncCase{"StartsHalfASecondLate", true, 0.5, 0, 22050},
                                           TSyncCase{"StartsEarly", true, -0.1, 0, -4410},
                                           TSyncCase{"SmallGapAfterStart", false, 0, 0.05, 0},
                                           TSyncCase{"GapAboveThresholdAfterStart", false, 0, 0.2, 8820}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(AudioPathTest, DriftCompensationStretchesTheAudioToTheTimestamps) {
    const std::string path = Dir.File("drift.wav");
    TPathJob job;
    job.Flags().audio_sync_method = 1000;
    job.CreateOutput(path, "wav");
    TAVInputStream& ist = job.AddInput();
    SetAudioDecoder(ist, AV_SAMPLE_FMT_S16, 44100, 1);
    TAVOutputStream& ost = job.AddAudioOutput(ist, "pcm_s16le", 44100, 1);
    ist.is_start = 0;
    job.Start();
    // The input's clock runs 0.5 % fast: too little for the threshold, so the
    // resampler absorbs it.
    const int blocks = 431; // 10 s of samples
    for (int k = 0; k < blocks; ++k) {
        ist.pts = std::llround(k * 1024 / 44100.0 * 1.005 * Second);
        TFramePtr block = MakeTone(AV_SAMPLE_FMT_S16, 44100, 1, 1024, int64_t(k) * 1024);
        job.do_audio_out(job.Output(), ost, ist, block.get());
    }
    job.Finish();
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_NEAR(double(back.Frames), blocks * 1024 * 1.005, 0.002 * blocks * 1024);
}

TEST_F(AudioPathTest, BlocksAreCollectedIntoFramesOfTheEncodersSize) {
    const std::string path = Dir.File("frames.mp3");
    TPathJob job;
    job.CreateOutput(path, "mp3");
    TAVInputStream& ist = job.AddInput();
    SetAudioDecoder(ist, AV_SAMPLE_FMT_S32P, 44100, 2);
    TAVOutputStream& ost = job.AddAudioOutput(ist, "libmp3lame", 44100, 2, AV_SAMPLE_FMT_S32P);
    ASSERT_EQ(ost.enc_ctx->frame_size, 1152);
    job.Start();
    const int64_t expected[][2] = {{0, 1000}, {1152, 848}, {2304, 696}}; // encoded, waiting
    for (int k = 0; k < 3; ++k) {
        ist.pts = int64_t(k) * 1000 * Second / 44100;
        TFramePtr block = MakeTone(AV_SAMPLE_FMT_S32P, 44100, 2, 1000, int64_t(k) * 1000);
        job.do_audio_out(job.Output(), ost, ist, block.get());
        EXPECT_EQ(ost.sync_opts, expected[k][0]) << "block " << k;
        EXPECT_EQ(ff::av_audio_fifo_size(ost.fifo.get()), expected[k][1]) << "block " << k;
    }
    EXPECT_EQ(ost.resample, nullptr);
    job.Finish();
    EXPECT_EQ(ost.sync_opts, 3000) << "the last, shorter frame goes out at the end";
    EXPECT_EQ(ff::av_audio_fifo_size(ost.fifo.get()), 0);
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(back.Codec, AV_CODEC_ID_MP3);
    EXPECT_GE(back.Frames, 3000);
    EXPECT_LE(back.Frames, 3000 + 2 * 1152);
}

TEST_F(AudioPathTest, PcmEncoderTakesEachBlockAsItComes) {
    const std::string path = Dir.File("pcm.wav");
    TPathJob job;
    job.CreateOutput(path, "wav");
    TAVInputStream& ist = job.AddInput();
    SetAudioDecoder(ist, AV_SAMPLE_FMT_FLTP, 44100, 2);
    TAVOutputStream& ost = job.AddAudioOutput(ist, "pcm_s16le", 44100, 2);
    job.Start();
    int64_t done = 0;
    int k = 0;
    for (int size : {1000, 333, 2000, 7}) {
        ist.pts = done * Second / 44100;
        TFramePtr block = MakeTone(AV_SAMPLE_FMT_FLTP, 44100, 2, size, done);
        job.do_audio_out(job.Output(), ost, ist, block.get());
        done += size;
        ++k;
        EXPECT_EQ(job.Output().packets_written, k);
        EXPECT_EQ(ost.sync_opts, done);
    }
    job.Finish();
    const TReadBack back = ReadBack(path, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(back.Frames, done);
    EXPECT_NEAR(back.Samples[100], 0.4 * std::sin(2 * M_PI * 440 * 100 / 44100), 1e-3);
}

// Volume 512 doubles every sample; integer formats clip at their range, float formats
// do not. The decoder's own buffer is never written.
class AudioVolumeTest : public TPathsTest, public ::testing::WithParamInterface<AVSampleFormat> {};

TEST_P(AudioVolumeTest, DoublesWithClipping) {
    const AVSampleFormat format = GetParam();
    const bool isFloat = ff::av_get_packed_sample_fmt(format) == AV_SAMPLE_FMT_FLT;
    const double values[] = {0.25, -0.25, 0.75, -0.75};
    TPathJob job;
    job.Flags().audio_volume = 512;
    TAVInputStream& ist = job.AddInput();
    TFramePtr block = MakeAudioBlock(format, 44100, 2, 4, 0, [&](int64_t AIndex, int AChannel) {
        return values[AIndex] * (AChannel ? -1 : 1);
    });
    TFramePtr decoderView(ff::av_frame_clone(block.get()));
    job.process_audio_block(ist, block.get());
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 2; ++c) {
            const double in = values[i] * (c ? -1 : 1);
            const double expected = isFloat ? 2 * in : std::clamp(2 * in, -1.0, 1.0);
            EXPECT_NEAR(SampleAt(block.get(), i, c), expected, 0.01) << i << "/" << c;
            EXPECT_NEAR(SampleAt(decoderView.get(), i, c), in, 0.01) << "decoder buffer changed";
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioVolumeTest,
                         ::testing::Values(AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32P,
                                           AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_U8),
                         [](const auto& AInfo) {
                             // Named before the libraries are loaded.
                             switch (AInfo.param) {
                             case AV_SAMPLE_FMT_S16:
                                 return "s16";
                             case AV_SAMPLE_FMT_S16P:
                                 return "s16p";
                             case AV_SAMPLE_FMT_S32P:
                                 return "s32p";
                             case AV_SAMPLE_FMT_FLTP:
                                 return "fltp";
                             default:
                                 return "u8";
                             }
                         });

TEST_F(AudioPathTest, VolumeRoundsSixteenBitSamples) {
    TPathJob job;
    job.Flags().audio_volume = 384; // 1.5
    TAVInputStream& ist = job.AddInput();
    TFramePtr block = MakeAudioBlock(AV_SAMPLE_FMT_S16, 44100, 1, 4, 0, [](int64_t, int) { return 0.0; });
    auto* s = reinterpret_cast<int16_t*>(block->data[0]);
    s[0] = 101, s[1] = -101, s[2] = 30000, s[3] = -32768;
    job.process_audio_block(ist, block.get());
    EXPECT_EQ(s[0], 152);
    EXPECT_EQ(s[1], -151);
    EXPECT_EQ(s[2], 32767);
    EXPECT_EQ(s[3], -32768);
}

TEST_F(AudioPathTest, AudioHookSeesPlanarBlocksInterleavedAndItsChangesStay) {
    TPathJob job;
    TAVInputStream& ist = job.AddInput();
    ist.pts = 1234567;
    TFramePtr block = MakeAudioBlock(AV_SAMPLE_FMT_S16P, 48000, 2, 3, 0, [](int64_t AIndex, int AChannel) {
        return (AIndex + 1) * (AChannel ? -0.1 : 0.1);
    });
    TFramePtr decoderView(ff::av_frame_clone(block.get()));
    int calls = 0;
    job.OnAudioHook = [&](TCustomFFmpeg*, int64_t APTS, void* ASample, int32_t ASize, int32_t ARate,
                          int32_t AChannels, int32_t AFormat) {
        ++calls;
        EXPECT_EQ(APTS, 1234567);
        EXPECT_EQ(ASize, 3 * 2 * 2);
        EXPECT_EQ(ARate, 48000);
        EXPECT_EQ(AChannels, 2);
        EXPECT_EQ(AFormat, AV_SAMPLE_FMT_S16);
        auto* s = static_cast<int16_t*>(ASample);
        EXPECT_EQ(s[0], 3277);  // left 1
        EXPECT_EQ(s[1], -3277); // right 1
        EXPECT_EQ(s[2], 6553);  // left 2
        s[5] = 42;              // right 3
    };
    job.process_audio_block(ist, block.get());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reinterpret_cast<int16_t*>(block->extended_data[1])[2], 42);
    EXPECT_EQ(reinterpret_cast<int16_t*>(block->extended_data[0])[2], 9830);
    EXPECT_NE(reinterpret_cast<int16_t*>(decoderView->extended_data[1])[2], 42);
}

} // namespace
} // namespace vx::test
