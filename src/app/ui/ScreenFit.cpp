#include "ScreenFit.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace vx {

QRect FitWindowOnScreen(const QSize& AWanted, const QSize& AMinimum, const QMargins& AFrame,
                        const QRect& AAvailable) {
    const QSize room = AAvailable.size().shrunkBy(AFrame);
    const QSize size = AWanted.boundedTo(room).expandedTo(AMinimum);
    QRect frame(QPoint(), size.grownBy(AFrame));
    frame.moveCenter(AAvailable.center());
    // Right and bottom first, so that a frame larger than the screen ends at its top-left.
    frame.moveRight(std::min(frame.right(), AAvailable.right()));
    frame.moveBottom(std::min(frame.bottom(), AAvailable.bottom()));
    frame.moveLeft(std::max(frame.left(), AAvailable.left()));
    frame.moveTop(std::max(frame.top(), AAvailable.top()));
    return frame.marginsRemoved(AFrame);
}

TFrameFit::TFrameFit(QWidget* AWindow, std::function<void(const QRect& AAvailable)> AFit)
    : QObject(AWindow), FWindow(AWindow), FFit(std::move(AFit)) {
    AWindow->installEventFilter(this);
}

bool TFrameFit::eventFilter(QObject* AObject, QEvent* AEvent) {
    // The frame comes with no event of its own; by the first paint after it, Qt knows it.
    const QEvent::Type type = AEvent->type();
    const bool placed = type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint;
    if (AObject != FWindow || !placed || FWindow->frameGeometry() == FWindow->geometry())
        return false;
    FWindow->removeEventFilter(this);
    if (const QScreen* screen = FWindow->screen())
        if (!screen->availableGeometry().contains(FWindow->frameGeometry()))
            FFit(screen->availableGeometry());
    deleteLater();
    return false;
}

} // namespace vx
