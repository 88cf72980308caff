// SetExtOption: every option name the transcoder knows, with its value syntax. Each
// handler parses the whole value before it touches the state, so an option that throws
// leaves the job as it was.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "base/FFLog.h"
#include "base/TextFormat.h"
#include "encode/FFmpegOptions.h"

namespace vx {
namespace {

std::string Lower(std::string AText) {
    for (char& c : AText)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return AText;
}

// ---- Number conversions of option values ----

enum class TNumberError { None, Invalid, Range };

// A decimal integer with an optional sign; surrounding blanks are allowed.
TNumberError ParseInt64(std::string_view AText, int64_t& AValue) {
    const std::string text = Trim(AText);
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    if (first == last)
        return TNumberError::Invalid;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, 10);
    if (ec == std::errc::result_out_of_range)
        return TNumberError::Range;
    if (ec != std::errc() || end != last)
        return TNumberError::Invalid;
    AValue = value;
    return TNumberError::None;
}

// A decimal number; "." or "," as the decimal separator, whatever the locale, so that
// option texts mean the same on every machine. Only finite values.
TNumberError ParseDouble(std::string_view AText, double& AValue) {
    std::string text = Trim(AText);
    if (text.find('.') == std::string::npos) {
        const size_t comma = text.find(',');
        if (comma != std::string::npos)
            text[comma] = '.';
    }
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    if (first == last)
        return TNumberError::Invalid;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        return TNumberError::Range;
    if (ec != std::errc() || end != last)
        return TNumberError::Invalid;
    if (!std::isfinite(value))
        return TNumberError::Range;
    AValue = value;
    return TNumberError::None;
}

[[noreturn]] void ThrowNumber(const std::string& AName, const std::string& AValue, TNumberError AError,
                              const char* AWhat) {
    throw FFmpegException("Invalid value \"" + AValue + "\" for option \"" + AName + "\": " +
                          (AError == TNumberError::Range ? std::string("out of range") : std::string(AWhat)));
}

bool OptBool(const std::string& AValue) {
    return AValue != "0";
}

int64_t OptInt64(const std::string& AName, const std::string& AValue) {
    int64_t v = 0;
    if (const TNumberError e = ParseInt64(AValue, v); e != TNumberError::None)
        ThrowNumber(AName, AValue, e, "an integer is required");
    return v;
}

int32_t OptInt(const std::string& AName, const std::string& AValue) {
    const int64_t v = OptInt64(AName, AValue);
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        ThrowNumber(AName, AValue, TNumberError::Range, "");
    return static_cast<int32_t>(v);
}

float OptFloat(const std::string& AName, const std::string& AValue) {
    double v = 0;
    if (const TNumberError e = ParseDouble(AValue, v); e != TNumberError::None)
        ThrowNumber(AName, AValue, e, "a number is required");
    if (std::fabs(v) > std::numeric_limits<float>::max())
        ThrowNumber(AName, AValue, TNumberError::Range, "");
    return static_cast<float>(v);
}

// Reads the numbers of map values the C way (decimal, 0x hexadecimal, 0 octal), one
// after the other, skipping one separator character after each, whatever it is.
class TCIntReader {
public:
    explicit TCIntReader(const std::string& AText) : FText(AText) {}
    // False when no number starts here or it does not fit 32 bits.
    bool Number(int64_t& AValue) {
        if (FPos >= FText.size())
            return false;
        const char* start = FText.c_str() + FPos;
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(start, &end, 0);
        if (end == start || errno == ERANGE || v < std::numeric_limits<int32_t>::min() ||
            v > std::numeric_limits<int32_t>::max())
            return false;
        FPos += static_cast<size_t>(end - start);
        AValue = v;
        return true;
    }
    // A number that can index a file, stream, chapter or program.
    bool Index(int32_t& AValue) {
        int64_t v = 0;
        if (!Number(v) || v < 0)
            return false;
        AValue = static_cast<int32_t>(v);
        return true;
    }
    void Skip() {
        if (FPos < FText.size())
            ++FPos;
    }
    char Peek() const { return FPos < FText.size() ? FText[FPos] : '\0'; }
    bool AtEnd() const { return FPos >= FText.size(); }
    std::string Rest() const { return FText.substr(std::min(FPos, FText.size())); }

private:
    const std::string& FText;
    size_t FPos = 0;
};

[[noreturn]] void ThrowSyntax(const std::string& AName, const std::string& AValue, const char* ASyntax) {
    throw FFmpegException(FormatText("Invalid value \"%s\" for option \"%s\", required syntax is \"%s\"",
                                     AValue.c_str(), AName.c_str(), ASyntax));
}

// The like of atoi: leading blanks, a sign, digits; anything after them is ignored.
int64_t LeadingInt(std::string_view AText) {
    size_t i = 0;
    while (i < AText.size() && (AText[i] == ' ' || AText[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < AText.size() && (AText[i] == '+' || AText[i] == '-'))
        negative = AText[i++] == '-';
    int64_t v = 0;
    for (; i < AText.size() && AText[i] >= '0' && AText[i] <= '9'; ++i)
        v = std::min<int64_t>(v * 10 + (AText[i] - '0'), 1000000000); // saturates, no overflow
    return negative ? -v : v;
}

std::string ProgramDirectory() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    std::string dir = exe.parent_path().string();
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

std::string LocalTimeHHNNSS() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[16];
    std::strftime(buf, sizeof(buf), "%H%M%S", &local);
    return buf;
}

enum class TNorm { Unknown, PAL, NTSC, FILM };

TNorm NormOfRate(int64_t ARateTimes1000) {
    if (ARateTimes1000 == 25000)
        return TNorm::PAL;
    if (ARateTimes1000 == 29970 || ARateTimes1000 == 23976)
        return TNorm::NTSC;
    return TNorm::Unknown;
}

int64_t RateTimes1000(AVRational ARate) {
    return std::llround(static_cast<double>(ARate.num) * 1000.0 / static_cast<double>(ARate.den));
}

} // namespace

TFFmpegOptions::TFFmpegOptions() = default;

TFFmpegOptions::~TFFmpegOptions() = default;

int64_t TFFmpegOptions::parse_time_value(const std::string& AContext, const std::string& ATime,
                                         bool AIsDuration) {
    int64_t us = 0;
    // The transcoder adds times up (start, offset, length and a packet's own time), so a
    // time must leave room for that: beyond 2^60 microseconds (36 000 years) it is refused.
    constexpr int64_t Largest = int64_t{1} << 60;
    if (ff::av_parse_time(&us, ATime.c_str(), AIsDuration ? 1 : 0) < 0 || us > Largest || us < -Largest)
        throw FFmpegException(FormatText("Invalid %s specification for %s: %s",
                                         AIsDuration ? "duration" : "date", AContext.c_str(), ATime.c_str()));
    return us;
}

// ---- Options that need more than a plain value: one function each ----

struct TOptionParsers {
    using S = TFFmpegOptions;
    using Text = const std::string&;

