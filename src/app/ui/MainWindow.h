#pragma once

#include <QMainWindow>

namespace vx {

class TMainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainWindow(QWidget* AParent = nullptr);
};

} // namespace vx
