#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include "OptionsTestSupport.h"

using namespace vx;
using namespace vx::test;

namespace {

// Every field an option can touch, as one text: equal texts mean an unchanged job.
std::string Snapshot(const TFFmpegOptions& J) {
    std::ostringstream s;
    auto opt = [](const std::optional<std::string>& AValue) { return AValue ? "<" + *AValue + ">" : "none"; };
    auto matrix = [](const std::optional<std::array<uint16_t, 64>>& M) {
        std::string t = M ? "" : "none";
        if (M)
            for (uint16_t v : *M)
                t += std::to_string(v) + ",";
        return t;
    };
    s << J.FNextFile.format << '|' << J.FNextFile.frame_width << 'x' << J.FNextFile.frame_height << '|'
      << J.Fframe_aspect_ratio << '|' << J.FNextVideo.pix_fmt << '|' << J.FRunFlags.frame_bits_per_raw_sample
      << '|' << J.Faudio_sample_fmt << '|';
    for (int32_t m : J.FRunFlags.max_frames)
        s << m << ',';
    s << J.FNextFile.frame_rate.num << '/' << J.FNextFile.frame_rate.den << '|' << J.Fvideo_qscale << '|'
      << matrix(J.Fintra_matrix) << '|' << matrix(J.Finter_matrix) << '|' << opt(J.Fvideo_rc_override_string)
      << '|' << J.FNextVideo.disable << J.FNextAudio.disable << J.FNextSubtitle.disable << J.FNextData.disable
      << '|' << J.Fvideo_discard << '|' << opt(J.FNextVideo.codec_name) << opt(J.FNextAudio.codec_name)
      << opt(J.FNextSubtitle.codec_name) << opt(J.FNextData.codec_name) << '|' << J.Fvideo_codec_tag << ','
      << J.Faudio_codec_tag << ',' << J.Fsubtitle_codec_tag << '|' << J.FNextVideo.language
      << J.FNextAudio.language << J.FNextSubtitle.language << '|' << J.FRunFlags.same_quality
      << J.FRunFlags.do_deinterlace << J.Fintra_only << J.FRunFlags.qp_hist << '|'
      << J.FRunFlags.top_field_first << '|' << J.FRunFlags.me_threshold << '|' << J.Fintra_dc_precision << '|'
      << J.Floop_input << J.Floop_output << '|' << J.Fvfilters << '|' << J.FNextFile.audio_sample_rate << ','
      << J.FNextFile.audio_channels << '|' << J.Faudio_qscale << '|' << J.Fmux_preload << ','
      << J.Fmux_max_delay << '|' << J.FRunFlags.recording_time << ',' << J.FRunFlags.start_time << ','
      << J.Frecording_timestamp << ',' << J.Finput_ts_offset << '|' << J.Fmetadata.Count() << '|'
      << J.FRunFlags.do_hex_dump << J.FRunFlags.do_pkt_dump << J.Fdo_psnr << J.Fdo_pass
      << J.FRunFlags.pass_logfilename_prefix << '|' << J.FNextVideo.stream_copy << J.FNextAudio.stream_copy
      << J.FNextSubtitle.stream_copy << J.FNextData.stream_copy << '|' << J.FRunFlags.video_sync_method << ','
      << J.FRunFlags.audio_sync_method << ',' << J.FRunFlags.audio_drift_threshold << '|'
      << J.FRunFlags.copy_ts << J.FRunFlags.copy_tb << J.FRunFlags.opt_shortest << '|'
      << opt(J.FRunFlags.vstats_filename) << '|' << J.FRunFlags.opt_programid << ','
      << J.FRunFlags.copy_initial_nonkeyframes << ',' << J.FRunFlags.rate_emu << ',' << J.Fvideo_channel
      << ',' << opt(J.Fvideo_standard) << ',' << J.FRunFlags.audio_volume << ',' << J.FRunFlags.exit_on_error
      << J.FRunFlags.using_vhook << '|' << J.FRunFlags.verbose << ',' << J.Fthread_count << ','
      << J.FRunFlags.limit_filesize << ',' << J.FRunFlags.force_fps << J.FRunFlags.input_sync << ','
      << J.FNextVideo.forced_key_frames << ',' << J.FRunFlags.dts_delta_threshold << '|'
      << J.FNextVideo.bitstream_filters.size() << J.FNextAudio.bitstream_filters.size()
      << J.FNextSubtitle.bitstream_filters.size() << '|' << J.FRunFlags.stream_maps.size() << ','
      << J.FRunFlags.meta_data_maps.size() << ',' << J.FRunFlags.chapter_maps.size() << ','
      << J.FRunFlags.metadata_global_autocopy << J.FRunFlags.metadata_streams_autocopy
      << J.FRunFlags.metadata_chapters_autocopy << '|';
    for (int32_t id : J.Fstreamid_map)
        s << id << ',';
    for (const auto& file : J.Finput_files_ts_scale) {
        s << '[';
        for (double v : file)
            s << v << ',';
        s << ']';
    }
    s << '|' << J.FOptions.opt_name_count() << ',' << J.FOptions.video_opts().Count() << ','
      << J.FOptions.format_opts().Count() << ','
      << IntOption(J.FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO), "b");
    return s.str();
}

std::string Matrix64(int AFirst) {
    std::string t;
    for (int i = 0; i < 64; ++i)
        t += (i ? "," : "") + std::to_string(AFirst + i);
    return t;
}

class OptionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoadLibraries(); }
    TLogRecorder Log;
    TTestJob Job;
};

