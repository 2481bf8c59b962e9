// Script lines against the bare refresh: what a line costs beside the refresh every line makes.
#include "common.h"
#include "gfx.h"
#include "script.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace bench {

// The refresh the player makes after every line, called with nothing around it: the same surfaces
// and the same SDL calls as the video layer's refresh, on the same frame.
class BareRefresh {
public:
    BareRefresh()
    {
        screen = SDL_GetVideoSurface();
        back = static_cast<pixel*>(calloc(SCREEN_PIXELS, sizeof(pixel)));
        surface = SDL_CreateRGBSurfaceFrom(back, SCREEN_W, SCREEN_H, 32, SCREEN_W * 4, 0x00FF0000,
                                           0x0000FF00, 0x000000FF, 0xFF000000);
        if (!screen || !back || !surface)
            die("cannot set up the bare refresh");
    }
    void operator()(const pixel* frame)
    {
        memcpy(back, frame, SCREEN_PIXELS * sizeof(pixel));
        SDL_Surface* copy = SDL_DisplayFormat(surface);
        SDL_UpperBlit(copy, nullptr, screen, nullptr);
        SDL_FreeSurface(copy);
        SDL_Flip(screen);
        SDL_PollEvent(&event);
    }

private:
    SDL_Surface* screen;
    SDL_Surface* surface;
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
