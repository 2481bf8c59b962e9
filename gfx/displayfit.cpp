// The display options and the arithmetic that fits the 640x480 frame to a display.
#include "displayfit.h"
#include "tralune.h"

#include <cstring>

bool displayoption(const char* argument, displaymode& mode)
{
    if (strcmp(argument, "--window") == 0)
        mode = displaymode::window;
    else if (strcmp(argument, "--mode-switch") == 0)
        mode = displaymode::modeswitch;
    else
        return false;
    return true;
}

framefit fitframe(int w, int h)
{
    framefit f;
    if (w < SCREEN_W || h < SCREEN_H)
        return f;
    // Wider than 4:3 (a TV): bars left and right; taller (a 5:4 monitor): bars above and below.
    if ((long long)w * 3 >= (long long)h * 4) {
        f.h = h;
        f.w = int((long long)h * 4 / 3);
    } else {
        f.w = w;
        f.h = int((long long)w * 3 / 4);
    }
    f.x = (w - f.w) / 2;
    f.y = (h - f.h) / 2;
    return f;
}

int windowfactor(int w, int h)
{
    int k = 1;
    while ((long long)SCREEN_W * (k + 1) <= w && (long long)SCREEN_H * (k + 1) <= h)
        k++;
    return k;
}

std::vector<int> blockedges(int from, int to)
{
    std::vector<int> edges;
    if (from <= 0 || to < from)
        return edges;
    // Display pixel d shows the source pixel under its centre, (d + 1/2) * from / to; so source pixel i
    // starts at the first d whose centre reaches it, d >= i * to / from - 1/2, in whole numbers.
    edges.resize(size_t(from) + 1);
    for (int i = 0; i <= from; i++)
        edges[size_t(i)] = int((2LL * i * to + from - 1) / (2LL * from));
    return edges;
}
