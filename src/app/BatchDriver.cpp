#include "BatchDriver.h"

#include "LocalFileNames.h"
#include "encode/filters/EqualizerFilters.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vx {

const QString TBatchDriver::InformationCaption = QStringLiteral("Information");
const QString TBatchDriver::ConfirmationCaption = QStringLiteral("Confirmation");
const QString TBatchDriver::NoFilesText = QStringLiteral("Please Add Files To Convert!");
const QString TBatchDriver::NoOutputFolderText = QStringLiteral("Please select an output folder!");
const QString TBatchDriver::StopQuestionText = QStringLiteral("Stop all conversions?");

QString TBatchDriver::MissingFolderText(const QString& AFolder) {
    return QStringLiteral("The output folder \"") + AFolder +
           QStringLiteral("\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.");
}

void TBatchUI::ShowRunSummary(const TRunSummary& ASummary) {
    MessageBox(ASummary.Text(), TBatchDriver::InformationCaption, TIcon::Information, TButtons::Ok);
}

void TRowTaskBuilder::BuildInputOptions(const TJobListModel& AList, int ARow, TInputOptions& AOptions) {
    AOptions.Reset();
    AOptions.FileName = AList.Caption(ARow).toStdU16String();
}

TBatchDriver::TBatchDriver(TJobListModel& AList, TFFEncoder& AEncoder, TBatchUI& AUI,
                           TRowTaskBuilder& ABuilder, QObject* AParent)
    : QObject(AParent), FList(AList), FEncoder(AEncoder), FUI(AUI), FBuilder(ABuilder) {
    // The rows' filter texts may use the engine's equalizers.
    RegisterEqualizerFilters();
    FEncoder.OnProgress = [this](TCustomEncoder* s, const TProgressInfo& i) { EncoderProgress(s, i); };
    FEncoder.OnTerminate = [this](TCustomEncoder* s, const TTerminateInfo& i) { EncoderTerminate(s, i); };
}

TBatchDriver::~TBatchDriver() {
    FEncoder.OnProgress = nullptr;
    FEncoder.OnTerminate = nullptr;
}

void TBatchDriver::DisableControls() {
    FUI.SetControlsEnabled(false);
}

void TBatchDriver::EnableControls() {
    FUI.SetControlsEnabled(true);
}

void TBatchDriver::StartRun(std::optional<std::set<int>> ARows) {
    if (FAddFileInProgress || FConverting)
        return;
    // A file that could not be read keeps its mark and its reason: only the rows of the run
    // start afresh.
    for (int row = 0; row < FList.Count(); ++row)
        if ((!ARows || ARows->contains(row)) && FList.Progress(row).State != TJobState::Unreadable)
            FList.SetProgress(row, TJobProgress());
    if (FList.Count() == 0) {
        FUI.MessageBox(NoFilesText, InformationCaption, TBatchUI::TIcon::Information, TBatchUI::TButtons::Ok);
        return;
    }
    FRunRows = std::move(ARows);
    int rowsInRun = 0;
    for (int row = 0; row < FList.Count(); ++row)
        rowsInRun += InRun(row) ? 1 : 0;
    if (rowsInRun == 0) {
        FUI.MessageBox(NothingCheckedText, InformationCaption, TBatchUI::TIcon::Information,
                       TBatchUI::TButtons::Ok);
        return;
    }
    const QString folder = FUI.OutputFolder();
    if (folder.isEmpty()) {
        FUI.MessageBox(NoOutputFolderText, InformationCaption, TBatchUI::TIcon::Information,
                       TBatchUI::TButtons::Ok);
        FUI.BrowseOutputFolder();
        return;
    }
    if (!IsDirectory(folder.trimmed())) {
        FUI.MessageBox(MissingFolderText(folder), InformationCaption, TBatchUI::TIcon::Information,
                       TBatchUI::TButtons::Ok);
        FUI.BrowseOutputFolder();
        return;
    }
    FTaskActive = true;
    FConverting = true;
    FUserAborted = false;
    FSummary.Clear();
    FRunRowCount = rowsInRun;
    DisableControls();
    emit RunStarting();
    FEncoder.ClearTasks();
    ReserveOutputNames();
    FCurrentRow = -1;
    StartNextRow();
}

void TBatchDriver::RetryFailedRows() {
    const std::set<int> rows = FailedRows();
    if (!rows.empty())
        StartRun(rows);
}

