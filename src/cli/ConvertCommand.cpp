// "convert": the window's batch conversion without the window. The same settings lists, task
// builder, job list, adding routine and batch driver run here; this file only turns the command
// line into the choices a user would make and reports each row from its record and the
// driver's RowFinished signal.
#include "CliSupport.h"
#include "Commands.h"
#include "FormatChoice.h"
#include "InterruptWatcher.h"
#include "Json.h"
#include "ProgressPrinter.h"
#include "RecordJson.h"

#include "AdditionalOptions.h"
#include "BatchDriver.h"
#include "ConversionSettings.h"
#include "HeadlessBatchUI.h"
#include "JobListModel.h"
#include "JobListTaskBuilder.h"
#include "LocalFileNames.h"
#include "SourceFiles.h"
#include "TaskBuilder.h"
#include "VolumeSliders.h"
#include "decode/FFDecode.h"
#include "encode/FFEncode.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <map>
#include <optional>
#include <unistd.h>

namespace vx::cli {

namespace {

const char* const ConvertHelp =
    "Usage: vantorix-cli convert -f|--format TEXT -o|--output DIR [--overwrite]\n"
    "                            [--set \"LIST=ITEM\"]... [--volume PERCENT] [--threads N]\n"
    "                            [--jobs N] [--dry-run] [--json]\n"
    "                            FILE...\n"
    "\n"
    "Converts the files into DIR in list order, as the window's \"Go Convert\" does.\n"
    "\n"
    "Options:\n"
    "  -f, --format TEXT   the output format: its exact text in the format list, the name\n"
    "                      in front of \" - \" (e.g. MP4), or an unambiguous short name\n"
    "  -o, --output DIR    the output folder; it must exist and be writable\n"
    "  --overwrite         replace existing output files instead of numbering new names\n"
    "  --set LIST=ITEM     choose ITEM (exact text) in one of the advanced settings lists:\n"
    "                      \"Video Codec\", \"Video Size\", \"Video Bitrate\", \"Video Framerate\",\n"
    "                      \"Audio Codec\", \"Audio Bitrate\", \"Audio Channels\", \"Sampling Rate\";\n"
    "                      \"vantorix-cli formats --json\" shows each format's items\n"
    "  --volume PERCENT    the volume slider: 0 to 200 in steps of 20 (default 100)\n"
    "  --threads N         threads for each decoder and encoder; 0 (the default) lets\n"
    "                      each codec use every processor core\n"
    "  --jobs N            convert N files at once (default 1); more than the number of\n"
    "                      processor cores counts as that number\n"
    "  --dry-run           print each file's task as a JSON line and convert nothing;\n"
    "                      output names are those a run would reserve now\n"
    "  --json              JSON lines on stdout: progress, the end of each file, the end\n"
    "  --help              show this text\n"
    "\n"
    "Each output is written under a hidden name and named when its file ends; a name\n"
    "another run took meanwhile gets the next free number (unless --overwrite).\n"
    "Progress and a summary go to stderr. Ctrl-C, SIGTERM and SIGHUP stop the running\n"
    "conversion, which keeps what it wrote.\n"
    "Exit codes: 0 every file done, 1 some file failed, 2 usage error, 128 + the signal's\n"
    "number when stopped (130 for Ctrl-C).\n";

struct TConvertArgs {
    QString Format;
    QString OutputFolder;
    bool Overwrite = false;
    QStringList Settings;
    std::optional<int> VolumePercent;
    std::optional<int> Threads;
    std::optional<int> Jobs;
    bool DryRun = false;
    bool Json = false;
    QStringList Files;
};

QString SingleValue(const QCommandLineParser& AParser, const QCommandLineOption& AOption) {
    const QStringList values = AParser.values(AOption);
    if (values.size() > 1)
        throw TUsageError(QStringLiteral("--%1 is given more than once").arg(AOption.names().last()));
    return values.isEmpty() ? QString() : values.front();
}

int ReadVolume(const QString& AText) {
    QString text = AText.trimmed();
    if (text.endsWith(QLatin1Char('%')))
        text.chop(1);
    bool ok = false;
    const int percent = text.toInt(&ok, 10);
    if (!ok || percent < 0 || percent > 200 || percent % 20 != 0)
        throw TUsageError(
            QStringLiteral("--volume takes 0 to 200 in steps of 20, not %1").arg(Quoted(AText)));
    return percent;
}

int ReadThreads(const QString& AText) {
    bool ok = false;
    const int count = AText.trimmed().toInt(&ok, 10);
    if (!ok || count < 0)
        throw TUsageError(QStringLiteral("--threads takes a count of 0 or more, not %1").arg(Quoted(AText)));
    return count;
}

int ReadJobs(const QString& AText) {
    bool ok = false;
    const int count = AText.trimmed().toInt(&ok, 10);
    if (!ok || count < 1)
        throw TUsageError(QStringLiteral("--jobs takes a count of 1 or more, not %1").arg(Quoted(AText)));
    return count;
}

// Parses the command line; nullopt after --help.
std::optional<TConvertArgs> ParseArgs(const QStringList& AArgs) {
    QCommandLineParser parser;
    const QCommandLineOption format(QStringList{"f", "format"}, {}, "TEXT");
    const QCommandLineOption output(QStringList{"o", "output"}, {}, "DIR");
    const QCommandLineOption overwrite("overwrite");
    const QCommandLineOption set("set", {}, "LIST=ITEM");
    const QCommandLineOption volume("volume", {}, "PERCENT");
    const QCommandLineOption threads("threads", {}, "N");
    const QCommandLineOption jobs("jobs", {}, "N");
    const QCommandLineOption dryRun("dry-run");
    const QCommandLineOption json("json");
    const QCommandLineOption help(QStringList{"h", "help"});
    parser.addOptions({format, output, overwrite, set, volume, threads, jobs, dryRun, json, help});
    if (!parser.parse(QStringList{QStringLiteral("convert")} + AArgs))
        throw TUsageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(ConvertHelp, stdout);
        return std::nullopt;
    }

