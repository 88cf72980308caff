#include "VolumeSliders.h"

#include <stdexcept>
#include <string>

namespace vx {

void TVolumeSliders::CheckPosition(int APosition) {
    if (APosition < MinPosition || APosition > MaxPosition)
        throw std::out_of_range("Volume slider position out of range (" + std::to_string(APosition) + ")");
}

void TVolumeSliders::SetTrackBar1Position(int APosition) {
    CheckPosition(APosition);
    if (APosition == FTrackBar1Position)
        return;
    FTrackBar1Position = APosition;
    TrackBar1Change();
}

void TVolumeSliders::SetTrackBar2Position(int APosition) {
    CheckPosition(APosition);
    if (APosition == FTrackBar2Position)
        return;
    FTrackBar2Position = APosition;
    TrackBar2Change();
}

void TVolumeSliders::TrackBar1Change() {
    const TVolumeStep& step = VolumeSteps[FTrackBar1Position];
    FLabelVolume = QString::fromLatin1(step.Label);
    emit TrackBar1Changed(FTrackBar1Position);
    if (step.Value != FVolumeValue) {
        FVolumeValue = step.Value;
        emit VolumeValueChanged(FVolumeValue);
    }
}

void TVolumeSliders::TrackBar2Change() {
    FLabelTrackBar2 = QString::number(FTrackBar2Position * 20) + '%';
    emit TrackBar2Changed(FTrackBar2Position);
    // The simple slider runs left to right from quiet to loud, the advanced one top to bottom
    // from loud to quiet; the level always comes from the advanced slider's table.
    FTrackBar1Position = MaxPosition - FTrackBar2Position;
    TrackBar1Change();
}

void TVolumeSliders::ApplyView(int AView) {
    if (AView == 0) {
        FTrackBar2Position = DefaultPosition;
        TrackBar2Change();
    } else {
        FTrackBar1Position = DefaultPosition;
        TrackBar1Change();
    }
}

} // namespace vx
