// The batch conversion loop of the main window: it walks the checked rows of the job list
// in order, converts one row at a time through the encoder, writes each row's progress and
// result, and ends the run with a completion message or on the user's stop.
//
// Everything runs on the main thread; the encoder's events arrive there through the
// platform bridge. The window (or the command line, or a test) supplies the user interface
// through TBatchUI and the building of a row's task through TRowTaskBuilder.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <map>

#include "BatchOutputNames.h"
#include "JobListModel.h"
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
};

// Builds the encoder task of one row. A false result or an exception fails the row.
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
};

class TBatchDriver : public QObject {
    Q_OBJECT
public:
    // The texts the user sees.
    static const QString InformationCaption;  // "Information"
    static const QString ConfirmationCaption; // "Confirmation"
    static const QString NoFilesText;         // "Please Add Files To Convert!"
    static const QString NoOutputFolderText;  // "Please select an output folder!"
    static const QString CompletedText;       // "All Conversions Completed"
    static const QString StopQuestionText;    // "Stop all conversions?"
    static QString MissingFolderText(const QString& AFolder);

    static constexpr int RestartInterval = 50; // milliseconds

    // Installs itself as the encoder's OnProgress and OnTerminate handlers. The objects
    // must outlive the driver.
    TBatchDriver(TJobListModel& AList, TFFEncoder& AEncoder, TBatchUI& AUI, TRowTaskBuilder& ABuilder,
                 QObject* AParent = nullptr);
    ~TBatchDriver() override;

    // The "Go Convert " button and the File menu's "Convert": validates and starts a run.
    void ButtonConvertClick();
    // Names the output of every checked row, before any row starts (the start of a run does
    // this). A row that cannot be named gets an empty name and fails when it is reached.
    void ReserveOutputNames();
    // The row's output file: its reserved name, and once the row has ended the name the file
    // was finally given (another run may have taken the reserved one meanwhile). Empty for a
    // row that has none.
    QString OutputName(int ARow) const;
    // Advances to the next row and starts its task, or schedules the next step.
    void StartNextRow();
    void ConvertAgain() { StartNextRow(); }
    // The restart timer's tick.
    void TimerConvertAgainTimer();
    void EncoderProgress(TCustomEncoder* Sender, const TProgressInfo& AInfo);
    void EncoderTerminate(TCustomEncoder* Sender, const TTerminateInfo& AInfo);
    // The "Stop Convert" button and the "Stop" button under the list.
    void ButtonStopConvertClick();
    // The stop without the question, for a session that ends: the running row ends "Abort"
    // with its file finished, and no further row starts.
    void StopRun();
    // False while a task is starting or running: the window must not close then.
    bool FormCloseQuery() const { return !FTaskActive; }
    void DisableControls();
    void EnableControls();

    // ---- State ----
    int ListviewItem() const { return FListviewItem; }
    bool ThisIsTheLastItem() const { return FThisIsTheLastItem; }
    bool NoMoreFilesToConvert() const { return FNoMoreFilesToConvert; }
    int KountAgain() const { return FKountAgain; }
    bool TaskActive() const { return FTaskActive; }
    bool UserAborted() const { return FUserAborted; }
    bool AddFileInProgress() const { return FAddFileInProgress; }
    void SetAddFileInProgress(bool AValue) { FAddFileInProgress = AValue; }
    // From a successful start until the completion message or a stop.
    bool Converting() const { return FConverting; }
    const QTimer& TimerConvertAgain() const { return FTimerConvertAgain; }

signals:
    // A checked row is about to be built and started.
    void RowStarting(int ARow);
    // The run is over: after "All Conversions Completed", or stopped by the user.
    void RunEnded(bool AStopped);

private:
    void EnableTimer();
    void DisableTimer();
    // A row that cannot be started: marked "Fail", and the run moves on.
    void FailRow(int ARow);
    void EndRun(bool AStopped);
    // Names the row's output within the batch; false when it cannot be named.
    bool ReserveOutputName(int ARow);

    TJobListModel& FList;
    TFFEncoder& FEncoder;
    TBatchUI& FUI;
    TRowTaskBuilder& FBuilder;
    QTimer FTimerConvertAgain;
    TBatchOutputNames FBatchNames;
    std::map<int, QString> FOutputNames; // by row; an empty name: the row could not be named

    int FListviewItem = -1;
    bool FThisIsTheLastItem = false;
    bool FNoMoreFilesToConvert = false;
    int FKountAgain = 0;
    bool FAddFileInProgress = false;
    bool FTaskActive = false;
    bool FUserAborted = false;
    bool FConverting = false;
};

} // namespace vx
