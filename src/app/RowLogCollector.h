// Keeps the engine's log lines with the job-list row they belong to: while a run converts a
// row, every line the engine or the media libraries log goes into that row's record (its Log),
// where the log view and a failed row's details find it.
//
// The engine logs from its worker threads; a line is copied and handed to the main thread
// through the event queue, so no worker ever waits for the main thread here. With several
// rows converting at once a line finds its row by its sender (a row's task or encoder), or
// by the thread that logged it once that thread has logged for a task; a line logged on the
// main thread belongs to the row being started. A line of a thread that never logged for a
// task goes to every row converting, so that no message is lost.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

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

    // Where a line was logged: the logging thread and the sender; for a line of the main
    // thread, the row the driver was handling then.
    struct TOrigin {
        uint32_t ThreadID = 0;
        const void* Sender = nullptr;
        int MainThreadRow = -1;
        bool MainThread = false;
    };

    // Adds a line to the row it belongs to; nothing when no run is converting a row.
    void AddLine(const QString& ALine, const TOrigin& AOrigin);
    // Lines logged on the calling thread from now on belong to no row: the thread does work of
    // its own (the window's thumbnails), not a conversion.
    static void LeaveOutCallingThread();

private:
    std::vector<int> RowsOf(const TOrigin& AOrigin);
    void AddLineToRow(int ARow, const QString& ALine);

    TJobListModel& FList;
    const TBatchDriver& FDriver;
    // The row each worker thread last logged for; main thread only.
    std::map<uint32_t, int> FThreadRows;
};

} // namespace vx
