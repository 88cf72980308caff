// The main window: tool bar, output folder and format, the job list, the simple and advanced
// settings, progress, the preview panel, the status bar and the menus. It owns the engine
// components and the front-end logic, and wires them to the widgets.
//
// Construction only builds the widgets; FormCreate does the start-up work (library check,
// lists, settings), so that the program can end cleanly when the libraries are missing.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <QUrl>

#include "AdditionalOptions.h"
#include "BatchDriver.h"
#include "ConversionSettings.h"
#include "DesktopNotifier.h"
#include "JobListModel.h"
#include "JobListTaskBuilder.h"
#include "RowLogCollector.h"
#include "SettingsStore.h"
#include "SimpleViewLink.h"
#include "SourceFiles.h"
#include "TaskBuilder.h"
#include "ThumbnailLoader.h"
#include "VolumeSliders.h"
#include "base/LibraryPreload.h"
#include "decode/FFDecode.h"
#include "encode/FFEncode.h"
#include "play/FFPlay.h"

class QAction;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;

namespace vx {

class TAboutBox;
class TAdditionalOptionsDialog;
class TClickableImage;
class TDropDownComboBox;
class TJobListView;
class TLogView;
class TPreviewPanel;
class TScrollingPanel;

class TMainWindow : public QMainWindow, public TBatchUI {
    Q_OBJECT
public:
    static const QString Caption;               // "Vantorix"
    static const QString LibrariesMissingText;  // "Some files are missing. Please re-install this software"
    static const QString FolderBrowserHeadline; // "Choose the required output folder below :"
    static const QString ReadyText;             // "Ready"
    static const QString CannotPlayText;        // "Cannot play this video file"
    // Shown instead of the preview on a display without X11 windows.
    static QString PreviewUnavailableText(const QString& APlatform);
    static constexpr int ClientWidth = 760;
    static constexpr int ClientHeight = 513;
    // How long a hint stays up, in milliseconds.
    static constexpr int HintHidePause = 30000;
    // The maker's addresses, fixed when the program is built.
    static QUrl WebPage();
    static QString SupportMail();
    // The text shown when the help document cannot be found.
    static QString HelpMissingText(const QString& AHelpFile);
    // The text shown when the system opens no browser for the maker's web page.
    static QString WebPageFailedText(const QUrl& APage);
    // Asked when the window is closed while a run goes on.
    static const QString QuitQuestionText; // "Stop all conversions and quit?"

    explicit TMainWindow(QWidget* AParent = nullptr);
    ~TMainWindow() override;

    // The start-up: loads the media libraries from the program's folder (when they are
    // missing the user is told and false is returned; the program must then end), fills the
    // lists, creates the about box and the "Additional Options" dialog, which loads the settings.
    bool FormCreate();

    // Adds files given from outside (the command line, a drop) as "Add File" does with the
    // files chosen in its dialog. Ignored while files are being added or converted.
    void AddFiles(const QStringList& AFiles) { FileAdder.AddFiles(AFiles); }

    // The help document that "Open Help File" opens.
    const QString& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const QString& AFile) { FHelpFile = AFile; }
    // Where the help document is looked for: next to the program, then in the install's share
    // folder. The first that exists wins; with none, the first.
    static QString FindHelpFile();

    // ---- Handlers ----
    void ButtonAddFileClick() { FileAdder.ButtonAddFileClick(); }
    void DeleteSelectedItem1Click();
    void ClearAllItems1Click();
    void CheckAllItems1Click();
    void UncheckAllItems1Click();
    void ButtonBrowseForFolderClick();
    // Binds the conversion's libraries first (the start binds only what reading files takes).
    void ButtonConvertClick();
    void ButtonStopConvertClick() { Driver.ButtonStopConvertClick(); }
    void Image1Click();
    void SpeedButtonPLAYClick();
    void SpeedButtonPAUSEClick();
    void SpeedButtonSTOPClick();
    void Player1State(TPlayState APlayState);
    void SetGeneralOptions1Click();
    void OpenHelpFile1Click();
    void VisitOurWebsite1Click();
    void About1Click();
    void ViewLog1Click();
    void RetryFailedRows1Click();
    void OpenOutputFolder1Click();
    void Exit1Click();
    bool FormCloseQuery() const { return Driver.FormCloseQuery(); }
    void FormClose();
    // The desktop session ends (or the program is asked to end by a signal) while a run may be
    // going: the run stops as the Stop button stops it, without asking, so the file being
    // written is finished under its name.
    void SessionEnding();
    void FormShow();
    // Sizes and places the window for a screen whose free area is AAvailable: the size it is laid
    // out for where that fits, otherwise as much as there is (the lower panel then scrolls),
    // centred, with the frame on the screen.
    void FitToScreen(const QRect& AAvailable);

