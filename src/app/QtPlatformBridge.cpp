#include "QtPlatformBridge.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>

namespace vx {

TQtPlatformBridge::TQtPlatformBridge() {
    SetPlatformBridge(this);
}

TQtPlatformBridge::~TQtPlatformBridge() {
    SetPlatformBridge(nullptr);
}

bool TQtPlatformBridge::IsMainThread() const {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

void TQtPlatformBridge::CallInMainThread(const std::function<void()>& fn) {
    if (IsMainThread()) {
        fn();
        return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}

void TQtPlatformBridge::ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

std::unique_ptr<IPreviewWindow> TQtPlatformBridge::CreatePreviewWindow() {
    return FPreviewWindows ? FPreviewWindows() : IPlatformBridge::CreatePreviewWindow();
}

} // namespace vx
