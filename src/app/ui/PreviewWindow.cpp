#include "PreviewWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cstring>

#include "base/Bitmap.h"

namespace vx {

QImage BitmapToImage(const TBitmap& ABitmap) {
    const int w = ABitmap.Width(), h = ABitmap.Height();
    if (ABitmap.PixelFormat() == pf24bit || ABitmap.PixelFormat() == pf32bit) {
        // Rows of blue, green, red (and unused alpha) bytes: Qt's own layouts.
        QImage image(w, h, ABitmap.PixelFormat() == pf24bit ? QImage::Format_BGR888 : QImage::Format_RGB32);
        const int bytes = w * ABitmap.BitsPixel() / 8;
        for (int y = 0; y < h; ++y)
            std::memcpy(image.scanLine(y), ABitmap.ScanLine(y), size_t(bytes));
        return image;
    }
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const TRGBColor c = ABitmap.Pixel(x, y);
            row[x] = qRgb(c.R, c.G, c.B);
        }
    }
    return image;
}

TPreviewWindow::TPreviewWindow()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
    setObjectName(ObjectName);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWindow::Paint(const TBitmap& ABitmap, const std::string& ACaption) {
    if (FClosed)
        return;
    FPicture = BitmapToImage(ABitmap);
    setWindowTitle(QString::fromStdString(ACaption));
    if (!isVisible()) {
        setFixedSize(FPicture.size());
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        show();
    }
    update();
    emit Painted();
}

void TPreviewWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, FPicture);
}

void TPreviewWindow::closeEvent(QCloseEvent* AEvent) {
    FClosed = true;
    AEvent->accept();
}

void TPreviewWindow::mousePressEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(AEvent);
    // The window manager moves the window as if the caption had been grabbed; without
    // one (or where it refuses) the window follows the mouse itself.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    FDragging = true;
    FDragStart = AEvent->globalPosition().toPoint();
    FWindowStart = pos();
}

void TPreviewWindow::mouseMoveEvent(QMouseEvent* AEvent) {
    if (!FDragging || !(AEvent->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(AEvent);
    move(FWindowStart + AEvent->globalPosition().toPoint() - FDragStart);
}

void TPreviewWindow::mouseReleaseEvent(QMouseEvent* AEvent) {
    FDragging = false;
    QWidget::mouseReleaseEvent(AEvent);
}

std::unique_ptr<IPreviewWindow> CreatePreviewWindow() {
    return std::make_unique<TPreviewWindow>();
}

} // namespace vx
