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
// press and release the key inside it. Without an open display it only sleeps. 1 when the moment came;
// 0 when the wait hook ended it early (input kept, see setvideowaithook).
int waitvideo(long long until);
// Shows the mouse cursor again and releases the frame surface. Safe to call twice.
void closevideo();

// ----- Input kept for the caller: the party reads the keyboard itself and ends songs, not the process.

// The keys the party reads.
enum videokeyname {
    VK_CHAR = 1,   // a typed character, in ch
    VK_ENTER,      // Return or the keypad's Enter
    VK_BACKSPACE,
    VK_DELETE,
    VK_ESCAPE,
    VK_UP,
    VK_DOWN,
    VK_LEFT,
    VK_RIGHT,
    VK_PAGEUP,
    VK_PAGEDOWN,
    VK_HOME,
    VK_END,
    VK_TAB,
    VK_QUIT,       // Ctrl+Q, or a quit request: the display closed, SIGTERM, SIGINT
    VK_OTHER       // any other key; ch holds its character when it types one, else 0
};

// One key press, as nextvideokey gives it.
struct videokey {
    int key = 0;        // a videokeyname
    int ch = 0;         // the character it types (a code point, 32 or above), else 0
    bool ctrl = false;  // a Control key was held
    bool alt = false;   // an Alt key was held
};

// Switches the display to keeping its input: from then on Escape and a quit request no longer end the
// process in updatevideo, showvideo, checkevents or waitvideo; every key press (with the character it
// types, keys held down repeating) and every quit request is kept, in order, for nextvideokey. The
// player never calls it, so tralune's own runs end as they always did. Call once the display is open.
void keepvideoinput();
// While input is kept: takes every pending event, then gives the oldest key kept and true; false when
// there is none. At most 256 keys wait; more typed before the caller reads them are dropped, except a
// quit request, which always finds its place.
bool nextvideokey(videokey* k);
// While input is kept: a function waitvideo calls every 10 ms of its wait, after taking the events.
// It answers VIDEOWAIT_ON to wait on, VIDEOWAIT_END to end the wait at once (waitvideo then returns
// 0), or VIDEOWAIT_HOLD to hold it: the moment waited for moves on with the clock for as long as the
// function holds (a paused song). nullptr, the default, for none.
enum { VIDEOWAIT_ON = 0, VIDEOWAIT_END = 1, VIDEOWAIT_HOLD = 2 };
void setvideowaithook(int (*hook)());

#endif
