#include "BatchDriver.h"

#include "LocalFileNames.h"
#include "RunStatusText.h"
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

namespace {

QString FileSizeText(int64_t ABytes) {
    return QStringLiteral("File Size : ") +
           QString::number(static_cast<qint64>(std::nearbyint(ABytes / 1000000.0))) +
           QStringLiteral(" MBytes");
}

} // namespace

void TBatchUI::ShowRunSummary(const TRunSummary& ASummary) {
    MessageBox(ASummary.Text(), TBatchDriver::InformationCaption, TIcon::Information, TButtons::Ok);
}

void TRowTaskBuilder::BuildInputOptions(const TJobListModel& AList, int ARow, TInputOptions& AOptions) {
    AOptions.Reset();
    AOptions.FileName = AList.Caption(ARow).toStdU16String();
}

TBatchDriver::TBatchDriver(TJobListModel& AList, TFFEncoder& AEncoder, TBatchUI& AUI,
                           TRowTaskBuilder& ABuilder, QObject* AParent)
    : QObject(AParent), FList(AList), FUI(AUI), FBuilder(ABuilder) {
    // The rows' filter texts may use the engine's equalizers.
    RegisterEqualizerFilters();
    auto first = std::make_unique<TSlot>();
    first->Encoder = &AEncoder;
    FSlots.push_back(std::move(first));
    InstallHandlers(AEncoder);
}

TBatchDriver::~TBatchDriver() {
    // The encoders the driver made stop and wait for their tasks as they are destroyed; the
    // given one only loses its handlers.
    for (auto& slot : FSlots) {
        slot->Encoder->OnProgress = nullptr;
        slot->Encoder->OnTerminate = nullptr;
    }
}

void TBatchDriver::InstallHandlers(TFFEncoder& AEncoder) {
    AEncoder.OnProgress = [this](TCustomEncoder* s, const TProgressInfo& i) { EncoderProgress(s, i); };
    AEncoder.OnTerminate = [this](TCustomEncoder* s, const TTerminateInfo& i) { EncoderTerminate(s, i); };
}

void TBatchDriver::SetJobs(int ACount) {
    FJobs = std::max(ACount, 1);
}

void TBatchDriver::MakeSlots() {
    const auto count = static_cast<size_t>(FJobs);
    while (FSlots.size() > count)
        FSlots.pop_back();
    while (FSlots.size() < count) {
        auto slot = std::make_unique<TSlot>();
        slot->OwnEncoder = std::make_unique<TFFEncoder>();
        slot->Encoder = slot->OwnEncoder.get();
        InstallHandlers(*slot->Encoder);
        FSlots.push_back(std::move(slot));
    }
    // The encoders the driver made work as the given one is set up.
    const TFFEncoder& first = *FSlots.front()->Encoder;
    for (auto& slot : FSlots) {
        if (slot->OwnEncoder) {
            TFFEncoder& encoder = *slot->OwnEncoder;
            encoder.SetProgressInterval(first.ProgressInterval());
            encoder.SetReadTimeout(first.ReadTimeout());
            encoder.SetThreadPriority(first.ThreadPriority());
            encoder.SetTriggerEventInMainThread(first.TriggerEventInMainThread());
            encoder.SetVerbose(first.Verbose());
            encoder.SetHaltOnInvalidOption(first.HaltOnInvalidOption());
            encoder.SetCustomMaxFiles(first.CustomMaxFiles());
        }
        slot->Row = -1;
        slot->TaskActive = false;
        slot->StepPending = false;
        slot->OutputSize = 0;
    }
}

TBatchDriver::TSlot* TBatchDriver::SlotOf(const TCustomEncoder* AEncoder) const {
    for (const auto& slot : FSlots)
        if (slot->Encoder == AEncoder)
            return slot.get();
    return nullptr;
}

