// Run-time binding of the media libraries. Nothing links them: the loader opens each
// shared object, binds every entry point that the engine calls (all or nothing per
// library) and runs the library's start hook.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace vx {

// Also the load order.
enum TLibrary : int { avCodec, avDevice, avFilter, avFormat, avUtil, swScale, swResample, myUtil };
inline constexpr int LibraryCount = myUtil + 1;

class TLibraries {
public:
    constexpr TLibraries() = default;
    constexpr TLibraries(std::initializer_list<TLibrary> ALibs) {
        for (TLibrary lib : ALibs)
            FBits |= 1u << lib;
    }
    constexpr bool Contains(TLibrary ALib) const { return FBits & (1u << ALib); }
    constexpr bool Empty() const { return FBits == 0; }
    static constexpr TLibraries All() {
        return {avCodec, avDevice, avFilter, avFormat, avUtil, swScale, swResample, myUtil};
    }

private:
    uint32_t FBits = 0;
};

// The sets that the components load and test.
inline constexpr TLibraries EncoderLibraries = TLibraries::All();
inline constexpr TLibraries PlayerLibraries = TLibraries::All();
inline constexpr TLibraries DecoderLibraries = {avCodec, avFormat, avUtil, swScale, swResample, myUtil};

// "lib" + name + ".so." + the major version of the headers we were built with.
std::string LibraryFileName(TLibrary ALib);

// Loads AFile from APath when APath is set and holds the file, else by its bare name
// through the default search. Returns the handle, or nullptr with AError set.
void* LoadLibraryFromPath(const std::string& APath, const std::string& AFile, std::string& AError);
// Opens the shared object of ALib as TFFLoader::Load does with the library path APath, without
// binding it. Returns the handle, or nullptr with AError set to Load's message
// ("Load library <folder><file> error: <reason>"). Safe on any thread.
void* OpenLibrary(TLibrary ALib, const std::string& APath, std::string& AError);
// Throw std::runtime_error("Load function %s@%s error: %s") / ("Load variable ...")
// when the export is missing and AOptional is false.
void* ResolveFunction(const std::string& ALibName, void* AHandle, const char* AName, bool AOptional);
void* ResolveVariable(const std::string& ALibName, void* AHandle, const char* AName, bool AOptional);

// The loader state is process-wide: every TFFLoader sees the same libraries, the same
// LastErrMsg and LibraryPath. Used from the main thread.
class TFFLoader {
public:
    bool Load(TLibrary ALib);
    bool Load(TLibraries ALibs);
    bool Loaded(TLibrary ALib) const;
    bool Loaded(TLibraries ALibs) const;
    void Unload(TLibrary ALib);
    void Unload(TLibraries ALibs);

    std::string LastErrMsg() const;
    std::string LibraryPath() const;
    void SetLibraryPath(const std::string& APath);
    bool InstallLogger() const { return FInstallLogger; }
    void SetInstallLogger(bool AValue) { FInstallLogger = AValue; }

private:
    bool FInstallLogger = true;
};

// The process-wide loader.
TFFLoader& FFLoader();

} // namespace vx
