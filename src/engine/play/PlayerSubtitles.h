// Bitmap subtitles over the shown pictures: palettes turned from RGB into YUV once when
// decoded, and each rectangle blended into a YUV 4:2:0 picture.
#pragma once

#include "base/FFApi.h"

namespace vx {

// Each palette colour 0xAARRGGBB of ARect becomes 0xAAYYUUVV in place.
void ConvertPaletteToYUV(AVSubtitleRect* ARect);

// Blends ARect (palette already in YUV) into the YUV 4:2:0 picture APicture, clipped to it.
void BlendSubtitle(AVFrame* APicture, const AVSubtitleRect* ARect);

} // namespace vx
