// The main window on the offscreen platform: its make-up, the handlers behind every control and
// menu item, the converting state, start-up and shut-down, drops, and a real run of two files.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AboutBox.h"
#include "AdditionalOptionsDialog.h"
#include "DesktopNotifier.h"
#include "FormatAvailability.h"
#include "JobListView.h"
#include "LogView.h"
#include "MainWindow.h"
#include "MediaFixtures.h"
#include "OutputCatalogue.h"
#include "PreviewPanel.h"
#include "PreviewWindow.h"
#include "ScreenFit.h"
#include "SourceFileFilters.h"
#include "WindowParts.h"
#include "base/FFLoad.h"

using namespace vx;

QT_BEGIN_NAMESPACE
// Readable failure messages for texts.
inline void PrintTo(const QString& AText, std::ostream* AStream) {
    *AStream << '"' << AText.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

// The window with its doors to the user and the system replaced by recorders.
class TTestWindow : public TMainWindow {
public:
    struct TMessage {
        QString Text;
        QString Caption;
        TIcon Icon;
        TButtons Buttons;
    };

    TAnswer MessageBox(const QString& AText, const QString& ACaption, TIcon AIcon,
                       TButtons AButtons) override {
        Messages.push_back({AText, ACaption, AIcon, AButtons});
        if (OnMessage)
            OnMessage(Messages.back());
        return AButtons == TButtons::Ok ? TAnswer::Ok : Answer;
    }
    QStringList MessageTexts() const {
        QStringList texts;
        for (const TMessage& m : Messages)
            texts << m.Text;
        return texts;
    }

    std::vector<TMessage> Messages;
    std::function<void(const TMessage&)> OnMessage;
    TAnswer Answer = TAnswer::Yes;

    bool LibrariesMissing = false;
    QString LibraryFolder; // empty: the program's folder
    int FolderBrowserCalls = 0;
    QString FolderToChoose; // empty: the user cancels
    int OpenDialogCalls = 0;
    QStringList FilesToChoose;
    std::function<void()> WhileOpenDialogShows;
    std::vector<QUrl> OpenedUrls;
    bool UrlsOpen = true; // false: the system has no handler (no browser, no file manager)
    int Terminations = 0;

protected:
    bool LoadLibraries() override {
        if (LibrariesMissing)
            return false;
        return LibraryFolder.isEmpty() ? TMainWindow::LoadLibraries()
                                       : Encoder.LoadAVLib(LibraryFolder.toStdString());
    }
    bool ExecuteFolderBrowser(QString& AFolder) override {
        ++FolderBrowserCalls;
        AFolder = FolderToChoose;
        return !AFolder.isEmpty();
    }
    QStringList ExecuteOpenDialog() override {
        ++OpenDialogCalls;
        if (WhileOpenDialogShows)
            WhileOpenDialogShows();
        return FilesToChoose;
    }
    bool OpenUrl(const QUrl& AUrl) override {
        OpenedUrls.push_back(AUrl);
        return UrlsOpen;
    }
    void Terminate() override { ++Terminations; }
};

QStringList Captions(const TJobListModel& AList) {
    QStringList captions;
    for (int row = 0; row < AList.Count(); ++row)
        captions << AList.Caption(row);
    return captions;
}

// The items' texts without their mnemonic marks.
QStringList ActionTexts(const QMenu* AMenu) {
    QStringList texts;
    for (const QAction* action : AMenu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : QString(action->text()).remove('&'));
    return texts;
}

// Chooses an item of a drop-down list as the user does.
void Choose(QComboBox* ACombo, const QString& AText) {
    const int index = ACombo->findText(AText);
    ASSERT_GE(index, 0) << AText.toStdString();
    ACombo->setCurrentIndex(index);
    emit ACombo->activated(index);
}

// Drops local paths on the job list as a file manager does.
void DropFiles(TJobListView* AView, const QStringList& APaths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : APaths)
        urls << QUrl::fromLocalFile(path);
    mime.setUrls(urls);
    const QPoint at = AView->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(AView->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(AView->viewport(), &drop);
    // The rows are added once the drop itself has ended.
    QCoreApplication::processEvents();
}

// With VANTORIX_SCREENSHOT_DIR set (under Xvfb) the whole screen is saved there as NAME.png.
void SaveScreen(const QWidget* AWidget, const char* AName) {
    const QByteArray dir = qgetenv("VANTORIX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QTest::qWait(300);
    AWidget->screen()->grabWindow(0).save(QString::fromLocal8Bit(dir) + "/" + AName + ".png");
}

// Shows the window's own message box for ATest and saves the screen while it is up.
void SaveMessageBox(TMainWindow& AWindow, const QString& AText, const char* AName) {
    QTimer::singleShot(0, &AWindow, [&AWindow, AName] {
        SaveScreen(&AWindow, AName);
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    AWindow.TMainWindow::MessageBox(AText, "Information", TBatchUI::TIcon::Information,
                                    TBatchUI::TButtons::Ok);
}

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        if (!Media) {
            Media = std::make_unique<fixtures::TTempDir>();
            fixtures::TMediaSpec longer = fixtures::AviMpeg4Mp3();
            longer.Seconds = 6;
            fixtures::WriteMedia(Media->File("clip.avi"), longer);
            // Long and large enough that its conversion reports progress several times.
            fixtures::TMediaSpec large = longer;
            large.Seconds = 10;
            large.Videos[0].Width = 640;
            large.Videos[0].Height = 480;
            fixtures::WriteMedia(Media->File("long clip.avi"), large);
            fixtures::WriteMedia(Media->File("second clip.avi"), fixtures::AviMpeg4Mp3());
            fixtures::WriteTextFile(Media->File("notes.avi"), "not a video at all\n");
            fixtures::WriteMedia(Media->File("song.mp3"), fixtures::Mp3AudioOnly());
        }
    }
    static QString MediaFile(const char* AName) { return QString::fromStdString(Media->File(AName)); }

    void SetUp() override {
        ASSERT_TRUE(Config.isValid());
        ASSERT_TRUE(Out.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Config.path());
        Window = MakeWindow();
        ASSERT_TRUE(Window->FormCreate());
        Window->show();
    }

    void TearDown() override {
        // A test that failed half-way may leave a run behind; it must not outlive the window.
        if (Window && Window->Driver.Converting())
            Window->Driver.ButtonStopConvertClick();
        Window.reset();
    }

    static std::unique_ptr<TTestWindow> MakeWindow() { return std::make_unique<TTestWindow>(); }

    void AddRows(const QStringList& ACaptions) {
        for (const QString& caption : ACaptions)
            Window->JobList.AddRow(caption);
    }

    // Waits (processing events) until the run has ended with its completion message.
    bool WaitForCompletion(int ATimeoutMs = 120000) {
        return QTest::qWaitFor(
            [this] {
                return Window->MessageTexts().contains(TBatchDriver::CompletedText) &&
                       !Window->Driver.Converting();
            },
            ATimeoutMs);
    }

    // Waits (processing events) until a started run has ended, whatever its message.
    bool WaitForRunEnd(int ATimeoutMs = 120000) {
        return QTest::qWaitFor([this] { return !Window->Driver.Converting(); }, ATimeoutMs);
    }

    static inline std::unique_ptr<fixtures::TTempDir> Media;
    QTemporaryDir Config;
    QTemporaryDir Out;
    std::unique_ptr<TTestWindow> Window;
};

// ---------------------------------------------------------------------------------------------

TEST_F(MainWindowTest, StartsCentredInItsOwnSizeWithItsMenusListAndPanels) {
    TTestWindow& w = *Window;
    EXPECT_EQ(w.windowTitle(), "Vantorix");
    // The client area under the menu holds everything down to the status bar, the list as high
    // as it was designed; the window can be made larger and smaller.
    EXPECT_EQ(w.centralWidget()->width(), 760);
    EXPECT_EQ(w.centralWidget()->height() + w.statusBar()->height(), 513);
    EXPECT_EQ(w.ListView1->parentWidget()->height(), 201);
    QApplication::processEvents();
    EXPECT_FALSE(w.ScrollLower->verticalScrollBar()->isVisible());
    EXPECT_FALSE(w.ScrollLower->horizontalScrollBar()->isVisible());
    EXPECT_LT(w.minimumSize().height(), w.height());
    EXPECT_GT(w.maximumSize().width(), w.width());
    const QRect screen = w.screen()->availableGeometry();
    EXPECT_LE((w.geometry().center() - screen.center()).manhattanLength(), 2);

    EXPECT_EQ(w.ButtonAddFile->text(), "Add File");
    EXPECT_EQ(w.ButtonRemoveFile->text(), "Remove File");
    EXPECT_EQ(w.ButtonClearAll->text(), "Clear All ");
    EXPECT_EQ(w.ButtonStopConvert->text(), "Stop Convert");
    EXPECT_EQ(w.ButtonConvert->text(), "Go Convert ");
    for (const QToolButton* button :
         {w.ButtonAddFile, w.ButtonRemoveFile, w.ButtonClearAll, w.ButtonStopConvert, w.ButtonConvert}) {
        EXPECT_FALSE(button->icon().isNull());
        EXPECT_TRUE(button->font().bold());
    }

    QStringList menus;
    for (const QAction* menu : w.menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Options", "&View", "&Help"}));
    EXPECT_EQ(ActionTexts(w.MenuFile),
              QStringList({"Add Files", "-", "Convert", "Stop Convert", "Retry Failed Rows", "-",
                           "Open Output Folder", "-", "Exit"}));
    EXPECT_EQ(ActionTexts(w.MenuOptions), QStringList({"Set Options"}));
    EXPECT_EQ(ActionTexts(w.MenuView), QStringList({"Log"}));
    EXPECT_EQ(ActionTexts(w.MenuHelp),
              QStringList({"Open Help File", "-", "Visit Our Website", "-", "About"}));
    EXPECT_EQ(ActionTexts(w.PopupMenu1),
              QStringList({"-", "Check All Items", "Uncheck All Items", "-", "Remove Selected Item",
                           "Clear All Items", "-", "Play This Video", "Stop Playing"}));

    const QHeaderView* header = w.ListView1->horizontalHeader();
    const int widths[] = {310, 90, 80, 60, 65, 57, 60};
    const QStringList captions = {"Video File Name", "Video Size", "FrameRate", "Duration",
                                  "Output",          "Progress",   "Frames"};
    ASSERT_EQ(header->count(), 7);
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(header->sectionSize(column), widths[column]) << column;
        EXPECT_EQ(w.JobList.headerData(column, Qt::Horizontal).toString(), captions[column]);
    }
    w.JobList.AddRow("/media/clip.avi");
    EXPECT_EQ(w.JobList.data(w.JobList.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(w.JobList.data(w.JobList.index(0, 3), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));

    // The player draws into the preview panel's own window; Qt must leave it alone.
    EXPECT_EQ(w.PanelPlay->size(), QSize(184, 131));
    EXPECT_EQ(w.PanelPlay->paintEngine(), nullptr);
    for (Qt::WidgetAttribute attribute :
         {Qt::WA_NativeWindow, Qt::WA_PaintOnScreen, Qt::WA_OpaquePaintEvent, Qt::WA_NoSystemBackground})
        EXPECT_TRUE(w.PanelPlay->testAttribute(attribute)) << attribute;
    EXPECT_EQ(w.SpeedButtonPLAY->toolTip(), "Play Selected Video");
    EXPECT_EQ(w.SpeedButtonPAUSE->toolTip(), "Pause Playing");
    EXPECT_EQ(w.SpeedButtonSTOP->toolTip(), "Stop Playing");
    EXPECT_EQ(w.Image1->toolTip(), "Switch between Advance/Simple Settings");
    EXPECT_EQ(w.Image1->size(), QSize(10, 10));
    EXPECT_EQ(w.Image1->toolTipDuration(), 30000);

    EXPECT_EQ(w.StatusPanels[0]->text(), "Ready");
    EXPECT_EQ(w.StatusPanels[0]->width(), 150);
    EXPECT_EQ(w.StatusPanels[1]->width(), 300);
    EXPECT_EQ(w.StatusPanels[2]->width(), 50);
    EXPECT_EQ(w.ProgressBar1->width(), 439);
    EXPECT_EQ(w.ButtonStop->text(), "Stop");
    EXPECT_TRUE(w.EditOutputFolder->isReadOnly());
    EXPECT_EQ(w.EditOutputFolder->width(), 244);
    EXPECT_EQ(w.ComboOutputFormat->width(), 330);

    // Start-up: the first run's simple view, the volume at 100 %, the format applied on showing,
    // the general lists filled but out of sight.
    EXPECT_TRUE(w.GroupBoxSimpleVideo->isVisible());
    EXPECT_FALSE(w.GroupBoxVideo->isVisible());
    EXPECT_FALSE(w.GroupBoxGeneral->isVisible());
    EXPECT_EQ(w.LabelVolume->text(), "100%");
    EXPECT_EQ(w.Volume.VolumeValue(), 255);
    EXPECT_EQ(w.Settings.CurrentOutputFormat(), "3GP");
    EXPECT_EQ(w.ComboVideoSize->currentText(), "176 x 144 (QCIF)");
    EXPECT_EQ(w.ComboBoxAudioChannels->currentText(), "Mono");
    EXPECT_EQ(w.ComboOutputFormat->maxVisibleItems(), 26);
    EXPECT_EQ(w.ComboAspectRatio->currentText(), "Original");
    EXPECT_EQ(w.ComboLetterBox->currentText(), "None");
    EXPECT_FALSE(w.Driver.NextRowPending());
    EXPECT_TRUE(w.Messages.empty());
}

TEST_F(MainWindowTest, EveryControlAndMenuItemRunsItsHandler) {
    const QString helpFile = Out.filePath("help.html");
    {
        QFile file(helpFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html></html>");
    }
    const QStringList rows = {"/media/a.avi", "/media/b.avi", "/media/c.avi"};

    struct TCase {
        const char* Control;
        std::function<void(TTestWindow&)> Act;
        std::function<void(TTestWindow&)> Check;
    };
    auto addedTwo = [](TTestWindow& w) {
        EXPECT_EQ(w.OpenDialogCalls, 1);
        EXPECT_EQ(w.JobList.Count(), 5);
        EXPECT_EQ(w.JobList.Caption(3), "/media/new one.mp4");
        EXPECT_FALSE(w.Driver.AddFileInProgress());
    };
    auto removedSecond = [](TTestWindow& w) {
        EXPECT_EQ(Captions(w.JobList), QStringList({"/media/a.avi", "/media/c.avi"}));
    };
    auto cleared = [](TTestWindow& w) { EXPECT_EQ(w.JobList.Count(), 0); };
    auto askedForFiles = [](TTestWindow& w) {
        EXPECT_EQ(w.MessageTexts(), QStringList({"Please Add Files To Convert!"}));
    };
    auto stoppedIdle = [](TTestWindow& w) {
        // Nothing runs: no question, and no further row is to start.
        EXPECT_TRUE(w.Messages.empty());
        EXPECT_TRUE(w.Driver.NoFurtherRowToStart());
    };
    const std::vector<TCase> cases = {
        {"Add File", [](TTestWindow& w) { w.ButtonAddFile->click(); }, addedTwo},
        {"File > Add Files", [](TTestWindow& w) { w.AddFiles1->trigger(); }, addedTwo},
        {"Remove File",
         [](TTestWindow& w) {
             w.ListView1->selectRow(1);
             w.ButtonRemoveFile->click();
         },
         removedSecond},
        {"Remove Selected Item",
         [](TTestWindow& w) {
             w.ListView1->selectRow(1);
             w.DeleteSelectedItem1->trigger();
         },
         removedSecond},
        {"Clear All ", [](TTestWindow& w) { w.ButtonClearAll->click(); }, cleared},
        {"Clear All Items", [](TTestWindow& w) { w.ClearAllItems1->trigger(); }, cleared},
        {"Uncheck All Items, Check All Items",
         [](TTestWindow& w) {
             w.UncheckAllItems1->trigger();
             for (int row = 0; row < 3; ++row)
                 EXPECT_FALSE(w.JobList.Checked(row));
             w.JobList.SetChecked(1, true);
             w.CheckAllItems1->trigger();
         },
         [](TTestWindow& w) {
             for (int row = 0; row < 3; ++row)
                 EXPECT_TRUE(w.JobList.Checked(row));
         }},
        {"folder button", [](TTestWindow& w) { w.ButtonBrowseForFolder->click(); },
         [](TTestWindow& w) {
             EXPECT_EQ(w.FolderBrowserCalls, 1);
             EXPECT_EQ(w.EditOutputFolder->text(), "/chosen/folder");
             EXPECT_EQ(w.Settings.OutputFolder(), "/chosen/folder");
         }},
        {"Go Convert ",
         [](TTestWindow& w) {
             w.JobList.Clear();
             w.ButtonConvert->click();
         },
         askedForFiles},
        {"File > Convert",
         [](TTestWindow& w) {
             w.JobList.Clear();
             w.Convert1->trigger();
         },
         askedForFiles},
        {"Stop Convert", [](TTestWindow& w) { w.ButtonStopConvert->click(); }, stoppedIdle},
        {"Stop", [](TTestWindow& w) { w.ButtonStop->click(); }, stoppedIdle},
        {"File > Stop Convert", [](TTestWindow& w) { w.Stop1->trigger(); }, stoppedIdle},
        {"format list", [](TTestWindow& w) { Choose(w.ComboOutputFormat, "RM - Real Video (*.rm)"); },
         [](TTestWindow& w) {
             for (int row = 0; row < 3; ++row)
                 EXPECT_EQ(w.JobList.Cell(row, jcOutput), "RM");
             EXPECT_EQ(w.Settings.OutputExtension(), ".rm");
             EXPECT_EQ(w.ComboVideoCodec->currentText(), "RV10");
             EXPECT_EQ(w.ComboBoxAudioChannels->currentText(), "Stereo");
         }},
        {"format list separator",
         [](TTestWindow& w) {
             Choose(w.ComboOutputFormat, "MP3 - Mpeg Layer3 Audio (*.mp3)");
             const int separator = w.ComboOutputFormat->findText("-----", Qt::MatchContains);
             w.ComboOutputFormat->setCurrentIndex(separator);
             emit w.ComboOutputFormat->activated(separator);
         },
         [](TTestWindow& w) {
             EXPECT_EQ(w.ComboOutputFormat->currentText(), "MP3 - Mpeg Layer3 Audio (*.mp3)");
             EXPECT_EQ(w.ComboAudioBitrate->currentText(), "192 Kbps");
             EXPECT_EQ(w.ComboVideoCodec->count(), 0);
         }},
        {"Image1", [](TTestWindow& w) { QTest::mouseClick(w.Image1, Qt::LeftButton); },
         [](TTestWindow& w) {
             EXPECT_TRUE(w.GroupBoxVideo->isVisible());
             EXPECT_TRUE(w.GroupBoxAudio->isVisible());
             EXPECT_FALSE(w.GroupBoxSimpleVideo->isVisible());
             EXPECT_FALSE(w.GroupBoxSimpleAudio->isVisible());
             EXPECT_EQ(w.Options.SimpleAdvanceSettings(), TAdditionalOptions::AdvanceSettings);
             EXPECT_TRUE(w.OptionsDialog->RadioAdvance->isChecked());
         }},
        {"advanced volume slider", [](TTestWindow& w) { w.TrackBar1->setValue(0); },
         [](TTestWindow& w) {
             EXPECT_EQ(w.LabelVolume->text(), "200%");
             EXPECT_EQ(w.Volume.VolumeValue(), 600);
         }},
        {"simple volume slider", [](TTestWindow& w) { w.TrackBar2->setValue(8); },
         [](TTestWindow& w) {
             EXPECT_EQ(w.LabelTrackBar2->text(), "160%");
             EXPECT_EQ(w.TrackBar1->value(), 2);
             EXPECT_EQ(w.LabelVolume->text(), "160%");
             EXPECT_EQ(w.Volume.VolumeValue(), 400);
         }},
        {"Options > Set Options", [](TTestWindow& w) { w.SetGeneralOptions1->trigger(); },
         [](TTestWindow& w) {
             EXPECT_TRUE(w.OptionsDialog->isVisible());
             EXPECT_FALSE(w.OptionsDialog->isModal());
         }},
        {"Help > Open Help File", [](TTestWindow& w) { w.OpenHelpFile1->trigger(); },
         [helpFile](TTestWindow& w) {
             ASSERT_EQ(w.OpenedUrls.size(), 1u);
             EXPECT_EQ(w.OpenedUrls[0], QUrl::fromLocalFile(helpFile));
             EXPECT_TRUE(w.Messages.empty());
         }},
        {"Help > Open Help File, document missing",
         [helpFile](TTestWindow& w) {
             QFile::remove(helpFile);
             w.OpenHelpFile1->trigger();
         },
         [helpFile](TTestWindow& w) {
             EXPECT_TRUE(w.OpenedUrls.empty());
             ASSERT_EQ(w.Messages.size(), 1u);
             EXPECT_EQ(w.Messages[0].Text, TMainWindow::HelpMissingText(helpFile));
             EXPECT_EQ(w.Messages[0].Caption, "Information");
         }},
        {"Help > web page", [](TTestWindow& w) { w.VisitOurWebsite1->trigger(); },
         [](TTestWindow& w) {
             ASSERT_EQ(w.OpenedUrls.size(), 1u);
             EXPECT_EQ(w.OpenedUrls[0], TMainWindow::WebPage());
             EXPECT_TRUE(w.OpenedUrls[0].isValid());
         }},
        {"Help > web page, no browser",
         [](TTestWindow& w) {
             w.UrlsOpen = false;
             w.VisitOurWebsite1->trigger();
         },
         [](TTestWindow& w) {
             ASSERT_EQ(w.Messages.size(), 1u);
             EXPECT_EQ(w.Messages[0].Text, TMainWindow::WebPageFailedText(TMainWindow::WebPage()));
             EXPECT_TRUE(w.Messages[0].Text.contains(TMainWindow::WebPage().toString()));
             EXPECT_EQ(w.Messages[0].Caption, "Information");
         }},
        {"File > Open Output Folder",
         [this](TTestWindow& w) {
             w.Settings.SetOutputFolder(Out.path());
             w.OpenOutputFolder1->trigger();
         },
         [this](TTestWindow& w) {
             ASSERT_EQ(w.OpenedUrls.size(), 1u);
             EXPECT_EQ(w.OpenedUrls[0], QUrl::fromLocalFile(Out.path()));
             EXPECT_TRUE(w.Messages.empty());
         }},
        {"File > Open Output Folder, none chosen", [](TTestWindow& w) { w.OpenOutputFolder1->trigger(); },
         [](TTestWindow& w) {
             EXPECT_TRUE(w.OpenedUrls.empty());
             EXPECT_EQ(w.MessageTexts(), QStringList{TBatchDriver::NoOutputFolderText});
         }},
        {"Help > About",
         [](TTestWindow& w) {
             bool shownModal = false;
             QTimer::singleShot(0, &w, [&w, &shownModal] {
                 shownModal = QApplication::activeModalWidget() == w.AboutBox;
                 w.AboutBox->ButtonOK->click();
             });
             w.About1->trigger();
             EXPECT_TRUE(shownModal);
         },
         [](TTestWindow& w) { EXPECT_FALSE(w.AboutBox->isVisible()); }},
        {"File > Exit", [](TTestWindow& w) { w.Exit1->trigger(); },
         [](TTestWindow& w) { EXPECT_EQ(w.Terminations, 1); }},
    };

    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Control);
        Window.reset();
        Window = MakeWindow();
        ASSERT_TRUE(Window->FormCreate());
        Window->show();
        AddRows(rows);
        Window->FolderToChoose = "/chosen/folder";
        Window->FilesToChoose = {"/media/new one.mp4", "/media/new two.mp4"};
        Window->SetHelpFile(helpFile);
        c.Act(*Window);
        c.Check(*Window);
    }
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionAndOpensTheMakersAddresses) {
    const TAboutBox& about = *Window->AboutBox;
    EXPECT_TRUE(about.isModal());
    EXPECT_EQ(about.LabelName->text(), "Vantorix");
    EXPECT_EQ(about.LabelVersion->text(), "Version 4.1");
    EXPECT_TRUE(about.LabelSupport->text().contains("Contact Support Department"));
    emit about.LabelWebPage->linkActivated(TMainWindow::WebPage().toString());
    emit about.LabelSupport->linkActivated("mailto:" + TMainWindow::SupportMail());
    ASSERT_EQ(Window->OpenedUrls.size(), 2u);
    EXPECT_EQ(Window->OpenedUrls[0], TMainWindow::WebPage());
    EXPECT_EQ(Window->OpenedUrls[1].scheme(), "mailto");
    EXPECT_EQ(Window->OpenedUrls[1].path(), TMainWindow::SupportMail());
}

TEST_F(MainWindowTest, MissingLibrariesEndTheStartUpWithTheMessage) {
    TTestWindow window;
    window.LibrariesMissing = true;
    EXPECT_FALSE(window.FormCreate());
    ASSERT_EQ(window.Messages.size(), 1u);
    EXPECT_EQ(window.Messages[0].Text, "Some files are missing. Please re-install this software");
    EXPECT_EQ(window.Messages[0].Caption, "Information");
    EXPECT_EQ(window.Messages[0].Icon, TBatchUI::TIcon::Information);
    // Nothing else of the start-up ran.
    EXPECT_EQ(window.OptionsDialog, nullptr);
    EXPECT_EQ(window.Settings.ComboOutputFormat.Count(), 0);
}

TEST_F(MainWindowTest, SwitchingToTheAdvancedViewPutsItsVolumeBackTo100Percent) {
    TTestWindow& w = *Window;
    QTest::mouseClick(w.Image1, Qt::LeftButton); // advanced
    w.TrackBar1->setValue(0);
    ASSERT_EQ(w.Volume.VolumeValue(), 600);
    QTest::mouseClick(w.Image1, Qt::LeftButton); // simple: its own slider goes to 100 %
    EXPECT_EQ(w.TrackBar2->value(), 5);
    EXPECT_EQ(w.LabelTrackBar2->text(), "100%");
    w.TrackBar2->setValue(9); // moves the advanced slider to 180 %
    ASSERT_EQ(w.TrackBar1->value(), 1);
    QTest::mouseClick(w.Image1, Qt::LeftButton); // advanced again
    EXPECT_EQ(w.TrackBar1->value(), 5);
    EXPECT_EQ(w.LabelVolume->text(), "100%");
    EXPECT_EQ(w.Volume.VolumeValue(), 255);
}

// Exit ends the program without the close handling: the settings stay as they were stored.
TEST_F(MainWindowTest, ClosingSavesTheSettingsButExitDoesNot) {
    struct TCase {
        const char* Name;
        bool Exit;
    };
    for (const TCase c : {TCase{"close", false}, TCase{"File > Exit", true}}) {
        SCOPED_TRACE(c.Name);
        Window.reset();
        QSettings(TSettingsStore::Organization, TSettingsStore::Application).clear();
        Window = MakeWindow();
        ASSERT_TRUE(Window->FormCreate());
        Window->show();
        Window->FolderToChoose = Out.path();
        Window->ButtonBrowseForFolder->click();
        Choose(Window->ComboOutputFormat, "WAV - Waveform Audio (*.wav)");
        if (c.Exit) {
            Window->Exit1->trigger();
            EXPECT_EQ(Window->Terminations, 1);
            // Whatever closes the window while the program ends saves nothing either.
            Window->close();
        } else {
            EXPECT_TRUE(Window->close());
        }
        Window.reset();

        auto next = MakeWindow();
        ASSERT_TRUE(next->FormCreate());
        next->show();
        EXPECT_EQ(next->EditOutputFolder->text(), c.Exit ? QString() : Out.path());
        EXPECT_EQ(next->Settings.CurrentOutputFormat(), c.Exit ? "3GP" : "WAV");
    }
}

TEST_F(MainWindowTest, ADeletedOutputFolderIsReportedAndTheFolderBrowserOpens) {
    TTestWindow& w = *Window;
    QTemporaryDir gone;
    const QString folder = gone.path();
    w.FolderToChoose = folder;
    w.ButtonBrowseForFolder->click();
    ASSERT_TRUE(gone.remove());
    AddRows({MediaFile("clip.avi")});
    w.FolderToChoose.clear(); // the user cancels the browser this time

    w.ButtonConvert->click();
    ASSERT_EQ(w.Messages.size(), 1u);
    EXPECT_EQ(w.Messages[0].Text,
              "The output folder \"" + folder +
                  "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.");
    EXPECT_EQ(w.Messages[0].Caption, "Information");
    EXPECT_EQ(w.Messages[0].Buttons, TBatchUI::TButtons::Ok);
    EXPECT_EQ(w.FolderBrowserCalls, 2);
    EXPECT_FALSE(w.Driver.Converting());
    EXPECT_TRUE(w.ButtonConvert->isEnabled());
}

TEST_F(MainWindowTest, ConvertingDisablesExactlyTheListedControls) {
    TTestWindow& w = *Window;
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    AddRows({MediaFile("clip.avi")});

    // Every control of the window, by name, and whether it can be used.
    auto disabledControls = [&w] {
        std::set<QString> disabled;
        for (QWidget* widget : w.findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
                                 qobject_cast<QAbstractSlider*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QAbstractItemView*>(widget) ||
                                 qobject_cast<QProgressBar*>(widget) ||
                                 qobject_cast<TClickableImage*>(widget);
            // Qt's own parts (the tool bar's overflow button, a list's pop-up view) are not
            // the window's controls.
            bool part = widget->objectName().startsWith("qt_");
            for (QWidget* p = widget->parentWidget(); p && !part; p = p->parentWidget())
                part = qobject_cast<QComboBox*>(p) != nullptr;
            // The dialogs (options, log) are windows of their own.
            if (control && !part && widget->window() == &w && !widget->isEnabled())
                disabled.insert(widget->objectName());
        }
        if (!w.PopupMenu1->isEnabled())
            disabled.insert("PopupMenu1");
        for (const QMenu* menu : {w.MenuFile, w.MenuOptions, w.MenuHelp})
            if (!menu->menuAction()->isEnabled())
                disabled.insert(menu->objectName());
        return disabled;
    };
    ASSERT_EQ(disabledControls(), std::set<QString>());

    w.ButtonConvert->click();
    ASSERT_TRUE(w.Driver.TaskActive());
    const std::set<QString> expected = {
        "ButtonAddFile",
        "ButtonClearAll",
        "ButtonRemoveFile",
        "ButtonConvert",
        "ComboOutputFormat",
        "ComboVideoCodec",
        "ComboVideoSize",
        "ComboVideoBitrate",
        "ComboVideoFramerate",
        "ComboAudioCodec",
        "ComboAudioBitrate",
        "ComboAudioChannels",
        "ComboSamplingRate",
        "TrackBar1",
        "ComboAspectRatio",
        "ComboLetterBox",
        "PopupMenu1",
        "File1",
        "Options1",
        "Help1",
        "SpeedButtonPLAY",
        "SpeedButtonPAUSE",
        "SpeedButtonSTOP",
        // The simple view feeds the task too.
        "ComboBoxVideoQuality",
        "ComboBoxVideoSize",
        "ComboBoxVideoFramerate",
        "ComboBoxAudioQuality",
        "ComboBoxAudioChannels",
        "TrackBar2",
    };
    EXPECT_EQ(disabledControls(), expected);
    EXPECT_TRUE(w.ButtonStopConvert->isEnabled());
    EXPECT_TRUE(w.ButtonStop->isEnabled());
    EXPECT_TRUE(w.MenuView->menuAction()->isEnabled()) << "the log can be watched";

    // The pop-up menu does not open while converting; closing the window asks first, and No
    // keeps it open and converting.
    emit w.ListView1->customContextMenuRequested(QPoint(5, 5));
    EXPECT_FALSE(w.PopupMenu1->isVisible());
    w.Answer = TBatchUI::TAnswer::No;
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.Driver.Converting());
    ASSERT_EQ(w.MessageTexts(), QStringList{"Stop all conversions and quit?"});
    EXPECT_EQ(w.Messages[0].Buttons, TBatchUI::TButtons::YesNo);

    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Done");
    EXPECT_EQ(disabledControls(), std::set<QString>());
}

TEST_F(MainWindowTest, ClearAllStopsAnAddingAndDoesNothingWhileConverting) {
    TTestWindow& w = *Window;
    const QStringList rows = {MediaFile("clip.avi"), MediaFile("second clip.avi")};

    // Files are dropped; the second takes its time to be read. "Clear All" as the first row
    // appears empties the list, and no row of the drop comes after it.
    auto released = std::make_shared<std::atomic<bool>>(false);
    w.FileAdder.Probe = [released](const QString& AFile) {
        while (AFile.contains("second") && !*released)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return TSourceFileAdder::ProbeSource(AFile);
    };
    QTimer clearer;
    clearer.setInterval(5);
    QObject::connect(&clearer, &QTimer::timeout, [&] {
        if (w.JobList.Count() == 1) {
            w.ButtonClearAll->click();
            clearer.stop();
        }
    });
    clearer.start();
    DropFiles(w.ListView1, {MediaFile("clip.avi"), MediaFile("second clip.avi"), MediaFile("notes.avi")});
    *released = true;
    EXPECT_FALSE(w.Driver.AddFileInProgress());
    EXPECT_EQ(w.JobList.Count(), 0);
    QTest::qWait(200);
    EXPECT_EQ(w.JobList.Count(), 0);
    w.FileAdder.Probe = &TSourceFileAdder::ProbeSource;
    AddRows(rows);

    // While converting.
    w.WhileOpenDialogShows = nullptr;
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    w.ButtonConvert->click();
    ASSERT_TRUE(w.Driver.TaskActive());
    w.ClearAllItems1Click();
    w.DeleteSelectedItem1Click();
    DropFiles(w.ListView1, {MediaFile("notes.avi")});
    EXPECT_EQ(Captions(w.JobList), rows);
    ASSERT_TRUE(WaitForCompletion());

    // Once idle it works again.
    w.ButtonClearAll->click();
    EXPECT_EQ(w.JobList.Count(), 0);
}

TEST_F(MainWindowTest, DroppedFoldersAndNonMediaBecomeErrorRowsWithoutACrash) {
    TTestWindow& w = *Window;
    const QStringList dropped = {MediaFile("clip.avi"), QString::fromStdString(Media->Path()),
                                 MediaFile("notes.avi"), MediaFile("vanished.avi")};
    DropFiles(w.ListView1, dropped);
    EXPECT_EQ(Captions(w.JobList), dropped);
    for (int row = 0; row < w.JobList.Count(); ++row)
        EXPECT_TRUE(w.JobList.Checked(row));
    EXPECT_FALSE(w.Driver.AddFileInProgress());
    // The media file is probed like a chosen one; the folder, the text and the vanished file
    // cannot be read.
    EXPECT_EQ(w.JobList.Cell(0, jcVideoSize), "320x240");
    EXPECT_EQ(w.JobList.Cell(0, jcDuration), "00:00:06");
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "");
    for (int row = 1; row < 4; ++row) {
        EXPECT_EQ(w.JobList.Cell(row, jcProgress), "Error") << row;
        EXPECT_EQ(w.JobList.Cell(row, jcVideoSize), "") << row;
    }

    // Text, not files: the list does not take it.
    QMimeData text;
    text.setText("just words");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.ListView1->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());

    // The rows that are no media are not tried and keep their mark; adding another file does
    // not take it away either. The run ends saying what failed, with the reasons.
    w.FilesToChoose = {MediaFile("second clip.avi")};
    w.ButtonAddFile->click();
    ASSERT_EQ(w.JobList.Count(), 5);
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    w.ButtonConvert->click();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Done");
    EXPECT_EQ(w.JobList.Cell(4, jcProgress), "Done");
    for (int row = 1; row < 4; ++row) {
        EXPECT_EQ(w.JobList.Cell(row, jcProgress), "Error") << row;
        const QString reason = w.JobList.data(w.JobList.index(row, 5), Qt::ToolTipRole).toString();
        EXPECT_FALSE(reason.isEmpty()) << row;
        EXPECT_EQ(reason, w.JobList.Progress(row).Reason) << row;
    }
    ASSERT_EQ(w.Messages.size(), 1u);
    const QString summary = w.Messages[0].Text;
    EXPECT_TRUE(summary.startsWith("2 of 5 files converted, 3 failed\n\n")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("\nnotes.avi: Invalid data found when processing input"))
        << summary.toStdString();
    EXPECT_FALSE(summary.contains(TBatchDriver::CompletedText));
}

