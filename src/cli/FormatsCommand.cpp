// "formats": the format list as the window shows it, and with --json every entry's settings lists
// as they stand right after choosing it.
#include "CliSupport.h"
#include "Commands.h"
#include "FormatChoice.h"
#include "Json.h"

#include "ConversionSettings.h"
#include "FormatAvailability.h"
#include "OutputCatalogue.h"
#include "encode/FFEncode.h"

#include <QCommandLineParser>

namespace vx::cli {

namespace {

const char* const FormatsHelp = "Usage: vantorix-cli formats [--json]\n"
                                "\n"
                                "Lists the output formats in the order of the window's format list,\n"
                                "separators included. A format that the media libraries of this\n"
                                "installation cannot write is followed by the reason in brackets.\n"
                                "\n"
                                "Options:\n"
                                "  --json   one JSON array: each format's position, text, short name,\n"
                                "           profile number and the items and default of the eight\n"
                                "           advanced settings lists, and whether it is available\n"
                                "           (\"available\", \"reason\")\n"
                                "  --help   show this text\n";

void WriteEntry(TJsonWriter& AJson, int APosition, const TFormatAvailability& AAvailability) {
    // A fresh set of lists for every entry: the defaults are what choosing the entry gives,
    // whatever was chosen before.
    TConversionSettings settings;
    settings.FillStartupLists();
    settings.SelectOutputFormat(APosition);
    const TheAVCodec* codec = settings.SelectedAVCodec();
    if (!codec)
        throw std::logic_error("format list position without an entry");

    AJson.BeginObject()
        .Field("position", APosition)
        .Field("text", codec->ComboText)
        .Field("short", codec->OutFormat)
        .Field("profile", codec->Number)
        .Field("available", AAvailability.Available)
        .Key("reason")
        .StringOrNull(AAvailability.Available ? std::nullopt : std::optional(AAvailability.Reason));
    AJson.Key("lists").BeginObject();
    for (const TSettingsList* list : AdvancedLists(settings)) {
        AJson.Key(ListName(*list).toStdString()).BeginObject();
        AJson.Key("items").BeginArray();
        for (const QString& item : list->Items())
            AJson.String(item);
        AJson.EndArray();
        AJson.Key("default").StringOrNull(list->ItemIndex() >= 0 ? std::optional(list->Text())
                                                                 : std::nullopt);
        AJson.EndObject();
    }
    AJson.EndObject().EndObject();
}

} // namespace

int RunFormats(const QStringList& AArgs) {
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({json, help});
    if (!parser.parse(QStringList{QStringLiteral("formats")} + AArgs))
        throw TUsageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(FormatsHelp, stdout);
        return ExitDone;
    }
    if (!parser.positionalArguments().isEmpty())
        throw TUsageError(
            QStringLiteral("formats takes no arguments: %1").arg(parser.positionalArguments().join(' ')));

    TFFEncoder encoder;
    LoadMediaLibraries(encoder);
    SilenceEngineLog();
    // What each item stands for, and whether this build can write it.
    const QStringList items = FormatListItems();
    auto availability = [](const QString& AItem) {
        const TheAVCodec* codec = FindAVCodec(AItem);
        return codec ? CheckFormatAvailability(*codec) : TFormatAvailability();
    };
    if (!parser.isSet(json)) {
        for (const QString& item : items) {
            const TFormatAvailability available = availability(item);
            WriteLine(stdout,
                      available.Available ? item : item + QStringLiteral("  [") + available.Reason + ']');
        }
        return ExitDone;
    }

    // One array, one entry per line, so that it also reads well and greps.
    std::string text = "[\n";
    for (int position = 0; position < items.size(); ++position) {
        TJsonWriter entry;
        if (IsFormatListSeparator(items[position]))
            entry.BeginObject()
                .Field("position", position)
                .Field("separator", true)
                .Field("text", items[position])
                .EndObject();
        else
            WriteEntry(entry, position, availability(items[position]));
        text += entry.Text();
        text += position + 1 < items.size() ? ",\n" : "\n";
    }
    text += "]";
    WriteLine(stdout, text);
    return ExitDone;
}

} // namespace vx::cli
