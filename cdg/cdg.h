// The CD+G decoder: the graphics stream of a karaoke disc (or an MP3+G .cdg file) applied packet by
// packet to a 300x216 screen of 16-colour indexes, with its colour table, border and scroll offsets.
// Plain memory, no SDL: the "cdg" command and the tralune-cdg companion both draw from it.
//
// It reads the graphics instructions of the TV-graphics mode (first byte & 0x3F == 9): Memory Preset,
// Border Preset, Tile Block and Tile Block XOR, Scroll Preset and Scroll Copy, Define Transparent Colour
// (accepted, no effect) and the two Load Colour Table halves. Every other packet is skipped. Every byte
// is read with its top two bits cleared, since rips keep the subcode's other channels in them.
#ifndef TRALUNE_CDG_H
#define TRALUNE_CDG_H

#include "tralune.h"

#include <vector>

const int CDG_WIDTH = 300, CDG_HEIGHT = 216; // the CD+G screen
const int CDG_PACKET = 24, CDG_RATE = 300;   // bytes a packet, packets a second of song

// The part of the screen players show from memory; the rest of the 300x216 picture is the border.
const int CDG_LEFT = 6, CDG_TOP = 12, CDG_RIGHT = 294, CDG_BOTTOM = 204;
// Where the "cdg" command puts the picture, drawn at twice its size, on the 640x480 frame.
const int CDG_SCREEN_X = 20, CDG_SCREEN_Y = 24;
// A stream longer than this many bytes (10 hours of song) is refused rather than read into memory.
const long long CDG_MAX_BYTES = 10LL * 3600 * CDG_RATE * CDG_PACKET;

class cdgscreen {
public:
    // Applies one packet of CDG_PACKET bytes. true when what is shown (shown() or a colour) may have
    // changed; false for a packet that changes nothing (another mode, an unknown or ignored
    // instruction, a tile outside the screen). Any 24 bytes are safe: nothing is read or written
    // outside the packet and the screen.
    // Quirks kept on purpose: a Memory Preset whose repeat count is not 0 is ignored (discs repeat the
    // preset in case one is lost; applying it again would wipe tiles drawn since); a horizontal fine
    // offset of 6 or 7 is taken as 5 and a vertical one above 11 as 11, the largest the screen has.
    bool apply(const unsigned char* packet);
    // The colour index (0-15) of pixel (x, y) of the 300x216 picture as players show it: inside
    // (6,12)-(294,204) the memory at (x + hoffset, y + voffset), outside it the border colour.
    int shown(int x, int y) const;
    // Draws the whole 640x480 frame (element y * 640 + x) as the "cdg" command shows it: the picture
    // at twice its size, nearest neighbour, top-left at (CDG_SCREEN_X, CDG_SCREEN_Y), and every other
    // pixel in the border colour.
    void draw(pixel* frame) const;

    pixel colours[16] = {};                            // 0x00RRGGBB, each 4-bit component x 17
    unsigned char memory[CDG_HEIGHT][CDG_WIDTH] = {}; // colour indexes
    int border = 0, hoffset = 0, voffset = 0;

private:
    void tile(const unsigned char* d, bool exclusive);
    void scroll(const unsigned char* d, bool copy);
};

// Reads a whole CD+G stream file into packets, a whole number of packets (a trailing partial packet is
// dropped), through bounded reads. 0 on success; 1 when path cannot be opened or is not a regular file
// (a folder, a FIFO, a device: refused without waiting on them); 2 when the file is longer than
// CDG_MAX_BYTES or a read fails. packets is untouched on failure.
int loadcdg(const char* path, std::vector<unsigned char>& packets);

#endif
