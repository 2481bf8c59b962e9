// The player's font image drawn from a TrueType or OpenType font through FreeType: the work of
// tralune-mkfont, shared with the lyric importers, which make a font for a song folder that has none.
//
// The image has the layout the player's font reads: row 0 is the marker row, whose pixel (0, 0) is the
// key colour; each later non-key pixel of row 0 is a marker that ends a glyph slot, and the slot's width
// is the count of key pixels since the previous marker. Slot 0's cell starts at column 0; the cell of
// slot i >= 1 starts at the column of the marker that ended slot i - 1, so one column before each later
// marker is left unused. Rows 1 to height - 1 hold the glyphs, each at its bearing on a common baseline.
// The slots follow the player's slot table (font::slotchar): all 185 of them, or the first 64.
#ifndef TRALUNE_FONTMAKER_H
#define TRALUNE_FONTMAKER_H

#include "font.h"

#include <cstdint>
#include <string>
#include <vector>

// How the glyphs are drawn.
struct fontstyle {
    int size = 28;              // the em in pixels, 4 to 256
    uint32_t colour = 0xFFFFFF; // the ink, 0xRRGGBB
    int slots = font::SLOTS;    // font::SLOTS, or font::BASIC_SLOTS for letters, digits, "!" and "?"
};

// A font image made.
struct madefont {
    std::vector<uint8_t> pcx;   // the image as a PCX file
    int drawn = 0;              // slots that hold a glyph
    long long width = 0, height = 0;
    uint32_t key = 0;           // the key colour, 0xRRGGBB
    std::string missing;        // the characters of the slots the font has no glyph for, in UTF-8
};

// Draws the slots of style from the font file at fontfile into *made. "" on success; else a one-line
// reason that names the file in quotes (it cannot be read, FreeType cannot read or draw it, it has
// none of the first 64 characters, or the image would be larger than the player reads), and *made is
// left as it was. Only a regular file is read, since a pipe or a device could block for ever.
std::string makefont(const std::string& fontfile, const fontstyle& style, madefont* made);

// Writes bytes to path through a temporary file beside it, renamed into place, with the mode a plain
// create would give; a failed write leaves neither a partial file nor a damaged older one. "" on
// success, else "cannot write \"PATH\": " and the system's reason.
std::string savefile(const std::string& path, const std::vector<uint8_t>& bytes);

#endif
