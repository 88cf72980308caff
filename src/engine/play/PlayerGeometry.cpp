#include "play/PlayerGeometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vx {

double DisplayAspect(float AForced, int AAreaW, int AAreaH, double ASampleAspect, int APictW, int APictH) {
    if (AForced < 0 && AAreaW > 0 && AAreaH > 0)
        return double(AAreaW) / AAreaH;
    if (AForced > 0)
        return AForced;
    const double sar = ASampleAspect > 0 ? ASampleAspect : 1.0;
    return APictH > 0 ? sar * APictW / APictH : 1.0;
}

TRect FitPicture(double AAspect, int AXLeft, int AYTop, int AAreaW, int AAreaH) {
    int h = AAreaH;
    int w = int(std::lround(h * AAspect)) & ~1;
    if (w > AAreaW) {
        w = AAreaW;
        h = int(std::lround(w / AAspect)) & ~1;
    }
    const int x = (AAreaW - w) / 2;
    const int y = (AAreaH - h) / 2;
    const int left = AXLeft + x;
    const int top = AYTop + y;
    return {left, top, left + std::max(w, 1), top + std::max(h, 1)};
}

TRect DisplayToPicture(TRect ARect, const TRect& ADisplay, int AFrameW, int AFrameH) {
    if (ADisplay.Width() <= 0 && ADisplay.Height() <= 0)
        return {};
    if (ARect.Left > ARect.Right)
        std::swap(ARect.Left, ARect.Right);
    if (ARect.Top > ARect.Bottom)
        std::swap(ARect.Top, ARect.Bottom);
    ARect.Left = std::clamp(ARect.Left, ADisplay.Left, ADisplay.Right) - ADisplay.Left;
    ARect.Right = std::clamp(ARect.Right, ADisplay.Left, ADisplay.Right) - ADisplay.Left;
    ARect.Top = std::clamp(ARect.Top, ADisplay.Top, ADisplay.Bottom) - ADisplay.Top;
    ARect.Bottom = std::clamp(ARect.Bottom, ADisplay.Top, ADisplay.Bottom) - ADisplay.Top;
    if (ADisplay.Width() > 0) {
        ARect.Left = ARect.Left * AFrameW / ADisplay.Width();
        ARect.Right = ARect.Right * AFrameW / ADisplay.Width();
    }
    if (ADisplay.Height() > 0) {
        ARect.Top = ARect.Top * AFrameH / ADisplay.Height();
        ARect.Bottom = ARect.Bottom * AFrameH / ADisplay.Height();
    }
    return ARect;
}

} // namespace vx
