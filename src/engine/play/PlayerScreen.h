// The video output of a playback: an SDL window made from the caller's native window (or
// a window of its own), its renderer, one IYUV texture per picture queue entry and one
// RGBA texture for the audio displays. Lives on the play thread and is used only there.
#pragma once

#include <cstdint>
#include <string>

#include "base/FFApi.h"
#include "base/SDLLoader.h"
#include "play/PlayerTypes.h"

namespace vx {

class TPlayerScreen {
public:
    static constexpr int DefaultWidth = 640;
    static constexpr int DefaultHeight = 480;
    static constexpr int Textures = 2;

    TPlayerScreen(const TSDLLoader& ASDL, uintptr_t AHandle) : FSDL(ASDL), FHandle(AHandle) {}
    ~TPlayerScreen();
    TPlayerScreen(const TPlayerScreen&) = delete;
    TPlayerScreen& operator=(const TPlayerScreen&) = delete;

    bool Opened() const { return FRenderer != nullptr; }
    // Makes the window and renderer when there are none. A window of its own gets
    // AWidth x AHeight, or covers the desktop with AFullScreen; a target window keeps its
    // size (its owner decides how large it is). False with LastErrMsg.
    bool Open(int AWidth, int AHeight, bool AFullScreen = false);
    // A window of its own takes the new size; a target window is told its new size.
    void Resize(int AWidth, int AHeight);
    // The size of the drawing area.
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Re-reads the size of the window (after it was resized from outside).
    void UpdateSize();

    // A texture for pictures of AWidth x AHeight in slot AIndex. False with LastErrMsg.
    bool MakePictureTexture(int AIndex, int AWidth, int AHeight);
    // Uploads a YUV 4:2:0 picture into slot AIndex.
    bool Upload(int AIndex, const AVFrame* AFrame);
    // Clears the area black and draws slot AIndex into ARect (none: only black).
    void Present(int AIndex, const TRect* ARect);
    // Draws an RGBA pixel buffer over the whole area.
    void PresentPixels(const uint8_t* APixels, int AWidth, int AHeight, int APitch);
    const std::string& LastErrMsg() const { return FLastErrMsg; }

private:
    bool Fail(const std::string& AWhat);

    const TSDLLoader& FSDL;
    const uintptr_t FHandle;
    SDL_Window* FWindow = nullptr;
    SDL_Renderer* FRenderer = nullptr;
    SDL_Texture* FTextures[Textures] = {nullptr, nullptr};
    int FTextureW[Textures] = {0, 0};
    int FTextureH[Textures] = {0, 0};
    SDL_Texture* FPixels = nullptr;
    int FPixelsW = 0;
    int FPixelsH = 0;
    int FWidth = 0;
    int FHeight = 0;
    std::string FLastErrMsg;
};

} // namespace vx
