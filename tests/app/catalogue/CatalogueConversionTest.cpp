// Every catalogue entry, with the settings a user gets by only choosing it, converts generated
// media the way the window converts a row: the source becomes a row through the add-files
// routine, the entry is chosen in the format list, the task comes from the task builder, and
// the encoder is called as the batch driver calls it. The outcome each entry must give is
// written out below from the profiles and the codec tables, not asked from the code under
// test, so a wrong default, a wrong codec word or a lost setting shows up as a wrong file.
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "JobListModel.h"
#include "JobListTaskBuilder.h"
#include "MediaFixtures.h"
#include "OutputCatalogue.h"
#include "SourceFiles.h"
#include "TaskBuilder.h"
#include "VolumeSliders.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/FormatIO.h"
#include "base/PlatformBridge.h"
#include "decode/FFDecode.h"
#include "encode/FFEncode.h"

using namespace vx;

namespace {

// What an entry's default task must write. Sizes and rates of 0 mean "as the source".
struct TEntryExpect {
    const char* Id;    // test name
    const char* Entry; // the entry's text in the format list
    const char* Muxer; // output format the file is written in
    // Video encoder; nullptr for the sound-only entries, which drop the picture.
    const char* Video;
    int Width, Height;
    double FrameRate;
    int64_t VideoBitRate; // bits per second
    const char* Audio;    // audio encoder
    int SampleRate, Channels;
    int64_t AudioBitRate;
    const char* VideoTag = nullptr;
};

constexpr double Ntsc = 30000.0 / 1001;

// Bit rates are the profiles' defaults; the disc targets take those of their preset.
// Codec words that are the library's encoder names ("MPEG4", "MPEG2VIDEO", "RAWVIDEO", "H263",
// "WMV2", "pcm_s16le", ...) give that encoder, whatever the container would pick by itself (with
// the libraries in use: H.264 for MP4 and QuickTime, MPEG-1 video for ".mpg", MPEG-4 video and
// MP3 sound for AVI, MS-MPEG-4 for WMV). Mobile entries are mono. The disc targets take the NTSC
// preset of their disc.
const TEntryExpect Entries[] = {
    {"3GP", "3GP - Mobile Video Format (*.3gp)", "3gp", "mpeg4", 176, 144, 0, 128000, "libopencore_amrnb",
     8000, 1, 7400},
    {"3G2", "3G2 - Mobile Video Format (*.3g2)", "3g2", "mpeg4", 176, 144, 0, 128000, "libopencore_amrnb",
     8000, 1, 7400},
    {"ASF", "ASF - Advance Streaming Format (*.asf)", "asf", "msmpeg4", 0, 0, 0, 1200000, "libmp3lame", 48000,
     2, 128000},
    {"AVI", "AVI - Audio Video Interleave (*.avi)", "avi", "mpeg4", 0, 0, 0, 6000000, "pcm_s16le", 48000, 2,
     128000},
    {"AVIDivX", "AVI - DivX Video (*.avi)", "avi", "mpeg4", 0, 0, 0, 6000000, "libmp3lame", 48000, 2, 128000,
     "DIVX"},
    {"AVIUncompress", "AVI - Uncompress (*.avi)", "avi", "rawvideo", 0, 0, 0, 6000000, "pcm_s16le", 48000, 2,
     128000},
    {"AVIXviD", "AVI - XviD Video (*.avi)", "avi", "libxvid", 0, 0, 0, 6000000, "libmp3lame", 48000, 2,
     128000},
    {"DVD", "DVD - DVD Mpeg2 Format (*.mpg)", "dvd", "mpeg2video", 720, 480, Ntsc, 6000000, "ac3", 48000, 2,
     448000},
    {"FLV", "FLV - Flash Video (*.flv)", "flv", "flv", 0, 0, 15, 200000, "libmp3lame", 44100, 2, 64000},
    {"MOV", "MOV - QuickTime Video (*.mov)", "mov", "mpeg4", 0, 0, 0, 6000000, "aac", 44100, 2, 128000},
    {"MP4", "MP4 - MPEG4 Video (*.mp4)", "mp4", "mpeg4", 0, 0, 0, 6000000, "aac", 44100, 2, 128000},
    {"MPEG1", "MPEG-1 Movie (*.mpg)", "mpeg", "mpeg1video", 0, 0, 25, 1600000, "mp2", 44100, 2, 192000},
    {"MPEG2", "MPEG-2 Movie (*.mpg)", "mpeg", "mpeg2video", 0, 0, 25, 2000000, "mp2", 44100, 2, 192000},
    {"RM", "RM - Real Video (*.rm)", "rm", "rv10", 0, 0, 0, 1800000, "ac3", 48000, 2, 128000},
    {"SWF", "SWF - Flash Swf (*.swf)", "swf", "flv", 0, 0, 15, 200000, "libmp3lame", 44100, 2, 64000},
    {"SVCD", "Super Video CD (*.mpg)", "svcd", "mpeg2video", 480, 480, Ntsc, 2040000, "mp2", 44100, 2,
     224000},
    {"VCD", "Video CD (*.mpg)", "vcd", "mpeg1video", 352, 240, Ntsc, 1150000, "mp2", 44100, 2, 224000},
    {"WMV", "WMV - Windows Media Video (*.wmv)", "asf", "wmv2", 0, 0, 0, 6000000, "wmav2", 48000, 2, 128000},

    {"AAC", "AAC - Advance Audio Coding (*.aac)", "adts", nullptr, 0, 0, 0, 0, "aac", 48000, 2, 128000},
    {"AU", "AU - SUN Audio (*.au)", "au", nullptr, 0, 0, 0, 0, "pcm_s16be", 48000, 2, 128000},
    {"M4A", "M4A - Mpeg4 Audio File (*.m4a)", "ipod", nullptr, 0, 0, 0, 0, "aac", 48000, 2, 128000},
    {"MP2", "MP2 - Mpeg Layer2 Audio (*.mp2)", "mp2", nullptr, 0, 0, 0, 0, "mp2", 48000, 2, 224000},
    {"MP3", "MP3 - Mpeg Layer3 Audio (*.mp3)", "mp3", nullptr, 0, 0, 0, 0, "libmp3lame", 48000, 2, 192000},
    {"OGG", "OGG - Ogg Vorbis Audio (*.ogg)", "ogg", nullptr, 0, 0, 0, 0, "libvorbis", 48000, 2, 160000},
    {"RA", "RA - Real Audio (*.ra)", "rm", nullptr, 0, 0, 0, 0, "ac3", 48000, 2, 128000},
    {"WAV", "WAV - Waveform Audio (*.wav)", "wav", nullptr, 0, 0, 0, 0, "pcm_s16le", 44100, 2, 128000},
    {"WMA", "WMA - Windows Media Audio (*.wma)", "asf", nullptr, 0, 0, 0, 0, "wmav2", 48000, 2, 128000},

    {"iPad", "iPad (*.mp4)", "mp4", "mpeg4", 640, 480, 29.97, 2500000, "aac", 44100, 2, 128000},
    {"iPod", "iPod (*.mp4)", "mp4", "mpeg4", 320, 240, 29.97, 2500000, "aac", 44100, 2, 128000},
    {"iPodTouch", "iPod Touch (*.mp4)", "mp4", "mpeg4", 640, 480, 29.97, 2500000, "aac", 44100, 2, 128000},
    {"iPhone", "iPhone (*.mp4)", "mp4", "mpeg4", 640, 480, 29.97, 2500000, "aac", 44100, 2, 128000},

    {"ArchosAV500", "Archos AV500/GMini402 (*.avi)", "avi", "mpeg4", 480, 272, 0, 1200000, "libmp3lame",
     48000, 2, 128000},
    {"ArchosAV700", "Archos AV700 (*.avi)", "avi", "mpeg4", 720, 480, 0, 2000000, "libmp3lame", 48000, 2,
     128000},
    {"BlackBerryMP4", "BlackBerry MPEG-4 Video (*.mp4)", "mp4", "mpeg4", 320, 240, 24, 300000, "aac", 44100,
     2, 80000},
    {"BlackBerryAVI", "BlackBerry AVI Video (*.avi)", "avi", "h263", 176, 144, 24, 300000, "libmp3lame",
     44100, 2, 80000},
    {"BlackBerry3GP", "BlackBerry 3GP Video (*.3gp)", "3gp", "mpeg4", 176, 144, 15, 120000,
     "libopencore_amrnb", 8000, 1, 4750},
    {"CreativeZenVision", "Creative Zen Vision (*.avi)", "avi", "mpeg4", 640, 480, 0, 1200000, "libmp3lame",
     48000, 2, 128000},
    {"iRiverPMP100", "iRiver PMP100 (*.avi)", "avi", "mpeg4", 640, 480, 0, 1200000, "libmp3lame", 48000, 2,
     128000},
    {"PSP", "PSP Video (*.mp4)", "mp4", "mpeg4", 368, 208, 29.97, 768000, "aac", 24000, 2, 128000},
    {"PS3", "PS3 Video (*.mp4)", "mp4", "libx264", 720, 480, 29.97, 2500000, "aac", 44100, 2, 128000},
    {"ZuneMpeg4", "Zune Mpeg4 Video (*.mp4)", "mp4", "mpeg4", 320, 240, 29.97, 1500000, "aac", 44100, 2,
     128000},
    {"ZuneWMV", "Zune WMV Windows Media Video (*.wmv)", "asf", "wmv2", 320, 240, 0, 1200000, "wmav2", 48000,
     2, 128000},
};

// The generated sources, one second each, in the file types users bring most.
struct TSource {
    const char* Id;
    const char* FileName;
    fixtures::TMediaSpec Spec;
    bool HasVideo() const { return !Spec.Videos.empty(); }
};

const TSource Sources[] = {
    {"VideoAndAudio", "clip.mp4", {"mp4", {{"libx264"}}, {{"aac", 48000, 2}}, 1.0}},
    {"OddFrameSize", "odd.avi", {"avi", {{"mpeg4", 175, 97}}, {{"libmp3lame", 22050, 1}}, 1.0}},
    {"NtscFrameRate",
     "ntsc.avi",
     {"avi", {{"mpeg4", 320, 240, {30000, 1001}}}, {{"libmp3lame", 44100, 2}}, 1.0}},
    {"AudioOnly", "tone.mp3", {"mp3", {}, {{"libmp3lame", 44100, 2}}, 1.0}},
};

// Camera rates whose time base needs a large denominator (small pictures: only the rate
// matters).
const TSource AwkwardSources[] = {
    {"PhoneRate", "phone.mp4", fixtures::PhoneClip(320, 180)},
    {"MjpegCameraRate", "camera.avi", fixtures::MjpegCameraClip()},
    {"HighSpeedRate", "fast.mp4", fixtures::HighSpeedClip()},
};

// Picture entries take every picture source; sound entries take a film (and drop its picture)
// and a sound file.
struct TCase {
    const TEntryExpect* Entry;
    const TSource* Source;
};

std::vector<TCase> Cases() {
    std::vector<TCase> cases;
    for (const TEntryExpect& entry : Entries)
        for (const TSource& source : Sources)
            if (entry.Video ? source.HasVideo() : (!source.HasVideo() || &source == &Sources[0]))
                cases.push_back({&entry, &source});
    return cases;
}

// Every picture entry takes the awkward rates.
std::vector<TCase> AwkwardCases() {
    std::vector<TCase> cases;
    for (const TEntryExpect& entry : Entries)
        for (const TSource& source : AwkwardSources)
            if (entry.Video)
                cases.push_back({&entry, &source});
    return cases;
}

// How the reading side names a file of the muxer, and the brand an ISO file must carry (the
// one container reader serves all of them, so only the brand tells 3GP from QuickTime).
struct TReadAs {
    std::string Demuxer;
    std::string BrandPrefix;
};

TReadAs ReadAs(const std::string& AMuxer) {
    static const std::map<std::string, std::string> brands = {
        {"3gp", "3gp"}, {"3g2", "3g2"}, {"mov", "qt"}, {"mp4", "iso"}, {"ipod", "M4A"}};
    if (const auto brand = brands.find(AMuxer); brand != brands.end())
        return {"mov,mp4,m4a,3gp,3g2,mj2", brand->second};
    if (AMuxer == "dvd" || AMuxer == "svcd" || AMuxer == "vcd")
        return {"mpeg", ""};
    if (AMuxer == "adts")
        return {"aac", ""};
    if (AMuxer == "mp2")
        return {"mp3", ""}; // the MPEG audio reader takes every layer
    return {AMuxer, ""};
}

AVCodecID CodecOf(const char* AEncoder) {
    const AVCodec* codec = AEncoder ? ff::avcodec_find_encoder_by_name(AEncoder) : nullptr;
    return codec ? codec->id : AV_CODEC_ID_NONE;
}

uint32_t Tag(const char* AText) {
    return AText ? MKTAG(AText[0], AText[1], AText[2], AText[3]) : 0;
}

// A written file as the library reads it back. The length is the container's, or the span of
// its packets when the container does not say (SWF).
struct TOutputFacts {
    std::string Error;
    std::string Demuxer, Brand;
    double Seconds = -1;
    int VideoStreams = 0, AudioStreams = 0;
    AVCodecID Video = AV_CODEC_ID_NONE, Audio = AV_CODEC_ID_NONE;
    uint32_t VideoTag = 0;
    int Width = 0, Height = 0;
    AVRational SampleAspect{0, 1}; // 0/1: not stated
    double FrameRate = 0;
    int VideoFrames = 0; // packets of the first video stream
    int SampleRate = 0, Channels = 0;
    int AudioPackets = 0;
};

// AFormat null: the library recognises the file.
TOutputFacts ReadBack(const std::string& APath, const AVInputFormat* AFormat = nullptr) {
    TOutputFacts facts;
    AVFormatContext* raw = nullptr;
    if (const int ret = OpenInputFile(&raw, APath, AFormat, nullptr); ret < 0) {
        facts.Error = "cannot open " + APath + ": " + std::to_string(ret);
        return facts;
    }
    TInputFilePtr input(raw);
    if (const int ret = ff::avformat_find_stream_info(raw, nullptr); ret < 0) {
        facts.Error = "no stream information in " + APath + ": " + std::to_string(ret);
        return facts;
    }
    facts.Demuxer = raw->iformat->name;
    if (const AVDictionaryEntry* brand = ff::av_dict_get(raw->metadata, "major_brand", nullptr, 0))
        facts.Brand = brand->value;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVCodecParameters* par = raw->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && facts.VideoStreams++ == 0) {
            facts.Video = par->codec_id;
            facts.VideoTag = par->codec_tag;
            facts.Width = par->width;
            facts.Height = par->height;
            const AVStream* st = raw->streams[i];
            facts.SampleAspect =
                st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
            const AVRational rate =
                st->avg_frame_rate.num && st->avg_frame_rate.den ? st->avg_frame_rate : st->r_frame_rate;
            facts.FrameRate = rate.den ? av_q2d(rate) : 0;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && facts.AudioStreams++ == 0) {
            facts.Audio = par->codec_id;
            facts.SampleRate = par->sample_rate;
            facts.Channels = par->ch_layout.nb_channels;
        }
    }

    double first = INFINITY, last = -INFINITY; // seconds
    TPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        const AVStream* st = raw->streams[packet->stream_index];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && st->codecpar->codec_id == facts.Video)
            ++facts.VideoFrames;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            ++facts.AudioPackets;
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (ts != AV_NOPTS_VALUE) {
            const double at = ts * av_q2d(st->time_base);
            first = std::min(first, at);
            last = std::max(last, at + packet->duration * av_q2d(st->time_base));
        }
        ff::av_packet_unref(packet.get());
    }
    if (raw->duration != AV_NOPTS_VALUE)
        facts.Seconds = raw->duration / double(AV_TIME_BASE);
    else if (last > first)
        facts.Seconds = last - first;
    return facts;
}

