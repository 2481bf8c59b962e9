// The video layer over SDL 1.2.
#include "video.h"

#include <SDL.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

static int width, height;
static SDL_Surface* screen;
static SDL_Surface* framesurface;
static const pixel* framepixels;
static SDL_Event event;
static std::string lasterror;

static int fail()
{
    lasterror = SDL_GetError();
    return 0;
}

int initvideo(int w, int h)
{
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
        return fail();
    // Whatever way the process ends, SDL gets to restore the screen mode.
    atexit(SDL_Quit);
    screen = SDL_SetVideoMode(w, h, 32, SDL_HWSURFACE | SDL_DOUBLEBUF | SDL_FULLSCREEN);
    if (!screen)
        return fail();
    SDL_ShowCursor(0);
    width = w;
    height = h;
    return 1;
}

const char* videoerror()
{
    return lasterror.c_str();
}

// Blits the frame onto the screen and flips it; 1 when it got there.
static int putframe(const pixel* frame)
{
    if (!screen)
        return 0;
    // The frame surface lies over the caller's own frame, made once and kept, so a refresh copies the
    // frame once, onto the screen. It is opaque (no alpha mask): a surface with one would be blended,
    // not copied, and the top byte that a colour fill above 255 leaves would make pixels transparent.
    // With the screen in the same 0x00RRGGBB layout, as 32-bit displays are, the blit is a plain copy.
    if (!framesurface || frame != framepixels) {
        if (framesurface)
            SDL_FreeSurface(framesurface);
        framepixels = frame;
        framesurface = SDL_CreateRGBSurfaceFrom(const_cast<pixel*>(frame), width, height, 32, width * 4,
                                                0x00FF0000, 0x0000FF00, 0x000000FF, 0);
        if (!framesurface)
            return 0;
    }
    if (SDL_UpperBlit(framesurface, nullptr, screen, nullptr) != 0)
        return 0;
    if (SDL_Flip(screen) != 0)
        return 0;
    return 1;
}

int updatevideo(const pixel* frame)
{
    if (!putframe(frame))
        return 0;
    checkevents();
    return 1;
}

// Takes every pending event; an Escape press, held or not, or a quit request ends the process.
static void takeevents()
{
    while (screen && SDL_PollEvent(&event)) {
        bool escape = event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE;
        if (escape || event.type == SDL_QUIT) {
            closevideo();
            exit(0);
        }
    }
}

int showvideo(const pixel* frame)
{
    int shown = putframe(frame);
    takeevents();
    return shown;
}

int checkevents()
{
    if (!SDL_PollEvent(&event))
        return 0;
    if (event.type == SDL_KEYDOWN) {
        // The key state, not the event's own key, decides: an Escape that was let go before its
        // event is taken does not end the run.
        Uint8* keys = SDL_GetKeyState(nullptr);
        if (keys[SDLK_ESCAPE] == 1) {
            closevideo();
            exit(0);
        }
    } else if (event.type == SDL_QUIT) {
        closevideo();
        exit(0);
    }
    return 0;
}

int waitvideo(long long until)
{
    for (;;) {
        long long now = monotonicns();
        if (now >= until)
            return 1;
        takeevents();
        // SDL turns SIGTERM and SIGINT into a quit event; the signal also cuts this sleep short, so
        // the event is seen at once.
        sleepuntil(std::min(until, now + 10000000));
    }
}

void closevideo()
{
    if (screen)
        SDL_ShowCursor(1);
    if (framesurface)
        SDL_FreeSurface(framesurface);
    framesurface = nullptr;
    framepixels = nullptr;
    // SDL 1.2 ignores a request to free the display surface; SDL_Quit at exit releases it.
    if (screen)
        SDL_FreeSurface(screen);
    screen = nullptr;
}
