#include "FFUtils.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <numeric>

#include <sys/stat.h>

#include "base/FormatIO.h"
#include "base/LocalTime.h"
#include "base/TextFormat.h"

namespace vx {
namespace {

// "s.uuuuuu" of a time in microseconds, the sign in front even when s is 0.
std::string SecondsText(int64_t AMicroseconds) {
    const uint64_t magnitude = AMicroseconds < 0 ? 0 - uint64_t(AMicroseconds) : uint64_t(AMicroseconds);
    return FormatText("%s%llu.%.6llu", AMicroseconds < 0 ? "-" : "",
                      static_cast<unsigned long long>(magnitude / 1000000),
                      static_cast<unsigned long long>(magnitude % 1000000));
}

// A time base with a zero denominator cannot rescale; its numerator (or 1) stands in.
AVRational UsableTimeBase(AVRational ATimeBase) {
    if (ATimeBase.den == 0)
        ATimeBase.den = ATimeBase.num ? ATimeBase.num : 1;
    return ATimeBase;
}

// Container-specific metadata keys and the generic names they are shown with; the
// first match wins.
const char* const DisplayNames[][2] = {
    {"LEAD_PERFORMER", "performer"},
    {"PART_NUMBER", "track"},
    {"ALBUMARTIST", "album_artist"},
    {"TRACKNUMBER", "track"},
    {"DISCNUMBER", "disc"},
    {"Author", "artist"},
    {"X-CreationTime", "date"},
    {"CreationTime", "date"},
    {"SourceFilename", "filename"},
    {"X-Language", "language"},
    {"X-Disposition", "disposition"},
    {"X-Replaces", "replaces"},
    {"X-Depends", "depends"},
    {"X-Uses", "uses"},
    {"X-UsesFont", "usesfont"},
    {"WM/AlbumArtist", "album_artist"},
    {"WM/AlbumTitle", "album"},
    {"Author", "artist"},
    {"Description", "comment"},
    {"WM/Composer", "composer"},
    {"WM/EncodedBy", "encoded_by"},
    {"WM/EncodingSettings", "encoder"},
    {"WM/Genre", "genre"},
    {"WM/Language", "language"},
    {"WM/OriginalFilename", "filename"},
    {"WM/PartOfSet", "disc"},
    {"WM/Publisher", "publisher"},
    {"WM/Tool", "encoder"},
    {"WM/TrackNumber", "track"},
    {"WM/Track", "track"},
    {"WM/MediaStationCallSign", "service_provider"},
    {"WM/MediaStationName", "service_name"},
    {"IART", "artist"},
    {"ICMT", "comment"},
    {"ICOP", "copyright"},
    {"ICRD", "date"},
    {"IGNR", "genre"},
    {"ILNG", "language"},
    {"INAM", "title"},
    {"IPRD", "album"},
    {"IPRT", "track"},
    {"ISFT", "encoder"},
    {"ITCH", "encoded_by"},
    {"strn", "title"},
    {"TALB", "album"},
    {"TCOM", "composer"},
    {"TCON", "genre"},
    {"TCOP", "copyright"},
    {"TENC", "encoded_by"},
    {"TIT2", "title"},
    {"TLAN", "language"},
    {"TPE1", "artist"},
    {"TPE2", "album_artist"},
    {"TPE3", "performer"},
    {"TPOS", "disc"},
    {"TPUB", "publisher"},
    {"TRCK", "track"},
    {"TSSE", "encoder"},
    {"TDRL", "date"},
    {"TDRC", "date"},
    {"TDEN", "creation_time"},
    {"TSOA", "album-sort"},
    {"TSOP", "artist-sort"},
    {"TSOT", "title-sort"},
    {"TAL", "album"},
    {"TCO", "genre"},
    {"TT2", "title"},
    {"TEN", "encoded_by"},
    {"TP1", "artist"},
    {"TP2", "album_artist"},
    {"TP3", "performer"},
    {"TRK", "track"},
};

const AVDictionaryEntry* NextEntry(const AVDictionary* ADict, const AVDictionaryEntry* APrevious) {
    return ff::av_dict_get(ADict, "", APrevious, AV_DICT_IGNORE_SUFFIX);
}

} // namespace

std::string TimeText(int64_t AMicroseconds) {
    if (AMicroseconds == AV_NOPTS_VALUE)
        return "N/A";
    // A negative time keeps one sign in front instead of one in every field.
    const uint64_t t = AMicroseconds < 0 ? 0 - uint64_t(AMicroseconds) : uint64_t(AMicroseconds);
    const uint64_t s = t / 1000000;
    return FormatText("%s%.2llu:%.2llu:%.2llu.%.3llu", AMicroseconds < 0 ? "-" : "",
                      static_cast<unsigned long long>(s / 3600), static_cast<unsigned long long>(s / 60 % 60),
                      static_cast<unsigned long long>(s % 60),
                      static_cast<unsigned long long>(t % 1000000 * 1000 / 1000000));
}

std::string SizeText(int64_t ABytes) {
    if (ABytes > 1073741824)
        return FormatText("%.2f GB", double(ABytes) / 1073741824.0);
    if (ABytes > 1048576)
        return FormatText("%.2f MB", double(ABytes) / 1048576.0);
    if (ABytes > 1024)
        return FormatText("%.2f KB", double(ABytes) / 1024.0);
    return FormatText("%lld Byte", static_cast<long long>(ABytes));
}

int64_t FrameDuration(AVRational AFrameRate) {
    if (AFrameRate.num == 0 || AFrameRate.den == 0)
        return 1000000 / 25;
    return int64_t(1000000) * AFrameRate.den / AFrameRate.num;
}

std::string CodecDescription(AVCodecID ACodecID, uint32_t ACodecTag, bool AEncoder) {
    const AVCodec* codec = AEncoder ? ff::avcodec_find_encoder(ACodecID) : ff::avcodec_find_decoder(ACodecID);
    if (codec) {
        const std::string longName = Trim(codec->long_name ? codec->long_name : "");
        return longName.empty() ? std::string(codec->name)
                                : FormatText("%s(%s)", codec->name, longName.c_str());
    }
    if (ACodecID == AV_CODEC_ID_MPEG2TS)
        return "mpeg2ts";
    // A codec the library knows by name but cannot code in this build.
    if (const AVCodecDescriptor* desc = ff::avcodec_descriptor_get(ACodecID);
        desc && desc->name && *desc->name)
        return desc->name;
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (ACodecTag >> (8 * i)) & 0xFF;
        printable = printable && c >= 32 && c <= 126;
    }
    if (printable)
        return FormatText("%c%c%c%c / 0x%04X", char(ACodecTag & 0xFF), char((ACodecTag >> 8) & 0xFF),
                          char((ACodecTag >> 16) & 0xFF), char((ACodecTag >> 24) & 0xFF), ACodecTag);
    return FormatText("0x%04x", ACodecTag);
}

