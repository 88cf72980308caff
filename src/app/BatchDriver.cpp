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
const QString TBatchDriver::CompletedText = QStringLiteral("All Conversions Completed");
const QString TBatchDriver::StopQuestionText = QStringLiteral("Stop all conversions?");

QString TBatchDriver::MissingFolderText(const QString& AFolder) {
    return QStringLiteral("The output folder \"") + AFolder +
           QStringLiteral("\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.");
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
    FTimerConvertAgain.setInterval(RestartInterval);
    connect(&FTimerConvertAgain, &QTimer::timeout, this, [this] { TimerConvertAgainTimer(); });
    FEncoder.OnProgress = [this](TCustomEncoder* s, const TProgressInfo& i) { EncoderProgress(s, i); };
    FEncoder.OnTerminate = [this](TCustomEncoder* s, const TTerminateInfo& i) { EncoderTerminate(s, i); };
}

TBatchDriver::~TBatchDriver() {
    FTimerConvertAgain.stop();
    FEncoder.OnProgress = nullptr;
    FEncoder.OnTerminate = nullptr;
}

void TBatchDriver::EnableTimer() {
    if (!FTimerConvertAgain.isActive())
        FTimerConvertAgain.start();
}

void TBatchDriver::DisableTimer() {
    FTimerConvertAgain.stop();
}

void TBatchDriver::DisableControls() {
    FUI.SetControlsEnabled(false);
}

void TBatchDriver::EnableControls() {
    FUI.SetControlsEnabled(true);
}

