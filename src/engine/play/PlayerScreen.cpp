#include "play/PlayerScreen.h"

namespace vx {

TPlayerScreen::~TPlayerScreen() {
    for (SDL_Texture* texture : FTextures)
        if (texture)
            FSDL.SDL_DestroyTexture(texture);
    if (FPixels)
        FSDL.SDL_DestroyTexture(FPixels);
    if (FRenderer)
        FSDL.SDL_DestroyRenderer(FRenderer);
    // A window made from the caller's window leaves that window alone when destroyed.
    if (FWindow)
        FSDL.SDL_DestroyWindow(FWindow);
}

bool TPlayerScreen::Fail(const std::string& AWhat) {
    FLastErrMsg = AWhat + ": " + FSDL.SDL_GetError();
    return false;
}

bool TPlayerScreen::Open(int AWidth, int AHeight, bool AFullScreen) {
    if (FRenderer)
        return true;
    if (!FWindow) {
        if (FHandle)
            FWindow = FSDL.SDL_CreateWindowFrom(reinterpret_cast<const void*>(FHandle));
        else
            FWindow = FSDL.SDL_CreateWindow(
                "ZADorovu", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, AWidth, AHeight,
                AFullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_RESIZABLE);
        if (!FWindow)
            return Fail("SDL_CreateWindow");
    }
    // A window made from another toolkit's window has no OpenGL context; the software
    // renderer draws into any window. (SDL first makes an OpenGL context for the window's
    // surface, which holds the first picture back by up to a second; telling it not to, through
    // SDL_HINT_FRAMEBUFFER_ACCELERATION, was followed by a rare hang before the first picture
    // and is left out until that is understood.)
    FRenderer = FSDL.SDL_CreateRenderer(FWindow, -1, FHandle ? SDL_RENDERER_SOFTWARE : 0);
    if (!FRenderer)
        FRenderer = FSDL.SDL_CreateRenderer(FWindow, -1, SDL_RENDERER_SOFTWARE);
    if (!FRenderer)
        return Fail("SDL_CreateRenderer");
    UpdateSize();
    return true;
}

void TPlayerScreen::UpdateSize() {
    if (FWindow)
        FSDL.SDL_GetWindowSize(FWindow, &FWidth, &FHeight);
}

void TPlayerScreen::Resize(int AWidth, int AHeight) {
    if (!FWindow || AWidth <= 0 || AHeight <= 0)
        return;
    FSDL.SDL_SetWindowSize(FWindow, AWidth, AHeight);
    UpdateSize();
}

bool TPlayerScreen::MakePictureTexture(int AIndex, int AWidth, int AHeight) {
    if (!FRenderer)
        return false;
    if (FTextures[AIndex] && FTextureW[AIndex] == AWidth && FTextureH[AIndex] == AHeight)
        return true;
    if (FTextures[AIndex])
        FSDL.SDL_DestroyTexture(FTextures[AIndex]);
    FTextures[AIndex] =
        FSDL.SDL_CreateTexture(FRenderer, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING, AWidth, AHeight);
    FTextureW[AIndex] = FTextures[AIndex] ? AWidth : 0;
    FTextureH[AIndex] = FTextures[AIndex] ? AHeight : 0;
    return FTextures[AIndex] ? true : Fail("SDL_CreateTexture");
}

bool TPlayerScreen::Upload(int AIndex, const AVFrame* AFrame) {
    if (!FTextures[AIndex])
        return false;
    return FSDL.SDL_UpdateYUVTexture(FTextures[AIndex], nullptr, AFrame->data[0], AFrame->linesize[0],
                                     AFrame->data[1], AFrame->linesize[1], AFrame->data[2],
                                     AFrame->linesize[2]) == 0;
}

void TPlayerScreen::Present(int AIndex, const TRect* ARect) {
    if (!FRenderer)
        return;
    FSDL.SDL_SetRenderDrawColor(FRenderer, 0, 0, 0, 255);
    FSDL.SDL_RenderClear(FRenderer);
    if (ARect && AIndex >= 0 && FTextures[AIndex]) {
        const SDL_Rect dst{ARect->Left, ARect->Top, ARect->Width(), ARect->Height()};
        FSDL.SDL_RenderCopy(FRenderer, FTextures[AIndex], nullptr, &dst);
    }
    FSDL.SDL_RenderPresent(FRenderer);
}

void TPlayerScreen::PresentPixels(const uint8_t* APixels, int AWidth, int AHeight, int APitch) {
    if (!FRenderer)
        return;
    if (!FPixels || FPixelsW != AWidth || FPixelsH != AHeight) {
        if (FPixels)
            FSDL.SDL_DestroyTexture(FPixels);
        FPixels = FSDL.SDL_CreateTexture(FRenderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING,
                                         AWidth, AHeight);
        FPixelsW = AWidth;
        FPixelsH = AHeight;
        if (!FPixels)
            return;
    }
    FSDL.SDL_UpdateTexture(FPixels, nullptr, APixels, APitch);
    FSDL.SDL_RenderCopy(FRenderer, FPixels, nullptr, nullptr);
    FSDL.SDL_RenderPresent(FRenderer);
}

} // namespace vx
