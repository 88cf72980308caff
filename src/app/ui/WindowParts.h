// Small widgets of the main window that Qt does not have as such.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <functional>

namespace vx {

// A picture that acts on a click (Image1, the switch between the simple and advanced settings).
class TClickableImage : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    std::function<void(TClickableImage* Sender)> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
};

// A drop-down list that reports each opening before the list shows, so that its length can be
// set first (the format list's ComboOutputFormatDropDown).
class TDropDownComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    std::function<void(TDropDownComboBox* Sender)> OnDropDown;
    void showPopup() override;
};

} // namespace vx
