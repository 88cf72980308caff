#include "OrderedProbes.h"

#include <QThread>
#include <QThreadPool>
#include <algorithm>

namespace vx {

QThreadPool& ProbePool() {
    // Never destroyed: destroying a pool waits for its works, and a work may be stuck on a file
    // that never answers; the program's end must not wait for it.
    static QThreadPool* const pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(std::max(QThread::idealThreadCount(), 2));
        return created;
    }();
    return *pool;
}

void StartOnProbePool(std::function<void()> AWork) {
    ProbePool().start(std::move(AWork));
}

} // namespace vx