    static void DoNothing(S& AJob, Text AName, Text) {
        GetLogger().Log(&AJob, llInfo, "Do nothing: option - " + AName);
    }
    static void LogLevel(S&, Text, Text AValue) {
        try {
            GetLogger().OptLogLevel(AValue);
        } catch (const std::exception& e) {
            throw FFmpegException(e.what());
        }
    }
    static void TimeLimit(S& AJob, Text, Text) {
        GetLogger().Log(&AJob, llWarning, "Warning: -timelimit not implemented on Windows");
    }
    static void RemovedCrop(S&, Text, Text) { throw FFmpegException("Removed, use the crop filter instead"); }
    static void RemovedPad(S&, Text, Text) { throw FFmpegException("Removed, use the pad filter instead"); }

    // ---- Maps ----
    static void Map(S& AJob, Text AName, Text AValue) {
        constexpr const char* syntax = "file.stream[:syncfile.syncstream]";
        TCIntReader r(AValue);
        TAVStreamMap m;
        if (!r.Index(m.file_index))
            ThrowSyntax(AName, AValue, syntax);
        r.Skip();
        if (!r.Index(m.stream_index))
            ThrowSyntax(AName, AValue, syntax);
        if (r.AtEnd()) {
            m.sync_file_index = m.file_index;
            m.sync_stream_index = m.stream_index;
        } else {
            r.Skip();
            if (!r.Index(m.sync_file_index))
                ThrowSyntax(AName, AValue, syntax);
            r.Skip();
            if (!r.Index(m.sync_stream_index) || !r.AtEnd())
                ThrowSyntax(AName, AValue, syntax);
        }
        grow_array(AJob.FRunFlags.stream_maps, static_cast<int64_t>(AJob.FRunFlags.stream_maps.size()) + 1);
        AJob.FRunFlags.stream_maps.back() = m;
    }
    static void MapMetaDataDeprecated(S& AJob, Text, Text AValue) {
        GetLogger().Log(&AJob, llWarning,
                        "-map_meta_data is deprecated and will be removed soon. Use -map_metadata instead.");
        MapMetadata(AJob, "map_metadata", AValue);
    }
    static void MapMetadata(S& AJob, Text AName, Text AValue) {
        constexpr const char* syntax = "outfile[,type[index]]:infile[,type[index]]";
        TCIntReader r(AValue);
        auto end = [&](TAVMetaDataMap& AEnd) {
            if (!r.Index(AEnd.file_idx))
                ThrowSyntax(AName, AValue, syntax);
            AEnd.type_ = 'g';
            if (r.Peek() != ',')
                return;
            r.Skip();
            const char type = r.Peek();
            if (type == 'g') {
                r.Skip();
            } else if (type == 's' || type == 'c' || type == 'p') {
                r.Skip();
                AEnd.type_ = type;
                if (!r.Index(AEnd.index))
                    ThrowSyntax(AName, AValue, syntax);
            } else {
                throw FFmpegException(FormatText("Invalid metadata type %s.", std::string(1, type).c_str()));
            }
        };
        TAVMetaDataMapPair pair;
        end(pair[0]);
        r.Skip();
        end(pair[1]);
        if (!r.AtEnd())
            ThrowSyntax(AName, AValue, syntax);
        grow_array(AJob.FRunFlags.meta_data_maps,
                   static_cast<int64_t>(AJob.FRunFlags.meta_data_maps.size()) + 1);
        AJob.FRunFlags.meta_data_maps.back() = pair;
        // What the output end names by hand is no longer copied automatically.
        switch (pair[0].type_) {
        case 'g':
            AJob.FRunFlags.metadata_global_autocopy = 0;
            break;
        case 's':
            AJob.FRunFlags.metadata_streams_autocopy = 0;
            break;
        case 'c':
            AJob.FRunFlags.metadata_chapters_autocopy = 0;
            break;
        default:
            break;
        }
    }
    static void MapChapters(S& AJob, Text AName, Text AValue) {
        TCIntReader r(AValue);
        TAVChapterMap m;
        if (!r.Index(m.out_file))
            ThrowSyntax(AName, AValue, "outfile:infile");
        r.Skip();
        if (!r.Index(m.in_file) || !r.AtEnd())
            ThrowSyntax(AName, AValue, "outfile:infile");
        grow_array(AJob.FRunFlags.chapter_maps, static_cast<int64_t>(AJob.FRunFlags.chapter_maps.size()) + 1);
        AJob.FRunFlags.chapter_maps.back() = m;
    }

