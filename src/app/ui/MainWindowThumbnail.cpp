// The preview panel's thumbnail: while nothing plays, the panel shows a picture of the
// selected row's source, taken off the main thread.
#include "MainWindow.h"

#include "JobListView.h"
#include "PreviewPanel.h"

#include <QItemSelectionModel>
#include <QPixmap>

namespace vx {

void TMainWindow::CreateThumbnails() {
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ShowSelectedThumbnail(); });
    connect(&Thumbnails, &TThumbnailLoader::Ready, this, [this](const QString&, const QImage& AImage) {
        if (!PreviewPlaying && !PreviewPaused)
            PanelPlay->ShowThumbnail(QPixmap::fromImage(AImage));
    });
}

void TMainWindow::ShowSelectedThumbnail() {
    if (PreviewPlaying || PreviewPaused)
        return;
    // The picture of the row selected before must not stand for this one while it is taken.
    PanelPlay->ClearThumbnail();
    const int row = ListView1->SelectedRow();
    if (row < 0 || row >= JobList.Count()) {
        Thumbnails.Cancel();
        return;
    }
    Thumbnails.Request(JobList.Caption(row), PanelPlay->size());
}

void TMainWindow::HideThumbnail() {
    Thumbnails.Cancel();
    PanelPlay->ClearThumbnail();
}

} // namespace vx
