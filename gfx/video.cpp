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

// SDL's drivers that show a picture, in the order SDL itself tries them. Left to choose on its own,
// SDL falls back to drivers that draw the frames as coloured characters on the terminal (aalib,
// libcaca), which take the terminal over even before the first frame; those are used only when
// SDL_VIDEODRIVER names them. A driver this build of SDL lacks simply fails to start.
static const char* const GRAPHICAL[] = {"x11",  "dga",  "nanox", "qtopia", "wscons", "fbcon",
                                        "directfb", "ps2gs", "ps3", "ggi", "vgl", "svgalib"};

// Starts SDL's video on the driver SDL_VIDEODRIVER names, or else on the first graphical driver that
// starts. true when one did; else SDL's error says why.
static bool startvideo()
{
    const char* asked = getenv("SDL_VIDEODRIVER");
    if (asked && *asked)
        return SDL_Init(SDL_INIT_VIDEO) == 0;
    if (SDL_Init(0) < 0)
        return false;
    // SDL 1.2 takes its driver from the environment only; the variable is set for each try and
    // removed again, so that nothing started later sees it.
    for (const char* name : GRAPHICAL) {
        setenv("SDL_VIDEODRIVER", name, 1);
        bool up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        unsetenv("SDL_VIDEODRIVER");
        if (up)
            return true;
    }
    const char* display = getenv("DISPLAY");
    std::string x = display && *display ? std::string("the X display ") + display + " cannot be opened"
                                        : std::string("DISPLAY is not set");
    SDL_SetError("%s, and no other graphical driver starts (SDL_VIDEODRIVER=NAME asks for a driver, a text-mode "
                 "one too)", x.c_str());
    return false;
}

int initvideo(int w, int h)
{
    if (!startvideo())
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
