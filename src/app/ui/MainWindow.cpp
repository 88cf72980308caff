#include "MainWindow.h"

namespace vx {

TMainWindow::TMainWindow(QWidget* AParent) : QMainWindow(AParent) {
    setWindowTitle("Vantorix");
    resize(760, 513);
}

} // namespace vx
