#include "TaskBuilder.h"

#include "AdditionalOptions.h"
#include "BatchOutputNames.h"
#include "ConversionSettings.h"
#include "LocalFileNames.h"
#include "SettingValues.h"
#include "VolumeSliders.h"

#include <cmath>
#include <stdexcept>

namespace vx {

namespace {

// A row whose choices cannot be turned into a task; the message becomes LastErrMsg.
class TTaskBuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const QString DVDTarget = QStringLiteral("DVD - DVD Mpeg2 Format (*.mpg)");
const QString SVCDTarget = QStringLiteral("Super Video CD (*.mpg)");
const QString VCDTarget = QStringLiteral("Video CD (*.mpg)");

const QString NTSCFrameRate = QStringLiteral("29.97 fps [NTSC]");
const QString PALFrameRate = QStringLiteral("25 fps [PAL]");

// Stands in when the row's size cannot be read.
const char* const FallbackAspectRatio = "1.3333";
const QString UnknownVideoSize = QStringLiteral("640x480");

// The list words that name the engine's codecs. A text that is a key of neither these tables
// nor the encoder-name tables below leaves the codec to the output format's default.
struct TCodecName {
    const char* Text;
    const char* Codec;
};

constexpr TCodecName VideoCodecNames[] = {
    {"h264", "libx264"},      {"xvid", "libxvid"},          {"wmv2x", "wmv2"},       {"mpeg4_qt", "mpeg4"},
    {"divx", "mpeg4"},        {"uncompressed", "rawvideo"}, {"mpeg1", "mpeg1video"}, {"mpeg2", "mpeg2video"},
    {"mpeg 1", "mpeg1video"}, {"mpeg 2", "mpeg2video"},
};

constexpr TCodecName AudioCodecNames[] = {
    {"aac", "libfaac"},
    {"ac3", "ac3"},
    {"flac", "flac"},
    {"asf", "libmp3lame"},
    {"mp3", "libmp3lame"},
    {"mp2", "mp2"},
    {"m4a", "mpeg4aac"},
    {"mpeg4aac", "libfaac"},
    {"ra", "ac3"},
    {"wma7x", "wmav2"},
    {"wav", "pcm_s16le"},
    {"mpeg4aac_qt", "libfaac"},
    {"amr_nb", "libopencore_amrnb"},
    {"vorbis", "libvorbis"},
};

// List words that are the library's own encoder names. They are sent as they stand rather than
// left to the container: the container defaults of this library generation differ from the codecs
// these lists name (MP4 and QuickTime pick H.264 for "MPEG4", ".mpg" picks MPEG-1 for
// "MPEG2VIDEO", AVI picks MPEG-4 for "RAWVIDEO" and "H263" and MP3 for "pcm_s16le", WMV picks
// MS-MPEG-4 for "WMV2"), so the file would not hold the codec the user chose.
constexpr TCodecName VideoEncoderNames[] = {
    {"mpeg4", "mpeg4"},
    {"h263", "h263"},
    {"rawvideo", "rawvideo"},
    {"mpeg1video", "mpeg1video"},
    {"mpeg2video", "mpeg2video"},
    {"wmv2", "wmv2"},
    {"msmpeg4", "msmpeg4"},
    {"rv10", "rv10"},
    {"rv20", "rv20"},
    {"flv", "flv"},
};

constexpr TCodecName AudioEncoderNames[] = {
    {"pcm_s16le", "pcm_s16le"},
    {"pcm_s16be", "pcm_s16be"},
    {"wmav2", "wmav2"},
};

template <size_t N> std::string LookUpCodec(const TCodecName (&ATable)[N], const QString& AText) {
    const QString key = AText.trimmed().toLower();
    for (const TCodecName& name : ATable)
        if (key == QLatin1String(name.Text))
            return name.Codec;
    return {};
}

// The codec a list text asks for: a word of the codec table, else an encoder name, else none.
template <size_t N, size_t M>
std::string LookUpCodec(const TCodecName (&AWords)[N], const TCodecName (&AEncoders)[M],
                        const QString& AText) {
    std::string codec = LookUpCodec(AWords, AText);
    return codec.empty() ? LookUpCodec(AEncoders, AText) : codec;
}

// A plain decimal number such as a size cell holds ("640", "480.5"); nullopt otherwise.
std::optional<double> ReadDecimal(const QString& AText) {
    if (!IsPositiveDecimal(AText))
        return std::nullopt;
    bool ok = false;
    const double value = AText.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// The label without its padding and colon, to name the list in a message.
QString ListName(const TSettingsList& AList) {
    QString name = AList.Caption().trimmed();
    if (name.endsWith(':'))
        name.chop(1);
    return name.trimmed();
}

std::string ToStd(const QString& AText) {
    return AText.toStdString();
}

// Where the extension's dot is, or -1. A name that only begins with a dot (".profile") is a
// hidden file without an extension here, not an extension without a name.
qsizetype ExtensionDot(const QString& APath) {
    const qsizetype nameStart = APath.lastIndexOf('/') + 1;
    const qsizetype dot = APath.lastIndexOf('.');
    return dot > nameStart ? dot : -1;
}

QString WithoutExtension(const QString& APath) {
    const qsizetype dot = ExtensionDot(APath);
    return dot < 0 ? APath : APath.left(dot);
}

} // namespace

TTaskBuilder::TTaskBuilder(const TConversionSettings& ASettings, const TAdditionalOptions& AOptions,
                           const TVolumeSliders& AVolume)
    : FSettings(ASettings), FOptions(AOptions), FVolume(AVolume) {}

bool TTaskBuilder::BuildTask(const TTaskRow& ARow, TEncoderTask& ATask) {
    ATask = TEncoderTask();
    if (!BuildOutputName(ARow.Caption, ATask.OutputFileName))
        return false;
    BuildInputOptions(ARow.Caption, ATask.InputOptions);
    return BuildOutputOptions(ARow, ATask.OutputOptions);
}

QString TTaskBuilder::OutputFolder() const {
    // The start of a run checks the folder with its surrounding blanks removed. Blanks are legal
    // in folder names here, so a folder that exists as typed is taken as typed; otherwise the
    // checked spelling is used, so that stray blanks from the field do not send every output to
    // a folder that does not exist.
    const QString typed = FSettings.OutputFolder();
    if (IsDirectory(typed))
        return typed;
    return typed.trimmed();
}

bool TTaskBuilder::BuildOutputName(const QString& ACaption, QString& AOutputFileName,
                                   const TBatchOutputNames* ABatch) {
    AOutputFileName.clear();
    const QString extension = FSettings.OutputExtension();
    if (extension.isEmpty()) {
        FLastErrMsg = QStringLiteral("No output format is selected.");
        return false;
    }
    // The caption is the file's name exactly: blanks at either end are part of it.
    const QString& source = ACaption;
    const QString sourceName = source.mid(source.lastIndexOf('/') + 1);
    if (sourceName.isEmpty()) {
        FLastErrMsg = QStringLiteral("The source \"%1\" names no file.").arg(ACaption);
        return false;
    }
    const QString folder = OutputFolder();
    if (folder.isEmpty()) {
        FLastErrMsg = QStringLiteral("No output folder is set.");
        return false;
    }

    const auto usedByBatch = [ABatch](const QString& AName) { return ABatch && ABatch->IsUsed(AName); };
    const QString path = folder.endsWith('/') ? folder + sourceName : folder + '/' + sourceName;
    if (FOptions.Overwrite()) {
        const QString name = WithoutExtension(path) + extension;
        // Overwriting the source while reading it would destroy it, and overwriting another
        // row's source or output would lose that row's file: such a row is named as if
        // overwriting were off.
        if (!IsSameFile(source, name) && !usedByBatch(name)) {
            AOutputFileName = name;
            return true;
        }
    }
    AOutputFileName = UniqueOutputName(path, extension, usedByBatch);
    return true;
}

QString TTaskBuilder::UniqueOutputName(const QString& APath, const QString& AExt,
                                       const std::function<bool(const QString&)>& AAlsoTaken) {
    const QString base = WithoutExtension(APath);
    const auto taken = [&](const QString& AName) {
        return NameIsTaken(AName) || (AAlsoTaken && AAlsoTaken(AName));
    };
    QString name = base + AExt;
    // Ends: each name tried is a different entry of one folder, and a folder holds finitely many.
    for (qint64 n = 1; taken(name); ++n)
        name = base + '-' + QString::number(n) + AExt;
    return name;
}

void TTaskBuilder::BuildInputOptions(const QString& ACaption, TInputOptions& AOptions) const {
    AOptions.Reset();
    AOptions.FileName = ACaption.toStdU16String();
    // Taken before the input opens, so the decoders get it as well as the encoders after them.
    if (FOptions.CodecThreads() != 1)
        AOptions.ExtOptions = "threads=" + std::to_string(FOptions.CodecThreads()) + "\n";
}

std::optional<int32_t> TTaskBuilder::NumberOf(const TSettingsList& AList) {
    const TSettingValue value = AList.Value();
    if (!value.Readable)
        throw TTaskBuildError(ToStd(
            QStringLiteral("The %1 choice \"%2\" is not a number.").arg(ListName(AList), AList.Text())));
    return value.Number;
}

bool TTaskBuilder::ApplyProfileToOptions(TOutputOptions& AOptions) {
    try {
        // An item without a number (the AVI profiles' audio "Original") leaves the field to the
        // encoder's default.
        if (const std::optional<int32_t> bitrate = NumberOf(FSettings.ComboVideoBitrate))
            AOptions.VideoBitrate = *bitrate;
        if (const std::optional<int32_t> bitrate = NumberOf(FSettings.ComboAudioBitrate))
            AOptions.AudioBitrate = *bitrate;
        if (const std::optional<int32_t> rate = NumberOf(FSettings.ComboSamplingRate))
            AOptions.AudioSampleRate = *rate;
        // "Original Video Size" and "Auto" send no size: the output keeps the source's.
        AOptions.FrameSize = FSettings.ComboVideoSize.Value().Text;
    } catch (const TTaskBuildError& error) {
        FLastErrMsg = QString::fromStdString(error.what());
        return false;
    }
    return true;
}

std::string TTaskBuilder::ReadFrameRate() const {
    return FSettings.ComboVideoFramerate.Value().Text;
}

std::string TTaskBuilder::AspectRatioOfSize(const QString& AVideoSize) {
    const QString size = AVideoSize.trimmed().isEmpty() ? UnknownVideoSize : AVideoSize.trimmed();
    const qsizetype x = size.indexOf('x');
    if (x < 0)
        return FallbackAspectRatio;
    const std::optional<double> width = ReadDecimal(size.left(x));
    const std::optional<double> height = ReadDecimal(size.mid(x + 1));
    if (!width || !height)
        return FallbackAspectRatio;
    const double ratio = *width / *height;
    // No picture is a million times wider than high; beyond that the size is garbage.
    if (!std::isfinite(ratio) || ratio > 1e6)
        return FallbackAspectRatio;
    const long long tenThousandths = std::llround(ratio * 10000.0);
    if (tenThousandths <= 0)
        return FallbackAspectRatio;

    // Written from the integer so that no binary fraction shows up in the text.
    std::string text = std::to_string(tenThousandths / 10000);
    long long fraction = tenThousandths % 10000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return text;
}

bool TTaskBuilder::BuildOutputOptions(const TTaskRow& ARow, TOutputOptions& AOptions) {
    AOptions.Reset();
    const TheAVCodec* entry = FSettings.SelectedAVCodec();
    if (!entry) {
        FLastErrMsg = QStringLiteral("No output format is selected.");
        return false;
    }
    const QString& entryText = entry->ComboText;
    const bool isDVD = entryText == DVDTarget;
    const bool isSVCD = entryText == SVCDTarget;
    const bool isVCD = entryText == VCDTarget;

    // The disc targets' preset fixes sizes and rates; their lists only show "Auto".
    if (!isDVD && !isSVCD && !isVCD && !ApplyProfileToOptions(AOptions))
        return false;

    if (entryText.contains(QLatin1String("DivX")))
        AOptions.VideoTag = "DIVX";

    const QString videoCodecText = FSettings.ComboVideoCodec.Text();
    AOptions.VideoCodec = LookUpCodec(VideoCodecNames, VideoEncoderNames, videoCodecText);
    if (videoCodecText.trimmed().toLower() == QLatin1String("divx"))
        AOptions.VideoTag = "DIVX";

    AOptions.AudioCodec = LookUpCodec(AudioCodecNames, AudioEncoderNames, FSettings.ComboAudioCodec.Text());
    if (AOptions.AudioCodec == "libvorbis")
        // The library's vorbis support counts as experimental and refuses to run without this.
        AOptions.ExtOptions = "astrict=experimental\r\n" + AOptions.ExtOptions;

    AOptions.FrameRate = ReadFrameRate();
    AOptions.AudioVolume = FVolume.VolumeValue();

    // "Original" keeps the source's shape, whatever size the output gets.
    AOptions.FrameAspectRatio = FSettings.ComboAspectRatio.Value().Text;
    if (AOptions.FrameAspectRatio.empty())
        AOptions.FrameAspectRatio = AspectRatioOfSize(ARow.VideoSize);

    if (isDVD || isSVCD || isVCD) {
        AOptions.TargetType = isDVD ? ttDVD : isSVCD ? ttSVCD : ttVCD;
        const QString frameRate = FSettings.ComboVideoFramerate.Text();
        if (frameRate == NTSCFrameRate)
            AOptions.NormType = ntNTSC;
        else if (frameRate == PALFrameRate)
            AOptions.NormType = ntPAL;
    }

    // Without overwriting, a file that appears under the output's name while the row converts
    // (another run into the same folder) is kept too: the output then takes the next free name.
    AOptions.KeepExisting = !FOptions.Overwrite();

    const QString output = ARow.Output.value_or(FSettings.CurrentOutputFormat());
    const bool mobile = output == QLatin1String("3GP") || output == QLatin1String("3G2");
    AOptions.AudioChannels =
        (FSettings.ComboAudioChannels.Text() == QLatin1String("Stereo") && !mobile) ? 2 : 1;

    // The audio-only profiles offer no video codec and no size.
    if (videoCodecText.isEmpty() && FSettings.ComboVideoSize.Text().isEmpty())
        AOptions.DisableVideo = true;
    return true;
}

} // namespace vx
