// The frame buffer's way to the screen: its display operations, forwarded to the video layer. Only the
// player links this unit, so that the companions and the checker, which draw into memory alone, link
// neither SDL nor the video layer.
#include "gfx.h"
#include "video.h"

int gfx::init(displaymode mode)
{
    return initvideo(SCREEN_W, SCREEN_H, mode) ? 0 : 1;
}

const char* gfx::displayerror()
{
    return videoerror();
}

int gfx::update()
{
    updatevideo(pixels);
    return 0;
}

int gfx::show()
{
    showvideo(pixels);
    return 0;
}

int gfx::waituntil(long long until)
{
    waitvideo(until);
    return 0;
}

int gfx::close()
{
    closevideo();
    return 0;
}

