// The libraries named with the versions and licences of the copies actually loaded.
#include <gtest/gtest.h>

#include "base/FFApi.h"
#include "base/FFLoad.h"
#include "base/LibraryCredits.h"
#include "base/SDLLoader.h"

using namespace vx;

namespace {

const std::string SystemLibDir = "/usr/lib/x86_64-linux-gnu";

class LibraryCreditsTest : public ::testing::Test {
protected:
    void SetUp() override { FFLoader().Unload(TLibraries::All()); }
    void TearDown() override {
        FFLoader().SetLibraryPath("");
        FFLoader().Unload(TLibraries::All());
    }
    static const TLibraryCredit& Credit(const TLibraryCredits& ACredits, const std::string& AName) {
        for (const TLibraryCredit& credit : ACredits.Libraries)
            if (credit.Name == AName)
                return credit;
        throw std::runtime_error("no credit for " + AName);
    }
};

TEST_F(LibraryCreditsTest, EachLibraryLoadsOnItsOwnAndShowsItsOwnVersionAndLicence) {
    // The folder's format library lacks an export: only that one stays unnamed by version.
    const TLibraryCredits credits = ReadLibraryCredits(FAKE_LIB_DIR);
    ASSERT_EQ(credits.Libraries.size(), 8u);

    const TLibraryCredit& format = Credit(credits, "libavformat");
    EXPECT_TRUE(format.Version.empty());
    EXPECT_NE(format.Error.find("avformat_open_input"), std::string::npos) << format.Error;

    const std::pair<const char*, int> majors[] = {
        {"libavutil", LIBAVUTIL_VERSION_MAJOR},     {"libavcodec", LIBAVCODEC_VERSION_MAJOR},
        {"libavdevice", LIBAVDEVICE_VERSION_MAJOR}, {"libavfilter", LIBAVFILTER_VERSION_MAJOR},
        {"libswscale", LIBSWSCALE_VERSION_MAJOR},   {"libswresample", LIBSWRESAMPLE_VERSION_MAJOR},
    };
    for (const auto& [name, major] : majors) {
        const TLibraryCredit& credit = Credit(credits, name);
        EXPECT_EQ(credit.Version.substr(0, credit.Version.find('.')), std::to_string(major)) << name;
        EXPECT_NE(credit.License.find("GPL"), std::string::npos) << name << ": " << credit.License;
        EXPECT_EQ(credit.Link, "https://ffmpeg.org/") << name;
        EXPECT_TRUE(credit.Error.empty()) << name << ": " << credit.Error;
    }
    // The versions are those of the loaded copies, read through the bound entry points.
    const unsigned codec = ff::avcodec_version();
    EXPECT_EQ(Credit(credits, "libavcodec").Version, std::to_string(AV_VERSION_MAJOR(codec)) + "." +
                                                         std::to_string(AV_VERSION_MINOR(codec)) + "." +
                                                         std::to_string(AV_VERSION_MICRO(codec)));
    EXPECT_EQ(credits.MediaRelease, ff::av_version_info());
    EXPECT_FALSE(credits.MediaRelease.empty());
    EXPECT_TRUE(FFLoader().Loaded(avCodec)) << "the libraries stay loaded for the components";
}

TEST_F(LibraryCreditsTest, SDLIsLoadedOnlyForTheReadingWhenNoPlayerHoldsIt) {
    const TLibraryCredit sdl = Credit(ReadLibraryCredits(SystemLibDir), "SDL2");
    EXPECT_EQ(sdl.Version.substr(0, 2), "2.") << sdl.Version << " " << sdl.Error;
    EXPECT_EQ(sdl.License, "zlib License");
    EXPECT_EQ(sdl.Link, "https://www.libsdl.org/");

    // Let go again: a player may take the same file afterwards.
    TSDLLoader player;
    ASSERT_TRUE(player.Load(SystemLibDir, SDLLibraryFile)) << player.LastErrMsg();
    // Held by that player: read from its copy rather than refused, and the player keeps it.
    const TLibraryCredit held = Credit(ReadLibraryCredits(SystemLibDir), "SDL2");
    EXPECT_EQ(held.Version, sdl.Version) << held.Error;
    EXPECT_TRUE(player.Loaded());
    EXPECT_NE(player.SDL_GetVersion, nullptr);
}

TEST_F(LibraryCreditsTest, SDLThatCannotBeLoadedIsReportedNotGuessed) {
    SDL_version version{};
    std::string error;
    EXPECT_FALSE(ReadSDLVersion("/nonexistent", "libSDL2-none.so.0", version, error));
    EXPECT_NE(error.find("libSDL2-none.so.0"), std::string::npos) << error;
    EXPECT_EQ(version.major, 0);
}

} // namespace
