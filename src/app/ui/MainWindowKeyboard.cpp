// The main window for keyboard and screen-reader users: shortcut keys, the hints that name
// them, and names for the controls that show no text of their own.
#include "MainWindow.h"

#include "JobListView.h"
#include "PreviewPanel.h"
#include "WindowParts.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <iterator>

namespace vx {

void TMainWindow::CreateShortcuts() {
    AddFiles1->setShortcut(QKeySequence::Open);
    Convert1->setShortcut(Qt::Key_F5);
    Stop1->setShortcut(Qt::SHIFT | Qt::Key_F5);
    OpenHelpFile1->setShortcut(QKeySequence::HelpContents);
    // A run disables the menus that show these; the window keeps the keys working, Stop above all.
    addActions({AddFiles1, Convert1, Stop1, OpenHelpFile1});
    // Delete acts on the rows where they are: in the list.
    DeleteSelectedItem1->setShortcut(QKeySequence::Delete);
    DeleteSelectedItem1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ListView1->addAction(DeleteSelectedItem1);

    const auto hint = [](QAbstractButton* AButton, const QString& AText, const QAction* AAction) {
        AButton->setToolTip(
            QStringLiteral("%1 (%2)").arg(AText, AAction->shortcut().toString(QKeySequence::NativeText)));
        AButton->setToolTipDuration(HintHidePause);
    };
    hint(ButtonAddFile, QStringLiteral("Add files to the list"), AddFiles1);
    hint(ButtonRemoveFile, QStringLiteral("Remove the selected files from the list"), DeleteSelectedItem1);
    hint(ButtonStopConvert, QStringLiteral("Stop converting"), Stop1);
    hint(ButtonStop, QStringLiteral("Stop converting"), Stop1);
    hint(ButtonConvert, QStringLiteral("Convert the checked files"), Convert1);
}

void TMainWindow::NameControls() {
    ListView1->setAccessibleName(QStringLiteral("Files to convert"));
    ListView1->setAccessibleDescription(
        QStringLiteral("Space checks or unchecks the selected files, Delete removes them"));
    EditOutputFolder->setAccessibleName(QStringLiteral("Output folder"));
    ButtonBrowseForFolder->setAccessibleName(QStringLiteral("Choose the output folder"));
    ComboOutputFormat->setAccessibleName(QStringLiteral("Output format"));
    TrackBar1->setAccessibleName(QStringLiteral("Volume"));
    TrackBar2->setAccessibleName(QStringLiteral("Volume"));
    ProgressBar1->setAccessibleName(QStringLiteral("Progress of the current file"));
    PanelPlay->setAccessibleName(QStringLiteral("Preview"));
    for (QWidget* pictureOnly :
         {static_cast<QWidget*>(SpeedButtonPLAY), static_cast<QWidget*>(SpeedButtonPAUSE),
          static_cast<QWidget*>(SpeedButtonSTOP), static_cast<QWidget*>(Image1)})
        pictureOnly->setAccessibleName(pictureOnly->toolTip());
}

void TMainWindow::SetTabOrder() {
    // Only one of the two settings views shows at a time; Tab passes over the hidden one.
    QWidget* const order[] = {
        ButtonAddFile,
        ButtonRemoveFile,
        ButtonClearAll,
        ButtonStopConvert,
        ButtonConvert,
        ButtonBrowseForFolder,
        ComboOutputFormat,
        ListView1,
        ComboBoxVideoQuality,
        ComboBoxVideoSize,
        ComboBoxVideoFramerate,
        ComboBoxAudioQuality,
        ComboBoxAudioChannels,
        TrackBar2,
        ComboVideoCodec,
        ComboVideoSize,
        ComboVideoBitrate,
        ComboVideoFramerate,
        ComboAudioCodec,
        ComboAudioBitrate,
        ComboAudioChannels,
        ComboSamplingRate,
        TrackBar1,
        ButtonStop,
        SpeedButtonPLAY,
        SpeedButtonPAUSE,
        SpeedButtonSTOP,
    };
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

} // namespace vx