TEST_F(OptionsTest, DefaultsOfTheStateThatTheJobRelies) {
    EXPECT_EQ(Job.FNextVideo.pix_fmt, AV_PIX_FMT_NONE);
    EXPECT_EQ(Job.Faudio_sample_fmt, AV_SAMPLE_FMT_NONE);
    for (int32_t m : Job.FRunFlags.max_frames)
        EXPECT_EQ(m, 2147483647);
    EXPECT_EQ(Job.FNextFile.frame_rate.den, 0);
    EXPECT_FLOAT_EQ(Job.Faudio_qscale, -99999.0f);
    EXPECT_FLOAT_EQ(Job.Fmux_preload, 0.5f);
    EXPECT_FLOAT_EQ(Job.Fmux_max_delay, 0.7f);
    EXPECT_EQ(Job.FRunFlags.recording_time, INT64_MAX);
    EXPECT_EQ(Job.FRunFlags.top_field_first, -1);
    EXPECT_EQ(Job.Floop_output, -1);
    EXPECT_EQ(Job.Fintra_dc_precision, 8);
    EXPECT_EQ(Job.FRunFlags.video_sync_method, -1);
    EXPECT_EQ(Job.FRunFlags.audio_volume, 256);
    EXPECT_EQ(Job.Fthread_count, 1);
    EXPECT_EQ(Job.FRunFlags.verbose, 1);
    EXPECT_FLOAT_EQ(Job.FRunFlags.dts_delta_threshold, 10.0f);
    EXPECT_FLOAT_EQ(Job.FRunFlags.audio_drift_threshold, 0.1f);
    EXPECT_EQ(Job.FRunFlags.metadata_global_autocopy + Job.FRunFlags.metadata_streams_autocopy +
                  Job.FRunFlags.metadata_chapters_autocopy,
              3);
    EXPECT_TRUE(Job.HaltOnInvalidOption());
    EXPECT_FALSE(Job.FNextVideo.codec_name.has_value());
    EXPECT_EQ(Job.FOptions.opt_name_count(), 0);
}

