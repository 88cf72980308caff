#include "WindowParts.h"

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

} // namespace vx
