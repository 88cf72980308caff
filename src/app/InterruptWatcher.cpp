#include "InterruptWatcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace vx {

namespace {

constexpr int WatchedSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The write end, for the handler; -1 while no watcher exists.
volatile sig_atomic_t g_wakeFd = -1;
struct sigaction g_previous[std::size(WatchedSignals)]{};

void HandleSignal(int ASignal) {
    const int savedErrno = errno;
    const int fd = g_wakeFd;
    if (fd >= 0) {
        const char byte = static_cast<char>(ASignal);
        // A full pipe already holds a wake-up; nothing is lost by dropping this one.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TInterruptWatcher::TInterruptWatcher() {
    if (g_wakeFd >= 0)
        throw std::logic_error("Only one interrupt watcher at a time.");
    if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("Cannot create the interrupt pipe.");
    g_wakeFd = FPipe[1];
    FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { PipeReadable(); });

    struct sigaction action {};
    action.sa_handler = &HandleSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls of the libraries restart; the stop comes through the pipe.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(WatchedSignals); ++i)
        ::sigaction(WatchedSignals[i], &action, &g_previous[i]);
}

TInterruptWatcher::~TInterruptWatcher() {
    for (size_t i = 0; i < std::size(WatchedSignals); ++i)
        ::sigaction(WatchedSignals[i], &g_previous[i], nullptr);
    g_wakeFd = -1;
    FNotifier.reset();
    ::close(FPipe[0]);
    ::close(FPipe[1]);
}

void TInterruptWatcher::PipeReadable() {
    char buffer[64];
    int first = 0;
    for (ssize_t n; (n = ::read(FPipe[0], buffer, sizeof(buffer))) > 0;)
        if (!first)
            first = buffer[0];
    if (FInterrupted || !first)
        return;
    FInterrupted = true;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : WatchedSignals)
        ::sigaction(signal, &action, nullptr);
    if (OnInterrupt)
        OnInterrupt(first);
}

} // namespace vx
