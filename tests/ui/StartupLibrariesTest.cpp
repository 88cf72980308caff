// Which media libraries the window binds, read from the process's own memory map: at its start
// only those that reading files takes, the device and filter libraries (and the sound and display
// libraries behind them) when a conversion first starts. The test has a process of its own, so
// that nothing has bound them before.
#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "MainWindow.h"

using namespace vx;

namespace {

// The window with its message boxes and folder browser answered at once.
class TQuietWindow : public TMainWindow {
public:
    TAnswer MessageBox(const QString& AText, const QString&, TIcon, TButtons) override {
        Messages << AText;
        return TAnswer::Ok;
    }
    QStringList Messages;

protected:
    bool ExecuteFolderBrowser(QString&) override { return false; }
};

// A shared object whose file name starts with AName is mapped into this process.
bool Mapped(const std::string& AName) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const size_t slash = line.rfind('/');
        if (slash != std::string::npos && line.compare(slash + 1, AName.size(), AName) == 0)
            return true;
    }
    return false;
}

TEST(StartupLibrariesTest, TheWindowBindsTheConversionLibrariesWhenItFirstConverts) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    const char* conversionOnly[] = {"libavdevice.so", "libavfilter.so", "libSDL2"};

    TQuietWindow window;
    ASSERT_TRUE(window.FormCreate());
    window.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Mapped("libavcodec.so"));
    EXPECT_TRUE(Mapped("libavformat.so"));
    for (const char* library : conversionOnly)
        EXPECT_FALSE(Mapped(library)) << library << " is bound at the start";

    // Adding a file reads it and binds nothing more.
    const QString file = config.filePath("notes.avi");
    QFile notes(file);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a video at all\n");
    notes.close();
    window.AddFiles({file});
    ASSERT_EQ(window.JobList.Count(), 1);
    EXPECT_EQ(window.JobList.Cell(0, jcProgress), "Error");
    for (const char* library : conversionOnly)
        EXPECT_FALSE(Mapped(library)) << library << " is bound by adding a file";

    // The first conversion binds the rest, before it asks for an output folder.
    window.ButtonConvertClick();
    EXPECT_EQ(window.Messages, QStringList{"Please select an output folder!"});
    EXPECT_TRUE(Mapped("libavdevice.so"));
    EXPECT_TRUE(Mapped("libavfilter.so"));
}

} // namespace
