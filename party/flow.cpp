// The order of the party's screens.
#include "flow.h"

flowaction partyflow::next(long long now, const flowfacts& f)
{
    if (f.quit)
        return QUIT;
    switch (at) {
    case PICKER:
        return f.queued ? TAKE : STAY;
    case UPNEXT:
        if (f.skip) {
            at = PICKER;
            return DROP;
        }
        // Found out during the countdown, a song that cannot be played gives its place at once.
        if (f.prepared == flowfacts::FAILED) {
            at = PICKER;
            return FAIL;
        }
        if (now - upnextat >= countdown && f.prepared == flowfacts::READY) {
            at = SONG;
            return START;
        }
        return STAY;
    case SONG:
        if (f.skip) {
            at = PICKER;
            return DROP;
        }
        if (f.songfailed) {
            at = PICKER;
            return FAIL;
        }
        if (f.songover) {
            at = PICKER;
            return FINISH;
        }
        return STAY;
    }
    return STAY;
}

void partyflow::upnext(int64_t entry, long long now)
{
    at = UPNEXT;
    shown = entry;
    upnextat = now;
}

int partyflow::secondsleft(long long now) const
{
    if (at != UPNEXT)
        return 0;
    long long left = countdown - (now - upnextat);
    return left <= 0 ? 0 : int((left + 999) / 1000);
}
