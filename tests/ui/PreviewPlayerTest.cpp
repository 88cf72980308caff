// The preview panel's play, pause and stop buttons. Under the offscreen platform there is no
// X11 window to draw into: the user is told. Under Xvfb (QT_QPA_PLATFORM=xcb) the selected
// file plays into the panel, which is read back from the X server; with
// VANTORIX_SCREENSHOT_DIR set the screen is saved there while the clip plays.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <iostream>
#include <utility>

#include "JobListView.h"
#include "MainWindow.h"
#include "MediaFixtures.h"
#include "PreviewPanel.h"
#include "base/FFLoad.h"

using namespace vx;

namespace {

class TPreviewTestWindow : public TMainWindow {
public:
    TAnswer MessageBox(const QString& AText, const QString&, TIcon, TButtons) override {
        Messages << AText;
        return TAnswer::Ok;
    }
    QStringList Messages;
};

// The panel as the X server shows it.
QImage GrabPanel(TPreviewPanel* APanel) {
    return APanel->screen()->grabWindow(APanel->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Share of pixels that are not black.
double LitShare(const QImage& AImage) {
    int lit = 0;
    for (int y = 0; y < AImage.height(); ++y)
        for (int x = 0; x < AImage.width(); ++x)
            if (qGray(AImage.pixel(x, y)) > 24)
                ++lit;
    return AImage.isNull() ? 0 : double(lit) / (AImage.width() * AImage.height());
}

class PreviewPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        Media = new fixtures::TTempDir;
        fixtures::TMediaSpec clip = fixtures::AviMpeg4Mp3();
        clip.Seconds = 6;
        fixtures::WriteMedia(Media->File("clip.avi"), clip);
        fixtures::WriteTextFile(Media->File("notes.avi"), "not a video at all\n");
    }
    static void TearDownTestSuite() {
        delete Media;
        Media = nullptr;
    }
    void SetUp() override {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QByteArray::fromStdString(Media->File("audio.raw")));
        ASSERT_TRUE(Window.FormCreate());
        Window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    }
    void TearDown() override { Window.SpeedButtonSTOPClick(); }

    void SelectRow(const std::string& AName) {
        Window.JobList.AddRow(QString::fromStdString(Media->File(AName)));
        Window.ListView1->selectRow(Window.JobList.Count() - 1);
    }

    static inline fixtures::TTempDir* Media = nullptr;
    TPreviewTestWindow Window;
};

TEST_F(PreviewPlayerTest, PlayDoesNothingWithoutASelectedRow) {
    Window.SpeedButtonPLAY->click();
    EXPECT_FALSE(Window.PreviewPlaying);
    EXPECT_TRUE(Window.Messages.isEmpty());
    EXPECT_EQ(Window.Player1.PlayState(), psStop);
}

TEST_F(PreviewPlayerTest, StateEventsSetThePreviewFlags) {
    struct TCase {
        TPlayState State;
        bool Playing, Paused;
    };
    for (const TCase c :
         {TCase{psPlay, true, false}, TCase{psPause, false, true}, TCase{psResume, true, true},
          TCase{psStop, false, false}, TCase{psStep, false, true}, TCase{psEnd, false, false}}) {
        Window.Player1State(c.State);
        EXPECT_EQ(Window.PreviewPlaying, c.Playing) << c.State;
        EXPECT_EQ(Window.PreviewPaused, c.Paused) << c.State;
    }
}

TEST_F(PreviewPlayerTest, WithoutAnX11WindowTheUserIsTold) {
    if (QGuiApplication::platformName() == "xcb")
        GTEST_SKIP() << "X11 windows are there";
    SelectRow("clip.avi");
    Window.SpeedButtonPLAY->click();
    EXPECT_EQ(Window.Messages,
              QStringList{TMainWindow::PreviewUnavailableText(QGuiApplication::platformName())});
    EXPECT_EQ(Window.Player1.PlayState(), psStop);
}