// Options whose value needs reading, each with what it must leave in the state.
TEST_F(OptionsTest, ValuesAreReadIntoTheirFields) {
    const std::string matrix = Matrix64(1);
    struct TCase {
        const char* Name;
        const char* Value;
        std::function<void(const TTestJob&)> Check;
    };
    const TCase cases[] = {
        {"vframes", "10",
         [](const TTestJob& J) { EXPECT_EQ(J.FRunFlags.max_frames[AVMEDIA_TYPE_VIDEO], 10); }},
        {"aframes", " +7 ",
         [](const TTestJob& J) { EXPECT_EQ(J.FRunFlags.max_frames[AVMEDIA_TYPE_AUDIO], 7); }},
        {"dframes", "-1",
         [](const TTestJob& J) { EXPECT_EQ(J.FRunFlags.max_frames[AVMEDIA_TYPE_DATA], -1); }},
        {"fs", "5000000000", [](const TTestJob& J) { EXPECT_EQ(J.FRunFlags.limit_filesize, 5000000000LL); }},
        {"s", "640x480",
         [](const TTestJob& J) {
             EXPECT_EQ(J.FNextFile.frame_width * 10000 + J.FNextFile.frame_height, 6400480);
         }},
        {"s", "", [](const TTestJob& J) { EXPECT_EQ(J.FNextFile.frame_width, 0); }},
        {"r", "30000/1001",
         [](const TTestJob& J) {
             EXPECT_EQ(J.FNextFile.frame_rate.num * 10000 + J.FNextFile.frame_rate.den, 300001001);
         }},
        {"r", "", [](const TTestJob& J) { EXPECT_EQ(J.FNextFile.frame_rate.den, 0); }},
        {"aspect", "1.7777", [](const TTestJob& J) { EXPECT_FLOAT_EQ(J.Fframe_aspect_ratio, 1.7777f); }},
        {"aspect", "16:9", [](const TTestJob& J) { EXPECT_FLOAT_EQ(J.Fframe_aspect_ratio, 16.0f / 9); }},
        {"aspect", "-1", [](const TTestJob& J) { EXPECT_FLOAT_EQ(J.Fframe_aspect_ratio, -1.0f); }},
        {"aspect", "1,5", [](const TTestJob& J) { EXPECT_FLOAT_EQ(J.Fframe_aspect_ratio, 1.5f); }},
        {"qscale", "255", [](const TTestJob& J) { EXPECT_FLOAT_EQ(J.Fvideo_qscale, 255.0f); }},
        {"qscale", "0.5", [](const TTestJob& J) { EXPECT_FLOAT_EQ(J.Fvideo_qscale, 0.5f); }},
        {"pix_fmt", "yuv422p",
         [](const TTestJob& J) { EXPECT_EQ(J.FNextVideo.pix_fmt, AV_PIX_FMT_YUV422P); }},
        {"sample_fmt", "s16", [](const TTestJob& J) { EXPECT_EQ(J.Faudio_sample_fmt, AV_SAMPLE_FMT_S16); }},
        {"ar", "44100", [](const TTestJob& J) { EXPECT_EQ(J.FNextFile.audio_sample_rate, 44100); }},
        {"ar", "-5", [](const TTestJob& J) { EXPECT_EQ(J.FNextFile.audio_sample_rate, 0); }},
        {"ac", "0", [](const TTestJob& J) { EXPECT_EQ(J.FNextFile.audio_channels, 0); }},
        {"t", "00:01:02.5", [](const TTestJob& J) { EXPECT_EQ(J.FRunFlags.recording_time, 62500000); }},
        {"ss", "90", [](const TTestJob& J) { EXPECT_EQ(J.FRunFlags.start_time, 90000000); }},
        {"itsoffset", "-2.5", [](const TTestJob& J) { EXPECT_EQ(J.Finput_ts_offset, -2500000); }},
        {"timestamp", "2011-01-01T10:00:00.6Z",
         [](const TTestJob& J) { EXPECT_EQ(J.Frecording_timestamp, 1293876001); }},
        {"vtag", "DIVX", [](const TTestJob& J) { EXPECT_EQ(J.Fvideo_codec_tag, 0x58564944u); }},
        {"atag", "1234", [](const TTestJob& J) { EXPECT_EQ(J.Faudio_codec_tag, 1234u); }},
        {"stag", "", [](const TTestJob& J) { EXPECT_EQ(J.Fsubtitle_codec_tag, 0u); }},
        {"vn", "", [](const TTestJob& J) { EXPECT_TRUE(J.FNextVideo.disable); }},
        {"an", "0", [](const TTestJob& J) { EXPECT_FALSE(J.FNextAudio.disable); }},
        {"muxdelay", "0.25", [](const TTestJob& J) { EXPECT_FLOAT_EQ(J.Fmux_max_delay, 0.25f); }},
        {"vf", "", [](const TTestJob& J) { EXPECT_EQ(J.Fvfilters, ""); }},
        {"vf", "scale=320:240", [](const TTestJob& J) { EXPECT_EQ(J.Fvfilters, "scale=320:240"); }},
        {"rc_override", "0,100,2/101,200,-50",
         [](const TTestJob& J) {
             EXPECT_EQ(J.Fvideo_rc_override_string.value_or(""), "0,100,2/101,200,-50");
         }},
        {"top", "1", [](const TTestJob& J) { EXPECT_EQ(J.FRunFlags.top_field_first, 1); }},
        {"f", "", [](const TTestJob& J) { EXPECT_EQ(J.FNextFile.format, ""); }},
        {"f", "matroska", [](const TTestJob& J) { EXPECT_EQ(J.FNextFile.format, "matroska"); }},
        {"force_key_frames", "0,1.5,00:00:03",
         [](const TTestJob& J) { EXPECT_EQ(J.FNextVideo.forced_key_frames, "0,1.5,00:00:03"); }},
        {"metadata", "title=A=B", [](const TTestJob& J) { EXPECT_STREQ(J.Fmetadata.Value("title"), "A=B"); }},
        {"intra_matrix", matrix.c_str(),
         [](const TTestJob& J) {
             ASSERT_TRUE(J.Fintra_matrix.has_value());
             EXPECT_EQ((*J.Fintra_matrix)[0], 1);
             EXPECT_EQ((*J.Fintra_matrix)[63], 64);
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + "=" + c.Value);
        TTestJob job;
        job.SetExtOption(c.Name, c.Value);
        c.Check(job);
    }
}

// Every malformed value is refused with its message and leaves the job as it was.
TEST_F(OptionsTest, MalformedValuesAreRefusedAndChangeNothing) {
    struct TCase {
        const char* Name;
        std::string Value;
        std::string Message;
    };
    const std::string notFound = "/nonexistent/dir/x.ffpreset";
    const TCase cases[] = {
        {"aspect", "4:0", "Incorrect aspect ratio specification."},
        {"aspect", "abc", "Incorrect aspect ratio specification."},
        {"aspect", "1:-1", "Incorrect aspect ratio specification."},
        {"aspect", "99999999999:1", "Incorrect aspect ratio specification."},
        {"aspect", "1e999", "Incorrect aspect ratio specification."},
        {"qscale", "0", "qscale must be > 0.0 and <= 255"},
        {"qscale", "256", "qscale must be > 0.0 and <= 255"},
        {"qscale", "abc", "Invalid value \"abc\" for option \"qscale\": a number is required"},
        {"qscale", "nan", "Invalid value \"nan\" for option \"qscale\": out of range"},
        {"croptop", "10", "Removed, use the crop filter instead"},
        {"padcolor", "", "Removed, use the pad filter instead"},
        {"pass", "3", "pass number can be only 1 or 2"},
        {"r", "abc", "Incorrect frame rate"},
        {"r", "0", "Incorrect frame rate"},
        {"s", "abc", "Incorrect frame size"},
        {"pix_fmt", "nonsense", "Unknown pixel format requested: nonsense"},
        {"pix_fmt", "", "Unknown pixel format requested: "},
        {"sample_fmt", "xx", "Invalid sample format \"xx\""},
        {"target", "dv25", "Unknown target type"},
        {"target", "pal-", "Unknown target type"},
        {"metadata", "novalue", "Missing ="},
        {"metadata", "title=", "wrong parameter of metadata"},
        {"metadata", "=x", "wrong parameter of metadata"},
        {"map", "",
         "Invalid value \"\" for option \"map\", required syntax is \"file.stream[:syncfile.syncstream]\""},
        {"map", "0",
         "Invalid value \"0\" for option \"map\", required syntax is \"file.stream[:syncfile.syncstream]\""},
        {"map", "-1.0",
         "Invalid value \"-1.0\" for option \"map\", required syntax is "
         "\"file.stream[:syncfile.syncstream]\""},
        {"map", "0.1:1",
         "Invalid value \"0.1:1\" for option \"map\", required syntax is "
         "\"file.stream[:syncfile.syncstream]\""},
        {"map", "99999999999.0",
         "Invalid value \"99999999999.0\" for option \"map\", required syntax is "
         "\"file.stream[:syncfile.syncstream]\""},
        {"map_metadata", "0,x:1", "Invalid metadata type x."},
        {"map_metadata", "0,s:1",
         "Invalid value \"0,s:1\" for option \"map_metadata\", required syntax is "
         "\"outfile[,type[index]]:infile[,type[index]]\""},
        {"map_chapters", "1",
         "Invalid value \"1\" for option \"map_chapters\", required syntax is \"outfile:infile\""},
        {"itsscale", "1024:2", "stream index over MAX_STREAMS(1024)"},
        {"itsscale", "-1:2", "Invalid stream index -1"},
        {"itsscale", "0:abc",
         "Invalid value \"0:abc\" for option \"itsscale\", required syntax is \"stream:scale\""},
        {"itsscale", "0:inf",
         "Invalid value \"0:inf\" for option \"itsscale\", required syntax is \"stream:scale\""},
        {"streamid", "a:b",
         "Invalid value \"a:b\" for option \"streamid\", required syntax is \"index:value\""},
        {"streamid", "1", "Invalid value \"1\" for option \"streamid\", required syntax is \"index:value\""},
        {"streamid", "1:99999999999",
         "Invalid value \"1:99999999999\" for option \"streamid\", required syntax is \"index:value\""},
        {"streamid", "-1:5", "Invalid stream index -1"},
        {"streamid", "2000000000:1", "stream index over MAX_STREAMS(1024)"},
        {"intra_matrix", "1,2,3", "Syntax error in matrix \"1,2,3\" at coeff 2"},
        {"inter_matrix", "", "Syntax error in matrix \"\" at coeff 0"},
        // A zero coefficient makes the encoders divide by zero.
        {"intra_matrix", Matrix64(0),
         "Invalid coefficient 0 in matrix \"" + Matrix64(0) + "\" at coeff 0: must be 1 to 255"},
        {"inter_matrix", Matrix64(200),
         "Invalid coefficient 256 in matrix \"" + Matrix64(200) + "\" at coeff 56: must be 1 to 255"},
        {"t", "abc", "Invalid duration specification for t: abc"},
        {"t", "", "Invalid duration specification for t: "},
        {"ss", "99999999999999999999", "Invalid duration specification for ss: 99999999999999999999"},
        {"timestamp", "xyz", "Invalid date specification for timestamp: xyz"},
        {"force_key_frames", "1,zz", "Invalid duration specification for force_key_frames: zz"},
        {"vbsf", "nosuchfilter", "Unknown bitstream filter nosuchfilter"},
        {"absf", "nosuch=1 ", "Unknown bitstream filter nosuch=1"},
        {"vhook", "/usr/lib/hook.so -x", "Failed to add video hook function: /usr/lib/hook.so -x"},
        {"newaudio", "", "At least one output file must be specified"},
        {"newvideo", "1", "At least one output file must be specified"},
        {"zzz", "1", "Unrecognized option \"zzz\""},
        {"", "", "Empty option name"},
        {"b", "abc", "Invalid value \"abc\" for option \"b\""},
        {"b", "", "Invalid value \"\" for option \"b\""},
        {"vb", "99999999999999999999", "Invalid value \"99999999999999999999\" for option \"vb\""},
        {"g", "x", "Invalid value \"x\" for option \"g\""},
        {"fpre", notFound, "Preset file \"" + notFound + "\" not found"},
        {"vpre", "/tmp", "Preset file \"/tmp\" not found"},
        {"loglevel", "bogus", "Invalid loglevel \"bogus\"."},
        {"vframes", "", "Invalid value \"\" for option \"vframes\": an integer is required"},
        {"vframes", "abc", "Invalid value \"abc\" for option \"vframes\": an integer is required"},
        {"vframes", "12abc", "Invalid value \"12abc\" for option \"vframes\": an integer is required"},
        {"vframes", "99999999999999999999",
         "Invalid value \"99999999999999999999\" for option \"vframes\": out of range"},
        {"vol", "3000000000", "Invalid value \"3000000000\" for option \"vol\": out of range"},
        {"fs", "1e5", "Invalid value \"1e5\" for option \"fs\": an integer is required"},
        {"muxdelay", "1e999", "Invalid value \"1e999\" for option \"muxdelay\": out of range"},
        {"aq", "", "Invalid value \"\" for option \"aq\": a number is required"},
        {"pass", "", "Invalid value \"\" for option \"pass\": an integer is required"},
    };
    // A job that already holds some options: the refused ones must not disturb them.
    Job.Outputs = 0;
    Job.SetExtOption("vcodec", "mpeg4");
    Job.SetExtOption("s", "320x240");
    Job.SetExtOption("b", "800k");
    Job.SetExtOption("map", "0.0");
    Job.SetExtOption("streamid", "0:5");
    Job.SetExtOption("itsscale", "0:2");
    const std::string before = Snapshot(Job);
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + "=" + c.Value);
        try {
            Job.SetExtOption(c.Name, c.Value);
            ADD_FAILURE() << "accepted";
        } catch (const FFmpegException& e) {
            EXPECT_EQ(e.what(), c.Message);
        }
        EXPECT_EQ(Snapshot(Job), before);
    }
}