// The engine's warnings and errors while a case runs, to tell why a conversion failed.
class TLogLines {
public:
    TLogLines() : FOldLevel(GetLogger().LogLevel()), FOldTrigger(GetLogger().TriggerEventInMainThread()) {
        // Lines arrive on the logging thread: nothing here waits for the main thread.
        GetLogger().SetTriggerEventInMainThread(false);
        GetLogger().SetLogLevel(llWarning);
        GetLogger().OnLog = [this](void*, uint32_t, TLogLevel, const std::string& AText) {
            std::lock_guard lock(FLock);
            FText += "  " + AText + (AText.empty() || AText.back() != '\n' ? "\n" : "");
        };
    }
    ~TLogLines() {
        GetLogger().OnLog = nullptr;
        GetLogger().SetLogLevel(FOldLevel);
        GetLogger().SetTriggerEventInMainThread(FOldTrigger);
    }
    std::string Text() const {
        std::lock_guard lock(FLock);
        return FText.empty() ? std::string() : "\nengine log:\n" + FText;
    }

private:
    TLogLevel FOldLevel;
    bool FOldTrigger;
    mutable std::mutex FLock;
    std::string FText; // FLock
};

// An encoder whose task shows its opened output, to see the state SetOutputFile leaves.
class TOpenedTask : public TFFmpeg {
public:
    using TCustomFFmpeg::Foutput_files;
    using TFFmpeg::TFFmpeg;
};