    // ---- Times ----
    static void RecordingTime(S& AJob, Text AName, Text AValue) {
        AJob.FRunFlags.recording_time = S::parse_time_value(AName, AValue, true);
        AJob.RecordingTimeSet(AJob.FRunFlags.recording_time);
    }
    static void StartTime(S& AJob, Text AName, Text AValue) {
        AJob.FRunFlags.start_time = S::parse_time_value(AName, AValue, true);
    }
    static void InputOffset(S& AJob, Text AName, Text AValue) {
        AJob.Finput_ts_offset = S::parse_time_value(AName, AValue, true);
    }
    static void InputScale(S& AJob, Text AName, Text AValue) {
        TCIntReader r(AValue);
        int64_t stream = 0;
        if (!r.Number(stream))
            ThrowSyntax(AName, AValue, "stream:scale");
        if (stream >= MaxStreams)
            throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
        if (stream < 0)
            throw FFmpegException(FormatText("Invalid stream index %d", static_cast<int>(stream)));
        r.Skip();
        // A scale multiplies every timestamp of the stream: only a finite, non-negative
        // number (0 leaves the stream unscaled).
        double scale = 0;
        if (ParseDouble(r.Rest(), scale) != TNumberError::None || scale < 0)
            ThrowSyntax(AName, AValue, "stream:scale");
        const int file = AJob.InputFileCount();
        grow_array(AJob.Finput_files_ts_scale, static_cast<int64_t>(file) + 1);
        grow_array(AJob.Finput_files_ts_scale[file], stream + 1);
        AJob.Finput_files_ts_scale[file][stream] = scale;
    }
    static void Timestamp(S& AJob, Text AName, Text AValue) {
        const int64_t us = S::parse_time_value(AName, AValue, false);
        AJob.Frecording_timestamp = std::llround(static_cast<double>(us) / 1000000.0);
    }
    static void Metadata(S& AJob, Text, Text AValue) {
        const size_t eq = AValue.find('=');
        if (eq == std::string::npos)
            throw FFmpegException("Missing =");
        if (eq == 0 || eq + 1 == AValue.size())
            throw FFmpegException("wrong parameter of metadata");
        AJob.Fmetadata.Set(AValue.substr(0, eq), AValue.substr(eq + 1));
    }
    static void ForcedKeyFrames(S& AJob, Text AName, Text AValue) {
        // Checked now, so that a bad time is reported with the option, not at the
        // creation of the stream.
        if (!AValue.empty()) {
            size_t start = 0;
            for (;;) {
                const size_t comma = AValue.find(',', start);
                S::parse_time_value(
                    AName,
                    AValue.substr(start, comma == std::string::npos ? std::string::npos : comma - start),
                    true);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        }
        AJob.FNextVideo.forced_key_frames = AValue;
    }

    // ---- Values with a range or a side effect ----
    static void Threads(S& AJob, Text AName, Text AValue) {
        AJob.Fthread_count = OptInt(AName, AValue);
        if (AJob.FRunFlags.verbose >= 0)
            GetLogger().Log(&AJob, llVerbose,
                            "Warning: if the ffmpeg libraries were not compiled with thread support, it "
                            "would be using thread emulation.");
    }
    static void VideoQuality(S& AJob, Text AName, Text AValue) {
        const float q = OptFloat(AName, AValue);
        if (!(q > 0) || q > 255)
            throw FFmpegException("qscale must be > 0.0 and <= 255");
        AJob.Fvideo_qscale = q;
    }
    static void Pass(S& AJob, Text AName, Text AValue) {
        const int32_t pass = OptInt(AName, AValue);
        if (pass != 1 && pass != 2)
            throw FFmpegException("pass number can be only 1 or 2");
        AJob.Fdo_pass = pass;
    }
    static void PassLogFile(S& AJob, Text AName, Text AValue) {
        AJob.FRunFlags.pass_logfilename_prefix = AValue;
        // Encoders with their own statistics file take the name too, where they have it.
        AJob.FOptions.set_generic_option(AName, AValue);
    }
    static void TopFieldFirst(S& AJob, Text AName, Text AValue) {
        AJob.FRunFlags.top_field_first = OptInt(AName, AValue);
        AJob.FOptions.set_generic_option(AName, AValue);
    }
    static void VideoStatistics(S& AJob, Text, Text AValue) {
        AJob.FRunFlags.vstats_filename.reset();
        if (OptBool(AValue))
            AJob.FRunFlags.vstats_filename =
                FormatText("%svstats_%s.log", ProgramDirectory().c_str(), LocalTimeHHNNSS().c_str());
    }

    // ---- Video ----
    static void FrameRate(S& AJob, Text, Text AValue) {
        if (AValue.empty())
            return;
        AVRational rate{0, 0};
        if (ff::av_parse_video_rate(&rate, AValue.c_str()) < 0)
            throw FFmpegException("Incorrect frame rate");
        AJob.FNextFile.frame_rate = rate;
    }
    static void FrameSize(S& AJob, Text, Text AValue) {
        if (AValue.empty())
            return;
        int width = 0, height = 0;
        if (ff::av_parse_video_size(&width, &height, AValue.c_str()) < 0)
            throw FFmpegException("Incorrect frame size");
        AJob.FNextFile.frame_width = width;
        AJob.FNextFile.frame_height = height;
    }
    static void AspectRatio(S& AJob, Text, Text AValue) {
        if (AValue.empty())
            return;
        double ratio = 0;
        const size_t colon = AValue.find(':');
        if (colon != std::string::npos) {
            // Parts that are not 32-bit integers count as 0.
            auto part = [](std::string_view AText) {
                int64_t v = 0;
                if (ParseInt64(AText, v) != TNumberError::None || v < std::numeric_limits<int32_t>::min() ||
                    v > std::numeric_limits<int32_t>::max())
                    return int64_t{0};
                return v;
            };
            const int64_t a = part(std::string_view(AValue).substr(0, colon));
            const int64_t b = part(std::string_view(AValue).substr(colon + 1));
            ratio = b > 0 ? static_cast<double>(a) / static_cast<double>(b) : 0;
        } else if (ParseDouble(AValue, ratio) != TNumberError::None ||
                   std::fabs(ratio) > std::numeric_limits<float>::max()) {
            ratio = 0;
        }
        if (static_cast<float>(ratio) == 0)
            throw FFmpegException("Incorrect aspect ratio specification.");
        AJob.Fframe_aspect_ratio = static_cast<float>(ratio);
    }
    static void PixelFormat(S& AJob, Text, Text AValue) {
        if (AValue == "list") {
            for (int i = -1; i <= 78 && i < AV_PIX_FMT_NB; ++i) {
                char buf[128] = {};
                ff::av_get_pix_fmt_string(buf, sizeof(buf), static_cast<AVPixelFormat>(i));
                GetLogger().Log(&AJob, llInfo, Trim(buf));
            }
            return;
        }
        const AVPixelFormat fmt = ff::av_get_pix_fmt(AValue.c_str());
        if (fmt == AV_PIX_FMT_NONE)
            throw FFmpegException(FormatText("Unknown pixel format requested: %s", AValue.c_str()));
        AJob.FNextVideo.pix_fmt = fmt;
    }
    static void FrameHook(S& AJob, Text, Text AValue) {
        const char separator = AValue.find('|') != std::string::npos ? '|' : ' ';
        std::vector<std::string> args;
        size_t start = 0;
        while (start <= AValue.size() && args.size() < 64) {
            size_t stop = AValue.find(separator, start);
            if (stop == std::string::npos)
                stop = AValue.size();
            if (stop > start)
                args.push_back(AValue.substr(start, stop - start));
            start = stop + 1;
        }
        if (args.empty() || !AJob.AddFrameHook(args))
            throw FFmpegException("Failed to add video hook function: " + AValue);
        AJob.FRunFlags.using_vhook = true;
    }
    static void Matrix(S& AJob, Text AName, Text AValue) {
        std::array<uint16_t, 64> matrix{};
        std::array<int64_t, 64> coeffs{};
        size_t pos = 0;
        for (int i = 0;; ++i) {
            coeffs[i] = LeadingInt(std::string_view(AValue).substr(pos));
            if (i == 63)
                break;
            const size_t comma = AValue.find(',', pos);
            if (comma == std::string::npos)
                throw FFmpegException(
                    FormatText("Syntax error in matrix \"%s\" at coeff %d", AValue.c_str(), i));
            pos = comma + 1;
        }
        // The encoders divide by these coefficients and write them as 8-bit values.
        for (int i = 0; i < 64; ++i) {
            if (coeffs[i] < 1 || coeffs[i] > 255)
                throw FFmpegException(
                    FormatText("Invalid coefficient %lld in matrix \"%s\" at coeff %d: must "
                               "be 1 to 255",
                               static_cast<long long>(coeffs[i]), AValue.c_str(), i));
            matrix[i] = static_cast<uint16_t>(coeffs[i]);
        }
        (AName == "intra_matrix" ? AJob.Fintra_matrix : AJob.Finter_matrix) = matrix;
    }
    static void StreamId(S& AJob, Text AName, Text AValue) {
        const size_t colon = AValue.find(':');
        int64_t index = 0, id = 0;
        if (colon == std::string::npos ||
            ParseInt64(std::string_view(AValue).substr(0, colon), index) != TNumberError::None ||
            ParseInt64(std::string_view(AValue).substr(colon + 1), id) != TNumberError::None ||
            id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max())
            ThrowSyntax(AName, AValue, "index:value");
        // The index is an output stream's number: it cannot be negative, and a file
        // never has MaxStreams streams (which also keeps the map small).
        if (index < 0)
            throw FFmpegException(FormatText("Invalid stream index %lld", static_cast<long long>(index)));
        if (index >= MaxStreams)
            throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
        grow_array(AJob.Fstreamid_map, index + 1);
        AJob.Fstreamid_map[index] = static_cast<int32_t>(id);
    }

    // ---- Audio ----
    static void SampleFormat(S& AJob, Text, Text AValue) {
        if (AValue == "list") {
            for (int i = -1; i <= 4; ++i) {
                char buf[128] = {};
                ff::av_get_sample_fmt_string(buf, sizeof(buf), static_cast<AVSampleFormat>(i));
                GetLogger().Log(&AJob, llInfo, Trim(buf));
            }
            return;
        }
        const AVSampleFormat fmt = ff::av_get_sample_fmt(AValue.c_str());
        if (fmt == AV_SAMPLE_FMT_NONE)
            throw FFmpegException(FormatText("Invalid sample format \"%s\"", AValue.c_str()));
        AJob.Faudio_sample_fmt = fmt;
    }

    // ---- Codecs, filters, presets, targets and streams: the job's own routines ----
    static void Bitrate(S& AJob, Text AName, Text AValue) { AJob.opt_bitrate(AName, AValue); }
    static void Codec(S& AJob, Text AName, Text AValue) { AJob.opt_codec(AName, AValue); }
    static void CodecTag(S& AJob, Text AName, Text AValue) { AJob.opt_codec_tag(AName, AValue); }
    static void BitstreamFilter(S& AJob, Text AName, Text AValue) { AJob.opt_bsf(AName, AValue); }
    static void Preset(S& AJob, Text AName, Text AValue) { AJob.opt_preset(AName, AValue); }
    static void Target(S& AJob, Text, Text AValue) { AJob.opt_target(AValue); }
    static void NewVideo(S& AJob, Text, Text) { AJob.opt_new_stream(AVMEDIA_TYPE_VIDEO); }
    static void NewAudio(S& AJob, Text, Text) { AJob.opt_new_stream(AVMEDIA_TYPE_AUDIO); }
    static void NewSubtitle(S& AJob, Text, Text) { AJob.opt_new_stream(AVMEDIA_TYPE_SUBTITLE); }
    static void NewData(S& AJob, Text, Text) { AJob.opt_new_stream(AVMEDIA_TYPE_DATA); }
};

namespace {

using TParser = void (*)(TFFmpegOptions& AJob, const std::string& AName, const std::string& AValue);

// How a plain option's value is read into its field.
enum class TKind {
    Flag,         // bool: "0" is false, anything else true
    Int,          // int32
    PositiveInt,  // int32, kept only when above 0
    Int64,        // int64
    Float,        // float
    Text,         // string, as given
    NonEmptyText, // string, kept only when not empty
    OptionalText, // optional string, as given
    FrameLimit,   // one entry of the frame limits, by media kind
    Parser,       // a function of its own
};

using P = TFFmpegOptions;
// A field of the job, or of one of its groups of options.
template <class T> using TField = T& (*)(P&);
template <auto AMember> auto& Of(P& AJob) {
    return AJob.*AMember;
}
template <auto AGroup, auto AMember> auto& In(P& AJob) {
    return (AJob.*AGroup).*AMember;
}
using TMember = std::variant<std::monostate, TField<bool>, TField<int32_t>, TField<int64_t>, TField<float>,
                             TField<std::string>, TField<std::optional<std::string>>>;

struct TOptionRow {
    const char* Name;
    TKind Kind;
    TMember Member{};
    TParser Parse = nullptr;
    AVMediaType Media = AVMEDIA_TYPE_UNKNOWN; // FrameLimit
};

template <class T> constexpr TOptionRow Row(const char* AName, TKind AKind, TField<T> AField) {
    return {AName, AKind, AField};
}
constexpr TOptionRow Parsed(const char* AName, TParser AParser) {
    return {AName, TKind::Parser, std::monostate{}, AParser};
}
constexpr TOptionRow FrameLimit(const char* AName, AVMediaType AMedia) {
    return {AName, TKind::FrameLimit, std::monostate{}, nullptr, AMedia};
}

using O = TOptionParsers;
// Every name SetExtOption knows; the first row of a name wins.
const TOptionRow OptionTable[] = {
    // Informational options of a command line: nothing to do here.
    Parsed("L", O::DoNothing),
    Parsed("h", O::DoNothing),
    Parsed("version", O::DoNothing),
    Parsed("formats", O::DoNothing),
    Parsed("codecs", O::DoNothing),
    Parsed("bsfs", O::DoNothing),
    Parsed("protocols", O::DoNothing),
    Parsed("filters", O::DoNothing),
    Parsed("i", O::DoNothing),
    Parsed("y", O::DoNothing),
    Parsed("benchmark", O::DoNothing),
    Parsed("loglevel", O::LogLevel),
    Parsed("timelimit", O::TimeLimit),
    Row("f", TKind::NonEmptyText, In<&P::FNextFile, &TNextFileOptions::format>),

    // Maps
    Parsed("map", O::Map),
    Parsed("map_meta_data", O::MapMetaDataDeprecated),
    Parsed("map_metadata", O::MapMetadata),
    Parsed("map_chapters", O::MapChapters),

    // Times and sizes
    Parsed("t", O::RecordingTime),
    Row("fs", TKind::Int64, In<&P::FRunFlags, &TRunFlags::limit_filesize>),
    Parsed("ss", O::StartTime),
    Parsed("itsoffset", O::InputOffset),
    Parsed("itsscale", O::InputScale),
    Parsed("timestamp", O::Timestamp),
    Parsed("metadata", O::Metadata),
    Parsed("force_key_frames", O::ForcedKeyFrames),

    // The job
    FrameLimit("vframes", AVMEDIA_TYPE_VIDEO),
    FrameLimit("aframes", AVMEDIA_TYPE_AUDIO),
    FrameLimit("dframes", AVMEDIA_TYPE_DATA),
    Row("dump", TKind::Flag, In<&P::FRunFlags, &TRunFlags::do_pkt_dump>),
    Row("hex", TKind::Flag, In<&P::FRunFlags, &TRunFlags::do_hex_dump>),
    Row("re", TKind::Flag, In<&P::FRunFlags, &TRunFlags::rate_emu>),
    Row("loop_input", TKind::Flag, Of<&P::Floop_input>),
    Row("loop_output", TKind::Int, Of<&P::Floop_output>),
    Row("v", TKind::Int, In<&P::FRunFlags, &TRunFlags::verbose>),
    Parsed("target", O::Target),
    Parsed("threads", O::Threads),
    Row("stage_threads", TKind::Int, In<&P::FRunFlags, &TRunFlags::stage_threads>),
    Row("vsync", TKind::Int, In<&P::FRunFlags, &TRunFlags::video_sync_method>),
    Row("async", TKind::Int, In<&P::FRunFlags, &TRunFlags::audio_sync_method>),
    Row("adrift_threshold", TKind::Float, In<&P::FRunFlags, &TRunFlags::audio_drift_threshold>),
    Row("copyts", TKind::Flag, In<&P::FRunFlags, &TRunFlags::copy_ts>),
    Row("copytb", TKind::Flag, In<&P::FRunFlags, &TRunFlags::copy_tb>),
    Row("shortest", TKind::Flag, In<&P::FRunFlags, &TRunFlags::opt_shortest>),
    Row("keep_existing", TKind::Flag, Of<&P::Fkeep_existing>),
    Row("dts_delta_threshold", TKind::Float, In<&P::FRunFlags, &TRunFlags::dts_delta_threshold>),
    Row("programid", TKind::Int, In<&P::FRunFlags, &TRunFlags::opt_programid>),
    Row("xerror", TKind::Flag, In<&P::FRunFlags, &TRunFlags::exit_on_error>),
    Row("copyinkf", TKind::Int, In<&P::FRunFlags, &TRunFlags::copy_initial_nonkeyframes>),

    // Video
    Parsed("b", O::Bitrate),
    Parsed("vb", O::Bitrate),
    Parsed("ab", O::Bitrate),
    Parsed("r", O::FrameRate),
    Parsed("s", O::FrameSize),
    Parsed("aspect", O::AspectRatio),
    Parsed("pix_fmt", O::PixelFormat),
    Row("bits_per_raw_sample", TKind::Int, In<&P::FRunFlags, &TRunFlags::frame_bits_per_raw_sample>),
    Parsed("croptop", O::RemovedCrop),
    Parsed("cropbottom", O::RemovedCrop),
    Parsed("cropleft", O::RemovedCrop),
    Parsed("cropright", O::RemovedCrop),
    Parsed("padtop", O::RemovedPad),
    Parsed("padbottom", O::RemovedPad),
    Parsed("padleft", O::RemovedPad),
    Parsed("padright", O::RemovedPad),
    Parsed("padcolor", O::RemovedPad),
    Row("intra", TKind::Flag, Of<&P::Fintra_only>),
    Row("vn", TKind::Flag, In<&P::FNextVideo, &TNextStreamOptions::disable>),
    Row("an", TKind::Flag, In<&P::FNextAudio, &TNextStreamOptions::disable>),
    Row("sn", TKind::Flag, In<&P::FNextSubtitle, &TNextStreamOptions::disable>),
    Row("vdt", TKind::Int, Of<&P::Fvideo_discard>),
    Parsed("qscale", O::VideoQuality),
    Row("aq", TKind::Float, Of<&P::Faudio_qscale>),
    Row("rc_override", TKind::OptionalText, Of<&P::Fvideo_rc_override_string>),
    Parsed("vcodec", O::Codec),
    Parsed("acodec", O::Codec),
    Parsed("scodec", O::Codec),
    Parsed("dcodec", O::Codec),
    Parsed("vtag", O::CodecTag),
    Parsed("atag", O::CodecTag),
    Parsed("stag", O::CodecTag),
    Row("me_threshold", TKind::Int, In<&P::FRunFlags, &TRunFlags::me_threshold>),
    Row("sameq", TKind::Flag, In<&P::FRunFlags, &TRunFlags::same_quality>),
    Parsed("pass", O::Pass),
    Parsed("passlogfile", O::PassLogFile),
    Row("deinterlace", TKind::Flag, In<&P::FRunFlags, &TRunFlags::do_deinterlace>),
    Row("psnr", TKind::Flag, Of<&P::Fdo_psnr>),
    Row("qphist", TKind::Flag, In<&P::FRunFlags, &TRunFlags::qp_hist>),
    Row("force_fps", TKind::Flag, In<&P::FRunFlags, &TRunFlags::force_fps>),
    Row("isync", TKind::Flag, In<&P::FRunFlags, &TRunFlags::input_sync>),
    Parsed("vstats", O::VideoStatistics),
    Row("vstats_file", TKind::OptionalText, In<&P::FRunFlags, &TRunFlags::vstats_filename>),
    Parsed("vhook", O::FrameHook),
    Row("vfilters", TKind::NonEmptyText, Of<&P::Fvfilters>),
    Row("vf", TKind::NonEmptyText, Of<&P::Fvfilters>),
    Parsed("intra_matrix", O::Matrix),
    Parsed("inter_matrix", O::Matrix),
    Parsed("top", O::TopFieldFirst),
    Row("dc", TKind::Int, Of<&P::Fintra_dc_precision>),
    Parsed("newvideo", O::NewVideo),
    Parsed("newaudio", O::NewAudio),
    Parsed("newsubtitle", O::NewSubtitle),
    Parsed("newdata", O::NewData),
    Row("vlang", TKind::Text, In<&P::FNextVideo, &TNextStreamOptions::language>),
    Row("alang", TKind::Text, In<&P::FNextAudio, &TNextStreamOptions::language>),
    Row("slang", TKind::Text, In<&P::FNextSubtitle, &TNextStreamOptions::language>),
    Parsed("streamid", O::StreamId),

    // Audio
    Row("ar", TKind::PositiveInt, In<&P::FNextFile, &TNextFileOptions::audio_sample_rate>),
    Row("ac", TKind::PositiveInt, In<&P::FNextFile, &TNextFileOptions::audio_channels>),
    Row("vol", TKind::Int, In<&P::FRunFlags, &TRunFlags::audio_volume>),
    Parsed("sample_fmt", O::SampleFormat),

    // Inputs and outputs
    Row("vc", TKind::Int, Of<&P::Fvideo_channel>),
    Row("tvstd", TKind::OptionalText, Of<&P::Fvideo_standard>),
    Row("muxdelay", TKind::Float, Of<&P::Fmux_max_delay>),
    Row("muxpreload", TKind::Float, Of<&P::Fmux_preload>),
    Parsed("absf", O::BitstreamFilter),
    Parsed("vbsf", O::BitstreamFilter),
    Parsed("sbsf", O::BitstreamFilter),
    Parsed("apre", O::Preset),
    Parsed("vpre", O::Preset),
    Parsed("spre", O::Preset),
    Parsed("fpre", O::Preset),
};

const TOptionRow* FindOption(std::string_view AName) {
    static const std::unordered_map<std::string_view, const TOptionRow*> Index = [] {
        std::unordered_map<std::string_view, const TOptionRow*> index;
        for (const TOptionRow& row : OptionTable)
            index.emplace(row.Name, &row); // keeps the first row of a name
        return index;
    }();
    const auto it = Index.find(AName);
    return it == Index.end() ? nullptr : it->second;
}

// Reads AValue as ARow says and stores it; a value that cannot be read throws before
// the field changes.
void ApplyPlain(TFFmpegOptions& AJob, const TOptionRow& ARow, const std::string& AName,
                const std::string& AValue) {
    switch (ARow.Kind) {
    case TKind::Flag:
        std::get<TField<bool>>(ARow.Member)(AJob) = OptBool(AValue);
        break;
    case TKind::Int:
        std::get<TField<int32_t>>(ARow.Member)(AJob) = OptInt(AName, AValue);
        break;
    case TKind::PositiveInt:
        if (const int32_t v = OptInt(AName, AValue); v > 0)
            std::get<TField<int32_t>>(ARow.Member)(AJob) = v;
        break;
    case TKind::Int64:
        std::get<TField<int64_t>>(ARow.Member)(AJob) = OptInt64(AName, AValue);
        break;
    case TKind::Float:
        std::get<TField<float>>(ARow.Member)(AJob) = OptFloat(AName, AValue);
        break;
    case TKind::Text:
        std::get<TField<std::string>>(ARow.Member)(AJob) = AValue;
        break;
    case TKind::NonEmptyText:
        if (!AValue.empty())
            std::get<TField<std::string>>(ARow.Member)(AJob) = AValue;
        break;
    case TKind::OptionalText:
        std::get<TField<std::optional<std::string>>>(ARow.Member)(AJob) = AValue;
        break;
    case TKind::FrameLimit:
        AJob.FRunFlags.max_frames[ARow.Media] = OptInt(AName, AValue);
        break;
    case TKind::Parser:
        ARow.Parse(AJob, AName, AValue);
        break;
    }
}

} // namespace

void TFFmpegOptions::SetExtOption(const std::string& AName, const std::string& AValue) {
    if (const TOptionRow* row = FindOption(AName))
        ApplyPlain(*this, *row, AName, AValue);
    else
        opt_generic(AName, AValue);
}

void TFFmpegOptions::opt_generic(const std::string& AName, const std::string& AValue) {
    if (!FOptions.set_generic_option(AName, AValue) && FHaltOnInvalidOption)
        throw FFmpegException(FOptions.LastFailure());
}

void TFFmpegOptions::opt_bitrate(const std::string& AName, const std::string& AValue) {
    if (!FOptions.set_generic_option(AName, AValue)) {
        if (FHaltOnInvalidOption)
            throw FFmpegException(FOptions.LastFailure());
        return;
    }
    AVCodecContext* proto = FOptions.avcodec_opts(AName[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO);
    int64_t bitrate = 0;
    ff::av_opt_get_int(proto, "b", 0, &bitrate);
    if (bitrate < 1000)
        GetLogger().Log(
            this, llWarning,
            "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TFFmpegOptions::opt_codec(const std::string& AKind, const std::string& AValue) {
    TNextStreamOptions* next = AKind == "vcodec"   ? &FNextVideo
                               : AKind == "acodec" ? &FNextAudio
                               : AKind == "scodec" ? &FNextSubtitle
                               : AKind == "dcodec" ? &FNextData
                                                   : nullptr;
    if (!next)
        throw FFmpegException(FormatText("Invalid parameter \"%s\"", AKind.c_str()));
    if (AValue.empty())
        return;
    next->codec_name.reset();
    // "copy" does not forget an earlier copy for a codec name given after it: the
    // stream stays copied.
    if (AValue == "copy")
        next->stream_copy = 1;
    else
        next->codec_name = AValue;
}

void TFFmpegOptions::opt_codec_tag(const std::string& AName, const std::string& AValue) {
    uint32_t* tag = AName == "vtag"   ? &Fvideo_codec_tag
                    : AName == "atag" ? &Faudio_codec_tag
                    : AName == "stag" ? &Fsubtitle_codec_tag
                                      : nullptr;
    if (!tag)
        throw FFmpegException(FormatText("Invalid tag parmeter %s", AName.c_str()));
    if (AValue.empty())
        return;
    int64_t number = 0;
    if (ParseInt64(AValue, number) == TNumberError::None) {
        *tag = static_cast<uint32_t>(number);
        return;
    }
    if (AValue.size() != 4) {
        // __FILE__ and __LINE__ rather than std::source_location, which clang 14 lacks.
        const std::string file = std::filesystem::path(__FILE__).filename().string();
        throw std::logic_error(FormatText("tag parameter must be 4 chars or int value (%s, line %u)",
                                          file.c_str(), static_cast<unsigned>(__LINE__)));
    }
    const auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(AValue[i])); };
    *tag = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

void TFFmpegOptions::opt_bsf(const std::string& AName, const std::string& AValue) {
    if (AValue.empty() || AValue[0] == '=')
        return;
    const size_t eq = AValue.find('=');
    const std::string name = eq == std::string::npos ? AValue : AValue.substr(0, eq);
    const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(name.c_str());
    if (!filter)
        throw FFmpegException(FormatText("Unknown bitstream filter %s", Trim(AValue).c_str()));
    AVBSFContext* ctx = nullptr;
    if (ff::av_bsf_alloc(filter, &ctx) < 0 || !ctx)
        throw FFmpegException(FormatText("Could not allocate bitstream filter %s", name.c_str()));
    TBSFContextPtr owned(ctx);
    TBitstreamFilterChain& chain = AName[0] == 'v'   ? FNextVideo.bitstream_filters
                                   : AName[0] == 'a' ? FNextAudio.bitstream_filters
                                                     : FNextSubtitle.bitstream_filters;
    chain.push_back(std::move(owned));
}

void TFFmpegOptions::opt_new_stream(AVMediaType AKind) {
    if (OutputFileCount() <= 0)
        throw FFmpegException("At least one output file must be specified");
    NewOutputStream(AKind);
}

void TFFmpegOptions::opt_preset(const std::string& /*AName*/, const std::string& AValue) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(AValue, ec))
        throw FFmpegException(FormatText("Preset file \"%s\" not found", AValue.c_str()));
    std::ifstream in(AValue, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof())
        throw FFmpegException(FormatText("Preset file \"%s\" cannot be read", AValue.c_str()));