TEST_F(OptionsTest, CodecTagOfWrongLengthIsAnAssertionNotAnOptionError) {
    const std::string before = Snapshot(Job);
    for (const char* value : {"ABCDE", "abc", "99999999999999999999"}) {
        SCOPED_TRACE(value);
        try {
            Job.SetExtOption("vtag", value);
            ADD_FAILURE() << "accepted";
        } catch (const FFmpegException&) {
            ADD_FAILURE() << "raised as an option error";
        } catch (const std::logic_error& e) {
            EXPECT_TRUE(std::regex_match(
                e.what(), std::regex(R"(tag parameter must be 4 chars or int value \(.+\.cpp, line \d+\))")))
                << e.what();
        }
    }
    EXPECT_EQ(Snapshot(Job), before);
}

TEST_F(OptionsTest, UnknownNamesAreSkippedWhenNotHalting) {
    Job.SetHaltOnInvalidOption(false);
    EXPECT_NO_THROW(Job.SetExtOption("zzz", "1"));
    EXPECT_NO_THROW(Job.SetExtOption("b", "abc"));
    EXPECT_NO_THROW(Job.SetExtOption("", ""));
    EXPECT_EQ(Job.FOptions.opt_name_count(), 0);
    // Known options still refuse bad values.
    EXPECT_THROW(Job.SetExtOption("qscale", "0"), FFmpegException);
    // The refusal reached the log at error level.
    EXPECT_EQ(Log.Count(llError, "Unrecognized option \"zzz\""), 1);
}

