// Adding source files to the job list: the open dialog's filters, and the routine that opens
// each chosen file with a decoder and turns it into a checked row showing the first video
// stream's size and frame rate and the file's duration. A file that cannot be opened is still
// listed, marked "Error".
//
// The files are opened on the probing pool's worker threads, each with a decoder of its own;
// the rows are appended on the main thread in the order the files were given, as their results
// come in. The main thread processes pending window messages while it waits and after each row,
// so that the window stays responsive; other handlers may therefore run in the middle of the
// routine, which is why the adding state is published for them to respect, and why they may
// cancel it (the list cleared, the window closing).
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>

extern "C" {
#include <libavutil/rational.h>
}

namespace vx {

class TCustomDecoder;
class TBatchDriver;
class TConversionSettings;
class TJobListModel;

// The open dialog's filter list as the user sees it: pairs of a description and its patterns,
// separated by "|". The first pair is the initially selected filter. The blanks after some
// semicolons, the missing blank before "(*.wma" and the final "|" are part of the text.
extern const QString OpenDialogFilter;

// QFileDialog name filters for a "description|patterns|description|patterns..." list, one per
// pair, in order: "description (pattern pattern ...)". The patterns are split at ";" and
// trimmed, because QFileDialog separates patterns by blanks only ("*.mov; *.qt" must match
// "*.qt" files). A pair with an empty description and no patterns (the text's final "|") is
// left out.
//
// QFileDialog shows a filter's text whole, the appended patterns included; to show exactly the
// descriptions, the dialog needs QFileDialog::HideNameFilterDetails (Qt's own dialog strips the
// last parenthesised group only, so descriptions that name their patterns themselves stay
// intact) and QFileDialog::DontUseNativeDialog (native dialogs cut a description at its
// first "(").
QStringList NameFiltersOf(const QString& AFilter);

// "FrameRate" cell: numerator ÷ denominator in its shortest form, at most 15 significant
// digits, with a decimal point: 30000/1001 gives "29.97002997003", -1/-1 gives "1". Empty when
// the denominator is 0 (the rate is unknown; dividing would give no number at all).
QString FrameRateText(AVRational AFrameRate);
// "Duration" cell from microseconds: hours:minutes:seconds, each at least two digits, hours
// unlimited ("100:00:00"), fractions of a second dropped. Empty when unknown (negative, as the
// decoder reports an unknown duration).
QString DurationText(int64_t ADuration);

// What adding must know of the batch run, and where the adding state lives: the batch driver
// keeps it, because starting a conversion must not happen while files are being added.
class IAddFileState {
public:
    virtual ~IAddFileState() = default;
    // A conversion is starting, running, or between two rows of a run.
    virtual bool ConversionRunning() const = 0;
    virtual bool AddFileInProgress() const = 0;
    virtual void SetAddFileInProgress(bool AValue) = 0;
};

// The batch driver's state.
class TBatchAddFileState final : public IAddFileState {
public:
    explicit TBatchAddFileState(TBatchDriver& ADriver) : FDriver(ADriver) {}
    bool ConversionRunning() const override;
    bool AddFileInProgress() const override;
    void SetAddFileInProgress(bool AValue) override;

private:
    TBatchDriver& FDriver;
};

// What a source file's row shows, read from the file.
struct TSourceFacts {
    QString File;
    bool Opened = false;
    QString Error; // the decoder's reason when not opened
    QString VideoSize, FrameRate, Duration;
};

class TSourceFileAdder {
public:
    // How long the main thread waits for the next file's result before it looks at the
    // window's messages again.
    static constexpr std::chrono::milliseconds ProbeWait{10};

    // The objects must outlive the adder. The settings give the "Output" cell (the output
    // format selected when the row is added).
    TSourceFileAdder(TJobListModel& AList, TCustomDecoder& ADecoder, const TConversionSettings& ASettings,
                     IAddFileState& AState);

    // Shows the open dialog and returns the chosen files in the dialog's order; empty when
    // it is cancelled. Without a handler no file is chosen.
    std::function<QStringList(TSourceFileAdder* Sender)> OnExecuteOpenDialog;
    // A row was appended: the list view scrolls it into view.
    std::function<void(TSourceFileAdder* Sender, int ARow)> OnScrollToRow;
    // How AddFilesToList reads a file, on a worker thread: ProbeSource unless replaced.
    std::function<TSourceFacts(const QString& AFile)> Probe = &TSourceFileAdder::ProbeSource;

    // The "Add File" button and the File menu's "Add Files". Ignored while a conversion runs or
    // files are being added. Otherwise every row's "Progress" cell but an "Error" mark is emptied (also when
    // the dialog is then cancelled), the adding state is set, the dialog is shown and the chosen files are
    // added; the state is cleared at the end, whatever happened.
    void ButtonAddFileClick();
    // Files given from outside (a drop, the command line): the same as ButtonAddFileClick with
    // AFiles in place of the dialog's choice. An empty list changes nothing.
    void AddFiles(const QStringList& AFiles);

    // The add loop alone: one row per file, in order, the files probed on the pool, with pending
    // window messages processed while waiting and after each row. An exception ends the loop
    // silently; the rows added so far stay. Returns when every file has its row or the adding
    // was cancelled.
    void AddFilesToList(const QStringList& AFiles);
    // Opens AFile with the adder's decoder and appends its row; returns the row's index. The
    // decoder keeps the file open until its next LoadFile.
    int AddFile(const QString& AFile);
    // Ends the adding going on: no further row is appended (a file being probed is still read
    // to its end on its worker thread, and its result dropped).
    void CancelAdding();

    // Opens AFile with a decoder of its own and reads what its row shows; any thread.
    static TSourceFacts ProbeSource(const QString& AFile);

    bool AddFileInProgress() const;

private:
    // The adding state for as long as the object lives.
    class TInProgress;
    bool Blocked() const;
    void ClearProgressCells();
    static TSourceFacts FactsOf(TCustomDecoder& ADecoder, const QString& AFile, bool AOpened);
    int AppendRow(const TSourceFacts& AFacts);

    TJobListModel& FList;
    TCustomDecoder& FDecoder;
    const TConversionSettings& FSettings;
    IAddFileState& FState;
    bool FCancelRequested = false;
};

} // namespace vx
