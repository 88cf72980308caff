#include "PreviewPanel.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>

#ifdef VANTORIX_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace vx {

TPreviewPanel::TPreviewPanel(QWidget* AParent) : QWidget(AParent) {
    setObjectName("PanelPlay");
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(PanelWidth, PanelHeight);
}

bool TPreviewPanel::event(QEvent* AEvent) {
    const bool result = QWidget::event(AEvent);
    if (AEvent->type() == QEvent::Show || AEvent->type() == QEvent::WinIdChange)
        SetServerBackground();
    return result;
}

void TPreviewPanel::ShowThumbnail(const QPixmap& APicture) {
    if (APicture.isNull()) {
        ClearThumbnail();
        return;
    }
    FThumbnail = APicture;
    // Painted by Qt like any widget while the picture is up; the player is not drawing then.
    setAttribute(Qt::WA_PaintOnScreen, false);
    update();
}

void TPreviewPanel::ClearThumbnail() {
    if (FThumbnail.isNull())
        return;
    FThumbnail = QPixmap();
    setAttribute(Qt::WA_PaintOnScreen, true);
    SetServerBackground();
}

void TPreviewPanel::paintEvent(QPaintEvent*) {
    if (FThumbnail.isNull())
        return;
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QSize size = FThumbnail.deviceIndependentSize().toSize();
    painter.drawPixmap(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size),
                       FThumbnail);
}

void TPreviewPanel::SetServerBackground() {
    // Qt creates native windows without a background, so while nothing plays, whatever last
    // covered the panel (a menu, a dialog) would stay visible in it. A background pixel lets the
    // server clear uncovered parts itself; Qt still paints nothing over the player's picture.
#ifdef VANTORIX_HAVE_XCB
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !testAttribute(Qt::WA_WState_Created))
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const auto window = static_cast<xcb_window_t>(winId());
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t black = screen ? screen->black_pixel : 0;
    xcb_change_window_attributes(connection, window, XCB_CW_BACK_PIXEL, &black);
    xcb_clear_area(connection, 0, window, 0, 0, 0, 0);
    xcb_flush(connection);
#endif
}

} // namespace vx
