// The batch driver needs a Qt application (its queued steps from row to row) and the Qt bridge through
// which the encoder's events reach the main thread.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "QtPlatformBridge.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    vx::TQtPlatformBridge bridge;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
