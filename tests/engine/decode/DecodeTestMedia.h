// What the decoder tests share: the standard media, each written the first time a test asks
// for it into one folder for the whole test program, and a decoder whose own log lines are kept.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/FFLog.h"
#include "decode/FFDecode.h"

namespace vx::fixtures {

// The path of the named medium ("clip.avi", "song.mp3" ... see the table in the source).
std::string Media(const std::string& AName);

struct TLogged {
    TLogLevel Level;
    std::string Text;
};

class TDecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    void Load(const std::string& AName);
    bool WasLogged(TLogLevel ALevel, const std::string& AText) const;

    TFFDecoder Decoder;
    std::vector<TLogged> Logged; // what Decoder logged, in order
};

} // namespace vx::fixtures
