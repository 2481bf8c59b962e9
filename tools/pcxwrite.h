// Writes 8-bit run-length PCX files; used by the font maker and the tests, never by the player.
#ifndef TRALUNE_PCXWRITE_H
#define TRALUNE_PCXWRITE_H

#include <cstdint>
#include <string>
#include <vector>

struct PcxImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indexes;   // width * height palette indexes, row order
    std::vector<uint8_t> palette;   // 768 bytes: red, green, blue of entries 0..255
};

// The bytes of a standard PCX file for img: version 5, 8 bits, one plane, rows coded separately and
// padded to an even BytesPerLine with index 0, the 0x0C marker and the palette at the end.
std::vector<uint8_t> encodepcx(const PcxImage& img);

// A bare PCX header of 128 bytes with the given window and BytesPerLine, for building files by hand.
std::vector<uint8_t> pcxheader(int xmin, int ymin, int xmax, int ymax, int bytesperline);

// Writes bytes to path; false when the file cannot be written.
bool writefile(const std::string& path, const std::vector<uint8_t>& bytes);

#endif