class TInspectingEncoder : public TFFEncoder {
public:
    TOpenedTask* LastTask = nullptr;

protected:
    std::unique_ptr<TFFmpeg> CreateTask(int AMaxFiles) override {
        auto task = std::make_unique<TOpenedTask>(AMaxFiles, this);
        LastTask = task.get();
        return task;
    }
};

// Adding happens between runs only.
class TIdleState : public IAddFileState {
public:
    bool ConversionRunning() const override { return false; }
    bool AddFileInProgress() const override { return FAdding; }
    void SetAddFileInProgress(bool AValue) override { FAdding = AValue; }

private:
    bool FAdding = false;
};

class CatalogueEntryTest : public ::testing::TestWithParam<TCase> {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        if (!Media)
            Media = std::make_unique<fixtures::TTempDir>();
    }
    static void TearDownTestSuite() { Media.reset(); }

    const TEntryExpect& Entry() const { return *GetParam().Entry; }
    const TSource& Source() const { return *GetParam().Source; }

    // The source, written the first time a case of this process needs it.
    static std::string SourcePath(const TSource& ASource) {
        const std::string path = Media->File(ASource.FileName);
        if (fixtures::FileSize(path) < 0)
            fixtures::WriteMedia(path, ASource.Spec);
        return path;
    }

    // As the user does it: the window starts up, the entry is chosen, the source is added.
    // Returns the source's row.
    int ChooseEntryAndAddSource() {
        Settings.SetAdditionalOptions(&Options);
        Settings.FillStartupLists();
        Settings.SetOutputFolder(QString::fromStdString(Out.Path()));
        const int position = Settings.ComboOutputFormat.IndexOf(Entry().Entry);
        EXPECT_GE(position, 0) << Entry().Entry << " is not in the format list";
        Settings.SelectOutputFormat(position);
        return Adder.AddFile(QString::fromStdString(SourcePath(Source())));
    }

    bool Sound() const { return Entry().Video == nullptr; }
    // A size taken over from the source is rounded down to what the encoder can code: whole
    // chroma samples of 4:2:0 pictures, whole macroblocks for RealVideo.
    int SourceSizeStep() const { return std::string(Entry().Video) == "rv10" ? 16 : 2; }
    int ExpectedWidth() const {
        const int source = Source().Spec.Videos[0].Width;
        return Entry().Width ? Entry().Width : source - source % SourceSizeStep();
    }
    int ExpectedHeight() const {
        const int source = Source().Spec.Videos[0].Height;
        return Entry().Height ? Entry().Height : source - source % SourceSizeStep();
    }
    double ExpectedFrameRate() const {
        return Entry().FrameRate ? Entry().FrameRate : av_q2d(Source().Spec.Videos[0].FrameRate);
    }
    // ASF keeps times in milliseconds: a reader cannot tell a rate whose frames do not last
    // whole milliseconds (187 fps) from its timestamps.
    bool HeaderRateReadable() const {
        const double frameMs = 1000.0 / ExpectedFrameRate();
        return std::string(Entry().Muxer) != "asf" || frameMs >= 10 || frameMs == std::floor(frameMs);
    }
    // The rate the file's header states: RealMedia keeps whole frames per second only.
    double ExpectedHeaderRate() const {
        return std::string(Entry().Muxer) == "rm" ? std::floor(ExpectedFrameRate()) : ExpectedFrameRate();
    }

    // Converts the row as the batch driver does and waits for the task's end.
    TTerminateInfo ConvertRow(int ARow, QString& AOutputName) {
        TFFEncoder encoder;
        TTerminateInfo result;
        bool ended = false;
        encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& AInfo) {
            if (AInfo.TaskIndex >= 0)
                result = AInfo;
            else
                ended = true;
        };
        EXPECT_TRUE(RowBuilder.BuildOutputName(List, ARow, TBatchOutputNames(), AOutputName))
            << Builder.LastErrMsg().toStdString();
        encoder.ClearTasks();
        TInputOptions input;
        RowBuilder.BuildInputOptions(List, ARow, input);
        const int task = encoder.AddTask(input.FileName, &input);
        TOutputOptions output;
        if (task < 0 || !RowBuilder.BuildOutputOptions(List, ARow, output) ||
            !encoder.SetOutputFile(task, AOutputName.toStdU16String(), &output)) {
            ADD_FAILURE() << "the task could not be built: " << encoder.LastErrMsg()
                          << Builder.LastErrMsg().toStdString() << Log.Text();
            return result;
        }
        encoder.Start(1);
        EXPECT_TRUE(WaitProcessingMessages([&] { return ended; }, 120000)) << "the run did not end";
        return result;
    }

    // Converts the row as the batch driver does and reads the file back.
    void ConvertAndCheck() {
        const TEntryExpect& e = Entry();
        const int row = ChooseEntryAndAddSource();
        ASSERT_EQ(List.Cell(row, jcProgress), "") << "the source could not be read";

        QString outputName;
        const TTerminateInfo result = ConvertRow(row, outputName);
        ASSERT_TRUE(result.Finished && !result.Exception) << result.ExceptionMsg << Log.Text();

        const TOutputFacts facts = ReadBack(outputName.toStdString());
        ASSERT_EQ(facts.Error, "");
        const TReadAs readAs = ReadAs(e.Muxer);
        EXPECT_EQ(facts.Demuxer, readAs.Demuxer);
        EXPECT_EQ(facts.Brand.substr(0, readAs.BrandPrefix.size()), readAs.BrandPrefix) << facts.Brand;
        EXPECT_NEAR(facts.Seconds, Source().Spec.Seconds, 0.5);

        if (Sound()) {
            EXPECT_EQ(facts.VideoStreams, 0);
        } else {
            EXPECT_EQ(facts.VideoStreams, 1);
            EXPECT_EQ(facts.Video, CodecOf(e.Video)) << ff::avcodec_get_name(facts.Video);
            EXPECT_EQ(facts.Width, ExpectedWidth());
            EXPECT_EQ(facts.Height, ExpectedHeight());
            if (HeaderRateReadable()) {
                EXPECT_NEAR(facts.FrameRate, ExpectedHeaderRate(), ExpectedHeaderRate() * 0.01);
            }
            if (e.VideoTag) {
                EXPECT_EQ(facts.VideoTag, Tag(e.VideoTag));
            }
            // Every picture of the source's length at the output rate, give or take the rate
            // conversion's first and last pictures; a size taken over from the source keeps
            // its shape.
            EXPECT_NEAR(facts.VideoFrames, Source().Spec.Seconds * ExpectedFrameRate(), 3.0);
            if (!e.Width) {
                const fixtures::TVideoSpec& in = Source().Spec.Videos[0];
                const double sar = facts.SampleAspect.num > 0 ? av_q2d(facts.SampleAspect) : 1.0;
                const double shape = double(in.Width) / in.Height;
                // RealMedia states no aspect: there the shape holds only to whole macroblocks.
                const double step = SourceSizeStep();
                const double tolerance =
                    std::string(e.Muxer) == "rm" ? step / facts.Width + step / facts.Height : 0.01;
                EXPECT_NEAR(facts.Width * sar / facts.Height, shape, shape * tolerance);
            }
        }
        EXPECT_EQ(facts.AudioStreams, 1);
        EXPECT_EQ(facts.Audio, CodecOf(e.Audio)) << ff::avcodec_get_name(facts.Audio);
        EXPECT_EQ(facts.SampleRate, e.SampleRate);
        EXPECT_EQ(facts.Channels, e.Channels);
    }

    static inline std::unique_ptr<fixtures::TTempDir> Media;
    fixtures::TTempDir Out;
    TLogLines Log;
    TJobListModel List;
    TFFDecoder Decoder;
    TConversionSettings Settings;
    TAdditionalOptions Options;
    TVolumeSliders Volume;
    TIdleState State;
    TSourceFileAdder Adder{List, Decoder, Settings, State};
    TTaskBuilder Builder{Settings, Options, Volume};
    TJobListTaskBuilder RowBuilder{Builder};
};

