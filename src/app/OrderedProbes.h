// Probing a list of files on a pool of worker threads, with the results taken back in the list's
// order: adding files to the job list and the command line's "probe" read their files this way,
// so that a slow file holds up only its own result and never the thread that shows them.
//
// Each file's work runs on a pool thread and must touch nothing but what it is given (it opens
// the file with a decoder of its own): a work may outlive the list that started it. The owner
// takes the results on its own thread. Cancelling (and destroying the list) keeps the files not
// started yet from starting; a work already started is not waited for, since a file may block
// its reader for as long as it likes (a named pipe nobody writes to), and its result is dropped.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

class QThreadPool;

namespace vx {

// The pool that probing uses: as many threads as processor cores, at least two.
QThreadPool& ProbePool();
// Runs AWork on the probe pool.
void StartOnProbePool(std::function<void()> AWork);

template <typename T> class TOrderedProbes {
public:
    using TWork = std::function<T(const QString& AFile)>;

    TOrderedProbes(const QStringList& AFiles, TWork AWork) : FShared(std::make_shared<TShared>()) {
        FShared->Results.resize(static_cast<size_t>(AFiles.size()));
        for (qsizetype i = 0; i < AFiles.size(); ++i)
            StartOnProbePool(
                [shared = FShared, work = AWork, file = AFiles[i], index = static_cast<size_t>(i)] {
                    if (shared->Cancelled)
                        return;
                    std::optional<T> result;
                    try {
                        result = work(file);
                    } catch (...) {
                        // A work that throws gives no result; the list ends there.
                    }
                    std::lock_guard lock(shared->Lock);
                    shared->Results[index] = {true, std::move(result)};
                    shared->Changed.notify_all();
                });
    }
    ~TOrderedProbes() { Cancel(); }
    TOrderedProbes(const TOrderedProbes&) = delete;
    TOrderedProbes& operator=(const TOrderedProbes&) = delete;

    // The next file's result, waiting at most AWait for it; none when it is not ready yet.
    // Throws std::runtime_error when the work of a file threw.
    std::optional<T> TakeNext(std::chrono::milliseconds AWait) {
        if (AtEnd())
            return std::nullopt;
        std::unique_lock lock(FShared->Lock);
        TResult& next = FShared->Results[FNext];
        if (!FShared->Changed.wait_for(lock, AWait, [&] { return next.Done; }))
            return std::nullopt;
        ++FNext;
        if (!next.Value)
            throw std::runtime_error("a file could not be probed");
        return std::move(next.Value);
    }
    bool AtEnd() const { return FNext >= FShared->Results.size(); }
    // No file that has not started yet will be probed.
    void Cancel() { FShared->Cancelled = true; }

private:
    struct TResult {
        bool Done = false;
        std::optional<T> Value; // none: the work threw
    };
    struct TShared {
        std::mutex Lock;
        std::condition_variable Changed;
        std::vector<TResult> Results; // Lock
        std::atomic<bool> Cancelled{false};
    };
    std::shared_ptr<TShared> FShared;
    size_t FNext = 0; // the owner's thread
};

} // namespace vx
