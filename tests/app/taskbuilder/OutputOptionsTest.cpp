// The input and output option records built from the lists' texts.
#include <QStringList>
#include <ostream>
#include <utility>
#include <vector>

#include "OutputCatalogue.h"
#include "TaskBuilderFixture.h"
#include "base/FFApi.h"
#include "base/FFLoad.h"

using namespace vx;

namespace {

class OutputOptionsTest : public TaskBuilderTest {
protected:
    TOutputOptions Build(const QString& AVideoSize = "640x480", std::optional<QString> AOutput = {}) {
        TOutputOptions options;
        EXPECT_TRUE(Builder.BuildOutputOptions({"/videos/clip.avi", AVideoSize, AOutput}, options))
            << Builder.LastErrMsg().toStdString();
        return options;
    }
};

TEST_F(OutputOptionsTest, WorkedExampleMP4AtFullVolume) {
    Settings.SetOutputFolder("/tmp");
    TEncoderTask task;
    ASSERT_TRUE(Builder.BuildTask({"/videos/holiday clip.avi", "640x480", "MP4"}, task));

    EXPECT_EQ(task.OutputFileName, "/tmp/holiday clip.mp4");

    TInputOptions input;
    input.FileName = u"/videos/holiday clip.avi";
    EXPECT_EQ(task.InputOptions.FileName, input.FileName);
    EXPECT_EQ(task.InputOptions.ForceFormat, input.ForceFormat);
    EXPECT_EQ(task.InputOptions.TimeStart, input.TimeStart);
    EXPECT_EQ(task.InputOptions.ProgramID, input.ProgramID);
    // Every core is the default: the input asks the codecs to choose their thread counts.
    EXPECT_EQ(task.InputOptions.ExtOptions, "threads=0\n");

    // Only the named fields differ from a reset record.
    TOutputOptions expected;
    expected.VideoBitrate = 6000000;
    expected.AudioBitrate = 128000;
    expected.AudioSampleRate = 44100;
    expected.VideoCodec = "mpeg4";
    expected.AudioCodec = "libfaac";
    expected.AudioVolume = 255;
    expected.FrameAspectRatio = "1.3333";
    expected.AudioChannels = 2;
    const TOutputOptions& actual = task.OutputOptions;
#define EXPECT_FIELD(F) EXPECT_EQ(actual.F, expected.F) << #F
    EXPECT_FIELD(FileName);
    EXPECT_FIELD(FileExt);
    EXPECT_FIELD(ForceFormat);
    EXPECT_FIELD(AudioCodec);
    EXPECT_FIELD(DisableAudio);
    EXPECT_FIELD(AudioVolume);
    EXPECT_FIELD(AudioChannels);
    EXPECT_FIELD(AudioSampleRate);
    EXPECT_FIELD(AudioBitrate);
    EXPECT_FIELD(AudioTag);
    EXPECT_FIELD(VideoCodec);
    EXPECT_FIELD(DisableVideo);
    EXPECT_FIELD(FrameRate);
    EXPECT_FIELD(FrameSize);
    EXPECT_FIELD(FrameAspectRatio);
    EXPECT_FIELD(VideoBitrate);
    EXPECT_FIELD(VideoTag);
    EXPECT_FIELD(VideoFilters);
    EXPECT_FIELD(TimeStart);
    EXPECT_FIELD(TimeLength);
    EXPECT_FIELD(TargetType);
    EXPECT_FIELD(NormType);
    EXPECT_FIELD(ExtOptions);
#undef EXPECT_FIELD
}

// One format with some choices made, and what the task must receive.
struct TChoice {
    TSettingsList TConversionSettings::*List;
    const char* Text;
};

struct TRecordCase {
    const char* Name;
    const char* Entry;
    std::vector<TChoice> Choices;
    int32_t VideoBitrate;
    int32_t AudioBitrate;
    int32_t AudioSampleRate;
    const char* FrameSize;
    const char* VideoCodec;
    const char* AudioCodec;
    const char* FrameRate;
    int32_t AudioChannels;
    bool DisableVideo = false;
    TOptionTargetType TargetType = ttIgnore;
    TOptionNormType NormType = ntAuto;
    const char* VideoTag = "";
    const char* ExtOptions = "";
};

const TRecordCase RecordCases[] = {
    {"MobileDefaults",
     "3GP - Mobile Video Format (*.3gp)",
     {},
     128000,
     7400,
     8000,
     "176x144",
     "mpeg4",
     "libopencore_amrnb",
     "",
     1},
    // The channel list may say "Stereo"; a mobile output still gets one channel.
    {"Mobile3G2StaysMono",
     "3G2 - Mobile Video Format (*.3g2)",
     {{&TConversionSettings::ComboAudioChannels, "Stereo"},
      {&TConversionSettings::ComboVideoSize, "128 x 96 (SQCIF)"},
      {&TConversionSettings::ComboVideoFramerate, "11 fps"},
      {&TConversionSettings::ComboAudioCodec, "mpeg4aac"}},
     128000,
     7400,
     8000,
     "128x96",
     "mpeg4",
     "libfaac",
     "11",
     1},
    {"BlackBerry3GP",
     "BlackBerry 3GP Video (*.3gp)",
     {},
     120000,
     4750,
     8000,
     "176x144",
     "mpeg4",
     "libopencore_amrnb",
     "15",
     1},
    {"XviD", "AVI - XviD Video (*.avi)", {}, 6000000, 128000, 48000, "", "libxvid", "libmp3lame", "", 2},
    // "Original" has no number: no audio bitrate is sent.
    {"AviOriginalAudioBitrate",
     "AVI - Audio Video Interleave (*.avi)",
     {{&TConversionSettings::ComboAudioBitrate, "Original"}, {&TConversionSettings::ComboVideoCodec, "H264"}},
     6000000,
     -1,
     48000,
     "",
     "libx264",
     "pcm_s16le",
     "",
     2},
    {"DivXTagged",
     "AVI - DivX Video (*.avi)",
     {},
     6000000,
     128000,
     48000,
     "",
     "mpeg4",
     "libmp3lame",
     "",
     2,
     false,
     ttIgnore,
     ntAuto,
     "DIVX"},
    // Doubled blanks in "384  Kbps" and "8000  Hz".
    {"RealVideoDoubledBlanks",
     "RM - Real Video (*.rm)",
     {{&TConversionSettings::ComboVideoBitrate, "384  Kbps"},
      {&TConversionSettings::ComboSamplingRate, "8000  Hz"}},
     384000,
     128000,
     8000,
     "",
     "rv10",
     "ac3",
     "",
     2},
    {"FlashRateAsListed",
     "FLV - Flash Video (*.flv)",
     {},
     200000,
     64000,
     44100,
     "",
     "flv",
     "libmp3lame",
     "15.0",
     2},
    {"ZuneTrailingBlank",
     "Zune Mpeg4 Video (*.mp4)",
     {},
     1500000,
     128000,
     44100,
     "320x240",
     "mpeg4",
     "libfaac",
     "29.97",
     2},
    {"PSP", "PSP Video (*.mp4)", {}, 768000, 128000, 24000, "368x208", "mpeg4", "libfaac", "29.97", 2},
    {"ArchosAutoSize",
     "Archos AV500/GMini402 (*.avi)",
     {{&TConversionSettings::ComboVideoSize, "Auto"}},
     1200000,
     128000,
     48000,
     "",
     "mpeg4",
     "libmp3lame",
     "",
     2},
    {"MP4WithXVid",
     "MP4 - MPEG4 Video (*.mp4)",
     {{&TConversionSettings::ComboVideoCodec, "XVid"},
      {&TConversionSettings::ComboVideoSize, "704 x 576 (4CIF)"}},
     6000000,
     128000,
     44100,
     "704x576",
     "libxvid",
     "libfaac",
     "",
     2},
    // The disc targets read no rates or sizes back: their preset fixes them.
    {"DVD",
     "DVD - DVD Mpeg2 Format (*.mpg)",
     {},
     -1,
     -1,
     -1,
     "",
     "mpeg2video",
     "ac3",
     "29.97",
     2,
     false,
     ttDVD,
     ntNTSC},
    {"SVCD",
     "Super Video CD (*.mpg)",
     {},
     -1,
     -1,
     -1,
     "",
     "mpeg2video",
     "mp2",
     "29.97",
     2,
     false,
     ttSVCD,
     ntNTSC},
    {"VCDPal",
     "Video CD (*.mpg)",
     {{&TConversionSettings::ComboVideoFramerate, "25 fps [PAL]"}},
     -1,
     -1,
     -1,
     "",
     "mpeg1video",
     "mp2",
     "25",
     2,
     false,
     ttVCD,
     ntPAL},
    // Audio only: the video goes, and vorbis needs the library's experimental switch.
    {"OggVorbis",
     "OGG - Ogg Vorbis Audio (*.ogg)",
     {},
     0,
     160000,
     48000,
     "",
     "",
     "libvorbis",
     "",
     2,
     true,
     ttIgnore,
     ntAuto,
     "",
     "astrict=experimental\r\n"},
    {"WaveMono",
     "WAV - Waveform Audio (*.wav)",
     {{&TConversionSettings::ComboAudioChannels, "Mono"}},
     0,
     128000,
     44100,
     "",
     "",
     "pcm_s16le",
     "",
     1,
     true},
};

void PrintTo(const TRecordCase& ACase, std::ostream* AStream) {
    *AStream << ACase.Entry;
}

class RecordTest : public OutputOptionsTest, public ::testing::WithParamInterface<TRecordCase> {};

TEST_P(RecordTest, ListTextsBecomeTheEnginesValues) {
    const TRecordCase& c = GetParam();
    Select(c.Entry);
    for (const TChoice& choice : c.Choices)
        Choose(Settings.*choice.List, choice.Text);

    const TOutputOptions options = Build();
    EXPECT_EQ(options.VideoBitrate, c.VideoBitrate);
    EXPECT_EQ(options.AudioBitrate, c.AudioBitrate);
    EXPECT_EQ(options.AudioSampleRate, c.AudioSampleRate);
    EXPECT_EQ(options.FrameSize, c.FrameSize);
    EXPECT_EQ(options.VideoCodec, c.VideoCodec);
    EXPECT_EQ(options.AudioCodec, c.AudioCodec);
    EXPECT_EQ(options.FrameRate, c.FrameRate);
    EXPECT_EQ(options.AudioChannels, c.AudioChannels);
    EXPECT_EQ(options.DisableVideo, c.DisableVideo);
    EXPECT_EQ(options.TargetType, c.TargetType);
    EXPECT_EQ(options.NormType, c.NormType);
    EXPECT_EQ(options.VideoTag, c.VideoTag);
    EXPECT_EQ(options.ExtOptions, c.ExtOptions);
    EXPECT_EQ(options.AudioVolume, 255);
    EXPECT_EQ(options.FrameAspectRatio, "1.3333");
    EXPECT_FALSE(options.DisableAudio);
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordTest, ::testing::ValuesIn(RecordCases),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(OutputOptionsTest, EveryChoiceOfEveryFormatBuildsATask) {
    // Whatever the user picks among the offered items, the row can be built, and the numbers read
    // back are real ones.
    TSettingsList TConversionSettings::*const lists[] = {
        &TConversionSettings::ComboVideoCodec,    &TConversionSettings::ComboVideoSize,
        &TConversionSettings::ComboVideoBitrate,  &TConversionSettings::ComboVideoFramerate,
        &TConversionSettings::ComboAudioCodec,    &TConversionSettings::ComboAudioBitrate,
        &TConversionSettings::ComboAudioChannels, &TConversionSettings::ComboSamplingRate};
    for (const TheAVCodec& entry : AVCodecs()) {
        for (const auto list : lists) {
            Select(entry.ComboText);
            for (int i = 0; i < (Settings.*list).Count(); ++i) {
                (Settings.*list).SetItemIndex(i);
                const std::string what =
                    entry.ComboText.toStdString() + " with " + (Settings.*list).Text().toStdString();
                TOutputOptions options;
                ASSERT_TRUE(Builder.BuildOutputOptions({"/videos/clip.avi", "640x480", {}}, options))
                    << what << ": " << Builder.LastErrMsg().toStdString();
                if (options.TargetType != ttIgnore)
                    continue;
                EXPECT_GT(options.AudioSampleRate, 0) << what;
                EXPECT_TRUE(options.AudioBitrate > 0 || (Settings.ComboAudioBitrate.Text() == "Original"))
                    << what;
                if (!options.DisableVideo) {
                    EXPECT_GT(options.VideoBitrate, 0) << what;
                }
                EXPECT_EQ(options.FrameSize.find(' '), std::string::npos) << what;
            }
        }
    }
}

struct TCodecCase {
    bool Video;
    const char* Text;
    const char* Codec;
};

void PrintTo(const TCodecCase& ACase, std::ostream* AStream) {
    *AStream << (ACase.Video ? "video codec \"" : "audio codec \"") << ACase.Text << '"';
}

class CodecTextTest : public OutputOptionsTest, public ::testing::WithParamInterface<TCodecCase> {};

TEST_P(CodecTextTest, KnownTextsNameTheirCodec) {
    const TCodecCase& c = GetParam();
    TSettingsList& list = c.Video ? Settings.ComboVideoCodec : Settings.ComboAudioCodec;
    list.SetItems({c.Text}, 0);
    const TOutputOptions options = Build();
    EXPECT_EQ(c.Video ? options.VideoCodec : options.AudioCodec, c.Codec);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CodecTextTest,
    ::testing::Values(
        // The library's encoder names, in any case: sent as named, not left to the container.
        TCodecCase{true, "MPEG4", "mpeg4"}, TCodecCase{true, "mpeg4", "mpeg4"},
        TCodecCase{true, "H263", "h263"}, TCodecCase{true, "RAWVIDEO", "rawvideo"},
        TCodecCase{true, "MPEG1VIDEO", "mpeg1video"}, TCodecCase{true, "MPEG2VIDEO", "mpeg2video"},
        TCodecCase{true, "WMV2", "wmv2"}, TCodecCase{true, "MSMPEG4", "msmpeg4"},
        TCodecCase{true, "RV10", "rv10"}, TCodecCase{true, "RV20", "rv20"}, TCodecCase{true, " FLV ", "flv"},
        TCodecCase{false, "pcm_s16le", "pcm_s16le"}, TCodecCase{false, "PCM_S16BE", "pcm_s16be"},
        TCodecCase{false, "wmav2", "wmav2"},
        // Texts that name nothing: the format's default codec applies.
        TCodecCase{true, "", ""}, TCodecCase{true, "Original", ""}, TCodecCase{true, "mpeg", ""},
        TCodecCase{false, "pcm", ""}, TCodecCase{false, "wmav2x", ""},
        // Keys, whatever their case and padding.
        TCodecCase{true, " H264 ", "libx264"}, TCodecCase{true, "Uncompressed", "rawvideo"},
        TCodecCase{true, "MPEG 2", "mpeg2video"}, TCodecCase{true, "mpeg1", "mpeg1video"},
        TCodecCase{true, "WMV2X", "wmv2"}, TCodecCase{false, "AMR_NB", "libopencore_amrnb"},
        TCodecCase{false, "m4a", "mpeg4aac"}, TCodecCase{false, "RA", "ac3"},
        TCodecCase{false, "wav", "pcm_s16le"}, TCodecCase{false, "asf", "libmp3lame"},
        TCodecCase{false, "WMA7X", "wmav2"}));

// The encoder names the lists offer are encoders of the libraries in use, of the list's kind, so
// the task asks for something the engine can open.
TEST_F(OutputOptionsTest, OfferedEncoderNamesAreTheLibrarysEncoders) {
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    const std::pair<const char*, AVMediaType> names[] = {
        {"MPEG4", AVMEDIA_TYPE_VIDEO},      {"H263", AVMEDIA_TYPE_VIDEO},
        {"RAWVIDEO", AVMEDIA_TYPE_VIDEO},   {"MPEG1VIDEO", AVMEDIA_TYPE_VIDEO},
        {"MPEG2VIDEO", AVMEDIA_TYPE_VIDEO}, {"WMV2", AVMEDIA_TYPE_VIDEO},
        {"MSMPEG4", AVMEDIA_TYPE_VIDEO},    {"RV10", AVMEDIA_TYPE_VIDEO},
        {"RV20", AVMEDIA_TYPE_VIDEO},       {"FLV", AVMEDIA_TYPE_VIDEO},
        {"pcm_s16le", AVMEDIA_TYPE_AUDIO},  {"pcm_s16be", AVMEDIA_TYPE_AUDIO},
        {"wmav2", AVMEDIA_TYPE_AUDIO},
    };
    for (const auto& [text, kind] : names) {
        const bool video = kind == AVMEDIA_TYPE_VIDEO;
        (video ? Settings.ComboVideoCodec : Settings.ComboAudioCodec).SetItems({QString(text)}, 0);
        const TOutputOptions options = Build();
        const std::string& name = video ? options.VideoCodec : options.AudioCodec;
        const AVCodec* encoder = ff::avcodec_find_encoder_by_name(name.c_str());
        ASSERT_NE(encoder, nullptr) << text << " sends \"" << name << "\", which the library does not have";
        EXPECT_EQ(encoder->type, kind) << text;
    }
}

TEST_F(OutputOptionsTest, ThreadCountFollowsTheCoresOption) {
    // One thread per codec leaves the input record as a plain reset one; any other count is
    // asked for before the input opens.
    for (const auto& [count, text] :
         {std::pair{1, ""}, std::pair{0, "threads=0\n"}, std::pair{3, "threads=3\n"}}) {
        Options.SetCodecThreads(count);
        TInputOptions input;
        input.ExtOptions = "stale";
        Builder.BuildInputOptions("/videos/clip.avi", input);
        EXPECT_EQ(input.ExtOptions, text) << count;
        EXPECT_EQ(input.FileName, u"/videos/clip.avi");
    }
    EXPECT_THROW(Options.SetCodecThreads(-1), std::out_of_range);
    Options.SetUseAllCores(false);
    EXPECT_EQ(Options.CodecThreads(), 1);
}

TEST_F(OutputOptionsTest, DivXCodecTagsTheVideoOfAnyFormat) {
    Settings.ComboVideoCodec.SetItems({"DivX"}, 0);
    const TOutputOptions options = Build();
    EXPECT_EQ(options.VideoCodec, "mpeg4");
    EXPECT_EQ(options.VideoTag, "DIVX");
}

TEST_F(OutputOptionsTest, FrameRateTexts) {
    const std::pair<QString, std::string> cases[] = {
        {"Auto", ""},
        {" auto ", ""},
        {"PAL", "25"},
        {" ntsc", "29.97"},
        {"29.97 fps [NTSC]", "29.97"},
        {"14.985 fps", "14.985"},
        {"11 fps", "11"},
        // Texts that hold no usable rate fall back to 25.
        {"fast fps", "25"},
        {"0 fps", "25"},
        {"-5 fps", "25"},
        {"29,97 fps", "25"},
        {"30", "25"},
    };
    for (const auto& [text, rate] : cases) {
        Settings.ComboVideoFramerate.SetItems({text}, 0);
        EXPECT_EQ(Builder.ReadFrameRate(), rate) << text.toStdString();
        EXPECT_EQ(Build().FrameRate, rate) << text.toStdString();
    }
    // An empty list (audio-only formats) asks for no rate.
    Settings.ComboVideoFramerate.Clear();
    EXPECT_EQ(Build().FrameRate, "");
}

TEST_F(OutputOptionsTest, AspectRatioFollowsTheSourceSize) {
    const std::pair<QString, std::string> cases[] = {
        {"640x480", "1.3333"}, {"", "1.3333"},         {"720x576", "1.25"},     {"1280x720", "1.7778"},
        {"200x100", "2"},      {"352x288", "1.2222"},  {"100x300", "0.3333"},   {"1920x1080", "1.7778"},
        {"853x480", "1.7771"}, {"1x100000", "1.3333"}, {"0x0", "1.3333"},       {"640x0", "1.3333"},
        {"abc", "1.3333"},     {"640x", "1.3333"},     {"x480", "1.3333"},      {"640x480x2", "1.3333"},
        {"1e300x1", "1.3333"}, {"-640x480", "1.3333"}, {" 640x480 ", "1.3333"},
    };
    for (const auto& [size, ratio] : cases) {
        EXPECT_EQ(TTaskBuilder::AspectRatioOfSize(size), ratio) << size.toStdString();
        EXPECT_EQ(Build(size).FrameAspectRatio, ratio) << size.toStdString();
    }

    // The fixed choices of the aspect ratio list win over the source's shape.
    Settings.ComboAspectRatio.SetItemIndex(1);
    EXPECT_EQ(Build("1280x720").FrameAspectRatio, "4:3");
    Settings.ComboAspectRatio.SetItemIndex(2);
    EXPECT_EQ(Build("640x480").FrameAspectRatio, "16:9");
}

TEST_F(OutputOptionsTest, ChannelsFollowTheRowsOutputCell) {
    EXPECT_EQ(Build("640x480", "MP4").AudioChannels, 2);
    EXPECT_EQ(Build("640x480", "3GP").AudioChannels, 1);
    EXPECT_EQ(Build("640x480", "3G2").AudioChannels, 1);
    Choose(Settings.ComboAudioChannels, "Mono");
    EXPECT_EQ(Build("640x480", "MP4").AudioChannels, 1);
}

TEST_F(OutputOptionsTest, ListTextsWithoutANumberFailTheRow) {
    const std::pair<TSettingsList TConversionSettings::*, QString> cases[] = {
        {&TConversionSettings::ComboVideoBitrate, "fast Kbps"},
        {&TConversionSettings::ComboVideoBitrate, "-1 Kbps"},
        {&TConversionSettings::ComboAudioBitrate, "abc Kbps"},
        {&TConversionSettings::ComboAudioBitrate, "Auto"},
        // Too large for the engine's 32-bit rates once "000" is appended.
        {&TConversionSettings::ComboVideoBitrate, "9999999 Kbps"},
        {&TConversionSettings::ComboSamplingRate, "Auto"},
        {&TConversionSettings::ComboSamplingRate, "44.1 kHz"},
    };
    for (const auto& [list, text] : cases) {
        Select("MP4 - MPEG4 Video (*.mp4)");
        (Settings.*list).SetItems({text}, 0);
        TOutputOptions options;
        EXPECT_FALSE(Builder.BuildOutputOptions({"/videos/clip.avi", "640x480", {}}, options))
            << text.toStdString();
        EXPECT_TRUE(Builder.LastErrMsg().contains(text)) << Builder.LastErrMsg().toStdString();
        EXPECT_TRUE(Builder.LastErrMsg().contains((Settings.*list).Caption().left(8)))
            << Builder.LastErrMsg().toStdString();
    }
}

TEST_F(OutputOptionsTest, TaskTakesTheAdvancedSlidersVolume) {
    Volume.SetTrackBar1Position(0);
    EXPECT_EQ(Build().AudioVolume, 600);
    Volume.SetTrackBar2Position(8);
    EXPECT_EQ(Build().AudioVolume, 400);
    Volume.SetTrackBar1Position(10);
    EXPECT_EQ(Build().AudioVolume, 0);
}

TEST_F(OutputOptionsTest, EachRowStartsFromAResetRecord) {
    Select("OGG - Ogg Vorbis Audio (*.ogg)");
    TOutputOptions options;
    ASSERT_TRUE(Builder.BuildOutputOptions({"/videos/a.avi", "640x480", {}}, options));
    ASSERT_TRUE(Builder.BuildOutputOptions({"/videos/b.avi", "640x480", {}}, options));
    // The experimental switch is not stacked up, and earlier values do not leak into the next row.
    EXPECT_EQ(options.ExtOptions, "astrict=experimental\r\n");
    Select("Video CD (*.mpg)");
    ASSERT_TRUE(Builder.BuildOutputOptions({"/videos/c.avi", "640x480", {}}, options));
    EXPECT_EQ(options.ExtOptions, "");
    EXPECT_EQ(options.AudioBitrate, -1);
    EXPECT_FALSE(options.DisableVideo);
}

} // namespace
