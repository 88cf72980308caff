// Output files that no reader sees half-written: a conversion writes into a hidden part file
// beside its output, created exclusively, and gives it the output's name only when it ends.
//
// A part file is named ".NAME.vantorix-PID-N.part" (NAME the output's file name, PID the
// writing process, N a number of that process), so that a run can tell the part files of
// processes that died (killed, or the machine went down) from those of runs still going.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace vx {

// The part file for the output AFinalPath (a local path), numbered AN within this process.
std::string PartFileName(const std::string& AFinalPath, uint64_t AN);
// A process-wide number for the next part file.
uint64_t NextPartFileNumber();

// Removes the part files in AFolder whose owner process no longer exists. Failures are
// ignored: another run may be removing the same files.
void RemoveStalePartFiles(const std::string& AFolder);

// AFinalPath with "-N" before its extension ("a/clip.mp4", 2 -> "a/clip-2.mp4"). A name that
// only begins with a dot (".profile") has no extension.
std::string NumberedName(const std::string& AFinalPath, uint64_t AN);

// Gives the part file its final name. With AReplace an existing file of that name is
// replaced; without, the first of AFinalPath, NAME-1.EXT, NAME-2.EXT, ... that is free
// is taken, atomically, so that two processes never take one name (a numbered NAME-K.EXT
// goes on with NAME-(K+1).EXT). APublished receives the name taken. Returns 0, or a
// negative errno; the part file stays on failure.
int PublishPartFile(const std::string& APartPath, const std::string& AFinalPath, bool AReplace,
                    std::string& APublished);

// Owns a part file: deletes it on destruction unless it was released (published).
class TPartFile {
public:
    TPartFile() = default;
    ~TPartFile() { Remove(); }
    TPartFile(TPartFile&& AOther) noexcept : FPath(std::move(AOther.FPath)) { AOther.FPath.clear(); }
    TPartFile& operator=(TPartFile&& AOther) noexcept;
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Takes ownership of the file at APath (deleting the one owned before).
    void Reset(std::string APath);
    void Release() { FPath.clear(); }
    void Remove();
    const std::string& Path() const { return FPath; }
    bool Empty() const { return FPath.empty(); }

private:
    std::string FPath;
};

} // namespace vx
