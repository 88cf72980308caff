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

const char* const DoNothingNames[] = {"L",         "h",       "version", "formats", "codecs",   "bsfs",
                                      "protocols", "filters", "i",       "y",       "benchmark"};

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
        throw FFmpegException(FormatText("Invalid %s specification for %s: %s", AIsDuration ? "duration" : "date",
                                     AContext.c_str(), ATime.c_str()));
    return us;
}

void TFFmpegOptions::SetExtOption(const std::string& AName, const std::string& AValue) {
    using THandler = void (*)(TFFmpegOptions & Self, const std::string& AName, const std::string& AValue);
    // Lambdas declared in a member function may use the private helpers.
    static const std::unordered_map<std::string_view, THandler> Table = [] {
        std::unordered_map<std::string_view, THandler> t;
        for (const char* name : DoNothingNames)
            t[name] = [](TFFmpegOptions& S, const std::string& N, const std::string&) {
                GetLogger().Log(&S, llInfo, "Do nothing: option - " + N);
            };
        t["loglevel"] = [](TFFmpegOptions&, const std::string&, const std::string& V) {
            try {
                GetLogger().OptLogLevel(V);
            } catch (const std::exception& e) {
                throw FFmpegException(e.what());
            }
        };
        t["f"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            if (!V.empty())
                S.Flast_asked_format = V;
        };

        // ---- Maps ----
        t["map"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            constexpr const char* syntax = "file.stream[:syncfile.syncstream]";
            TCIntReader r(V);
            TAVStreamMap m;
            if (!r.Index(m.file_index))
                ThrowSyntax(N, V, syntax);
            r.Skip();
            if (!r.Index(m.stream_index))
                ThrowSyntax(N, V, syntax);
            if (r.AtEnd()) {
                m.sync_file_index = m.file_index;
                m.sync_stream_index = m.stream_index;
            } else {
                r.Skip();
                if (!r.Index(m.sync_file_index))
                    ThrowSyntax(N, V, syntax);
                r.Skip();
                if (!r.Index(m.sync_stream_index) || !r.AtEnd())
                    ThrowSyntax(N, V, syntax);
            }
            grow_array(S.Fstream_maps, static_cast<int64_t>(S.Fstream_maps.size()) + 1);
            S.Fstream_maps.back() = m;
        };
        t["map_meta_data"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            GetLogger().Log(
                &S, llWarning,
                "-map_meta_data is deprecated and will be removed soon. Use -map_metadata instead.");
            Table.at("map_metadata")(S, "map_metadata", V);
        };
        t["map_metadata"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            constexpr const char* syntax = "outfile[,type[index]]:infile[,type[index]]";
            TCIntReader r(V);
            auto end = [&](TAVMetaDataMap& AEnd) {
                if (!r.Index(AEnd.file_idx))
                    ThrowSyntax(N, V, syntax);
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
                        ThrowSyntax(N, V, syntax);
                } else {
                    throw FFmpegException(FormatText("Invalid metadata type %s.", std::string(1, type).c_str()));
                }
            };
            TAVMetaDataMapPair pair;
            end(pair[0]);
            r.Skip();
            end(pair[1]);
            if (!r.AtEnd())
                ThrowSyntax(N, V, syntax);
            grow_array(S.Fmeta_data_maps, static_cast<int64_t>(S.Fmeta_data_maps.size()) + 1);
            S.Fmeta_data_maps.back() = pair;
            // What the output end names by hand is no longer copied automatically.
            switch (pair[0].type_) {
            case 'g':
                S.Fmetadata_global_autocopy = 0;
                break;
            case 's':
                S.Fmetadata_streams_autocopy = 0;
                break;
            case 'c':
                S.Fmetadata_chapters_autocopy = 0;
                break;
            default:
                break;
            }
        };
        t["map_chapters"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            TCIntReader r(V);
            TAVChapterMap m;
            if (!r.Index(m.out_file))
                ThrowSyntax(N, V, "outfile:infile");
            r.Skip();
            if (!r.Index(m.in_file) || !r.AtEnd())
                ThrowSyntax(N, V, "outfile:infile");
            grow_array(S.Fchapter_maps, static_cast<int64_t>(S.Fchapter_maps.size()) + 1);
            S.Fchapter_maps.back() = m;
        };

        // ---- Times ----
        t["t"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Frecording_time = parse_time_value(N, V, true);
            S.RecordingTimeSet(S.Frecording_time);
        };
        t["fs"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Flimit_filesize = OptInt64(N, V);
        };
        t["ss"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fstart_time = parse_time_value(N, V, true);
        };
        t["itsoffset"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Finput_ts_offset = parse_time_value(N, V, true);
        };
        t["itsscale"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            TCIntReader r(V);
            int64_t stream = 0;
            if (!r.Number(stream))
                ThrowSyntax(N, V, "stream:scale");
            if (stream >= MaxStreams)
                throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
            if (stream < 0)
                throw FFmpegException(FormatText("Invalid stream index %d", static_cast<int>(stream)));
            r.Skip();
            // A scale multiplies every timestamp of the stream: only a finite, non-negative
            // number (0 leaves the stream unscaled).
            double scale = 0;
            if (ParseDouble(r.Rest(), scale) != TNumberError::None || scale < 0)
                ThrowSyntax(N, V, "stream:scale");
            const int file = S.InputFileCount();
            grow_array(S.Finput_files_ts_scale, static_cast<int64_t>(file) + 1);
            grow_array(S.Finput_files_ts_scale[file], stream + 1);
            S.Finput_files_ts_scale[file][stream] = scale;
        };
        t["timestamp"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            const int64_t us = parse_time_value(N, V, false);
            S.Frecording_timestamp = std::llround(static_cast<double>(us) / 1000000.0);
        };
        t["metadata"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            const size_t eq = V.find('=');
            if (eq == std::string::npos)
                throw FFmpegException("Missing =");
            if (eq == 0 || eq + 1 == V.size())
                throw FFmpegException("wrong parameter of metadata");
            S.Fmetadata.Set(V.substr(0, eq), V.substr(eq + 1));
        };

        // ---- Plain job fields ----
        t["vframes"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fmax_frames[AVMEDIA_TYPE_VIDEO] = OptInt(N, V);
        };
        t["aframes"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fmax_frames[AVMEDIA_TYPE_AUDIO] = OptInt(N, V);
        };
        t["dframes"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fmax_frames[AVMEDIA_TYPE_DATA] = OptInt(N, V);
        };
        t["timelimit"] = [](TFFmpegOptions& S, const std::string&, const std::string&) {
            GetLogger().Log(&S, llWarning, "Warning: -timelimit not implemented on Windows");
        };
        t["dump"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fdo_pkt_dump = OptBool(V);
        };
        t["hex"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fdo_hex_dump = OptBool(V);
        };
        t["re"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Frate_emu = OptBool(V);
        };
        t["loop_input"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Floop_input = OptBool(V);
        };
        t["loop_output"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Floop_output = OptInt(N, V);
        };
        t["v"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fverbose = OptInt(N, V);
        };
        t["target"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) { S.opt_target(V); };
        t["threads"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fthread_count = OptInt(N, V);
            if (S.Fverbose >= 0)
                GetLogger().Log(&S, llVerbose,
                                "Warning: if the ffmpeg libraries were not compiled with thread support, it "
                                "would be using thread emulation.");
        };
        t["vsync"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fvideo_sync_method = OptInt(N, V);
        };
        t["async"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Faudio_sync_method = OptInt(N, V);
        };
        t["adrift_threshold"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Faudio_drift_threshold = OptFloat(N, V);
        };
        t["copyts"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fcopy_ts = OptBool(V);
        };
        t["copytb"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fcopy_tb = OptBool(V);
        };
        t["shortest"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fopt_shortest = OptBool(V);
        };
        t["keep_existing"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fkeep_existing = OptBool(V);
        };
        t["dts_delta_threshold"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fdts_delta_threshold = OptFloat(N, V);
        };
        t["programid"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fopt_programid = OptInt(N, V);
        };
        t["xerror"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fexit_on_error = OptBool(V);
        };
        t["copyinkf"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fcopy_initial_nonkeyframes = OptInt(N, V);
        };

        // ---- Video ----
        for (const char* name : {"b", "vb", "ab"})
            t[name] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
                S.opt_bitrate(N, V);
            };
        t["r"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            if (V.empty())
                return;
            AVRational rate{0, 0};
            if (ff::av_parse_video_rate(&rate, V.c_str()) < 0)
                throw FFmpegException("Incorrect frame rate");
            S.Fframe_rate = rate;
        };
        t["s"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            if (V.empty())
                return;
            int width = 0, height = 0;
            if (ff::av_parse_video_size(&width, &height, V.c_str()) < 0)
                throw FFmpegException("Incorrect frame size");
            S.Fframe_width = width;
            S.Fframe_height = height;
        };
        t["aspect"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            if (V.empty())
                return;
            double ratio = 0;
            const size_t colon = V.find(':');
            if (colon != std::string::npos) {
                // Parts that are not 32-bit integers count as 0.
                auto part = [](std::string_view AText) {
                    int64_t v = 0;
                    if (ParseInt64(AText, v) != TNumberError::None ||
                        v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
                        return int64_t{0};
                    return v;
                };
                const int64_t a = part(std::string_view(V).substr(0, colon));
                const int64_t b = part(std::string_view(V).substr(colon + 1));
                ratio = b > 0 ? static_cast<double>(a) / static_cast<double>(b) : 0;
            } else if (ParseDouble(V, ratio) != TNumberError::None ||
                       std::fabs(ratio) > std::numeric_limits<float>::max()) {
                ratio = 0;
            }
            if (static_cast<float>(ratio) == 0)
                throw FFmpegException("Incorrect aspect ratio specification.");
            S.Fframe_aspect_ratio = static_cast<float>(ratio);
        };
        t["pix_fmt"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            if (V == "list") {
                for (int i = -1; i <= 78 && i < AV_PIX_FMT_NB; ++i) {
                    char buf[128] = {};
                    ff::av_get_pix_fmt_string(buf, sizeof(buf), static_cast<AVPixelFormat>(i));
                    GetLogger().Log(&S, llInfo, Trim(buf));
                }
                return;
            }
            const AVPixelFormat fmt = ff::av_get_pix_fmt(V.c_str());
            if (fmt == AV_PIX_FMT_NONE)
                throw FFmpegException(FormatText("Unknown pixel format requested: %s", V.c_str()));
            S.Fframe_pix_fmt = fmt;
        };
        t["bits_per_raw_sample"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fframe_bits_per_raw_sample = OptInt(N, V);
        };
        for (const char* name : {"croptop", "cropbottom", "cropleft", "cropright"})
            t[name] = [](TFFmpegOptions&, const std::string&, const std::string&) {
                throw FFmpegException("Removed, use the crop filter instead");
            };
        for (const char* name : {"padtop", "padbottom", "padleft", "padright", "padcolor"})
            t[name] = [](TFFmpegOptions&, const std::string&, const std::string&) {
                throw FFmpegException("Removed, use the pad filter instead");
            };
        t["intra"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fintra_only = OptBool(V);
        };
        t["vn"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fvideo_disable = OptBool(V);
        };
        t["an"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Faudio_disable = OptBool(V);
        };
        t["sn"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fsubtitle_disable = OptBool(V);
        };
        t["vdt"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fvideo_discard = OptInt(N, V);
        };
        t["qscale"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            const float q = OptFloat(N, V);
            if (!(q > 0) || q > 255)
                throw FFmpegException("qscale must be > 0.0 and <= 255");
            S.Fvideo_qscale = q;
        };
        t["aq"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Faudio_qscale = OptFloat(N, V);
        };
        t["rc_override"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fvideo_rc_override_string = V;
        };
        for (const char* name : {"vcodec", "acodec", "scodec", "dcodec"})
            t[name] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
                S.opt_codec(N, V);
            };
        for (const char* name : {"vtag", "atag", "stag"})
            t[name] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
                S.opt_codec_tag(N, V);
            };
        t["me_threshold"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fme_threshold = OptInt(N, V);
        };
        t["sameq"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fsame_quality = OptBool(V);
        };
        t["pass"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            const int32_t pass = OptInt(N, V);
            if (pass != 1 && pass != 2)
                throw FFmpegException("pass number can be only 1 or 2");
            S.Fdo_pass = pass;
        };
        t["passlogfile"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fpass_logfilename_prefix = V;
            // Encoders with their own statistics file take the name too, where they have it.
            S.FOptions.set_generic_option(N, V);
        };
        t["deinterlace"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fdo_deinterlace = OptBool(V);
        };
        t["psnr"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fdo_psnr = OptBool(V);
        };
        t["qphist"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fqp_hist = OptBool(V);
        };
        t["force_fps"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fforce_fps = OptBool(V);
        };
        t["isync"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Finput_sync = OptBool(V);
        };
        t["vstats"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fvstats_filename.reset();
            if (OptBool(V))
                S.Fvstats_filename =
                    FormatText("%svstats_%s.log", ProgramDirectory().c_str(), LocalTimeHHNNSS().c_str());
        };
        t["vstats_file"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fvstats_filename = V;
        };
        t["vhook"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            const char separator = V.find('|') != std::string::npos ? '|' : ' ';
            std::vector<std::string> args;
            size_t start = 0;
            while (start <= V.size() && args.size() < 64) {
                size_t stop = V.find(separator, start);
                if (stop == std::string::npos)
                    stop = V.size();
                if (stop > start)
                    args.push_back(V.substr(start, stop - start));
                start = stop + 1;
            }
            if (args.empty() || !S.AddFrameHook(args))
                throw FFmpegException("Failed to add video hook function: " + V);
            S.Fusing_vhook = true;
        };
        for (const char* name : {"vfilters", "vf"})
            t[name] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
                if (!V.empty())
                    S.Fvfilters = V;
            };
        for (const char* name : {"intra_matrix", "inter_matrix"})
            t[name] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
                std::array<uint16_t, 64> matrix{};
                std::array<int64_t, 64> coeffs{};
                size_t pos = 0;
                for (int i = 0;; ++i) {
                    coeffs[i] = LeadingInt(std::string_view(V).substr(pos));
                    if (i == 63)
                        break;
                    const size_t comma = V.find(',', pos);
                    if (comma == std::string::npos)
                        throw FFmpegException(
                            FormatText("Syntax error in matrix \"%s\" at coeff %d", V.c_str(), i));
                    pos = comma + 1;
                }
                // The encoders divide by these coefficients and write them as 8-bit values.
                for (int i = 0; i < 64; ++i) {
                    if (coeffs[i] < 1 || coeffs[i] > 255)
                        throw FFmpegException(
                            FormatText("Invalid coefficient %lld in matrix \"%s\" at coeff %d: must "
                                   "be 1 to 255",
                                   static_cast<long long>(coeffs[i]), V.c_str(), i));
                    matrix[i] = static_cast<uint16_t>(coeffs[i]);
                }
                (N == "intra_matrix" ? S.Fintra_matrix : S.Finter_matrix) = matrix;
            };
        t["top"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Ftop_field_first = OptInt(N, V);
            S.FOptions.set_generic_option(N, V);
        };
        t["dc"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fintra_dc_precision = OptInt(N, V);
        };
        t["newvideo"] = [](TFFmpegOptions& S, const std::string&, const std::string&) {
            S.opt_new_stream(AVMEDIA_TYPE_VIDEO);
        };
        t["newaudio"] = [](TFFmpegOptions& S, const std::string&, const std::string&) {
            S.opt_new_stream(AVMEDIA_TYPE_AUDIO);
        };
        t["newsubtitle"] = [](TFFmpegOptions& S, const std::string&, const std::string&) {
            S.opt_new_stream(AVMEDIA_TYPE_SUBTITLE);
        };
        t["newdata"] = [](TFFmpegOptions& S, const std::string&, const std::string&) {
            S.opt_new_stream(AVMEDIA_TYPE_DATA);
        };
        t["vlang"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fvideo_language = V;
        };
        t["alang"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Faudio_language = V;
        };
        t["slang"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fsubtitle_language = V;
        };
        t["streamid"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            const size_t colon = V.find(':');
            int64_t index = 0, id = 0;
            if (colon == std::string::npos ||
                ParseInt64(std::string_view(V).substr(0, colon), index) != TNumberError::None ||
                ParseInt64(std::string_view(V).substr(colon + 1), id) != TNumberError::None ||
                id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max())
                ThrowSyntax(N, V, "index:value");
            // The index is an output stream's number: it cannot be negative, and a file
            // never has MaxStreams streams (which also keeps the map small).
            if (index < 0)
                throw FFmpegException(FormatText("Invalid stream index %lld", static_cast<long long>(index)));
            if (index >= MaxStreams)
                throw FFmpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
            grow_array(S.Fstreamid_map, index + 1);
            S.Fstreamid_map[index] = static_cast<int32_t>(id);
        };
        t["force_key_frames"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            // Checked now, so that a bad time is reported with the option, not at the
            // creation of the stream.
            if (!V.empty()) {
                size_t start = 0;
                for (;;) {
                    const size_t comma = V.find(',', start);
                    parse_time_value(
                        N, V.substr(start, comma == std::string::npos ? std::string::npos : comma - start),
                        true);
                    if (comma == std::string::npos)
                        break;
                    start = comma + 1;
                }
            }
            S.Fforced_key_frames = V;
        };

        // ---- Audio ----
        t["ar"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            if (const int32_t rate = OptInt(N, V); rate > 0)
                S.Faudio_sample_rate = rate;
        };
        t["ac"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            if (const int32_t channels = OptInt(N, V); channels > 0)
                S.Faudio_channels = channels;
        };
        t["vol"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Faudio_volume = OptInt(N, V);
        };
        t["sample_fmt"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            if (V == "list") {
                for (int i = -1; i <= 4; ++i) {
                    char buf[128] = {};
                    ff::av_get_sample_fmt_string(buf, sizeof(buf), static_cast<AVSampleFormat>(i));
                    GetLogger().Log(&S, llInfo, Trim(buf));
                }
                return;
            }
            const AVSampleFormat fmt = ff::av_get_sample_fmt(V.c_str());
            if (fmt == AV_SAMPLE_FMT_NONE)
                throw FFmpegException(FormatText("Invalid sample format \"%s\"", V.c_str()));
            S.Faudio_sample_fmt = fmt;
        };

        // ---- Inputs and outputs ----
        t["vc"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fvideo_channel = OptInt(N, V);
        };
        t["tvstd"] = [](TFFmpegOptions& S, const std::string&, const std::string& V) {
            S.Fvideo_standard = V;
        };
        t["muxdelay"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fmux_max_delay = OptFloat(N, V);
        };
        t["muxpreload"] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
            S.Fmux_preload = OptFloat(N, V);
        };
        for (const char* name : {"absf", "vbsf", "sbsf"})
            t[name] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) { S.opt_bsf(N, V); };
        for (const char* name : {"apre", "vpre", "spre", "fpre"})
            t[name] = [](TFFmpegOptions& S, const std::string& N, const std::string& V) {
                S.opt_preset(N, V);
            };
        return t;
    }();

    const auto it = Table.find(AName);
    if (it != Table.end())
        it->second(*this, AName, AValue);
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
    std::optional<std::string>* name = nullptr;
    int32_t* copy = nullptr;
    if (AKind == "vcodec") {
        name = &Fvideo_codec_name;
        copy = &Fvideo_stream_copy;
    } else if (AKind == "acodec") {
        name = &Faudio_codec_name;
        copy = &Faudio_stream_copy;
    } else if (AKind == "scodec") {
        name = &Fsubtitle_codec_name;
        copy = &Fsubtitle_stream_copy;
    } else if (AKind == "dcodec") {
        name = &Fdata_codec_name;
        copy = &Fdata_stream_copy;
    } else {
        throw FFmpegException(FormatText("Invalid parameter \"%s\"", AKind.c_str()));
    }
    if (AValue.empty())
        return;
    name->reset();
    // "copy" does not forget an earlier copy for a codec name given after it: the
    // stream stays copied.
    if (AValue == "copy")
        *copy = 1;
    else
        *name = AValue;
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
    TBitstreamFilterChain& chain = AName[0] == 'v'   ? Fvideo_bitstream_filters
                                   : AName[0] == 'a' ? Faudio_bitstream_filters
                                                     : Fsubtitle_bitstream_filters;
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
                       FOptions.LastFailure().c_str(), AValue.c_str(), line.Text.c_str(), line.Name.c_str(),
                       line.Value.c_str()));
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
        if (Fframe_rate.num != 0 && Fframe_rate.den != 0) {
            norm = NormOfRate(RateTimes1000(Fframe_rate));
        } else {
            for (const AVRational rate : InputVideoFrameRates()) {
                if (rate.num <= 0 || rate.den <= 0)
                    continue;
                norm = NormOfRate(RateTimes1000(rate));
                if (norm != TNorm::Unknown)
                    break;
            }
        }
        if (norm != TNorm::Unknown && Fverbose > 0)
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
        if (Faudio_channels == 1)
            Faudio_channels = 2;
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
