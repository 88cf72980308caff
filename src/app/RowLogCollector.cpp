#include "RowLogCollector.h"

#include "BatchDriver.h"
#include "JobListModel.h"
#include "base/PlatformBridge.h"

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
    logger.OnLog = [this](void* ASender, uint32_t AThreadID, TLogLevel ALevel, const std::string& AMessage) {
        // The progress lines (verbose) pass at every level; the row shows its progress itself.
        if (ALevel >= llVerbose || t_leftOut)
            return;
        const QString line = QString::fromUtf8(AMessage.data(), static_cast<qsizetype>(AMessage.size()));
        TOrigin origin;
        origin.ThreadID = AThreadID;
        origin.Sender = ASender;
        origin.MainThread = PlatformBridge().IsMainThread();
        if (origin.MainThread)
            origin.MainThreadRow = FDriver.CurrentRow();
        QMetaObject::invokeMethod(
            this, [this, line, origin] { AddLine(line, origin); }, Qt::QueuedConnection);
    };
    connect(&ADriver, &TBatchDriver::RowFinished, this, [this](int ARow) {
        std::erase_if(FThreadRows, [ARow](const auto& entry) { return entry.second == ARow; });
    });
}

TRowLogCollector::~TRowLogCollector() {
    GetLogger().OnLog = nullptr;
}

std::vector<int> TRowLogCollector::RowsOf(const TOrigin& AOrigin) {
    const std::vector<int> converting = FDriver.ConvertingRows();
    // One row at a time: every line is the row's.
    if (FDriver.Jobs() == 1 || converting.size() <= 1)
        return {AOrigin.MainThread ? AOrigin.MainThreadRow : FDriver.CurrentRow()};
    if (AOrigin.MainThread)
        return {AOrigin.MainThreadRow};
    if (const int row = FDriver.RowOfSender(AOrigin.Sender); row >= 0) {
        FThreadRows[AOrigin.ThreadID] = row;
        return {row};
    }
    if (const auto known = FThreadRows.find(AOrigin.ThreadID); known != FThreadRows.end())
        return {known->second};
    return converting;
}

void TRowLogCollector::AddLine(const QString& ALine, const TOrigin& AOrigin) {
    if (!FDriver.Converting())
        return;
    QString line = ALine;
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.trimmed().isEmpty())
        return;
    for (const int row : RowsOf(AOrigin))
        AddLineToRow(row, line);
}

void TRowLogCollector::AddLineToRow(int ARow, const QString& ALine) {
    if (ARow < 0 || ARow >= FList.Count())
        return;
    TJobProgress progress = FList.Progress(ARow);
    progress.Log << ALine;
    FList.SetProgress(ARow, progress);
}

} // namespace vx
