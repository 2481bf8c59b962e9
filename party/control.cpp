// The running party's controls for other threads.
#include "control.h"

#include "tralune.h"

#include <chrono>

bool partycontrol::skip()
{
    std::lock_guard<std::mutex> hold(lock);
    if (state.shows == nowplaying::PICKER)
        return false;
    requests |= SKIP;
    return true;
}

bool partycontrol::pause()
{
    std::lock_guard<std::mutex> hold(lock);
    if (state.shows != nowplaying::SONG || wantpaused)
        return false;
    wantpaused = true;
    return true;
}

bool partycontrol::resume()
{
    std::lock_guard<std::mutex> hold(lock);
    if (state.shows != nowplaying::SONG || !wantpaused)
        return false;
    wantpaused = false;
    return true;
}

void partycontrol::queuechanged()
{
    std::lock_guard<std::mutex> hold(lock);
    requests |= QUEUE;
    bump();
}

nowplaying partycontrol::now() const
{
    std::lock_guard<std::mutex> hold(lock);
    nowplaying n = state;
    if (n.shows == nowplaying::SONG) {
        long long at = n.paused ? pausedat : monotonicns();
        n.seconds = double(at - musicat) / 1e9;
    }
    n.version = count;
    return n;
}

uint64_t partycontrol::version() const
{
    std::lock_guard<std::mutex> hold(lock);
    return count;
}

uint64_t partycontrol::waitchange(uint64_t seen, int timeoutms)
{
    std::unique_lock<std::mutex> hold(lock);
    news.wait_for(hold, std::chrono::milliseconds(timeoutms), [&] { return count != seen; });
    return count;
}

int partycontrol::takerequests()
{
    std::lock_guard<std::mutex> hold(lock);
    int taken = requests;
    requests = 0;
    if (state.shows == nowplaying::SONG && wantpaused != state.paused)
        taken |= wantpaused ? PAUSE : RESUME;
    return taken;
}

void partycontrol::showpicker()
{
    std::lock_guard<std::mutex> hold(lock);
    state = nowplaying();
    wantpaused = false;
    // A skip asked for a song that has ended meanwhile must not skip the next one.
    requests &= ~SKIP;
    bump();
}

void partycontrol::showupnext(int64_t entry, int64_t song)
{
    std::lock_guard<std::mutex> hold(lock);
    state = nowplaying();
    state.shows = nowplaying::UPNEXT;
    state.entry = entry;
    state.song = song;
    wantpaused = false;
    requests &= ~SKIP;
    bump();
}

void partycontrol::showsong(int64_t entry, int64_t song, long long at)
{
    std::lock_guard<std::mutex> hold(lock);
    // A skip asked for on the up-next screen of this same song still applies to it.
    bool sameentry = state.entry == entry;
    state = nowplaying();
    state.shows = nowplaying::SONG;
    state.entry = entry;
    state.song = song;
    musicat = at;
    wantpaused = false;
    if (!sameentry)
        requests &= ~SKIP;
    bump();
}

void partycontrol::setpaused(bool paused, long long at)
{
    std::lock_guard<std::mutex> hold(lock);
    if (state.shows != nowplaying::SONG || state.paused == paused)
        return;
    if (paused)
        pausedat = at;
    else
        musicat += at - pausedat;
    state.paused = paused;
    // The party's own pause key agrees with what the phone asks for from now on.
    wantpaused = paused;
    bump();
}

void partycontrol::changed()
{
    std::lock_guard<std::mutex> hold(lock);
    bump();
}

void partycontrol::bump()
{
    count++;
    news.notify_all();
}
