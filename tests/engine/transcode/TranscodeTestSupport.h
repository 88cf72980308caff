// Shared pieces of the transcoder tests: generated media, a job that shows its files,
// a log recorder, and what a written file holds when it is read back.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/FFLog.h"
#include "base/FormatIO.h"
#include "base/PlatformBridge.h"
#include "encode/FFmpeg.h"

namespace vx::test {

inline TFileName Name(const std::string& APath) {
    return UTF8ToFileName(APath);
}

using TOptionList = std::vector<std::pair<std::string, std::string>>;

// A job whose files and run tables the tests look into.
class TTestJob : public TCustomFFmpeg {
public:
    explicit TTestJob(int AMaxFiles = 8) : TCustomFFmpeg(AMaxFiles) {}
    using TCustomFFmpeg::Finput_files;
    using TCustomFFmpeg::Finput_streams;
    using TCustomFFmpeg::FJoinMode;
    using TCustomFFmpeg::Foutput_files;

    void Options(const TOptionList& AOptions) {
        for (const auto& [name, value] : AOptions)
            SetExtOption(name, value);
    }
    // Options, then the input. False when the input was refused: InputError says why.
    bool Input(const std::string& APath, const TOptionList& AOptions = {}) {
        Options(AOptions);
        try {
            open_input_file(Name(APath));
            return true;
        } catch (const FFmpegException& e) {
            InputError = e.what();
            return false;
        }
    }
    std::string InputError;
    // Options, then the output; the number of outputs or -1.
    int Output(const std::string& APath, const TOptionList& AOptions = {}, bool AJoin = false) {
        Options(AOptions);
        const int n = open_output_file(Name(APath), AJoin);
        if (n > 0 && AJoin)
            join_setup();
        return n;
    }
    // Runs on this thread; records the progress reports.
    void Run() {
        OnProgress = [this](TCustomFFmpeg*, int32_t AFileIndex, int32_t AFrame, int32_t, float, float,
                            int64_t, int64_t ACurrent, int64_t ATotal) {
            std::lock_guard lock(Lock);
            Reports.push_back({AFileIndex, AFrame, ACurrent, ATotal});
        };
        StartConvert(false, tpNormal);
    }

    struct TReport {
        int32_t FileIndex;
        int32_t Frame;
        int64_t Current;
        int64_t Total;
    };
    std::mutex Lock;
    std::vector<TReport> Reports; // Lock
};

// Collects what the engine logs while a test runs (delivered on the logging thread).
class TLogRecorder {
public:
    explicit TLogRecorder(TLogLevel ALevel = llInfo) {
        FOldLevel = GetLogger().LogLevel();
        FOldTrigger = GetLogger().TriggerEventInMainThread();
        GetLogger().SetTriggerEventInMainThread(false);
        GetLogger().SetLogLevel(ALevel);
        GetLogger().OnLog = [this](void*, uint32_t, TLogLevel ALevel, const std::string& AText) {
            std::lock_guard lock(FLock);
            FLines.push_back({ALevel, AText});
        };
    }
    ~TLogRecorder() {
        GetLogger().OnLog = nullptr;
        GetLogger().SetLogLevel(FOldLevel);
        GetLogger().SetTriggerEventInMainThread(FOldTrigger);
    }
    int Count(TLogLevel ALevel, const std::string& AText) const {
        std::lock_guard lock(FLock);
        int n = 0;
        for (const auto& l : FLines)
            n += l.first == ALevel && l.second.find(AText) != std::string::npos;
        return n;
    }
    // The lines of any level that hold AText.
    int Count(const std::string& AText) const {
        std::lock_guard lock(FLock);
        int n = 0;
        for (const auto& l : FLines)
            n += l.second.find(AText) != std::string::npos;
        return n;
    }

    // Every line of ALevel or more urgent, to show why a run failed.
    std::string Text(TLogLevel ALevel = llWarning) const {
        std::lock_guard lock(FLock);
        std::string text;
        for (const auto& l : FLines)
            if (l.first <= ALevel)
                text += "\n  " + l.second;
        return text;
    }

    // The last line of ALevel that starts with APrefix; empty when none.
    std::string Last(TLogLevel ALevel, const std::string& APrefix) const {
        std::lock_guard lock(FLock);
        for (auto it = FLines.rbegin(); it != FLines.rend(); ++it)
            if (it->first == ALevel && it->second.rfind(APrefix, 0) == 0)
                return it->second;
        return {};
    }

private:
    mutable std::mutex FLock;
    std::vector<std::pair<TLogLevel, std::string>> FLines;
    TLogLevel FOldLevel;
    bool FOldTrigger;
};

// A stream of a file read back.
struct TStreamFacts {
    AVMediaType Kind = AVMEDIA_TYPE_UNKNOWN;
    std::string Codec;
    int Width = 0, Height = 0;
    AVRational SampleAspect{0, 1}; // 0/1: not stated
    double FrameRate = 0;
    int SampleRate = 0, Channels = 0;
    int Packets = 0;
    bool FirstIsKey = false;
    std::string Title; // of the stream's metadata
};

struct TFileFacts {
    bool Opened = false;
    std::string Format;
    double Seconds = 0;
    std::vector<TStreamFacts> Streams;
    std::vector<std::pair<double, double>> Chapters; // start, end in seconds
    std::vector<std::string> ChapterTitles;
    std::string Title;

