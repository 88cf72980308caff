#include "LibraryCredits.h"

#include "FFApi.h"
#include "FFLoad.h"
#include "SDLLoader.h"

namespace vx {
namespace {

const char* const FFmpegLink = "https://ffmpeg.org/";
const char* const SDLLink = "https://www.libsdl.org/";
// SDL has no call that states its licence; SDL2 is published under the zlib licence.
const char* const SDLLicense = "zlib License";

struct TMediaLibrary {
    TLibrary Lib;
    const char* Name;
    unsigned (**Version)();
    const char* (**License)();
};

// In the order the libraries build on one another, the utility library first.
const TMediaLibrary MediaLibraries[] = {
    {avUtil, "libavutil", &ff::avutil_version, &ff::avutil_license},
    {avCodec, "libavcodec", &ff::avcodec_version, &ff::avcodec_license},
    {avFormat, "libavformat", &ff::avformat_version, &ff::avformat_license},
    {avDevice, "libavdevice", &ff::avdevice_version, &ff::avdevice_license},
    {avFilter, "libavfilter", &ff::avfilter_version, &ff::avfilter_license},
    {swScale, "libswscale", &ff::swscale_version, &ff::swscale_license},
    {swResample, "libswresample", &ff::swresample_version, &ff::swresample_license},
};

std::string VersionText(unsigned AMajor, unsigned AMinor, unsigned AMicro) {
    return std::to_string(AMajor) + '.' + std::to_string(AMinor) + '.' + std::to_string(AMicro);
}

TLibraryCredit MediaCredit(const TMediaLibrary& ALibrary, const std::string& ALibraryPath) {
    TLibraryCredit credit{ALibrary.Name, {}, {}, FFmpegLink, {}};
    TFFLoader& loader = FFLoader();
    if (!loader.Loaded(ALibrary.Lib)) {
        loader.SetLibraryPath(ALibraryPath);
        if (!loader.Load(ALibrary.Lib)) {
            credit.Error = loader.LastErrMsg();
            return credit;
        }
    }
    const unsigned version = (*ALibrary.Version)();
    credit.Version =
        VersionText(AV_VERSION_MAJOR(version), AV_VERSION_MINOR(version), AV_VERSION_MICRO(version));
    credit.License = (*ALibrary.License)();
    return credit;
}

TLibraryCredit SDLCredit(const std::string& ALibraryPath) {
    TLibraryCredit credit{"SDL2", {}, SDLLicense, SDLLink, {}};
    SDL_version version{};
    if (ReadSDLVersion(ALibraryPath, SDLLibraryFile, version, credit.Error))
        credit.Version = VersionText(version.major, version.minor, version.patch);
    return credit;
}

} // namespace

TLibraryCredits ReadLibraryCredits(const std::string& ALibraryPath) {
    TLibraryCredits credits;
    for (const TMediaLibrary& library : MediaLibraries)
        credits.Libraries.push_back(MediaCredit(library, ALibraryPath));
    if (ff::av_version_info)
        credits.MediaRelease = ff::av_version_info();
    credits.Libraries.push_back(SDLCredit(ALibraryPath));
    return credits;
}

} // namespace vx
