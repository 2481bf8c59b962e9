// The recording stand-in for the video layer used by the unit tests.
#ifndef TRALUNE_FAKEVIDEO_H
#define TRALUNE_FAKEVIDEO_H

#include "video.h"

#include <vector>

// Every frame passed to updatevideo or showvideo while the stand-in display is open, in order.
extern std::vector<std::vector<pixel>> shownframes;
extern bool videoup;
// Set to make initvideo fail.
extern bool failinit;
// The display mode the last initvideo asked for.
extern displaymode openedmode;

#endif
