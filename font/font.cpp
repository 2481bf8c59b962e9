// The bitmap font.
#include "font.h"
#include "gfx.h"

#include <climits>

font* font::the = nullptr;

font* font::instance()
{
    if (!the)
        the = new font();
    return the;
}

int font::loadfont(const char* path)
{
    MEM_Sprite loaded;
    int refused = gfx::instance()->loadPCX(&loaded, path);
    // A font is loaded once per run; a second load replaces the first, and one that fails leaves the
    // font empty rather than half the old one.
    delete[] image.pixels;
    *this = font();
    if (refused)
        return 1;
    image = loaded;
    height = image.height;
    keycolour = image.pixels[0];
    int slot = 0, run = 0;
    for (int c = 0; c < image.width; c++) {
        if (image.pixels[c] == keycolour) {
            run++;
            continue;
        }
        // Markers after the 64th are ignored.
        if (slot < 64)
            widths[slot] = run;
        if (slot + 1 < 64)
            offsets[slot + 1] = c;
        slot++;
        run = 0;
    }
    // A slot no marker ended has no glyph: width 0, and no offset either (the last marker set one).
    for (int s = slot; s < 64; s++)
        offsets[s] = 0;
    return 0;
}

int font::charindex(int ch)
{
    if (ch >= 'A' && ch <= 'Z')
        return ch - 'A';
    if (ch >= 'a' && ch <= 'z')
        return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9')
        return ch - '0' + 52;
    if (ch == '!')
        return 62;
    if (ch == '?')
        return 63;
    return -1;
}

int font::write(const char* text, int x, int y)
{
    long long total = 0;
    for (const char* p = text; *p; p++) {
        int slot = *p == ' ' ? 0 : charindex((unsigned char)*p);
        if (slot >= 0)
            total += widths[slot];
    }
    if (total > 639)
        return 1;
    // 64-bit, so an explicit x near the top of the int range cannot overflow as the line advances;
    // glyphs pushed past that range have no column to be drawn at and are skipped.
    long long at = x == -1 ? (640 - total) / 2 : x;
    bool highlight = false;
    for (const char* p = text; *p; p++) {
        int slot = charindex((unsigned char)*p);
        if (*p == '%') {
            highlight = !highlight;
        } else if (slot >= 0) {
            if (at <= INT_MAX)
                drawchar(slot, int(at), y, highlight);
            at += widths[slot];
        } else if (*p == ' ') {
            at += widths[0];
        }
    }
    return 0;
}

int font::drawchar(int slot, int x, int y, bool highlight)
{
    gfx* g = gfx::instance();
    for (int r = 1; r < height; r++) {
        const pixel* row = image.pixels + (long long)r * image.width + offsets[slot];
        // putpixel's index, (y + r) * 640 + x + c, taken on 64-bit values: with x or y near the ends
        // of the int range the sums would overflow, and such pixels lie outside the frame.
        long long base = ((long long)y + r) * SCREEN_W + x;
        for (int c = 0; c < widths[slot]; c++) {
            pixel p = row[c];
            if (p != keycolour)
                g->putindex(base + c, highlight ? HLCOL : p);
        }
    }
    return 0;
}