// The whole road in the window: two files, one run, percentages, results and the message.
// With "Simultaneous conversions" at 2 both rows convert at once, each showing its own
// percentage, while the bar and the status bar follow the whole batch.
TEST_F(MainWindowTest, TwoRowsConvertAtOnceAndTheBarFollowsTheBatch) {
    if (TAdditionalOptions::MaxSimultaneousConversions() < 2)
        GTEST_SKIP() << "one processor core";
    TTestWindow& w = *Window;
    w.Options.SetSimultaneousConversions(2);
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    // One source twice: the batch names the second output apart from the first.
    w.FilesToChoose = {MediaFile("long clip.avi"), MediaFile("long clip.avi")};
    w.ButtonAddFile->click();
    ASSERT_EQ(w.JobList.Count(), 2);
    std::vector<int> progressBar;
    QObject::connect(w.ProgressBar1, &QProgressBar::valueChanged, &w,
                     [&progressBar](int AValue) { progressBar.push_back(AValue); });

    w.Encoder.SetProgressInterval(100);
    w.Convert1->trigger();
    const auto percentShown = [&w](int ARow) { return w.JobList.Cell(ARow, jcProgress).endsWith('%'); };
    const bool bothShown = QTest::qWaitFor([&] { return percentShown(0) && percentShown(1); }, 60000);
    const QString status = w.StatusPanels[0]->text();
    SaveScreen(&w, "two-rows-converting");
    ASSERT_TRUE(bothShown);
    EXPECT_TRUE(status.contains('%')) << status.toStdString();
    ASSERT_TRUE(WaitForCompletion());

    EXPECT_EQ(w.MessageTexts(), QStringList({"All Conversions Completed"}));
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Done");
    EXPECT_EQ(w.JobList.Cell(1, jcProgress), "Done");
    // The bar rose with the batch and never went back while the rows took turns, until the end
    // put it back to 0.
    ASSERT_GE(progressBar.size(), 3u);
    EXPECT_EQ(progressBar.back(), 0);
    EXPECT_TRUE(std::is_sorted(progressBar.begin(), progressBar.end() - 1));
    EXPECT_GE(*(progressBar.end() - 2), 50);
    const QString first = w.JobList.Progress(0).OutputFile;
    const QString second = w.JobList.Progress(1).OutputFile;
    EXPECT_NE(first, second);
    EXPECT_GT(QFileInfo(first).size(), 0);
    EXPECT_GT(QFileInfo(second).size(), 0);
}

