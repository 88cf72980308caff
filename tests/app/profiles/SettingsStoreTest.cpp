// Loading and saving the per-user settings. Every test gets its own settings folder, so the
// user's real settings are never read or written.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "SettingsStore.h"

using namespace vx;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Folder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Folder.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Folder.path());
        Settings.FillStartupLists();
        Settings.SetAdditionalOptions(&Options);
    }

    QString FilePath() const { return Folder.filePath("Quenlo/Vantorix.conf"); }

    // Writes the settings file by hand, as a damaged or hand-edited one would look. Qt keeps
    // the files it has read and reads one again only when its size or time has changed; two
    // files of one size written a moment apart could pass for the same (a third of the runs
    // read the previous case's file), so every file written here is a second apart.
    void WriteFile(const QByteArray& AContents) {
        ASSERT_TRUE(QDir(Folder.path()).mkpath("Quenlo"));
        QFile file(FilePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(AContents), AContents.size());
        ASSERT_TRUE(file.flush()); // or closing the file would set its time again
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600 + ++FilesWritten),
                                     QFileDevice::FileModificationTime));
    }

    // The values as they are in the file now.
    QVariantMap Stored() const {
        QSettings store(TSettingsStore::Organization, TSettingsStore::Application);
        QVariantMap values;
        for (const QString& key : store.allKeys())
            values[key] = store.value(key);
        return values;
    }

    static QVariantMap FirstRunValues() {
        return {
            {"Output Folder", ""},         {"ComboOutputFormat", "0"},     {"Overwrite", "0"},
            {"DropDownItems", "26"},       {"SimpleAdvanceSettings", "0"}, {"LetterBox", "0"},
            {"UseAllProcessorCores", "1"}, {"Source Folder", ""},          {"SimultaneousConversions", "1"}};
    }

    void ExpectFirstRunControls() {
        EXPECT_EQ(Settings.OutputFolder(), "");
        EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), 0);
        EXPECT_FALSE(Options.Overwrite());
        EXPECT_EQ(Options.DropDownItems(), 26);
        EXPECT_EQ(Options.SimpleAdvanceSettings(), 0);
        EXPECT_EQ(Settings.ComboLetterBox.ItemIndex(), 0);
        EXPECT_TRUE(Options.UseAllCores());
        EXPECT_EQ(Options.SimultaneousConversions(), 1);
    }

    QTemporaryDir Folder;
    int FilesWritten = 0;
    TConversionSettings Settings;
    TAdditionalOptions Options;
    TSettingsStore Store{Settings, Options};
};

TEST_F(SettingsStoreTest, FirstRunSeedsTheStoreWithTheFirstRunValues) {
    EXPECT_FALSE(Store.LoadSettings());
    ExpectFirstRunControls();
    EXPECT_TRUE(QFile::exists(FilePath()));
    EXPECT_EQ(Stored(), FirstRunValues());

    // The second start finds a complete store and leaves it as it is.
    EXPECT_TRUE(Store.LoadSettings());
    EXPECT_EQ(Stored(), FirstRunValues());
}

TEST_F(SettingsStoreTest, SavedChoicesComeBackOnTheNextStart) {
    Settings.SetOutputFolder(QString::fromUtf8("/tmp/out, old/Видео 動画"));
    Settings.ComboOutputFormat.SetItemIndex(13);
    Options.SetOverwrite(true);
    Options.SetDropDownItems(40);
    Options.SetSimpleAdvanceSettings(1);
    Settings.ComboLetterBox.SetItemIndex(1);
    Options.SetUseAllCores(false);
    Settings.SetSourceFolder(QString::fromUtf8("/home/me/Видео, 2024"));
    Options.SetSimultaneousConversions(TAdditionalOptions::MaxSimultaneousConversions());
    ASSERT_TRUE(Store.SaveSettings());

    TConversionSettings settings;
    settings.FillStartupLists();
    TAdditionalOptions options;
    settings.SetAdditionalOptions(&options);
    TSettingsStore store(settings, options);
    EXPECT_TRUE(store.LoadSettings());
    EXPECT_EQ(settings.OutputFolder(), QString::fromUtf8("/tmp/out, old/Видео 動画"));
    EXPECT_EQ(settings.ComboOutputFormat.ItemIndex(), 13);
    // Selected only: the entry is applied when the window is first shown.
    EXPECT_TRUE(settings.CurrentOutputFormat().isEmpty());
    EXPECT_TRUE(options.Overwrite());
    EXPECT_EQ(options.DropDownItems(), 40);
    EXPECT_EQ(settings.ComboOutputFormat.DropDownCount(), 40);
    EXPECT_EQ(options.SimpleAdvanceSettings(), 1);
    EXPECT_EQ(settings.ComboLetterBox.ItemIndex(), 1);
    EXPECT_FALSE(options.UseAllCores());
    EXPECT_EQ(settings.SourceFolder(), QString::fromUtf8("/home/me/Видео, 2024"));
    EXPECT_EQ(options.SimultaneousConversions(), TAdditionalOptions::MaxSimultaneousConversions());
}

