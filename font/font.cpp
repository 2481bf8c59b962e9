// The bitmap font: loading, reading song text, measuring and drawing.
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
        // Markers after the last slot are ignored.
        if (slot < SLOTS)
            widths[slot] = run;
        if (slot + 1 < SLOTS)
            offsets[slot + 1] = c;
        slot++;
        run = 0;
    }
    // A slot no marker ended has no glyph: width 0, and no offset either (the last marker set one).
    for (int s = slot; s < SLOTS; s++)
        offsets[s] = 0;
    return 0;
}

int font::lookalike(int ch, int& times)
{
    times = 1;
    switch (ch) {
    case 0x2018: // left and right single quotation marks
    case 0x2019:
        return '\'';
    case 0x201C: // left and right double quotation marks
    case 0x201D:
        return '"';
    case 0x2013: // en and em dashes
    case 0x2014:
        return '-';
    case 0x2026: // horizontal ellipsis
        times = 3;
        return '.';
    default:
        return ch;
    }
}

long long font::textwidth(const char* text)
{
    long long total = 0;
    for (const char* p = text; *p;) {
        int times, ch = lookalike(nextchar(p), times);
        int slot = charindex(ch);
        if (ch == ' ')
            total += widths[0];
        else if (slot >= 0)
            total += (long long)widths[slot] * times;
    }
    return total;
}

bool font::hasglyph(int ch)
{
    int times, slot = charindex(lookalike(ch, times));
    return ch == ' ' || (slot >= 0 && widths[slot] > 0);
}

int font::write(const char* text, int x, int y)
{
    long long total = textwidth(text);
    if (total > 639)
        return 1;
    // 64-bit, so an explicit x near the top of the int range cannot overflow as the line advances;
    // glyphs pushed past that range have no column to be drawn at and are skipped.
    long long at = x == -1 ? (640 - total) / 2 : x;
    bool highlight = false;
    for (const char* p = text; *p;) {
        int times, ch = lookalike(nextchar(p), times);
        int slot = charindex(ch);
        if (ch == '%') {
            highlight = !highlight;
        } else if (ch == ' ') {
            at += widths[0];
        } else if (slot >= 0) {
            for (; times > 0; times--) {
                if (at <= INT_MAX)
                    drawchar(slot, int(at), y, highlight);
                at += widths[slot];
            }
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
