#include "LogView.h"

#include "BatchDriver.h"
#include "JobListModel.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace vx {

namespace {

constexpr int RefreshPauseMs = 200;

} // namespace

TLogView::TLogView(const TJobListModel& AList, const TBatchDriver& ADriver, QWidget* AParent)
    : QDialog(AParent), FList(AList), FDriver(ADriver) {
    setObjectName("LogView");
    setWindowTitle("Log");
    resize(640, 400);

    Text = new QPlainTextEdit(this);
    Text->setObjectName("LogText");
    Text->setReadOnly(true);
    Text->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* buttons = new QDialogButtonBox(this);
    ButtonCopy = buttons->addButton("Copy", QDialogButtonBox::ActionRole);
    ButtonSave = buttons->addButton("Save...", QDialogButtonBox::ActionRole);
    ButtonRetry = buttons->addButton("Retry Failed Rows", QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    ButtonCopy->setObjectName("ButtonCopy");
    ButtonSave->setObjectName("ButtonSave");
    ButtonRetry->setObjectName("ButtonRetry");
    connect(ButtonCopy, &QPushButton::clicked, this, &TLogView::CopyClick);
    connect(ButtonSave, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(ButtonRetry, &QPushButton::clicked, this, &TLogView::RetryRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text, 1);
    layout->addWidget(buttons);

    OnChooseSaveFile = [this] {
        return QFileDialog::getSaveFileName(this, "Save Log", QString(), "Text Files (*.txt);;All Files (*)");
    };

    connect(&FList, &TJobListModel::ProgressChanged, this, &TLogView::RefreshSoon);
    connect(&FList, &QAbstractItemModel::rowsRemoved, this, &TLogView::RefreshSoon);
    connect(&FList, &QAbstractItemModel::modelReset, this, &TLogView::RefreshSoon);
    connect(&FDriver, &TBatchDriver::RunEnded, this, &TLogView::RefreshSoon);
    Refresh();
}

QString TLogView::LogText(const TJobListModel& AList) {
    QStringList blocks;
    for (int row = 0; row < AList.Count(); ++row) {
        const TJobProgress& progress = AList.Progress(row);
        const QString state = TJobListModel::ProgressText(progress);
        const QString reason = TJobListModel::FailureReason(progress);
        if (progress.Log.isEmpty() && reason.isEmpty() && progress.State != TJobState::Finished)
            continue;
        QString block = AList.Caption(row);
        if (!state.isEmpty())
            block += QStringLiteral(": ") + state;
        if (!reason.isEmpty())
            block += QStringLiteral("\n  Reason: ") + reason;
        for (const QString& line : progress.Log)
            block += QStringLiteral("\n  ") + line;
        blocks << block;
    }
    return blocks.join(QStringLiteral("\n\n"));
}

void TLogView::RefreshSoon() {
    if (FRefreshPending || !isVisible())
        return;
    FRefreshPending = true;
    QTimer::singleShot(RefreshPauseMs, this, [this] {
        FRefreshPending = false;
        Refresh();
    });
}

void TLogView::Refresh() {
    const QString text = LogText(FList);
    if (text != Text->toPlainText()) {
        Text->setPlainText(text);
        Text->verticalScrollBar()->setValue(Text->verticalScrollBar()->maximum());
    }
    ButtonRetry->setEnabled(!FDriver.Converting() && !FDriver.AddFileInProgress() &&
                            !FDriver.FailedRows().empty());
}

void TLogView::showEvent(QShowEvent* AEvent) {
    Refresh();
    QDialog::showEvent(AEvent);
}

void TLogView::CopyClick() {
    QApplication::clipboard()->setText(LogText(FList));
}

bool TLogView::SaveClick() {
    const QString file = OnChooseSaveFile ? OnChooseSaveFile() : QString();
    if (file.isEmpty())
        return false;
    QSaveFile out(file);
    const QByteArray bytes = (LogText(FList) + QLatin1Char('\n')).toUtf8();
    if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
        return true;
    QMessageBox::warning(
        this, "Log",
        QStringLiteral("The log could not be saved to \"%1\":\n%2").arg(file, out.errorString()));
    return false;
}

} // namespace vx
