// "probe": what the decoder makes of each file, as the window's information text or as JSON.
#include "CliSupport.h"
#include "Commands.h"
#include "Json.h"
#include "RecordJson.h"

#include "decode/FFDecode.h"
#include "encode/FFEncode.h"

#include <QCommandLineParser>

namespace vx::cli {

namespace {

const char* const ProbeHelp =
    "Usage: vantorix-cli probe [--json] FILE...\n"
    "\n"
    "Describes the container and streams of each file.\n"
    "\n"
    "Options:\n"
    "  --json   one JSON object per line and file: file, ok, error, FileStreamInfo,\n"
    "           streams (index, kind, info) and FileInfoText\n"
    "  --help   show this text\n"
    "\n"
    "Exit code 1 when a file cannot be read.\n";

const char* StreamKind(TCustomDecoder& ADecoder, int AIndex) {
    if (ADecoder.IsVideoStream(AIndex))
        return "video";
    if (ADecoder.IsAudioStream(AIndex))
        return "audio";
    if (ADecoder.IsSubtitleStream(AIndex))
        return "subtitle";
    return "other";
}

std::string ProbeJson(TCustomDecoder& ADecoder, const QString& AFile, bool AOpened) {
    TJsonWriter json;
    json.BeginObject().Field("file", AFile).Field("ok", AOpened);
    json.Key("error");
    if (AOpened)
        json.Null();
    else
        json.String(ADecoder.LastErrMsg());
    if (!AOpened) {
        json.Key("FileStreamInfo").Null();
        json.Key("streams").BeginArray().EndArray();
        json.Key("FileInfoText").Null();
        return json.EndObject().Text();
    }

    json.Key("FileStreamInfo");
    WriteFileStreamInfo(json, ADecoder.FileStreamInfo());
    json.Key("streams").BeginArray();
    for (int index = 0; index < ADecoder.StreamCount(); ++index) {
        const char* kind = StreamKind(ADecoder, index);
        json.BeginObject().Field("index", index).Field("kind", kind).Key("info");
        if (ADecoder.IsVideoStream(index))
            WriteVideoStreamInfo(json, ADecoder.VideoStreamInfos(index));
        else if (ADecoder.IsAudioStream(index))
            WriteAudioStreamInfo(json, ADecoder.AudioStreamInfos(index));
        else if (ADecoder.IsSubtitleStream(index))
            WriteSubtitleStreamInfo(json, ADecoder.SubtitleStreamInfos(index));
        else
            json.BeginObject().EndObject();
        json.EndObject();
    }
    json.EndArray();
    json.Field("FileInfoText", ADecoder.FileInfoText());
    return json.EndObject().Text();
}

} // namespace

int RunProbe(const QStringList& AArgs) {
    QCommandLineParser parser;
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({jsonOption, help});
    if (!parser.parse(QStringList{QStringLiteral("probe")} + AArgs))
        throw TUsageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(ProbeHelp, stdout);
        return ExitDone;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        throw TUsageError(QStringLiteral("probe needs at least one FILE"));
    const bool json = parser.isSet(jsonOption);

    // The encoder's library set is what the window loads; the decoder uses part of it.
    TFFEncoder encoder;
    LoadMediaLibraries(encoder);
    SilenceEngineLog();

    TFFDecoder decoder;
    bool allOpened = true;
    for (const QString& file : files) {
        const bool opened = decoder.LoadFile(file.toStdU16String(), {});
        allOpened = allOpened && opened;
        if (json) {
            WriteLine(stdout, ProbeJson(decoder, file, opened));
        } else if (opened) {
            WriteLine(stdout, decoder.FileInfoText());
        } else {
            // The decoder's reasons already name the file.
            PrintError(FromUtf8(decoder.LastErrMsg()));
        }
        decoder.CloseFile();
    }
    return allOpened ? ExitDone : ExitFailed;
}

} // namespace vx::cli
