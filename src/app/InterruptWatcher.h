// Ctrl-C, SIGTERM and SIGHUP for the commands that run the encoder: the signal handler only
// writes the signal's number into a pipe, and the main thread's event loop reads it and calls
// OnInterrupt. Nothing of the engine may run inside a signal handler, and stopping a conversion
// means waiting for its worker. A closed terminal (SIGHUP) or a session that ends (SIGTERM)
// stops the run as Ctrl-C does, so the output being written is finished, not cut off.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace vx {

class TInterruptWatcher : public QObject {
public:
    // Installs the handlers; the destructor restores the previous ones. One watcher at a time.
    TInterruptWatcher();
    ~TInterruptWatcher() override;

    // Runs on the main thread for the first of the signals, with its number. From then on the
    // signals have their default action again, so that a second one ends a program whose stop
    // does not come through.
    std::function<void(int ASignal)> OnInterrupt;

    bool Interrupted() const { return FInterrupted; }

private:
    void PipeReadable();

    int FPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> FNotifier;
    bool FInterrupted = false;
};

} // namespace vx
