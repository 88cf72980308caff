// Small widgets of the main window that Qt does not have as such.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
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

// A frame around a panel laid out for a certain size: it asks for that size and takes no more
// height (more width it gives to the panel); given less, it scrolls the panel instead of
// squeezing it, and it brings each control that gets the keyboard focus into view.
class TScrollingPanel : public QScrollArea {
    Q_OBJECT
public:
    explicit TScrollingPanel(QWidget* APanel, QWidget* AParent = nullptr);
    void SetPanelSize(const QSize& ASize);
    QSize sizeHint() const override;
};

} // namespace vx