struct TStoredValueCase {
    const char* Line; // replaces the line of the same value in an otherwise complete store
    int FormatPosition;
    bool Overwrite;
    int DropDownItems;
    int View;
    int LetterBox;
    int FormatListLength;
};

// Numbers the controls cannot show are pulled into range or skipped; none may stop the start.
const TStoredValueCase StoredValueCases[] = {
    {"DropDownItems=100", 0, false, 47, 0, 0, 47},
    {"DropDownItems=3", 0, false, 26, 0, 0, 26},
    {"DropDownItems=-1", 0, false, 26, 0, 0, 25}, // skipped: the format list keeps its start-up length
    {"SimpleAdvanceSettings=1", 0, false, 26, 1, 0, 26},
    {"SimpleAdvanceSettings=7", 0, false, 26, 0, 0, 26},
    {"ComboOutputFormat=44", 44, false, 26, 0, 0, 26},
    {"ComboOutputFormat=18", 0, false, 26, 0, 0, 26}, // a separator
    {"ComboOutputFormat=45", 0, false, 26, 0, 0, 26}, // past the end
    {"ComboOutputFormat=-3", 0, false, 26, 0, 0, 26},
    {"LetterBox=2", 0, false, 26, 0, 0, 26},
    {"Overwrite=5", 0, true, 26, 0, 0, 26},
    {"Overwrite=true", 0, true, 26, 0, 0, 26},
};

void PrintTo(const TStoredValueCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Line;
}

class StoredValueTest : public SettingsStoreTest, public ::testing::WithParamInterface<TStoredValueCase> {};

TEST_P(StoredValueTest, ControlsShowWhatTheyCan) {
    const TStoredValueCase& c = GetParam();
    QByteArray contents = "[General]\nOutput%20Folder=/videos\nComboOutputFormat=0\nOverwrite=0\n"
                          "DropDownItems=26\nSimpleAdvanceSettings=0\nLetterBox=0\nUseAllProcessorCores=1\n"
                          "SimultaneousConversions=1\n";
    const QByteArray name = QByteArray(c.Line).left(QByteArray(c.Line).indexOf('='));
    const qsizetype start = contents.indexOf("\n" + name + "=") + 1;
    contents.replace(start, contents.indexOf('\n', start) - start, c.Line);
    WriteFile(contents);

    EXPECT_TRUE(Store.LoadSettings());
    EXPECT_EQ(Settings.OutputFolder(), "/videos");
    EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), c.FormatPosition);
    EXPECT_EQ(Options.Overwrite(), c.Overwrite);
    EXPECT_EQ(Options.DropDownItems(), c.DropDownItems);
    EXPECT_EQ(Options.SimpleAdvanceSettings(), c.View);
    EXPECT_EQ(Settings.ComboLetterBox.ItemIndex(), c.LetterBox);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), c.FormatListLength);
}

INSTANTIATE_TEST_SUITE_P(Values, StoredValueTest, ::testing::ValuesIn(StoredValueCases));

TEST_F(SettingsStoreTest, AStoreFromBeforeTheCoresChoiceKeepsItsValuesAndGainsIt) {
    WriteFile("[General]\nOutput%20Folder=/videos\nComboOutputFormat=13\nOverwrite=1\n"
              "DropDownItems=30\nSimpleAdvanceSettings=1\nLetterBox=1\n");
    EXPECT_FALSE(Store.LoadSettings());
    EXPECT_TRUE(Options.UseAllCores());
    EXPECT_EQ(Settings.SourceFolder(), "");
    QVariantMap expected{
        {"Output Folder", "/videos"},  {"ComboOutputFormat", "13"},    {"Overwrite", "1"},
        {"DropDownItems", "30"},       {"SimpleAdvanceSettings", "1"}, {"LetterBox", "1"},
        {"UseAllProcessorCores", "1"}, {"Source Folder", ""},          {"SimultaneousConversions", "1"}};
    EXPECT_EQ(Stored(), expected);
}

// A store written before the source folder was kept reads as complete, and the next save adds it.
TEST_F(SettingsStoreTest, AStoreWithoutTheSourceFolderGainsItOnTheNextSave) {
    WriteFile("[General]\nOutput%20Folder=/videos\nComboOutputFormat=13\nOverwrite=1\n"
              "DropDownItems=30\nSimpleAdvanceSettings=1\nLetterBox=1\nUseAllProcessorCores=0\n"
              "SimultaneousConversions=1\n");
    EXPECT_TRUE(Store.LoadSettings());
    EXPECT_EQ(Settings.SourceFolder(), "");
    EXPECT_FALSE(Stored().contains("Source Folder"));
    Settings.SetSourceFolder("/media/camera");
    ASSERT_TRUE(Store.SaveSettings());
    EXPECT_EQ(Stored().value("Source Folder"), "/media/camera");
    EXPECT_EQ(Stored().value("ComboOutputFormat"), "13");
}