TEST_F(MainWindowTest, ConvertsTwoFilesShowingProgressThenDone) {
    TTestWindow& w = *Window;
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.FolderToChoose = Out.path();
    w.ButtonBrowseForFolder->click();
    w.FilesToChoose = {MediaFile("long clip.avi"), MediaFile("second clip.avi")};
    w.ButtonAddFile->click();
    ASSERT_EQ(w.JobList.Count(), 2);
    EXPECT_EQ(w.JobList.Cell(1, jcVideoSize), "320x240");
    EXPECT_EQ(w.JobList.Cell(1, jcFrameRate), "25");
    EXPECT_EQ(w.JobList.Cell(1, jcOutput), "AVI");

    // Every text each row's "Progress" cell shows, in order.
    std::vector<QStringList> shown(2);
    QObject::connect(&w.JobList, &QAbstractItemModel::dataChanged, &w, [&](const QModelIndex& ATopLeft) {
        const int row = ATopLeft.row();
        if (ATopLeft.column() != TJobListModel::ColumnOfCell(jcProgress) || row > 1)
            return;
        const QString text = w.JobList.Cell(row, jcProgress);
        if (!text.isEmpty() && (shown[row].isEmpty() || shown[row].last() != text))
            shown[row] << text;
    });
    std::vector<int> progressBar;
    QObject::connect(w.ProgressBar1, &QProgressBar::valueChanged, &w,
                     [&progressBar](int AValue) { progressBar.push_back(AValue); });

    w.Encoder.SetProgressInterval(100); // the shortest interval the encoder allows
    w.Convert1->trigger();
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(w.MessageTexts(), QStringList({"All Conversions Completed"}));
    EXPECT_EQ(w.Messages.back().Caption, "Information");

    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        RecordProperty("progress_row" + std::to_string(row), shown[row].join(' ').toStdString());
        ASSERT_GE(shown[row].size(), 2) << shown[row].join(", ").toStdString();
        EXPECT_EQ(shown[row].last(), "Done");
        int last = -1;
        for (int i = 0; i + 1 < shown[row].size(); ++i) {
            const QString& text = shown[row][i];
            ASSERT_TRUE(text.endsWith('%')) << text.toStdString();
            const int percent = text.chopped(1).toInt();
            EXPECT_GE(percent, last);
            EXPECT_LE(percent, 100);
            last = percent;
        }
        EXPECT_FALSE(w.JobList.Cell(row, jcFrames).trimmed().isEmpty());
    }
    // The long file's percentage rises while it converts.
    EXPECT_GE(shown[0].size(), 3) << shown[0].join(", ").toStdString();
    EXPECT_TRUE(std::any_of(progressBar.begin(), progressBar.end(), [](int v) { return v > 0; }));
    EXPECT_EQ(w.ProgressBar1->value(), 0);
    EXPECT_TRUE(w.StatusPanels[1]->text().startsWith("File Size : "));

    // The outputs open again as video files.
    for (const char* name : {"long clip.avi", "second clip.avi"}) {
        const QString output = Out.filePath(name);
        ASSERT_TRUE(QFileInfo(output).isFile()) << name;
        TFFDecoder decoder;
        ASSERT_TRUE(decoder.LoadFile(output.toStdU16String())) << decoder.LastErrMsg();
        EXPECT_GE(decoder.VideoStreamCount(), 1);
    }
}