std::set<int> TBatchDriver::FailedRows() const {
    std::set<int> rows;
    for (int row = 0; row < FList.Count(); ++row) {
        const TJobProgress& progress = FList.Progress(row);
        if (progress.State == TJobState::Finished && progress.Result == TJobResult::Failed)
            rows.insert(row);
    }
    return rows;
}

void TBatchDriver::ReserveOutputNames() {
    FBatchNames.Clear();
    FNamedRows.clear();
    // Every row's file counts, checked or not: a row checked later must find it as it was.
    for (int row = 0; row < FList.Count(); ++row)
        FBatchNames.AddSource(FList.Caption(row));
    for (int row = 0; row < FList.Count(); ++row)
        if (InRun(row))
            ReserveOutputName(row);
}

bool TBatchDriver::ReserveOutputName(int ARow) {
    QString name;
    QString reason;
    bool named = false;
    try {
        named = FBuilder.BuildOutputName(FList, ARow, FBatchNames, name);
        if (!named)
            reason = FBuilder.LastErrMsg();
    } catch (const std::exception& e) {
        reason = QString::fromUtf8(e.what());
    }
    if (named)
        FBatchNames.Reserve(name);
    else
        name.clear();
    FNamedRows.insert(ARow);
    TJobProgress progress = FList.Progress(ARow);
    progress.OutputFile = name;
    // An unreadable file keeps its reason unless naming fails first.
    if (progress.State != TJobState::Unreadable || !named)
        progress.Reason = reason;
    FList.SetProgress(ARow, progress);
    return named;
}

QString TBatchDriver::OutputName(int ARow) const {
    return ARow >= 0 && ARow < FList.Count() ? FList.Progress(ARow).OutputFile : QString();
}

void TBatchDriver::ScheduleNextRow() {
    FNextRowPending = true;
    QMetaObject::invokeMethod(this, &TBatchDriver::NextRowDue, Qt::QueuedConnection);
}

void TBatchDriver::NextRowDue() {
    // A stop may have come between the request and now.
    if (!FNextRowPending)
        return;
    FNextRowPending = false;
    StartNextRow();
}

void TBatchDriver::FinishRow(int ARow, TJobResult AResult, const QString& AReason) {
    TJobProgress progress = FList.Progress(ARow);
    // An unreadable file's row keeps its "Error" mark; it still counts as failed.
    if (progress.State != TJobState::Unreadable) {
        progress.State = TJobState::Finished;
        progress.Result = AResult;
        progress.Reason = AReason;
        FList.SetProgress(ARow, progress);
    }
    FSummary.Add(FList.Caption(ARow), AResult, AReason);
    emit RowFinished(ARow, AResult, AReason);
}

void TBatchDriver::FailRow(int ARow, const QString& AReason) {
    FinishRow(ARow, TJobResult::Failed, AReason);
    FUI.SetProgressPosition(0);
    FTaskActive = false;
    ScheduleNextRow();
}

void TBatchDriver::StartNextRow() {
    FUI.SetProgressPosition(0);
    FTaskActive = false;
    FNextRowPending = false;

    const int row = ++FCurrentRow;
    // Past the last row (or the list became shorter than the run): nothing is left to convert.
    if (row >= FList.Count()) {
        CompleteRun();
        return;
    }
    if (!InRun(row)) {
        ScheduleNextRow();
        return;
    }

    // A task that could not be built completely is never started: without its output the
    // encoder would end it without the row's result, or not at all.
    emit RowStarting(row);
    int task = -1;
    try {
        // A row checked after the run started has no name yet.
        if (!FNamedRows.contains(row))
            ReserveOutputName(row);
        const QString outputName = OutputName(row);
        if (outputName.isEmpty()) {
            FailRow(row, FList.Progress(row).Reason);
            return;
        }
        // A file that could not be read when it was added is not tried: it fails with that reason.
        if (FList.Progress(row).State == TJobState::Unreadable) {
            FailRow(row, FList.Progress(row).Reason);
            return;
        }
        FEncoder.ClearTasks();
        TInputOptions input;
        FBuilder.BuildInputOptions(FList, row, input);
        task = FEncoder.AddTask(input.FileName, &input);
        if (task < 0) {
            FailRow(row, QString::fromStdString(FEncoder.LastErrMsg()));
            return;
        }
        TOutputOptions output;
        if (!FBuilder.BuildOutputOptions(FList, row, output))
            throw std::runtime_error(FBuilder.LastErrMsg().toStdString());
        if (!FEncoder.SetOutputFile(task, outputName.toStdU16String(), &output))
            throw std::runtime_error(FEncoder.LastErrMsg());
    } catch (const std::exception& e) {
        if (task >= 0 && task < FEncoder.TasksCount())
            FEncoder.RemoveTask(task);
        FailRow(row, QString::fromUtf8(e.what()));
        return;
    }

    FTaskActive = true;
    TJobProgress progress = FList.Progress(row);
    progress.State = TJobState::Converting;
    FList.SetProgress(row, progress);
    try {
        FEncoder.Start(1);
    } catch (const std::exception& e) {
        FEncoder.Stop(true);
        FailRow(row, QString::fromUtf8(e.what()));
    }
}

