// The song's clock.
#include "songclock.h"

// a / b rounded toward minus infinity, for b > 0: song time before the start rounds the same way as
// after it.
static long long floordiv(long long a, long long b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

void songclock::startat(long long start)
{
    std::lock_guard<std::mutex> hold(lock);
    origin = start;
    pausedfor = 0;
    stopped = false;
}

void songclock::settempo(int value)
{
    std::lock_guard<std::mutex> hold(lock);
    percent = value < 1 ? 1 : value;
}

void songclock::setoffset(long long ms)
{
    std::lock_guard<std::mutex> hold(lock);
    offsetns = ms * 1000000;
}

int songclock::tempo() const
{
    std::lock_guard<std::mutex> hold(lock);
    return percent;
}

long long songclock::offset() const
{
    std::lock_guard<std::mutex> hold(lock);
    return offsetns / 1000000;
}

long long songclock::start() const
{
    std::lock_guard<std::mutex> hold(lock);
    return origin;
}

// Real time the song has run at `now`, the pauses and the offset taken out. The lock is held.
long long songclock::elapsed(long long now) const
{
    if (stopped)
        now = pausedat;
    return now - origin - pausedfor - offsetns;
}

long long songclock::songtime(long long now) const
{
    std::lock_guard<std::mutex> hold(lock);
    // Whole nanoseconds times a percentage stay far inside 64 bits for any song (2^63 ns is 292 years).
    return floordiv(elapsed(now) * percent, 100);
}

long long songclock::momentof(long long song) const
{
    std::lock_guard<std::mutex> hold(lock);
    if (stopped)
        return LLONG_MAX;
    // Rounded up where songtime rounds down, so that the moment returned is the very first at which
    // songtime has reached `song`: "at" never runs its line a nanosecond early, nor later than it must.
    return origin + pausedfor + offsetns - floordiv(-song * 100, percent);
}

void songclock::pause(long long now)
{
    std::lock_guard<std::mutex> hold(lock);
    if (!stopped) {
        stopped = true;
        pausedat = now;
    }
}

void songclock::resume(long long now)
{
    std::lock_guard<std::mutex> hold(lock);
    if (!stopped)
        return;
    pausedfor += now - pausedat;
    stopped = false;
}

bool songclock::paused() const
{
    std::lock_guard<std::mutex> hold(lock);
    return stopped;
}
