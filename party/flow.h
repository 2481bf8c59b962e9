// The order of the party's screens: the picker, the up-next screen with its countdown, the song, and
// back; decided from what the party knows at a moment, so that it can be followed on a made-up clock.
#ifndef TRALUNE_PARTYFLOW_H
#define TRALUNE_PARTYFLOW_H

#include <cstdint>

// What the party knows when it asks what to do next.
struct flowfacts {
    bool queued = false;        // the queue holds a song to take (or one left up next or playing)
    // The song on the up-next screen: still being prepared, ready to start, or not playable.
    enum preparation { PREPARING, READY, FAILED } prepared = PREPARING;
    bool skip = false;          // the song on the screen (up next or playing) is to be left
    bool songover = false;      // SONG: its script has ended and its music too
    bool songfailed = false;    // SONG: its script could not be run to its end (a script error)
    bool quit = false;          // Ctrl+Q, the display closed
};

// What the party is to do, one step at a time.
enum flowaction {
    STAY,        // nothing: draw the screen of the stage and wait for news
    TAKE,        // take the next song from the queue to the up-next screen (then call upnext)
    START,       // start the song up next (the stage is SONG from now on)
    DROP,        // leave the song up next or playing: skipped (the stage is PICKER)
    FAIL,        // the song up next or playing cannot be played: mark it so and show why (the stage is
                 // PICKER)
    FINISH,      // the song has ended (the stage is PICKER)
    QUIT         // stop the music and end the party
};

class partyflow {
public:
    enum stage { PICKER, UPNEXT, SONG };

    // countdownms: how long the up-next screen is shown, at least (--countdown).
    explicit partyflow(long long countdownms) : countdown(countdownms) {}

    // The next step at the monotonic moment now (milliseconds), moving the stage on where the step
    // does. PICKER: TAKE when a song is queued. UPNEXT: DROP on a skip; FAIL when the song cannot be
    // prepared; START once the countdown is over and the song ready. SONG: DROP on a skip, FAIL when
    // its script failed, FINISH when it is over. QUIT on a quit, whatever the stage. Else STAY.
    flowaction next(long long now, const flowfacts& f);
    // After TAKE: the song of this queue entry is on the up-next screen from now on, its countdown
    // starting at now.
    void upnext(int64_t entry, long long now);
    // After TAKE found the queue empty after all: back to the picker.
    void nothingtaken() { at = PICKER; }

    stage current() const { return at; }
    // The queue entry up next or playing; 0 on the picker.
    int64_t entry() const { return at == PICKER ? 0 : shown; }
    // UPNEXT: the whole seconds of the countdown still to show, rounded up; 0 once it is over.
    int secondsleft(long long now) const;

private:
    long long countdown;
    stage at = PICKER;
    int64_t shown = 0;
    long long upnextat = 0;
};

#endif
