// The log window (View › Log): for each row of the last run its result, the reason of a
// failure and the engine's log lines, with "Copy", "Save..." and "Retry Failed Rows".
#pragma once

#include <QDialog>
#include <functional>

class QPlainTextEdit;
class QPushButton;

namespace vx {

class TBatchDriver;
class TJobListModel;

class TLogView : public QDialog {
    Q_OBJECT
public:
    // The list and the driver must outlive the view.
    TLogView(const TJobListModel& AList, const TBatchDriver& ADriver, QWidget* AParent = nullptr);

    // The whole text: one block per row that has a result, an "Error" mark or log lines.
    static QString LogText(const TJobListModel& AList);

    // Asks where to save; empty: the user cancelled. By default the file dialog.
    std::function<QString()> OnChooseSaveFile;

    QPlainTextEdit* Text = nullptr;
    QPushButton* ButtonCopy = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonRetry = nullptr;

    void Refresh();
    void CopyClick();
    // Writes the text to the chosen file; false (after telling the user) when it cannot.
    bool SaveClick();

signals:
    void RetryRequested();

protected:
    void showEvent(QShowEvent* AEvent) override;

private:
    // Many lines arrive in a burst: the text is rebuilt once the burst is over.
    void RefreshSoon();

    const TJobListModel& FList;
    const TBatchDriver& FDriver;
    bool FRefreshPending = false;
};

} // namespace vx
