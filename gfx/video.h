// The video layer: the only unit that talks to SDL. It owns the full-screen display and the frame
// surface laid over the frame it shows, from initvideo until closevideo. Unlike the rest of the program,
// 1 means success.
#ifndef TRALUNE_VIDEO_H
#define TRALUNE_VIDEO_H

#include "tralune.h"

// Opens a full-screen, double-buffered 32-bit display of the given size. 1 when it is up; 0 otherwise,
// with videoerror() saying why. Registers SDL's shut-down to run at process exit.
int initvideo(int width, int height);
// SDL's reason for the last failure of initvideo.
const char* videoerror();
// Puts one frame of width x height 0x00RRGGBB values on the screen, opaque whatever the top bytes hold,
// then takes one pending input event (see checkevents). The frame's memory must stay in place until the
// next call or closevideo: it is shown through a surface laid over it. 1 when the frame reached the
// screen; 0 when the display is not open or a step of the refresh failed, in which case the event check
// is skipped too.
int updatevideo(const pixel* frame);
// Puts the frame on the screen as updatevideo does, then takes every pending input event as waitvideo
// does: an Escape press counts, held or not. For refreshes made in the middle of a wait on the song's
// clock, many a second, where the press must not be lost to a refresh that sees the key already let go.
// 1 when the frame reached the screen, else 0; the events are taken either way.
int showvideo(const pixel* frame);
// Takes one pending event. A key-down event while Escape is held, or a quit request (closing the
// window, SIGTERM, SIGINT), closes the display and ends the process with status 0. Otherwise 0.
int checkevents();
// Sleeps until the monotonic clock (monotonicns) reads `until`, taking every pending input event each
// 10 ms: an Escape key press or a quit request closes the display and ends the process with status 0.
// Unlike at a refresh, the Escape press itself counts, held or not, since a wait can be long enough to
// press and release the key inside it. Without an open display it only sleeps. Always 1.
int waitvideo(long long until);
// Shows the mouse cursor again and releases the frame surface. Safe to call twice.
void closevideo();

#endif
