#include "play/PlayerSubtitles.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vx {

void ConvertPaletteToYUV(AVSubtitleRect* ARect) {
    if (ARect->type != SUBTITLE_BITMAP || !ARect->data[1])
        return;
    auto* palette = reinterpret_cast<uint32_t*>(ARect->data[1]);
    for (int i = 0; i < ARect->nb_colors; ++i) {
        const uint32_t c = palette[i];
        const int a = (c >> 24) & 0xff, r = (c >> 16) & 0xff, g = (c >> 8) & 0xff, b = c & 0xff;
        const int y = ((263 * r + 517 * g + 101 * b + 16896) >> 10) & 0xff;
        const int u = (((450 * b - 152 * r - 298 * g + 511) >> 10) + 128) & 0xff;
        const int v = (((450 * r - 377 * g - 74 * b + 511) >> 10) + 128) & 0xff;
        palette[i] = uint32_t(a) << 24 | uint32_t(y) << 16 | uint32_t(u) << 8 | uint32_t(v);
    }
}

void BlendSubtitle(AVFrame* APicture, const AVSubtitleRect* ARect) {
    if (ARect->type != SUBTITLE_BITMAP || !ARect->data[0] || !ARect->data[1])
        return;
    const int w = APicture->width, h = APicture->height;
    const int x0 = std::clamp(ARect->x, 0, w), y0 = std::clamp(ARect->y, 0, h);
    const int x1 = std::clamp(ARect->x + ARect->w, x0, w), y1 = std::clamp(ARect->y + ARect->h, y0, h);
    const auto* palette = reinterpret_cast<const uint32_t*>(ARect->data[1]);
    auto colour = [&](int x, int y) {
        return palette[ARect->data[0][(y - ARect->y) * ARect->linesize[0] + (x - ARect->x)]];
    };
    for (int y = y0; y < y1; ++y) {
        uint8_t* luma = APicture->data[0] + y * APicture->linesize[0];
        for (int x = x0; x < x1; ++x) {
            const uint32_t c = colour(x, y);
            const int a = c >> 24, yy = (c >> 16) & 0xff;
            luma[x] = uint8_t((luma[x] * (255 - a) + yy * a) / 255);
        }
    }
    // Each chroma sample covers 2 x 2 pixels: blend with the average of those covered.
    for (int cy = y0 / 2; cy * 2 < y1; ++cy) {
        for (int cx = x0 / 2; cx * 2 < x1; ++cx) {
            int n = 0, sumA = 0, sumU = 0, sumV = 0;
            for (int y = std::max(cy * 2, y0); y < std::min(cy * 2 + 2, y1); ++y)
                for (int x = std::max(cx * 2, x0); x < std::min(cx * 2 + 2, x1); ++x) {
                    const uint32_t c = colour(x, y);
                    sumA += c >> 24;
                    sumU += (c >> 8) & 0xff;
                    sumV += c & 0xff;
                    ++n;
                }
            if (!n)
                continue;
            const int a = sumA / n;
            uint8_t* u = APicture->data[1] + cy * APicture->linesize[1] + cx;
            uint8_t* v = APicture->data[2] + cy * APicture->linesize[2] + cx;
            *u = uint8_t((*u * n * (255 - a) + sumU * a) / (n * 255));
            *v = uint8_t((*v * n * (255 - a) + sumV * a) / (n * 255));
        }
    }
}

} // namespace vx
