// The job list: one row per source file, with a check box that decides whether the row is
// converted, the source path as caption and six cells. The window's list view shows it
// through the Qt model interface; the batch driver, the task builder and the command line
// use the plain C++ interface below.
//
// The four cells that describe the source are texts. The "Progress" and "Frames" cells are
// drawn from the row's conversion record (TJobProgress), which the batch driver keeps and
// the command line reads; nobody writes or parses their texts.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace vx {

// The cells of a row, in column order after the caption.
enum TJobCell : int { jcVideoSize, jcFrameRate, jcDuration, jcOutput, jcProgress, jcFrames };
inline constexpr int JobCellCount = 6;

// Where a row stands in a run.
enum class TJobState {
    Waiting,    // not converted yet in this run (or not in any)
    Unreadable, // the file could not be read when it was added
    Converting, // its task is starting or running
    Finished,   // ended with Result
};

// How a row ended.
enum class TJobResult { Done, Failed, Aborted };

// The conversion record of a row.
struct TJobProgress {
    TJobState State = TJobState::Waiting;
    TJobResult Result = TJobResult::Done; // once Finished
    std::optional<int> Percent;           // 0..100; none while the total is unknown
    std::optional<int> Frames;            // video frames written so far; -1: the output has no video
    QString Reason;                       // why the row failed or cannot be read; empty otherwise
    QString OutputFile;                   // the file the row writes, once named
    QStringList Log;                      // the engine's log lines while the row was converted

    bool operator==(const TJobProgress&) const = default;
};

class TJobListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Model columns: the caption with its check box, then one per cell.
    static constexpr int CaptionColumn = 0;
    static constexpr int ColumnCount = 1 + JobCellCount;
    static constexpr int ColumnOfCell(int ACell) { return ACell + 1; }
    // "Video File Name", "Video Size", "FrameRate", "Duration", "Output", "Progress", "Frames".
    static QString ColumnCaption(int AColumn);
    // Pixel widths of the list view's columns.
    static int ColumnWidth(int AColumn);

    explicit TJobListModel(QObject* AParent = nullptr);

    // ---- Rows (a bad row or cell index throws std::out_of_range) ----
    int Count() const { return static_cast<int>(FRows.size()); }
    // Appends a row with empty cells; returns its index.
    int AddRow(const QString& ACaption, bool AChecked = true);
    void RemoveRow(int ARow);
    void Clear();

    const QString& Caption(int ARow) const;
    bool Checked(int ARow) const;
    void SetChecked(int ARow, bool AChecked);
    // The text a cell shows.
    QString Cell(int ARow, int ACell) const;
    // One of the four source cells; the "Progress" and "Frames" cells throw
    // std::invalid_argument (they follow the row's record).
    void SetCell(int ARow, int ACell, const QString& AText);

    const TJobProgress& Progress(int ARow) const;
    void SetProgress(int ARow, const TJobProgress& AProgress);
    // What the "Progress" cell shows: "Error" for an unreadable file, the result word
    // ("Done", "Fail", "Abort") for a finished row, otherwise the percentage ("45%") or nothing.
    static QString ProgressText(const TJobProgress& AProgress);
    // "Done", "Fail", "Abort".
    static QString ResultText(TJobResult AResult);
    // Why the row failed or its file cannot be read; empty for any other row. Every cell of
    // the row shows it as its tooltip.
    static QString FailureReason(const TJobProgress& AProgress);
    // What the "Frames" cell shows: the count, a single blank for an output without video,
    // nothing before the first report.
    static QString FramesText(const TJobProgress& AProgress);

    // ---- Qt model ----
    int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
    int columnCount(const QModelIndex& AParent = QModelIndex()) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    // Only the check box can be changed through the view; cells are read-only there.
    bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;

signals:
    // The row's record changed (its log lines included, which no cell shows).
    void ProgressChanged(int ARow);

private:
    // The source cells, in TJobCell order up to jcOutput.
    static constexpr int SourceCellCount = jcOutput + 1;
    struct TRow {
        QString Caption;
        bool Checked = true;
        std::array<QString, SourceCellCount> Cells;
        TJobProgress Progress;
    };
    const TRow& RowAt(int ARow) const;
    TRow& RowAt(int ARow);
    static void CheckCell(int ACell);
    static QString DrawnCell(const TRow& ARow, int ACell);
    void CellChanged(int ARow, int ACell);

    std::vector<TRow> FRows;
};

} // namespace vx
