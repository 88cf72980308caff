// The generic option store on its own: what it accepts, where it keeps it, and how it
// reaches the real codec and format contexts.
#include "OptionsTestSupport.h"

using namespace vx;
using namespace vx::test;

namespace {

class GenericOptionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoadLibraries(); }
    TLogRecorder Log;
    TFFOptions Opts;
};

// A context allocated for the encoder (so with its private data), or null when the
// library has no such encoder.
TCodecContextPtr EncoderContext(const char* AName, const AVCodec** ACodec) {
    *ACodec = ff::avcodec_find_encoder_by_name(AName);
    return TCodecContextPtr(*ACodec ? ff::avcodec_alloc_context3(*ACodec) : nullptr);
}

TEST_F(GenericOptionsTest, PrototypesCarryTheDefaultsOfTheirKind) {
    EXPECT_EQ(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), "b"), 200000);
    EXPECT_EQ(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_AUDIO), "b"), 128000);
    for (int kind = AVMEDIA_TYPE_VIDEO; kind <= AVMEDIA_TYPE_ATTACHMENT; ++kind)
        EXPECT_EQ(Opts.avcodec_opts(static_cast<AVMediaType>(kind))->codec_type, kind);
    EXPECT_EQ(Opts.avcodec_opts(AVMEDIA_TYPE_UNKNOWN), nullptr);
    EXPECT_EQ(IntOption(Opts.sws_opts(), "sws_flags"), SWS_BICUBIC);
}

TEST_F(GenericOptionsTest, AcceptedOptionsAreSetAndRecordedInOrder) {
    ASSERT_TRUE(Opts.set_generic_option("g", "7"));
    ASSERT_TRUE(Opts.set_generic_option("ab", "96k"));
    ASSERT_TRUE(Opts.set_generic_option("vmaxrate", "3M")); // kind prefix, recorded short
    ASSERT_TRUE(Opts.set_generic_option("packetsize", "2324"));
    ASSERT_TRUE(Opts.set_generic_option("sws_flags", "lanczos"));
    EXPECT_EQ(Opts.opt_names(), (std::vector<std::string>{"g", "ab", "maxrate", "packetsize", "sws_flags"}));
    EXPECT_EQ(Opts.opt_values(), (std::vector<std::string>{"7", "96k", "3M", "2324", "lanczos"}));

    EXPECT_EQ(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), "g"), 7);
    EXPECT_EQ(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_AUDIO), "b"), 96000);
    EXPECT_EQ(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), "maxrate"), 3000000);
    EXPECT_EQ(IntOption(Opts.avformat_opts(), "packetsize"), 2324);
    EXPECT_EQ(IntOption(Opts.sws_opts(), "sws_flags"), SWS_LANCZOS);
    // A video option does not reach the audio prototype.
    EXPECT_NE(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_AUDIO), "g"), 7);
}

TEST_F(GenericOptionsTest, RefusalsSayWhyAndAreLogged) {
    struct TCase {
        const char* Name;
        const char* Value;
        const char* Failure;
    };
    const TCase cases[] = {
        {"nosuchoption", "1", "Unrecognized option \"nosuchoption\""},
        {"vnosuch", "1", "Unrecognized option \"vnosuch\""},
        {"b", "fast", "Invalid value \"fast\" for option \"b\""},
        {"flags", "+scan_offset", "Invalid value \"+scan_offset\" for option \"flags\""},
        {"sws_flags", "nosuchscaler", "Invalid value \"nosuchscaler\" for option \"sws_flags\""},
        {" \t", "1", "Empty option name"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_FALSE(Opts.set_generic_option(c.Name, c.Value));
        EXPECT_EQ(Opts.LastFailure(), c.Failure);
        EXPECT_EQ(Log.Count(llError, c.Failure), 1);
    }
    EXPECT_EQ(Opts.opt_name_count(), 0);
    EXPECT_EQ(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), "b"), 200000);
}

TEST_F(GenericOptionsTest, PrivateOptionsWaitForTheirCodecOrFormat) {
    ASSERT_TRUE(Opts.set_generic_option("scan_offset", "1"));   // MPEG-1/2 video encoders
    ASSERT_TRUE(Opts.set_generic_option("muxrate", "1411200")); // MPEG muxers
    ASSERT_TRUE(Opts.set_generic_option("top", "1"));           // raw video decoder
    EXPECT_STREQ(Opts.video_opts().Value("scan_offset"), "1");
    EXPECT_STREQ(Opts.video_opts().Value("top"), "1");
    EXPECT_STREQ(Opts.format_opts().Value("muxrate"), "1411200");
    EXPECT_EQ(Opts.audio_opts().Count(), 0);
    EXPECT_EQ(Opts.opt_names(), (std::vector<std::string>{"scan_offset", "muxrate", "top"}));
}

