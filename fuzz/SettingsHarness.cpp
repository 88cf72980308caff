// A settings file of arbitrary bytes, loaded as the window loads it at start-up.
#include <filesystem>

#include <QSettings>
#include <QtGlobal>

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "FuzzEnvironment.h"
#include "FuzzHarness.h"
#include "OutputCatalogue.h"
#include "SettingsStore.h"

namespace vx::fuzz {
namespace {

// The window's objects, prepared and loaded as at start-up: lists filled, settings read,
// the view applied, then the restored format applied as when the window is first shown.
struct TStartup {
    TConversionSettings Settings;
    TAdditionalOptions Options;
    TSettingsStore Store{Settings, Options};
    bool Complete = false;

    TStartup() {
        Settings.FillStartupLists();
        Settings.SetAdditionalOptions(&Options);
        Complete = Store.LoadSettings();
        Options.RadioGroup1Click();
        Settings.ComboOutputFormatChange();
    }
    ~TStartup() { Settings.SetAdditionalOptions(nullptr); }
};

// What the controls must show whatever the store held.
std::string CheckControls(const TStartup& AStartup) {
    const TConversionSettings& s = AStartup.Settings;
    const int format = s.ComboOutputFormat.ItemIndex();
    if (format < 0 || format >= s.ComboOutputFormat.Count() ||
        IsFormatListSeparator(s.ComboOutputFormat.Items().at(format)) || !s.SelectedAVCodec())
        return "no output format is selected";
    if (s.CurrentOutputFormat().isEmpty())
        return "no output format was applied";
    const int items = AStartup.Options.DropDownItems();
    if (items < TAdditionalOptions::MinDropDownItems || items > TAdditionalOptions::MaxDropDownItems)
        return "the drop-down length is outside its range";
    const int view = AStartup.Options.SimpleAdvanceSettings();
    if (view != TAdditionalOptions::SimpleSettings && view != TAdditionalOptions::AdvanceSettings)
        return "the view is neither simple nor advanced";
    const int letterBox = s.ComboLetterBox.ItemIndex();
    if (letterBox < 0 || letterBox >= s.ComboLetterBox.Count())
        return "no letterbox choice is selected";
    return {};
}

bool SameControls(const TStartup& A, const TStartup& B) {
    return A.Settings.OutputFolder() == B.Settings.OutputFolder() &&
           A.Settings.ComboOutputFormat.ItemIndex() == B.Settings.ComboOutputFormat.ItemIndex() &&
           A.Options.Overwrite() == B.Options.Overwrite() &&
           A.Options.DropDownItems() == B.Options.DropDownItems() &&
           A.Options.SimpleAdvanceSettings() == B.Options.SimpleAdvanceSettings() &&
           A.Settings.ComboLetterBox.ItemIndex() == B.Settings.ComboLetterBox.ItemIndex();
}

// The settings library warns about every odd value it reads; the verdict is ours.
void DropQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

std::string LoadSettingsBytes(const uint8_t* AData, size_t ASize) {
    static const QtMessageHandler previous = qInstallMessageHandler(DropQtMessage);
    (void)previous;
    // A folder of its own for every input: the settings library caches the files it read.
    static int runs = 0;
    const std::string root = ScratchFile("settings");
    const std::string folder = root + "/" + std::to_string(++runs);
    std::filesystem::create_directories(folder + "/" + TSettingsStore::Organization.toStdString());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(folder));
    WriteBytes(folder + "/" + TSettingsStore::Organization.toStdString() + "/" +
                   TSettingsStore::Application.toStdString() + ".conf",
               AData, ASize);

    std::string fault;
    {
        TStartup first;
        fault = CheckControls(first);
        if (fault.empty()) {
            // What the window saves at closing must come back complete and unchanged.
            if (!first.Store.SaveSettings()) {
                fault = "the settings could not be saved";
            } else {
                TStartup second;
                if (!second.Complete)
                    fault = "saved settings did not load completely";
                else if (!SameControls(first, second))
                    fault = "saved settings came back changed";
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return fault;
}

} // namespace vx::fuzz
