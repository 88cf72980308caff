#include "PartFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vx {
namespace {

constexpr std::string_view PartMark = ".vantorix-";
constexpr std::string_view PartExtension = ".part";
// Keeps ".NAME.vantorix-PID-N.part" within the usual 255 bytes of a file name.
constexpr size_t MaxNameInPartFile = 200;

std::atomic<uint64_t> PartFileCounter{0};

size_t NameStart(const std::string& APath) {
    const size_t slash = APath.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The owner process of a part file name, or -1 when the name is not one of ours.
pid_t PartFileOwner(const std::string& AName) {
    if (AName.size() < 2 || AName[0] != '.' || AName.size() <= PartExtension.size() ||
        AName.compare(AName.size() - PartExtension.size(), PartExtension.size(), PartExtension) != 0)
        return -1;
    const std::string core = AName.substr(0, AName.size() - PartExtension.size());
    const size_t mark = core.rfind(PartMark);
    if (mark == std::string::npos || mark == 0)
        return -1;
    const std::string numbers = core.substr(mark + PartMark.size()); // "PID-N"
    const size_t dash = numbers.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == numbers.size() || dash > 9)
        return -1;
    for (size_t i = 0; i < numbers.size(); ++i)
        if (i != dash && (numbers[i] < '0' || numbers[i] > '9'))
            return -1;
    return static_cast<pid_t>(std::stol(numbers.substr(0, dash)));
}

struct TDirClose {
    void operator()(DIR* ADir) const { ::closedir(ADir); }
};

int RenameNoReplace(const char* AFrom, const char* ATo) {
    if (::renameat2(AT_FDCWD, AFrom, AT_FDCWD, ATo, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -errno;
    // A file system without the atomic no-replace rename: a hard link is just as exclusive.
    if (::link(AFrom, ATo) != 0)
        return -errno;
    ::unlink(AFrom);
    return 0;
}

} // namespace

uint64_t NextPartFileNumber() {
    return PartFileCounter.fetch_add(1);
}

std::string PartFileName(const std::string& AFinalPath, uint64_t AN) {
    const size_t start = NameStart(AFinalPath);
    const std::string name = AFinalPath.substr(start, MaxNameInPartFile);
    return AFinalPath.substr(0, start) + "." + name + std::string(PartMark) + std::to_string(::getpid()) +
           "-" + std::to_string(AN) + std::string(PartExtension);
}

void RemoveStalePartFiles(const std::string& AFolder) {
    const std::unique_ptr<DIR, TDirClose> dir(::opendir(AFolder.empty() ? "." : AFolder.c_str()));
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const pid_t owner = PartFileOwner(entry->d_name);
        if (owner <= 0 || owner == ::getpid())
            continue;
        if (::kill(owner, 0) == 0 || errno != ESRCH)
            continue; // alive, or someone else's process that we may not signal
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dirFd, entry->d_name, 0);
    }
}

std::string NumberedName(const std::string& AFinalPath, uint64_t AN) {
    const size_t start = NameStart(AFinalPath);
    const size_t dot = AFinalPath.rfind('.');
    const size_t cut = dot != std::string::npos && dot > start ? dot : AFinalPath.size();
    return AFinalPath.substr(0, cut) + "-" + std::to_string(AN) + AFinalPath.substr(cut);
}

int PublishPartFile(const std::string& APartPath, const std::string& AFinalPath, bool AReplace,
                    std::string& APublished) {
    APublished.clear();
    if (AReplace) {
        if (::rename(APartPath.c_str(), AFinalPath.c_str()) != 0)
            return -errno;
        APublished = AFinalPath;
        return 0;
    }
    // A name that is already numbered ("clip-1.mp4", named so because "clip.mp4" was taken when
    // the run began) goes on counting: "clip-2.mp4", not "clip-1-1.mp4".
    std::string base = AFinalPath;
    uint64_t first = 1;
    const size_t start = NameStart(AFinalPath);
    const size_t dot = AFinalPath.rfind('.');
    const size_t cut = dot != std::string::npos && dot > start ? dot : AFinalPath.size();
    const size_t dash = AFinalPath.rfind('-', cut);
    const auto digitsEnd = [&] {
        const size_t end = AFinalPath.find_first_not_of("0123456789", dash + 1);
        return end == std::string::npos ? AFinalPath.size() : end;
    };
    if (dash != std::string::npos && dash > start && dash + 1 < cut && AFinalPath[dash + 1] != '0' &&
        cut - dash - 1 <= 18 && digitsEnd() == cut) {
        first = std::stoull(AFinalPath.substr(dash + 1, cut - dash - 1)) + 1;
        base = AFinalPath.substr(0, dash) + AFinalPath.substr(cut);
    }
    // Ends: every name refused is an entry of one folder, and a folder holds finitely many.
    for (uint64_t n = first - 1;; ++n) {
        const std::string name = n == first - 1 ? AFinalPath : NumberedName(base, n);
        const int result = RenameNoReplace(APartPath.c_str(), name.c_str());
        if (result == 0) {
            APublished = name;
            return 0;
        }
        if (result != -EEXIST)
            return result;
    }
}

TPartFile& TPartFile::operator=(TPartFile&& AOther) noexcept {
    if (this != &AOther) {
        Remove();
        FPath = std::move(AOther.FPath);
        AOther.FPath.clear();
    }
    return *this;
}

void TPartFile::Reset(std::string APath) {
    Remove();
    FPath = std::move(APath);
}

void TPartFile::Remove() {
    if (!FPath.empty())
        ::unlink(FPath.c_str());
    FPath.clear();
}

} // namespace vx
