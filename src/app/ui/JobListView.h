// The job list's view: a report with check boxes, grid lines and whole-row selection of one or
// more rows (Shift and Ctrl extend it), which also takes files dropped from a file manager.
// Space checks or unchecks every selected row at once; Tab leaves the list instead of walking
// its cells.
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

    // The first row the user selected, -1 when none is.
    int SelectedRow() const;
    // Every selected row, in ascending order.
    QList<int> SelectedRows() const;
    // Gives every selected row the opposite of the check mark of the row that has the focus
    // (or of the first selected row, when the focused one is not selected).
    void ToggleSelectedChecks();

    // Local files and folders dropped on the list, in the order the file manager gave them.
    std::function<void(TJobListView* Sender, const QStringList& AFiles)> OnFilesDropped;

    // The local paths that a drop of AMime would deliver; empty when it carries none.
    static QStringList DroppedFiles(const class QMimeData* AMime);

protected:
    void changeEvent(QEvent* AEvent) override;
    void keyPressEvent(QKeyEvent* AEvent) override;
    void dragEnterEvent(QDragEnterEvent* AEvent) override;
    void dragMoveEvent(QDragMoveEvent* AEvent) override;
    void dropEvent(QDropEvent* AEvent) override;

private:
    void FitRowsToFont();
};

} // namespace vx