TEST_F(OptionsTest, CodecCopyStaysBesideALaterName) {
    Job.SetExtOption("vcodec", "copy");
    EXPECT_EQ(Job.FNextVideo.stream_copy, 1);
    EXPECT_FALSE(Job.FNextVideo.codec_name.has_value());
    Job.SetExtOption("vcodec", "mpeg4");
    EXPECT_EQ(Job.FNextVideo.stream_copy, 1);
    EXPECT_EQ(Job.FNextVideo.codec_name.value_or(""), "mpeg4");
    Job.SetExtOption("vcodec", "");
    EXPECT_EQ(Job.FNextVideo.codec_name.value_or(""), "mpeg4");
    Job.SetExtOption("vcodec", "copy");
    EXPECT_FALSE(Job.FNextVideo.codec_name.has_value());

    Job.SetExtOption("acodec", "mp2");
    Job.SetExtOption("scodec", "copy");
    Job.SetExtOption("dcodec", "copy");
    EXPECT_EQ(Job.FNextAudio.codec_name.value_or(""), "mp2");
    EXPECT_EQ(Job.FNextAudio.stream_copy, 0);
    EXPECT_EQ(Job.FNextSubtitle.stream_copy + Job.FNextData.stream_copy, 2);
}

TEST_F(OptionsTest, StreamMaps) {
    struct TCase {
        const char* Value;
        TAVStreamMap Map;
    };
    const TCase cases[] = {
        {"0.1", {0, 1, 0, 1}},     {"0:1", {0, 1, 0, 1}},
        {"0.1:1.0", {0, 1, 1, 0}}, {"0x2.010", {2, 8, 2, 8}}, // C integers: hexadecimal and octal
        {"3/4,5;6", {3, 4, 5, 6}},                            // any one separator character
    };
    for (const TCase& c : cases)
        Job.SetExtOption("map", c.Value);
    ASSERT_EQ(Job.FRunFlags.stream_maps.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].Value);
        const TAVStreamMap& m = Job.FRunFlags.stream_maps[i];
        EXPECT_EQ(m.file_index, cases[i].Map.file_index);
        EXPECT_EQ(m.stream_index, cases[i].Map.stream_index);
        EXPECT_EQ(m.sync_file_index, cases[i].Map.sync_file_index);
        EXPECT_EQ(m.sync_stream_index, cases[i].Map.sync_stream_index);
    }
}

TEST_F(OptionsTest, MetadataMapsClearTheAutoCopyOfWhatTheyNameAtTheOutput) {
    Job.SetExtOption("map_metadata", "0,s1:1");
    ASSERT_EQ(Job.FRunFlags.meta_data_maps.size(), 1u);
    const TAVMetaDataMapPair& p = Job.FRunFlags.meta_data_maps[0];
    EXPECT_EQ(p[0].file_idx, 0);
    EXPECT_EQ(p[0].type_, 's');
    EXPECT_EQ(p[0].index, 1);
    EXPECT_EQ(p[1].file_idx, 1);
    EXPECT_EQ(p[1].type_, 'g');
    EXPECT_EQ(Job.FRunFlags.metadata_global_autocopy, 1);
    EXPECT_EQ(Job.FRunFlags.metadata_streams_autocopy, 0);
    EXPECT_EQ(Job.FRunFlags.metadata_chapters_autocopy, 1);

    Job.SetExtOption("map_meta_data", "1,c2:0,p3");
    EXPECT_EQ(Log.Count(llWarning,
                        "-map_meta_data is deprecated and will be removed soon. Use -map_metadata instead."),
              1);
    ASSERT_EQ(Job.FRunFlags.meta_data_maps.size(), 2u);
    EXPECT_EQ(Job.FRunFlags.meta_data_maps[1][0].type_, 'c');
    EXPECT_EQ(Job.FRunFlags.meta_data_maps[1][0].index, 2);
    EXPECT_EQ(Job.FRunFlags.meta_data_maps[1][1].type_, 'p');
    EXPECT_EQ(Job.FRunFlags.meta_data_maps[1][1].index, 3);
    EXPECT_EQ(Job.FRunFlags.metadata_chapters_autocopy, 0);
    EXPECT_EQ(Job.FRunFlags.metadata_global_autocopy, 1);

    Job.SetExtOption("map_metadata", "0,g:1,s0");
    EXPECT_EQ(Job.FRunFlags.metadata_global_autocopy, 0);

    Job.SetExtOption("map_chapters", "1:0");
    ASSERT_EQ(Job.FRunFlags.chapter_maps.size(), 1u);
    EXPECT_EQ(Job.FRunFlags.chapter_maps[0].out_file, 1);
    EXPECT_EQ(Job.FRunFlags.chapter_maps[0].in_file, 0);
}

TEST_F(OptionsTest, StreamIdsAndScalesGrowTheirArrays) {
    Job.SetExtOption("streamid", "3:100");
    Job.SetExtOption("streamid", "1:7");
    EXPECT_EQ(Job.Fstreamid_map, (std::vector<int32_t>{0, 7, 0, 100}));

    // Scales belong to the next input: the one after the inputs opened so far.
    Job.Inputs = 2;
    Job.SetExtOption("itsscale", "1:0.5");
    ASSERT_EQ(Job.Fnb_input_files_ts_scale(), 3);
    EXPECT_TRUE(Job.Finput_files_ts_scale[0].empty());
    EXPECT_EQ(Job.Finput_files_ts_scale[2], (std::vector<double>{0, 0.5}));
    Job.SetExtOption("itsscale", "0x3:2");
    EXPECT_EQ(Job.Finput_files_ts_scale[2], (std::vector<double>{0, 0.5, 0, 2}));
}

