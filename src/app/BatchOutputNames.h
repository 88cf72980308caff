// The output names of one batch run, decided for every row before the first row starts: two
// rows never get one name, and no output is ever one of the batch's sources, so that no row
// converts (or overwrites) what another row wrote or reads.
#pragma once

#include <QString>
#include <set>
#include <string>
#include <utility>

#include <sys/types.h>

namespace vx {

class TBatchOutputNames {
public:
    void Clear();
    // A file the batch reads; an output may not be it.
    void AddSource(const QString& APath);
    // A name given to a row's output.
    void Reserve(const QString& APath);

    // APath is a source: the same file (device and inode), or the same absolute path.
    bool IsSource(const QString& APath) const;
    bool IsReserved(const QString& APath) const;
    bool IsUsed(const QString& APath) const { return IsSource(APath) || IsReserved(APath); }

private:
    using TFileId = std::pair<dev_t, ino_t>;
    std::set<std::string> FSourcePaths;
    std::set<TFileId> FSourceFiles;
    std::set<std::string> FReservedPaths;
    std::set<TFileId> FReservedFiles;
};

} // namespace vx
