// "thumbnail": one picture of a video file as a PNG file.
#include "CliSupport.h"
#include "Commands.h"
#include "LocalFileNames.h"

#include "decode/FFDecode.h"
#include "decode/PictureFile.h"
#include "encode/FFEncode.h"

#include <QCommandLineParser>
#include <QSaveFile>
#include <cmath>

namespace vx::cli {

namespace {

const char* const ThumbnailHelp =
    "Usage: vantorix-cli thumbnail FILE --at SECONDS -o OUT.png [--width W] [--exact]\n"
    "\n"
    "Writes one picture of FILE as a PNG file: the key frame at or before SECONDS, which\n"
    "is quick to find, or with --exact the picture shown at SECONDS.\n"
    "\n"
    "Options:\n"
    "  --at SECONDS   the time in the file, from its start (0 or more)\n"
    "  -o OUT.png     the picture file to write; an existing one is replaced\n"
    "  --width W      scale to W pixels wide, the height in proportion (default: the\n"
    "                 picture's own size)\n"
    "  --exact        the picture at SECONDS itself, decoded from the key frame before it\n"
    "  --help         show this text\n"
    "\n"
    "Exit code 1 when the file cannot be read, has no video or the picture cannot be written.\n";

struct TThumbnailRequest {
    QString Source;
    QString Output;
    double Seconds = 0;
    int Width = 0;
    bool Exact = false;
};

TThumbnailRequest ParseArguments(const QStringList& AArgs, bool& AHelp) {
    QCommandLineParser parser;
    const QCommandLineOption at(QStringLiteral("at"), {}, QStringLiteral("SECONDS"));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, {},
                                    QStringLiteral("OUT"));
    const QCommandLineOption width(QStringLiteral("width"), {}, QStringLiteral("W"));
    const QCommandLineOption exact(QStringLiteral("exact"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({at, output, width, exact, help});
    if (!parser.parse(QStringList{QStringLiteral("thumbnail")} + AArgs))
        throw TUsageError(parser.errorText());
    AHelp = parser.isSet(help);
    TThumbnailRequest request;
    if (AHelp)
        return request;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        throw TUsageError(QStringLiteral("thumbnail needs exactly one FILE"));
    request.Source = files.front();
    if (!parser.isSet(at))
        throw TUsageError(QStringLiteral("thumbnail needs --at SECONDS"));
    bool ok = false;
    request.Seconds = parser.value(at).toDouble(&ok);
    if (!ok || !std::isfinite(request.Seconds) || request.Seconds < 0 || request.Seconds > 1e9)
        throw TUsageError(
            QStringLiteral("--at takes seconds from 0 on, not %1").arg(Quoted(parser.value(at))));
    if (!parser.isSet(output) || parser.value(output).isEmpty())
        throw TUsageError(QStringLiteral("thumbnail needs -o OUT.png"));
    request.Output = parser.value(output);
    if (parser.isSet(width)) {
        request.Width = parser.value(width).toInt(&ok);
        if (!ok || request.Width < 1 || request.Width > 16384)
            throw TUsageError(
                QStringLiteral("--width takes 1 to 16384 pixels, not %1").arg(Quoted(parser.value(width))));
    }
    request.Exact = parser.isSet(exact);
    if (IsSameFile(request.Source, request.Output))
        throw TUsageError(
            QStringLiteral("the picture would overwrite its source %1").arg(Quoted(request.Source)));
    return request;
}

// The picture at the time (or the key frame before it) in the decoder. The last picture
// when the time is beyond the end.
bool FindPicture(TFFDecoder& ADecoder, const TThumbnailRequest& ARequest) {
    const int64_t at = std::llround(ARequest.Seconds * 1000000);
    // A still picture cannot seek, and needs not.
    if (!ADecoder.Seek(at) && ADecoder.FormatName() != "image2")
        return false;
    if (!ADecoder.Decode())
        return false;
    if (!ARequest.Exact)
        return true;
    const AVRational rate = ADecoder.VideoStreamInfos(-1).FrameRate;
    const int64_t frame = rate.num > 0 && rate.den > 0 ? int64_t(1000000) * rate.den / rate.num : 40000;
    // The picture that is shown at the time: the last one that starts at or before it.
    while (ADecoder.FrameInfo().PTS + frame <= at) {
        if (!ADecoder.Decode())
            return ADecoder.Eof() && ADecoder.FrameInfo().Ready;
    }
    return true;
}

} // namespace

int RunThumbnail(const QStringList& AArgs) {
    bool help = false;
    const TThumbnailRequest request = ParseArguments(AArgs, help);
    if (help) {
        std::fputs(ThumbnailHelp, stdout);
        return ExitDone;
    }

    TFFEncoder encoder;
    LoadMediaLibraries(encoder);
    SilenceEngineLog();

    TFFDecoder decoder;
    if (!decoder.LoadFile(request.Source.toStdU16String(), {})) {
        PrintError(FromUtf8(decoder.LastErrMsg()));
        return ExitFailed;
    }
    if (decoder.VideoStreamCount() <= 0) {
        PrintError(QStringLiteral("%1 has no video stream: there is no picture to take")
                       .arg(DisplayName(request.Source)));
        return ExitFailed;
    }
    if (!FindPicture(decoder, request)) {
        PrintError(QStringLiteral("%1: no picture found at %2 s (%3)")
                       .arg(DisplayName(request.Source))
                       .arg(request.Seconds)
                       .arg(FromUtf8(decoder.LastErrMsg())));
        return ExitFailed;
    }

    std::vector<uint8_t> png;
    std::string error;
    if (!EncodePng(decoder.FrameInfo(), request.Width, png, error)) {
        PrintError(FromUtf8(error));
        return ExitFailed;
    }
    // Written beside the name and renamed into place: a failed write leaves no broken picture.
    QSaveFile file(request.Output);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(png.data()), qint64(png.size())) != qint64(png.size()) ||
        !file.commit()) {
        PrintError(QStringLiteral("cannot write %1: %2").arg(Quoted(request.Output), file.errorString()));
        return ExitFailed;
    }
    WriteLine(stdout, QStringLiteral("%1: picture at %2 s")
                          .arg(DisplayName(request.Output))
                          .arg(double(decoder.FrameInfo().PTS) / 1000000, 0, 'f', 3));
    return ExitDone;
}

} // namespace vx::cli