TEST_F(OptionsTest, GrowingArraysRefuseHugeCounts) {
    std::vector<int32_t> a;
    try {
        grow_array(a, 2147483647 / 4);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Array too big.");
    }
    grow_array(a, 3);
    grow_array(a, 1);
    EXPECT_EQ(a, (std::vector<int32_t>{0, 0, 0}));
}

TEST_F(OptionsTest, BitRatesBelow1000WarnAboutTheUnit) {
    const std::string warning =
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
    Job.SetExtOption("b", "500");
    EXPECT_EQ(Log.Count(llWarning, warning), 1);
    EXPECT_EQ(IntOption(Job.FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO), "b"), 500);

    Job.SetExtOption("ab", "64");
    EXPECT_EQ(Log.Count(llWarning, warning), 2);
    EXPECT_EQ(IntOption(Job.FOptions.avcodec_opts(AVMEDIA_TYPE_AUDIO), "b"), 64);

    Job.SetExtOption("vb", "2M");
    Job.SetExtOption("ab", "128k");
    EXPECT_EQ(Log.Count(llWarning, warning), 2);
    EXPECT_EQ(IntOption(Job.FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO), "b"), 2000000);
    EXPECT_EQ(IntOption(Job.FOptions.avcodec_opts(AVMEDIA_TYPE_AUDIO), "b"), 128000);
    // "vb" is the video prototype's "b", and recorded so.
    EXPECT_EQ(Job.FOptions.opt_names(), (std::vector<std::string>{"b", "ab", "b", "ab"}));
}

TEST_F(OptionsTest, TargetWithNormPrefixUsesThatNorm) {
    Job.InputRates = {{30000, 1001}}; // never consulted with a prefix
    Job.SetExtOption("target", " pal-dvd ");
    EXPECT_EQ(Job.FNextVideo.codec_name.value_or(""), "mpeg2video");
    EXPECT_EQ(Job.FNextAudio.codec_name.value_or(""), "ac3");
    EXPECT_EQ(Job.FNextFile.format, "dvd");
    EXPECT_EQ(Job.FNextFile.frame_width, 720);
    EXPECT_EQ(Job.FNextFile.frame_height, 576);
    EXPECT_EQ(Job.FNextFile.frame_rate.num, 25);
    EXPECT_EQ(Job.FNextFile.frame_rate.den, 1);
    EXPECT_EQ(Job.FNextVideo.pix_fmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(Job.FNextFile.audio_sample_rate, 48000);
    EXPECT_FLOAT_EQ(Job.Fframe_aspect_ratio, 16.0f / 9);
    AVCodecContext* video = Job.FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(IntOption(video, "g"), 15);
    EXPECT_EQ(IntOption(video, "b"), 6000000);
    EXPECT_EQ(IntOption(video, "maxrate"), 9000000);
    EXPECT_EQ(IntOption(video, "bufsize"), 1835008);
    EXPECT_EQ(IntOption(Job.FOptions.avcodec_opts(AVMEDIA_TYPE_AUDIO), "b"), 448000);
    EXPECT_EQ(IntOption(Job.FOptions.avformat_opts(), "packetsize"), 2048);
    EXPECT_STREQ(Job.FOptions.format_opts().Value("muxrate"), "10080000");
    EXPECT_EQ(Log.Count(llInfo, "Assuming 16:9 for aspect ratio"), 1);
    for (const auto& line : Log.Lines)
        EXPECT_EQ(line.Text.find("for target."), std::string::npos) << line.Text;
}

TEST_F(OptionsTest, AutomaticNormComesFromTheFrameRateOrTheInputs) {
    struct TCase {
        const char* Name;
        AVRational Rate;                // the "r" option, 0/0 for none
        std::vector<AVRational> Inputs; // video rates of the inputs opened so far
        int Verbose;
        int Height;           // 576 PAL, 480 NTSC and film
        AVRational FrameRate; // what the target sets
        const char* Logged;   // "Assuming %s for target." or nothing
    };
    const TCase cases[] = {
        {"rate option 29.97", {30000, 1001}, {{25, 1}}, 1, 480, {30000, 1001}, "Assuming NTSC for target."},
        {"rate option 23.976", {24000, 1001}, {}, 1, 480, {30000, 1001}, "Assuming NTSC for target."},
        {"rate option 25", {25, 1}, {}, 1, 576, {25, 1}, "Assuming PAL for target."},
        {"quiet job", {30000, 1001}, {}, 0, 480, {30000, 1001}, nullptr},
        {"first matching input",
         {0, 0},
         {{30, 1}, {0, 0}, {25, 1}, {30000, 1001}},
         1,
         576,
         {25, 1},
         "Assuming PAL for target."},
        {"29.97 input", {0, 0}, {{30000, 1001}}, 2, 480, {30000, 1001}, "Assuming NTSC for target."},
        {"nothing known: default ntsc", {0, 0}, {{30, 1}}, 1, 480, {30000, 1001}, nullptr},
        {"unmatched rate option", {30, 1}, {{25, 1}}, 1, 480, {30000, 1001}, nullptr},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLogRecorder log;
        TTestJob job;
        job.FNextFile.frame_rate = c.Rate;
        job.InputRates = c.Inputs;
        job.SetVerbose(c.Verbose);
        job.SetExtOption("target", "dvd");
        EXPECT_EQ(job.FNextFile.frame_height, c.Height);
        EXPECT_EQ(job.FNextFile.frame_rate.num, c.FrameRate.num);
        EXPECT_EQ(job.FNextFile.frame_rate.den, c.FrameRate.den);
        int assumed = 0;
        for (const auto& line : log.Lines)
            if (line.Text.find("for target.") != std::string::npos) {
                ++assumed;
                EXPECT_EQ(line.Level, llVerbose);
                EXPECT_EQ(line.Text, c.Logged ? c.Logged : "");
            }
        EXPECT_EQ(assumed, c.Logged ? 1 : 0);
    }
}

TEST_F(OptionsTest, TargetTypes) {
    struct TCase {
        const char* Target;
        const char* Format;
        int Width, Height;
        AVRational Rate;
        AVPixelFormat PixFmt;
        int SampleRate, Channels;
        float Preload;
    };
    const TCase cases[] = {
        {"ntsc-vcd", "vcd", 352, 240, {30000, 1001}, AV_PIX_FMT_NONE, 44100, 2, 0.44f},
        {"pal-svcd", "svcd", 480, 576, {25, 1}, AV_PIX_FMT_YUV420P, 44100, 2, 0.5f},
        {"film-dvd", "dvd", 720, 480, {24000, 1001}, AV_PIX_FMT_YUV420P, 48000, 2, 0.5f},
        {"ntsc-dv", "dv", 720, 480, {30000, 1001}, AV_PIX_FMT_YUV411P, 48000, 2, 0.5f},
        {"pal-dv", "dv", 720, 576, {25, 1}, AV_PIX_FMT_YUV420P, 48000, 2, 0.5f},
        {"ntsc-dv50", "dv", 720, 480, {30000, 1001}, AV_PIX_FMT_YUV422P, 48000, 2, 0.5f},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Target);
        TTestJob job;
        job.SetExtOption("ac", "1"); // mono becomes stereo on every disc target
        job.SetExtOption("target", c.Target);
        EXPECT_EQ(job.FNextFile.format, c.Format);
        EXPECT_EQ(job.FNextFile.frame_width, c.Width);
        EXPECT_EQ(job.FNextFile.frame_height, c.Height);
        EXPECT_EQ(job.FNextFile.frame_rate.num, c.Rate.num);
        EXPECT_EQ(job.FNextFile.frame_rate.den, c.Rate.den);
        EXPECT_EQ(job.FNextVideo.pix_fmt, c.PixFmt);
        EXPECT_EQ(job.FNextFile.audio_sample_rate, c.SampleRate);
        EXPECT_EQ(job.FNextFile.audio_channels, c.Channels);
        EXPECT_FLOAT_EQ(job.Fmux_preload, c.Preload);
    }
    // The scan offset of SVCD is the MPEG-2 encoder's own option.
    Log.Lines.clear();
    TTestJob svcd;
    svcd.SetExtOption("aspect", "16:9");
    svcd.SetExtOption("target", "pal-svcd");
    EXPECT_STREQ(svcd.FOptions.video_opts().Value("scan_offset"), "1");
    EXPECT_FLOAT_EQ(svcd.Fframe_aspect_ratio, 16.0f / 9); // kept, nothing assumed
    EXPECT_FALSE(Log.Has("Assuming 4:3 for aspect ratio"));
}

