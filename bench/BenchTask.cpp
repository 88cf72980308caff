#include "BenchTask.h"

#include "BenchRuns.h"

#include <stdexcept>

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "VolumeSliders.h"
#include "decode/FFDecode.h"

namespace vx::bench {

TEncoderTask BuildMP4Task(const std::string& ASource, const std::string& AOutputFolder, int AThreads) {
    TConversionSettings settings;
    TAdditionalOptions options;
    TVolumeSliders volume;
    settings.FillStartupLists();
    settings.SetAdditionalOptions(&options);
    options.SetCodecThreads(AThreads);
    const int position = settings.ComboOutputFormat.IndexOf(QString::fromLatin1(MP4Entry));
    if (position < 0)
        throw std::runtime_error(std::string("the format list has no \"") + MP4Entry + "\"");
    settings.SelectOutputFormat(position);
    settings.SetOutputFolder(QString::fromStdString(AOutputFolder));

    // The row as adding the file fills it: the size cell comes from the file's first video
    // stream, the output cell from the format chosen.
    TFFDecoder decoder;
    if (!decoder.LoadFile(UTF8ToFileName(ASource), {}))
        throw std::runtime_error("cannot read " + ASource + ": " + decoder.LastErrMsg());
    int video = 0;
    while (video < decoder.StreamCount() && !decoder.IsVideoStream(video))
        ++video;
    const TVideoStreamInfo info = decoder.VideoStreamInfos(video);
    const TTaskRow row{QString::fromStdString(ASource),
                       QString::number(info.Width) + QLatin1Char('x') + QString::number(info.Height),
                       settings.CurrentOutputFormat()};

    TTaskBuilder builder(settings, options, volume);
    TEncoderTask task;
    if (!builder.BuildTask(row, task))
        throw std::runtime_error("the task cannot be built: " + builder.LastErrMsg().toStdString());
    return task;
}

} // namespace vx::bench