    TConvertArgs args;
    args.Format = SingleValue(parser, format);
    args.OutputFolder = SingleValue(parser, output);
    args.Overwrite = parser.isSet(overwrite);
    args.Settings = parser.values(set);
    if (parser.isSet(volume))
        args.VolumePercent = ReadVolume(SingleValue(parser, volume));
    if (parser.isSet(threads))
        args.Threads = ReadThreads(SingleValue(parser, threads));
    if (parser.isSet(jobs))
        args.Jobs = ReadJobs(SingleValue(parser, jobs));
    args.DryRun = parser.isSet(dryRun);
    args.Json = parser.isSet(json);
    args.Files = parser.positionalArguments();
    if (!parser.isSet(format))
        throw TUsageError(QStringLiteral("convert needs an output format: -f TEXT"));
    if (!parser.isSet(output))
        throw TUsageError(QStringLiteral("convert needs an output folder: -o DIR"));
    if (args.Files.isEmpty())
        throw TUsageError(QStringLiteral("convert needs at least one FILE"));
    return args;
}

// The output folder as an absolute path, checked before anything starts: a run that fails every
// row for a folder typo would only waste the user's time.
QString CheckOutputFolder(const QString& AFolder) {
    if (AFolder.trimmed().isEmpty() || !NameIsTaken(AFolder))
        throw TUsageError(QStringLiteral("the output folder %1 does not exist").arg(Quoted(AFolder)));
    if (!IsDirectory(AFolder))
        throw TUsageError(QStringLiteral("the output folder %1 is not a folder").arg(Quoted(AFolder)));
    const QString path = QDir::cleanPath(QDir(AFolder).absolutePath());
    if (::access(LocalBytes(path).c_str(), W_OK | X_OK) != 0)
        throw TUsageError(QStringLiteral("the output folder %1 is not writable").arg(Quoted(AFolder)));
    return path;
}

// The window's surface as the driver sees it. The run is validated before it starts, so no
// question but the stop question is ever asked, and Ctrl-C has already answered that one.
class TCommandLineUI final : public THeadlessBatchUI {
public:
    using THeadlessBatchUI::THeadlessBatchUI;

    TAnswer MessageBox(const QString& AText, const QString&, TIcon, TButtons AButtons) override {
        if (AButtons == TButtons::YesNo)
            return TAnswer::Yes;
        PrintError(QString(AText).replace(QStringLiteral("\n\r"), QStringLiteral(" ")));
        return TAnswer::Ok;
    }
    // The run's own summary line says how it ended.
    void ShowRunSummary(const TRunSummary&) override {}
};

class TConvertRun {
public:
    explicit TConvertRun(const TConvertArgs& AArgs) : FArgs(AArgs) {}
    int Execute();

private:
    void ChooseSettings();
    void AddFiles();
    int DryRun();
    int Convert();
    void RowStarted(int ARow);
    void RowEnded(int ARow, TJobResult AResult, const QString& AReason);
    QString RowLabel(int ARow) const;