// The end of the desktop session (or SIGTERM) stops a running conversion as the Stop button does,
// without asking: the row ends "Abort" with a file that opens, and no further row starts.
TEST_F(MainWindowTest, TheSessionEndingStopsTheRunWithoutAsking) {
    TTestWindow& w = *Window;
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    AddRows({MediaFile("long clip.avi"), MediaFile("second clip.avi")});
    w.Encoder.SetProgressInterval(100);
    w.ButtonConvert->click();
    ASSERT_TRUE(QTest::qWaitFor([&w] { return w.JobList.Cell(0, jcProgress).endsWith('%'); }, 60000));

    w.SessionEnding();
    EXPECT_FALSE(w.Driver.Converting());
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Abort");
    EXPECT_EQ(w.JobList.Cell(1, jcProgress), "");
    EXPECT_EQ(w.MessageTexts(), QStringList()) << "nothing was asked";
    TFFDecoder decoder;
    EXPECT_TRUE(decoder.LoadFile(Out.filePath("long clip.avi").toStdU16String())) << decoder.LastErrMsg();
    EXPECT_FALSE(QFileInfo::exists(Out.filePath("second clip.avi")));
    w.SessionEnding(); // nothing runs any more: nothing happens
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Abort");
}

// With the encoder's preview on, a floating window shows the converted pictures under their
// time; once closed it is painted no more while the conversion goes on to its end. With
// VANTORIX_SCREENSHOT_DIR set (under Xvfb) the screen and the window are saved there.
TEST_F(MainWindowTest, ThePreviewWindowShowsTheRunUntilClosed) {
    TTestWindow& w = *Window;
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    AddRows({MediaFile("long clip.avi")});
    w.Encoder.SetPreview(true);
    w.ButtonConvert->click();

    QPointer<TPreviewWindow> preview;
    int paints = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (!preview)
                for (QWidget* widget : QApplication::topLevelWidgets())
                    if (auto* p = qobject_cast<TPreviewWindow*>(widget)) {
                        preview = p;
                        QObject::connect(p, &TPreviewWindow::Painted, &w, [&paints] { ++paints; });
                    }
            return preview && preview->isVisible() && paints >= 3;
        },
        60000));
    const Qt::WindowFlags flags = preview->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::Tool));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(preview->size(), QSize(640, 480));
    EXPECT_EQ(preview->minimumSize(), preview->maximumSize()) << "fixed in size";
    EXPECT_TRUE(QRegularExpression(R"(^00:00:\d\d\.\d{3}$)").match(preview->windowTitle()).hasMatch())
        << preview->windowTitle().toStdString();
    EXPECT_FALSE(preview->Picture().isNull());

    // Dragging anywhere in the picture moves the window.
    const QPoint before = preview->pos();
    QTest::mousePress(preview, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QMouseEvent drag(QEvent::MouseMove, QPointF(140, 130), preview->mapToGlobal(QPointF(140, 130)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(preview, &drag);
    QTest::mouseRelease(preview, Qt::LeftButton, Qt::NoModifier, QPoint(140, 130));
    if (QGuiApplication::platformName() == "offscreen") { // elsewhere the window manager moves it
        EXPECT_EQ(preview->pos(), before + QPoint(40, 30));
    }

    if (const QByteArray dir = qgetenv("VANTORIX_SCREENSHOT_DIR"); !dir.isEmpty()) {
        QTest::qWait(300);
        preview->screen()->grabWindow(0).save(QString::fromLocal8Bit(dir) + "/screen.png");
        preview->grab().save(QString::fromLocal8Bit(dir) + "/preview.png");
    }

    const QString title = preview->windowTitle();
    preview->close();
    const int paintsAtClose = paints;
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(paints, paintsAtClose);
    EXPECT_TRUE(preview.isNull()) << "the closed window is destroyed";
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Done");
    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(Out.filePath("long clip.avi").toStdU16String())) << decoder.LastErrMsg();
    EXPECT_NEAR(decoder.FileStreamInfo().Duration / 1e6, 10.0, 0.2) << title.toStdString();
}

// The colour of the test pattern's picture ANumber at (AX, AY): its YUV samples in the
// studio range, turned into RGB.
QColor PatternColour(int ANumber, int AX, int AY) {
    const double y = 1.164 * (uint8_t(AX + AY + 3 * ANumber) - 16);
    const double u = uint8_t(128 + AY / 2 + 2 * ANumber) - 128.0;
    const double v = uint8_t(64 + AX / 2 + 5 * ANumber) - 128.0;
    const auto clamp = [](double AValue) { return std::clamp(int(std::lround(AValue)), 0, 255); };
    return QColor(clamp(y + 1.596 * v), clamp(y - 0.392 * u - 0.813 * v), clamp(y + 2.017 * u));
}

// While nothing plays, the panel shows a key frame of the selected row's source, fitted to the
// panel; a source without pictures leaves it plain, and a newer selection wins over an older one.
TEST_F(MainWindowTest, ThePanelShowsTheSelectedRowsThumbnail) {
    TTestWindow& w = *Window;
    AddRows({MediaFile("clip.avi"), MediaFile("song.mp3"), MediaFile("notes.avi")});
    QSignalSpy delivered(&w.Thumbnails, &TThumbnailLoader::Ready);
    w.ListView1->selectRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.PanelPlay->Thumbnail().isNull(); }, 30000));
    // 320x240 fitted into 184x131, centred.
    EXPECT_EQ(w.PanelPlay->Thumbnail().size(), QSize(174, 131));
    const QImage shown = w.PanelPlay->grab().toImage();
    // The key frame at or before a tenth of the 6 s clip: picture 12 of the pattern.
    for (const auto& [x, y] : {std::pair{40, 40}, {100, 60}, {30, 150}, {200, 10}}) {
        const QColor expected = PatternColour(12, x, y);
        const QColor got = shown.pixelColor(5 + x * 174 / 320, y * 131 / 240);
        EXPECT_NEAR(got.red(), expected.red(), 20) << x << "," << y;
        EXPECT_NEAR(got.green(), expected.green(), 20) << x << "," << y;
        EXPECT_NEAR(got.blue(), expected.blue(), 20) << x << "," << y;
    }
    EXPECT_EQ(shown.pixelColor(2, 60), QColor(Qt::black)) << "the side the picture leaves is black";

    // Stop returns to the thumbnail.
    w.SpeedButtonSTOP->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.PanelPlay->Thumbnail().isNull(); }, 30000));

    // The clip's picture is asked for again and overtaken at once: only the newest counts.
    for (const int row : {1, 2}) {
        SCOPED_TRACE(row);
        w.ListView1->clearSelection();
        delivered.clear();
        w.ListView1->selectRow(0);
        w.ListView1->selectRow(row);
        EXPECT_TRUE(w.PanelPlay->Thumbnail().isNull()) << "cleared at once";
        ASSERT_TRUE(delivered.wait(30000));
        ASSERT_EQ(delivered.size(), 1);
        EXPECT_EQ(delivered[0][0].toString(), w.JobList.Caption(row));
        EXPECT_TRUE(delivered[0][1].value<QImage>().isNull());
        EXPECT_TRUE(w.PanelPlay->Thumbnail().isNull());
        EXPECT_TRUE(w.PanelPlay->testAttribute(Qt::WA_PaintOnScreen)) << "left to the player again";
    }
    EXPECT_TRUE(w.Messages.empty()) << "no message box for a file without pictures";
}

