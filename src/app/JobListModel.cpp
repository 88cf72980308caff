#include "JobListModel.h"

#include <stdexcept>
#include <string>

namespace vx {

namespace {

const char* const Captions[TJobListModel::ColumnCount] = {
    "Video File Name", "Video Size", "FrameRate", "Duration", "Output", "Progress", "Frames"};
const int Widths[TJobListModel::ColumnCount] = {310, 90, 80, 60, 65, 57, 60};

} // namespace

QString TJobListModel::ColumnCaption(int AColumn) {
    return AColumn >= 0 && AColumn < ColumnCount ? QString::fromLatin1(Captions[AColumn]) : QString();
}

int TJobListModel::ColumnWidth(int AColumn) {
    return AColumn >= 0 && AColumn < ColumnCount ? Widths[AColumn] : 0;
}

TJobListModel::TJobListModel(QObject* AParent) : QAbstractTableModel(AParent) {}

const TJobListModel::TRow& TJobListModel::RowAt(int ARow) const {
    if (ARow < 0 || ARow >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(ARow) + ")");
    return FRows[static_cast<size_t>(ARow)];
}

TJobListModel::TRow& TJobListModel::RowAt(int ARow) {
    return const_cast<TRow&>(static_cast<const TJobListModel*>(this)->RowAt(ARow));
}

void TJobListModel::CheckCell(int ACell) {
    if (ACell < 0 || ACell >= JobCellCount)
        throw std::out_of_range("Cell index out of bounds (" + std::to_string(ACell) + ")");
}

int TJobListModel::AddRow(const QString& ACaption, bool AChecked) {
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    FRows.push_back(TRow{ACaption, AChecked, {}, {}});
    endInsertRows();
    return row;
}

void TJobListModel::RemoveRow(int ARow) {
    RowAt(ARow);
    beginRemoveRows(QModelIndex(), ARow, ARow);
    FRows.erase(FRows.begin() + ARow);
    endRemoveRows();
}

void TJobListModel::Clear() {
    beginResetModel();
    FRows.clear();
    endResetModel();
}

const QString& TJobListModel::Caption(int ARow) const {
    return RowAt(ARow).Caption;
}

bool TJobListModel::Checked(int ARow) const {
    return RowAt(ARow).Checked;
}

void TJobListModel::SetChecked(int ARow, bool AChecked) {
    TRow& row = RowAt(ARow);
    if (row.Checked == AChecked)
        return;
    row.Checked = AChecked;
    const QModelIndex at = index(ARow, CaptionColumn);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

QString TJobListModel::DrawnCell(const TRow& ARow, int ACell) {
    switch (ACell) {
    case jcProgress:
        return ProgressText(ARow.Progress);
    case jcFrames:
        return FramesText(ARow.Progress);
    default:
        return ARow.Cells[static_cast<size_t>(ACell)];
    }
}

QString TJobListModel::Cell(int ARow, int ACell) const {
    CheckCell(ACell);
    return DrawnCell(RowAt(ARow), ACell);
}

void TJobListModel::CellChanged(int ARow, int ACell) {
    const QModelIndex at = index(ARow, ColumnOfCell(ACell));
    emit dataChanged(at, at, {Qt::DisplayRole});
}

void TJobListModel::SetCell(int ARow, int ACell, const QString& AText) {
    TRow& row = RowAt(ARow);
    CheckCell(ACell);
    if (ACell >= SourceCellCount)
        throw std::invalid_argument("Cell " + std::to_string(ACell) + " follows the row's progress");
    QString& cell = row.Cells[static_cast<size_t>(ACell)];
    if (cell == AText)
        return;
    cell = AText;
    CellChanged(ARow, ACell);
}

const TJobProgress& TJobListModel::Progress(int ARow) const {
    return RowAt(ARow).Progress;
}

void TJobListModel::SetProgress(int ARow, const TJobProgress& AProgress) {
    TRow& row = RowAt(ARow);
    const QString progress = ProgressText(row.Progress);
    const QString frames = FramesText(row.Progress);
    if (row.Progress == AProgress)
        return;
    row.Progress = AProgress;
    // Only a cell whose text changes is announced, as when cells were written one by one.
    if (ProgressText(row.Progress) != progress)
        CellChanged(ARow, jcProgress);
    if (FramesText(row.Progress) != frames)
        CellChanged(ARow, jcFrames);
    emit ProgressChanged(ARow);
}

QString TJobListModel::ProgressText(const TJobProgress& AProgress) {
    switch (AProgress.State) {
    case TJobState::Unreadable:
        return QStringLiteral("Error");
    case TJobState::Finished:
        return ResultText(AProgress.Result);
    case TJobState::Waiting:
    case TJobState::Converting:
        break;
    }
    return AProgress.Percent ? QString::number(*AProgress.Percent) + QLatin1Char('%') : QString();
}

QString TJobListModel::ResultText(TJobResult AResult) {
    switch (AResult) {
    case TJobResult::Done:
        return QStringLiteral("Done");
    case TJobResult::Failed:
        return QStringLiteral("Fail");
    case TJobResult::Aborted:
        return QStringLiteral("Abort");
    }
    return {};
}

QString TJobListModel::FailureReason(const TJobProgress& AProgress) {
    const bool failed = AProgress.State == TJobState::Unreadable ||
                        (AProgress.State == TJobState::Finished && AProgress.Result == TJobResult::Failed);
    return failed ? AProgress.Reason : QString();
}

QString TJobListModel::FramesText(const TJobProgress& AProgress) {
    if (!AProgress.Frames)
        return {};
    return *AProgress.Frames == -1 ? QStringLiteral(" ") : QString::number(*AProgress.Frames);
}

int TJobListModel::rowCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : Count();
}

int TJobListModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : ColumnCount;
}

QVariant TJobListModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!AIndex.isValid() || AIndex.row() >= Count() || AIndex.column() >= ColumnCount)
        return {};
    const TRow& row = FRows[static_cast<size_t>(AIndex.row())];
    if (ARole == Qt::ToolTipRole) {
        const QString reason = FailureReason(row.Progress);
        return reason.isEmpty() ? QVariant() : QVariant(reason);
    }
    if (AIndex.column() == CaptionColumn) {
        if (ARole == Qt::DisplayRole)
            return row.Caption;
        if (ARole == Qt::CheckStateRole)
            return row.Checked ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    if (ARole == Qt::DisplayRole)
        return DrawnCell(row, AIndex.column() - 1);
    if (ARole == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}

bool TJobListModel::setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) {
    if (!AIndex.isValid() || AIndex.row() >= Count() || AIndex.column() != CaptionColumn ||
        ARole != Qt::CheckStateRole)
        return false;
    SetChecked(AIndex.row(), AValue.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TJobListModel::flags(const QModelIndex& AIndex) const {
    if (!AIndex.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (AIndex.column() == CaptionColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TJobListModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ASection < 0 || ASection >= ColumnCount)
        return QAbstractTableModel::headerData(ASection, AOrientation, ARole);
    if (ARole == Qt::DisplayRole)
        return ColumnCaption(ASection);
    if (ARole == Qt::TextAlignmentRole && ASection != CaptionColumn)
        return int(Qt::AlignCenter);
    return {};
}

} // namespace vx
