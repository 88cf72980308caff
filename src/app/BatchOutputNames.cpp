#include "BatchOutputNames.h"

#include "LocalFileNames.h"

#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <system_error>

namespace vx {

namespace {

// The path with "." and ".." resolved against the current folder; links are not followed, the
// file need not exist.
std::string NormalPath(const QString& APath) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(LocalBytes(APath), error);
    return (error ? std::filesystem::path(LocalBytes(APath)) : absolute).lexically_normal().string();
}

std::optional<std::pair<dev_t, ino_t>> FileIdOf(const QString& APath) {
    struct stat st {};
    if (::stat(LocalBytes(APath).c_str(), &st) != 0)
        return std::nullopt;
    return std::pair(st.st_dev, st.st_ino);
}

} // namespace

void TBatchOutputNames::Clear() {
    FSourcePaths.clear();
    FSourceFiles.clear();
    FReservedPaths.clear();
    FReservedFiles.clear();
}

void TBatchOutputNames::AddSource(const QString& APath) {
    FSourcePaths.insert(NormalPath(APath));
    if (const auto id = FileIdOf(APath))
        FSourceFiles.insert(*id);
}

void TBatchOutputNames::Reserve(const QString& APath) {
    FReservedPaths.insert(NormalPath(APath));
    if (const auto id = FileIdOf(APath))
        FReservedFiles.insert(*id);
}

bool TBatchOutputNames::IsSource(const QString& APath) const {
    if (const auto id = FileIdOf(APath); id && FSourceFiles.contains(*id))
        return true;
    return FSourcePaths.contains(NormalPath(APath));
}

bool TBatchOutputNames::IsReserved(const QString& APath) const {
    if (const auto id = FileIdOf(APath); id && FReservedFiles.contains(*id))
        return true;
    return FReservedPaths.contains(NormalPath(APath));
}

} // namespace vx