// ---------------------------------------------------------------------------------------------
// The window tells the truth

// What the simple view shows is what is converted, and the two views show the same choices.
TEST_F(MainWindowTest, TheSimpleViewsChoicesReachTheOutputFile) {
    TTestWindow& w = *Window;
    ASSERT_EQ(w.Options.SimpleAdvanceSettings(), TAdditionalOptions::SimpleSettings);
    Choose(w.ComboOutputFormat, "MP4 - MPEG4 Video (*.mp4)");
    EXPECT_EQ(w.ComboBoxVideoQuality->currentText(), "Highest");
    EXPECT_EQ(w.ComboVideoBitrate->currentText(), "6000 Kbps");

    // A size chosen in the advanced view shows in the simple one.
    w.Image1Click();
    ASSERT_FALSE(w.GroupBoxVideo->isHidden());
    Choose(w.ComboVideoSize, "640 x 480");
    Choose(w.ComboVideoBitrate, "1000 Kbps"); // no word stands for it: the nearest shows
    w.Image1Click();
    ASSERT_FALSE(w.GroupBoxSimpleVideo->isHidden());
    EXPECT_EQ(w.ComboBoxVideoSize->currentText(), "640 x 480");
    EXPECT_EQ(w.ComboBoxVideoQuality->currentText(), "Normal");
    EXPECT_EQ(w.ComboVideoBitrate->currentText(), "1200 Kbps") << "the shown word is the rate";

    // The words, each the entry's own rate.
    const std::pair<const char*, const char*> words[] = {
        {"Highest", "6000 Kbps"}, {"Higher", "2500 Kbps"}, {"Normal", "1200 Kbps"},
        {"Lower", "512 Kbps"},    {"Lowest", "192 Kbps"},
    };
    for (const auto& [word, rate] : words) {
        Choose(w.ComboBoxVideoQuality, word);
        EXPECT_EQ(w.ComboVideoBitrate->currentText(), rate) << word;
    }
    Choose(w.ComboBoxAudioQuality, "Lowest");
    Choose(w.ComboBoxVideoSize, "176 x 144 (QCIF)");
    Choose(w.ComboBoxAudioChannels, "Mono");
    EXPECT_EQ(w.ComboVideoSize->currentText(), "176 x 144 (QCIF)");
    EXPECT_EQ(w.ComboAudioBitrate->currentText(), "32 Kbps");
    EXPECT_EQ(w.ComboAudioChannels->currentText(), "Mono");

    w.Settings.SetOutputFolder(Out.path());
    AddRows({MediaFile("clip.avi")});
    TOutputOptions options;
    ASSERT_TRUE(w.TaskBuilder.BuildOutputOptions(TJobListTaskBuilder::RowOf(w.JobList, 0), options));
    EXPECT_EQ(options.VideoBitrate, 192000);
    EXPECT_EQ(options.AudioBitrate, 32000);
    w.ButtonConvert->click();
    ASSERT_TRUE(WaitForCompletion());

    TFFDecoder decoder;
    ASSERT_TRUE(decoder.LoadFile(Out.filePath("clip.mp4").toStdU16String())) << decoder.LastErrMsg();
    const TVideoStreamInfo video = decoder.VideoStreamInfos(decoder.FirstVideoStreamIndex());
    EXPECT_EQ(video.Width, 176);
    EXPECT_EQ(video.Height, 144);
    EXPECT_EQ(decoder.AudioStreamInfos(decoder.FirstAudioStreamIndex()).Channels, 1);
    // Far below the entry's default of 6000 + 128 Kbps.
    EXPECT_LT(decoder.FileStreamInfo().BitRate, 600000);
}

