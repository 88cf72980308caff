// Probing arbitrary bytes as adding a file probes it, through the engine's own I/O.
#include <sys/stat.h>

#include "FuzzEnvironment.h"
#include "FuzzHarness.h"
#include "base/TextFormat.h"
#include "decode/FFDecode.h"

namespace vx::fuzz {
namespace {

// Packets read after the probe: enough to go past the header of any small input and
// through the engine's read and seek callbacks, few enough to keep runs short.
constexpr int PacketsRead = 64;

// The decoder, with the packet reading that the player and the encoder use opened up.
class TProbeDecoder : public TFFDecoder {
public:
    using TCustomDecoder::ReadPacket;
};

int64_t SizeOnDisk(const std::string& APath) {
    struct stat st {};
    return ::stat(APath.c_str(), &st) == 0 ? st.st_size : -1;
}

// What must hold of a decoder that holds nothing.
std::string CheckEmpty(const TProbeDecoder& ADecoder, const char* AWhen) {
    if (ADecoder.FileHandle() || ADecoder.StreamCount() != -1 || ADecoder.FileSize() != -1 ||
        ADecoder.FirstVideoStreamIndex() != -1 || ADecoder.FirstAudioStreamIndex() != -1)
        return FormatText("the decoder is not empty %s", AWhen);
    return {};
}

// The counts and first indices against the streams themselves.
std::string CheckCounts(TProbeDecoder& ADecoder) {
    const int count = ADecoder.StreamCount();
    if (count < 1)
        return FormatText("a loaded file with %d streams", count);
    int video = 0, audio = 0, subtitle = 0;
    for (int i = 0; i < count; ++i) {
        video += ADecoder.IsVideoStream(i);
        audio += ADecoder.IsAudioStream(i);
        subtitle += ADecoder.IsSubtitleStream(i);
    }
    if (video != ADecoder.VideoStreamCount() || audio != ADecoder.AudioStreamCount() ||
        subtitle != ADecoder.SubtitleStreamCount())
        return "the stream counts do not match the streams";
    const struct {
        int First;
        bool (TProbeDecoder::*Is)(int);
    } kinds[] = {{ADecoder.FirstVideoStreamIndex(), &TProbeDecoder::IsVideoStream},
                 {ADecoder.FirstAudioStreamIndex(), &TProbeDecoder::IsAudioStream},
                 {ADecoder.FirstSubtitleStreamIndex(), &TProbeDecoder::IsSubtitleStream}};
    for (const auto& kind : kinds)
        if (kind.First >= count || (kind.First >= 0 && !(ADecoder.*kind.Is)(kind.First)))
            return FormatText("first stream index %d is not a stream of its kind", kind.First);
    return {};
}

// Every description the front end and the command line ask for, for every index (the
// invalid ones around them included). Only crashes and sanitizer reports count here.
void DescribeEverything(TProbeDecoder& ADecoder) {
    (void)ADecoder.FileStreamInfo();
    (void)ADecoder.FormatName();
    (void)ADecoder.FormatLongName();
    (void)ADecoder.FileInfoText();
    for (int i = -1; i <= ADecoder.StreamCount(); ++i) {
        (void)ADecoder.VideoStreamInfos(i);
        (void)ADecoder.AudioStreamInfos(i);
        (void)ADecoder.SubtitleStreamInfos(i);
    }
}

} // namespace

std::string ProbeBytes(const uint8_t* AData, size_t ASize) {
    RequireLibraries(DecoderLibraries);
    QuietLogger();
    // A name outside ASCII, as users' files have, through the engine's own I/O.
    const std::string path = ScratchFile("проба 探测.media");
    WriteBytes(path, AData, ASize);
    const TFileName url = UTF8ToFileName(std::string(UnicodeScheme) + path);

    TProbeDecoder decoder;
    decoder.SetTriggerEventInMainThread(false);
    std::string fault;
    if (!decoder.LoadFile(url)) {
        if (decoder.LastErrMsg().empty())
            return "probing failed without a reason";
        fault = CheckEmpty(decoder, "after a failed probe");
    } else {
        if (decoder.FileName() != url)
            return "the decoder names another file than the one it opened";
        fault = CheckCounts(decoder);
        DescribeEverything(decoder);
        TPacketPtr packet(ff::av_packet_alloc());
        for (int n = 0; n < PacketsRead && decoder.ReadPacket(packet.get()) >= 0; ++n)
            ff::av_packet_unref(packet.get());
        decoder.CloseFile();
        if (fault.empty())
            fault = CheckEmpty(decoder, "after closing");
    }
    if (fault.empty() && SizeOnDisk(path) != static_cast<int64_t>(ASize))
        fault = "probing changed the file";
    return fault;
}

} // namespace vx::fuzz
