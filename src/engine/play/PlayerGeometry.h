// Where a picture goes in the video area, and the way back from window to picture pixels.
#pragma once

#include "play/PlayerTypes.h"

namespace vx {

// The display aspect of a picture: AForced < 0 stretches over the area (AAreaW / AAreaH),
// > 0 is used as it is; 0 takes the sample aspect ratio (unknown or <= 0: square pixels)
// times APictW / APictH.
double DisplayAspect(float AForced, int AAreaW, int AAreaH, double ASampleAspect, int APictW, int APictH);

// The largest even-sized rectangle of aspect AAspect centred in an AAreaW x AAreaH area
// whose top-left corner is (AXLeft, AYTop); never smaller than 1 x 1.
TRect FitPicture(double AAspect, int AXLeft, int AYTop, int AAreaW, int AAreaH);

// ARect (window pixels, in any corner order) clipped to ADisplay, where an AFrameW x
// AFrameH picture was drawn, in that picture's pixels. An empty display gives an empty rectangle.
TRect DisplayToPicture(TRect ARect, const TRect& ADisplay, int AFrameW, int AFrameH);

} // namespace vx
