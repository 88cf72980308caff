#include "MainWindow.h"

#include "AboutBox.h"
#include "AdditionalOptionsDialog.h"
#include "FormatListMarks.h"
#include "Icons.h"
#include "JobListView.h"
#include "PreviewPanel.h"
#include "ScreenFit.h"
#include "SettingsListCombo.h"
#include "WindowParts.h"
#include "base/FFLoad.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#ifndef VANTORIX_WEB_PAGE
#define VANTORIX_WEB_PAGE "https://vantorix.example.org/"
#endif
#ifndef VANTORIX_SUPPORT_MAIL
#define VANTORIX_SUPPORT_MAIL "support@vantorix.example.org"
#endif
#ifndef VANTORIX_HELP_DIR_FROM_BIN
#define VANTORIX_HELP_DIR_FROM_BIN "../share/vantorix/help"
#endif

namespace vx {

const QString TMainWindow::Caption = QStringLiteral("Vantorix");
const QString TMainWindow::LibrariesMissingText =
    QStringLiteral("Some files are missing. Please re-install this software");
const QString TMainWindow::FolderBrowserHeadline =
    QStringLiteral("Choose the required output folder below :");
const QString TMainWindow::ReadyText = QStringLiteral("Ready");
const QString TMainWindow::QuitQuestionText = QStringLiteral("Stop all conversions and quit?");

namespace {

constexpr qreal WindowPointSize = 9;
constexpr qreal ListPointSize = 8;
constexpr int ToolBarHeight = 40;
constexpr int ChoosersHeight = 54;
constexpr int JobListHeight = 201;
// A header and a few rows stay in sight however small the screen.
constexpr int JobListMinimumHeight = 90;
constexpr int OutputFolderWidth = 244;
constexpr int OutputFormatWidth = 330;
constexpr int ProgressBarWidth = 439;
constexpr int StatusPanelWidths[3] = {150, 300, 50};

QFrame* Divider(QWidget* AParent) {
    auto* line = new QFrame(AParent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QComboBox* SettingsCombo(const QString& AName, QWidget* AParent) {
    auto* combo = new QComboBox(AParent);
    combo->setObjectName(AName);
    // The lists hold long texts ("Original Video Size"); the open list shows them whole, the
    // closed box need not grow for them.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(9);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return combo;
}

// A group of "label : list" rows.
QGridLayout* GroupGrid(QGroupBox* AGroup) {
    auto* grid = new QGridLayout(AGroup);
    grid->setContentsMargins(4, 2, 4, 4);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(3);
    return grid;
}

void AddRow(QGridLayout* AGrid, int ARow, const QString& ACaption, QWidget* AField) {
    auto* label = new QLabel(ACaption, AGrid->parentWidget());
    label->setBuddy(AField);
    // A list names itself by its label: on Linux a list's own accessible text is its choice,
    // which an empty list does not have.
    AField->setAccessibleName(QString(ACaption).remove(QLatin1Char(':')).trimmed());
    AGrid->addWidget(label, ARow, 0);
    AGrid->addWidget(AField, ARow, 1);
}

QToolButton* ToolButton(const QString& AName, const QString& ACaption, const QIcon& AIcon, QWidget* AParent) {
    auto* button = new QToolButton(AParent);
    button->setObjectName(AName);
    button->setText(ACaption);
    button->setIcon(AIcon);
    button->setIconSize(QSize(24, 24));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

QToolButton* PictureButton(const QString& AName, const QIcon& AIcon, const QString& AHint, QWidget* AParent) {
    auto* button = new QToolButton(AParent);
    button->setObjectName(AName);
    button->setIcon(AIcon);
    button->setIconSize(QSize(16, 16));
    button->setToolTip(AHint);
    button->setToolTipDuration(TMainWindow::HintHidePause);
    button->setFixedSize(28, 24);
    return button;
}

} // namespace

QUrl TMainWindow::WebPage() {
    return QUrl(QStringLiteral(VANTORIX_WEB_PAGE));
}

QString TMainWindow::SupportMail() {
    return QStringLiteral(VANTORIX_SUPPORT_MAIL);
}

QString TMainWindow::HelpMissingText(const QString& AHelpFile) {
    return QStringLiteral("The help file \"%1\" cannot be found.").arg(AHelpFile);
}

QString TMainWindow::WebPageFailedText(const QUrl& APage) {
    return QStringLiteral("The web page \"%1\" could not be opened: no web browser was found.")
        .arg(APage.toString());
}

QString TMainWindow::FindHelpFile() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        programDir + QStringLiteral("/help/index.html"),
        QDir::cleanPath(programDir + QStringLiteral("/" VANTORIX_HELP_DIR_FROM_BIN "/index.html")),
    };
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return candidate;
    return candidates.first();
}

// ---------------------------------------------------------------------------------------------
// Building the window

TMainWindow::TMainWindow(QWidget* AParent) : QMainWindow(AParent) {
    setObjectName("Form1");
    setWindowTitle(Caption);
    setWindowIcon(icons::Application());
    // The window is laid out for a 9 point text; a larger desktop font would cut its labels off.
    // A smaller one is kept.
    QFont windowFont = font();
    if (windowFont.pointSizeF() > WindowPointSize) {
        windowFont.setPointSizeF(WindowPointSize);
        setFont(windowFont);
    }

    CreateActions();
    CreateMenus();
    // Opening a library waits for any other thread's to finish; the menu bar was the last to make
    // Qt open some (its image plugins, for the style's icons) before the window shows.
    FLibraryPreload.Start(DecoderLibraries, LibraryFolder());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(CreateToolBar());
    layout->addWidget(CreateChoosers());
    layout->addWidget(CreateJobList(), 1);
    ScrollLower = new TScrollingPanel(CreateLowerPanel(), central);
    layout->addWidget(ScrollLower);
    setCentralWidget(central);
    CreateStatusBar();
    BindLists();
    CreateRunReports();
    CreateThumbnails();
    CreateShortcuts();
    NameControls();
    SetTabOrder();
    FileAdder.OnExecuteOpenDialog = [this](TSourceFileAdder*) {
        const QStringList files = ExecuteOpenDialog();
        RememberSourceFolder(files);
        return files;
    };
    FileAdder.OnScrollToRow = [this](TSourceFileAdder*, int ARow) { ScrollToRow(ARow); };
    LayOutForScreens();
}

void TMainWindow::LayOutForScreens() {
    // In the window's own size the list is as high as it was designed and the lower panel gets
    // the rest, which it keeps: a larger window gives its room to the list, a smaller one
    // scrolls the lower panel.
    ScrollLower->setObjectName("ScrollLower");
    ScrollLower->SetPanelSize(QSize(ClientWidth, ClientHeight - ToolBarHeight - ChoosersHeight -
                                                     JobListHeight - statusBar()->sizeHint().height()));
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
}

TMainWindow::~TMainWindow() {
    // The widgets show the lists and the model, which are members and go first: take the
    // widgets down while everything they look at still exists.
    delete OptionsDialog;
    delete AboutBox;
    delete takeCentralWidget();
}

void TMainWindow::CreateActions() {
    AddFiles1 = new QAction("&Add Files", this);
    Convert1 = new QAction("&Convert", this);
    Stop1 = new QAction("&Stop Convert", this);
    RetryFailedRows1 = new QAction("&Retry Failed Rows", this);
    OpenOutputFolder1 = new QAction("Open Output &Folder", this);
    ViewLog1 = new QAction("&Log", this);
    Exit1 = new QAction("E&xit", this);
    SetGeneralOptions1 = new QAction("&Set Options", this);
    OpenHelpFile1 = new QAction("Open &Help File", this);
    VisitOurWebsite1 = new QAction("&Visit Our Website", this);
    About1 = new QAction("&About", this);
    // File > "Add Files" presses the "Add File" button; it adds nothing of its own.
    connect(AddFiles1, &QAction::triggered, this, [this] { ButtonAddFileClick(); });
    connect(Convert1, &QAction::triggered, this, [this] { ButtonConvertClick(); });
    connect(Stop1, &QAction::triggered, this, [this] { ButtonStopConvertClick(); });
    connect(RetryFailedRows1, &QAction::triggered, this, [this] { RetryFailedRows1Click(); });
    connect(OpenOutputFolder1, &QAction::triggered, this, [this] { OpenOutputFolder1Click(); });
    connect(ViewLog1, &QAction::triggered, this, [this] { ViewLog1Click(); });
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    connect(SetGeneralOptions1, &QAction::triggered, this, [this] { SetGeneralOptions1Click(); });
    connect(OpenHelpFile1, &QAction::triggered, this, [this] { OpenHelpFile1Click(); });
    connect(VisitOurWebsite1, &QAction::triggered, this, [this] { VisitOurWebsite1Click(); });
    connect(About1, &QAction::triggered, this, [this] { About1Click(); });

    CheckAllItems1 = new QAction("&Check All Items", this);
    UncheckAllItems1 = new QAction("&Uncheck All Items", this);
    DeleteSelectedItem1 = new QAction("&Remove Selected Item", this);
    ClearAllItems1 = new QAction("C&lear All Items", this);
    PlayThisVideo1 = new QAction("&Play This Video", this);
    StopPlaying1 = new QAction("S&top Playing", this);
    connect(CheckAllItems1, &QAction::triggered, this, [this] { CheckAllItems1Click(); });
    connect(UncheckAllItems1, &QAction::triggered, this, [this] { UncheckAllItems1Click(); });
    connect(DeleteSelectedItem1, &QAction::triggered, this, [this] { DeleteSelectedItem1Click(); });
    connect(ClearAllItems1, &QAction::triggered, this, [this] { ClearAllItems1Click(); });
    connect(PlayThisVideo1, &QAction::triggered, this, [this] { SpeedButtonPLAYClick(); });
    connect(StopPlaying1, &QAction::triggered, this, [this] { SpeedButtonSTOPClick(); });
}

void TMainWindow::CreateMenus() {
    MenuFile = menuBar()->addMenu("&File");
    MenuFile->setObjectName("File1");
    MenuFile->addAction(AddFiles1);
    MenuFile->addSeparator();
    MenuFile->addAction(Convert1);
    MenuFile->addAction(Stop1);
    MenuFile->addAction(RetryFailedRows1);
    MenuFile->addSeparator();
    MenuFile->addAction(OpenOutputFolder1);
    MenuFile->addSeparator();
    MenuFile->addAction(Exit1);

    MenuOptions = menuBar()->addMenu("&Options");
    MenuOptions->setObjectName("Options1");
    MenuOptions->addAction(SetGeneralOptions1);

    // Open during a run as well: the log grows while the files convert.
    MenuView = menuBar()->addMenu("&View");
    MenuView->setObjectName("View1");
    MenuView->addAction(ViewLog1);

    MenuHelp = menuBar()->addMenu("&Help");
    MenuHelp->setObjectName("Help1");
    MenuHelp->addAction(OpenHelpFile1);
    MenuHelp->addSeparator();
    MenuHelp->addAction(VisitOurWebsite1);
    MenuHelp->addSeparator();
    MenuHelp->addAction(About1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(CheckAllItems1);
    PopupMenu1->addAction(UncheckAllItems1);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(DeleteSelectedItem1);
    PopupMenu1->addAction(ClearAllItems1);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(PlayThisVideo1);
    PopupMenu1->addAction(StopPlaying1);
}

QWidget* TMainWindow::CreateToolBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName("ToolBar1");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFixedHeight(ToolBarHeight);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);

