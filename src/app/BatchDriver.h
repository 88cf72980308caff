// The batch conversion loop of the main window: it walks the checked rows of the job list
// in order, converts up to Jobs() rows at a time (one by default), keeps each row's progress
// and result in the row's record (TJobProgress, which the list draws), announces each row's
// end with RowFinished, and ends the run with a completion message or on the user's stop.
//
// Each row at a time has a slot of its own with its own encoder: the first slot uses the
// encoder the driver is given, the others use encoders the driver makes for the run. A slot
// takes the next row in list order when its row has ended. Everything runs on the main
// thread; the encoders' events arrive there through the platform bridge and tell their slot
// by their sender. Each step to a slot's next row is queued from the event that ends the row
// before it, so no handler ever starts a row from inside another row's event. The window (or the command
// line, or a test) supplies the user interface through TBatchUI and the building of a row's task through
// TRowTaskBuilder.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "BatchOutputNames.h"
#include "JobListModel.h"
#include "RunSummary.h"
#include "encode/FFEncode.h"

namespace vx {

// What the driver needs from the window.
class TBatchUI {
public:
    enum class TIcon { Information, Question };
    enum class TButtons { Ok, YesNo };
    enum class TAnswer { Ok, Yes, No };

    virtual ~TBatchUI() = default;
    // A modal message box; closing it without a choice answers No.
    virtual TAnswer MessageBox(const QString& AText, const QString& ACaption, TIcon AIcon,
                               TButtons AButtons) = 0;
    // The output folder field's text, untrimmed.
    virtual QString OutputFolder() const = 0;
    // Opens the folder browser as if its button had been pressed.
    virtual void BrowseOutputFolder() = 0;
    // Enables or disables the controls that must not be used while converting.
    virtual void SetControlsEnabled(bool AEnabled) = 0;
    // The progress bar, 0..100.
    virtual void SetProgressPosition(int APosition) = 0;
    virtual void SetStatusText(int APanel, const QString& AText) = 0;
    virtual void ScrollToRow(int ARow) = 0;
    // The run has gone through all its rows; by default the summary's text in an
    // information box.
    virtual void ShowRunSummary(const TRunSummary& ASummary);
};

// Builds the encoder task of one row. A false result or an exception fails the row; after a
// false result LastErrMsg() says why.
class TRowTaskBuilder {
public:
    virtual ~TRowTaskBuilder() = default;
    // ABatch: the run's sources and the names given to its rows so far; the name must be
    // none of them.
    virtual bool BuildOutputName(const TJobListModel& AList, int ARow, const TBatchOutputNames& ABatch,
                                 QString& AOutputFileName) = 0;
    // Default: a reset record naming the row's source path (its caption, exactly).
    virtual void BuildInputOptions(const TJobListModel& AList, int ARow, TInputOptions& AOptions);
    virtual bool BuildOutputOptions(const TJobListModel& AList, int ARow, TOutputOptions& AOptions) = 0;
    // Why the last build that answered false failed.
    virtual QString LastErrMsg() const { return {}; }
};

class TBatchDriver : public QObject {
    Q_OBJECT
public:
    // The texts the user sees.
    static const QString InformationCaption;  // "Information"
    static const QString ConfirmationCaption; // "Confirmation"
    static const QString NoFilesText;         // "Please Add Files To Convert!"
    static const QString NoOutputFolderText;  // "Please select an output folder!"
    static constexpr const QString& CompletedText = TRunSummary::CompletedText;
    static constexpr const QString& NothingCheckedText = TRunSummary::NothingCheckedText;
    static const QString StopQuestionText; // "Stop all conversions?"
    static QString MissingFolderText(const QString& AFolder);

    // Installs itself as the encoder's OnProgress and OnTerminate handlers (and those of the
    // encoders it makes). The objects must outlive the driver.
    TBatchDriver(TJobListModel& AList, TFFEncoder& AEncoder, TBatchUI& AUI, TRowTaskBuilder& ABuilder,
                 QObject* AParent = nullptr);
    ~TBatchDriver() override;

    // The "Go Convert " button and the File menu's "Convert": validates and starts a run of
    // the checked rows.
    void ButtonConvertClick() { StartRun(std::nullopt); }
    // Runs the rows that failed in the run before once more, checked or not; the other rows
    // keep their results. Nothing happens when none failed.
    void RetryFailedRows();
    // The rows whose last run failed (an unreadable file is not among them: it fails again).
    std::set<int> FailedRows() const;
    // Names the output of every checked row, before any row starts (the start of a run does
    // this), into the rows' records. A row that cannot be named gets an empty name and the
    // reason, and fails when it is reached.
    void ReserveOutputNames();
    // The row's output file: its reserved name, and once the row has ended the name the file
    // was finally given (another run may have taken the reserved one meanwhile). Empty for a
    // row that has none.
    QString OutputName(int ARow) const;
    // The first slot advances to the next row and starts its task; past the last row the run
    // completes once no other slot has a row.
    void StartNextRow() { StartNextRow(*FSlots.front()); }
    // Events of an encoder the driver does not use are ignored.
    void EncoderProgress(TCustomEncoder* Sender, const TProgressInfo& AInfo);
    // A row's result comes with its task's event; the slot's next row is started, through the
    // event queue, from the end-of-run event that follows it.
    void EncoderTerminate(TCustomEncoder* Sender, const TTerminateInfo& AInfo);
    // The "Stop Convert" button and the "Stop" button under the list.
    void ButtonStopConvertClick();
    // The stop without the question, for a session that ends: the running rows end "Abort"
    // with their files finished, and no further row starts.
    void StopRun();
    // False while a task is starting or running: the window must not close then.
    bool FormCloseQuery() const { return !TaskActive(); }
    void DisableControls();
    void EnableControls();

