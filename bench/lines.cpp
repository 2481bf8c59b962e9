// Script lines against the bare refresh: what a line costs beside the refresh every line makes.
#include "barescreen.h"
#include "common.h"
#include "gfx.h"
#include "script.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace bench {

// The refresh the player made after every line before it drew only what changed, called with nothing
// around it, on the same frame: a new display-format copy of the whole frame blitted and flipped. On a
// display larger than the frame, a plain program's refresh of the whole picture at that size, with no
// scaling paid (see barepicture).
class BareRefresh {
public:
    BareRefresh()
    {
        screen = SDL_GetVideoSurface();
        if (screen) {
            framefit f = fitframe(screen->w, screen->h);
            where = {Sint16(f.x), Sint16(f.y), Uint16(f.w), Uint16(f.h)};
            if (f.w != SCREEN_W || f.h != SCREEN_H)
                large = barepicture(nullptr, where);
        }
        back = static_cast<pixel*>(calloc(SCREEN_PIXELS, sizeof(pixel)));
        surface = SDL_CreateRGBSurfaceFrom(back, SCREEN_W, SCREEN_H, 32, SCREEN_W * 4, 0x00FF0000,
                                           0x0000FF00, 0x000000FF, 0xFF000000);
        if (!screen || !back || !surface)
            die("cannot set up the bare refresh");
    }
    void operator()(const pixel* frame)
    {
        if (large) {
            showbare(large, screen, where);
            SDL_PollEvent(&event);
            return;
        }
        memcpy(back, frame, SCREEN_PIXELS * sizeof(pixel));
        SDL_Surface* copy = SDL_DisplayFormat(surface);
        showbare(copy, screen, where);
        SDL_FreeSurface(copy);
        SDL_PollEvent(&event);
    }

private:
    SDL_Surface* screen;
    SDL_Surface* surface;
    SDL_Rect where;
    SDL_Surface* large = nullptr; // the whole picture at a large display's size
    pixel* back;
    SDL_Event event;
};

// A script line against the bare refresh, the way the player refreshed up to now: a new display-format
// copy of the frame made and freed every line. goal is the highest ratio wanted, 0 for none.
void linecost(const ScratchDir& dir, const std::string& name, const std::string& text, int lines, double goal)
{
    std::string path = dir.write(name + ".txt", text);
    gfx* g = gfx::instance();
    BareRefresh bare;
    Pair p = interleave(
        lines, [&] { script().readscript(path.c_str()); },
        [&] {
            for (int i = 0; i < lines; i++)
                bare(g->pixels);
        });
    double ratio = medianratio(p);
    table.push_back({"one \"" + name + "\" line vs bare refresh (" + driver + ")", fmt("%.0f us", median(p.a) * 1e6),
                     fmt("%.0f us", median(p.b) * 1e6), fmt("%.3f", ratio), goal > 0 ? fmt("<= %.2f", goal) : "-",
                     goal <= 0 || ratio <= goal});
}

} // namespace bench
