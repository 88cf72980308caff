#include "JobListView.h"

#include "JobListModel.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

namespace vx {

TJobListView::TJobListView(QWidget* AParent) : QTableView(AParent) {
    setObjectName("ListView1");
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
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
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
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
