// How the 640x480 frame meets a display of any size: the ways a program can ask for the display, and
// the arithmetic that places and scales the frame on it. Plain values, no SDL, so tests and every
// program that opens a display share one truth.
#ifndef TRALUNE_DISPLAYFIT_H
#define TRALUNE_DISPLAYFIT_H

#include <vector>

// What the player asks of the display.
enum class displaymode {
    // The whole display at its own size, no mode switch, the frame scaled to the largest 4:3 rectangle
    // that fits, centred between black bars. The default.
    fullscreen,
    // A window at the largest whole multiple of 640x480 that fits the display (at least 640x480).
    window,
    // A 640x480 full screen, with the display's own mode switched to it where the system can.
    modeswitch,
};

// Reads a display option: "--window" or "--mode-switch". true, with mode set, when argument is one of
// them; false, with mode untouched, for anything else.
bool displayoption(const char* argument, displaymode& mode);

// Where the frame lies on a display, in display pixels.
struct framefit {
    int x = 0, y = 0;          // top-left corner
    int w = 640, h = 480;      // size
};

// The largest rectangle of 4:3 shape (to the pixel, rounded down) that fits a display of w x h,
// centred, the spare pixels split with the odd one on the right or bottom. A display smaller than
// 640x480 either way, or of unknown (non-positive) size, gets the frame at its own size at (0, 0).
framefit fitframe(int w, int h);
// The largest whole multiple k of 640x480 with 640k <= w and 480k <= h; 1 when not even 640x480 fits.
int windowfactor(int w, int h);
// Nearest-neighbour block edges for scaling `from` source pixels onto `to` >= from display pixels:
// from + 1 values, edges[0] = 0 and edges[from] = to, source pixel i covering display pixels
// edges[i] to edges[i + 1] - 1. Blocks differ in size by at most one pixel, and the larger ones are
// spread evenly: any run of n neighbouring blocks covers n * to / from pixels, give or take one.
// Empty when from <= 0 or to < from.
std::vector<int> blockedges(int from, int to);

#endif
