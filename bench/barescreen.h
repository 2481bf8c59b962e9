// The bare programs' display: what a plain SDL 1.2 program does to show the 640x480 frame on the whole
// display, the reference the player's own video layer is measured against.
#ifndef TRALUNE_BENCH_BARESCREEN_H
#define TRALUNE_BENCH_BARESCREEN_H

#include "displayfit.h"

#include <SDL.h>

namespace bench {

// Opens the display as the player does by default: at the display's own size when it is larger than
// the frame (where is then the largest 4:3 rectangle, as the player fills it), else 640x480 full
// screen as the player used to. SDL must be started. Null when the display does not open.
inline SDL_Surface* openbare(SDL_Rect& where)
{
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    framefit f = fitframe(info ? info->current_w : 0, info ? info->current_h : 0);
    where = {Sint16(f.x), Sint16(f.y), Uint16(f.w), Uint16(f.h)};
    if (f.w == 640 && f.h == 480)
        return SDL_SetVideoMode(640, 480, 32, SDL_HWSURFACE | SDL_DOUBLEBUF | SDL_FULLSCREEN);
    return SDL_SetVideoMode(info->current_w, info->current_h, 32, SDL_SWSURFACE | SDL_FULLSCREEN);
}

// The picture a bare program shows: a surface of where's size in the frame's layout, laid over frame
// at 640x480; on a larger display a black one of its own, as if already scaled, so that the bare
// program pays for refreshing the whole picture at that size and for no scaling at all (SDL's own
// stretch, SDL_SoftStretch, took 12 ms a refresh at 1440x1080 here). Null on failure.
inline SDL_Surface* barepicture(Uint32* frame, const SDL_Rect& where)
{
    if (where.w == 640 && where.h == 480)
        return SDL_CreateRGBSurfaceFrom(frame, 640, 480, 32, 640 * 4, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    return SDL_CreateRGBSurface(SDL_SWSURFACE, where.w, where.h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
}

// Puts the whole picture on the screen at where and flips it.
inline void showbare(SDL_Surface* picture, SDL_Surface* screen, SDL_Rect where)
{
    SDL_UpperBlit(picture, nullptr, screen, &where);
    SDL_Flip(screen);
}

} // namespace bench

#endif
