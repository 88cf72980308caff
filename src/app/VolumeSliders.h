// The two volume sliders of the settings panels, apart from any widget. The advanced slider
// (TrackBar1, vertical, 200% at the top) decides the volume every task is given; the simple
// slider (TrackBar2, horizontal, 0% at the left) only moves the advanced one.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

namespace vx {

// One position of the advanced slider: its label and the level on the engine's volume scale,
// where 255 leaves the sound as it is.
struct TVolumeStep {
    const char* Label;
    int32_t Value;
};

class TVolumeSliders : public QObject {
    Q_OBJECT
public:
    static constexpr int MinPosition = 0;
    static constexpr int MaxPosition = 10;
    static constexpr int DefaultPosition = 5;

    // Indexed by the advanced slider's position. The steps are not proportional: the engine's
    // unity level is 255, and the louder steps were tuned by ear.
    static constexpr std::array<TVolumeStep, MaxPosition + 1> VolumeSteps = {{
        {"200%", 600},
        {"180%", 450},
        {"160%", 400},
        {"140%", 350},
        {"120%", 300},
        {"100%", 255},
        {"80%", 200},
        {"60%", 150},
        {"40%", 100},
        {"20%", 50},
        {"0%", 0},
    }};

    explicit TVolumeSliders(QObject* AParent = nullptr) : QObject(AParent) {}

    // The advanced slider (TrackBar1) and its label LabelVolume.
    int TrackBar1Position() const { return FTrackBar1Position; }
    // Moving to another position runs TrackBar1Change; the same position changes nothing, as a
    // slider raises no change for it. A position outside 0..10 throws std::out_of_range.
    void SetTrackBar1Position(int APosition);
    const QString& LabelVolume() const { return FLabelVolume; }

    // The simple slider (TrackBar2) and its label LabelTrackBar2. Same rules as TrackBar1.
    int TrackBar2Position() const { return FTrackBar2Position; }
    void SetTrackBar2Position(int APosition);
    const QString& LabelTrackBar2() const { return FLabelTrackBar2; }

    // The level the next task is given (the task's AudioVolume).
    int32_t VolumeValue() const { return FVolumeValue; }

    // The change handlers: each applies its slider's current position.
    void TrackBar1Change();
    void TrackBar2Change();

    // Showing a view puts that view's slider back on 100% (0: simple, 1: advanced). The handler
    // runs even when the slider already stands there, because the other view may have changed
    // the volume meanwhile, and the level must match what the visible slider shows.
    void ApplyView(int AView);

signals:
    void TrackBar1Changed(int APosition);
    void TrackBar2Changed(int APosition);
    void VolumeValueChanged(int32_t AValue);

private:
    static void CheckPosition(int APosition);

    int FTrackBar1Position = DefaultPosition;
    int FTrackBar2Position = DefaultPosition;
    QString FLabelVolume = QString::fromLatin1(VolumeSteps[DefaultPosition].Label);
    QString FLabelTrackBar2 = QStringLiteral("100%");
    int32_t FVolumeValue = VolumeSteps[DefaultPosition].Value;
};

} // namespace vx
