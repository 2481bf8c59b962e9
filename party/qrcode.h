// The QR code of the phone page's address, drawn into the 640x480 frame for a phone's camera.
#ifndef TRALUNE_QRCODE_H
#define TRALUNE_QRCODE_H

#include "tralune.h"

#include <string>
#include <vector>

// A QR code's modules: size x size, row by row, true for dark.
struct qrcode {
    int size = 0;
    std::vector<bool> dark;
};

// The white margin around a code, in modules, that readers need to find it.
const int QR_QUIET = 4;

// Encodes text (8-bit, error correction level M, the smallest version that holds it) with libqrencode.
// false, with code left empty, when the text does not fit in any version or the library fails.
bool makeqrcode(const std::string& text, qrcode& code);

// The pixels per module at which code with its quiet zone fits in a square of box pixels: a whole
// number, so that every module is the same number of pixels and a camera sees clean edges. 0 when not
// even one pixel a module fits.
int qrscale(const qrcode& code, int box);

// Draws code with its white quiet zone into frame (640x480, row by row) with its top-left corner at
// (x, y), at qrscale(code, box) pixels per module. Pixels that fall outside the frame are skipped.
// Returns the side drawn in pixels, 0 (and nothing drawn) when the code does not fit in box.
int drawqrcode(pixel* frame, const qrcode& code, int x, int y, int box);

#endif
