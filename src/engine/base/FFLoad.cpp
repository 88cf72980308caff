#include "FFLoad.h"

#include <cassert>
#include <cfenv>
#include <filesystem>
#include <stdexcept>

#include <dlfcn.h>

#include "FFApi.h"
#include "FFLog.h"

namespace vx {
namespace {

using TFixupProc = void (*)(const std::string& ALibName, void* AHandle);
using TUnfixProc = void (*)();

#define VX_BIND_FUNCTION(name)                                                                               \
    ff::name = reinterpret_cast<decltype(ff::name)>(ResolveFunction(ALibName, AHandle, #name, false));
#define VX_BIND_VARIABLE(name)                                                                               \
    ff::name = reinterpret_cast<decltype(ff::name)>(ResolveVariable(ALibName, AHandle, #name, false));
#define VX_CLEAR(name) ff::name = nullptr;

// The register-all calls that remain in this library generation come after binding.
#define VX_FIXUP(Lib, LIST, REGISTER)                                                                        \
    void Fixup##Lib([[maybe_unused]] const std::string& ALibName, [[maybe_unused]] void* AHandle) {          \
        LIST(VX_BIND_FUNCTION) REGISTER                                                                      \
    }                                                                                                        \
    void Unfix##Lib() {                                                                                      \
        LIST(VX_CLEAR)                                                                                       \
    }

VX_FIXUP(AVCodec, VX_AVCODEC_ENTRY_POINTS, )
VX_FIXUP(AVDevice, VX_AVDEVICE_ENTRY_POINTS, ff::avdevice_register_all();)
VX_FIXUP(AVFilter, VX_AVFILTER_ENTRY_POINTS, )
VX_FIXUP(AVFormat, VX_AVFORMAT_ENTRY_POINTS, )
VX_FIXUP(SWScale, VX_SWSCALE_ENTRY_POINTS, )
VX_FIXUP(SWResample, VX_SWRESAMPLE_ENTRY_POINTS, )
VX_FIXUP(MyUtil, VX_MYUTIL_ENTRY_POINTS, )

void FixupAVUtil(const std::string& ALibName, void* AHandle) {
    VX_AVUTIL_ENTRY_POINTS(VX_BIND_FUNCTION)
    VX_AVUTIL_VARIABLES(VX_BIND_VARIABLE)
}
void UnfixAVUtil() {
    VX_AVUTIL_ENTRY_POINTS(VX_CLEAR)
    VX_AVUTIL_VARIABLES(VX_CLEAR)
}

struct TLibraryItem {
    TLibrary Lib;
    const char* Name;
    bool SysLib; // never taken from the library folder
    int Version; // negative: the file name carries no version
    TFixupProc Fixup;
    TUnfixProc Unfix;
};

const TLibraryItem LibraryTable[LibraryCount] = {
    {avCodec, "avcodec", false, LIBAVCODEC_VERSION_MAJOR, FixupAVCodec, UnfixAVCodec},
    {avDevice, "avdevice", false, LIBAVDEVICE_VERSION_MAJOR, FixupAVDevice, UnfixAVDevice},
    {avFilter, "avfilter", false, LIBAVFILTER_VERSION_MAJOR, FixupAVFilter, UnfixAVFilter},
    {avFormat, "avformat", false, LIBAVFORMAT_VERSION_MAJOR, FixupAVFormat, UnfixAVFormat},
    {avUtil, "avutil", false, LIBAVUTIL_VERSION_MAJOR, FixupAVUtil, UnfixAVUtil},
    {swScale, "swscale", false, LIBSWSCALE_VERSION_MAJOR, FixupSWScale, UnfixSWScale},
    {swResample, "swresample", false, LIBSWRESAMPLE_VERSION_MAJOR, FixupSWResample, UnfixSWResample},
    {myUtil, "c", true, 6, FixupMyUtil, UnfixMyUtil},
};

struct TLibraryStatus {
    void* Handle = nullptr;
    bool Fixuped = false;
};

// Process-wide loader state; main thread only.
struct TLoaderState {
    TLibraryStatus Status[LibraryCount];
    std::string LastErrMsg;
    std::string LibraryPath;
};

TLoaderState& LoaderState() {
    static TLoaderState state;
    return state;
}

// Unloading frees our handle but never unmaps a library: the libraries keep pointers
// into one another (libavdevice registers its devices inside libavformat), and a thread
// may still be leaving a library call. Unmapping one of them while another stays
// resident would leave those pointers dangling.
constexpr int KeepMapped = RTLD_NODELETE;

std::string WithTrailingDelimiter(const std::string& APath) {
    if (APath.empty() || APath.back() == '/')
        return APath;
    return APath + "/";
}

std::string DlError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

void RunStartHook(TLibrary ALib, bool AInstallLogger) {
    // The codec library needs no lock manager and the format library takes its
    // interrupt callback per context; only the logger hooks in process-wide.
    if (ALib == avUtil && AInstallLogger)
        GetLogger().InstallAVLogCallback();
}

// Floating-point exceptions stay masked for the whole process: codecs compute with
// NaNs and infinities on purpose. The previous mask comes back at the end.
struct TFloatingPointMask {
    int Saved;
    TFloatingPointMask() : Saved(fegetexcept()) { fedisableexcept(FE_ALL_EXCEPT); }
    ~TFloatingPointMask() {
        if (Saved)
            feenableexcept(Saved);
    }
};

// Tears the libraries down when the program ends.
struct TLoaderShutdown {
    TLoaderShutdown() { LoaderState(); } // constructed first, so still alive in the destructor
    ~TLoaderShutdown() {
        TFFLoader loader;
        loader.Unload(TLibraries::All());
        LoaderState().LastErrMsg.clear();
        LoaderState().LibraryPath.clear();
    }
};

const TFloatingPointMask g_fpMask;
const TLoaderShutdown g_shutdown;

} // namespace

std::string LibraryFileName(TLibrary ALib) {
    const TLibraryItem& item = LibraryTable[ALib];
    std::string name = "lib";
    name += item.Name;
    name += ".so";
    if (item.Version >= 0) {
        name += '.';
        name += std::to_string(item.Version);
    }
    return name;
}

void* LoadLibraryFromPath(const std::string& APath, const std::string& AFile, std::string& AError) {
    std::error_code ec;
    const bool inFolder = !APath.empty() && std::filesystem::is_regular_file(APath + AFile, ec);
    const std::string target = inFolder ? APath + AFile : AFile;
    dlerror();
    void* handle = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL | KeepMapped);
    if (!handle)
        AError = DlError();
    return handle;
}

void* ResolveFunction(const std::string& ALibName, void* AHandle, const char* AName, bool AOptional) {
    dlerror();
    void* address = dlsym(AHandle, AName);
    if (!address && !AOptional)
        throw std::runtime_error("Load function " + std::string(AName) + "@" + ALibName +
                                 " error: " + DlError());
    return address;
}

void* ResolveVariable(const std::string& ALibName, void* AHandle, const char* AName, bool AOptional) {
    dlerror();
    void* address = dlsym(AHandle, AName);
    if (!address && !AOptional)
        throw std::runtime_error("Load variable " + std::string(AName) + "@" + ALibName +
                                 " error: " + DlError());
    return address;
}

void* OpenLibrary(TLibrary ALib, const std::string& APath, std::string& AError) {
    const TLibraryItem& item = LibraryTable[ALib];
    const std::string folder = item.SysLib ? std::string() : WithTrailingDelimiter(APath);
    const std::string fileName = LibraryFileName(ALib);
    std::string error;
    void* handle = LoadLibraryFromPath(folder, fileName, error);
    if (!handle)
        AError = "Load library " + folder + fileName + " error: " + error;
    return handle;
}

bool TFFLoader::Load(TLibrary ALib) {
    TLoaderState& state = LoaderState();
    TLibraryStatus& status = state.Status[ALib];
    const TLibraryItem& item = LibraryTable[ALib];
    const std::string fileName = LibraryFileName(ALib);
    if (!status.Handle) {
        std::string error;
        void* handle = OpenLibrary(ALib, state.LibraryPath, error);
        if (!handle) {
            state.LastErrMsg = error;
            return false;
        }
        status.Handle = handle;
    }
    if (!status.Fixuped) {
        try {
            item.Fixup(fileName, status.Handle);
            status.Fixuped = true;
        } catch (const std::exception& e) {
            state.LastErrMsg = e.what();
        }
    }
    if (!status.Fixuped) {
        Unload(ALib);
        return false;
    }
    RunStartHook(ALib, FInstallLogger);
    return true;
}

bool TFFLoader::Load(TLibraries ALibs) {
    assert(!ALibs.Empty());
    for (int lib = 0; lib < LibraryCount; ++lib) {
        if (ALibs.Contains(TLibrary(lib)) && !Load(TLibrary(lib))) {
            Unload(ALibs);
            return false;
        }
    }
    return true;
}

bool TFFLoader::Loaded(TLibrary ALib) const {
    const TLibraryStatus& status = LoaderState().Status[ALib];
    return status.Handle && status.Fixuped;
}

bool TFFLoader::Loaded(TLibraries ALibs) const {
    assert(!ALibs.Empty());
    for (int lib = 0; lib < LibraryCount; ++lib)
        if (ALibs.Contains(TLibrary(lib)) && !Loaded(TLibrary(lib)))
            return false;
    return true;
}

void TFFLoader::Unload(TLibrary ALib) {
    TLibraryStatus& status = LoaderState().Status[ALib];
    if (status.Fixuped && ALib == avUtil && ff::av_log_set_callback)
        ff::av_log_set_callback(nullptr); // the library must not call into a gone logger
    // Cleared even when binding stopped half-way, so no entry point of a failed library
    // stays usable.
    LibraryTable[ALib].Unfix();
    status.Fixuped = false;
    if (status.Handle) {
        dlclose(status.Handle);
        status.Handle = nullptr;
    }
}

void TFFLoader::Unload(TLibraries ALibs) {
    assert(!ALibs.Empty());
    for (int lib = 0; lib < LibraryCount; ++lib)
        if (ALibs.Contains(TLibrary(lib)))
            Unload(TLibrary(lib));
}

std::string TFFLoader::LastErrMsg() const {
    return LoaderState().LastErrMsg;
}
std::string TFFLoader::LibraryPath() const {
    return LoaderState().LibraryPath;
}
void TFFLoader::SetLibraryPath(const std::string& APath) {
    LoaderState().LibraryPath = APath;
}

TFFLoader& FFLoader() {
    static TFFLoader loader;
    return loader;
}

} // namespace vx
