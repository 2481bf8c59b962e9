// The video layer over SDL 1.2.
#include "video.h"

#include <SDL.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

static int width, height;
static SDL_Surface* screen;
static SDL_Surface* framesurface;
static const pixel* framepixels;
static SDL_Event event;
static std::string lasterror;

// Input kept for the caller (keepvideoinput): then no event ends the process.
static bool kept;
static void keep(const SDL_Event& e);
static int (*waithook)();

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
        if (kept) {
            keep(event);
            continue;
        }
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
    if (kept) {
        keep(event);
        return 0;
    }
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
    // While the hook holds, the moment waited for moves on by the time held.
    long long heldsince = -1;
    for (;;) {
        long long now = monotonicns();
        if (heldsince >= 0) {
            until += now - heldsince;
            heldsince = -1;
        }
        if (now >= until)
            return 1;
        takeevents();
        if (kept && waithook) {
            int h = waithook();
            if (h == VIDEOWAIT_END)
                return 0;
            if (h == VIDEOWAIT_HOLD)
                heldsince = now;
        }
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

// Keys typed faster than the caller reads them wait here, oldest first.
static std::deque<videokey> keys;
static const size_t MAXKEYS = 256;

void keepvideoinput()
{
    kept = true;
    // Characters as typed, with the keyboard's layout and shift applied, for the search and the names.
    SDL_EnableUNICODE(1);
    SDL_EnableKeyRepeat(SDL_DEFAULT_REPEAT_DELAY, SDL_DEFAULT_REPEAT_INTERVAL);
}

static int keyname(SDLKey sym)
{
    switch (sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_ENTER;
    case SDLK_BACKSPACE:
        return VK_BACKSPACE;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_PAGEUP:
        return VK_PAGEUP;
    case SDLK_PAGEDOWN:
        return VK_PAGEDOWN;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_TAB:
        return VK_TAB;
    default:
        return 0;
    }
}

// Keeps one event for nextvideokey: key presses and quit requests; everything else is dropped.
static void keep(const SDL_Event& e)
{
    videokey k;
    if (e.type == SDL_QUIT) {
        k.key = VK_QUIT;
    } else if (e.type == SDL_KEYDOWN) {
        const SDL_keysym& s = e.key.keysym;
        k.ctrl = (s.mod & KMOD_CTRL) != 0;
        k.alt = (s.mod & KMOD_ALT) != 0;
        // The typed character, without the control codes that Ctrl with a letter gives.
        if (s.unicode >= 32 && s.unicode != 127)
            k.ch = s.unicode;
        if (k.ctrl && s.sym == SDLK_q)
            k.key = VK_QUIT;
        else if (int named = keyname(s.sym))
            k.key = named;
        else
            k.key = k.ch && !k.ctrl && !k.alt ? VK_CHAR : VK_OTHER;
    } else {
        return;
    }
    if (keys.size() >= MAXKEYS) {
        if (k.key != VK_QUIT)
            return;
        keys.pop_back();
    }
    keys.push_back(k);
}

bool nextvideokey(videokey* k)
{
    takeevents();
    if (keys.empty())
        return false;
    *k = keys.front();
    keys.pop_front();
    return true;
}

void setvideowaithook(int (*hook)())
{
    waithook = hook;
}
