#include <QApplication>
#include <QTimer>

#include "Icons.h"
#include "InterruptWatcher.h"
#include "LocalFileNames.h"
#include "MainWindow.h"
#include "PreviewWindow.h"
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
    bridge.SetPreviewWindowFactory(vx::CreatePreviewWindow);

    vx::TMainWindow window;
    if (!window.FormCreate())
        return 1;
    // The session manager asks before the session ends; SIGTERM and SIGHUP are how the system
    // and a closed terminal ask. Either way a running conversion is stopped, not cut off.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window] { window.SessionEnding(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.SessionEnding(); });
    vx::TInterruptWatcher stopSignals;
    stopSignals.OnInterrupt = [&window](int) {
        window.SessionEnding();
        window.close();
        QCoreApplication::quit();
    };
    window.show();
    // Files named on the command line (the file manager's "Open with") are added like dropped
    // ones, byte for byte: Qt's argument list decodes names that are not UTF-8 lossily.
    const QStringList files = vx::LocalArguments(argc, argv).mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files] { window.AddFiles(files); });
    return app.exec();
}
