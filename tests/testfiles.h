// Scratch folders and small files for tests.
#ifndef TRALUNE_TESTFILES_H
#define TRALUNE_TESTFILES_H

#include "pcxwrite.h"

#include <string>

// A fresh empty folder under the system's temporary folder, removed by the destructor.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return dir; }
    // The path of name inside the folder.
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
    // Writes text to name inside the folder and returns its path.
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::string dir;
};

std::string readtext(const std::string& path);

// A palette whose entry v is (v, 255 - v, v / 2), so every index has its own colour.
std::vector<uint8_t> rampPalette();

// A small font image in the player's layout: key colour black, glyph ink white. Slot s is (s % 3) + 2
// columns wide and its ink is a full block of rows 1 to height - 1 except the glyph's last column,
// which stays key-coloured. Height 5 (marker row and four glyph rows).
PcxImage testFont();

// A font image in the player's layout with one slot per entry of widths (markers in red, index 2),
// key colour black (index 0) and white ink (index 1) filling each cell's rows 1 to height - 1 except
// its last column.
PcxImage fontImage(const std::vector<int>& widths, int height);

// A font image with all 185 slots, laid out as fontImage with slot s (s % 3) + 2 columns wide and height
// 9, whose glyphs differ: slot s has ink only in the rows r (1 to 8) where bit r - 1 of s + 1 is set.
PcxImage fullFont();

#endif
