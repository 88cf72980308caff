// The window tests need a widget application on the offscreen platform and the Qt bridge,
// through which the encoder's events reach the main thread.
#include <QApplication>

#include <gtest/gtest.h>

#include "PreviewWindow.h"
#include "QtPlatformBridge.h"

int main(int argc, char** argv) {
    // Offscreen unless asked for another platform (the X11 one under Xvfb, for screenshots).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vx::TQtPlatformBridge bridge;
    bridge.SetPreviewWindowFactory(vx::CreatePreviewWindow);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