TEST_F(PreviewPlayerTest, PlaysPausesAndStopsInThePanel) {
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs the X11 platform (run under Xvfb)";
    TPreviewPanel* panel = Window.PanelPlay;
    EXPECT_LT(LitShare(GrabPanel(panel)), 0.01) << "black before playing";

    SelectRow("notes.avi");
    Window.SpeedButtonPLAY->click();
    EXPECT_EQ(Window.Messages, QStringList{TMainWindow::CannotPlayText});
    EXPECT_FALSE(Window.PreviewPlaying);

    SelectRow("clip.avi");
    QElapsedTimer sincePlay;
    sincePlay.start();
    Window.SpeedButtonPLAY->click();
    // The 4:3 pattern fills the panel's height: most of the panel lights up. It came 0.7 to 2 s
    // after the press on a busy two-core machine; the long wait keeps a slower one from failing.
    const bool lit = QTest::qWaitFor([&] { return LitShare(GrabPanel(panel)) > 0.6; }, 10000);
    // Each step's line goes out at once (std::endl), so that a run killed by the time-out still
    // shows how far it came.
    std::cout << "first picture in the panel " << sincePlay.elapsed() << " ms after play was pressed"
              << std::endl;
    if (const QByteArray dir = qgetenv("VANTORIX_SCREENSHOT_DIR"); !dir.isEmpty()) {
        Window.screen()->grabWindow(0).save(QString::fromLocal8Bit(dir) + "/playing.png");
        GrabPanel(panel).save(QString::fromLocal8Bit(dir) + "/panel-playing.png");
    }
    ASSERT_TRUE(lit) << LitShare(GrabPanel(panel)) << " state " << Window.Player1.PlayState() << " "
                     << Window.Player1.LastErrMsg();
    EXPECT_TRUE(Window.PreviewPlaying);
    const QImage moving = GrabPanel(panel);
    QTest::qWait(300);
    EXPECT_NE(GrabPanel(panel), moving) << "the pattern moves while playing";

    Window.SpeedButtonPAUSE->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window.PreviewPaused; }, 1000));
    // Pictures queued before the pause still come up at their times, which run up to a few
    // hundred milliseconds ahead while the pictures are ahead of the sound; then the panel stands.
    QImage paused = GrabPanel(panel);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QTest::qWait(1000);
            const QImage now = GrabPanel(panel);
            return std::exchange(paused, now) == now;
        },
        5000));
    QTest::qWait(1000);
    EXPECT_EQ(GrabPanel(panel), paused) << "nothing moves while paused";
    EXPECT_GT(LitShare(paused), 0.6);

    std::cout << "paused and standing" << std::endl;
    Window.SpeedButtonPLAY->click(); // resumes
    ASSERT_TRUE(QTest::qWaitFor([&] { return Window.PreviewPlaying; }, 1000));

    EXPECT_TRUE(panel->Thumbnail().isNull()) << "no thumbnail over the playback";

    std::cout << "resumed" << std::endl;
    Window.SpeedButtonSTOP->click();
    std::cout << "stopped" << std::endl;
    EXPECT_EQ(Window.Player1.PlayState(), psStop);
    EXPECT_FALSE(Window.PreviewPlaying);
    EXPECT_FALSE(Window.PreviewPaused);
    // Stopped, the panel shows the selected row's thumbnail, painted by Qt into its window.
    const bool thumbnail = QTest::qWaitFor(
        [&] { return !panel->Thumbnail().isNull() && LitShare(GrabPanel(panel)) > 0.6; }, 30000);
    if (const QByteArray dir = qgetenv("VANTORIX_SCREENSHOT_DIR"); !dir.isEmpty()) {
        Window.screen()->grabWindow(0).save(QString::fromLocal8Bit(dir) + "/stopped.png");
        GrabPanel(panel).save(QString::fromLocal8Bit(dir) + "/panel-stopped.png");
    }
    EXPECT_TRUE(thumbnail) << LitShare(GrabPanel(panel));
    std::cout << "thumbnail shown; closing the window" << std::endl;
}

} // namespace
