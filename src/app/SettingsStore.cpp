#include "SettingsStore.h"

#include "AdditionalOptions.h"
#include "ConversionSettings.h"

#include <QSettings>
#include <QVariant>
#include <optional>

namespace vx {

namespace {

// Integers come back as text from the settings file, and as numbers from a native store; both count.
std::optional<int> ReadInteger(const QSettings& AStore, const QString& AName) {
    const QVariant value = AStore.value(AName);
    if (!value.isValid())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::QString: {
        bool ok = false;
        const int result = value.toInt(&ok);
        return ok ? std::optional<int>(result) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// Booleans are written as 0 and 1; any other integer means true, as a native store reads it.
// "true" and "false" are what QSettings itself writes for a bool, so a hand-made file may hold them.
std::optional<bool> ReadBool(const QSettings& AStore, const QString& AName) {
    const QVariant value = AStore.value(AName);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    if (const std::optional<int> number = ReadInteger(AStore, AName))
        return *number != 0;
    return std::nullopt;
}

// A missing text is an empty one; only a value of another kind (e.g. a list) is unreadable.
std::optional<QString> ReadText(const QSettings& AStore, const QString& AName) {
    const QVariant value = AStore.value(AName);
    if (!value.isValid())
        return QString();
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return std::nullopt;
}

// Takes each value on its own, so that one damaged value does not throw away the others.
// Returns false when any value was missing or unreadable.
bool ReadValues(const QSettings& AStore, TConversionSettings& ASettings, TAdditionalOptions& AOptions) {
    bool complete = true;

    if (const auto folder = ReadText(AStore, TSettingsStore::OutputFolderName))
        ASettings.SetOutputFolder(*folder);
    else
        complete = false;

    if (const auto position = ReadInteger(AStore, TSettingsStore::ComboOutputFormatName)) {
        TSettingsList& formats = ASettings.ComboOutputFormat;
        if (*position >= 0 && formats.Count() > 0) {
            // Only a catalogue entry can be applied when the window is shown; a separator or a
            // position past the end would leave the window with no format at all.
            const bool isEntry =
                *position < formats.Count() && !IsFormatListSeparator(formats.Items().at(*position));
            formats.SetItemIndex(isEntry ? *position : 0);
        }
    } else {
        complete = false;
    }

    if (const auto overwrite = ReadBool(AStore, TSettingsStore::OverwriteName))
        AOptions.SetOverwrite(*overwrite);
    else
        complete = false;

    if (const auto items = ReadInteger(AStore, TSettingsStore::DropDownItemsName)) {
        if (*items >= 0)
            AOptions.SetDropDownItems(*items);
    } else {
        complete = false;
    }

    if (const auto view = ReadInteger(AStore, TSettingsStore::SimpleAdvanceSettingsName)) {
        if (*view == TAdditionalOptions::SimpleSettings || *view == TAdditionalOptions::AdvanceSettings)
            AOptions.SetSimpleAdvanceSettings(*view);
    } else {
        complete = false;
    }

    if (const auto letterBox = ReadInteger(AStore, TSettingsStore::LetterBoxName)) {
        if (*letterBox >= 0 && *letterBox < ASettings.ComboLetterBox.Count())
            ASettings.ComboLetterBox.SetItemIndex(*letterBox);
    } else {
        complete = false;
    }

    if (const auto allCores = ReadBool(AStore, TSettingsStore::UseAllCoresName))
        AOptions.SetUseAllCores(*allCores);
    else
        complete = false;

    // A store written before the folder was kept has no such value: it reads as empty.
    if (const auto sourceFolder = ReadText(AStore, TSettingsStore::SourceFolderName))
        ASettings.SetSourceFolder(*sourceFolder);
    else
        complete = false;
    if (const auto jobs = ReadInteger(AStore, TSettingsStore::SimultaneousName))
        AOptions.SetSimultaneousConversions(*jobs);
    else
        complete = false;
    return complete;
}

} // namespace

TSettingsStore::TSettingsStore(TConversionSettings& ASettings, TAdditionalOptions& AOptions)
    : FSettings(ASettings), FOptions(AOptions) {}

bool TSettingsStore::LoadSettings() {
    bool complete = false;
    {
        const QSettings store(Organization, Application);
        // A file that cannot be read would otherwise look like an empty store that read fine.
        complete = store.status() == QSettings::NoError && ReadValues(store, FSettings, FOptions);
    }
    // The reading store is closed before the writing one opens the same file.
    if (!complete)
        SaveSettings();
    return complete;
}

bool TSettingsStore::SaveSettings() {
    QSettings store(Organization, Application);
    store.setValue(OutputFolderName, FSettings.OutputFolder());
    store.setValue(ComboOutputFormatName, FSettings.ComboOutputFormat.ItemIndex());
    store.setValue(OverwriteName, FOptions.Overwrite() ? 1 : 0);
    store.setValue(DropDownItemsName, FOptions.DropDownItems());
    store.setValue(SimpleAdvanceSettingsName, FOptions.SimpleAdvanceSettings());
    store.setValue(LetterBoxName, FSettings.ComboLetterBox.ItemIndex());
    store.setValue(UseAllCoresName, FOptions.UseAllCores() ? 1 : 0);
    store.setValue(SourceFolderName, FSettings.SourceFolder());
    store.setValue(SimultaneousName, FOptions.SimultaneousConversions());
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace vx
