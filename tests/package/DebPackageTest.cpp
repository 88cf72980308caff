// The Debian package built from this build tree: its dependencies name the runtime packages of the
// libraries that the programs open at run time, and unpacked into an empty root its programs run
// on a generated file. Needs neither root rights nor the network.
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFApi.h"

using namespace vx;

namespace {

struct TRun {
    int ExitCode = -1;
    std::string Out; // stdout and stderr
};

std::ostream& operator<<(std::ostream& AStream, const TRun& ARun) {
    return AStream << "exit " << ARun.ExitCode << "\n" << ARun.Out;
}

std::string Quoted(const std::string& AText) {
    std::string quoted = "'";
    for (char c : AText)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

TRun RunShell(const std::string& ACommand) {
    TRun run;
    FILE* pipe = popen((ACommand + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 4096> buffer;
    while (size_t read = fread(buffer.data(), 1, buffer.size(), pipe))
        run.Out.append(buffer.data(), read);
    const int status = pclose(pipe);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Trimmed(const std::string& AText) {
    const size_t first = AText.find_first_not_of(" \n");
    const size_t last = AText.find_last_not_of(" \n");
    return first == std::string::npos ? std::string() : AText.substr(first, last - first + 1);
}

std::vector<std::string> Split(const std::string& AText, char ASeparator) {
    std::vector<std::string> parts;
    std::istringstream stream(AText);
    for (std::string part; std::getline(stream, part, ASeparator);)
        parts.push_back(Trimmed(part));
    return parts;
}

// "libfoo1 (>= 2)" -> "libfoo1"
std::string PackageName(const std::string& ARelation) {
    return ARelation.substr(0, ARelation.find_first_of(" ("));
}

// The names of the installed packages and of what they provide.
std::set<std::string> InstalledNames() {
    const TRun query = RunShell("dpkg-query -W -f '${db:Status-Abbrev}|${Package}|${Provides}\\n'");
    std::set<std::string> names;
    for (const std::string& line : Split(query.Out, '\n')) {
        const std::vector<std::string> fields = Split(line, '|');
        if (fields.size() < 2 || fields[0] != "ii")
            continue;
        names.insert(fields[1]);
        if (fields.size() > 2)
            for (const std::string& provided : Split(fields[2], ','))
                names.insert(PackageName(provided));
    }
    return names;
}

class DebPackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Scratch = new fixtures::TTempDir;
        // The package of what this build tree installs, as a packager builds it, except that
        // dpkg-shlibdeps, which would take most of the time here, is left out: the dependencies
        // checked below are the ones named by hand.
        const TRun build =
            RunShell("cd " + Quoted(Scratch->Path()) + " && " + Quoted(CPACK_COMMAND) + " -G DEB --config " +
                     Quoted(CPACK_CONFIG) + " -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF -B " +
                     Quoted(Scratch->File("out")));
        ASSERT_EQ(build.ExitCode, 0) << build;
        for (const auto& entry : std::filesystem::directory_iterator(Scratch->File("out")))
            if (entry.path().extension() == ".deb")
                Package = entry.path().string();
        ASSERT_FALSE(Package.empty()) << build;
    }
    static void TearDownTestSuite() {
        delete Scratch;
        Scratch = nullptr;
    }
    void SetUp() override { ASSERT_FALSE(Package.empty()) << "the package was not built"; }

    static std::string Field(const std::string& AName) {
        return Trimmed(RunShell("dpkg-deb -f " + Quoted(Package) + " " + AName).Out);
    }

    static fixtures::TTempDir* Scratch;
    static std::string Package;
};

fixtures::TTempDir* DebPackageTest::Scratch = nullptr;
std::string DebPackageTest::Package;

TEST_F(DebPackageTest, DependsOnTheRuntimePackagesOfEveryLibraryItOpens) {
    EXPECT_EQ(Field("Package"), "vantorix");
    EXPECT_EQ(Field("Version"), "4.1");
    EXPECT_EQ(Field("Architecture"), Trimmed(RunShell("dpkg --print-architecture").Out));

    const std::string depends = Field("Depends");
    std::set<std::string> named;
    for (const std::string& group : Split(depends, ','))
        for (const std::string& alternative : Split(group, '|'))
            named.insert(PackageName(alternative));
    // Opened with dlopen, by the major versions of the headers the programs were built with; and
    // Qt, whose platform plugins are loaded at run time too.
    const std::string expected[] = {
        "libavcodec" + std::to_string(LIBAVCODEC_VERSION_MAJOR),
        "libavdevice" + std::to_string(LIBAVDEVICE_VERSION_MAJOR),
        "libavfilter" + std::to_string(LIBAVFILTER_VERSION_MAJOR),
        "libavformat" + std::to_string(LIBAVFORMAT_VERSION_MAJOR),
        "libavutil" + std::to_string(LIBAVUTIL_VERSION_MAJOR),
        "libswscale" + std::to_string(LIBSWSCALE_VERSION_MAJOR),
        "libswresample" + std::to_string(LIBSWRESAMPLE_VERSION_MAJOR),
        "libsdl2-2.0-0",
        "libqt6core6",
        "libqt6gui6",
        "libqt6widgets6",
        "libqt6dbus6",
        "qt6-qpa-plugins",
    };
    for (const std::string& package : expected)
        EXPECT_TRUE(named.count(package)) << package << " missing from: " << depends;

    // Every dependency is one this machine, where the programs run, satisfies: no misspelt or
    // made-up package name.
    const std::set<std::string> installed = InstalledNames();
    for (const std::string& group : Split(depends, ',')) {
        bool satisfied = false;
        for (const std::string& alternative : Split(group, '|'))
            satisfied = satisfied || installed.count(PackageName(alternative));
        EXPECT_TRUE(satisfied) << "nothing installed satisfies \"" << group << "\"";
    }
}

TEST_F(DebPackageTest, UnpackedIntoAnEmptyRootItsProgramsRun) {
    const std::string root = Scratch->File("root");
    const TRun unpack = RunShell("dpkg -x " + Quoted(Package) + " " + Quoted(root));
    ASSERT_EQ(unpack.ExitCode, 0) << unpack;
    for (const char* file :
         {"usr/bin/vantorix", "usr/bin/vantorix-cli", "usr/share/vantorix/help/index.html",
          "usr/share/applications/vantorix.desktop", "usr/share/icons/hicolor/scalable/apps/vantorix.svg",
          "usr/share/metainfo/org.vantorix.Vantorix.metainfo.xml", "usr/share/man/man1/vantorix-cli.1",
          "usr/share/bash-completion/completions/vantorix-cli"})
        EXPECT_TRUE(std::filesystem::is_regular_file(root + "/" + file)) << file;

    const std::string clip = Scratch->File("clip.avi");
    fixtures::WriteMedia(clip, fixtures::AviMpeg4Mp3());
    const std::string cli = "env HOME=" + Quoted(Scratch->Path()) + " LD_LIBRARY_PATH=" +
                            Quoted(root + "/usr/lib/x86_64-linux-gnu:" + root + "/usr/lib") + " " +
                            Quoted(root + "/usr/bin/vantorix-cli");

    const TRun formats = RunShell(cli + " formats");
    EXPECT_EQ(formats.ExitCode, 0) << formats;
    EXPECT_NE(formats.Out.find("MP4 - MPEG4 Video (*.mp4)\n"), std::string::npos) << formats;

    const TRun probe = RunShell(cli + " probe --json " + Quoted(clip));
    EXPECT_EQ(probe.ExitCode, 0) << probe;
    for (const char* fact : {"\"ok\":true", "\"kind\":\"video\"", "\"kind\":\"audio\"", "\"Width\":320"})
        EXPECT_NE(probe.Out.find(fact), std::string::npos) << fact << "\n" << probe;

    const TRun version = RunShell(cli + " --version");
    EXPECT_EQ(version.ExitCode, 0) << version;
    EXPECT_EQ(version.Out.find("not loaded"), std::string::npos) << version;
}

} // namespace
