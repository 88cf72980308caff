// Keeps the engine's log lines with the job-list row they belong to: while a run converts a
// row, every line the engine or the media libraries log goes into that row's record (its Log),
// where the log view and a failed row's details find it.
//
// The engine logs from its worker threads; a line is copied and handed to the main thread
// through the event queue, so no worker ever waits for the main thread here.
#pragma once

#include <QObject>
#include <QString>

#include "base/FFLog.h"

namespace vx {

class TBatchDriver;
class TJobListModel;

class TRowLogCollector : public QObject {
    Q_OBJECT
public:
    // Takes over the engine's log event for as long as it lives. The list and the driver must
    // outlive it; so must the engine work that logs.
    TRowLogCollector(TJobListModel& AList, const TBatchDriver& ADriver, QObject* AParent = nullptr);
    ~TRowLogCollector() override;

    // Adds a line to the row being converted; nothing when no run is converting a row.
    void AddLine(const QString& ALine);
    // Lines logged on the calling thread from now on belong to no row: the thread does work of
    // its own (the window's thumbnails), not a conversion.
    static void LeaveOutCallingThread();

private:
    TJobListModel& FList;
    const TBatchDriver& FDriver;
};

} // namespace vx
