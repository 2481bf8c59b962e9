// The song's clock: how far into the song the music is, from the moment the song started, at the
// tempo it is played at, less the sound's own delay, standing still while the song is paused.
#ifndef TRALUNE_SONGCLOCK_H
#define TRALUNE_SONGCLOCK_H

#include <climits>
#include <mutex>

// All times are nanoseconds on the monotonic clock (monotonicns); song times are nanoseconds of the
// song as written, which a script's "at" times and a CD+G stream's packets count in. Song time is
//   (time since the start - time spent paused - offset) x tempo / 100,
// so that at 80 % tempo the song's 10 s are heard 12.5 s after its start, and with an offset of
// 200 ms everything shown comes 200 ms later. Every member takes the time "now" from its caller, so the
// clock can be driven by any time source; it is safe to use from several threads at once (the party
// pauses it and moves its offset while the script waits on it).
class songclock {
public:
    // A clock whose song starts at `start` (the song's time 0 when the offset is 0), at 100 % tempo,
    // with no offset, running.
    explicit songclock(long long start = 0) : origin(start) {}
    songclock(const songclock&) = delete;
    songclock& operator=(const songclock&) = delete;

    // Restarts the clock: the song starts at `start`, running, nothing paused; tempo and offset stay.
    void startat(long long start);
    // The tempo in percent, 1 or more (values below are taken as 1); 100 plays the song as written.
    void settempo(int percent);
    // The offset in milliseconds: positive when the sound comes late, moving song time later.
    void setoffset(long long ms);
    int tempo() const;
    long long offset() const;
    // The moment the song started, as given to the constructor or startat.
    long long start() const;

    // Song time at `now`. Before the start (and the offset) it is negative; while paused it stays at
    // the song time the pause began at.
    long long songtime(long long now) const;
    // The first moment at which songtime reaches `song`, for a clock left running as it is; LLONG_MAX
    // while paused, since song time then does not move at all.
    long long momentof(long long song) const;

    // Stops song time at `now`; nothing when already paused.
    void pause(long long now);
    // Lets song time move on from where the pause left it; nothing when not paused.
    void resume(long long now);
    bool paused() const;

private:
    long long elapsed(long long now) const;

    mutable std::mutex lock;
    long long origin;
    int percent = 100;
    long long offsetns = 0;
    long long pausedfor = 0;
    bool stopped = false;
    long long pausedat = 0;
};

// The longest a wait on the song's clock sleeps before it looks at the clock again: a pause, a
// resume or a new offset set by another thread is followed within this time.
const long long SONGCLOCK_RECHECK_NS = 50000000;

#endif