// The task builder's default task opens the output with the entry's streams and encoders; its
// part file exists but nothing is written into it before the run, and nothing is under the
// output's name yet.
TEST_P(CatalogueEntryTest, DefaultTaskOpensItsOutput) {
    const TEntryExpect& e = Entry();
    const int row = ChooseEntryAndAddSource();
    ASSERT_EQ(List.Cell(row, jcProgress), "") << "the source could not be read";

    TEncoderTask built;
    ASSERT_TRUE(Builder.BuildTask(TJobListTaskBuilder::RowOf(List, row), built))
        << Builder.LastErrMsg().toStdString();
    TInspectingEncoder encoder;
    const int task = encoder.AddTask(built.InputOptions.FileName, &built.InputOptions);
    ASSERT_GE(task, 0) << encoder.LastErrMsg() << Log.Text();
    ASSERT_TRUE(encoder.SetOutputFile(task, built.OutputFileName.toStdU16String(), &built.OutputOptions))
        << encoder.LastErrMsg() << Log.Text();

    ASSERT_NE(encoder.LastTask, nullptr);
    ASSERT_EQ(encoder.LastTask->Foutput_files.size(), 1u);
    const TAVOutputFile& file = encoder.LastTask->Foutput_files[0];
    EXPECT_STREQ(file.ctx->oformat->name, e.Muxer);
    EXPECT_EQ(fixtures::FileSize(file.part.Path()), 0) << "created, and still empty";
    EXPECT_EQ(fixtures::FileSize(built.OutputFileName.toStdString()), -1) << "named only when the run ends";
    EXPECT_FALSE(file.header_written);

    std::vector<AVMediaType> kinds;
    if (!Sound())
        kinds.push_back(AVMEDIA_TYPE_VIDEO);
    kinds.push_back(AVMEDIA_TYPE_AUDIO);
    ASSERT_EQ(file.streams.size(), kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i) {
        const TAVOutputStream& ost = *file.streams[i];
        SCOPED_TRACE("output stream " + std::to_string(i));
        EXPECT_EQ(ost.kind, kinds[i]);
        ASSERT_NE(ost.enc, nullptr) << "no encoder";
        const AVCodecContext* enc = ost.enc_ctx.get();
        if (kinds[i] == AVMEDIA_TYPE_VIDEO) {
            EXPECT_STREQ(ost.enc->name, e.Video);
            // Sizes and rates that the entry fixes are set now; the others follow the source
            // when the run starts.
            EXPECT_EQ(enc->width, e.Width);
            EXPECT_EQ(enc->height, e.Height);
            EXPECT_NEAR(ost.frame_rate.den ? av_q2d(ost.frame_rate) : 0, e.FrameRate, e.FrameRate * 0.01);
            EXPECT_EQ(enc->bit_rate, e.VideoBitRate);
            EXPECT_EQ(enc->codec_tag, Tag(e.VideoTag));
        } else {
            EXPECT_STREQ(ost.enc->name, e.Audio);
            EXPECT_EQ(enc->sample_rate, e.SampleRate);
            EXPECT_EQ(enc->ch_layout.nb_channels, e.Channels);
            EXPECT_EQ(enc->bit_rate, e.AudioBitRate);
        }
    }
}