    // How the dialogs are set up before they show: the open dialog with its filters in the
    // folder that files were last added from, the folder browser at the current output folder.
    void ConfigureOpenDialog(QFileDialog& ADialog) const;
    void ConfigureFolderBrowser(QFileDialog& ADialog) const;

    // ---- TBatchUI ----
    TAnswer MessageBox(const QString& AText, const QString& ACaption, TIcon AIcon,
                       TButtons AButtons) override;
    QString OutputFolder() const override;
    void BrowseOutputFolder() override { ButtonBrowseForFolderClick(); }
    void SetControlsEnabled(bool AEnabled) override;
    void SetProgressPosition(int APosition) override;
    void SetStatusText(int APanel, const QString& AText) override;
    void ScrollToRow(int ARow) override;
    // The summary as a message, after a desktop notification of it.
    void ShowRunSummary(const TRunSummary& ASummary) override;

private:
    // The folder the start takes the media libraries from: the program's.
    static std::string LibraryFolder();
    // Opens the libraries that the start binds (LoadLibraries) while the widgets are built.
    TLibraryPreload FLibraryPreload;

public:
    // ---- Components and front-end logic (declared in the order they must be built) ----
    TFFEncoder Encoder;
    TFFDecoder FFDecoder;
    TZADorovu Player1;
    TConversionSettings Settings;
    // The simple view and the advanced one in step.
    TSimpleViewLink SimpleLink{Settings};
    TAdditionalOptions Options;
    TSettingsStore Store{Settings, Options};
    TVolumeSliders Volume;
    TTaskBuilder TaskBuilder{Settings, Options, Volume};
    TJobListModel JobList;

private:
    // The "Output" column of the job list, for the format choice.
    class TOutputColumn : public IOutputColumn {
    public:
        explicit TOutputColumn(TJobListModel& AList) : FList(AList) {}
        int RowCount() const override { return FList.Count(); }
        void SetOutputText(int ARow, const QString& AText) override { FList.SetCell(ARow, jcOutput, AText); }

    private:
        TJobListModel& FList;
    };
    TOutputColumn FOutputColumn{JobList};
    TJobListTaskBuilder FRowTaskBuilder{TaskBuilder};

public:
    TBatchDriver Driver{JobList, Encoder, *this, FRowTaskBuilder};

private:
    TBatchAddFileState FAddFileState{Driver};

public:
    // Adds source files to the list: opens each with FFDecoder and fills its row.
    TSourceFileAdder FileAdder{JobList, FFDecoder, Settings, FAddFileState};
    // Each row keeps the engine's log lines of its conversion.
    TRowLogCollector RowLog{JobList, Driver};
    // Tells the desktop when a run has ended.
    TDesktopNotifier Notifier;
    // Takes the selected row's thumbnail for the preview panel; declared after the engine
    // components, so that its thread has ended before they go.
    TThumbnailLoader Thumbnails;

    // ---- Widgets (named as the controls they stand for) ----
    QToolButton* ButtonAddFile = nullptr;
    QToolButton* ButtonRemoveFile = nullptr;
    QToolButton* ButtonClearAll = nullptr;
    QToolButton* ButtonStopConvert = nullptr;
    QToolButton* ButtonConvert = nullptr;

    QLineEdit* EditOutputFolder = nullptr;
    QToolButton* ButtonBrowseForFolder = nullptr;
    TDropDownComboBox* ComboOutputFormat = nullptr;

    TJobListView* ListView1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* CheckAllItems1 = nullptr;
    QAction* UncheckAllItems1 = nullptr;
    QAction* DeleteSelectedItem1 = nullptr;
    QAction* ClearAllItems1 = nullptr;
    QAction* PlayThisVideo1 = nullptr;
    QAction* StopPlaying1 = nullptr;

    TClickableImage* Image1 = nullptr;
    // Simple view.
    QGroupBox* GroupBoxSimpleVideo = nullptr;
    QGroupBox* GroupBoxSimpleAudio = nullptr;
    QComboBox* ComboBoxVideoQuality = nullptr;
    QComboBox* ComboBoxVideoSize = nullptr;
    QComboBox* ComboBoxVideoFramerate = nullptr;
    QComboBox* ComboBoxAudioQuality = nullptr;
    QComboBox* ComboBoxAudioChannels = nullptr;
    QSlider* TrackBar2 = nullptr;
    QLabel* LabelTrackBar2 = nullptr;
    // Advanced view.
    QGroupBox* GroupBoxVideo = nullptr;
    QGroupBox* GroupBoxAudio = nullptr;
    QComboBox* ComboVideoCodec = nullptr;
    QComboBox* ComboVideoSize = nullptr;
    QComboBox* ComboVideoBitrate = nullptr;
    QComboBox* ComboVideoFramerate = nullptr;
    QComboBox* ComboAudioCodec = nullptr;
    QComboBox* ComboAudioBitrate = nullptr;
    QComboBox* ComboAudioChannels = nullptr;
    QComboBox* ComboSamplingRate = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* LabelVolume = nullptr;
    // General settings: kept off screen, as the lists only keep their start-up choices.
    QGroupBox* GroupBoxGeneral = nullptr;
    QComboBox* ComboLetterBox = nullptr;
    QComboBox* ComboAspectRatio = nullptr;