    text = Trim(text);
    struct TLine {
        std::string Text, Name, Value;
    };
    std::vector<TLine> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t stop = text.find_first_of("\r\n", start);
        if (stop == std::string::npos)
            stop = text.size();
        const std::string line = Trim(std::string_view(text).substr(start, stop - start));
        // CR LF counts as one break.
        start = stop + (text.compare(stop, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t eq = line.find('=');
        TLine parsed{line, line.substr(0, eq), eq == std::string::npos ? std::string() : line.substr(eq + 1)};
        if (parsed.Name.empty() || parsed.Value.empty())
            throw FFmpegException(FormatText("%s: Invalid syntax: \"%s\"", AValue.c_str(), line.c_str()));
        lines.push_back(std::move(parsed));
    }
    // The whole file is read before anything is applied: a syntax error changes nothing.
    for (const TLine& line : lines) {
        const std::string lower = Lower(line.Name);
        if (lower == "acodec" || lower == "vcodec" || lower == "scodec" || lower == "dcodec") {
            opt_codec(lower, line.Value);
        } else if (!FOptions.set_generic_option(line.Name, line.Value) && FHaltOnInvalidOption) {
            throw FFmpegException(
                FormatText("%s\r\n%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                           FOptions.LastFailure().c_str(), AValue.c_str(), line.Text.c_str(),
                           line.Name.c_str(), line.Value.c_str()));
        }
    }
}

void TFFmpegOptions::opt_target(const std::string& AValue) {
    std::string type = Trim(AValue);
    std::string norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
        const std::string_view p(prefix);
        if (type.compare(0, p.size(), p) == 0) {
            norm = std::string(p.substr(0, p.size() - 1));
            type = type.substr(p.size());
            break;
        }
    }
    apply_target(type, norm, "ntsc");
}

void TFFmpegOptions::apply_target(const std::string& AType, const std::string& ANorm,
                                  const std::string& ADefaultNorm) {
    if (AType != "vcd" && AType != "svcd" && AType != "dvd" && AType != "dv" && AType != "dv50")
        throw FFmpegException("Unknown target type");

    TNorm norm = ANorm == "pal"    ? TNorm::PAL
                 : ANorm == "ntsc" ? TNorm::NTSC
                 : ANorm == "film" ? TNorm::FILM
                                   : TNorm::Unknown;
    if (norm == TNorm::Unknown) {
        if (FNextFile.frame_rate.num != 0 && FNextFile.frame_rate.den != 0) {
            norm = NormOfRate(RateTimes1000(FNextFile.frame_rate));
        } else {
            for (const AVRational rate : InputVideoFrameRates()) {
                if (rate.num <= 0 || rate.den <= 0)
                    continue;
                norm = NormOfRate(RateTimes1000(rate));
                if (norm != TNorm::Unknown)
                    break;
            }
        }
        if (norm != TNorm::Unknown && FRunFlags.verbose > 0)
            GetLogger().LogF(this, llVerbose, "Assuming %s for target.", norm == TNorm::PAL ? "PAL" : "NTSC");
        if (norm == TNorm::Unknown)
            norm = ADefaultNorm == "film" ? TNorm::FILM : ADefaultNorm == "ntsc" ? TNorm::NTSC : TNorm::PAL;
    }
    const bool pal = norm == TNorm::PAL;
    const char* rate = pal ? "25" : norm == TNorm::NTSC ? "30000/1001" : "24000/1001";
    const char* gop = pal ? "15" : "18";

    auto set = [this](const char* AName, const char* AValue) { SetExtOption(AName, AValue); };
    auto assumeAspect = [&](const char* ARatio) {
        if (Fframe_aspect_ratio != 0)
            return;
        GetLogger().LogF(this, llInfo, "Assuming %s for aspect ratio", ARatio);
        set("aspect", ARatio);
    };
    auto stereoForMono = [this] {
        if (FNextFile.audio_channels == 1)
            FNextFile.audio_channels = 2;
    };

    if (AType == "vcd") {
        set("vcodec", "mpeg1video");
        set("acodec", "mp2");
        set("f", "vcd");
        set("s", pal ? "352x288" : "352x240");
        set("r", rate);
        set("g", gop);
        set("b", "1150000");
        set("maxrate", "1150000");
        set("minrate", "1150000");
        set("bufsize", "327680");
        set("ab", "224000");
        set("packetsize", "2324");
        set("muxrate", "1411200");
        set("ar", "44100");
        set("ac", "2");
        // A VCD player's buffer allows less than the usual preload.
        Fmux_preload = 0.44f;
        assumeAspect("4:3");
    } else if (AType == "svcd") {
        set("vcodec", "mpeg2video");
        set("acodec", "mp2");
        set("f", "svcd");
        set("s", pal ? "480x576" : "480x480");
        set("r", rate);
        set("pix_fmt", "yuv420p");
        set("g", gop);
        set("b", "2040000");
        set("maxrate", "2516000");
        set("minrate", "0");
        set("bufsize", "1835008");
        // The scan-offset reservation is the MPEG-2 encoder's own option in this library
        // generation, no longer a value of the codec flags.
        set("scan_offset", "1");
        set("ab", "224000");
        set("packetsize", "2324");
        set("ar", "44100");
        stereoForMono();
        assumeAspect("4:3");
    } else if (AType == "dvd") {
        set("vcodec", "mpeg2video");
        set("acodec", "ac3");
        set("f", "dvd");
        set("s", pal ? "720x576" : "720x480");
        set("r", rate);
        set("pix_fmt", "yuv420p");
        set("g", gop);
        set("b", "6000000");
        set("maxrate", "9000000");
        set("minrate", "0");
        set("bufsize", "1835008");
        set("packetsize", "2048");
        set("muxrate", "10080000");
        set("ab", "448000");
        set("ar", "48000");
        stereoForMono();
        assumeAspect("16:9");
    } else { // "dv", "dv50"
        set("f", "dv");
        set("s", pal ? "720x576" : "720x480");
        set("r", rate);
        set("pix_fmt", AType == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        set("ar", "48000");
        set("ac", "2");
    }
}

} // namespace vx
