// The main window's account of a run: the log view, retrying the failed rows, opening the
// output folder, the status bar while a run goes on and the notice when it ends.
#include "MainWindow.h"

#include "LogView.h"
#include "RunStatusText.h"

#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTimer>

namespace vx {

namespace {

constexpr int RunStatusIntervalMs = 1000;

} // namespace

void TMainWindow::CreateRunReports() {
    LogView = new TLogView(JobList, Driver, this);
    connect(LogView, &TLogView::RetryRequested, this, [this] { RetryFailedRows1Click(); });

    FRunStatusTimer = new QTimer(this);
    FRunStatusTimer->setInterval(RunStatusIntervalMs);
    connect(FRunStatusTimer, &QTimer::timeout, this, [this] { UpdateRunStatus(); });
    connect(&Driver, &TBatchDriver::RunStarting, this, [this] { RunStarted(); });
    connect(&Driver, &TBatchDriver::RunEnded, this, [this] { RunFinished(); });
    // A row's end moves the overall percentage on at once.
    connect(&Driver, &TBatchDriver::RowFinished, this, [this] { UpdateRunStatus(); });
    connect(MenuFile, &QMenu::aboutToShow, this,
            [this] { RetryFailedRows1->setEnabled(!Driver.FailedRows().empty()); });
    // The next run converts as many rows at once as the options say.
    Driver.SetJobs(Options.SimultaneousConversions());
    connect(&Options, &TAdditionalOptions::SimultaneousConversionsChanged, &Driver, &TBatchDriver::SetJobs);
}

void TMainWindow::RunStarted() {
    FRunClock.start();
    FRunStatusTimer->start();
    UpdateRunStatus();
}

void TMainWindow::RunFinished() {
    FRunStatusTimer->stop();
    StatusPanels[0]->setText(ReadyText);
    StatusPanels[0]->setToolTip({});
}

void TMainWindow::UpdateRunStatus() {
    if (!Driver.Converting() || !FRunClock.isValid())
        return;
    const int percent = Driver.BatchPercent();
    StatusPanels[0]->setText(RunStatusText(percent, FRunClock.elapsed()));
    StatusPanels[0]->setToolTip(QStringLiteral("Overall progress, time taken and time left"));
}

void TMainWindow::ShowRunSummary(const TRunSummary& ASummary) {
    // The notice reaches a user who has turned to another window; the message box waits here.
    Notifier.Notify(Caption, ASummary.Text());
    FRunStatusTimer->stop();
    StatusPanels[0]->setText(
        QStringLiteral("100%  %1").arg(ClockText(FRunClock.isValid() ? FRunClock.elapsed() : 0)));
    TBatchUI::ShowRunSummary(ASummary);
}

void TMainWindow::ViewLog1Click() {
    LogView->show();
    LogView->raise();
    LogView->activateWindow();
}

void TMainWindow::RetryFailedRows1Click() {
    if (LoadConversionLibraries())
        Driver.RetryFailedRows();
}

void TMainWindow::OpenOutputFolder1Click() {
    const QString folder = OutputFolder().trimmed();
    if (folder.isEmpty()) {
        MessageBox(TBatchDriver::NoOutputFolderText, TBatchDriver::InformationCaption, TIcon::Information,
                   TButtons::Ok);
        return;
    }
    if (!QDir(folder).exists()) {
        MessageBox(TBatchDriver::MissingFolderText(folder), TBatchDriver::InformationCaption,
                   TIcon::Information, TButtons::Ok);
        return;
    }
    OpenOrTell(QUrl::fromLocalFile(folder),
               QStringLiteral("The output folder \"%1\" could not be opened: no file manager was found.")
                   .arg(folder));
}

} // namespace vx
