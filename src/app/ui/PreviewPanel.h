// The black area in which the preview player shows the selected file. The player draws into
// this widget's own X11 window through SDL, so Qt must never paint it: the widget has a native
// window, paints on screen, is opaque, has no background of its own and offers no paint engine.
//
// While nothing plays it may show a thumbnail instead: then, and only then, Qt paints the
// widget (through the window's backing store), the picture centred on black.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace vx {

class TPreviewPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int PanelWidth = 184;
    static constexpr int PanelHeight = 131;

    explicit TPreviewPanel(QWidget* AParent = nullptr);

    // Clears the panel to black (after the player stopped drawing into it).
    void Blank() { SetServerBackground(); }

    // Shows APicture (already fitted to the panel) until ClearThumbnail; a null one clears.
    void ShowThumbnail(const QPixmap& APicture);
    // Back to the black panel that the player draws into.
    void ClearThumbnail();
    const QPixmap& Thumbnail() const { return FThumbnail; }

    // Qt asks for an engine before every paint; without one it leaves the window to SDL.
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    bool event(QEvent* AEvent) override;
    void paintEvent(QPaintEvent*) override;

private:
    // Has the X server fill the window black wherever it is uncovered.
    void SetServerBackground();

    QPixmap FThumbnail;
};

} // namespace vx
