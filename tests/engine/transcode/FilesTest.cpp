// Opening inputs and outputs: codec look-up, the stream kinds an output gets, the
// options an open consumes, joins, and the refusals.

#include "TranscodeTestSupport.h"

using namespace vx;
using namespace vx::test;

namespace {

class InputsOutputsTest : public TranscodeTest {};

TEST_F(InputsOutputsTest, FindCodecChecksNameKindAndStrictness) {
    struct TCase {
        const char* Name;
        AVMediaType Kind;
        bool Encoder;
        AVCodecID ID; // AV_CODEC_ID_NONE with a message: refused
        const char* Message;
    };
    const TCase cases[] = {
        {"", AVMEDIA_TYPE_VIDEO, true, AV_CODEC_ID_NONE, ""},
        {"mpeg4", AVMEDIA_TYPE_VIDEO, true, AV_CODEC_ID_MPEG4, ""},
        {"mp3", AVMEDIA_TYPE_AUDIO, false, AV_CODEC_ID_MP3, ""},
        {"nosuch", AVMEDIA_TYPE_VIDEO, true, AV_CODEC_ID_NONE, "Unknown encoder 'nosuch'"},
        {"nosuch", AVMEDIA_TYPE_AUDIO, false, AV_CODEC_ID_NONE, "Unknown decoder 'nosuch'"},
        {"libmp3lame", AVMEDIA_TYPE_VIDEO, true, AV_CODEC_ID_NONE, "Invalid encoder type 'libmp3lame'"},
        // Gone from the libraries: the native AAC encoder stands in.
        {"libfaac", AVMEDIA_TYPE_AUDIO, true, AV_CODEC_ID_AAC, ""},
        {"mpeg4aac", AVMEDIA_TYPE_AUDIO, true, AV_CODEC_ID_AAC, ""},
        {"libfaac", AVMEDIA_TYPE_AUDIO, false, AV_CODEC_ID_NONE, "Unknown decoder 'libfaac'"},
    };
    TTestJob job;
    for (const TCase& c : cases) {
        AVCodecID id = AV_CODEC_ID_PROBE;
        const bool ok = job.find_codec(std::string(c.Name), c.Kind, FF_COMPLIANCE_NORMAL, c.Encoder, id);
        EXPECT_EQ(ok, std::string(c.Message).empty()) << c.Name;
        EXPECT_EQ(id, c.ID) << c.Name;
        if (!ok) {
            EXPECT_EQ(job.LastErrMsg(), c.Message);
        }
    }

    // An experimental encoder needs the strictness lowered.
    const AVCodec* experimental = ff::avcodec_find_encoder_by_name("vorbis");
    if (!experimental || !(experimental->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
        GTEST_SKIP() << "no experimental encoder to try";
    AVCodecID id;
    EXPECT_FALSE(job.find_codec(std::string("vorbis"), AVMEDIA_TYPE_AUDIO, FF_COMPLIANCE_NORMAL, true, id));
    std::string expected = "encoder 'vorbis' is experimental and might produce bad results.\r\n"
                           "Add '-strict experimental' if you want to use it.";
    const AVCodec* usual = ff::avcodec_find_encoder(AV_CODEC_ID_VORBIS);
    if (usual && !(usual->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
        expected += "\r\nOr use the non experimental encoder '" + std::string(usual->name) + "'.";
    EXPECT_EQ(job.LastErrMsg(), expected);
    EXPECT_TRUE(
        job.find_codec(std::string("vorbis"), AVMEDIA_TYPE_AUDIO, FF_COMPLIANCE_EXPERIMENTAL, true, id));
}

TEST_F(InputsOutputsTest, AnOpenedInputConsumesItsOptions) {
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi"), {{"ss", "0.5"}, {"r", "10"}, {"s", "64x48"}, {"acodec", "mp3"}}))
        << job.InputError;
    EXPECT_EQ(job.FRunFlags.start_time, 0);
    EXPECT_EQ(job.FNextFile.frame_rate.num, 0);
    EXPECT_EQ(job.FNextFile.frame_width, 0);
    EXPECT_FALSE(job.FNextAudio.codec_name);
    // The seek became the file's offset: its timestamps start at 0 after 0.5 s.
    EXPECT_EQ(job.Finput_files[0].ts_offset, -500000 - job.Finput_files[0].ctx->start_time);
    EXPECT_NEAR(job.TotalOutputDuration() / 1e6, 2.0, 0.1);
    // The audio decoder's sample format becomes the outputs' default.
    EXPECT_EQ(job.Faudio_sample_fmt, job.Finput_streams[1].dec_ctx->sample_fmt);
    ASSERT_EQ(job.Finput_streams.size(), 2u);
    EXPECT_EQ(job.Finput_streams[1].file_index, 0);
    EXPECT_EQ(job.Finput_streams[1].discard, 1);

    // A second input follows the first one's streams.
    ASSERT_TRUE(job.Input(Path("tone.mp3")));
    EXPECT_EQ(job.Finput_files[1].ist_index, 2);
    EXPECT_EQ(job.Finput_streams[2].file_index, 1);
    EXPECT_NEAR(job.TotalOutputDuration() / 1e6, 3.0, 0.1); // the longest input
}

TEST_F(InputsOutputsTest, InputsThatCannotBeOpenedSayWhy) {
    fixtures::WriteTextFile(Out.File("text.avi"), "not a movie at all");
    struct TCase {
        std::string File;
        TOptionList Options;
        std::string Message; // contained in the reason
    };
    const TCase cases[] = {
        {Out.File("missing.avi"), {}, "missing.avi: "},
        {Out.File("text.avi"), {}, "text.avi"},
        {Path("clip.avi"), {{"programid", "99"}}, "Specified program id not found"},
        {Path("clip.avi"), {{"vcodec", "nosuch"}}, "Unknown decoder 'nosuch'"},
        // A stream layout that cannot be read refuses the input (a quiet run goes on, below).
        {Path("clip.avi"), {{"f", "mpegts"}}, "clip.avi: could not find codec parameters: End of file"},
    };
    for (const TCase& c : cases) {
        TTestJob job;
        job.Options({{"acodec", "mp3"}});
        EXPECT_FALSE(job.Input(c.File, c.Options)) << c.File;
        EXPECT_NE(job.InputError.find(c.Message), std::string::npos) << job.InputError;
        EXPECT_EQ(job.nb_input_files(), 0);
        EXPECT_FALSE(job.FNextAudio.codec_name) << "the decoder names are released";
    }
    TTestJob job;
    EXPECT_FALSE(job.Input(Path("clip.avi"), {{"f", "nosuch"}}));
    EXPECT_EQ(job.InputError, "Unknown input format: \"nosuch\"");
    // The job is still usable.
    EXPECT_TRUE(job.Input(Path("clip.avi")));

    TTestJob quiet;
    EXPECT_TRUE(quiet.Input(Path("clip.avi"), {{"v", "-1"}, {"f", "mpegts"}})) << quiet.InputError;
}

TEST_F(InputsOutputsTest, AnOutputGetsTheKindsItsFormatAndInputsHave) {
    struct TCase {
        const char* Input;
        const char* Output;
        TOptionList Options;
        int Videos, Audios;
        const char* VideoEncoder; // "" when the stream is copied or absent
        const char* AudioEncoder;
    };
    const TCase cases[] = {
        {"clip.avi", "o.mkv", {}, 1, 1, "libx264", "libvorbis"},
        {"clip.avi", "o.avi", {}, 1, 1, "mpeg4", "libmp3lame"},
        {"clip.avi", "o.wav", {}, 0, 1, "", "pcm_s16le"},
        {"clip.avi", "o.avi", {{"vn", "1"}}, 0, 1, "", "libmp3lame"},
        {"clip.avi", "o.avi", {{"an", "1"}, {"vcodec", "copy"}}, 1, 0, "", ""},
        {"clip.avi", "o.mp4", {{"acodec", "libfaac"}}, 1, 1, "libx264", "aac"},
        {"tone.mp3", "o.avi", {}, 0, 1, "", "libmp3lame"},
        {"clip.avi", "o.mkv", {{"acodec", "mp2"}, {"vcodec", "mjpeg"}}, 1, 1, "mjpeg", "mp2"},
    };
    for (const TCase& c : cases) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path(c.Input)));
        const std::string out = Out.File(c.Output);
        ASSERT_EQ(job.Output(out, c.Options), 1) << job.LastErrMsg();
        const auto& streams = job.Foutput_files[0].streams;
        int videos = 0, audios = 0;
        for (const auto& ost : streams) {
            const std::string encoder = ost->stream_copy || !ost->enc ? "" : ost->enc->name;
            if (ost->kind == AVMEDIA_TYPE_VIDEO) {
                ++videos;
                EXPECT_EQ(encoder, c.VideoEncoder) << c.Output;
            } else if (ost->kind == AVMEDIA_TYPE_AUDIO) {
                ++audios;
                EXPECT_EQ(encoder, c.AudioEncoder) << c.Output;
            }
        }
        EXPECT_EQ(videos, c.Videos) << c.Input << " -> " << c.Output;
        EXPECT_EQ(audios, c.Audios) << c.Input << " -> " << c.Output;
        // Created as a hidden part file beside it, with nothing written before the run; nothing
        // is under the output's name until the run ends.
        const std::string& part = job.Foutput_files[0].part.Path();
        EXPECT_EQ(part.substr(0, Out.Path().size() + 2), Out.Path() + "/.") << part;
        EXPECT_EQ(fixtures::FileSize(part), 0) << c.Output;
        EXPECT_EQ(fixtures::FileSize(out), -1) << c.Output;
    }
}

TEST_F(InputsOutputsTest, DisablingVideoLastsUntilAVideoStreamIsMade) {
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    ASSERT_EQ(job.Output(Out.File("a.avi"), {{"vn", "1"}}), 1);
    ASSERT_EQ(job.Output(Out.File("b.avi")), 2);
    EXPECT_EQ(job.Foutput_files[1].streams.size(), 1u) << "vn still in force";
    EXPECT_TRUE(job.FNextVideo.disable);
    // "newvideo" makes one and lifts it.
    job.SetExtOption("newvideo", "");
    EXPECT_FALSE(job.FNextVideo.disable);
    ASSERT_EQ(job.Foutput_files[1].streams.size(), 2u);
    EXPECT_EQ(job.Foutput_files[1].streams[1]->kind, AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(job.Output(Out.File("c.avi")), 3);
    EXPECT_EQ(job.Foutput_files[2].streams.size(), 2u);
}

TEST_F(InputsOutputsTest, OptionsThatOutliveOrFallShortOfOneOpenEndWhereTheyAreUsed) {
    TTestJob job;
    // A refused input drops the video channel but keeps the pixel format for the next try.
    EXPECT_FALSE(job.Input(Out.File("missing.avi"), {{"vc", "1"}, {"pix_fmt", "yuv422p"}}));
    EXPECT_EQ(job.Fvideo_channel, 0);
    EXPECT_EQ(job.FNextVideo.pix_fmt, AV_PIX_FMT_YUV422P);
    // An opened input takes the pixel format and "top" (its decoders had it); "ss" and
    // "programid" given after it are left for the run.
    ASSERT_TRUE(job.Input(Path("clip.avi"), {{"top", "1"}})) << job.LastErrMsg();
    EXPECT_EQ(job.FNextVideo.pix_fmt, AV_PIX_FMT_NONE);
    EXPECT_EQ(job.FRunFlags.top_field_first, -1);
    job.Options({{"ss", "0.5"}, {"programid", "3"}, {"top", "0"}});

    // An output without video drops the forced key frames and keeps the pixel format.
    ASSERT_EQ(job.Output(Out.File("a.wav"), {{"force_key_frames", "1"}, {"pix_fmt", "yuv422p"}}), 1);
    EXPECT_EQ(job.FNextVideo.forced_key_frames, "");
    EXPECT_EQ(job.FNextVideo.pix_fmt, AV_PIX_FMT_YUV422P);
    // A copied video stream reads the aspect and leaves it and the filters for the next one.
    ASSERT_EQ(job.Output(Out.File("b.avi"), {{"vcodec", "copy"}, {"aspect", "16:9"}, {"vf", "hflip"}}), 2);
    EXPECT_FLOAT_EQ(job.Fframe_aspect_ratio, 16.0f / 9);
    EXPECT_EQ(job.Fvfilters, "hflip");
    EXPECT_EQ(job.FNextVideo.pix_fmt, AV_PIX_FMT_NONE) << "taken by the copied stream";
    // An encoded one takes both.
    ASSERT_EQ(job.Output(Out.File("c.avi"), {{"force_key_frames", "1"}}), 3);
    const TAVOutputStream& video = *job.Foutput_files[2].streams[0];
    ASSERT_EQ(video.kind, AVMEDIA_TYPE_VIDEO);
    EXPECT_FLOAT_EQ(video.frame_aspect_ratio, 16.0f / 9);
    EXPECT_EQ(video.avfilter, "hflip");
    EXPECT_EQ(video.forced_kf_pts.size(), 1u);
    EXPECT_EQ(job.Fframe_aspect_ratio, 0);
    EXPECT_EQ(job.Fvfilters, "");
    EXPECT_EQ(job.FNextVideo.forced_key_frames, "");
    EXPECT_EQ(job.FRunFlags.start_time, 500000);
    EXPECT_EQ(job.FRunFlags.opt_programid, 3);
    EXPECT_EQ(job.FRunFlags.top_field_first, 0);
}

TEST_F(InputsOutputsTest, OutputsThatCannotBeMadeSayWhyAndLeaveNoFile) {
    struct TCase {
        TOptionList Options;
        const char* Output;
        std::string Message;
    };
    const TCase cases[] = {
        {{{"vcodec", "nosuch"}}, "a.avi", "new_video_stream fail: Unknown encoder 'nosuch'"},
        {{{"acodec", "libx264"}}, "a.avi", "new_audio_stream fail: Invalid encoder type 'libx264'"},
        {{{"f", "ffm"}}, "a.ffm", "live feeds"},
        {{{"f", "nosuchformat"}}, "a.avi", "a.avi: "},
        {{}, "no/such/folder/a.avi", "a.avi: "},
    };
    for (const TCase& c : cases) {
        TTestJob job;
        ASSERT_TRUE(job.Input(Path("clip.avi")));
        EXPECT_EQ(job.Output(Out.File(c.Output), c.Options), -1) << c.Output;
        EXPECT_NE(job.LastErrMsg().find(c.Message), std::string::npos) << job.LastErrMsg();
        EXPECT_EQ(job.nb_output_files(), 0);
        EXPECT_FALSE(FileExists(Out.File(c.Output))) << c.Output;
    }

    TTestJob job(1);
    try {
        job.SetExtOption("newaudio", "");
        ADD_FAILURE() << "accepted";
    } catch (const FFmpegException& e) {
        EXPECT_STREQ(e.what(), "At least one output file must be specified");
    }
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    ASSERT_EQ(job.Output(Out.File("one.avi")), 1);
    EXPECT_EQ(job.Output(Out.File("two.avi")), -1);
    EXPECT_EQ(job.LastErrMsg(), "Too many output files.");
}

TEST_F(InputsOutputsTest, AJoinedOutputTakesWhatEveryInputHasAndOneSlotPerInput) {
    TTestJob job;
    ASSERT_TRUE(job.Input(Path("clip.avi")));
    ASSERT_TRUE(job.Input(Path("ntsc.avi"))); // video only
    ASSERT_EQ(job.Output(Out.File("joined.mkv"), {}, true), 1) << job.LastErrMsg();
    EXPECT_TRUE(job.FJoinMode);
    ASSERT_EQ(job.nb_output_files(), 2);
    ASSERT_EQ(job.Foutput_files[0].streams.size(), 1u);
    EXPECT_EQ(job.Foutput_files[0].streams[0]->kind, AVMEDIA_TYPE_VIDEO);
    // The second slot writes into the same file and stream.
    EXPECT_EQ(job.Foutput_files[1].ctx.get(), job.Foutput_files[0].ctx.get());
    EXPECT_EQ(job.Foutput_files[1].streams[0]->st, job.Foutput_files[0].streams[0]->st);
    EXPECT_NEAR(job.TotalOutputDuration() / 1e6, 4.0, 0.1);

    EXPECT_EQ(job.Output(Out.File("second.mkv")), -1);
    EXPECT_EQ(job.LastErrMsg(), "Cannot join more than one output file.");
}

} // namespace
