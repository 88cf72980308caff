#include <QApplication>
#include <QTimer>

#include "Icons.h"
#include "MainWindow.h"
#include "QtPlatformBridge.h"

namespace {

// The preview player draws into an X11 window, so the program asks for Qt's X11 platform unless
// the user chose a platform; where no X server can be reached, it still starts on Wayland.
void ChoosePlatform(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

} // namespace

int main(int argc, char* argv[]) {
    ChoosePlatform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(vx::TMainWindow::Caption);
    QApplication::setWindowIcon(vx::icons::Application());
    QGuiApplication::setDesktopFileName(QStringLiteral("vantorix"));
    vx::TQtPlatformBridge bridge;

    vx::TMainWindow window;
    if (!window.FormCreate())
        return 1;
    window.show();
    // Files named on the command line (the file manager's "Open with") are added like dropped ones.
    const QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files] { window.AddFiles(files); });
    return app.exec();
}
