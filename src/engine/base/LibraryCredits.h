// Names, versions and licences of the libraries that the engine runs on, as they are loaded:
// what the about box and "vantorix-cli --version" show.
#pragma once

#include <string>
#include <vector>

namespace vx {

struct TLibraryCredit {
    std::string Name;    // "libavcodec", "SDL2"
    std::string Version; // "59.37.100"; empty when the library could not be loaded
    std::string License; // in the library's own words where it states them
    std::string Link;    // where the library, its source and its licence are published
    std::string Error;   // why it could not be loaded
};

struct TLibraryCredits {
    std::string MediaRelease;              // the FFmpeg release of the loaded utility library, e.g. "5.1.6"
    std::vector<TLibraryCredit> Libraries; // the seven FFmpeg libraries, then SDL2
};

// Each FFmpeg library that the process-wide loader has not loaded yet is loaded from
// ALibraryPath on its own (it stays loaded, for the components that need it), so that a missing
// one does not keep the others from being named. SDL2 is read from the player that holds
// ALibraryPath's SDL file, or else loaded for this call only.
TLibraryCredits ReadLibraryCredits(const std::string& ALibraryPath);

} // namespace vx