    // How many rows convert at once, 1 or more (fewer are pulled up to 1). A run takes the
    // count it starts with.
    int Jobs() const { return FJobs; }
    void SetJobs(int ACount);

    // How far the run is, 0..100: the rows ended count whole, the rows converting by their
    // own percentages.
    int BatchPercent() const;

    // ---- State ----
    // The row handed to a slot last; -1 before the first. With one job, the row being handled.
    int CurrentRow() const { return FCurrentRow; }
    // The rows whose task is running, in list order.
    std::vector<int> ConvertingRows() const;
    // The row whose task (or encoder) ASender is, while the row is handled; -1 otherwise.
    int RowOfSender(const void* ASender) const;
    // A step to a slot's next row is queued and has not run yet.
    bool NextRowPending() const;
    // No further row will start: no run, or the run has handed out its last row.
    bool NoFurtherRowToStart() const { return !FConverting || FCurrentRow >= FList.Count() - 1; }
    // A task is starting or running in some slot.
    bool TaskActive() const;
    bool UserAborted() const { return FUserAborted; }
    bool AddFileInProgress() const { return FAddFileInProgress; }
    void SetAddFileInProgress(bool AValue) { FAddFileInProgress = AValue; }
    // From a successful start until the completion message or a stop.
    bool Converting() const { return FConverting; }
    // The rows of the run going on or ended last, as they ended.
    const TRunSummary& Summary() const { return FSummary; }
    // How many rows the run going on (or ended last) set out to handle.
    int RunRowCount() const { return FRunRowCount; }

signals:
    // A run has passed its checks and is about to start its first row.
    void RunStarting();
    // A checked row is about to be built and started.
    void RowStarting(int ARow);
    // A converting row's record has taken a progress report of its task.
    void RowProgress(int ARow, const TProgressInfo& AInfo);
    // A row has ended, once per started row: converted, failed (with the reason: the step
    // that refused it or the encoder's message) or aborted by a stop.
    void RowFinished(int ARow, TJobResult AResult, const QString& AReason);
    // The run is over: after "All Conversions Completed", or stopped by the user.
    void RunEnded(bool AStopped);

private:
    // One row at a time: its encoder and the row it handles.
    struct TSlot {
        TFFEncoder* Encoder = nullptr;
        std::unique_ptr<TFFEncoder> OwnEncoder; // every slot but the first
        int Row = -1;                           // the row handed to the slot last; -1 none
        bool TaskActive = false;                // a task is starting or running
        bool StepPending = false;               // the step to the slot's next row is queued
        int64_t OutputSize = 0;                 // bytes written by the running row so far
    };

    // Validates and starts a run of ARows, or of the checked rows.
    void StartRun(std::optional<std::set<int>> ARows);
    // The row takes part in the run.
    bool InRun(int ARow) const { return FRunRows ? FRunRows->contains(ARow) : FList.Checked(ARow); }
    // Makes (or drops) the slots past the first so that there is one for each job.
    void MakeSlots();
    void InstallHandlers(TFFEncoder& AEncoder);
    TSlot* SlotOf(const TCustomEncoder* AEncoder) const;
    void StartNextRow(TSlot& ASlot);
    // Queues the slot's step to its next row: it runs from the event loop, after the handler
    // that asked for it has returned.
    void ScheduleNextRow(TSlot& ASlot);
    void NextRowDue(TSlot* ASlot);
    // Past the last row: the run completes once no slot has a row or a step left.
    void SlotOutOfRows();
    // Records the row's result and announces it.
    void FinishRow(int ARow, TJobResult AResult, const QString& AReason);
    // A row that cannot be started: marked "Fail", and the slot moves on.
    void FailRow(TSlot& ASlot, int ARow, const QString& AReason);
    // The bar follows the row with one job, the whole batch with more.
    void ShowProgress(const TSlot& ASlot, bool APercentKnown);
    // The summary, and the window back to idle.
    void CompleteRun();
    // Names the row's output within the batch; false when it cannot be named.
    bool ReserveOutputName(int ARow);

    TJobListModel& FList;
    TBatchUI& FUI;
    TRowTaskBuilder& FBuilder;
    TBatchOutputNames FBatchNames;
    std::set<int> FNamedRows;              // rows whose output was named (or refused) in this run
    std::optional<std::set<int>> FRunRows; // the rows of a retry; none: the checked rows
    TRunSummary FSummary;
    int FRunRowCount = 0;
    int FJobs = 1;
    std::vector<std::unique_ptr<TSlot>> FSlots; // never empty; the first uses the given encoder

    int FCurrentRow = -1;
    bool FAddFileInProgress = false;
    bool FUserAborted = false;
    bool FConverting = false;
};

} // namespace vx
