// The video layer over SDL 1.2.
#include "video.h"

#include <SDL.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

static int width, height;
static SDL_Surface* screen;
static SDL_Event event;

// The scaler, set up by startscaling once the screen is open. A refresh draws, scaled, only the parts
// of the frame that differ from what the screen shows: drawing the whole 1440x1080 picture at every
// refresh of a CD+G stream cost several times what the player does otherwise.
static framefit fit;                        // where the frame lies on the screen
static std::vector<int> coledges, rowedges; // the frame's columns and rows as blocks of screen pixels
static std::vector<pixel> shown;            // the frame as the screen now shows it
static int blankpages;                      // refreshes still to draw the whole screen, bars included
static bool flipping;                       // a page-flipped screen: every refresh draws it all
static SDL_Surface* shadow;                 // the scaled picture, when the screen's layout is not 0x00RRGGBB

// A rectangle of the frame: columns x0 to x1 - 1, rows y0 to y1 - 1.
struct span {
    int x0, x1, y0, y1;
};
// More changed rectangles than this in one refresh are drawn as one.
static const int MAXSPANS = 64;
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

// Sets the scaler up for the screen just opened; false, with SDL's error set, when it cannot be.
static bool startscaling()
{
    fit = fitframe(screen->w, screen->h);
    coledges = blockedges(width, fit.w);
    rowedges = blockedges(height, fit.h);
    if (coledges.empty() || rowedges.empty() || fit.x + fit.w > screen->w || fit.y + fit.h > screen->h) {
        SDL_SetError("the screen opened at %dx%d, smaller than the frame", screen->w, screen->h);
        return false;
    }
    shown.assign(size_t(width) * size_t(height), 0);
    // Hardware page flipping (SDL_DOUBLEBUF is kept only when the screen has it, as on the
    // framebuffer console) shows the other page at each flip, which holds the picture before last.
    flipping = (screen->flags & SDL_DOUBLEBUF) != 0;
    blankpages = flipping ? 2 : 1;
    const SDL_PixelFormat* f = screen->format;
    if (f->BitsPerPixel != 32 || f->Rmask != 0x00FF0000 || f->Gmask != 0x0000FF00 || f->Bmask != 0x000000FF) {
        // A 16- or 24-bit screen: the picture is scaled here and SDL converts what changed on the blit.
        shadow = SDL_CreateRGBSurface(SDL_SWSURFACE, fit.w, fit.h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
        if (!shadow)
            return false;
    }
    return true;
}

// The size of the display before any mode is set: SDL reports the desktop's own size once its video
// is up. 0 x 0 when the driver does not say.
static void displaysize(int& w, int& h)
{
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    w = info ? info->current_w : 0;
    h = info ? info->current_h : 0;
}

int initvideo(int w, int h, displaymode mode)
{
    // SDL 1.2 on X switches the display's mode to the nearest one at least as large as asked, through
    // the XVidMode and XRandR extensions. Asking for the desktop's own size should keep it, but a TV
    // answers even a switch to its own mode with seconds of black, so outside --mode-switch the
    // extensions are not used at all. SDL reads these while it starts; they are removed again after.
    // A user's own setting of either is left as it is.
    const char* const SWITCHERS[] = {"SDL_VIDEO_X11_VIDMODE", "SDL_VIDEO_X11_XRANDR"};
    bool ours[2] = {false, false};
    for (int i = 0; i < 2 && mode != displaymode::modeswitch; i++)
        ours[i] = !getenv(SWITCHERS[i]) && setenv(SWITCHERS[i], "0", 0) == 0;
    bool up = startvideo();
    for (int i = 0; i < 2; i++)
        if (ours[i])
            unsetenv(SWITCHERS[i]);
    if (!up)
        return fail();
    // Whatever way the process ends, SDL gets to restore the screen mode.
    atexit(SDL_Quit);
    int dw = 0, dh = 0;
    displaysize(dw, dh);
    Uint32 flags = SDL_HWSURFACE | SDL_DOUBLEBUF | SDL_FULLSCREEN;
    int sw = w, sh = h;
    if (mode == displaymode::window) {
        int k = windowfactor(dw, dh);
        sw = w * k;
        sh = h * k;
        flags = SDL_SWSURFACE;
    } else if (mode == displaymode::fullscreen && dw >= w && dh >= h) {
        // A surface in memory, updated rectangle by rectangle: a page-flipped one would need the whole
        // picture drawn again at every refresh.
        sw = dw;
        sh = dh;
        flags = SDL_SWSURFACE | SDL_FULLSCREEN;
    }
    screen = SDL_SetVideoMode(sw, sh, 32, flags);
    if (!screen)
        return fail();
    SDL_ShowCursor(0);
    width = w;
    height = h;
    if (!startscaling()) {
        fail();
        closevideo();
        return 0;
    }
    return 1;
}

const char* videoerror()
{
    return lasterror.c_str();
}

// Compares the frame with what the screen shows and takes its new pixels into `shown`; fills rects
// with what differs, each row's span from its first to its last differing column, the spans of
// neighbouring rows joined where they overlap. The number of rectangles, at most MAXSPANS, the last
// taking in whatever did not fit.
static int changes(const pixel* frame, span* rects)
{
    int n = 0;
    for (int y = 0; y < height; y++) {
        const pixel* now = frame + size_t(y) * size_t(width);
        pixel* was = &shown[size_t(y) * size_t(width)];
        if (memcmp(now, was, size_t(width) * sizeof(pixel)) == 0)
            continue;
        int x0 = 0, x1 = width;
        while (now[x0] == was[x0])
            x0++;
        while (now[x1 - 1] == was[x1 - 1])
            x1--;
        memcpy(was + x0, now + x0, size_t(x1 - x0) * sizeof(pixel));
        span* last = n > 0 ? &rects[n - 1] : nullptr;
        if (last && (n == MAXSPANS || (last->y1 == y && x0 <= last->x1 && x1 >= last->x0))) {
            last->x0 = std::min(last->x0, x0);
            last->x1 = std::max(last->x1, x1);
            last->y1 = y + 1;
        } else {
            rects[n++] = {x0, x1, y, y + 1};
        }
    }
    return n;
}

// Draws rectangle r of the frame scaled into the picture whose top-left pixel is at `base`, rows
// `pitch` bytes apart: each frame row is scaled once, into the first screen row of its block, and
// copied to the block's other rows. The picture is opaque whatever the top bytes hold.
static void scale(const pixel* frame, const span& r, Uint8* base, int pitch)
{
    int from = coledges[size_t(r.x0)], to = coledges[size_t(r.x1)];
    for (int y = r.y0; y < r.y1; y++) {
        pixel* out = reinterpret_cast<pixel*>(base + size_t(rowedges[size_t(y)]) * size_t(pitch));
        const pixel* in = frame + size_t(y) * size_t(width);
        if (to - from == r.x1 - r.x0) {
            // One screen column a frame column, as on a 640x480 screen: a plain copy, the top byte
            // left to the screen, which has no alpha and ignores it.
            memcpy(out + from, in + r.x0, size_t(to - from) * sizeof(pixel));
        } else {
            for (int x = r.x0; x < r.x1; x++) {
                pixel v = in[x] & 0x00FFFFFF;
                for (int d = coledges[size_t(x)]; d < coledges[size_t(x) + 1]; d++)
                    out[d] = v;
            }
        }
        for (int row = rowedges[size_t(y)] + 1; row < rowedges[size_t(y) + 1]; row++)
            memcpy(base + size_t(row) * size_t(pitch) + size_t(from) * sizeof(pixel), out + from,
                   size_t(to - from) * sizeof(pixel));
    }
}

// Puts what changed of the frame on the screen, scaled; 1 when it got there. After a failed step the
// next refresh draws everything again, since `shown` already holds the frame that did not arrive.
static int putframe(const pixel* frame)
{
    if (!screen)
        return 0;
    span rects[MAXSPANS];
    int n;
    bool whole = blankpages > 0 || flipping;
    if (whole) {
        memcpy(shown.data(), frame, shown.size() * sizeof(pixel));
        rects[0] = {0, width, 0, height};
        n = 1;
    } else {
        n = changes(frame, rects);
    }
    if (n == 0)
        return 1;
    blankpages = std::max(blankpages, 1);
    if (whole && fit.w * fit.h < screen->w * screen->h && SDL_FillRect(screen, nullptr, 0) != 0)
        return 0;
    // Written straight into the screen when it has the frame's own layout, as 32-bit X displays do.
    SDL_Surface* target = shadow ? shadow : screen;
    if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0)
        return 0;
    Uint8* base = static_cast<Uint8*>(target->pixels);
    if (!shadow)
        base += size_t(fit.y) * screen->pitch + size_t(fit.x) * sizeof(pixel);
    for (int i = 0; i < n; i++)
        scale(frame, rects[i], base, target->pitch);
    if (SDL_MUSTLOCK(target))
        SDL_UnlockSurface(target);
    SDL_Rect shownrects[MAXSPANS];
    for (int i = 0; i < n; i++) {
        const span& r = rects[i];
        SDL_Rect from = {Sint16(coledges[size_t(r.x0)]), Sint16(rowedges[size_t(r.y0)]),
                         Uint16(coledges[size_t(r.x1)] - coledges[size_t(r.x0)]),
                         Uint16(rowedges[size_t(r.y1)] - rowedges[size_t(r.y0)])};
        shownrects[i] = {Sint16(fit.x + from.x), Sint16(fit.y + from.y), from.w, from.h};
        if (shadow && SDL_BlitSurface(shadow, &from, screen, &shownrects[i]) != 0)
            return 0;
    }
    if (flipping) {
        if (SDL_Flip(screen) != 0)
            return 0;
    } else if (whole) {
        SDL_UpdateRect(screen, 0, 0, 0, 0);
    } else {
        SDL_UpdateRects(screen, n, shownrects);
    }
    blankpages--;
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
    return waitsteps(until, takeevents, kept ? waithook : nullptr);
}

void closevideo()
{
    if (screen)
        SDL_ShowCursor(1);
    if (shadow)
        SDL_FreeSurface(shadow);
    shadow = nullptr;
    shown.clear();
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
    case SDLK_F5:
        return VK_F5;
    case SDLK_F6:
        return VK_F6;
    case SDLK_F7:
        return VK_F7;
    case SDLK_F8:
        return VK_F8;
    case SDLK_F9:
        return VK_F9;
    case SDLK_F10:
        return VK_F10;
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
