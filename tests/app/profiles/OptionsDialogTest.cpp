// The "Additional Options" dialog and the combo box binding of the settings lists, on the
// offscreen platform.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "AdditionalOptions.h"
#include "AdditionalOptionsDialog.h"
#include "ConversionSettings.h"
#include "SettingsListCombo.h"
#include "SettingsStore.h"

using namespace vx;

namespace {

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Folder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Folder.path());
        Settings.FillStartupLists();
        Settings.SetAdditionalOptions(&Options);
        QObject::connect(&Options, &TAdditionalOptions::ViewApplied,
                         [this](int AView) { AppliedViews.push_back(AView); });
    }

    void WriteFile(const QByteArray& AContents) {
        ASSERT_TRUE(QDir(Folder.path()).mkpath("Quenlo"));
        QFile file(Folder.filePath("Quenlo/Vantorix.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AContents);
    }

    QTemporaryDir Folder;
    TConversionSettings Settings;
    TAdditionalOptions Options;
    TSettingsStore Store{Settings, Options};
    std::vector<int> AppliedViews;
};

TEST_F(OptionsDialogTest, FirstStartShowsTheDefaultsInANonModalDialog) {
    TAdditionalOptionsDialog dialog(Options, &Store);
    EXPECT_EQ(dialog.windowTitle(), "Additional Options");
    EXPECT_FALSE(dialog.isModal());
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dialog.size(), QSize(375, 344));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()); // a dialog border: not resizable

    QStringList groups;
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
        groups << group->title();
    EXPECT_TRUE(groups.contains(" Additional Options "));
    EXPECT_TRUE(groups.contains(" Audio and Video Settings "));
    EXPECT_EQ(dialog.CheckBoxOverWrite->text(), "Overwrite Existing File With The Same Name");
    EXPECT_FALSE(dialog.CheckBoxOverWrite->isChecked());
    EXPECT_EQ(dialog.CheckBoxAllCores->text(), "Use all processor cores");
    EXPECT_TRUE(dialog.CheckBoxAllCores->isChecked());
    EXPECT_EQ(dialog.SpinSimultaneous->minimum(), 1);
    EXPECT_EQ(dialog.SpinSimultaneous->maximum(), QThread::idealThreadCount());
    EXPECT_EQ(dialog.SpinSimultaneous->value(), TAdditionalOptions::DefaultSimultaneousConversions);
    EXPECT_EQ(dialog.SpinEdit1->minimum(), 26);
    EXPECT_EQ(dialog.SpinEdit1->maximum(), 47);
    EXPECT_EQ(dialog.SpinEdit1->value(), 26);
    bool labelFound = false;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        labelFound |= label->text() == "Drop Down Items in Output Format List";
    EXPECT_TRUE(labelFound);
    const QLabel* simultaneousLabel = nullptr;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (label->buddy() == dialog.SpinSimultaneous)
            simultaneousLabel = label;
    ASSERT_NE(simultaneousLabel, nullptr);
    EXPECT_EQ(simultaneousLabel->text(), "Simultaneous conversions");
    EXPECT_EQ(dialog.RadioSimple->text(), "Show Simple Audio and Video Settings");
    EXPECT_EQ(dialog.RadioAdvance->text(), "Show Advance Audio and Video Settings");
    EXPECT_TRUE(dialog.RadioSimple->isChecked());
    EXPECT_EQ(dialog.Button1->text(), "Done");

    // Creating the dialog loaded (and so seeded) the store and applied the view once.
    EXPECT_TRUE(QFile::exists(Folder.filePath("Quenlo/Vantorix.conf")));
    EXPECT_EQ(AppliedViews, std::vector<int>{0});
}

TEST_F(OptionsDialogTest, StoredChoicesShowAndTakeEffectAtStart) {
    WriteFile("[General]\nOutput%20Folder=/v\nComboOutputFormat=3\nOverwrite=1\nDropDownItems=100\n"
              "SimpleAdvanceSettings=1\nLetterBox=0\nUseAllProcessorCores=0\n");
    TAdditionalOptionsDialog dialog(Options, &Store);
    EXPECT_TRUE(dialog.CheckBoxOverWrite->isChecked());
    EXPECT_FALSE(dialog.CheckBoxAllCores->isChecked());
    EXPECT_EQ(Options.CodecThreads(), 1);
    EXPECT_EQ(dialog.SpinEdit1->value(), 47);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 47);
    EXPECT_TRUE(dialog.RadioAdvance->isChecked());
    EXPECT_EQ(AppliedViews, std::vector<int>{1}); // the program starts in the advanced view
}

TEST_F(OptionsDialogTest, ControlsActAtOnceAndDoneOnlyHides) {
    TAdditionalOptionsDialog dialog(Options, &Store);
    dialog.show();
    AppliedViews.clear();

    dialog.CheckBoxOverWrite->click();
    EXPECT_TRUE(Options.Overwrite());
    dialog.CheckBoxAllCores->click();
    EXPECT_EQ(Options.CodecThreads(), 1);
    dialog.SpinSimultaneous->setValue(2);
    EXPECT_EQ(Options.SimultaneousConversions(), std::min(2, QThread::idealThreadCount()));
    dialog.SpinEdit1->setValue(35);
    EXPECT_EQ(Options.DropDownItems(), 35);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 35);
    EXPECT_EQ(Settings.CurrentComboDropDownItem(), 35);
    dialog.RadioAdvance->click();
    EXPECT_EQ(Options.SimpleAdvanceSettings(), 1);
    EXPECT_EQ(AppliedViews, std::vector<int>{1});

    dialog.Button1->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Options.DropDownItems(), 35); // nothing to confirm or undo

    // The window's own view switch shows in the dialog too, and so does the command line's count.
    Options.SetSimpleAdvanceSettings(0);
    EXPECT_TRUE(dialog.RadioSimple->isChecked());
    Options.SetSimultaneousConversions(1);
    EXPECT_EQ(dialog.SpinSimultaneous->value(), 1);
}

TEST_F(OptionsDialogTest, ComboBoxFollowsItsListAndHandsBackTheUsersChoice) {
    QComboBox format;
    QComboBox bitrate;
    BindComboBox(&format, &Settings.ComboOutputFormat);
    BindComboBox(&bitrate, &Settings.ComboVideoBitrate);
    // The window applies a choice after the binding has passed it to the list.
    QObject::connect(&format, &QComboBox::activated, [this] { Settings.ComboOutputFormatChange(); });
    EXPECT_EQ(format.count(), 45);
    EXPECT_EQ(format.maxVisibleItems(), 25);

    emit format.activated(2); // ASF, as a user's pick reports it
    EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), 2);
    EXPECT_EQ(Settings.CurrentOutputFormat(), "ASF");
    EXPECT_EQ(bitrate.count(), 5);
    EXPECT_EQ(bitrate.currentText(), "1200 Kbps");
    EXPECT_EQ(format.maxVisibleItems(), 26);

    format.setCurrentIndex(18);
    emit format.activated(18); // a separator: the list and the combo box return to ASF
    EXPECT_EQ(format.currentIndex(), 2);

    emit bitrate.activated(3);
    EXPECT_EQ(Settings.ComboVideoBitrate.Text(), "2500 Kbps");
    emit format.activated(23); // MP3 empties the video lists
    EXPECT_EQ(bitrate.count(), 0);
    EXPECT_EQ(bitrate.currentIndex(), -1);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
