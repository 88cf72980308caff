#include "FormatAvailability.h"

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "TaskBuilder.h"
#include "VolumeSliders.h"
#include "encode/FormatSupport.h"

namespace vx {

namespace {

QString Missing(const QString& AWhat) {
    return QStringLiteral("Not available here: this build of the media libraries has no %1.").arg(AWhat);
}

// The encoder a stream gets: the one the task names, else the muxer's own choice.
QString MissingEncoder(const std::string& ANamed, const std::string& AMuxerEncoder,
                       const std::string& AMuxerCodec, const char* AKind) {
    if (!ANamed.empty())
        return HasEncoder(ANamed)
                   ? QString()
                   : Missing(
                         QStringLiteral("encoder \"%1\" (%2)").arg(QString::fromStdString(ANamed), AKind));
    if (AMuxerEncoder.empty() && !AMuxerCodec.empty())
        return Missing(QStringLiteral("encoder for %1 (%2)").arg(QString::fromStdString(AMuxerCodec), AKind));
    return {};
}

} // namespace

TFormatAvailability CheckFormatAvailability(const TheAVCodec& AEntry) {
    // The entry's default choices, as choosing it in the window gives them.
    TConversionSettings settings;
    settings.FillStartupLists();
    settings.SelectOutputFormat(settings.ComboOutputFormat.IndexOf(AEntry.ComboText));
    TAdditionalOptions options;
    TVolumeSliders volume;
    TTaskBuilder builder(settings, options, volume);
    TOutputOptions output;
    TTaskRow row{QStringLiteral("source"), QStringLiteral("640x480"), AEntry.OutFormat};
    if (!builder.BuildOutputOptions(row, output))
        return {false, builder.LastErrMsg()};

    const char* const targets[] = {"", "vcd", "svcd", "dvd"};
    const std::string fileName = "output" + settings.OutputExtension().toStdString();
    const TMuxerChoice muxer = ChooseMuxer(targets[output.TargetType], fileName);
    if (muxer.Muxer.empty())
        return {false, Missing(QStringLiteral("muxer for \"%1\" files").arg(settings.OutputExtension()))};

    if (!output.DisableVideo)
        if (const QString reason =
                MissingEncoder(output.VideoCodec, muxer.VideoEncoder, muxer.VideoCodec, "video");
            !reason.isEmpty())
            return {false, reason};
    if (const QString reason =
            MissingEncoder(output.AudioCodec, muxer.AudioEncoder, muxer.AudioCodec, "audio");
        !reason.isEmpty())
        return {false, reason};
    return {};
}

std::vector<TFormatAvailability> CheckFormatAvailabilities() {
    std::vector<TFormatAvailability> result;
    for (const TheAVCodec& entry : AVCodecs())
        result.push_back(CheckFormatAvailability(entry));
    return result;
}

} // namespace vx