    int Count(AVMediaType AKind) const {
        int n = 0;
        for (const auto& s : Streams)
            n += s.Kind == AKind;
        return n;
    }
    const TStreamFacts* First(AVMediaType AKind) const {
        for (const auto& s : Streams)
            if (s.Kind == AKind)
                return &s;
        return nullptr;
    }
};

inline TFileFacts ReadBack(const std::string& APath) {
    TFileFacts facts;
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, APath, nullptr, nullptr) < 0)
        return facts;
    TInputFilePtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0)
        return facts;
    facts.Opened = true;
    facts.Format = raw->iformat->name;
    facts.Seconds = raw->duration == AV_NOPTS_VALUE ? 0 : raw->duration / double(AV_TIME_BASE);
    if (const AVDictionaryEntry* e = ff::av_dict_get(raw->metadata, "title", nullptr, 0))
        facts.Title = e->value;
    for (unsigned i = 0; i < raw->nb_chapters; ++i) {
        const AVChapter* c = raw->chapters[i];
        facts.Chapters.emplace_back(c->start * av_q2d(c->time_base), c->end * av_q2d(c->time_base));
        const AVDictionaryEntry* e = ff::av_dict_get(c->metadata, "title", nullptr, 0);
        facts.ChapterTitles.push_back(e ? e->value : "");
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* st = raw->streams[i];
        const AVCodecParameters* par = st->codecpar;
        TStreamFacts s;
        s.Kind = par->codec_type;
        s.Codec = ff::avcodec_get_name(par->codec_id);
        s.Width = par->width;
        s.Height = par->height;
        s.SampleAspect = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
        s.FrameRate = st->avg_frame_rate.den ? av_q2d(st->avg_frame_rate) : 0;
        s.SampleRate = par->sample_rate;
        s.Channels = par->ch_layout.nb_channels;
        if (const AVDictionaryEntry* e = ff::av_dict_get(st->metadata, "title", nullptr, 0))
            s.Title = e->value;
        facts.Streams.push_back(s);
    }
    TPacketPtr packet(ff::av_packet_alloc());
    bool seen[64] = {};
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        const int i = packet->stream_index;
        if (i < static_cast<int>(facts.Streams.size())) {
            ++facts.Streams[i].Packets;
            if (i < 64 && !seen[i]) {
                seen[i] = true;
                facts.Streams[i].FirstIsKey = packet->flags & AV_PKT_FLAG_KEY;
            }
        }
        ff::av_packet_unref(packet.get());
    }
    return facts;
}

inline bool FileExists(const std::string& APath) {
    return fixtures::FileSize(APath) >= 0;
}

// The media every transcoder test reads, written once.
class TranscodeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        if (Media)
            return;
        Media = std::make_unique<fixtures::TTempDir>();
        fixtures::WriteMedia(Media->File("clip.avi"), fixtures::AviMpeg4Mp3());
        fixtures::WriteMedia(Media->File("clip.mp4"), fixtures::Mp4H264Aac());
        fixtures::WriteMedia(Media->File("tone.mp3"), fixtures::Mp3AudioOnly());
        fixtures::WriteMedia(Media->File("two.mkv"), fixtures::TwoVideoStreams());
        fixtures::WriteMedia(Media->File("ntsc.avi"), fixtures::NtscFrameRate());
        fixtures::TMediaSpec oneSecond = fixtures::AviMpeg4Mp3();
        oneSecond.Seconds = 1.0;
        fixtures::WriteMedia(Media->File("short.avi"), oneSecond);
        fixtures::TMediaSpec chapters = fixtures::AviMpeg4Mp3();
        chapters.Format = "matroska";
        chapters.Metadata = {{"title", "Clip Title"}};
        chapters.Chapters = {{0.0, 1.0, "One"}, {1.0, 2.0, "Two"}};
        fixtures::WriteMedia(Media->File("chapters.mkv"), chapters);
    }
    static std::string Path(const std::string& AName) { return Media->File(AName); }

    fixtures::TTempDir Out;
    static inline std::unique_ptr<fixtures::TTempDir> Media;
};

} // namespace vx::test