TEST_F(GenericOptionsTest, AppliedToCodecContextsByKindAndDirection) {
    ASSERT_TRUE(Opts.set_generic_option("b", "512k"));
    ASSERT_TRUE(Opts.set_generic_option("g", "7"));
    ASSERT_TRUE(Opts.set_generic_option("scan_offset", "1"));
    ASSERT_TRUE(Opts.set_generic_option("ab", "64k"));

    const AVCodec* mpeg2 = nullptr;
    TCodecContextPtr video = EncoderContext("mpeg2video", &mpeg2);
    ASSERT_TRUE(video);
    Opts.apply_generic_options(video.get(), Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), mpeg2,
                               OptFlagsVideoEncoder);
    EXPECT_EQ(video->bit_rate, 512000);
    EXPECT_EQ(video->gop_size, 7);
    EXPECT_EQ(IntOption(video->priv_data, "scan_offset"), 1);

    // "b" is an audio option too (its value was set on the audio prototype, then "ab"
    // replaced it there); "g" is for video only.
    const AVCodec* mp2 = nullptr;
    TCodecContextPtr audio = EncoderContext("mp2", &mp2);
    ASSERT_TRUE(audio);
    const int gop = audio->gop_size;
    Opts.apply_generic_options(audio.get(), Opts.avcodec_opts(AVMEDIA_TYPE_AUDIO), mp2, OptFlagsAudioEncoder);
    EXPECT_EQ(audio->bit_rate, 64000);
    EXPECT_EQ(audio->gop_size, gop);

    // A decoder takes no encoding option.
    TCodecContextPtr decoder(ff::avcodec_alloc_context3(ff::avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO)));
    const int64_t rate = decoder->bit_rate;
    Opts.apply_generic_options(decoder.get(), Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), nullptr,
                               OptFlagsVideoDecoder);
    EXPECT_EQ(decoder->bit_rate, rate);
}

TEST_F(GenericOptionsTest, AppliedToAnOutputFormatAndItsMuxer) {
    ASSERT_TRUE(Opts.set_generic_option("packetsize", "2324"));
    ASSERT_TRUE(Opts.set_generic_option("muxrate", "1411200"));
    AVFormatContext* raw = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&raw, nullptr, "vcd", nullptr), 0);
    TFormatContextPtr ctx(raw);
    Opts.apply_generic_options(ctx.get(), Opts.avformat_opts(), OptFlagsOutputFormat);
    EXPECT_EQ(ctx->packet_size, 2324u);
    EXPECT_EQ(IntOption(ctx->priv_data, "muxrate"), 1411200);
}

// "profile" is a private option of some encoders and a generic one of every codec
// context: the value must reach whichever the chosen encoder uses.
TEST_F(GenericOptionsTest, NamesBothPrivateAndGenericReachTheEncoder) {
    ASSERT_TRUE(Opts.set_generic_option("profile", "3"));
    const AVCodec* mpeg4 = nullptr;
    TCodecContextPtr generic = EncoderContext("mpeg4", &mpeg4);
    ASSERT_TRUE(generic);
    Opts.apply_generic_options(generic.get(), Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), mpeg4,
                               OptFlagsVideoEncoder);
    EXPECT_EQ(generic->profile, 3);

    const AVCodec* x264 = nullptr;
    TCodecContextPtr own = EncoderContext("libx264", &x264);
    if (!own)
        GTEST_SKIP() << "no libx264 in this library build";
    Opts.reset_generic_options();
    ASSERT_TRUE(Opts.set_generic_option("profile", "high"));
    Opts.apply_generic_options(own.get(), Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), x264, OptFlagsVideoEncoder);
    uint8_t* value = nullptr;
    ASSERT_GE(ff::av_opt_get(own->priv_data, "profile", 0, &value), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(value), "high");
    ff::av_free(value);
    EXPECT_FALSE(Log.Has("Invalid value \"high\" for option \"profile\""));
}

TEST_F(GenericOptionsTest, BadPrivateValueIsOnlyLoggedWhenApplied) {
    ASSERT_TRUE(Opts.set_generic_option("scan_offset", "maybe"));
    const AVCodec* mpeg2 = nullptr;
    TCodecContextPtr video = EncoderContext("mpeg2video", &mpeg2);
    ASSERT_TRUE(video);
    Opts.apply_generic_options(video.get(), Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), mpeg2,
                               OptFlagsVideoEncoder);
    EXPECT_EQ(Log.Count(llError, "Invalid value \"maybe\" for option \"scan_offset\""), 1);
    EXPECT_EQ(IntOption(video->priv_data, "scan_offset"), 0);
}

TEST_F(GenericOptionsTest, ResetStartsAfreshButKeepsTheLastFailure) {
    ASSERT_TRUE(Opts.set_generic_option("b", "1M"));
    ASSERT_TRUE(Opts.set_generic_option("muxrate", "1"));
    EXPECT_FALSE(Opts.set_generic_option("zz", "1"));
    Opts.reset_generic_options();
    EXPECT_EQ(Opts.opt_name_count(), 0);
    EXPECT_EQ(Opts.format_opts().Count(), 0);
    EXPECT_EQ(IntOption(Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), "b"), 200000);
    EXPECT_EQ(Opts.LastFailure(), "Unrecognized option \"zz\"");

    // Nothing recorded: applying changes nothing.
    const AVCodec* mpeg2 = nullptr;
    TCodecContextPtr video = EncoderContext("mpeg2video", &mpeg2);
    ASSERT_TRUE(video);
    const int64_t rate = video->bit_rate;
    Opts.apply_generic_options(video.get(), Opts.avcodec_opts(AVMEDIA_TYPE_VIDEO), mpeg2,
                               OptFlagsVideoEncoder);
    EXPECT_EQ(video->bit_rate, rate);
}

TEST_F(GenericOptionsTest, DebugOptionRaisesTheLogLevel) {
    ASSERT_TRUE(Opts.set_generic_option("debug", "pict"));
    EXPECT_EQ(GetLogger().LogLevel(), llDebug);
}

} // namespace
