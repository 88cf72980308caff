// The per-user settings that survive a restart, kept with QSettings under "Quenlo"/"Vantorix"
// (~/.config/Quenlo/Vantorix.conf).
#pragma once

#include <QString>

namespace vx {

class TAdditionalOptions;
class TConversionSettings;

class TSettingsStore {
public:
    static inline const QString Organization = QStringLiteral("Quenlo");
    static inline const QString Application = QStringLiteral("Vantorix");

    // Value names, in the order they are written.
    static inline const QString OutputFolderName = QStringLiteral("Output Folder");
    static inline const QString ComboOutputFormatName = QStringLiteral("ComboOutputFormat");
    static inline const QString OverwriteName = QStringLiteral("Overwrite");
    static inline const QString DropDownItemsName = QStringLiteral("DropDownItems");
    static inline const QString SimpleAdvanceSettingsName = QStringLiteral("SimpleAdvanceSettings");
    static inline const QString LetterBoxName = QStringLiteral("LetterBox");
    static inline const QString UseAllCoresName = QStringLiteral("UseAllProcessorCores");
    static inline const QString SourceFolderName = QStringLiteral("Source Folder");
    static inline const QString SimultaneousName = QStringLiteral("SimultaneousConversions");

    // Both objects must outlive the store.
    TSettingsStore(TConversionSettings& ASettings, TAdditionalOptions& AOptions);

    // Reads the stored values into the controls. A value that is missing (as on the first run),
    // of the wrong type or in a store that cannot be read leaves its control as it is, and the
    // store is then written back from the controls, so that it holds a complete set again.
    // Negative numbers are skipped; a count of simultaneous conversions outside 1 up to the
    // processor count is pulled to the nearer end; a format position that is not a catalogue entry selects
    // position 0; a view or letterbox position the lists do not have is skipped.
    // Returns true when every value was read.
    bool LoadSettings();

    // Writes the eight values. False when the store could not be written; nobody is told.
    bool SaveSettings();

private:
    TConversionSettings& FSettings;
    TAdditionalOptions& FOptions;
};

} // namespace vx
