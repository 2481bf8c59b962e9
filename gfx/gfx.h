// The 640x480 frame buffer that all drawing goes into, its drawing operations, and the PCX picture decoder.
#ifndef TRALUNE_GFX_H
#define TRALUNE_GFX_H

#include "displayfit.h"
#include "tralune.h"

class gfx {
public:
    // The one frame buffer, created black on the first call and never deleted.
    static gfx* instance();

    // The display operations (init to waituntil) are defined in display.cpp, which only the player
    // links: a program that never shows the frame draws without the video layer.
    // Opens the display for the 640x480 frame as mode asks: by default the whole display with the
    // frame scaled to fill it (see displaymode). 0 when it is up; 1 when it could not be opened, and
    // then displayerror() says why.
    int init(displaymode mode = displaymode::fullscreen);
    // SDL's reason for the last failure to open the display.
    const char* displayerror();
    // Shows the frame on the screen and takes one pending input event; Escape held or a quit
    // request ends the process with status 0 from in here. Always 0: a failed refresh is skipped.
    int update();
    // Shows the frame on the screen as update does, then takes every pending input event as waituntil
    // does: Escape pressed or a quit request ends the process with status 0. For refreshes made
    // within a wait on the song's clock (a playing CD+G stream). Always 0.
    int show();
    // Closes the display. Always 0.
    int close();
    // Waits until the monotonic clock (monotonicns) reads `until`, watching the input meanwhile: Escape
    // pressed or a quit request ends the process with status 0 within about 10 ms. Returns at once when
    // the moment has passed. Always 0.
    int waituntil(long long until);

    // Fills every pixel with (r << 16) | (g << 8) | b, unmasked and unclamped, so a component above
    // 255 spills into the next one or into the top byte. Always 0.
    int clearscreen(int r, int g, int b);
    // Writes pixel index y * 640 + x. Only the index is tested, so a column past 639 lands on a
    // following row; 1 (and nothing written) when the index falls outside the frame, else 0.
    // Defined here so that the font's pixel-by-pixel drawing makes no call per pixel.
    int putpixel(int x, int y, pixel c) { return putindex((long long)y * SCREEN_W + x, c); }
    // The same for an index already computed, on 64-bit values so that no place near the ends of the
    // int range overflows on its way here.
    int putindex(long long i, pixel c)
    {
        if (i < 0 || i >= SCREEN_PIXELS)
            return 1;
        pixels[i] = c;
        return 0;
    }
    // Writes (r << 16) | (g << 8) | b at (x, y) with no check at all: x must be 0..639, y 0..479.
    int setpixel(int x, int y, int r, int g, int b);
    // Copies the sprite with its top-left corner at (x, y), opaque. Only the part that lies inside
    // the frame is copied, whatever the sprite's size or place. Always 0.
    int drawMEM(const MEM_Sprite* s, int x, int y);
    // Decodes a PCX file into s: 8-bit with a palette, 24-bit, 16-colour, monochrome; pcx.cpp lists the
    // kinds read.
    // 0 on success (s then owns a new pixel block); 1 when the file cannot be decoded, with s untouched.
    // Touches no frame buffer: safe from any thread.
    static int loadPCX(MEM_Sprite* s, const char* path);
    // Draws the PCX file at path centred across the frame, its left edge at (640 - width) / 2 (rounded
    // toward zero) and its top row at y: what loadPCX and then drawMEM there would show, decoded straight
    // into the frame, with no picture made and the rows below the frame not decoded at all.
    // 0 when drawn; 1 when the file cannot be decoded, with the frame untouched.
    int drawPCX(const char* path, int y);

    pixel pixels[SCREEN_PIXELS];

private:
    static gfx* the;
};

#endif
