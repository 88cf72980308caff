// The two volume sliders: the advanced slider's table and the simple slider that drives it.
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "VolumeSliders.h"

using namespace vx;

namespace {

TEST(VolumeSlidersTest, StartAtFullVolume) {
    const TVolumeSliders volume;
    EXPECT_EQ(volume.TrackBar1Position(), 5);
    EXPECT_EQ(volume.TrackBar2Position(), 5);
    EXPECT_EQ(volume.LabelVolume(), "100%");
    EXPECT_EQ(volume.LabelTrackBar2(), "100%");
    EXPECT_EQ(volume.VolumeValue(), 255);
}

TEST(VolumeSlidersTest, AdvancedSliderPositionsGiveTheTabledLevels) {
    // Top to bottom; the steps are deliberately not proportional.
    const char* const labels[] = {"200%", "180%", "160%", "140%", "120%", "100%",
                                  "80%",  "60%",  "40%",  "20%",  "0%"};
    const int values[] = {600, 450, 400, 350, 300, 255, 200, 150, 100, 50, 0};
    TVolumeSliders volume;
    for (int position : {0, 10, 1, 9, 2, 8, 3, 7, 4, 6, 5}) {
        volume.SetTrackBar1Position(position);
        EXPECT_EQ(volume.LabelVolume(), labels[position]) << position;
        EXPECT_EQ(volume.VolumeValue(), values[position]) << position;
        // The advanced slider never moves the simple one.
        EXPECT_EQ(volume.TrackBar2Position(), 5);
        EXPECT_EQ(volume.LabelTrackBar2(), "100%");
    }
}

TEST(VolumeSlidersTest, SimpleSliderMovesTheAdvancedOneTheOtherWayRound) {
    TVolumeSliders volume;
    std::vector<int> moves;
    QObject::connect(&volume, &TVolumeSliders::TrackBar1Changed,
                     [&](int APosition) { moves.push_back(APosition); });

    volume.SetTrackBar2Position(8);
    EXPECT_EQ(volume.LabelTrackBar2(), "160%");
    EXPECT_EQ(volume.TrackBar1Position(), 2);
    EXPECT_EQ(volume.LabelVolume(), "160%");
    EXPECT_EQ(volume.VolumeValue(), 400);

    volume.SetTrackBar2Position(10);
    EXPECT_EQ(volume.LabelTrackBar2(), "200%");
    EXPECT_EQ(volume.VolumeValue(), 600);
    volume.SetTrackBar2Position(0);
    EXPECT_EQ(volume.LabelTrackBar2(), "0%");
    EXPECT_EQ(volume.VolumeValue(), 0);
    EXPECT_EQ(moves, (std::vector<int>{2, 0, 10}));
}

TEST(VolumeSlidersTest, ShowingAViewPutsItsSliderBackOnFullVolume) {
    TVolumeSliders volume;
    // Louder in the advanced view, then back to the simple view, whose slider already stands on
    // 100%: the level must follow what the visible slider shows.
    volume.SetTrackBar1Position(2);
    volume.ApplyView(0);
    EXPECT_EQ(volume.TrackBar2Position(), 5);
    EXPECT_EQ(volume.TrackBar1Position(), 5);
    EXPECT_EQ(volume.VolumeValue(), 255);

    volume.SetTrackBar2Position(9);
    volume.ApplyView(1);
    EXPECT_EQ(volume.TrackBar1Position(), 5);
    EXPECT_EQ(volume.LabelVolume(), "100%");
    EXPECT_EQ(volume.VolumeValue(), 255);
}

TEST(VolumeSlidersTest, PositionsOffTheSliderAreRefused) {
    TVolumeSliders volume;
    EXPECT_THROW(volume.SetTrackBar1Position(-1), std::out_of_range);
    EXPECT_THROW(volume.SetTrackBar1Position(11), std::out_of_range);
    EXPECT_THROW(volume.SetTrackBar2Position(11), std::out_of_range);
    EXPECT_EQ(volume.VolumeValue(), 255);
    EXPECT_EQ(volume.TrackBar2Position(), 5);
}

} // namespace