class PresetTest : public OptionsTest {
protected:
    void SetUp() override {
        Dir = std::filesystem::temp_directory_path() / ("vx_preset_" + std::to_string(::getpid()));
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }
    std::string Write(const std::string& AName, const std::string& AText) {
        const std::filesystem::path p = Dir / AName;
        std::ofstream(p, std::ios::binary) << AText;
        return p.string();
    }
    std::filesystem::path Dir;
};

TEST_F(PresetTest, LinesAreAppliedInOrder) {
    const std::string path =
        Write("good.ffpreset", "\r\n# a comment\r\nVCODEC=mpeg4\r\n\r\n  g=12  \rb=1000k\nacodec=copy\n\n");
    Job.SetExtOption("vpre", path);
    EXPECT_EQ(Job.FNextVideo.codec_name.value_or(""), "mpeg4");
    EXPECT_EQ(Job.FNextAudio.stream_copy, 1);
    EXPECT_EQ(IntOption(Job.FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO), "g"), 12);
    EXPECT_EQ(IntOption(Job.FOptions.avcodec_opts(AVMEDIA_TYPE_VIDEO), "b"), 1000000);
    EXPECT_EQ(Job.FOptions.opt_names(), (std::vector<std::string>{"g", "b"}));
}

TEST_F(PresetTest, BrokenFilesAreRefused) {
    const std::string syntax = Write("syntax.ffpreset", "vcodec=mpeg4\ng=12\nnovalue\n");
    const std::string emptyValue = Write("empty.ffpreset", "g=\n");
    const std::string unknown = Write("unknown.ffpreset", "vcodec=mpeg4\nzzz=1\n");
    const std::string binary = Write("binary.ffpreset", std::string("\xff\xfe\0\x01\x02", 5));
    const std::string before = Snapshot(Job);
    const std::pair<std::string, std::string> cases[] = {
        {syntax, syntax + ": Invalid syntax: \"novalue\""},
        {emptyValue, emptyValue + ": Invalid syntax: \"g=\""},
        {binary, binary + ": Invalid syntax: \"\xff\xfe\""},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        try {
            Job.SetExtOption("fpre", path);
            ADD_FAILURE() << "accepted";
        } catch (const FFmpegException& e) {
            EXPECT_EQ(e.what(), message);
        }
    }
    // A syntax error anywhere applies nothing.
    EXPECT_EQ(Snapshot(Job), before);

    try {
        Job.SetExtOption("apre", unknown);
        ADD_FAILURE() << "accepted";
    } catch (const FFmpegException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unrecognized option \"zzz\"\r\n" + unknown +
                      ": Invalid option or argument: \"zzz=1\", parsed as \"zzz\" = \"1\"");
    }
    TTestJob lenient;
    lenient.SetHaltOnInvalidOption(false);
    lenient.SetExtOption("spre", unknown);
    EXPECT_EQ(lenient.FNextVideo.codec_name.value_or(""), "mpeg4");
}

