// The floating window that shows the pictures of a running conversion: a tool window that
// stays on top, with a close button only, centred on the screen and fixed in size at its
// first picture, captioned with the picture's time. Dragging anywhere in the picture moves
// it. Once the user closes it, the conversion stops painting into it and goes on.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include "base/PlatformBridge.h"

namespace vx {

class TPreviewWindow final : public QWidget, public IPreviewWindow {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "PreviewWindow";

    TPreviewWindow();

    void Paint(const TBitmap& ABitmap, const std::string& ACaption) override;
    bool Closed() const override { return FClosed; }
    const QImage& Picture() const { return FPicture; }

signals:
    // A picture was shown.
    void Painted();

protected:
    void paintEvent(QPaintEvent*) override;
    void closeEvent(QCloseEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseMoveEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;

private:
    QImage FPicture;
    bool FClosed = false;
    // A drag the window manager does not take: where the mouse and the window were when it began.
    bool FDragging = false;
    QPoint FDragStart;
    QPoint FWindowStart;
};

// The desktop's preview windows, for the Qt bridge.
std::unique_ptr<IPreviewWindow> CreatePreviewWindow();

// A bitmap as an image of the same size and colours.
QImage BitmapToImage(const TBitmap& ABitmap);

} // namespace vx
