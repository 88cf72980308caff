#include "FuzzEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

#include "base/FFLog.h"

namespace vx::fuzz {
namespace {

std::string MakeScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantorix-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a scratch folder under " + pattern);
    if (::chdir(pattern.c_str()) != 0)
        throw std::runtime_error("cannot enter " + pattern);
    return pattern;
}

void RemoveScratchFolder() {
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(ScratchFolder(), ec);
}

} // namespace

const std::string& ScratchFolder() {
    // Never destroyed: the exit handler that removes the folder runs after the destructors
    // of statics made before it was registered.
    static const std::string* folder = [] {
        auto* made = new std::string(MakeScratchFolder());
        std::atexit(RemoveScratchFolder);
        return made;
    }();
    return *folder;
}

std::string ScratchFile(const std::string& AName) {
    return ScratchFolder() + "/" + AName;
}

void RequireLibraries(TLibraries ALibs) {
    if (!FFLoader().Loaded(ALibs) && !FFLoader().Load(ALibs))
        throw std::runtime_error("cannot load the media libraries: " + FFLoader().LastErrMsg());
}

void QuietLogger() {
    TFFLogger& logger = GetLogger();
    logger.SetTriggerEventInMainThread(false);
    logger.SetLogLevel(llWarning);
    if (!logger.OnLog)
        logger.OnLog = [](void*, uint32_t, TLogLevel, const std::string&) {};
}

void WriteBytes(const std::string& APath, const uint8_t* AData, size_t ASize) {
    std::ofstream out(APath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(AData), static_cast<std::streamsize>(ASize));
    if (!out.flush())
        throw std::runtime_error("cannot write " + APath);
}

void EmptyFolder(const std::string& APath) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(APath, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

} // namespace vx::fuzz
