// Where a window goes on a screen.
#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace vx {

// The window's own geometry (without its frame) for a screen whose free area is AAvailable: the
// wanted size where it fits with the frame, otherwise what the free area leaves, but never less
// than AMinimum; centred. Where even the minimum does not fit, the frame's top-left corner is
// kept on the screen, so that the title bar and the menus can always be reached.
QRect FitWindowOnScreen(const QSize& AWanted, const QSize& AMinimum, const QMargins& AFrame,
                        const QRect& AAvailable);

// A window shows before the window manager has put its frame around it, so its first fitting
// counts no frame. This watches the window until the frame is there; should the frame then stick
// out of the screen's free area, AFit is given that area once more. Then the watch ends (it
// deletes itself), so that a window the user moves later is left where it is put.
class TFrameFit : public QObject {
    Q_OBJECT
public:
    TFrameFit(QWidget* AWindow, std::function<void(const QRect& AAvailable)> AFit);

protected:
    bool eventFilter(QObject* AObject, QEvent* AEvent) override;

private:
    QWidget* FWindow;
    std::function<void(const QRect&)> FFit;
};

} // namespace vx
