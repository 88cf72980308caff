#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "RunStatusText.h"

using namespace vx;

// Ended rows count whole, the converting row by its own share; out-of-range input is held in
// bounds instead of showing 150 % or a negative figure.
TEST(RunStatusTextTest, OverallPercentWeighsEndedRowsAndTheCurrentOne) {
    struct Case {
        int Ended, InRun, Current, Expected;
    } cases[] = {
        {0, 0, 50, 0},   {0, 4, 0, 0},    {1, 4, 50, 37}, {3, 4, 99, 99},
        {4, 4, 80, 100}, {0, 2, 150, 50}, {0, 1, -5, 0},  {5, 4, 0, 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OverallPercent(c.Ended, c.InRun, c.Current), c.Expected)
            << c.Ended << " of " << c.InRun << " ended, current at " << c.Current;
}

// The time left is the pace so far carried on to 100 %; it is shown only while there is a pace
// and something left.
TEST(RunStatusTextTest, TimeLeftFollowsThePaceSoFar) {
    struct Case {
        int Percent;
        int64_t ElapsedMs;
        const char* Expected;
    } cases[] = {
        {0, 3'000, "0%  0:03"},
        {25, 10'000, "25%  0:10, 0:30 left"},
        {50, 3'723'000, "50%  1:02:03, 1:02:03 left"},
        {90, 90'000, "90%  1:30, 0:10 left"},
        {99, 99'000, "99%  1:39, 0:01 left"},
        {100, 5'000, "100%  0:05"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunStatusText(c.Percent, c.ElapsedMs).toStdString(), c.Expected);
}

TEST(RunStatusTextTest, ClockTextGrowsAnHourFieldAndNeverGoesNegative) {
    EXPECT_EQ(ClockText(-5).toStdString(), "0:00");
    EXPECT_EQ(ClockText(59'999).toStdString(), "0:59");
    EXPECT_EQ(ClockText(754'000).toStdString(), "12:34");
    EXPECT_EQ(ClockText(3'600'000).toStdString(), "1:00:00");
}