std::string CodecDescription(const AVCodecContext* AContext, bool AEncoder) {
    return CodecDescription(AContext->codec_id, AContext->codec_tag, AEncoder);
}

std::string CodecDescription(const AVCodecParameters* AParameters, bool AEncoder) {
    return CodecDescription(AParameters->codec_id, AParameters->codec_tag, AEncoder);
}

std::string MediaTypeName(int AMediaType) {
    switch (AMediaType) {
    case AVMEDIA_TYPE_VIDEO:
        return "Video";
    case AVMEDIA_TYPE_AUDIO:
        return "Audio";
    case AVMEDIA_TYPE_DATA:
        return "Data";
    case AVMEDIA_TYPE_SUBTITLE:
        return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT:
        return "Attachment";
    default:
        return "Unknown";
    }
}

std::string PictureTypeName(int APictureType) {
    static const char* const Names[] = {
        "Intra",           "Predicted",           "Bi-dir predicted", "S(GMC)-VOP MPEG4",
        "Switching Intra", "Switching Predicted", "BI type"};
    if (APictureType >= 1 && APictureType <= 7)
        return Names[APictureType - 1];
    return "Unknown";
}

std::string MetadataValue(const AVDictionary* ADict, const std::string& AKey, const std::string& ADefault) {
    const AVDictionaryEntry* entry = ff::av_dict_get(ADict, AKey.c_str(), nullptr, 0);
    return entry && entry->value ? std::string(entry->value) : ADefault;
}

