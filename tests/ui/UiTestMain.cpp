// The window tests need a widget application on the offscreen platform and the Qt bridge,
// through which the encoder's events reach the main thread.
#include <QApplication>

#include <gtest/gtest.h>

#include "QtPlatformBridge.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vx::TQtPlatformBridge bridge;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