TEST_F(SettingsStoreTest, AStoreFromBeforeTheSimultaneousChoiceKeepsItsValuesAndGainsIt) {
    WriteFile("[General]\nOutput%20Folder=/videos\nComboOutputFormat=13\nOverwrite=1\n"
              "DropDownItems=30\nSimpleAdvanceSettings=1\nLetterBox=1\nUseAllProcessorCores=0\n");
    EXPECT_FALSE(Store.LoadSettings());
    EXPECT_FALSE(Options.UseAllCores());
    EXPECT_EQ(Options.SimultaneousConversions(), TAdditionalOptions::DefaultSimultaneousConversions);
    QVariantMap expected{
        {"Output Folder", "/videos"},  {"ComboOutputFormat", "13"},      {"Overwrite", "1"},
        {"DropDownItems", "30"},       {"SimpleAdvanceSettings", "1"},   {"LetterBox", "1"},
        {"UseAllProcessorCores", "0"}, {"SimultaneousConversions", "1"}, {"Source Folder", ""}};
    EXPECT_EQ(Stored(), expected);
}

// A count the machine cannot give is pulled to the nearer end; a count that is no number
// leaves the choice as it was.
TEST_F(SettingsStoreTest, StoredSimultaneousCountIsPulledIntoRange) {
    const int cores = TAdditionalOptions::MaxSimultaneousConversions();
    const struct {
        const char* Value;
        int Count;
        bool Complete;
    } cases[] = {{"1", 1, true}, {"0", 1, true}, {"-4", 1, true}, {"999", cores, true}, {"two", 1, false}};
    for (const auto& c : cases) {
        Options.SetSimultaneousConversions(1);
        WriteFile(
            QByteArray("[General]\nOutput%20Folder=/videos\nComboOutputFormat=0\nOverwrite=0\n"
                       "DropDownItems=26\nSimpleAdvanceSettings=0\nLetterBox=0\nUseAllProcessorCores=1\n"
                       "SimultaneousConversions=") +
            c.Value + "\n");
        EXPECT_EQ(Store.LoadSettings(), c.Complete) << c.Value;
        EXPECT_EQ(Options.SimultaneousConversions(), c.Count) << c.Value;
        EXPECT_EQ(Settings.OutputFolder(), "/videos") << c.Value;
    }
}

TEST_F(SettingsStoreTest, StoredDropDownLengthReachesTheFormatList) {
    WriteFile("[General]\nDropDownItems=100\n");
    Store.LoadSettings();
    EXPECT_EQ(Options.DropDownItems(), 47);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 47);
    EXPECT_EQ(Settings.CurrentComboDropDownItem(), 47);
}

TEST_F(SettingsStoreTest, WrongTypedValuesGetFirstRunValuesAndTheGoodOnesStay) {
    // A list where a text belongs, words where numbers belong.
    WriteFile("[General]\nOutput%20Folder=/a, /b\nComboOutputFormat=13\nOverwrite=maybe\n"
              "DropDownItems=lots\nSimpleAdvanceSettings=1\nLetterBox=@Variant(\\0\\0\\0\\x7f)\n");
    EXPECT_FALSE(Store.LoadSettings());

    EXPECT_EQ(Settings.OutputFolder(), "");
    EXPECT_FALSE(Options.Overwrite());
    EXPECT_EQ(Options.DropDownItems(), 26);
    EXPECT_EQ(Settings.ComboLetterBox.ItemIndex(), 0);
    EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), 13);
    EXPECT_EQ(Options.SimpleAdvanceSettings(), 1);

    // The store is repaired from the controls.
    QVariantMap repaired = FirstRunValues();
    repaired["ComboOutputFormat"] = "13";
    repaired["SimpleAdvanceSettings"] = "1";
    EXPECT_EQ(Stored(), repaired);
}

TEST_F(SettingsStoreTest, GarbageFileGivesUsableValues) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919 + 13) % 256));
    WriteFile(garbage);
    Store.LoadSettings();
    ExpectFirstRunControls();
}

TEST_F(SettingsStoreTest, UnreadableStoreGivesFirstRunValuesAndSavingFailsQuietly) {
    // A folder where the file should be: neither readable nor writable, whoever runs the test.
    ASSERT_TRUE(QDir(Folder.path()).mkpath("Quenlo/Vantorix.conf"));
    Options.SetDropDownItems(33);
    EXPECT_FALSE(Store.LoadSettings());
    EXPECT_EQ(Options.DropDownItems(), 33); // the controls keep what they had
    EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), 0);
    EXPECT_FALSE(Store.SaveSettings());
}

} // namespace
