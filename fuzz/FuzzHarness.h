// What the fuzz targets do with one input, apart from libFuzzer, so that the regression
// test replays the same steps with GoogleTest. Each function takes arbitrary bytes and
// returns an empty text when the program behaved, or what it did wrong (a failure without
// a reason, a broken invariant). Crashes and sanitizer reports speak for themselves.
//
// The functions set up what they need on first use (the media libraries, a scratch folder
// that the process works in) and are meant for one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vx::fuzz {

// Writes the bytes to a file with a non-ASCII name, probes it through a "unicode:" URL
// with the decoder component, as adding a file does, describes every stream and reads
// its packets.
std::string ProbeBytes(const uint8_t* AData, size_t ASize);

// Option text for a transcoding task: the bytes up to the first zero byte are the input's
// option text, the rest the output's. The task is built on a small generated clip and run
// on a worker while this thread delivers the events; a run that goes on for more than a
// second is stopped, as a user would stop it, and must then end.
std::string RunOptionText(const uint8_t* AData, size_t ASize);

// The bytes are the per-user settings file; the settings are loaded as at start-up, the
// restored format is applied, and they are saved and loaded again.
std::string LoadSettingsBytes(const uint8_t* AData, size_t ASize);

} // namespace vx::fuzz
