#include <cfenv>
#include <filesystem>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFApi.h"
#include "base/FFLoad.h"
#include "base/LibraryPreload.h"
#include "base/SDLLoader.h"

using namespace vx;

namespace {

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader().Unload(TLibraries::All());
        FFLoader().SetLibraryPath("");
    }
    void TearDown() override {
        FFLoader().SetLibraryPath("");
        FFLoader().Unload(TLibraries::All());
    }
    static bool NoneLoaded() {
        for (int lib = 0; lib < LibraryCount; ++lib)
            if (FFLoader().Loaded(TLibrary(lib)))
                return false;
        return true;
    }
};

TEST_F(LoaderTest, FileNamesFollowTheHeadersMajorVersions) {
    EXPECT_EQ(LibraryFileName(avCodec), "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(LibraryFileName(avFormat), "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR));
    EXPECT_EQ(LibraryFileName(swResample), "libswresample.so." + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR));
    EXPECT_EQ(LibraryFileName(myUtil), "libc.so.6");
}

TEST_F(LoaderTest, LibraryLackingOneExportFailsTheWholeSetAndBindsNothing) {
    FFLoader().SetLibraryPath(FAKE_LIB_DIR);
    EXPECT_FALSE(FFLoader().Load(EncoderLibraries));
    const std::string prefix = "Load function avformat_open_input@" + LibraryFileName(avFormat) + " error: ";
    EXPECT_EQ(FFLoader().LastErrMsg().substr(0, prefix.size()), prefix) << FFLoader().LastErrMsg();
    EXPECT_NE(FFLoader().LastErrMsg().find("undefined symbol"), std::string::npos) << FFLoader().LastErrMsg();
    EXPECT_TRUE(NoneLoaded());
    EXPECT_EQ(ff::avformat_alloc_context, nullptr);
    EXPECT_EQ(ff::avcodec_open2, nullptr);
    EXPECT_EQ(ff::av_log_set_callback, nullptr);

    // The real library, found by its soname once the folder no longer holds the fake.
    FFLoader().SetLibraryPath("");
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    EXPECT_NE(ff::avformat_open_input, nullptr);
}

TEST_F(LoaderTest, BrokenFilesInTheFolderAffectOnlyTheLibrariesThatAreAsked) {
    fixtures::TTempDir dir;
    // Not shared objects at all: loading them fails.
    fixtures::WriteTextFile(dir.File(LibraryFileName(avDevice)), "not a library");
    fixtures::WriteTextFile(dir.File(LibraryFileName(avFilter)), "not a library");
    fixtures::WriteTextFile(dir.File(LibraryFileName(myUtil)), "not a library");
    FFLoader().SetLibraryPath(dir.Path());

    // The decoder needs neither device nor filter library; the C library is never
    // taken from the folder; the others are absent there and come by soname.
    ASSERT_TRUE(FFLoader().Load(DecoderLibraries)) << FFLoader().LastErrMsg();
    EXPECT_TRUE(FFLoader().Loaded(DecoderLibraries));
    EXPECT_FALSE(FFLoader().Loaded(avDevice));

    EXPECT_FALSE(FFLoader().Load(EncoderLibraries));
    const std::string prefix = "Load library " + dir.Path() + "/" + LibraryFileName(avDevice) + " error: ";
    EXPECT_EQ(FFLoader().LastErrMsg().substr(0, prefix.size()), prefix) << FFLoader().LastErrMsg();
    EXPECT_TRUE(NoneLoaded()) << "a failed set load unloads the whole set";
}

TEST_F(LoaderTest, MissingLibraryNamesFolderAndFile) {
    fixtures::TTempDir dir;
    FFLoader().SetLibraryPath(dir.Path() + "/");
    ASSERT_TRUE(FFLoader().Load(avUtil)) << "absent from the folder: loaded by soname";
    std::string error;
    EXPECT_EQ(LoadLibraryFromPath(dir.Path() + "/", "libvantorix-none.so.1", error), nullptr);
    EXPECT_NE(error.find("libvantorix-none.so.1"), std::string::npos) << error;
}

