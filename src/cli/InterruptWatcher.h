// Ctrl-C for the commands that run the encoder: the signal handler only writes a byte into a
// pipe, and the main thread's event loop reads it and calls OnInterrupt. Nothing of the engine
// may run inside a signal handler, and stopping a conversion means waiting for its worker.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace vx::cli {

class TInterruptWatcher : public QObject {
public:
    // Installs the SIGINT handler; the destructor restores the previous one. One watcher at a time.
    TInterruptWatcher();
    ~TInterruptWatcher() override;

    // Runs on the main thread for the first Ctrl-C. From then on the signal has its default
    // action again, so that a second Ctrl-C ends a program whose stop does not come through.
    std::function<void()> OnInterrupt;

    bool Interrupted() const { return FInterrupted; }

private:
    void PipeReadable();

    int FPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> FNotifier;
    bool FInterrupted = false;
};

} // namespace vx::cli
