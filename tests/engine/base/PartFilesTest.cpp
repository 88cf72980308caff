// Part files: the hidden file a conversion writes, published under the output's name at the end.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/PartFiles.h"

using namespace vx;

namespace {

std::string Read(const std::string& APath) {
    std::ifstream in(APath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& APath) {
    struct stat st {};
    return ::lstat(APath.c_str(), &st) == 0;
}

// A process id that belonged to a process that has ended and been reaped.
pid_t DeadProcessID() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(PartFilesTest, NamesAreHiddenBesideTheOutputAndNumberBeforeTheExtension) {
    const std::string pid = std::to_string(::getpid());
    EXPECT_EQ(PartFileName("/out/clip.mp4", 3), "/out/.clip.mp4.vantorix-" + pid + "-3.part");
    EXPECT_EQ(PartFileName("clip.mp4", 0), ".clip.mp4.vantorix-" + pid + "-0.part");
    // A name near the file system's limit still gives a part file name within it.
    EXPECT_LE(PartFileName("/out/" + std::string(250, 'x'), 7).size() - 5, 255u);

    struct TCase {
        const char* Final;
        const char* Numbered;
    };
    for (const TCase& c :
         {TCase{"/out/clip.mp4", "/out/clip-2.mp4"}, TCase{"/out/a.b/clip", "/out/a.b/clip-2"},
          TCase{"/out/.hidden", "/out/.hidden-2"}, TCase{"/out/my.holiday.avi", "/out/my.holiday-2.avi"}})
        EXPECT_EQ(NumberedName(c.Final, 2), c.Numbered) << c.Final;
}

TEST(PartFilesTest, PublishingKeepsOrReplacesAnExistingFile) {
    fixtures::TTempDir dir;
    const std::string final = dir.File("clip.mp4");
    fixtures::WriteTextFile(final, "older");
    fixtures::WriteTextFile(dir.File("clip-1.mp4"), "older too");

    std::string published;
    const std::string first = PartFileName(final, NextPartFileNumber());
    fixtures::WriteTextFile(first, "first");
    ASSERT_EQ(PublishPartFile(first, final, false, published), 0);
    EXPECT_EQ(published, dir.File("clip-2.mp4")) << "the first free numbered name";
    EXPECT_EQ(Read(final), "older");
    EXPECT_EQ(Read(published), "first");
    EXPECT_FALSE(Exists(first));

    // A name that was numbered when the run began counts on.
    const std::string numbered = PartFileName(final, NextPartFileNumber());
    fixtures::WriteTextFile(numbered, "numbered");
    ASSERT_EQ(PublishPartFile(numbered, dir.File("clip-1.mp4"), false, published), 0);
    EXPECT_EQ(published, dir.File("clip-3.mp4"));

    const std::string second = PartFileName(final, NextPartFileNumber());
    fixtures::WriteTextFile(second, "second");
    ASSERT_EQ(PublishPartFile(second, final, true, published), 0);
    EXPECT_EQ(published, final);
    EXPECT_EQ(Read(final), "second");
    EXPECT_FALSE(Exists(second));

    // A folder that cannot be written keeps the part file and says why.
    EXPECT_EQ(PublishPartFile(dir.File("missing.part"), final, false, published), -ENOENT);
    EXPECT_EQ(published, "");
}

TEST(PartFilesTest, OnlyPartFilesOfEndedProcessesAreRemoved) {
    fixtures::TTempDir dir;
    const std::string dead = std::to_string(DeadProcessID());
    const std::string stale = dir.File(".clip.mp4.vantorix-" + dead + "-0.part");
    const std::string ours = PartFileName(dir.File("clip.mp4"), 99);
    const std::string parent = dir.File(".clip.mp4.vantorix-" + std::to_string(::getppid()) + "-0.part");
    const std::string lookalikes[] = {
        dir.File("clip.mp4.vantorix-" + dead + "-0.part"), dir.File(".clip.mp4.vantorix-" + dead + "-x.part"),
        dir.File(".clip.mp4.vantorix-" + dead + "-0.parts"), dir.File("clip.mp4")};
    for (const std::string& file : {stale, ours, parent})
        fixtures::WriteTextFile(file, "data");
    for (const std::string& file : lookalikes)
        fixtures::WriteTextFile(file, "data");

    RemoveStalePartFiles(dir.Path());
    EXPECT_FALSE(Exists(stale));
    EXPECT_TRUE(Exists(ours)) << "this process is running";
    EXPECT_TRUE(Exists(parent)) << "the parent process is running";
    for (const std::string& file : lookalikes)
        EXPECT_TRUE(Exists(file)) << file;
}

TEST(PartFilesTest, AnUnpublishedPartFileIsRemovedByItsOwner) {
    fixtures::TTempDir dir;
    const std::string path = dir.File(".x.part");
    {
        TPartFile part;
        fixtures::WriteTextFile(path, "data");
        part.Reset(path);
        TPartFile moved = std::move(part);
        EXPECT_TRUE(part.Empty());
        EXPECT_TRUE(Exists(path));
    }
    EXPECT_FALSE(Exists(path));
    {
        TPartFile part;
        fixtures::WriteTextFile(path, "data");
        part.Reset(path);
        part.Release();
    }
    EXPECT_TRUE(Exists(path)) << "released: published under another name";
}

} // namespace
