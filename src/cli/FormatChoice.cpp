#include "FormatChoice.h"

#include "CliSupport.h"
#include "ConversionSettings.h"
#include "OutputCatalogue.h"
#include "SettingsList.h"

namespace vx::cli {

QString ListName(const TSettingsList& AList) {
    QString name = AList.Caption().trimmed();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name.trimmed();
}

std::vector<TSettingsList*> AdvancedLists(TConversionSettings& ASettings) {
    return {&ASettings.ComboVideoCodec,     &ASettings.ComboVideoSize,   &ASettings.ComboVideoBitrate,
            &ASettings.ComboVideoFramerate, &ASettings.ComboAudioCodec,  &ASettings.ComboAudioBitrate,
            &ASettings.ComboAudioChannels,  &ASettings.ComboSamplingRate};
}

namespace {

// "MP4" of "MP4 - MPEG4 Video (*.mp4)"; empty for entries without that form ("iPod (*.mp4)").
QString LeadingName(const QString& AComboText) {
    const qsizetype dash = AComboText.indexOf(QLatin1String(" - "));
    return dash < 0 ? QString() : AComboText.left(dash);
}

QString QuotedList(const QStringList& ATexts) {
    QStringList quoted;
    for (const QString& text : ATexts)
        quoted << Quoted(text);
    return quoted.join(QStringLiteral(", "));
}

} // namespace

int FindFormatPosition(const QString& ATextOrName) {
    const QStringList items = FormatListItems();
    if (const TheAVCodec* exact = FindAVCodec(ATextOrName))
        return static_cast<int>(items.indexOf(exact->ComboText));

    const QString name = ATextOrName.trimmed();
    QStringList candidates;
    if (!name.isEmpty()) {
        for (const TheAVCodec& codec : AVCodecs())
            if (LeadingName(codec.ComboText).compare(name, Qt::CaseInsensitive) == 0)
                candidates << codec.ComboText;
        if (candidates.isEmpty())
            for (const TheAVCodec& codec : AVCodecs())
                if (codec.OutFormat.compare(name, Qt::CaseInsensitive) == 0)
                    candidates << codec.ComboText;
    }
    if (candidates.size() == 1)
        return static_cast<int>(items.indexOf(candidates.front()));
    if (candidates.isEmpty())
        throw TUsageError(QStringLiteral("unknown output format %1; \"vantorix-cli formats\" lists them")
                              .arg(Quoted(ATextOrName)));
    throw TUsageError(QStringLiteral("the output format %1 is ambiguous; it may be %2")
                          .arg(Quoted(ATextOrName), QuotedList(candidates)));
}

void ApplySetting(TConversionSettings& ASettings, const QString& AAssignment) {
    const qsizetype equals = AAssignment.indexOf(QLatin1Char('='));
    const std::vector<TSettingsList*> lists = AdvancedLists(ASettings);
    QStringList names;
    for (const TSettingsList* list : lists)
        names << ListName(*list);
    if (equals < 0)
        throw TUsageError(QStringLiteral("--set needs LIST=ITEM, not %1; the lists are %2")
                              .arg(Quoted(AAssignment), QuotedList(names)));

    const QString listName = AAssignment.left(equals).trimmed();
    const QString item = AAssignment.mid(equals + 1);
    for (TSettingsList* list : lists) {
        if (ListName(*list).compare(listName, Qt::CaseInsensitive) != 0)
            continue;
        if (list->SetText(item))
            return;
        if (list->Count() == 0)
            throw TUsageError(QStringLiteral("the list %1 offers nothing for %2")
                                  .arg(Quoted(ListName(*list)), Quoted(ASettings.ComboOutputFormat.Text())));
        throw TUsageError(QStringLiteral("%1 is not an item of the list %2 for %3; the items are %4")
                              .arg(Quoted(item), Quoted(ListName(*list)),
                                   Quoted(ASettings.ComboOutputFormat.Text()), QuotedList(list->Items())));
    }
    throw TUsageError(QStringLiteral("unknown list %1 in --set; the lists are %2")
                          .arg(Quoted(listName), QuotedList(names)));
}

} // namespace vx::cli