// The row converts to its end through the batch driver's calls, and the file reads back with
// the entry's container, codecs, size, rates, channels and the source's length.
TEST_P(CatalogueEntryTest, ConvertsWithItsDefaults) {
    ConvertAndCheck();
}

void PrintTo(const TCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Entry->Entry << " from " << ACase.Source->FileName;
}

std::string CaseName(const ::testing::TestParamInfo<TCase>& AInfo) {
    return std::string(AInfo.param.Entry->Id) + "_" + AInfo.param.Source->Id;
}

INSTANTIATE_TEST_SUITE_P(Defaults, CatalogueEntryTest, ::testing::ValuesIn(Cases()), CaseName);

// Sources whose rate or size the entry's encoder cannot take as they are convert all the same.
class CatalogueAwkwardSourceTest : public CatalogueEntryTest {};

TEST_P(CatalogueAwkwardSourceTest, ConvertsWithItsDefaults) {
    ConvertAndCheck();
}

INSTANTIATE_TEST_SUITE_P(Defaults, CatalogueAwkwardSourceTest, ::testing::ValuesIn(AwkwardCases()), CaseName);

// A source shorter than one frame of any encoder still gives every entry a file with its sound
// (the encoder pads the frame); a source without a picture gives a file without one.
const TSource TinySource{"TinySound", "tiny.wav", fixtures::TinyWav()};

