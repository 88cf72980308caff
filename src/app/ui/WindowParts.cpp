#include "WindowParts.h"

#include <QApplication>
#include <QMouseEvent>

namespace vx {

void TClickableImage::mouseReleaseEvent(QMouseEvent* AEvent) {
    if (AEvent->button() == Qt::LeftButton && rect().contains(AEvent->position().toPoint()) && OnClick) {
        AEvent->accept();
        OnClick(this);
        return;
    }
    QLabel::mouseReleaseEvent(AEvent);
}

void TDropDownComboBox::showPopup() {
    if (OnDropDown)
        OnDropDown(this);
    QComboBox::showPopup();
}

TScrollingPanel::TScrollingPanel(QWidget* APanel, QWidget* AParent) : QScrollArea(AParent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setWidget(APanel);
    // The frame itself is no stop on the way through the controls.
    setFocusPolicy(Qt::NoFocus);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* ANow) {
        if (ANow && widget() && widget()->isAncestorOf(ANow))
            ensureWidgetVisible(ANow);
    });
}

void TScrollingPanel::SetPanelSize(const QSize& ASize) {
    // The panel's own size is its least: its layout may have been made in a size below what
    // its controls would ask for.
    widget()->setMinimumSize(ASize);
    setMaximumHeight(ASize.height() + 2 * frameWidth());
    updateGeometry();
}

QSize TScrollingPanel::sizeHint() const {
    if (!widget())
        return QScrollArea::sizeHint();
    return widget()->minimumSize().grownBy(QMargins(frameWidth(), frameWidth(), frameWidth(), frameWidth()));
}

} // namespace vx
