// Frame-hook libraries ("vhook"): a test library that negates the luma changes what is
// encoded, is loaded once however many jobs use it, is configured and released once per
// use, and the ways a hook can fail to be added.
#include <dlfcn.h>

#include "PathsTestSupport.h"
#include "encode/FFmpegException.h"

namespace vx::test {
namespace {

// A counter the test library exports (it stays loaded once the engine loaded it).
int HookCounter(const char* AName) {
    void* module = dlopen(INVERT_LUMA_HOOK, RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return -1;
    auto counter = reinterpret_cast<int (*)()>(dlsym(module, AName));
    const int value = counter ? counter() : -1;
    dlclose(module);
    return value;
}

using FrameHookLibraryTest = TPathsTest;

TEST_F(FrameHookLibraryTest, TwoJobsShareOneLoadedLibraryEachWithItsOwnConfiguration) {
    const int configuresBefore = std::max(HookCounter("HookConfigures"), 0);
    const int releasesBefore = std::max(HookCounter("HookReleases"), 0);
    for (int run = 0; run < 2; ++run) {
        const std::string path = Dir.File("hooked" + std::to_string(run) + ".mkv");
        {
            TPathJob job;
            job.SetExtOption("vhook", std::string(INVERT_LUMA_HOOK) + "|run" + std::to_string(run));
            job.TakeRunFlags();
            EXPECT_EQ(HookCounter("HookConfigures"), configuresBefore + run + 1);
            job.CreateOutput(path, "matroska");
            TAVInputStream& ist = job.AddInput();
            ist.dec_ctx->width = 64;
            ist.dec_ctx->height = 48;
            ist.dec_ctx->pix_fmt = AV_PIX_FMT_YUV420P;
            TAVOutputStream& ost = job.AddVideoOutput(ist, "ffv1", 64, 48, {25, 1});
            job.Start();
            for (int k = 0; k < 3; ++k) {
                TFramePtr picture =
                    MakePicture(64, 48, [](int x, int) { return uint8_t(x < 32 ? 100 : 20); });
                TFramePtr decoded(ff::av_frame_clone(picture.get())); // what the decoder keeps
                ist.pts = k * 40000;
                job.pre_process_video_frame(ist, picture.get());
                job.process_video_frame(job.Output(), ost, ist, picture.get());
                EXPECT_EQ(decoded->data[0][0], 100) << "the hook changed the decoder's picture";
            }
            job.Finish();
            EXPECT_EQ(HookCounter("HookReleases"), releasesBefore + run);
        } // the job's files are cleaned up
        EXPECT_EQ(HookCounter("HookReleases"), releasesBefore + run + 1);
        const TReadBack back = ReadBack(path, AVMEDIA_TYPE_VIDEO);
        ASSERT_EQ(back.Frames, 3);
        for (const TFramePtr& picture : back.Pictures) {
            EXPECT_EQ(picture->data[0][5 * picture->linesize[0] + 10], 155);
            EXPECT_EQ(picture->data[0][5 * picture->linesize[0] + 50], 235);
        }
    }
    EXPECT_EQ(HookCounter("HookLoads"), 1);
}

TEST_F(FrameHookLibraryTest, AHookThatCannotBeAddedFailsTheOptionWithTheReason) {
    struct TCase {
        std::string Value;
        std::string Logged;
    };
    const std::string missing = Dir.File("missing.so");
    const TCase cases[] = {
        {missing, "missing.so: cannot open shared object file"},
        {"libm.so.6", "Failed to find Process entrypoint in libm.so.6"},
        {std::string(INVERT_LUMA_HOOK) + "|fail", std::string("Failed to Configure ") + INVERT_LUMA_HOOK},
    };
    for (const TCase& c : cases) {
        TLogCapture log(llError);
        TPathJob job;
        try {
            job.SetExtOption("vhook", c.Value);
            ADD_FAILURE() << c.Value << " was added";
        } catch (const FFmpegException& e) {
            EXPECT_EQ(std::string(e.what()), "Failed to add video hook function: " + c.Value);
        }
        EXPECT_EQ(log.Count(c.Logged), 1) << c.Logged;
    }
}

} // namespace
} // namespace vx::test
