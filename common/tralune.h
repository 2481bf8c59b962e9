// Types and constants shared by every unit of the player: pixel values, screen size, decoded images.
#ifndef TRALUNE_H
#define TRALUNE_H

#include <cstdint>

// A colour as 0x00RRGGBB. Only a colour fill with a component above 255 sets the top byte.
typedef uint32_t pixel;

// The screen is fixed at 640x480; pixel (x, y) is element y * 640 + x of the frame buffer.
const int SCREEN_W = 640;
const int SCREEN_H = 480;
const int SCREEN_PIXELS = 307200;

// Glyph pixels of highlighted words are drawn in this colour.
const pixel HLCOL = 0x00FFFB14;

// A decoded image: width x height pixel values in row order, top row first.
// Whoever passed the sprite to the decoder owns the pixels and releases them with delete[].
struct MEM_Sprite {
    int32_t width;
    int32_t height;
    pixel* pixels;
};

#endif