int64_t FileSizeOf(const std::string& APath) {
    struct stat info;
    if (::stat(APath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return info.st_size;
}

std::string SplitFirst(std::string& AText, const std::string& ADelimiter, bool ARemove) {
    const size_t p = ADelimiter.empty() ? std::string::npos : AText.find(ADelimiter);
    if (p == std::string::npos) {
        std::string head = AText;
        if (ARemove)
            AText.clear();
        return head;
    }
    std::string head = AText.substr(0, p);
    if (ARemove)
        AText.erase(0, p + ADelimiter.size());
    return head;
}

int64_t ReadWholeFile(const std::string& APath, std::vector<char>& ABuffer) {
    ABuffer.clear();
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(APath.c_str(), "rb"), &std::fclose);
    // A folder opens too, but holds no bytes to read and no size to trust.
    struct stat info;
    if (!file || ::fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) ||
        fseeko(file.get(), 0, SEEK_END) != 0)
        return -1;
    const off_t size = ftello(file.get());
    if (size < 0 || fseeko(file.get(), 0, SEEK_SET) != 0)
        return -1;
    try {
        ABuffer.resize(static_cast<size_t>(size) + 1);
    } catch (const std::exception&) {
        return AVERROR(ENOMEM);
    }
    if (std::fread(ABuffer.data(), 1, static_cast<size_t>(size), file.get()) != static_cast<size_t>(size)) {
        ABuffer.clear();
        return -1;
    }
    ABuffer[static_cast<size_t>(size)] = '\0';
    return size + 1;
}

std::string MetadataDisplayName(const std::string& AKey) {
    for (const auto& pair : DisplayNames)
        if (AKey == pair[0])
            return pair[1];
    return AKey;
}

std::string MetadataBlock(const AVDictionary* ADict, const std::string& AIndent) {
    int count = 0;
    for (const AVDictionaryEntry* e = NextEntry(ADict, nullptr); e; e = NextEntry(ADict, e))
        ++count;
    // A language alone is shown in the stream line already.
    if (count == 0 || (count == 1 && ff::av_dict_get(ADict, "language", nullptr, 0)))
        return {};
    std::string text = AIndent + "Metadata:\n";
    for (const AVDictionaryEntry* e = NextEntry(ADict, nullptr); e; e = NextEntry(ADict, e))
        if (std::string(e->key) != "language")
            text +=
                FormatText("%s  %-16s: %s\n", AIndent.c_str(), MetadataDisplayName(e->key).c_str(), e->value);
    return text;
}

std::string RateText(double AValue, const char* ASuffix) {
    const long long c = std::llround(AValue * 100);
    if (c % 100 != 0)
        return FormatText(", %3.2f %s", AValue, ASuffix);
    if (c % (100 * 1000) != 0)
        return FormatText(", %1.0f %s", AValue, ASuffix);
    return FormatText(", %1.0fk %s", AValue / 1000, ASuffix);
}

std::string StreamLine(const AVFormatContext* AContext, int AIndex) {
    const AVStream* st = AContext->streams[AIndex];
    const AVCodecParameters* par = st->codecpar;
    std::string line = FormatText("Stream #%d", AIndex);
    if (AContext->iformat && (AContext->iformat->flags & AVFMT_SHOW_IDS))
        line += FormatText("[0x%x]", st->id);
    if (const AVDictionaryEntry* lang = ff::av_dict_get(st->metadata, "language", nullptr, 0))
        line += FormatText("(%s)", lang->value);
    int g = std::gcd(st->time_base.num, st->time_base.den);
    if (g == 0)
        g = 1;
    line += FormatText(", %d/%d", st->time_base.num / g, st->time_base.den / g);

    // The library's one-line summary wants a codec context; a demuxed stream keeps only
    // its parameters, so a context is made from them.
    TCodecContextPtr codec(ff::avcodec_alloc_context3(nullptr));
    char summary[256] = "";
    if (codec && ff::avcodec_parameters_to_context(codec.get(), par) >= 0)
        ff::avcodec_string(summary, sizeof summary, codec.get(), 0);
    line += ": ";
    line += summary;

    const AVRational sar = st->sample_aspect_ratio;
    if (sar.num && av_cmp_q(sar, par->sample_aspect_ratio) != 0) {
        int darNum = 0, darDen = 0;
        ff::av_reduce(&darNum, &darDen, int64_t(par->width) * sar.num, int64_t(par->height) * sar.den,
                      1024 * 1024);
        line += FormatText(", PAR %d:%d DAR %d:%d", sar.num, sar.den, darNum, darDen);
    }
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (st->avg_frame_rate.num && st->avg_frame_rate.den)
            line += RateText(av_q2d(st->avg_frame_rate), "fps");
        if (st->r_frame_rate.num && st->r_frame_rate.den)
            line += RateText(av_q2d(st->r_frame_rate), "tbr");
        if (st->time_base.num && st->time_base.den)
            line += RateText(1 / av_q2d(st->time_base), "tbn");
        // A context made from parameters has no time base of its own, so this part
        // appears only where a codec time base is known.
        if (codec && codec->time_base.num && codec->time_base.den)
            line += RateText(1 / av_q2d(codec->time_base), "tbc");
    }
    const AVRational timeBase = UsableTimeBase(st->time_base);
    if (st->start_time != AV_NOPTS_VALUE)
        line += ", StartTime: " + SecondsText(ff::av_rescale_q(st->start_time, timeBase, AV_TIME_BASE_Q));
    if (st->duration == AV_NOPTS_VALUE)
        line += ", Duration: N/A";
    else
        line += ", Duration: " + TimeText(ff::av_rescale_q(st->duration, timeBase, AV_TIME_BASE_Q));
    return line + "\n" + MetadataBlock(st->metadata, "  ");
}

