// "transcode": the raw engine. The command line is read in the manner of a command-line
// transcoder: options before "-i INPUT" belong to that input, options before an output name to
// that output; they reach the encoder as option text.
#include "CliSupport.h"
#include "Commands.h"
#include "InterruptWatcher.h"
#include "ProgressPrinter.h"

#include "encode/FFEncode.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <optional>
#include <set>

namespace vx::cli {

namespace {

const char* const TranscodeHelp =
    "Usage: vantorix-cli transcode [-name value]... -i INPUT [[-name value]... -i INPUT]...\n"
    "                              [-name value]... OUTPUT [[-name value]... OUTPUT]...\n"
    "\n"
    "Runs one task of the engine. Options before \"-i INPUT\" apply to that input, options\n"
    "before an output name to that output, e.g.\n"
    "  vantorix-cli transcode -i clip.avi -vcodec copy -acodec copy -f matroska clip.mkv\n"
    "Options that switch something on (-an, -vn, -sn, -y, -shortest, -copyts, ...) take no\n"
    "value; every other option takes the next argument as its value. An output is written\n"
    "under a hidden name and replaces a file of its name only when the task ends well;\n"
    "-keep_existing before it keeps such a file and takes the next free numbered name.\n"
    "\n"
    "  --help   show this text\n"
    "\n"
    "Progress goes to stderr, with the engine's warnings and errors (-loglevel changes how\n"
    "much). Ctrl-C, SIGTERM and SIGHUP stop the task; the output is closed properly.\n"
    "Exit codes: 0 done, 1 failed, 2 usage error, 128 + the signal's number when stopped.\n";

// Options whose command-line form is a bare switch. In option text such a name stands alone,
// and the engine reads its empty value as "on".
const std::set<QString> SwitchOptions = {
    // accepted and ignored by the engine
    "l", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "y", "benchmark",
    // on/off settings
    "dump", "hex", "re", "loop_input", "copyts", "copytb", "shortest", "xerror", "intra", "vn", "an", "sn",
    "sameq", "deinterlace", "psnr", "qphist", "force_fps", "isync", "vstats", "keep_existing",
    // one more stream in the last output
    "newvideo", "newaudio", "newsubtitle", "newdata",
    // an output record setting: all inputs into one output
    "join"};

struct TOptionFile {
    QString FileName;
    std::string OptionText;
};

struct TTranscodeArgs {
    std::vector<TOptionFile> Inputs;
    std::vector<TOptionFile> Outputs;
};

// Option text holds one "name=value" per line; a line break inside a name or value, or the
// engine's "<CRLF>" separator, would split one option into two. A name with "=" would move the
// split. Such arguments cannot be passed on faithfully and are refused.
void CheckOptionPart(const QString& AOption, const QString& APart, bool AName) {
    const bool breaks = APart.contains(QLatin1Char('\n')) || APart.contains(QLatin1Char('\r')) ||
                        APart.contains(QLatin1String("<CRLF>"), Qt::CaseInsensitive);
    if (breaks || (AName && APart.contains(QLatin1Char('='))))
        throw TUsageError(QStringLiteral("the option %1 cannot be passed to the engine: its %2 holds %3")
                              .arg(Quoted(AOption), AName ? QStringLiteral("name") : QStringLiteral("value"),
                                   breaks ? QStringLiteral("a line break") : QStringLiteral("\"=\"")));
}

std::optional<TTranscodeArgs> ParseArgs(const QStringList& AArgs) {
    if (AArgs.isEmpty())
        throw TUsageError(QStringLiteral("transcode needs -i INPUT and an OUTPUT"));
    if (AArgs.front() == QLatin1String("--help")) {
        std::fputs(TranscodeHelp, stdout);
        return std::nullopt;
    }

    TTranscodeArgs args;
    QStringList pending; // option text lines waiting for their file
    QStringList pendingNames;
    for (qsizetype i = 0; i < AArgs.size(); ++i) {
        const QString& arg = AArgs[i];
        if (arg == QLatin1String("-i")) {
            if (i + 1 >= AArgs.size())
                throw TUsageError(QStringLiteral("-i needs an INPUT"));
            args.Inputs.push_back({AArgs[++i], pending.join(QLatin1Char('\n')).toStdString()});
            pending.clear();
            pendingNames.clear();
        } else if (arg.size() > 1 && arg.startsWith(QLatin1Char('-')) &&
                   !arg.startsWith(QLatin1String("--"))) {
            const QString name = arg.mid(1);
            CheckOptionPart(arg, name, true);
            if (SwitchOptions.contains(name.toLower())) {
                pending << name;
            } else {
                if (i + 1 >= AArgs.size())
                    throw TUsageError(QStringLiteral("the option %1 needs a value").arg(Quoted(arg)));
                const QString& value = AArgs[++i];
                CheckOptionPart(arg, value, false);
                pending << name + QLatin1Char('=') + value;
            }
            pendingNames << arg;
        } else if (arg.startsWith(QLatin1String("--"))) {
            throw TUsageError(
                QStringLiteral("unknown option %1 (engine options begin with one \"-\")").arg(Quoted(arg)));
        } else {
            if (args.Inputs.empty())
                throw TUsageError(QStringLiteral("the output %1 comes before any -i INPUT").arg(Quoted(arg)));
            args.Outputs.push_back({arg, pending.join(QLatin1Char('\n')).toStdString()});
            pending.clear();
            pendingNames.clear();
        }
    }
    if (args.Inputs.empty())
        throw TUsageError(QStringLiteral("transcode needs -i INPUT"));
    if (args.Outputs.empty())
        throw TUsageError(QStringLiteral("transcode needs an OUTPUT after the inputs"));
    if (!pending.isEmpty())
        throw TUsageError(QStringLiteral("%1 after the last output applies to no file")
                              .arg(pendingNames.join(QLatin1Char(' '))));
    return args;
}

} // namespace

int RunTranscode(const QStringList& AArgs) {
    const std::optional<TTranscodeArgs> args = ParseArgs(AArgs);
    if (!args)
        return ExitDone;

    TFFEncoder encoder;
    LoadMediaLibraries(encoder);
    ShowEngineLogOnStderr();

    const int task =
        encoder.AddTask(args->Inputs.front().FileName.toStdU16String(), args->Inputs.front().OptionText);
    if (task < 0) {
        PrintError(FromUtf8(encoder.LastErrMsg()));
        return ExitFailed;
    }
    for (size_t i = 1; i < args->Inputs.size(); ++i)
        if (!encoder.AddInputFile(task, args->Inputs[i].FileName.toStdU16String(),
                                  args->Inputs[i].OptionText)) {
            PrintError(FromUtf8(encoder.LastErrMsg()));
            return ExitFailed;
        }
    for (const TOptionFile& output : args->Outputs)
        if (!encoder.SetOutputFile(task, output.FileName.toStdU16String(), output.OptionText)) {
            PrintError(FromUtf8(encoder.LastErrMsg()));
            return ExitFailed;
        }

    TProgressPrinter printer;
    const QString label = DisplayName(QFileInfo(args->Outputs.front().FileName).fileName());
    std::optional<TTerminateInfo> result;
    bool runEnded = false;
    encoder.OnProgress = [&](TCustomEncoder*, const TProgressInfo& AInfo) {
        printer.Progress(label, TProgressPrinter::Percent(AInfo.CurrentDuration, AInfo.TotalDuration),
                         AInfo.FrameNumber, AInfo.CurrentSize);
    };
    encoder.OnTerminate = [&](TCustomEncoder*, const TTerminateInfo& AInfo) {
        if (AInfo.TaskIndex >= 0)
            result = AInfo;
        else {
            runEnded = true;
            QCoreApplication::exit(0);
        }
    };

    vx::TInterruptWatcher interrupt;
    int stoppedBy = 0;
    interrupt.OnInterrupt = [&](int ASignal) {
        stoppedBy = ASignal;
        printer.Line(QStringLiteral("Stopping..."));
        encoder.Stop(true);
    };

    encoder.Start(1);
    if (!runEnded)
        QCoreApplication::exec();
    encoder.OnProgress = nullptr;
    encoder.OnTerminate = nullptr;

    if (interrupt.Interrupted()) {
        printer.Line(label + QStringLiteral(": Abort"));
        return ExitInterruptedBy(stoppedBy);
    }
    if (!result || result->Exception) {
        printer.Line(label + QStringLiteral(": Fail"));
        if (result)
            PrintError(FromUtf8(result->ExceptionMsg));
        return ExitFailed;
    }
    // A run that converted what it could of a damaged source says so.
    QString line = label + QStringLiteral(": Done");
    if (!result->ExceptionMsg.empty())
        line += QStringLiteral(" (") + FromUtf8(result->ExceptionMsg) + QLatin1Char(')');
    printer.Line(line);
    return ExitDone;
}

} // namespace vx::cli
