// "probe": what the decoder makes of each file, as the window's information text or as JSON.
#include "CliSupport.h"
#include "Commands.h"
#include "Json.h"
#include "RecordJson.h"

#include "OrderedProbes.h"
#include "decode/FFDecode.h"

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

// One file's lines, made on a worker thread.
struct TProbeReport {
    bool Opened = false;
    std::string Text; // the JSON line, the information text or the reason it could not be read
};

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

    LoadReadingLibraries();
    SilenceEngineLog();

    // The files are read on the probing pool, each with a decoder of its own, and reported in
    // the order given.
    const auto probe = [json](const QString& AFile) {
        TFFDecoder decoder;
        TProbeReport report;
        report.Opened = decoder.LoadFile(AFile.toStdU16String(), {});
        if (json)
            report.Text = ProbeJson(decoder, AFile, report.Opened);
        else
            report.Text = report.Opened ? decoder.FileInfoText() : decoder.LastErrMsg();
        return report;
    };
    TOrderedProbes<TProbeReport> probes(files, probe);
    bool allOpened = true;
    while (!probes.AtEnd()) {
        const std::optional<TProbeReport> report = probes.TakeNext(std::chrono::seconds(1));
        if (!report)
            continue;
        allOpened = allOpened && report->Opened;
        if (json || report->Opened)
            WriteLine(stdout, report->Text);
        else
            PrintError(FromUtf8(report->Text)); // the decoder's reasons already name the file
    }
    return allOpened ? ExitDone : ExitFailed;
}

} // namespace vx::cli