// A failed row tells why: in its tooltip, in the summary and in the log view, which copies,
// saves and retries.
TEST_F(MainWindowTest, AFailedRowsReasonIsInItsTooltipAndTheLogView) {
    TTestWindow& w = *Window;
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    AddRows({MediaFile("second clip.avi"), MediaFile("notes.avi")}); // the second is tried and fails
    w.ButtonConvert->click();
    ASSERT_TRUE(WaitForRunEnd());

    ASSERT_EQ(w.JobList.Cell(1, jcProgress), "Fail");
    const QString reason = w.JobList.Progress(1).Reason;
    EXPECT_TRUE(reason.endsWith("Invalid data found when processing input")) << reason.toStdString();
    for (int column = 0; column < TJobListModel::ColumnCount; ++column)
        EXPECT_EQ(w.JobList.data(w.JobList.index(1, column), Qt::ToolTipRole).toString(), reason) << column;
    EXPECT_FALSE(w.JobList.data(w.JobList.index(0, 5), Qt::ToolTipRole).isValid()) << "a Done row has none";
    EXPECT_EQ(w.MessageTexts(),
              QStringList{
                  "1 of 2 files converted, 1 failed\n\nnotes.avi: Invalid data found when processing input"});
    EXPECT_FALSE(w.JobList.Progress(0).Log.isEmpty()) << "the engine's lines of the converted row";

    QToolTip::showText(
        w.ListView1->viewport()->mapToGlobal(w.ListView1->visualRect(w.JobList.index(1, 5)).center()), reason,
        w.ListView1);
    SaveScreen(&w, "failed-row-tooltip");
    SaveMessageBox(w, w.MessageTexts()[0], "run-summary");
    w.ViewLog1->trigger();
    ASSERT_TRUE(w.LogView->isVisible());
    SaveScreen(&w, "log-view");
    const QString text = w.LogView->Text->toPlainText();
    EXPECT_TRUE(text.contains(MediaFile("notes.avi") + ": Fail\n  Reason: " + reason)) << text.toStdString();
    EXPECT_TRUE(text.contains(MediaFile("second clip.avi") + ": Done")) << text.toStdString();
    for (const QString& line : w.JobList.Progress(0).Log)
        EXPECT_TRUE(text.contains(line)) << line.toStdString();

    w.LogView->ButtonCopy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), text);
    const QString saved = Out.filePath("run.log");
    w.LogView->OnChooseSaveFile = [saved] { return saved; };
    w.LogView->ButtonSave->click();
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), text + "\n");

    // The retry runs the failed row alone; the converted one keeps its result.
    ASSERT_TRUE(w.LogView->ButtonRetry->isEnabled());
    w.Messages.clear();
    w.LogView->ButtonRetry->click();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Done");
    EXPECT_EQ(w.JobList.Cell(1, jcProgress), "Fail");
    EXPECT_EQ(w.MessageTexts(),
              QStringList{
                  "0 of 1 files converted, 1 failed\n\nnotes.avi: Invalid data found when processing input"});
}

// Closing during a run asks; Yes stops the run as Stop does (the row's file is finished under
// its name, no further row starts), saves the settings and closes.
TEST_F(MainWindowTest, ClosingDuringARunAsksAndYesStopsAndQuits) {
    TTestWindow& w = *Window;
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    AddRows({MediaFile("long clip.avi"), MediaFile("second clip.avi")});
    w.Encoder.SetProgressInterval(100);
    w.ButtonConvert->click();
    ASSERT_TRUE(QTest::qWaitFor([&w] { return w.JobList.Cell(0, jcProgress).endsWith('%'); }, 60000));
    // The status bar shows the batch's percentage and the time taken.
    ASSERT_TRUE(QTest::qWaitFor(
        [&w] { return w.StatusPanels[0]->text().contains(QRegularExpression("^\\d+%  \\d+:\\d\\d")); }, 5000))
        << w.StatusPanels[0]->text().toStdString();

    w.Answer = TBatchUI::TAnswer::Yes;
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.MessageTexts(), QStringList{TMainWindow::QuitQuestionText});
    EXPECT_FALSE(w.Driver.Converting());
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Abort");
    EXPECT_EQ(w.JobList.Cell(1, jcProgress), "");
    TFFDecoder decoder;
    EXPECT_TRUE(decoder.LoadFile(Out.filePath("long clip.avi").toStdU16String())) << decoder.LastErrMsg();
    EXPECT_FALSE(QFileInfo::exists(Out.filePath("second clip.avi")));
    Window.reset();
    auto next = MakeWindow();
    ASSERT_TRUE(next->FormCreate());
    EXPECT_EQ(next->EditOutputFolder->text(), Out.path()) << "the settings were saved";
}

// The end of a run reaches the desktop through org.freedesktop.Notifications: here a bus of
// the test's own with a stand-in notification service.
class TNotificationService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& AMessage, const QDBusConnection& AConnection) override {
        Calls.push_back(AMessage);
        AConnection.send(AMessage.createReply(QVariant::fromValue(1u)));
        return true;
    }
    std::vector<QDBusMessage> Calls;
};

TEST_F(MainWindowTest, TheEndOfARunIsNotifiedOnTheDesktopBus) {
    // Without a bus nothing is sent and nothing fails.
    TDesktopNotifier nowhere;
    nowhere.SetConnection(QDBusConnection(QStringLiteral("no bus at all")));
    EXPECT_FALSE(nowhere.Notify("Vantorix", "text"));

    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted(5000))
        GTEST_SKIP() << "no dbus-daemon";
    ASSERT_TRUE(daemon.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    TNotificationService service;
    {
        QDBusConnection serviceBus = QDBusConnection::connectToBus(address, "vx-test-notifications");
        ASSERT_TRUE(serviceBus.isConnected()) << serviceBus.lastError().message().toStdString();
        ASSERT_TRUE(serviceBus.registerService("org.freedesktop.Notifications"));
        ASSERT_TRUE(serviceBus.registerVirtualObject("/org/freedesktop/Notifications", &service));
        TTestWindow& w = *Window;
        w.Notifier.SetConnection(QDBusConnection::connectToBus(address, "vx-test-window"));
        ASSERT_TRUE(w.Notifier.Connected());

        Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
        w.Settings.SetOutputFolder(Out.path());
        AddRows({MediaFile("second clip.avi")});
        w.ButtonConvert->click();
        ASSERT_TRUE(WaitForCompletion());
        ASSERT_TRUE(QTest::qWaitFor([&service] { return !service.Calls.empty(); }, 10000));
        const QDBusMessage& call = service.Calls[0];
        EXPECT_EQ(call.interface(), "org.freedesktop.Notifications");
        EXPECT_EQ(call.member(), "Notify");
        const QVariantList args = call.arguments();
        ASSERT_EQ(args.size(), 8);
        EXPECT_EQ(args[0].toString(), "Vantorix");
        EXPECT_EQ(args[3].toString(), "Vantorix");
        EXPECT_EQ(args[4].toString(), TBatchDriver::CompletedText);
        serviceBus.unregisterObject("/org/freedesktop/Notifications");
        w.Notifier.SetConnection(QDBusConnection(QString()));
    }
    QDBusConnection::disconnectFromBus("vx-test-window");
    QDBusConnection::disconnectFromBus("vx-test-notifications");
    daemon.kill();
    daemon.waitForFinished(5000);
}

