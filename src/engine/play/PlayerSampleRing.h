// The last played samples of a playback, for the audio displays: a ring of s16 samples
// (interleaved channels) that the audio output writes on SDL's audio thread and the
// audio display copies on the play thread. Its own mutex guards it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace vx {

class TSampleRing {
public:
    static constexpr int Size = 131072; // samples

    TSampleRing() : FSamples(Size, 0) {}
    // Appends ACount samples, wrapping at Size.
    void Write(const int16_t* ASamples, int ACount);
    // Copies the whole ring into AOut (Size samples) and returns the write index.
    int CopyTo(int16_t* AOut) const;
    void Clear();

private:
    mutable std::mutex FMutex;
    std::vector<int16_t> FSamples; // FMutex
    int FIndex = 0;                // FMutex: where the next sample goes
};

} // namespace vx