    // The lower panel (settings, progress, preview) scrolls where the window is too small for it.
    TScrollingPanel* ScrollLower = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* ButtonStop = nullptr;

    TPreviewPanel* PanelPlay = nullptr;
    QToolButton* SpeedButtonPLAY = nullptr;
    QToolButton* SpeedButtonPAUSE = nullptr;
    QToolButton* SpeedButtonSTOP = nullptr;

    QLabel* StatusPanels[3] = {};

    QMenu* MenuFile = nullptr;
    QMenu* MenuOptions = nullptr;
    QMenu* MenuHelp = nullptr;
    QMenu* MenuView = nullptr;
    QAction* AddFiles1 = nullptr;
    QAction* Convert1 = nullptr;
    QAction* Stop1 = nullptr;
    QAction* RetryFailedRows1 = nullptr;
    QAction* OpenOutputFolder1 = nullptr;
    QAction* ViewLog1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* SetGeneralOptions1 = nullptr;
    QAction* OpenHelpFile1 = nullptr;
    QAction* VisitOurWebsite1 = nullptr;
    QAction* About1 = nullptr;

    TAboutBox* AboutBox = nullptr;
    TAdditionalOptionsDialog* OptionsDialog = nullptr;
    TLogView* LogView = nullptr;

    // Preview state: follows the player.
    bool PreviewPlaying = false;
    bool PreviewPaused = false;

protected:
    void closeEvent(QCloseEvent* AEvent) override;
    void showEvent(QShowEvent* AEvent) override;

    // The doors to the outside world, kept apart so that tests can stand in for them.
    // Loads the libraries that reading files takes from the program's folder: the start needs
    // no more, and the device and filter libraries (with the sound and display libraries they
    // pull in) would only slow it down. A thread has been opening them since the menu bar was
    // built; this binds them once it is done.
    virtual bool LoadLibraries();
    // Loads the rest of the encoder's libraries when a conversion first starts; false, after
    // telling the user, when they cannot be loaded.
    bool LoadConversionLibraries();
    // Loads the player's libraries and SDL from the program's folder.
    virtual bool LoadPlayerLibraries();
    // Shows the folder browser; false when the user cancelled.
    virtual bool ExecuteFolderBrowser(QString& AFolder);
    // Shows the open dialog for source files; empty when the user cancelled.
    virtual QStringList ExecuteOpenDialog();
    // Asks the system to open a document, web page or new e-mail with its default handler.
    virtual bool OpenUrl(const QUrl& AUrl);
    // Ends the program without closing the window first.
    virtual void Terminate();

private:
    void CreateActions();
    void CreateMenus();
    QWidget* CreateToolBar();
    QWidget* CreateChoosers();
    QWidget* CreateJobList();
    QWidget* CreateLowerPanel();
    QWidget* CreateSettingsPanels();
    void CreateStatusBar();
    // The window's size: the lower panel keeps the height it is laid out for, the list takes
    // whatever room is left or added.
    void LayOutForScreens();
    // Shortcut keys, and the hints of the buttons that name them.
    void CreateShortcuts();
    // Names for screen readers where a control shows no text of its own.
    void NameControls();
    // Tab goes through the window from top to bottom, each panel from left to right.
    void SetTabOrder();
    // Where "Add File" opens next time: the folder of the first file chosen.
    void RememberSourceFolder(const QStringList& AFiles);
    void BindLists();
    void ApplyView(int AView);
    void ShowPopupMenu(const QPoint& APosition);
    // The log view, the retry and the output folder: the run's account to the user.
    void CreateRunReports();
    void RunStarted();
    void RunFinished();
    // Elapsed time, overall percentage and time left in the status bar.
    void UpdateRunStatus();
    // The preview panel's thumbnail of the selected row while nothing plays.
    void CreateThumbnails();
    void ShowSelectedThumbnail();
    void HideThumbnail();
    // Opens AUrl, or tells the user that it could not be opened.
    void OpenOrTell(const QUrl& AUrl, const QString& AFailedText);

    QString FHelpFile;
    bool FShown = false;
    QTimer* FRunStatusTimer = nullptr;
    QElapsedTimer FRunClock;
    // File > Exit ends the program without the close handling.
    bool FExitRequested = false;
};

} // namespace vx