// A format whose encoder this build of the libraries lacks is greyed out with the reason; the
// command line says the same.
TEST_F(MainWindowTest, AFormatWhoseEncoderIsMissingIsShownUnavailable) {
    auto formatItem = [](TTestWindow& AWindow, const QString& AText) {
        auto* model = qobject_cast<QStandardItemModel*>(AWindow.ComboOutputFormat->model());
        return model ? model->item(AWindow.ComboOutputFormat->findText(AText)) : nullptr;
    };
    const QString mp3 = "MP3 - Mpeg Layer3 Audio (*.mp3)";
    const QString mp2 = "MP2 - Mpeg Layer2 Audio (*.mp2)";
    // This build has every encoder the catalogue names.
    ASSERT_NE(formatItem(*Window, mp3), nullptr);
    EXPECT_TRUE(formatItem(*Window, mp3)->isEnabled());

    // The codec library of this folder has no MP3 encoder.
    Window.reset();
    FFLoader().Unload(avCodec);
    Window = MakeWindow();
    Window->LibraryFolder = ENCODERLESS_LIBRARY_FOLDER;
    const bool created = Window->FormCreate();
    Window->show();
    Window->ComboOutputFormat->showPopup();
    Window->ComboOutputFormat->view()->scrollTo(
        Window->ComboOutputFormat->model()->index(Window->ComboOutputFormat->findText(mp3), 0));
    SaveScreen(Window.get(), "unavailable-format");
    Window->ComboOutputFormat->hidePopup();
    const QStandardItem* withoutMp3 = formatItem(*Window, mp3);
    const bool mp3Enabled = withoutMp3 && withoutMp3->isEnabled();
    const QString mp3Tip = withoutMp3 ? withoutMp3->toolTip() : QString();
    const QStandardItem* other = formatItem(*Window, mp2);
    const bool mp2Enabled = other && other->isEnabled() && other->toolTip().isEmpty();
    const TFormatAvailability checked = CheckFormatAvailability(*FindAVCodec(mp3));
    // The real library again, for the tests that follow.
    Window.reset();
    FFLoader().Unload(avCodec);
    FFLoader().SetLibraryPath({});
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();

    ASSERT_TRUE(created);
    EXPECT_FALSE(mp3Enabled);
    EXPECT_EQ(mp3Tip,
              "Not available here: this build of the media libraries has no encoder \"libmp3lame\" (audio).");
    EXPECT_TRUE(mp2Enabled);
    EXPECT_FALSE(checked.Available);
    EXPECT_EQ(checked.Reason, mp3Tip);
    EXPECT_TRUE(CheckFormatAvailability(*FindAVCodec(mp3)).Available);
}

// ---------------------------------------------------------------------------------------------
// Any screen, the keyboard, and the folders the dialogs open in

// The window's own controls: what takes the keyboard focus, and the progress bar. Qt's parts
// of a control (a list's pop-up, a tool bar's overflow button) are not counted.
std::vector<QWidget*> Controls(TMainWindow& AWindow) {
    std::vector<QWidget*> controls;
    for (QWidget* widget : AWindow.findChildren<QWidget*>()) {
        bool part = widget->objectName().startsWith("qt_");
        for (QWidget* p = widget->parentWidget(); p && !part; p = p->parentWidget())
            part = qobject_cast<QComboBox*>(p) != nullptr;
        const bool control = (widget->focusPolicy() & Qt::TabFocus) || qobject_cast<QProgressBar*>(widget);
        if (control && !part && widget->window() == &AWindow)
            controls.push_back(widget);
    }
    return controls;
}

// Whether the whole of AWidget lies inside its window, no ancestor cutting any of it off.
bool WhollyShown(const QWidget* AWidget) {
    const QWidget* window = AWidget->window();
    const QRect own(AWidget->mapTo(window, QPoint()), AWidget->size());
    QRect shown = own;
    for (const QWidget* p = AWidget->parentWidget(); p; p = p->parentWidget())
        shown &= QRect(p->mapTo(window, QPoint()), p->size());
    return shown == own;
}

TEST(FitWindowOnScreenTest, KeepsTheFrameOnTheScreen) {
    const QSize wanted(760, 538);
    const QSize minimum(641, 293);
    const QMargins frame(4, 30, 4, 4); // a title bar and thin borders
    struct TCase {
        const char* Screen;
        QRect Available;
        QSize Size;
    };
    const TCase cases[] = {
        {"large", {0, 0, 1600, 1000}, wanted},
        {"second screen, large", {1600, 0, 1920, 1080}, wanted},
        {"too low", {0, 0, 800, 500}, {760, 466}},
        {"too low and narrow", {1366, 24, 683, 384}, {675, 350}},
        {"smaller than the minimum", {0, 0, 600, 250}, minimum},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Screen);
        const QRect client = FitWindowOnScreen(wanted, minimum, frame, c.Available);
        EXPECT_EQ(client.size(), c.Size);
        const QRect outer = client.marginsAdded(frame);
        if (c.Size == minimum) {
            EXPECT_EQ(outer.topLeft(), c.Available.topLeft()) << "the title bar stays reachable";
        } else {
            EXPECT_TRUE(c.Available.contains(outer));
            EXPECT_LE((outer.center() - c.Available.center()).manhattanLength(), 2);
        }
    }
}

// On every screen size and scale the window fits the screen's free area, and every control is
// either in sight or brought into sight by scrolling the lower panel; on a large screen the
// window has its own size, and growing it gives the room to the list alone.
TEST_F(MainWindowTest, FitsEveryScreenWithEveryControlInReach) {
    TTestWindow& w = *Window;
    AddRows({"/media/a.avi", "/media/b.avi"});
    const QSize own = w.size();
    const int lowerHeight = w.ScrollLower->height();
    struct TCase {
        const char* Screen;
        QRect Available; // in Qt's logical pixels: the screen's pixels divided by the scale
    };
    const TCase cases[] = {
        {"1600x1000", {0, 0, 1600, 1000}},       {"1600x1000 at 1.25", {0, 0, 1280, 800}},
        {"1600x1000 at 1.5", {0, 0, 1067, 667}}, {"1600x1000 at 2", {0, 0, 800, 500}},
        {"1366x768", {0, 0, 1366, 768}},         {"1366x768 at 1.25", {0, 0, 1093, 614}},
        {"1366x768 at 1.5", {0, 0, 911, 512}},   {"1366x768 at 2", {0, 0, 683, 384}},
        {"1024x600", {0, 0, 1024, 600}},         {"1366x768 at 2, right of another", {1600, 0, 683, 384}},
    };
    for (const TCase& c : cases) {
        for (int view : {TAdditionalOptions::SimpleSettings, TAdditionalOptions::AdvanceSettings}) {
            SCOPED_TRACE(std::string(c.Screen) + (view ? ", advanced view" : ", simple view"));
            w.Options.SetSimpleAdvanceSettings(view);
            w.Options.RadioGroup1Click();
            w.FitToScreen(c.Available);
            QApplication::processEvents();
            EXPECT_TRUE(c.Available.contains(w.frameGeometry()))
                << w.frameGeometry().x() << "," << w.frameGeometry().y() << " " << w.frameGeometry().width()
                << "x" << w.frameGeometry().height();
            const bool roomy = c.Available.width() >= own.width() && c.Available.height() >= own.height();
            if (roomy) {
                EXPECT_EQ(w.size(), own);
                EXPECT_EQ(w.ListView1->parentWidget()->height(), 201);
                EXPECT_FALSE(w.ScrollLower->verticalScrollBar()->isVisible());
                EXPECT_FALSE(w.ScrollLower->horizontalScrollBar()->isVisible());
            }
            for (QWidget* control : Controls(w)) {
                if (!control->isVisible())
                    continue;
                if (w.ScrollLower->widget()->isAncestorOf(control))
                    w.ScrollLower->ensureWidgetVisible(control, 0, 0);
                EXPECT_TRUE(WhollyShown(control)) << control->objectName().toStdString();
            }
        }
    }

    // Larger than its own size: the list grows, the lower panel keeps its height.
    w.FitToScreen({0, 0, 1600, 1000});
    w.resize(own + QSize(300, 250));
    QApplication::processEvents();
    EXPECT_EQ(w.ScrollLower->height(), lowerHeight);
    EXPECT_EQ(w.ListView1->parentWidget()->height(), 201 + 250);
    EXPECT_FALSE(w.ScrollLower->verticalScrollBar()->isVisible());
}

