// The process the fuzz harness runs in: a scratch folder that is also the working
// directory (options that name relative files write there, never into the tree), the
// media libraries, and a logger that stays quiet and synchronous.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/FFLoad.h"

namespace vx::fuzz {

// Made on first use, removed with everything in it when the process exits normally.
const std::string& ScratchFolder();
std::string ScratchFile(const std::string& AName);

// Loads the libraries once; throws std::runtime_error with the loader's reason.
void RequireLibraries(TLibraries ALibs);

// Puts the logger back to what the harness runs with; an input may have changed its
// level (the "loglevel" option, a codec's debug flags). Messages are formatted and
// delivered to a handler that drops them.
void QuietLogger();

void WriteBytes(const std::string& APath, const uint8_t* AData, size_t ASize);
// Removes what is inside APath, keeping APath itself.
void EmptyFolder(const std::string& APath);

} // namespace vx::fuzz
