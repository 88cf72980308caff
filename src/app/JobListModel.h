// The job list: one row per source file, with a check box that decides whether the row is
// converted, the source path as caption and six cells. The window's list view shows it
// through the Qt model interface; the batch driver, the task builder and the command line
// use the plain C++ interface below.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <vector>

namespace vx {

// The cells of a row, in column order after the caption.
enum TJobCell : int { jcVideoSize, jcFrameRate, jcDuration, jcOutput, jcProgress, jcFrames };
inline constexpr int JobCellCount = 6;

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
    const QString& Cell(int ARow, int ACell) const;
    void SetCell(int ARow, int ACell, const QString& AText);

    // ---- Qt model ----
    int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
    int columnCount(const QModelIndex& AParent = QModelIndex()) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    // Only the check box can be changed through the view; cells are read-only there.
    bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;

private:
    struct TRow {
        QString Caption;
        bool Checked = true;
        std::array<QString, JobCellCount> Cells;
    };
    const TRow& RowAt(int ARow) const;
    TRow& RowAt(int ARow);
    static void CheckCell(int ACell);

    std::vector<TRow> FRows;
};

} // namespace vx
