#include "RowLogCollector.h"

#include "BatchDriver.h"
#include "JobListModel.h"

#include <QMetaObject>

namespace vx {

namespace {

thread_local bool t_leftOut = false;

} // namespace

void TRowLogCollector::LeaveOutCallingThread() {
    t_leftOut = true;
}

TRowLogCollector::TRowLogCollector(TJobListModel& AList, const TBatchDriver& ADriver, QObject* AParent)
    : QObject(AParent), FList(AList), FDriver(ADriver) {
    TFFLogger& logger = GetLogger();
    logger.SetTriggerEventInMainThread(false);
    logger.OnLog = [this](void*, uint32_t, TLogLevel ALevel, const std::string& AMessage) {
        // The progress lines (verbose) pass at every level; the row shows its progress itself.
        if (ALevel >= llVerbose || t_leftOut)
            return;
        const QString line = QString::fromUtf8(AMessage.data(), static_cast<qsizetype>(AMessage.size()));
        QMetaObject::invokeMethod(
            this, [this, line] { AddLine(line); }, Qt::QueuedConnection);
    };
}

TRowLogCollector::~TRowLogCollector() {
    GetLogger().OnLog = nullptr;
}

void TRowLogCollector::AddLine(const QString& ALine) {
    const int row = FDriver.CurrentRow();
    if (!FDriver.Converting() || row < 0 || row >= FList.Count())
        return;
    QString line = ALine;
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.trimmed().isEmpty())
        return;
    TJobProgress progress = FList.Progress(row);
    progress.Log << line;
    FList.SetProgress(row, progress);
}

} // namespace vx