std::vector<int> TBatchDriver::ConvertingRows() const {
    std::vector<int> rows;
    for (const auto& slot : FSlots)
        if (slot->TaskActive && slot->Row >= 0)
            rows.push_back(slot->Row);
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TBatchDriver::RowOfSender(const void* ASender) const {
    if (!ASender)
        return -1;
    for (const auto& slot : FSlots) {
        if (slot->Row < 0)
            continue;
        if (slot->Encoder == ASender ||
            slot->Encoder->GetTaskIndex(static_cast<const TCustomFFmpeg*>(ASender)) >= 0)
            return slot->Row;
    }
    return -1;
}

bool TBatchDriver::NextRowPending() const {
    return std::any_of(FSlots.begin(), FSlots.end(), [](const auto& slot) { return slot->StepPending; });
}

bool TBatchDriver::TaskActive() const {
    return std::any_of(FSlots.begin(), FSlots.end(), [](const auto& slot) { return slot->TaskActive; });
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
    MakeSlots();
    FConverting = true;
    FUserAborted = false;
    FSummary.Clear();
    FRunRowCount = rowsInRun;
    DisableControls();
    emit RunStarting();
    for (auto& slot : FSlots)
        slot->Encoder->ClearTasks();
    ReserveOutputNames();
    FCurrentRow = -1;
    // Each slot takes its first row; a stop from a handler of the first ends the handing out.
    for (auto& slot : FSlots)
        if (FConverting)
            StartNextRow(*slot);
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

void TBatchDriver::ScheduleNextRow(TSlot& ASlot) {
    ASlot.StepPending = true;
    TSlot* slot = &ASlot;
    QMetaObject::invokeMethod(
        this, [this, slot] { NextRowDue(slot); }, Qt::QueuedConnection);
}

void TBatchDriver::NextRowDue(TSlot* ASlot) {
    // A stop may have come between the request and now; a run with fewer jobs may have
    // dropped the slot.
    const bool known =
        std::any_of(FSlots.begin(), FSlots.end(), [ASlot](const auto& slot) { return slot.get() == ASlot; });
    if (!known || !ASlot->StepPending)
        return;
    ASlot->StepPending = false;
    StartNextRow(*ASlot);
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

void TBatchDriver::FailRow(TSlot& ASlot, int ARow, const QString& AReason) {
    FinishRow(ARow, TJobResult::Failed, AReason);
    ASlot.TaskActive = false;
    if (FSlots.size() == 1)
        FUI.SetProgressPosition(0);
    else
        FUI.SetProgressPosition(BatchPercent());
    ScheduleNextRow(ASlot);
}

void TBatchDriver::StartNextRow(TSlot& ASlot) {
    // With one job the bar shows the row, which starts from nothing; with more it shows the
    // batch, which goes on.
    if (FSlots.size() == 1)
        FUI.SetProgressPosition(0);
    ASlot.TaskActive = false;
    ASlot.StepPending = false;
    ASlot.OutputSize = 0;

    const int row = ++FCurrentRow;
    ASlot.Row = row;
    // Past the last row (or the list became shorter than the run): nothing is left to convert.
    if (row >= FList.Count()) {
        ASlot.Row = -1;
        SlotOutOfRows();
        return;
    }
    if (!InRun(row)) {
        ScheduleNextRow(ASlot);
        return;
    }

    // A task that could not be built completely is never started: without its output the
    // encoder would end it without the row's result, or not at all.
    emit RowStarting(row);
    TFFEncoder& encoder = *ASlot.Encoder;
    int task = -1;
    try {
        // A row checked after the run started has no name yet.
        if (!FNamedRows.contains(row))
            ReserveOutputName(row);
        const QString outputName = OutputName(row);
        if (outputName.isEmpty()) {
            FailRow(ASlot, row, FList.Progress(row).Reason);
            return;
        }
        // A file that could not be read when it was added is not tried: it fails with that reason.
        if (FList.Progress(row).State == TJobState::Unreadable) {
            FailRow(ASlot, row, FList.Progress(row).Reason);
            return;
        }
        encoder.ClearTasks();
        TInputOptions input;
        FBuilder.BuildInputOptions(FList, row, input);
        task = encoder.AddTask(input.FileName, &input);
        if (task < 0) {
            FailRow(ASlot, row, QString::fromStdString(encoder.LastErrMsg()));
            return;
        }
        TOutputOptions output;
        if (!FBuilder.BuildOutputOptions(FList, row, output))
            throw std::runtime_error(FBuilder.LastErrMsg().toStdString());
        if (!encoder.SetOutputFile(task, outputName.toStdU16String(), &output))
            throw std::runtime_error(encoder.LastErrMsg());
    } catch (const std::exception& e) {
        if (task >= 0 && task < encoder.TasksCount())
            encoder.RemoveTask(task);
        FailRow(ASlot, row, QString::fromUtf8(e.what()));
        return;
    }

    ASlot.TaskActive = true;
    TJobProgress progress = FList.Progress(row);
    progress.State = TJobState::Converting;
    FList.SetProgress(row, progress);
    try {
        encoder.Start(1);
    } catch (const std::exception& e) {
        encoder.Stop(true);
        FailRow(ASlot, row, QString::fromUtf8(e.what()));
    }
}

void TBatchDriver::SlotOutOfRows() {
    const bool busy = std::any_of(FSlots.begin(), FSlots.end(),
                                  [](const auto& slot) { return slot->TaskActive || slot->StepPending; });
    if (!busy && FConverting)
        CompleteRun();
}

void TBatchDriver::CompleteRun() {
    FUI.ShowRunSummary(FSummary);
    FUI.SetProgressPosition(0);
    EnableControls();
    FConverting = false;
    emit RunEnded(false);
}

int TBatchDriver::BatchPercent() const {
    std::vector<int> converting;
    for (const auto& slot : FSlots)
        if (slot->TaskActive && slot->Row >= 0 && slot->Row < FList.Count())
            converting.push_back(FList.Progress(slot->Row).Percent.value_or(0));
    return OverallPercent(FSummary.Handled(), FRunRowCount, converting);
}

void TBatchDriver::ShowProgress(const TSlot& ASlot, bool APercentKnown) {
    if (FSlots.size() == 1) {
        FUI.SetStatusText(1, FileSizeText(ASlot.OutputSize));
        // Without a known total the bar stays where it is.
        if (const std::optional<int> percent = FList.Progress(ASlot.Row).Percent; APercentKnown && percent)
            FUI.SetProgressPosition(*percent);
        return;
    }
    int64_t size = 0;
    for (const auto& slot : FSlots)
        size += slot->TaskActive ? slot->OutputSize : 0;
    FUI.SetStatusText(1, FileSizeText(size));
    FUI.SetProgressPosition(BatchPercent());
}

void TBatchDriver::EncoderProgress(TCustomEncoder* Sender, const TProgressInfo& AInfo) {
    TSlot* slot = SlotOf(Sender);
    if (!slot)
        return;
    const int row = slot->Row;
    if (row < 0 || row >= FList.Count())
        return;
    FUI.ScrollToRow(row);
    TJobProgress progress = FList.Progress(row);
    // Without a known total the percentage means nothing: the last one stays.
    const bool known = AInfo.TotalDuration > 0;
    if (known) {
        const __int128 p = __int128(AInfo.CurrentDuration) * 100 / AInfo.TotalDuration;
        progress.Percent = static_cast<int>(std::clamp<__int128>(p, 0, 100));
    }
    progress.Frames = AInfo.FrameNumber;
    FList.SetProgress(row, progress);
    slot->OutputSize = AInfo.CurrentSize;
    ShowProgress(*slot, known);
    emit RowProgress(row, AInfo);
}

void TBatchDriver::EncoderTerminate(TCustomEncoder* Sender, const TTerminateInfo& AInfo) {
    TSlot* slot = SlotOf(Sender);
    if (!slot)
        return;
    slot->TaskActive = false;
    if (AInfo.TaskIndex >= 0) {
        const int row = slot->Row;
        if (row < 0 || row >= FList.Count())
            return;
        TFFEncoder& encoder = *slot->Encoder;
        if (AInfo.TaskIndex < encoder.TasksCount()) {
            const TPathFileName used = encoder.OutputFileNameUsed(AInfo.TaskIndex);
            if (!used.empty()) {
                TJobProgress progress = FList.Progress(row);
                progress.OutputFile = QString::fromStdU16String(used);
                FList.SetProgress(row, progress);
            }
        }
        const TJobResult result = AInfo.Exception ? TJobResult::Failed
                                  : FUserAborted  ? TJobResult::Aborted
                                                  : TJobResult::Done;
        FinishRow(row, result, QString::fromStdString(AInfo.ExceptionMsg));
        if (FSlots.size() > 1 && FConverting)
            FUI.SetProgressPosition(BatchPercent());
        return;
    }
    // The end of the encoder's run: the slot's next row may start once this handler has
    // returned. After a stop no further row starts.
    if (FConverting)
        ScheduleNextRow(*slot);
    else
        FUI.SetProgressPosition(0);
}

void TBatchDriver::ButtonStopConvertClick() {
    if (TaskActive()) {
        for (auto& slot : FSlots)
            slot->Encoder->Pause();
        if (FUI.MessageBox(StopQuestionText, ConfirmationCaption, TBatchUI::TIcon::Question,
                           TBatchUI::TButtons::YesNo) != TBatchUI::TAnswer::Yes) {
            for (auto& slot : FSlots)
                slot->Encoder->Resume();
            return;
        }
    }
    StopRun();
}

void TBatchDriver::StopRun() {
    if (TaskActive())
        FUserAborted = true;
    // No further row: neither a step already queued nor one the stop's own events ask for.
    const bool wasConverting = FConverting;
    FConverting = false;
    for (auto& slot : FSlots)
        slot->StepPending = false;
    // Every row is held before any is stopped, so that none ends on its own while the stop
    // waits for another.
    if (FSlots.size() > 1)
        for (auto& slot : FSlots)
            slot->Encoder->Pause();
    for (auto& slot : FSlots)
        slot->Encoder->Stop(true);
    FUI.SetProgressPosition(0);
    EnableControls();
    for (auto& slot : FSlots)
        slot->TaskActive = false;
    if (wasConverting)
        emit RunEnded(true);
}

} // namespace vx