std::vector<TCase> TinyCases() {
    std::vector<TCase> cases;
    for (const TEntryExpect& entry : Entries)
        cases.push_back({&entry, &TinySource});
    return cases;
}

// One MPEG audio frame alone is a whole file, but the library's reader looks for a second frame
// to trust the first: such a file is checked by its frame header (sync word, MPEG-1 layer II) and
// size.
bool IsOneMp2Frame(const std::string& APath) {
    std::ifstream in(APath, std::ios::binary);
    unsigned char head[4] = {};
    if (!in.read(reinterpret_cast<char*>(head), 4))
        return false;
    const int bitRates[] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
    const int sampleRates[] = {44100, 48000, 32000, 0};
    const bool layer2 = head[0] == 0xFF && (head[1] & 0xFE) == 0xFC;
    const int kbps = bitRates[head[2] >> 4], rate = sampleRates[(head[2] >> 2) & 3];
    if (!layer2 || !kbps || !rate)
        return false;
    const long frame = 144L * kbps * 1000 / rate + ((head[2] >> 1) & 1);
    return fixtures::FileSize(APath) == frame;
}

class CatalogueTinySourceTest : public CatalogueEntryTest {};

TEST_P(CatalogueTinySourceTest, ConvertsToAShortSoundFile) {
    const TEntryExpect& e = Entry();
    const int row = ChooseEntryAndAddSource();
    ASSERT_EQ(List.Cell(row, jcProgress), "") << "the source could not be read";
    QString outputName;
    const TTerminateInfo result = ConvertRow(row, outputName);
    ASSERT_TRUE(result.Finished && !result.Exception) << result.ExceptionMsg << Log.Text();

    // A frame or two are too little for the library to recognise some files by their content:
    // they are read as what their muxer wrote.
    const std::string demuxer = ReadAs(e.Muxer).Demuxer;
    const TOutputFacts facts = ReadBack(
        outputName.toStdString(), ff::av_find_input_format(demuxer.substr(0, demuxer.find(',')).c_str()));
    if (std::string(e.Muxer) == "mp2" && !facts.Error.empty()) {
        EXPECT_TRUE(IsOneMp2Frame(outputName.toStdString())) << facts.Error;
        return;
    }
    ASSERT_EQ(facts.Error, "");
    EXPECT_EQ(facts.Demuxer, demuxer);
    EXPECT_EQ(facts.VideoStreams, 0);
    EXPECT_EQ(facts.AudioStreams, 1);
    EXPECT_EQ(facts.Audio, CodecOf(e.Audio)) << ff::avcodec_get_name(facts.Audio);
    EXPECT_EQ(facts.SampleRate, e.SampleRate);
    EXPECT_EQ(facts.Channels, e.Channels);
    EXPECT_GE(facts.AudioPackets, 1);
    EXPECT_LT(facts.Seconds, 0.25);
}