    const TConvertArgs& FArgs;
    TConversionSettings FSettings;
    TAdditionalOptions FOptions;
    TVolumeSliders FVolume;
    TTaskBuilder FTaskBuilder{FSettings, FOptions, FVolume};
    TFFEncoder FEncoder;
    TFFDecoder FDecoder;
    TJobListModel FList;
    TJobListTaskBuilder FRowBuilder{FTaskBuilder};
    TCommandLineUI FUI{FSettings};
    TBatchDriver FDriver{FList, FEncoder, FUI, FRowBuilder};
    TProgressPrinter FPrinter;
    std::map<int, TJobResult> FResults;
    // The signal that stopped the run, or 0.
    int FInterrupted = 0;
};

void TConvertRun::ChooseSettings() {
    // The window's start-up filling, then the user's choices in the order the window offers
    // them: the format first (it refills the lists), then the lists, the volume, the options.
    FSettings.SetAdditionalOptions(&FOptions);
    FSettings.FillStartupLists();
    FSettings.SelectOutputFormat(FindFormatPosition(FArgs.Format));
    for (const QString& setting : FArgs.Settings)
        ApplySetting(FSettings, setting);
    if (FArgs.VolumePercent)
        FVolume.SetTrackBar2Position(*FArgs.VolumePercent / 20);
    FOptions.SetOverwrite(FArgs.Overwrite);
    if (FArgs.Threads)
        FOptions.SetCodecThreads(*FArgs.Threads);
    if (FArgs.Jobs)
        FOptions.SetSimultaneousConversions(*FArgs.Jobs);
    FDriver.SetJobs(FOptions.SimultaneousConversions());
    FSettings.SetOutputFolder(CheckOutputFolder(FArgs.OutputFolder));
}

void TConvertRun::AddFiles() {
    // Adding is refused while a run is on: the driver keeps that state, as in the window.
    TBatchAddFileState state(FDriver);
    TSourceFileAdder adder(FList, FDecoder, FSettings, state);
    adder.AddFiles(FArgs.Files);
    if (FList.Count() != FArgs.Files.size())
        throw TCommandError(
            QStringLiteral("only %1 of %2 files could be added").arg(FList.Count()).arg(FArgs.Files.size()));
    for (int row = 0; row < FList.Count(); ++row) {
        const TJobProgress& progress = FList.Progress(row);
        if (progress.State == TJobState::Unreadable)
            PrintError(QStringLiteral("%1 cannot be read (%2); its conversion will fail")
                           .arg(Quoted(FList.Caption(row)), progress.Reason));
    }
}

int TConvertRun::DryRun() {
    // The names a run would reserve, the batch's own sources and earlier rows included.
    FDriver.ReserveOutputNames();
    bool allBuilt = true;
    for (int row = 0; row < FList.Count(); ++row) {
        const QString output = FDriver.OutputName(row);
        TInputOptions input;
        TOutputOptions outputOptions;
        // Every part is built even after a failure, so that the record shows as much as it can;
        // the reason is the first step's that failed.
        bool built = !output.isEmpty();
        QString error = built ? QString() : FList.Progress(row).Reason;
        FRowBuilder.BuildInputOptions(FList, row, input);
        if (!FRowBuilder.BuildOutputOptions(FList, row, outputOptions)) {
            if (built)
                error = FRowBuilder.LastErrMsg();
            built = false;
        }
        allBuilt = allBuilt && built;

        TJsonWriter json;
        json.BeginObject().Field("source", FList.Caption(row));
        json.Key("output").StringOrNull(!output.isEmpty() ? std::optional(output) : std::nullopt);
        json.Key("input_options");
        WriteInputOptions(json, input);
        json.Key("output_options");
        WriteOutputOptions(json, outputOptions);
        if (!built)
            json.Field("error", error);
        json.EndObject();
        WriteLine(stdout, json.Text());
    }
    return allBuilt ? ExitDone : ExitFailed;
}

QString TConvertRun::RowLabel(int ARow) const {
    const QString& source = FList.Caption(ARow);
    const QString name = source.mid(source.lastIndexOf('/') + 1);
    return QStringLiteral("[%1/%2] %3")
        .arg(ARow + 1)
        .arg(FList.Count())
        .arg(DisplayName(name.isEmpty() ? source : name));
}

void TConvertRun::RowStarted(int ARow) {
    const QString output = FDriver.OutputName(ARow);
    FPrinter.Line(QStringLiteral("[%1/%2] %3 -> %4")
                      .arg(ARow + 1)
                      .arg(FList.Count())
                      .arg(DisplayName(FList.Caption(ARow)),
                           output.isEmpty() ? QStringLiteral("(no output name)") : DisplayName(output)));
}

void TConvertRun::RowEnded(int ARow, TJobResult AResult, const QString& AReason) {
    FResults[ARow] = AResult;
    const QString result = TJobListModel::ResultText(AResult);
    const std::optional<QString> message = AReason.isEmpty() ? std::nullopt : std::optional(AReason);
    const QString outputName = FDriver.OutputName(ARow);
    const std::optional<QString> output = outputName.isEmpty() ? std::nullopt : std::optional(outputName);

    if (FArgs.Json) {
        TJsonWriter json;
        json.BeginObject()
            .Field("event", "terminate")
            .Field("row", ARow)
            .Field("result", result)
            .Key("output")
            .StringOrNull(output)
            .Key("message")
            .StringOrNull(message)
            .EndObject();
        WriteLine(stdout, json.Text());
    }
    QString line = RowLabel(ARow) + QStringLiteral(": ") + result;
    if (message)
        line += QStringLiteral(" (") + DisplayName(*message) + QLatin1Char(')');
    FPrinter.Line(line);
}

int TConvertRun::Convert() {
    TBatchDriver& driver = FDriver;

    // The command line reports each row's progress from the record the driver keeps.
    QObject scope;
    QObject::connect(&driver, &TBatchDriver::RowProgress, &scope,
                     [this](int ARow, const TProgressInfo& AInfo) {
                         const std::optional<int> percent = FList.Progress(ARow).Percent;
                         if (FArgs.Json) {
                             TJsonWriter json;
                             json.BeginObject().Field("event", "progress").Field("row", ARow).Key("percent");
                             if (percent)
                                 json.Int(*percent);
                             else
                                 json.Null();
                             json.Key("frames");
                             if (AInfo.FrameNumber >= 0)
                                 json.Int(AInfo.FrameNumber);
                             else
                                 json.Null();
                             json.Field("size", AInfo.CurrentSize).Key("fps");
                             if (AInfo.FPS >= 0)
                                 json.Int(AInfo.FPS);
                             else
                                 json.Null();
                             WriteLine(stdout, json.EndObject().Text());
                         }
                         FPrinter.Progress(RowLabel(ARow), percent, AInfo.FrameNumber, AInfo.CurrentSize);
                     });

    bool stopped = false;
    bool runEnded = false;
    // The connections die with this frame, whose variables they use.
    QObject::connect(&driver, &TBatchDriver::RowStarting, &scope, [this](int ARow) { RowStarted(ARow); });
    QObject::connect(
        &driver, &TBatchDriver::RowFinished, &scope,
        [this](int ARow, TJobResult AResult, const QString& AReason) { RowEnded(ARow, AResult, AReason); });
    QObject::connect(&driver, &TBatchDriver::RunEnded, &scope, [&](bool AStopped) {
        stopped = AStopped;
        runEnded = true;
        QCoreApplication::exit(0);
    });

    vx::TInterruptWatcher interrupt;
    interrupt.OnInterrupt = [&](int ASignal) {
        FInterrupted = ASignal;
        FPrinter.Line(QStringLiteral("Stopping..."));
        if (driver.Converting())
            driver.ButtonStopConvertClick();
    };

    driver.ButtonConvertClick();
    if (!driver.Converting())
        return ExitUsage; // the driver has said why
    if (!runEnded)
        QCoreApplication::exec();

    int done = 0;
    std::map<QString, int> counts;
    for (const auto& [row, result] : FResults) {
        ++counts[TJobListModel::ResultText(result)];
        if (result == TJobResult::Done)
            ++done;
    }
    QStringList parts;
    for (const auto& [result, count] : counts)
        parts << QStringLiteral("%1 %2").arg(count).arg(result);
    QString summary = QStringLiteral("%1 of %2 files converted").arg(done).arg(FList.Count());
    if (!parts.isEmpty())
        summary += QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
    if (FInterrupted || stopped)
        summary += QStringLiteral("; stopped");
    FPrinter.Line(summary);
    if (FArgs.Json)
        WriteLine(stdout, TJsonWriter().BeginObject().Field("event", "end").EndObject().Text());

    if (FInterrupted)
        return ExitInterruptedBy(FInterrupted);
    return done == FList.Count() ? ExitDone : ExitFailed;
}

int TConvertRun::Execute() {
    ChooseSettings();
    LoadMediaLibraries(FEncoder);
    SilenceEngineLog();
    AddFiles();
    return FArgs.DryRun ? DryRun() : Convert();
}

} // namespace

int RunConvert(const QStringList& AArgs) {
    const std::optional<TConvertArgs> args = ParseArgs(AArgs);
    if (!args)
        return ExitDone;
    TConvertRun run(*args);
    return run.Execute();
}

} // namespace vx::cli