void TBatchDriver::CompleteRun() {
    FUI.ShowRunSummary(FSummary);
    FUI.SetProgressPosition(0);
    EnableControls();
    FTaskActive = false;
    FConverting = false;
    emit RunEnded(false);
}

void TBatchDriver::EncoderProgress(TCustomEncoder*, const TProgressInfo& AInfo) {
    const int row = FCurrentRow;
    if (row < 0 || row >= FList.Count())
        return;
    FUI.ScrollToRow(row);
    TJobProgress progress = FList.Progress(row);
    // Without a known total the percentage means nothing: the last one stays.
    if (AInfo.TotalDuration > 0) {
        const __int128 p = __int128(AInfo.CurrentDuration) * 100 / AInfo.TotalDuration;
        progress.Percent = static_cast<int>(std::clamp<__int128>(p, 0, 100));
    }
    progress.Frames = AInfo.FrameNumber;
    FList.SetProgress(row, progress);
    FUI.SetStatusText(
        1, QStringLiteral("File Size : ") +
               QString::number(static_cast<qint64>(std::nearbyint(AInfo.CurrentSize / 1000000.0))) +
               QStringLiteral(" MBytes"));
    if (AInfo.TotalDuration > 0)
        FUI.SetProgressPosition(*progress.Percent);
}

void TBatchDriver::EncoderTerminate(TCustomEncoder*, const TTerminateInfo& AInfo) {
    FTaskActive = false;
    if (AInfo.TaskIndex >= 0) {
        if (FCurrentRow < 0 || FCurrentRow >= FList.Count())
            return;
        if (AInfo.TaskIndex < FEncoder.TasksCount()) {
            const TPathFileName used = FEncoder.OutputFileNameUsed(AInfo.TaskIndex);
            if (!used.empty()) {
                TJobProgress progress = FList.Progress(FCurrentRow);
                progress.OutputFile = QString::fromStdU16String(used);
                FList.SetProgress(FCurrentRow, progress);
            }
        }
        const TJobResult result = AInfo.Exception ? TJobResult::Failed
                                  : FUserAborted  ? TJobResult::Aborted
                                                  : TJobResult::Done;
        FinishRow(FCurrentRow, result, QString::fromStdString(AInfo.ExceptionMsg));
        return;
    }
    // The end of the encoder's run: the next row may start once this handler has returned.
    // After a stop no further row starts.
    if (FConverting)
        ScheduleNextRow();
    else
        FUI.SetProgressPosition(0);
}

void TBatchDriver::ButtonStopConvertClick() {
    if (FTaskActive) {
        FEncoder.Pause();
        if (FUI.MessageBox(StopQuestionText, ConfirmationCaption, TBatchUI::TIcon::Question,
                           TBatchUI::TButtons::YesNo) != TBatchUI::TAnswer::Yes) {
            FEncoder.Resume();
            return;
        }
    }
    StopRun();
}

void TBatchDriver::StopRun() {
    if (FTaskActive)
        FUserAborted = true;
    // No further row: neither the step already queued nor one the stop's own events ask for.
    const bool wasConverting = FConverting;
    FConverting = false;
    FNextRowPending = false;
    FEncoder.Stop(true);
    FUI.SetProgressPosition(0);
    EnableControls();
    FTaskActive = false;
    if (wasConverting)
        emit RunEnded(true);
}

} // namespace vx
