// The video layer: the only unit that talks to SDL. It owns the display and the copy of the frame it
// shows, scaled to the display, from initvideo until closevideo. Unlike the rest of the program,
// 1 means success.
#ifndef TRALUNE_VIDEO_H
#define TRALUNE_VIDEO_H

#include "displayfit.h"
#include "tralune.h"

// Opens a 32-bit display for frames of width x height, as mode asks (see displaymode): the whole
// display at its own size with the frame scaled into its largest 4:3 rectangle, a window at a whole
// multiple of the frame, or a full screen of the frame's own size. Without a display size from the
// driver, or on a display smaller than the frame, full screen means the frame's own size. 1 when it
// is up; 0 otherwise, with videoerror() saying why. Registers SDL's shut-down to run at process exit.
int initvideo(int width, int height, displaymode mode = displaymode::fullscreen);
// SDL's reason for the last failure of initvideo.
const char* videoerror();
// Puts one frame of width x height 0x00RRGGBB values on the screen, scaled, opaque whatever the top
// bytes hold, then takes one pending input event (see checkevents). Only what differs from the frame
// before is drawn again. 1 when the frame reached the screen; 0 when the display is not open or a step
// of the refresh failed, in which case the event check is skipped too and the next refresh draws the
// whole frame.
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
// Shows the mouse cursor again and releases the copy of the frame. Safe to call twice.
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
    VK_OTHER,      // any other key; ch holds its character when it types one, else 0
    // The function keys the party changes key, tempo and sync with.
    VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10
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

// waitvideo's steps, apart from the display, so that the tests' stand-in for this layer waits the same
// way: sleeps until `until` in steps of at most 10 ms, calling take() (may be nullptr) and then hook
// (when not nullptr) at each step, hook's answers as setvideowaithook says. 1 when the moment came; 0
// when hook ended the wait.
inline int waitsteps(long long until, void (*take)(), int (*hook)())
{
    // While the hook holds, the moment waited for moves on by the time held.
    long long heldsince = -1;
    for (;;) {
        long long now = monotonicns();
        if (heldsince >= 0) {
            until += now - heldsince;
            heldsince = -1;
        }
        if (now >= until)
            return 1;
        if (take)
            take();
        int h = hook ? hook() : VIDEOWAIT_ON;
        if (h == VIDEOWAIT_END)
            return 0;
        if (h == VIDEOWAIT_HOLD)
            heldsince = now;
        // A signal cuts this sleep short (SDL turns SIGTERM and SIGINT into a quit event, then seen at
        // once); the loop simply goes on.
        sleepuntil(until < now + 10000000 ? until : now + 10000000);
    }
}

#endif