INSTANTIATE_TEST_SUITE_P(TinySource, CatalogueTinySourceTest, ::testing::ValuesIn(TinyCases()), CaseName);

// The Flash muxer writes sound only along with pictures. Of a source whose pictures cannot be
// decoded it takes the sound and writes a file of a few bytes with no media in it: the row fails,
// and no such file is left.
const TSource UndecodableVideoSource{
    "UndecodableVideo",
    "zeros.avi",
    {"avi", {fixtures::TVideoSpec{.Codec = "mpeg4", .Undecodable = true}}, {{"libmp3lame", 44100, 2}}, 1.0}};

const TEntryExpect* EntryById(const std::string& AId) {
    for (const TEntryExpect& entry : Entries)
        if (entry.Id == AId)
            return &entry;
    throw std::logic_error("no entry " + AId);
}

class CatalogueNoMediaTest : public CatalogueEntryTest {};

TEST_P(CatalogueNoMediaTest, AnOutputWithoutMediaFails) {
    const int row = ChooseEntryAndAddSource();
    ASSERT_EQ(List.Cell(row, jcProgress), "") << "the source could not be read";
    QString outputName;
    const TTerminateInfo result = ConvertRow(row, outputName);
    EXPECT_TRUE(result.Exception);
    EXPECT_FALSE(result.Finished);
    EXPECT_NE(result.ExceptionMsg.find("nothing was written"), std::string::npos) << result.ExceptionMsg;
    EXPECT_EQ(fixtures::FileSize(outputName.toStdString()), -1);
}

