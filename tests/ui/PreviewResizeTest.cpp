// The player drawing into an X11 window that Qt owns (the preview panel's own window, embedded
// in a parent widget) while Qt resizes it: SDL does not see the new size until the owner tells
// the player (ScreenWidth/ScreenHeight, then UpdateScreenPosition), and then the picture is
// fitted to the new area at its own aspect. Needs the X11 platform (run under Xvfb).
#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "PreviewPanel.h"
#include "play/FFPlay.h"

using namespace vx;

namespace {

// Share of pixels that are not black in AArea of the window as the X server shows it.
double LitShare(TPreviewPanel* APanel, const QRect& AArea) {
    const QImage image =
        APanel->screen()
            ->grabWindow(APanel->winId(), AArea.x(), AArea.y(), AArea.width(), AArea.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > 24)
                ++lit;
    return image.isNull() ? 0 : double(lit) / (image.width() * image.height());
}

QRect ToQRect(const TRect& ARect) {
    return QRect(ARect.Left, ARect.Top, ARect.Width(), ARect.Height());
}

TEST(PreviewResizeTest, AResizedHostWindowIsFilledOnceThePlayerIsTold) {
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs the X11 platform (run under Xvfb)";
    fixtures::TTempDir media;
    fixtures::WriteMedia(media.File("clip.avi"), fixtures::AviMpeg4Mp3()); // 320x240
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QByteArray::fromStdString(media.File("audio.raw")));

    QWidget host;
    host.resize(480, 400);
    auto* panel = new TPreviewPanel(&host);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    TZADorovu player;
    ASSERT_TRUE(player.LoadAVLib("", true)) << player.LastErrMsg();
    const std::string file = media.File("clip.avi");
    // Paused, the picture on screen stays while the window changes around it.
    ASSERT_TRUE(
        player.Open(TFileName(file.begin(), file.end()), static_cast<uintptr_t>(panel->winId()), true))
        << player.LastErrMsg();
    const TRect whole{0, 0, 320, 240};
    // The 4:3 picture fills the panel's height: 174x131 at x = 5.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return player.DisplayToActualRect({5, 0, 179, 131}) == whole;
        },
        10000));

    struct TCase {
        int Width, Height;
        TRect Picture; // where the picture lies in the window
    };
    // Wider than 4:3 gives bars left and right, taller gives bars above and below.
    for (const TCase c : {TCase{400, 200, {67, 0, 333, 200}}, TCase{200, 300, {0, 75, 200, 225}}}) {
        SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
        panel->setFixedSize(c.Width, c.Height);
        QTest::qWait(100); // the X server has the new size
        player.SetScreenWidth(c.Width);
        player.SetScreenHeight(c.Height);
        player.UpdateScreenPosition();
        EXPECT_TRUE(QTest::qWaitFor([&] { return player.DisplayToActualRect(c.Picture) == whole; }, 2000))
            << "the picture rectangle is still where the old size put it";
        // The drawing follows the numbers: the picture lights its rectangle, the bars stay black.
        const QRect picture = ToQRect(c.Picture);
        EXPECT_TRUE(QTest::qWaitFor([&] { return LitShare(panel, picture) > 0.6; }, 2000))
            << LitShare(panel, picture);
        const QRect before =
            c.Picture.Left > 0 ? QRect(0, 0, c.Picture.Left, c.Height) : QRect(0, 0, c.Width, c.Picture.Top);
        const QRect after = c.Picture.Left > 0
                                ? QRect(c.Picture.Right, 0, c.Width - c.Picture.Right, c.Height)
                                : QRect(0, c.Picture.Bottom, c.Width, c.Height - c.Picture.Bottom);
        EXPECT_LT(LitShare(panel, before), 0.01);
        EXPECT_LT(LitShare(panel, after), 0.01);
    }
    player.Stop(true);
    EXPECT_EQ(player.PlayState(), psStop);
}

} // namespace
