// The bitmap font.
#include "font.h"
#include "gfx.h"

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
    if (gfx::instance()->loadPCX(&loaded, path) != 0)
        return 1;
    // A font is loaded once per run; a second load replaces the first.
    delete[] image.pixels;
    *this = font();
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
        if (*p == ' ')
            total += widths[0];
        else if (charindex((unsigned char)*p) >= 0)
            total += widths[charindex((unsigned char)*p)];
    }
    if (total > 639)
        return 1;
    if (x == -1)
        x = int((640 - total) / 2);
    bool highlight = false;
    for (const char* p = text; *p; p++) {
        int slot = charindex((unsigned char)*p);
        if (*p == '%') {
            highlight = !highlight;
        } else if (slot >= 0) {
            drawchar(slot, x, y, highlight);
            x += widths[slot];
        } else if (*p == ' ') {
            x += widths[0];
        }
    }
    return 0;
}

int font::drawchar(int slot, int x, int y, bool highlight)
{
    gfx* g = gfx::instance();
    for (int r = 1; r < height; r++) {
        const pixel* row = image.pixels + (long long)r * image.width + offsets[slot];
        for (int c = 0; c < widths[slot]; c++) {
            pixel p = row[c];
            if (p != keycolour)
                g->putpixel(x + c, y + r, highlight ? HLCOL : p);
        }
    }
    return 0;
}
