// The recording stand-in for the video layer used by the unit tests.
#ifndef TRALUNE_FAKEVIDEO_H
#define TRALUNE_FAKEVIDEO_H

#include "video.h"

#include <deque>
#include <vector>

// Every frame passed to updatevideo or showvideo while the stand-in display is open, in order.
extern std::vector<std::vector<pixel>> shownframes;
extern bool videoup;
// Set to make initvideo fail.
extern bool failinit;
// Keys that nextvideokey gives, as if typed, once keepvideoinput was called.
extern std::deque<videokey> typedkeys;
// Whether keepvideoinput was called; closevideo does not reset it.
extern bool inputkept;
// The display mode the last initvideo asked for.
extern displaymode openedmode;

#endif
