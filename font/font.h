// The proportional bitmap font: 64 glyphs cut from one PCX image with a marker row, measured, centred
// and drawn into the frame buffer, with words between "%" marks in the highlight colour.
#ifndef TRALUNE_FONT_H
#define TRALUNE_FONT_H

#include "tralune.h"

// Font image layout: row 0 is the marker row, rows 1 to height - 1 hold the glyphs side by side in slot
// order (A-Z, a-z, 0-9, "!", "?"). Pixel (0, 0) gives the key colour, which is the cells' background and
// is transparent. In row 0 every pixel of another colour is a marker that ends the current slot; a
// slot's width is the number of key-colour pixels since the previous marker. Slot 0 starts at column 0,
// every later slot at the column of the marker that ended the slot before it.
class font {
public:
    // The one font, created empty (no glyphs) on the first call and never deleted.
    static font* instance();

    // Loads the font image and builds the glyph tables. 0 on success. 1 when the image cannot be
    // decoded: the font is then empty (height 0, every width 0) and draws nothing. Slots that the
    // marker row leaves undefined have width 0.
    int loadfont(const char* path);
    // Draws text with the top-left corner of its glyph cells at (x, y); the cells' row 0 is never drawn.
    // x == -1 centres the line across the screen. A space is as wide as slot 0; "%" toggles the
    // highlight; characters without a glyph are skipped. 1, with nothing drawn, when the text is 640 or
    // more columns wide; else 0. Pixels whose index falls outside the frame are skipped.
    int write(const char* text, int x, int y);
    // The slot of a character, -1 when it has none.
    int charindex(int ch);
    // Draws one glyph's ink at (x, y), in HLCOL when highlighted. Always 0.
    int drawchar(int slot, int x, int y, bool highlight);

    int32_t height = 0;
    pixel keycolour = 0;
    MEM_Sprite image = {0, 0, nullptr};
    int32_t widths[64] = {};
    int32_t offsets[64] = {};

private:
    static font* the;
};

#endif
