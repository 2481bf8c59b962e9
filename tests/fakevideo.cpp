// A recording stand-in for the video layer: every frame that would reach the screen is kept, so tests
// can check what the program shows after each script line.
#include "fakevideo.h"

#include <cstdlib>
#include <cstring>

std::vector<std::vector<pixel>> shownframes;
bool videoup = false;
bool failinit = false;
std::deque<videokey> typedkeys;
bool inputkept = false;
static int (*waithook)();
displaymode openedmode = displaymode::fullscreen;

int initvideo(int, int, displaymode mode)
{
    openedmode = mode;
    if (failinit)
        return 0;
    videoup = true;
    return 1;
}

const char* videoerror()
{
    return "stand-in display refused";
}

int updatevideo(const pixel* frame)
{
    if (!videoup)
        return 0;
    shownframes.emplace_back(frame, frame + SCREEN_PIXELS);
    return 1;
}

int showvideo(const pixel* frame)
{
    return updatevideo(frame);
}

int waitvideo(long long until)
{
    return waitsteps(until, nullptr, inputkept ? waithook : nullptr);
}

void keepvideoinput()
{
    inputkept = true;
}

bool nextvideokey(videokey* k)
{
    if (!inputkept || typedkeys.empty())
        return false;
    *k = typedkeys.front();
    typedkeys.pop_front();
    return true;
}

void setvideowaithook(int (*hook)())
{
    waithook = hook;
}

int checkevents()
{
    return 0;
}

void closevideo()
{
    videoup = false;
}