TEST_F(LoaderTest, LoadingTwiceBindsOnce) {
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    // A second load of a bound library must not bind again: the cleared slot stays clear.
    const auto bound = ff::avcodec_open2;
    ff::avcodec_open2 = nullptr;
    EXPECT_TRUE(FFLoader().Load(EncoderLibraries));
    EXPECT_EQ(ff::avcodec_open2, nullptr);
    ff::avcodec_open2 = bound;
    EXPECT_TRUE(FFLoader().Loaded(EncoderLibraries));

    FFLoader().Unload(EncoderLibraries);
    EXPECT_TRUE(NoneLoaded());
    EXPECT_EQ(ff::avcodec_open2, nullptr);
}

TEST_F(LoaderTest, PreloadingChangesNeitherWhatLoadBindsNorWhatItReports) {
    fixtures::TTempDir broken;
    fixtures::WriteTextFile(broken.File(LibraryFileName(avDevice)), "not a library");
    // The folders: libraries by soname, one lacking an export, one that is no library at all.
    for (const std::string& folder : {std::string(), std::string(FAKE_LIB_DIR), broken.Path()}) {
        SCOPED_TRACE(folder);
        FFLoader().SetLibraryPath(folder);
        const bool loaded = FFLoader().Load(EncoderLibraries);
        const std::string message = FFLoader().LastErrMsg();
        FFLoader().Unload(TLibraries::All());
        FFLoader().SetLibraryPath("");

        TLibraryPreload preload;
        preload.Start(EncoderLibraries, folder);
        preload.Wait();
        FFLoader().SetLibraryPath(folder);
        EXPECT_EQ(FFLoader().Load(EncoderLibraries), loaded);
        EXPECT_EQ(FFLoader().LastErrMsg(), message);
        EXPECT_EQ(FFLoader().Loaded(EncoderLibraries), loaded);
        FFLoader().Unload(TLibraries::All());
    }
    // One never started, or left running, is waited for when it goes.
    TLibraryPreload idle;
    idle.Wait();
    TLibraryPreload running;
    running.Start(DecoderLibraries, "");
}

TEST_F(LoaderTest, MissingVariableExportHasItsOwnText) {
    std::string error;
    void* handle = LoadLibraryFromPath("", LibraryFileName(avUtil), error);
    ASSERT_NE(handle, nullptr) << error;
    try {
        ResolveVariable("libavutil", handle, "vantorix_no_such_table", false);
        FAIL() << "expected an exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Load variable vantorix_no_such_table@libavutil error: ", 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(ResolveVariable("libavutil", handle, "vantorix_no_such_table", true), nullptr);
}

TEST_F(LoaderTest, FloatingPointExceptionsAreMasked) {
    EXPECT_EQ(fegetexcept(), 0);
}

TEST(SDLLoaderTest, OneFilePerPlayer) {
    const std::string folder = "/usr/lib/x86_64-linux-gnu";
    const std::string file = "libSDL2-2.0.so.0";
    TSDLLoader first, second;
    ASSERT_TRUE(first.Load(folder, file)) << first.LastErrMsg();
    EXPECT_TRUE(first.Loaded());
    EXPECT_NE(first.SDL_Init, nullptr);
    EXPECT_TRUE(first.Load(folder + "/", file)) << "same player, same path: no reload";

    EXPECT_FALSE(second.Load(folder, file));
    EXPECT_EQ(second.LastErrMsg(), folder + "/" + file + " alreay loaded in another instance.");
    EXPECT_FALSE(second.Loaded());

    first.Unload();
    EXPECT_EQ(first.SDL_Init, nullptr);
    EXPECT_TRUE(second.Load(folder, file)) << second.LastErrMsg();
}

TEST(SDLLoaderTest, MissingFileIsReported) {
    TSDLLoader loader;
    EXPECT_FALSE(loader.Load("/nonexistent", "libSDL2-none.so.0"));
    EXPECT_EQ(loader.LastErrMsg().rfind("Load library /nonexistent/libSDL2-none.so.0 error: ", 0), 0u)
        << loader.LastErrMsg();
}

} // namespace
