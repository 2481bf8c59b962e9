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

int initvideo(int, int)
{
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
    // As the real layer does: the hook every 10 ms, the moment moved on while it holds.
    long long heldsince = -1;
    for (;;) {
        long long now = monotonicns();
        if (heldsince >= 0) {
            until += now - heldsince;
            heldsince = -1;
        }
        if (now >= until)
            return 1;
        if (inputkept && waithook) {
            int h = waithook();
            if (h == VIDEOWAIT_END)
                return 0;
            if (h == VIDEOWAIT_HOLD)
                heldsince = now;
        }
        sleepuntil(until < now + 10000000 ? until : now + 10000000);
    }
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
