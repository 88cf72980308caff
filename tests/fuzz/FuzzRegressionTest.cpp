// Every input that fuzzing found a fault with, replayed through the same harness as the fuzz
// targets (fuzz/FuzzHarness.h). A fault the harness notices comes back as its text; a crash
// or a sanitizer report (this build has AddressSanitizer and UndefinedBehaviorSanitizer)
// ends the test. Inputs are kept small: each is the minimised form of what was found.
#include <gtest/gtest.h>

#include <string>

#include "FuzzHarness.h"
#include "base/FFLoad.h"
#include "encode/FFmpegOptions.h"

namespace {

using THarness = std::string (*)(const uint8_t*, size_t);

struct TFound {
    const char* Name;
    std::string Bytes;
};

// The case's name, not its bytes, in the test's listing.
void PrintTo(const TFound& AFound, std::ostream* AOut) {
    *AOut << AFound.Name;
}

std::string Replay(THarness AHarness, const std::string& ABytes) {
    return AHarness(reinterpret_cast<const uint8_t*>(ABytes.data()), ABytes.size());
}

// Option text: the input's, a zero byte, the output's.
std::string OutputOptions(const std::string& AText) {
    return std::string(1, '\0') + AText;
}

class OptionTextFound : public ::testing::TestWithParam<TFound> {};

TEST_P(OptionTextFound, RunsWithoutFault) {
    EXPECT_EQ(Replay(vx::fuzz::RunOptionText, GetParam().Bytes), "");
}

INSTANTIATE_TEST_SUITE_P(
    Fuzz, OptionTextFound,
    ::testing::Values(
        // The quality factor of a negative q is -q / 100, which overflowed for the smallest int.
        TFound{"RateControlOverrideOfTheSmallestInt", OutputOptions("rc_override=0,1,-2147483648")},
        // 16-bit samples times the volume overflowed 32 bits before they were clipped.
        TFound{"VolumeFarBeyondFullScale", OutputOptions("vol=2147483647")},
        // The DC precision is handed over less 8, which overflowed for the smallest int.
        TFound{"DcPrecisionOfTheSmallestInt", OutputOptions("dc=-2147483648")},
        // Start plus length, and offset less start, overflowed 64 bits.
        TFound{"HugeStartAndLength", OutputOptions("t=9000000000000\nss=9000000000000")},
        TFound{"HugeOffsetAndStart", "itsoffset=-9000000000000\nss=9000000000000"},
        // Seconds times a million, as a float, went past what an int or int64 holds.
        TFound{"HugeMuxDelay", OutputOptions("muxdelay=1e38")},
        TFound{"HugeMuxPreload", OutputOptions("muxpreload=1e38")},
        TFound{"HugeAudioQuality", OutputOptions("aq=1e38")},
        // An output start 68 years before the first frame: the video path repeats the picture
        // to fill the gap, for longer than anyone waits; a stop must still end the run.
        TFound{"OutputStartLongBeforeTheInputIsStopped", OutputOptions("ss=-2147483648")},
        // A discard level far outside the library's levels was stored as one.
        TFound{"DiscardLevelOutsideTheLevels", "vdt=123456"}),
    [](const ::testing::TestParamInfo<TFound>& AInfo) { return std::string(AInfo.param.Name); });

// The transcoder adds times up; a time option leaves room for that or is refused.
TEST(TimeOptionFound, TimesBeyondTwoToTheSixtyMicrosecondsAreRefused) {
    using vx::TFFmpegOptions;
    ASSERT_TRUE(vx::FFLoader().Load(vx::EncoderLibraries)) << vx::FFLoader().LastErrMsg();
    EXPECT_EQ(TFFmpegOptions::parse_time_value("t", "1152921504606", true), 1152921504606000000);
    EXPECT_EQ(TFFmpegOptions::parse_time_value("t", "-1152921504606", true), -1152921504606000000);
    for (const char* text : {"1152921504607", "-1152921504607", "9000000000000"})
        EXPECT_THROW(TFFmpegOptions::parse_time_value("ss", text, true), vx::FFmpegException) << text;
}

} // namespace