int64_t ContainerTimeStamp(const AVFormatContext* AContext) {
    const AVDictionaryEntry* entry = ff::av_dict_get(AContext->metadata, "creation_time", nullptr, 0);
    int64_t microseconds = 0;
    if (!entry || !entry->value || ff::av_parse_time(&microseconds, entry->value, 0) < 0)
        return 0;
    return microseconds / 1000000;
}

std::string FileInfoText(const AVFormatContext* AContext, int64_t AFileSize) {
    std::string text = FormatText("File Name: %s\n", AContext->url ? AContext->url : "");
    if (AContext->iformat) {
        text += FormatText("Format Name: %s\n", AContext->iformat->name);
        if (AContext->iformat->long_name && *AContext->iformat->long_name)
            text += FormatText("Format Long Name: %s\n", AContext->iformat->long_name);
    }
    text += "File Size: " + SizeText(AFileSize) + "\n";
    if (AContext->duration == AV_NOPTS_VALUE || AContext->duration < 0)
        text += "Duration: N/A\n";
    else
        text += "Duration: " + TimeText(AContext->duration) + "\n";
    if (AContext->start_time != AV_NOPTS_VALUE && AContext->start_time >= 0)
        text += "StartTime: " + SecondsText(AContext->start_time) + "\n";
    if (AContext->bit_rate < 1)
        text += "Bit Rate: N/A\n";
    else
        text += FormatText("Bit Rate: %lld kb/s\n", static_cast<long long>(AContext->bit_rate / 1000));
    if (const int64_t stamp = ContainerTimeStamp(AContext); stamp > 0)
        text += "Time Stamp: " + DateTimeText(UnixToLocalDateTime(stamp)) + "\n";
    text += MetadataBlock(AContext->metadata, "");

    for (unsigned i = 0; i < AContext->nb_chapters; ++i) {
        const AVChapter* ch = AContext->chapters[i];
        text += FormatText("Chapter #%u: start %f, end %f\n", i, double(ch->start) * av_q2d(ch->time_base),
                           double(ch->end) * av_q2d(ch->time_base));
        text += MetadataBlock(ch->metadata, "  ");
    }

    std::vector<bool> shown(AContext->nb_streams, false);
    for (unsigned i = 0; i < AContext->nb_programs; ++i) {
        const AVProgram* program = AContext->programs[i];
        text += FormatText("Program %d %s@%s\n", program->id,
                           MetadataValue(program->metadata, "service_provider", "N/A").c_str(),
                           MetadataValue(program->metadata, "service_name", "N/A").c_str());
        text += MetadataBlock(program->metadata, "  ");
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
            const unsigned index = program->stream_index[k];
            if (index < AContext->nb_streams) {
                text += StreamLine(AContext, int(index));
                shown[index] = true;
            }
        }
    }
    for (unsigned i = 0; i < AContext->nb_streams; ++i)
        if (!shown[i])
            text += StreamLine(AContext, int(i));
    return text;
}

} // namespace vx
