// Types and constants shared by every unit of the player: pixel values, screen size, decoded images.
#ifndef TRALUNE_H
#define TRALUNE_H

#include <cstdint>
#include <time.h>

// A colour as 0x00RRGGBB. Only a colour fill with a component above 255 sets the top byte.
typedef uint32_t pixel;

// The screen is fixed at 640x480; pixel (x, y) is element y * 640 + x of the frame buffer.
const int SCREEN_W = 640;
const int SCREEN_H = 480;
const int SCREEN_PIXELS = 307200;

// The song player starts this long after the program starts, and "at" lines count song time from that
// same moment.
const long long SONG_DELAY_NS = 1500000000;

// Nanoseconds on the monotonic clock: the clock the song's start and every "at" wait are measured on,
// which no change of the system's date moves.
inline long long monotonicns()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000 + t.tv_nsec;
}

// Sleeps until the monotonic clock reads `until`, at once when it already has. false when a signal
// cut the sleep short.
inline bool sleepuntil(long long until)
{
    if (until < 0)
        return true;
    timespec t;
    t.tv_sec = time_t(until / 1000000000);
    t.tv_nsec = long(until % 1000000000);
    return clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == 0;
}

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
