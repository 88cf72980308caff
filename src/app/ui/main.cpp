#include <QApplication>

#include "MainWindow.h"
#include "QtPlatformBridge.h"

int main(int argc, char* argv[]) {
    // Embedding the SDL preview needs an X11 window; respect an explicit choice.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    vx::TQtPlatformBridge bridge;
    vx::TMainWindow window;
    window.show();
    return app.exec();
}