// Shift and Ctrl select several rows; Space gives them all the opposite of the focused row's
// check mark, Delete and "Remove File" remove them all, and Tab leaves the list at once.
TEST_F(MainWindowTest, SelectedRowsAreCheckedBySpaceAndRemovedByDelete) {
    TTestWindow& w = *Window;
    AddRows({"/m/0.avi", "/m/1.avi", "/m/2.avi", "/m/3.avi", "/m/4.avi"});
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // A click on the "Video Size" cell, away from the check box.
    auto click = [&w](int ARow, Qt::KeyboardModifiers AModifiers) {
        QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, AModifiers,
                          w.ListView1->visualRect(w.JobList.index(ARow, 1)).center());
    };
    auto checks = [&w] {
        QString marks;
        for (int row = 0; row < w.JobList.Count(); ++row)
            marks += w.JobList.Checked(row) ? 'x' : '-';
        return marks;
    };

    click(1, Qt::NoModifier);
    click(3, Qt::ControlModifier);
    ASSERT_EQ(w.ListView1->SelectedRows(), QList<int>({1, 3}));
    QTest::keyClick(w.ListView1, Qt::Key_Space);
    EXPECT_EQ(checks(), "x-x-x");
    EXPECT_EQ(w.ListView1->SelectedRows(), QList<int>({1, 3})) << "Space leaves the selection alone";
    QTest::keyClick(w.ListView1, Qt::Key_Space);
    EXPECT_EQ(checks(), "xxxxx");
    // The focused row decides: it is checked, so Space unchecks every selected row.
    w.JobList.SetChecked(1, false);
    QTest::keyClick(w.ListView1, Qt::Key_Space);
    EXPECT_EQ(checks(), "x-x-x");

    click(1, Qt::NoModifier);
    click(3, Qt::ShiftModifier);
    ASSERT_EQ(w.ListView1->SelectedRows(), QList<int>({1, 2, 3}));
    QTest::keyClick(w.ListView1, Qt::Key_Delete);
    EXPECT_EQ(Captions(w.JobList), QStringList({"/m/0.avi", "/m/4.avi"}));
    EXPECT_EQ(w.ListView1->SelectedRows(), QList<int>({1})) << "the row that moved up is selected";
    QTest::keyClick(w.ListView1, Qt::Key_Delete);
    EXPECT_EQ(Captions(w.JobList), QStringList({"/m/0.avi"}));

    AddRows({"/m/5.avi", "/m/6.avi"});
    click(0, Qt::NoModifier);
    click(2, Qt::ControlModifier);
    w.ButtonRemoveFile->click();
    EXPECT_EQ(Captions(w.JobList), QStringList({"/m/5.avi"}));

    w.ListView1->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(w.ListView1, Qt::Key_Tab);
    QWidget* next = QApplication::focusWidget();
    EXPECT_TRUE(next && next != w.ListView1 && !w.ListView1->isAncestorOf(next));
}

// The menu items each have a mnemonic of their own in their menu, and the main commands have
// keys that also work while a run has disabled the menus that show them.
TEST_F(MainWindowTest, MenuItemsHaveMnemonicsAndTheMainCommandsKeys) {
    TTestWindow& w = *Window;
    for (const QMenu* menu : {w.MenuFile, w.MenuOptions, w.MenuView, w.MenuHelp, w.PopupMenu1}) {
        std::set<QChar> used;
        for (const QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            const QString text = action->text();
            const qsizetype mark = text.indexOf('&');
            ASSERT_TRUE(mark >= 0 && mark + 1 < text.size()) << text.toStdString();
            EXPECT_TRUE(used.insert(text[mark + 1].toLower()).second)
                << "twice in a menu: " << text.toStdString();
        }
    }
    EXPECT_EQ(w.AddFiles1->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(w.OpenHelpFile1->shortcut(), QKeySequence("F1"));
    EXPECT_TRUE(w.ButtonAddFile->toolTip().endsWith("(Ctrl+O)")) << w.ButtonAddFile->toolTip().toStdString();

    const QString helpFile = Out.filePath("help.html");
    QFile(helpFile).open(QIODevice::WriteOnly);
    w.SetHelpFile(helpFile);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keySequence(&w, w.AddFiles1->shortcut());
    EXPECT_EQ(w.OpenDialogCalls, 1);
    QTest::keySequence(&w, w.Convert1->shortcut());
    EXPECT_EQ(w.MessageTexts(), QStringList{TBatchDriver::NoFilesText});
    QTest::keySequence(&w, w.OpenHelpFile1->shortcut());
    EXPECT_EQ(w.OpenedUrls, std::vector<QUrl>{QUrl::fromLocalFile(helpFile)});

    // During a run the File menu is disabled; its Stop key still asks to stop, and No goes on.
    Choose(w.ComboOutputFormat, "AVI - Audio Video Interleave (*.avi)");
    w.Settings.SetOutputFolder(Out.path());
    AddRows({MediaFile("second clip.avi")});
    w.Messages.clear();
    QTest::keySequence(&w, w.Convert1->shortcut());
    ASSERT_TRUE(w.Driver.TaskActive());
    ASSERT_FALSE(w.MenuFile->menuAction()->isEnabled());
    w.Answer = TBatchUI::TAnswer::No;
    QTest::keySequence(&w, w.Stop1->shortcut());
    EXPECT_EQ(w.MessageTexts(), QStringList{TBatchDriver::StopQuestionText});
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(w.JobList.Cell(0, jcProgress), "Done");
}

// Every control that takes the focus has a name for screen readers (the lists that are empty in
// an audio format included), is reached by Tab, and looks different while it has the focus.
TEST_F(MainWindowTest, EveryControlHasANameAndShowsItsFocusOnTheWayOfTab) {
    TTestWindow& w = *Window;
    AddRows({"/media/a.avi", "/media/b.avi"});
    Choose(w.ComboOutputFormat, "MP3 - Mpeg Layer3 Audio (*.mp3)");
    ASSERT_EQ(w.ComboVideoCodec->count(), 0);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    for (int view : {TAdditionalOptions::SimpleSettings, TAdditionalOptions::AdvanceSettings}) {
        SCOPED_TRACE(view ? "advanced view" : "simple view");
        w.Options.SetSimpleAdvanceSettings(view);
        w.Options.RadioGroup1Click();
        QApplication::processEvents();
        std::vector<QWidget*> reachable;
        for (QWidget* control : Controls(w)) {
            if (!(control->focusPolicy() & Qt::TabFocus))
                continue;
            const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr) << control->objectName().toStdString();
            EXPECT_FALSE(control->accessibleName().trimmed().isEmpty() &&
                         accessible->text(QAccessible::Name).trimmed().isEmpty())
                << control->objectName().toStdString() << " has no name";
            if (control->isVisible())
                reachable.push_back(control);
        }

        // Once round the window with Tab, each control's picture taken while it has the focus.
        std::map<QWidget*, QImage> withFocus;
        QStringList order;
        w.SpeedButtonSTOP->setFocus(Qt::MouseFocusReason);
        for (int step = 0; step < 100; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            if (withFocus.contains(focused))
                break;
            withFocus[focused] = focused->grab().toImage();
            order << focused->objectName();
        }
        // From top to bottom, each panel from left to right.
        const QStringList settings =
            view ? QStringList{"ComboVideoCodec",     "ComboVideoSize",    "ComboVideoBitrate",
                               "ComboVideoFramerate", "ComboAudioCodec",   "ComboAudioBitrate",
                               "ComboAudioChannels",  "ComboSamplingRate", "TrackBar1"}
                 : QStringList{"ComboBoxVideoQuality", "ComboBoxVideoSize",     "ComboBoxVideoFramerate",
                               "ComboBoxAudioQuality", "ComboBoxAudioChannels", "TrackBar2"};
        EXPECT_EQ(order,
                  QStringList({"ButtonAddFile", "ButtonRemoveFile", "ButtonClearAll", "ButtonStopConvert",
                               "ButtonConvert", "ButtonBrowseForFolder", "ComboOutputFormat", "ListView1"}) +
                      settings +
                      QStringList({"ButtonStop", "SpeedButtonPLAY", "SpeedButtonPAUSE", "SpeedButtonSTOP"}));
        for (QWidget* control : reachable) {
            const std::string name = control->objectName().toStdString();
            ASSERT_TRUE(withFocus.contains(control)) << name << " is not reached by Tab";
            if (control->hasFocus())
                QTest::keyClick(control, Qt::Key_Tab);
            EXPECT_NE(control->grab().toImage(), withFocus[control]) << name << " shows no focus";
        }
    }
}

// "Add File" opens with every filter in the folder files were last added from, kept over a
// restart; the folder browser opens at the output folder. A folder that is gone gives home.
TEST_F(MainWindowTest, TheDialogsOpenWhereTheUserLastWas) {
    QTemporaryDir sources;
    ASSERT_TRUE(sources.isValid());
    {
        TTestWindow& w = *Window;
        QFileDialog first;
        w.ConfigureOpenDialog(first);
        EXPECT_EQ(first.nameFilters(), OpenDialogNameFilters());
        EXPECT_EQ(first.fileMode(), QFileDialog::ExistingFiles);
        EXPECT_TRUE(first.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_TRUE(first.testOption(QFileDialog::HideNameFilterDetails));
        EXPECT_EQ(first.directory().absolutePath(), QDir::homePath()) << "nothing added yet";

        w.FilesToChoose = {sources.filePath("a.avi"), sources.filePath("b.avi")};
        w.ButtonAddFile->click();
        w.FilesToChoose.clear(); // cancelled: the folder stays
        w.ButtonAddFile->click();
        QFileDialog next;
        w.ConfigureOpenDialog(next);
        EXPECT_EQ(next.directory().absolutePath(), sources.path());

        QFileDialog browser;
        w.ConfigureFolderBrowser(browser);
        EXPECT_EQ(browser.fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(browser.testOption(QFileDialog::ShowDirsOnly));
        EXPECT_EQ(browser.directory().absolutePath(), QDir::homePath()) << "no output folder yet";
        w.Settings.SetOutputFolder(Out.path());
        QFileDialog atOutput;
        w.ConfigureFolderBrowser(atOutput);
        EXPECT_EQ(atOutput.directory().absolutePath(), Out.path());
        EXPECT_TRUE(w.close());
    }
    Window = MakeWindow();
    ASSERT_TRUE(Window->FormCreate());
    QFileDialog restarted;
    Window->ConfigureOpenDialog(restarted);
    EXPECT_EQ(restarted.directory().absolutePath(), sources.path());

    ASSERT_TRUE(sources.remove());
    QFileDialog gone;
    Window->ConfigureOpenDialog(gone);
    EXPECT_EQ(gone.directory().absolutePath(), QDir::homePath());
}

} // namespace