INSTANTIATE_TEST_SUITE_P(UndecodableVideo, CatalogueNoMediaTest,
                         ::testing::Values(TCase{EntryById("SWF"), &UndecodableVideoSource}), CaseName);

// A camera's size with the most detail a picture can have (noise), into the RealMedia entry,
// whose muxer takes no picture above 64 kB.
const TSource DetailedSource = {
    "NoisePictures",
    "noise.avi",
    {"avi",
     {fixtures::TVideoSpec{.Codec = "rawvideo", .Width = 720, .Height = 405, .BitRate = 0, .Noise = true}},
     {{"pcm_s16le", 48000, 2}},
     0.2}};

std::vector<TCase> DetailedCases() {
    std::vector<TCase> cases;
    for (const TEntryExpect& entry : Entries)
        if (entry.Video && std::string(entry.Muxer) == "rm")
            cases.push_back({&entry, &DetailedSource});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Detailed, CatalogueAwkwardSourceTest, ::testing::ValuesIn(DetailedCases()),
                         CaseName);

// The table above speaks for exactly the entries the format list offers.
TEST(CatalogueEntryTable, CoversEveryEntry) {
    std::vector<std::string> catalogue, table;
    for (const TheAVCodec& entry : AVCodecs())
        catalogue.push_back(entry.ComboText.toStdString());
    for (const TEntryExpect& entry : Entries)
        table.push_back(entry.Entry);
    EXPECT_EQ(table, catalogue);
}

} // namespace
