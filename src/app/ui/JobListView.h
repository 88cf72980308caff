// The job list's view: a report with check boxes, grid lines and whole-row selection, which
// also takes files dropped from a file manager.
#pragma once

#include <QStringList>
#include <QTableView>
#include <functional>

namespace vx {

class TJobListModel;

class TJobListView : public QTableView {
    Q_OBJECT
public:
    explicit TJobListView(QWidget* AParent = nullptr);

    // Shows AModel with the list's column widths and alignment.
    void SetJobList(TJobListModel* AModel);

    // The row the user selected, -1 when none is.
    int SelectedRow() const;

    // Local files and folders dropped on the list, in the order the file manager gave them.
    std::function<void(TJobListView* Sender, const QStringList& AFiles)> OnFilesDropped;

    // The local paths that a drop of AMime would deliver; empty when it carries none.
    static QStringList DroppedFiles(const class QMimeData* AMime);

protected:
    void changeEvent(QEvent* AEvent) override;
    void dragEnterEvent(QDragEnterEvent* AEvent) override;
    void dragMoveEvent(QDragMoveEvent* AEvent) override;
    void dropEvent(QDropEvent* AEvent) override;

private:
    void FitRowsToFont();
};

} // namespace vx
