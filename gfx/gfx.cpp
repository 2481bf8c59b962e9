// The frame buffer and its drawing operations, in plain memory: no display is needed to draw.
#include "gfx.h"

#include <algorithm>

gfx* gfx::the = nullptr;

gfx* gfx::instance()
{
    // Value-initialised, so the frame starts black.
    if (!the)
        the = new gfx();
    return the;
}

int gfx::clearscreen(int r, int g, int b)
{
    // Computed on unsigned values so that large or negative components wrap instead of overflowing;
    // for components 0..255 this is the plain 0x00RRGGBB.
    pixel c = (pixel(r) << 16) | (pixel(g) << 8) | pixel(b);
    std::fill(pixels, pixels + SCREEN_PIXELS, c);
    return 0;
}

int gfx::setpixel(int x, int y, int r, int g, int b)
{
    pixels[y * SCREEN_W + x] = (pixel(r) << 16) | (pixel(g) << 8) | pixel(b);
    return 0;
}

int gfx::drawMEM(const MEM_Sprite* s, int x, int y)
{
    if (!s->pixels || s->width <= 0 || s->height <= 0)
        return 0;
    long long x0 = std::max<long long>(x, 0);
    long long x1 = std::min<long long>((long long)x + s->width, SCREEN_W);
    long long y0 = std::max<long long>(y, 0);
    long long y1 = std::min<long long>((long long)y + s->height, SCREEN_H);
    if (x0 >= x1 || y0 >= y1)
        return 0;
    for (long long row = y0; row < y1; row++) {
        const pixel* from = s->pixels + (row - y) * (long long)s->width + (x0 - x);
        std::copy(from, from + (x1 - x0), pixels + row * SCREEN_W + x0);
    }
    return 0;
}