TEST_F(OptionsTest, BitstreamFiltersJoinTheChainOfTheirKind) {
    Job.SetExtOption("vbsf", "h264_mp4toannexb");
    Job.SetExtOption("vbsf", "dump_extra=all");
    Job.SetExtOption("vbsf", "");
    Job.SetExtOption("vbsf", "=whatever");
    Job.SetExtOption("absf", "aac_adtstoasc");
    Job.SetExtOption("sbsf", "null");
    ASSERT_EQ(Job.FNextVideo.bitstream_filters.size(), 2u);
    EXPECT_STREQ(Job.FNextVideo.bitstream_filters[0]->filter->name, "h264_mp4toannexb");
    EXPECT_STREQ(Job.FNextVideo.bitstream_filters[1]->filter->name, "dump_extra");
    ASSERT_EQ(Job.FNextAudio.bitstream_filters.size(), 1u);
    EXPECT_STREQ(Job.FNextAudio.bitstream_filters[0]->filter->name, "aac_adtstoasc");
    ASSERT_EQ(Job.FNextSubtitle.bitstream_filters.size(), 1u);
}

TEST_F(OptionsTest, OptionsThatNeedTheJobAskItsHooks) {
    Job.Outputs = 1;
    Job.SetExtOption("newvideo", "");
    Job.SetExtOption("newaudio", "");
    Job.SetExtOption("newsubtitle", "");
    Job.SetExtOption("newdata", "");
    EXPECT_EQ(Job.NewStreams, (std::vector<AVMediaType>{AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO,
                                                        AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_DATA}));

    Job.SetExtOption("t", "10");
    EXPECT_EQ(Job.RecordingTimes, (std::vector<int64_t>{10000000}));

    Job.HookLoads = true;
    Job.SetExtOption("vhook", "/usr/lib/hook.so|-a 1|x");
    Job.SetExtOption("vhook", "/usr/lib/hook.so  -a 1");
    ASSERT_EQ(Job.Hooks.size(), 2u);
    EXPECT_EQ(Job.Hooks[0], (std::vector<std::string>{"/usr/lib/hook.so", "-a 1", "x"}));
    EXPECT_EQ(Job.Hooks[1], (std::vector<std::string>{"/usr/lib/hook.so", "-a", "1"}));
    EXPECT_TRUE(Job.FRunFlags.using_vhook);

    std::string many = "hook.so";
    for (int i = 0; i < 100; ++i)
        many += " a";
    Job.SetExtOption("vhook", many);
    EXPECT_EQ(Job.Hooks.back().size(), 64u);

    // Without the job's loader no hook loads.
    TFFmpegOptions plain;
    EXPECT_THROW(plain.SetExtOption("vhook", "/usr/lib/hook.so"), FFmpegException);
    EXPECT_FALSE(plain.FRunFlags.using_vhook);
}

TEST_F(OptionsTest, InformationalOptionsOnlyLog) {
    const std::string before = Snapshot(Job);
    for (const char* name :
         {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i", "y", "benchmark"}) {
        Job.SetExtOption(name, "x");
        EXPECT_EQ(Log.Count(llInfo, std::string("Do nothing: option - ") + name), 1) << name;
    }
    Job.SetExtOption("timelimit", "10");
    EXPECT_EQ(Log.Count(llWarning, "Warning: -timelimit not implemented on Windows"), 1);
    EXPECT_EQ(Snapshot(Job), before);

    const std::string threads = "Warning: if the ffmpeg libraries were not compiled with thread support, it "
                                "would be using thread emulation.";
    Job.SetExtOption("threads", "4");
    EXPECT_EQ(Job.Fthread_count, 4);
    EXPECT_EQ(Log.Count(llVerbose, threads), 1);
    Job.SetExtOption("v", "-1");
    Job.SetExtOption("threads", "2");
    EXPECT_EQ(Log.Count(llVerbose, threads), 1);

    Log.Lines.clear();
    Job.SetExtOption("pix_fmt", "list");
    ASSERT_EQ(Log.Lines.size(), 80u);
    EXPECT_EQ(Log.Lines[0].Text, "name nb_components nb_bits");
    EXPECT_EQ(Log.Lines[1].Text.rfind("yuv420p", 0), 0u) << Log.Lines[1].Text;
    EXPECT_EQ(Job.FNextVideo.pix_fmt, AV_PIX_FMT_NONE);

    Log.Lines.clear();
    Job.SetExtOption("sample_fmt", "list");
    ASSERT_EQ(Log.Lines.size(), 6u);
    EXPECT_EQ(Log.Lines[0].Text, "name   depth");
    EXPECT_EQ(Log.Lines[1].Text, "u8        8");
}

TEST_F(OptionsTest, LogLevelAndStatisticsFile) {
    Job.SetExtOption("loglevel", "WARNING");
    EXPECT_EQ(GetLogger().LogLevel(), llWarning);
    Job.SetExtOption("loglevel", "20");
    EXPECT_EQ(GetLogger().LogLevel(), llError);

    Job.SetExtOption("vstats", "1");
    ASSERT_TRUE(Job.FRunFlags.vstats_filename.has_value());
    EXPECT_TRUE(std::regex_match(*Job.FRunFlags.vstats_filename, std::regex(R"(/.*/vstats_\d{6}\.log)")))
        << *Job.FRunFlags.vstats_filename;
    Job.SetExtOption("vstats", "0");
    EXPECT_FALSE(Job.FRunFlags.vstats_filename.has_value());
    Job.SetExtOption("vstats_file", "/tmp/stats.log");
    EXPECT_EQ(Job.FRunFlags.vstats_filename.value_or(""), "/tmp/stats.log");
}

} // namespace