    ButtonAddFile = ToolButton("ButtonAddFile", "Add File", icons::AddFile(), bar);
    ButtonRemoveFile = ToolButton("ButtonRemoveFile", "Remove File", icons::RemoveFile(), bar);
    ButtonClearAll = ToolButton("ButtonClearAll", "Clear All ", icons::ClearAll(), bar);
    ButtonStopConvert = ToolButton("ButtonStopConvert", "Stop Convert", icons::StopConvert(), bar);
    ButtonConvert = ToolButton("ButtonConvert", "Go Convert ", icons::GoConvert(), bar);
    bar->addWidget(ButtonAddFile);
    bar->addWidget(ButtonRemoveFile);
    bar->addWidget(ButtonClearAll);
    bar->addSeparator();
    bar->addWidget(ButtonStopConvert);
    bar->addSeparator();
    bar->addWidget(ButtonConvert);

    connect(ButtonAddFile, &QToolButton::clicked, this, [this] { ButtonAddFileClick(); });
    connect(ButtonRemoveFile, &QToolButton::clicked, this, [this] { DeleteSelectedItem1Click(); });
    connect(ButtonClearAll, &QToolButton::clicked, this, [this] { ClearAllItems1Click(); });
    connect(ButtonStopConvert, &QToolButton::clicked, this, [this] { ButtonStopConvertClick(); });
    connect(ButtonConvert, &QToolButton::clicked, this, [this] { ButtonConvertClick(); });
    return bar;
}

QWidget* TMainWindow::CreateChoosers() {
    auto* panel = new QWidget(this);
    panel->setObjectName("PanelChoosers");
    panel->setFixedHeight(ChoosersHeight);

    EditOutputFolder = new QLineEdit(panel);
    EditOutputFolder->setObjectName("EditOutputFolder");
    EditOutputFolder->setReadOnly(true);
    EditOutputFolder->setFixedWidth(OutputFolderWidth);
    // Greyed: the folder is chosen with the button, never typed.
    QPalette greyed = EditOutputFolder->palette();
    greyed.setColor(QPalette::Base, greyed.color(QPalette::Window));
    EditOutputFolder->setPalette(greyed);
    EditOutputFolder->setFocusPolicy(Qt::NoFocus);
    ButtonBrowseForFolder = new QToolButton(panel);
    ButtonBrowseForFolder->setObjectName("ButtonBrowseForFolder");
    ButtonBrowseForFolder->setIcon(icons::Folder());
    ButtonBrowseForFolder->setIconSize(QSize(18, 18));
    ButtonBrowseForFolder->setToolTip(FolderBrowserHeadline);
    ButtonBrowseForFolder->setToolTipDuration(HintHidePause);
    connect(ButtonBrowseForFolder, &QToolButton::clicked, this, [this] { ButtonBrowseForFolderClick(); });

    auto* folderLabel = new QLabel("Output Folder :", panel);
    folderLabel->setBuddy(ButtonBrowseForFolder);
    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(2);
    folderRow->addWidget(EditOutputFolder);
    folderRow->addWidget(ButtonBrowseForFolder);
    auto* folderColumn = new QVBoxLayout;
    folderColumn->setSpacing(2);
    folderColumn->addWidget(folderLabel);
    folderColumn->addLayout(folderRow);

    ComboOutputFormat = new TDropDownComboBox(panel);
    ComboOutputFormat->setObjectName("ComboOutputFormat");
    ComboOutputFormat->setFixedWidth(OutputFormatWidth);
    ComboOutputFormat->setEditable(false);
    auto* formatLabel = new QLabel("Set Output Format :", panel);
    formatLabel->setBuddy(ComboOutputFormat);
    auto* formatColumn = new QVBoxLayout;
    formatColumn->setSpacing(2);
    formatColumn->addWidget(formatLabel);
    formatColumn->addWidget(ComboOutputFormat);

    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(8, 2, 8, 4);
    layout->setSpacing(10);
    layout->addLayout(folderColumn);
    layout->addWidget(Divider(panel));
    layout->addLayout(formatColumn);
    layout->addStretch(1);
    return panel;
}

QWidget* TMainWindow::CreateJobList() {
    auto* panel = new QWidget(this);
    panel->setObjectName("PanelList");
    panel->setMinimumHeight(JobListMinimumHeight);
    ListView1 = new TJobListView(panel);
    // The columns have fixed widths made for a small font: "00:00:20" must fit 60 pixels.
    QFont listFont = ListView1->font();
    if (listFont.pointSizeF() > ListPointSize) {
        listFont.setPointSizeF(ListPointSize);
        ListView1->setFont(listFont);
    }
    ListView1->SetJobList(&JobList);
    ListView1->OnFilesDropped = [this](TJobListView*, const QStringList& AFiles) { AddFiles(AFiles); };
    connect(ListView1, &QWidget::customContextMenuRequested, this, &TMainWindow::ShowPopupMenu);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(ListView1);
    return panel;
}

QWidget* TMainWindow::CreateSettingsPanels() {
    auto* panel = new QWidget(this);
    panel->setObjectName("PanelSettings");

    // Simple view.
    GroupBoxSimpleVideo = new QGroupBox("Video Settings", panel);
    GroupBoxSimpleVideo->setObjectName("GroupBoxSimpleVideo");
    ComboBoxVideoQuality = SettingsCombo("ComboBoxVideoQuality", GroupBoxSimpleVideo);
    ComboBoxVideoSize = SettingsCombo("ComboBoxVideoSize", GroupBoxSimpleVideo);
    ComboBoxVideoFramerate = SettingsCombo("ComboBoxVideoFramerate", GroupBoxSimpleVideo);
    QGridLayout* simpleVideo = GroupGrid(GroupBoxSimpleVideo);
    AddRow(simpleVideo, 0, Settings.ComboBoxVideoQuality.Caption(), ComboBoxVideoQuality);
    AddRow(simpleVideo, 1, Settings.ComboBoxVideoSize.Caption(), ComboBoxVideoSize);
    AddRow(simpleVideo, 2, Settings.ComboBoxVideoFramerate.Caption(), ComboBoxVideoFramerate);
    simpleVideo->setRowStretch(3, 1);

    GroupBoxSimpleAudio = new QGroupBox("Audio Settings", panel);
    GroupBoxSimpleAudio->setObjectName("GroupBoxSimpleAudio");
    ComboBoxAudioQuality = SettingsCombo("ComboBoxAudioQuality", GroupBoxSimpleAudio);
    ComboBoxAudioChannels = SettingsCombo("ComboBoxAudioChannels", GroupBoxSimpleAudio);
    TrackBar2 = new QSlider(Qt::Horizontal, GroupBoxSimpleAudio);
    TrackBar2->setObjectName("TrackBar2");
    TrackBar2->setRange(TVolumeSliders::MinPosition, TVolumeSliders::MaxPosition);
    TrackBar2->setPageStep(1);
    TrackBar2->setTickPosition(QSlider::TicksBelow);
    TrackBar2->setTickInterval(1);
    TrackBar2->setValue(Volume.TrackBar2Position());
    LabelTrackBar2 = new QLabel(Volume.LabelTrackBar2(), GroupBoxSimpleAudio);
    LabelTrackBar2->setObjectName("LabelTrackBar2");
    LabelTrackBar2->setMinimumWidth(LabelTrackBar2->fontMetrics().horizontalAdvance("200%") + 4);
    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(TrackBar2, 1);
    volumeRow->addWidget(LabelTrackBar2);
    QGridLayout* simpleAudio = GroupGrid(GroupBoxSimpleAudio);
    AddRow(simpleAudio, 0, Settings.ComboBoxAudioQuality.Caption(), ComboBoxAudioQuality);
    AddRow(simpleAudio, 1, Settings.ComboBoxAudioChannels.Caption(), ComboBoxAudioChannels);
    auto* volumeLabel = new QLabel("Volume : ", GroupBoxSimpleAudio);
    volumeLabel->setBuddy(TrackBar2);
    simpleAudio->addWidget(volumeLabel, 2, 0);
    simpleAudio->addLayout(volumeRow, 2, 1);
    simpleAudio->setRowStretch(3, 1);

    // Advanced view.
    GroupBoxVideo = new QGroupBox("Video Settings", panel);
    GroupBoxVideo->setObjectName("GroupBoxVideo");
    ComboVideoCodec = SettingsCombo("ComboVideoCodec", GroupBoxVideo);
    ComboVideoSize = SettingsCombo("ComboVideoSize", GroupBoxVideo);
    ComboVideoBitrate = SettingsCombo("ComboVideoBitrate", GroupBoxVideo);
    ComboVideoFramerate = SettingsCombo("ComboVideoFramerate", GroupBoxVideo);
    QGridLayout* video = GroupGrid(GroupBoxVideo);
    AddRow(video, 0, Settings.ComboVideoCodec.Caption(), ComboVideoCodec);
    AddRow(video, 1, Settings.ComboVideoSize.Caption(), ComboVideoSize);
    AddRow(video, 2, Settings.ComboVideoBitrate.Caption(), ComboVideoBitrate);
    AddRow(video, 3, Settings.ComboVideoFramerate.Caption(), ComboVideoFramerate);
    video->setRowStretch(4, 1);

    GroupBoxAudio = new QGroupBox("Audio Settings", panel);
    GroupBoxAudio->setObjectName("GroupBoxAudio");
    ComboAudioCodec = SettingsCombo("ComboAudioCodec", GroupBoxAudio);
    ComboAudioBitrate = SettingsCombo("ComboAudioBitrate", GroupBoxAudio);
    ComboAudioChannels = SettingsCombo("ComboAudioChannels", GroupBoxAudio);
    ComboSamplingRate = SettingsCombo("ComboSamplingRate", GroupBoxAudio);
    // Positions run from 200 % at the top to 0 % at the bottom.
    TrackBar1 = new QSlider(Qt::Vertical, GroupBoxAudio);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setRange(TVolumeSliders::MinPosition, TVolumeSliders::MaxPosition);
    TrackBar1->setInvertedAppearance(true);
    TrackBar1->setInvertedControls(true);
    TrackBar1->setPageStep(1);
    TrackBar1->setValue(Volume.TrackBar1Position());
    auto* volumeTitle = new QLabel("Volume ", GroupBoxAudio);
    QFont bold = volumeTitle->font();
    bold.setBold(true);
    volumeTitle->setFont(bold);
    volumeTitle->setAlignment(Qt::AlignHCenter);
    LabelVolume = new QLabel(Volume.LabelVolume(), GroupBoxAudio);
    LabelVolume->setObjectName("LabelVolume");
    LabelVolume->setAlignment(Qt::AlignHCenter);
    auto* volumeColumn = new QVBoxLayout;
    volumeColumn->setSpacing(1);
    volumeColumn->addWidget(volumeTitle);
    volumeColumn->addWidget(TrackBar1, 1, Qt::AlignHCenter);
    volumeColumn->addWidget(LabelVolume);
    QGridLayout* audio = GroupGrid(GroupBoxAudio);
    AddRow(audio, 0, Settings.ComboAudioCodec.Caption(), ComboAudioCodec);
    AddRow(audio, 1, Settings.ComboAudioBitrate.Caption(), ComboAudioBitrate);
    AddRow(audio, 2, Settings.ComboAudioChannels.Caption(), ComboAudioChannels);
    AddRow(audio, 3, Settings.ComboSamplingRate.Caption(), ComboSamplingRate);
    audio->addLayout(volumeColumn, 0, 2, 5, 1);
    audio->setRowStretch(4, 1);
    // The audio texts are short ("44100 Hz"); the room goes to the video sizes.
    for (QComboBox* combo : {ComboAudioCodec, ComboAudioBitrate, ComboAudioChannels, ComboSamplingRate})
        combo->setMinimumContentsLength(7);
    ComboVideoSize->setMinimumContentsLength(13);

    // General settings: their lists keep the start-up choices; the group is never shown.
    GroupBoxGeneral = new QGroupBox("General Settings", panel);
    GroupBoxGeneral->setObjectName("GroupBoxGeneral");
    ComboLetterBox = SettingsCombo("ComboLetterBox", GroupBoxGeneral);
    ComboLetterBox->setToolTip(TConversionSettings::LetterBoxHint);
    ComboLetterBox->setToolTipDuration(HintHidePause);
    ComboAspectRatio = SettingsCombo("ComboAspectRatio", GroupBoxGeneral);
    QGridLayout* general = GroupGrid(GroupBoxGeneral);
    AddRow(general, 0, Settings.ComboLetterBox.Caption(), ComboLetterBox);
    AddRow(general, 1, Settings.ComboAspectRatio.Caption(), ComboAspectRatio);
    GroupBoxGeneral->hide();

    auto* layout = new QHBoxLayout(panel);
    // Room at the left for the switch picture in the corner.
    layout->setContentsMargins(12, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(GroupBoxSimpleVideo, 1);
    layout->addWidget(GroupBoxSimpleAudio, 1);
    // The advanced audio group is wide enough with its slider; the video sizes need the room.
    layout->addWidget(GroupBoxVideo, 1);
    layout->addWidget(GroupBoxAudio, 0);
    GroupBoxVideo->hide();
    GroupBoxAudio->hide();

    Image1 = new TClickableImage(panel);
    Image1->setObjectName("Image1");
    Image1->setPixmap(icons::ViewSwitch());
    Image1->setFixedSize(10, 10);
    Image1->move(1, 6);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setToolTip("Switch between Advance/Simple Settings");
    Image1->setToolTipDuration(HintHidePause);
    Image1->OnClick = [this](TClickableImage*) { Image1Click(); };
    Image1->raise();
    return panel;
}

QWidget* TMainWindow::CreateLowerPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName("PanelLower");

    ProgressBar1 = new QProgressBar(panel);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFixedWidth(ProgressBarWidth);
    ProgressBar1->setTextVisible(false);
    ButtonStop = new QPushButton("Stop", panel);
    ButtonStop->setObjectName("ButtonStop");
    ButtonStop->setIcon(icons::StopConvert());
    connect(ButtonStop, &QPushButton::clicked, this, [this] { ButtonStopConvertClick(); });
    auto* progressRow = new QHBoxLayout;
    progressRow->setSpacing(6);
    progressRow->addWidget(ProgressBar1);
    progressRow->addWidget(ButtonStop);
    progressRow->addStretch(1);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(CreateSettingsPanels(), 1);
    left->addLayout(progressRow);

    // The preview area: the panel has a window of its own for the player; the frame around it
    // keeps the area black wherever the panel does not cover it.
    auto* screen = new QFrame(panel);
    screen->setObjectName("FramePlay");
    screen->setFrameShape(QFrame::NoFrame);
    screen->setAutoFillBackground(true);
    QPalette black = screen->palette();
    black.setColor(QPalette::Window, Qt::black);
    screen->setPalette(black);
    screen->setFixedSize(TPreviewPanel::PanelWidth, TPreviewPanel::PanelHeight);
    PanelPlay = new TPreviewPanel(screen);
    PanelPlay->move(0, 0);

    SpeedButtonPLAY = PictureButton("SpeedButtonPLAY", icons::Play(), "Play Selected Video", panel);
    SpeedButtonPAUSE = PictureButton("SpeedButtonPAUSE", icons::Pause(), "Pause Playing", panel);
    SpeedButtonSTOP = PictureButton("SpeedButtonSTOP", icons::Stop(), "Stop Playing", panel);
    connect(SpeedButtonPLAY, &QToolButton::clicked, this, [this] { SpeedButtonPLAYClick(); });
    connect(SpeedButtonPAUSE, &QToolButton::clicked, this, [this] { SpeedButtonPAUSEClick(); });
    connect(SpeedButtonSTOP, &QToolButton::clicked, this, [this] { SpeedButtonSTOPClick(); });
    auto* playButtons = new QHBoxLayout;
    playButtons->setSpacing(4);
    playButtons->addStretch(1);
    playButtons->addWidget(SpeedButtonPLAY);
    playButtons->addWidget(SpeedButtonPAUSE);
    playButtons->addWidget(SpeedButtonSTOP);
    playButtons->addStretch(1);

    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    right->addSpacing(6);
    right->addWidget(screen);
    right->addLayout(playButtons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(3, 4, 6, 4);
    layout->setSpacing(5);
    layout->addLayout(left, 1);
    layout->addLayout(right);
    return panel;
}

void TMainWindow::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(bar);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(StatusPanelWidths[i]);
        StatusPanels[i]->setFrameShape(QFrame::StyledPanel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(StatusPanels[i]);
    }
    StatusPanels[0]->setText(ReadyText);
}

void TMainWindow::BindLists() {
    BindComboBox(ComboOutputFormat, &Settings.ComboOutputFormat);
    // Connected after the binding, so the handler sees the list already on the user's choice.
    connect(ComboOutputFormat, &QComboBox::activated, this, [this] { Settings.ComboOutputFormatChange(); });
    ComboOutputFormat->OnDropDown = [this](TDropDownComboBox*) { Settings.ComboOutputFormatDropDown(); };

    const std::pair<QComboBox*, TSettingsList*> lists[] = {
        {ComboVideoCodec, &Settings.ComboVideoCodec},
        {ComboVideoSize, &Settings.ComboVideoSize},
        {ComboVideoBitrate, &Settings.ComboVideoBitrate},
        {ComboVideoFramerate, &Settings.ComboVideoFramerate},
        {ComboAudioCodec, &Settings.ComboAudioCodec},
        {ComboAudioBitrate, &Settings.ComboAudioBitrate},
        {ComboAudioChannels, &Settings.ComboAudioChannels},
        {ComboSamplingRate, &Settings.ComboSamplingRate},
        {ComboLetterBox, &Settings.ComboLetterBox},
        {ComboAspectRatio, &Settings.ComboAspectRatio},
        {ComboBoxVideoQuality, &Settings.ComboBoxVideoQuality},
        {ComboBoxVideoSize, &Settings.ComboBoxVideoSize},
        {ComboBoxVideoFramerate, &Settings.ComboBoxVideoFramerate},
        {ComboBoxAudioQuality, &Settings.ComboBoxAudioQuality},
        {ComboBoxAudioChannels, &Settings.ComboBoxAudioChannels},
    };
    for (const auto& [combo, list] : lists)
        BindComboBox(combo, list);

    EditOutputFolder->setText(Settings.OutputFolder());
    connect(&Settings, &TConversionSettings::OutputFolderChanged, EditOutputFolder, &QLineEdit::setText);

    connect(TrackBar1, &QSlider::valueChanged, this,
            [this](int APosition) { Volume.SetTrackBar1Position(APosition); });
    connect(TrackBar2, &QSlider::valueChanged, this,
            [this](int APosition) { Volume.SetTrackBar2Position(APosition); });
    connect(&Volume, &TVolumeSliders::TrackBar1Changed, this, [this](int APosition) {
        const QSignalBlocker blocker(TrackBar1);
        TrackBar1->setValue(APosition);
        LabelVolume->setText(Volume.LabelVolume());
    });
    connect(&Volume, &TVolumeSliders::TrackBar2Changed, this, [this](int APosition) {
        const QSignalBlocker blocker(TrackBar2);
        TrackBar2->setValue(APosition);
        LabelTrackBar2->setText(Volume.LabelTrackBar2());
    });

    connect(&Options, &TAdditionalOptions::ViewApplied, this, &TMainWindow::ApplyView);
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

std::string TMainWindow::LibraryFolder() {
    return QCoreApplication::applicationDirPath().toStdString();
}

bool TMainWindow::LoadLibraries() {
    FLibraryPreload.Wait();
    FFLoader().SetLibraryPath(LibraryFolder());
    return FFLoader().Load(DecoderLibraries);
}

bool TMainWindow::LoadConversionLibraries() {
    // From the folder the start-up took its libraries from.
    if (Encoder.LoadAVLib(FFLoader().LibraryPath()))
        return true;
    MessageBox(LibrariesMissingText, TBatchDriver::InformationCaption, TIcon::Information, TButtons::Ok);
    return false;
}

void TMainWindow::ButtonConvertClick() {
    if (LoadConversionLibraries())
        Driver.ButtonConvertClick();
}

bool TMainWindow::FormCreate() {
    if (!LoadLibraries()) {
        MessageBox(LibrariesMissingText, TBatchDriver::InformationCaption, TIcon::Information, TButtons::Ok);
        return false;
    }
    setWindowTitle(Caption);
    FHelpFile = FindHelpFile();
    Player1.OnState = [this](TCustomPlayer*, TPlayState APlayState) { Player1State(APlayState); };

    // The advanced slider starts on 100 %, and its handler sets the label and the volume.
    Volume.SetTrackBar1Position(TVolumeSliders::DefaultPosition);
    Volume.TrackBar1Change();

    Settings.SetOutputColumn(&FOutputColumn);
    Settings.SetAdditionalOptions(&Options);
    Settings.FillStartupLists();
    MarkUnavailableFormats(ComboOutputFormat);

    AboutBox = new TAboutBox(
        WebPage(), SupportMail(), [this](const QUrl& AUrl) { OpenUrl(AUrl); }, this);
    // Creating the dialog loads the stored settings and shows the stored view.
    OptionsDialog = new TAdditionalOptionsDialog(Options, &Store, this);
    return true;
}

void TMainWindow::FormShow() {
    // Centred on the screen the window opens on, and no larger than that screen.
    if (const QScreen* screen = this->screen())
        FitToScreen(screen->availableGeometry());
    new TFrameFit(this, [this](const QRect& AAvailable) { FitToScreen(AAvailable); });
    // The format restored from the settings is applied once the window is first shown.
    Settings.ComboOutputFormatChange();
}

void TMainWindow::FitToScreen(const QRect& AAvailable) {
    // The frame is known once the window manager has put one around the window; before that it
    // counts as none.
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    const QSize wanted(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    setGeometry(FitWindowOnScreen(wanted, minimumSizeHint(), margins, AAvailable));
}

void TMainWindow::showEvent(QShowEvent* AEvent) {
    QMainWindow::showEvent(AEvent);
    if (!FShown && !AEvent->spontaneous()) {
        FShown = true;
        FormShow();
    }
}

void TMainWindow::FormClose() {
    // A store that cannot be written must not keep the program from closing.
    try {
        Store.SaveSettings();
    } catch (...) {
    }
    if (OptionsDialog)
        OptionsDialog->hide();
}

void TMainWindow::closeEvent(QCloseEvent* AEvent) {
    if (FExitRequested) {
        AEvent->accept();
        return;
    }
    // A run (a row converting or the pause between two) ends as the Stop button ends it, once
    // the user agrees.
    if (Driver.Converting() || !FormCloseQuery()) {
        if (MessageBox(QuitQuestionText, TBatchDriver::ConfirmationCaption, TIcon::Question,
                       TButtons::YesNo) != TAnswer::Yes) {
            AEvent->ignore();
            return;
        }
        Driver.StopRun();
    }
    FileAdder.CancelAdding();
    FormClose();
    AEvent->accept();
}

void TMainWindow::SessionEnding() {
    if (Driver.Converting())
        Driver.StopRun();
}

void TMainWindow::Exit1Click() {
    FExitRequested = true;
    Terminate();
}

void TMainWindow::Terminate() {
    QCoreApplication::exit(0);
}

// ---------------------------------------------------------------------------------------------
// The job list

void TMainWindow::DeleteSelectedItem1Click() {
    // A run addresses its rows by position: none may go while it lasts.
    if (Driver.AddFileInProgress() || Driver.Converting())
        return;
    const QList<int> rows = ListView1->SelectedRows();
    for (auto row = rows.crbegin(); row != rows.crend(); ++row)
        if (*row < JobList.Count())
            JobList.RemoveRow(*row);
    // The row that moved up into the place of the first one removed is selected, so that
    // pressing Delete again goes on down the list.
    if (!rows.isEmpty() && JobList.Count() > 0)
        ListView1->selectRow(std::min(rows.first(), JobList.Count() - 1));
}

void TMainWindow::ClearAllItems1Click() {
    if (Driver.TaskActive() || Driver.Converting())
        return;
    // Files still being added are dropped with the rest.
    FileAdder.CancelAdding();
    JobList.Clear();
}

void TMainWindow::CheckAllItems1Click() {
    for (int row = 0; row < JobList.Count(); ++row)
        JobList.SetChecked(row, true);
}

void TMainWindow::UncheckAllItems1Click() {
    for (int row = 0; row < JobList.Count(); ++row)
        JobList.SetChecked(row, false);
}

void TMainWindow::ShowPopupMenu(const QPoint& APosition) {
    // While converting the menu does not open at all.
    if (!PopupMenu1->isEnabled())
        return;
    PopupMenu1->popup(ListView1->viewport()->mapToGlobal(APosition));
}

// ---------------------------------------------------------------------------------------------
// Output folder, settings views, preview

void TMainWindow::ButtonBrowseForFolderClick() {
    if (Driver.TaskActive())
        return;
    QString folder;
    if (ExecuteFolderBrowser(folder) && !folder.isEmpty())
        Settings.SetOutputFolder(folder);
}

void TMainWindow::Image1Click() {
    Options.SetSimpleAdvanceSettings(Options.SimpleAdvanceSettings() == TAdditionalOptions::SimpleSettings
                                         ? TAdditionalOptions::AdvanceSettings
                                         : TAdditionalOptions::SimpleSettings);
    Options.RadioGroup1Click();
}

void TMainWindow::ApplyView(int AView) {
    const bool simple = AView == TAdditionalOptions::SimpleSettings;
    GroupBoxSimpleVideo->setHidden(!simple);
    GroupBoxSimpleAudio->setHidden(!simple);
    GroupBoxVideo->setHidden(simple);
    GroupBoxAudio->setHidden(simple);
    SimpleLink.SetSimpleViewShown(simple);
    Volume.ApplyView(AView);
}

const QString TMainWindow::CannotPlayText = QStringLiteral("Cannot play this video file");

QString TMainWindow::PreviewUnavailableText(const QString& APlatform) {
    return QStringLiteral("The preview needs an X11 window, which the \"%1\" display does not offer. "
                          "Start the program with QT_QPA_PLATFORM=xcb to see it.")
        .arg(APlatform);
}

bool TMainWindow::LoadPlayerLibraries() {
    return Player1.LoadAVLib(QCoreApplication::applicationDirPath().toStdString(), true);
}

void TMainWindow::SpeedButtonPLAYClick() {
    const int row = ListView1->SelectedRow();
    if (row < 0 || row >= JobList.Count() || PreviewPlaying)
        return;
    if (PreviewPaused) {
        Player1.TogglePause();
        return;
    }
    if (!LoadPlayerLibraries())
        return;
    // SDL draws only into an X11 window: other platforms get told instead of a black panel.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb")) {
        MessageBox(PreviewUnavailableText(platform), TBatchDriver::InformationCaption, TIcon::Information,
                   TButtons::Ok);
        return;
    }
    const QString file = JobList.Caption(row);
    HideThumbnail();
    if (!Player1.Open(file.toStdU16String(), static_cast<uintptr_t>(PanelPlay->winId()), false))
        MessageBox(CannotPlayText, QString(), TIcon::Information, TButtons::Ok);
}

void TMainWindow::SpeedButtonPAUSEClick() {
    if (!PreviewPlaying)
        return;
    PreviewPaused = true;
    PreviewPlaying = false;
    Player1.TogglePause();
}

void TMainWindow::SpeedButtonSTOPClick() {
    Player1.Stop(true);
    PanelPlay->Blank();
    PreviewPlaying = false;
    PreviewPaused = false;
    ShowSelectedThumbnail();
}

void TMainWindow::Player1State(TPlayState APlayState) {
    switch (APlayState) {
    case psPlay:
    case psResume:
        PreviewPlaying = true;
        break;
    case psPause:
    case psStep:
        PreviewPaused = true;
        PreviewPlaying = false;
        break;
    case psStop:
    case psEnd:
        PreviewPlaying = false;
        PreviewPaused = false;
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Menus

void TMainWindow::SetGeneralOptions1Click() {
    if (!OptionsDialog)
        return;
    OptionsDialog->show();
    OptionsDialog->raise();
    OptionsDialog->activateWindow();
}

bool TMainWindow::OpenUrl(const QUrl& AUrl) {
    return QDesktopServices::openUrl(AUrl);
}

void TMainWindow::OpenHelpFile1Click() {
    if (FHelpFile.isEmpty() || !QFileInfo(FHelpFile).isFile()) {
        MessageBox(HelpMissingText(FHelpFile), TBatchDriver::InformationCaption, TIcon::Information,
                   TButtons::Ok);
        return;
    }
    if (!OpenUrl(QUrl::fromLocalFile(FHelpFile)))
        MessageBox(QStringLiteral("The help file \"%1\" could not be opened.").arg(FHelpFile),
                   TBatchDriver::InformationCaption, TIcon::Information, TButtons::Ok);
}

void TMainWindow::VisitOurWebsite1Click() {
    OpenOrTell(WebPage(), WebPageFailedText(WebPage()));
}

void TMainWindow::OpenOrTell(const QUrl& AUrl, const QString& AFailedText) {
    if (!OpenUrl(AUrl))
        MessageBox(AFailedText, TBatchDriver::InformationCaption, TIcon::Information, TButtons::Ok);
}

void TMainWindow::About1Click() {
    if (AboutBox)
        AboutBox->exec();
}

// ---------------------------------------------------------------------------------------------
// The batch driver's view of the window

TBatchUI::TAnswer TMainWindow::MessageBox(const QString& AText, const QString& ACaption, TIcon AIcon,
                                          TButtons AButtons) {
    // The texts break lines with line feed and carriage return; a line feed is enough here.
    QString text = AText;
    text.remove(QLatin1Char('\r'));
    QMessageBox box(AIcon == TIcon::Question ? QMessageBox::Question : QMessageBox::Information, ACaption,
                    text, AButtons == TButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    this);
    if (AButtons == TButtons::YesNo) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    const int answer = box.exec();
    if (AButtons == TButtons::Ok)
        return TAnswer::Ok;
    return answer == QMessageBox::Yes ? TAnswer::Yes : TAnswer::No;
}

QString TMainWindow::OutputFolder() const {
    return EditOutputFolder->text();
}

void TMainWindow::SetControlsEnabled(bool AEnabled) {
    QWidget* const controls[] = {
        ButtonAddFile,
        ButtonClearAll,
        ButtonRemoveFile,
        ButtonConvert,
        ComboOutputFormat,
        ComboVideoCodec,
        ComboVideoSize,
        ComboVideoBitrate,
        ComboVideoFramerate,
        ComboAudioCodec,
        ComboAudioBitrate,
        ComboAudioChannels,
        ComboSamplingRate,
        TrackBar1,
        ComboAspectRatio,
        ComboLetterBox,
        SpeedButtonPLAY,
        SpeedButtonPAUSE,
        SpeedButtonSTOP,
        // The simple view feeds the task as much as the advanced one.
        ComboBoxVideoQuality,
        ComboBoxVideoSize,
        ComboBoxVideoFramerate,
        ComboBoxAudioQuality,
        ComboBoxAudioChannels,
        TrackBar2,
    };
    for (QWidget* control : controls)
        control->setEnabled(AEnabled);
    PopupMenu1->setEnabled(AEnabled);
    for (QMenu* menu : {MenuFile, MenuOptions, MenuHelp})
        menu->menuAction()->setEnabled(AEnabled);
}

void TMainWindow::SetProgressPosition(int APosition) {
    ProgressBar1->setValue(std::clamp(APosition, 0, 100));
}

void TMainWindow::SetStatusText(int APanel, const QString& AText) {
    if (APanel >= 0 && APanel < 3)
        StatusPanels[APanel]->setText(AText);
}

void TMainWindow::ScrollToRow(int ARow) {
    if (ARow >= 0 && ARow < JobList.Count())
        ListView1->scrollTo(JobList.index(ARow, TJobListModel::CaptionColumn));
}

} // namespace vx
