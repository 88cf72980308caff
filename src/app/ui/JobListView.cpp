#include "JobListView.h"

#include "JobListModel.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

namespace vx {

TJobListView::TJobListView(QWidget* AParent) : QTableView(AParent) {
    setObjectName("ListView1");
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setTabKeyNavigation(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle); // the file name at the end of a long path stays readable
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FitRowsToFont();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    // Dropping is handled here, not by the model: a drop adds source files, it moves no rows.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

void TJobListView::FitRowsToFont() {
    // Compact rows, as a report list has them, whatever font the list is given.
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

void TJobListView::changeEvent(QEvent* AEvent) {
    QTableView::changeEvent(AEvent);
    if (AEvent->type() == QEvent::FontChange)
        FitRowsToFont();
}

void TJobListView::SetJobList(TJobListModel* AModel) {
    setModel(AModel);
    for (int column = 0; column < TJobListModel::ColumnCount; ++column)
        setColumnWidth(column, TJobListModel::ColumnWidth(column));
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

int TJobListView::SelectedRow() const {
    const QList<int> rows = SelectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

QList<int> TJobListView::SelectedRows() const {
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TJobListView::ToggleSelectedChecks() {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty() || !model())
        return;
    const int lead = rows.contains(currentIndex().row()) ? currentIndex().row() : rows.first();
    const bool checked = model()->index(lead, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    for (int row : rows)
        model()->setData(model()->index(row, 0), checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

void TJobListView::keyPressEvent(QKeyEvent* AEvent) {
    // The view's own Space would toggle the focused row alone and change the selection.
    if (AEvent->key() == Qt::Key_Space && (AEvent->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        ToggleSelectedChecks();
        AEvent->accept();
        return;
    }
    QTableView::keyPressEvent(AEvent);
}

QStringList TJobListView::DroppedFiles(const QMimeData* AMime) {
    QStringList files;
    if (!AMime || !AMime->hasUrls())
        return files;
    for (const QUrl& url : AMime->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files << url.toLocalFile();
    return files;
}

void TJobListView::dragEnterEvent(QDragEnterEvent* AEvent) {
    if (DroppedFiles(AEvent->mimeData()).isEmpty()) {
        AEvent->ignore();
        return;
    }
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
}

void TJobListView::dragMoveEvent(QDragMoveEvent* AEvent) {
    if (DroppedFiles(AEvent->mimeData()).isEmpty()) {
        AEvent->ignore();
        return;
    }
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
}

void TJobListView::dropEvent(QDropEvent* AEvent) {
    const QStringList files = DroppedFiles(AEvent->mimeData());
    if (files.isEmpty()) {
        AEvent->ignore();
        return;
    }
    AEvent->setDropAction(Qt::CopyAction);
    AEvent->accept();
    // Probing the files takes a while; the file manager should not wait for it to end the drag.
    QMetaObject::invokeMethod(
        this,
        [this, files] {
            if (OnFilesDropped)
                OnFilesDropped(this, files);
        },
        Qt::QueuedConnection);
}

} // namespace vx