void TBatchDriver::ButtonConvertClick() {
    if (FAddFileInProgress)
        return;
    for (int row = 0; row < FList.Count(); ++row) {
        FList.SetCell(row, jcProgress, QString());
        FList.SetCell(row, jcFrames, QString());
    }
    if (FList.Count() == 0) {
        FUI.MessageBox(NoFilesText, InformationCaption, TBatchUI::TIcon::Information, TBatchUI::TButtons::Ok);
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
    EnableTimer();
    FUserAborted = false;
    DisableControls();
    FEncoder.ClearTasks();
    ReserveOutputNames();
    FListviewItem = -1;
    StartNextRow();
}

void TBatchDriver::ReserveOutputNames() {
    FBatchNames.Clear();
    FOutputNames.clear();
    // Every row's file counts, checked or not: a row checked later must find it as it was.
    for (int row = 0; row < FList.Count(); ++row)
        FBatchNames.AddSource(FList.Caption(row));
    for (int row = 0; row < FList.Count(); ++row)
        if (FList.Checked(row))
            ReserveOutputName(row);
}

bool TBatchDriver::ReserveOutputName(int ARow) {
    QString name;
    bool named = false;
    try {
        named = FBuilder.BuildOutputName(FList, ARow, FBatchNames, name);
    } catch (const std::exception&) {
        named = false;
    }
    if (!named)
        name.clear();
    else
        FBatchNames.Reserve(name);
    FOutputNames[ARow] = name;
    return named;
}

QString TBatchDriver::OutputName(int ARow) const {
    const auto found = FOutputNames.find(ARow);
    return found == FOutputNames.end() ? QString() : found->second;
}

void TBatchDriver::FailRow(int ARow) {
    FList.SetCell(ARow, jcProgress, QStringLiteral("Fail"));
    FUI.SetProgressPosition(0);
    FTaskActive = false;
    FKountAgain = 0;
    if (FThisIsTheLastItem)
        FNoMoreFilesToConvert = true;
    EnableTimer();
}

void TBatchDriver::StartNextRow() {
    FUI.SetProgressPosition(0);
    FThisIsTheLastItem = false;
    FNoMoreFilesToConvert = false;
    FTaskActive = false;
    DisableTimer();

    ++FListviewItem;
    const int row = FListviewItem;
    if (row == FList.Count() - 1)
        FThisIsTheLastItem = true;
    if (row >= FList.Count()) {
        // The list became shorter than the run: nothing is left to convert.
        FNoMoreFilesToConvert = true;
        EnableTimer();
        return;
    }
    if (!FList.Checked(row)) {
        EnableTimer();
        if (FThisIsTheLastItem)
            FNoMoreFilesToConvert = true;
        return;
    }

    // A task that could not be built completely is never started: without its output the
    // encoder would end it without the row's result, or not at all.
    emit RowStarting(row);
    int task = -1;
    try {
        // A row checked after the run started has no name yet.
        if (!FOutputNames.contains(row))
            ReserveOutputName(row);
        const QString outputName = OutputName(row);
        if (outputName.isEmpty())
            throw std::runtime_error("no output name");
        FEncoder.ClearTasks();
        TInputOptions input;
        FBuilder.BuildInputOptions(FList, row, input);
        task = FEncoder.AddTask(input.FileName, &input);
        if (task < 0) {
            FailRow(row);
            return;
        }
        TOutputOptions output;
        if (!FBuilder.BuildOutputOptions(FList, row, output))
            throw std::runtime_error("no output options");
        if (!FEncoder.SetOutputFile(task, outputName.toStdU16String(), &output))
            throw std::runtime_error("no output file");
    } catch (const std::exception&) {
        if (task >= 0 && task < FEncoder.TasksCount())
            FEncoder.RemoveTask(task);
        FailRow(row);
        return;
    }

    FTaskActive = true;
    try {
        EnableTimer();
        FEncoder.Start(1);
    } catch (const std::exception&) {
        FEncoder.Stop(true);
        FList.SetCell(row, jcProgress, QStringLiteral("Fail"));
        FUI.SetProgressPosition(0);
        FTaskActive = false;
        FKountAgain = 0;
        if (FThisIsTheLastItem)
            FNoMoreFilesToConvert = true;
        EnableTimer();
        return;
    }
    if (FThisIsTheLastItem)
        FNoMoreFilesToConvert = true;
}

void TBatchDriver::TimerConvertAgainTimer() {
    if (FTaskActive)
        return;
    if (FNoMoreFilesToConvert) {
        DisableTimer();
        FUI.MessageBox(CompletedText, InformationCaption, TBatchUI::TIcon::Information,
                       TBatchUI::TButtons::Ok);
        FUI.SetProgressPosition(0);
        EnableControls();
        FTaskActive = false;
        EndRun(false);
        return;
    }
    if (++FKountAgain < 2)
        return;
    FKountAgain = 0;
    try {
        FEncoder.ClearTasks();
    } catch (const std::logic_error&) {
        // The encoder's run has not quite ended: try again on the next tick.
        FKountAgain = 1;
        return;
    }
    FTaskActive = true;
    ConvertAgain();
}

void TBatchDriver::EncoderProgress(TCustomEncoder*, const TProgressInfo& AInfo) {
    const int row = FListviewItem;
    if (row < 0 || row >= FList.Count())
        return;
    FUI.ScrollToRow(row);
    // Without a known total the percentage means nothing: the cell stays empty.
    int percent = -1;
    if (AInfo.TotalDuration > 0) {
        const __int128 p = __int128(AInfo.CurrentDuration) * 100 / AInfo.TotalDuration;
        percent = static_cast<int>(std::clamp<__int128>(p, 0, 100));
        FList.SetCell(row, jcProgress, QString::number(percent) + QLatin1Char('%'));
    }
    FUI.SetStatusText(
        1, QStringLiteral("File Size : ") +
               QString::number(static_cast<qint64>(std::nearbyint(AInfo.CurrentSize / 1000000.0))) +
               QStringLiteral(" MBytes"));
    FList.SetCell(row, jcFrames,
                  AInfo.FrameNumber == -1 ? QStringLiteral(" ") : QString::number(AInfo.FrameNumber));
    if (percent >= 0)
        FUI.SetProgressPosition(percent);
}

void TBatchDriver::EncoderTerminate(TCustomEncoder*, const TTerminateInfo& AInfo) {
    FTaskActive = false;
    if (AInfo.TaskIndex >= 0 && FListviewItem >= 0 && FListviewItem < FList.Count()) {
        if (AInfo.TaskIndex < FEncoder.TasksCount()) {
            const TPathFileName used = FEncoder.OutputFileNameUsed(AInfo.TaskIndex);
            if (!used.empty())
                FOutputNames[FListviewItem] = QString::fromStdU16String(used);
        }
        const char* result = AInfo.Exception ? "Fail" : FUserAborted ? "Abort" : "Done";
        FList.SetCell(FListviewItem, jcProgress, QString::fromLatin1(result));
    }
    if (FNoMoreFilesToConvert && AInfo.TaskIndex < 0) {
        FUI.SetProgressPosition(0);
        FTaskActive = false;
    }
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
    FNoMoreFilesToConvert = true;
    DisableTimer();
    FEncoder.Stop(true);
    FUI.SetProgressPosition(0);
    EnableControls();
    FTaskActive = false;
    if (FConverting)
        EndRun(true);
}

void TBatchDriver::EndRun(bool AStopped) {
    FConverting = false;
    emit RunEnded(AStopped);
}

} // namespace vx
