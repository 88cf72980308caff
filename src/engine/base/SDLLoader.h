// Binds SDL2 for one player. One SDL file serves one player at a time: a second player
// asking for a file that another holds is refused.
#pragma once

#include <string>

#define SDL_MAIN_HANDLED
#include <SDL2/SDL.h>

// The SDL calls the player makes; bound all or nothing.
#define VX_SDL_ENTRY_POINTS(X)                                                                               \
    X(SDL_Init)                                                                                              \
    X(SDL_Quit)                                                                                              \
    X(SDL_GetError)                                                                                          \
    X(SDL_SetHint)                                                                                           \
    X(SDL_CreateWindow)                                                                                      \
    X(SDL_CreateWindowFrom)                                                                                  \
    X(SDL_DestroyWindow)                                                                                     \
    X(SDL_SetWindowSize)                                                                                     \
    X(SDL_CreateRenderer)                                                                                    \
    X(SDL_DestroyRenderer)                                                                                   \
    X(SDL_CreateTexture)                                                                                     \
    X(SDL_DestroyTexture)                                                                                    \
    X(SDL_UpdateYUVTexture)                                                                                  \
    X(SDL_SetRenderDrawColor)                                                                                \
    X(SDL_RenderClear)                                                                                       \
    X(SDL_RenderCopy)                                                                                        \
    X(SDL_RenderPresent)                                                                                     \
    X(SDL_OpenAudioDevice)                                                                                   \
    X(SDL_PauseAudioDevice)                                                                                  \
    X(SDL_CloseAudioDevice)                                                                                  \
    X(SDL_MixAudioFormat)                                                                                    \
    X(SDL_PollEvent)                                                                                         \
    X(SDL_PushEvent)                                                                                         \
    X(SDL_GetCurrentAudioDriver)                                                                             \
    X(SDL_GetCurrentVideoDriver)                                                                             \
    X(SDL_WaitEventTimeout)                                                                                  \
    X(SDL_GetWindowSize)                                                                                     \
    X(SDL_UpdateTexture)                                                                                     \
    X(SDL_GetVersion)

namespace vx {

// The SDL2 file the players load.
inline constexpr const char* SDLLibraryFile = "libSDL2-2.0.so.0";

class TSDLLoader {
public:
    TSDLLoader() = default;
    ~TSDLLoader();
    TSDLLoader(const TSDLLoader&) = delete;
    TSDLLoader& operator=(const TSDLLoader&) = delete;

    // Loads APath/AFile (AFile alone, by the default search, when APath is empty or
    // lacks the file). The same path again on this loader: true without reloading.
    bool Load(const std::string& APath, const std::string& AFile);
    bool Loaded() const { return FHandle && FFixuped; }
    void Unload();
    const std::string& LastErrMsg() const { return FLastErrMsg; }
    const std::string& LibFile() const { return FLibFile; }

#define VX_SDL_FIELD(name) decltype(&::name) name = nullptr;
    VX_SDL_ENTRY_POINTS(VX_SDL_FIELD)
#undef VX_SDL_FIELD

private:
    void UnloadLocked();

    std::string FLibFile;
    void* FHandle = nullptr;
    bool FFixuped = false;
    std::string FLastErrMsg;
};

// The version of the SDL file APath/AFile: read from the player that holds that file, else from a
// copy loaded for this call only and let go again. False, with AError, when it cannot be loaded.
bool ReadSDLVersion(const std::string& APath, const std::string& AFile, SDL_version& AVersion,
                    std::string& AError);

} // namespace vx
