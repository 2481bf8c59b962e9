// The running party's controls for other threads (the phone page's server): act on the song on the
// screen, and learn what plays and when the queue changed.
#ifndef TRALUNE_PARTYCONTROL_H
#define TRALUNE_PARTYCONTROL_H

#include <condition_variable>
#include <cstdint>
#include <mutex>

// What the big screen shows now, as other threads see it.
struct nowplaying {
    enum stage { PICKER, UPNEXT, SONG };
    stage shows = PICKER;   // PICKER: no song is up next or playing
    int64_t entry = 0;      // the queue entry up next or playing; 0 on the picker
    int64_t song = 0;       // its library song; 0 on the picker
    double seconds = 0;     // SONG: song time played, from the moment its music starts (negative in
                            // the 1.5 s before it), standing still while paused; else 0
    bool paused = false;    // SONG: paused by pause()
    uint64_t version = 0;   // see partycontrol::version
};

// One per party, made by the party and handed to the threads that act on it. Every member is safe to
// call from any thread at any time; none blocks for longer than a mutex held for a few assignments
// (waitchange excepted, by design). Requests are carried out by the party's main loop, which takes
// them at least every 10 ms, also while a song's script waits; a request made when it cannot apply
// (pause with no song playing) is refused at once rather than kept for later.
class partycontrol {
public:
    // ----- For any thread (the phone page's server)

    // Ends the song playing and its music, as Escape does, or drops the song on the up-next screen
    // before it starts; the party goes on with the queue (the store records the entry as skipped).
    // false, asking nothing, when neither a song plays nor one is up next.
    bool skip();
    // Pauses the song playing: its music and its lines stand still until resume(). false when no song
    // plays or it is paused already.
    bool pause();
    // Resumes a paused song. false when no song plays or it is not paused.
    bool resume();
    // Tells the party that the queue in the store changed (a song queued, removed, moved, changed), so
    // that it redraws the queue on the screen and prepares the song that now comes second.
    void queuechanged();
    // What the screen shows, and the song time played (for estimated waits).
    nowplaying now() const;
    // A number that grows with every change of the queue or of what plays: a caller that remembers it
    // knows that something changed when it differs. Starts at 1.
    uint64_t version() const;
    // Waits until version() differs from seen or timeoutms milliseconds passed; the version then. For a
    // request that waits for news (a long poll).
    uint64_t waitchange(uint64_t seen, int timeoutms);

    // ----- For the party's main loop

    // What other threads asked for since the last call, as bits; taking them clears them. PAUSE or
    // RESUME is set while the song's paused state (setpaused) differs from the one last asked for.
    enum request { SKIP = 1, PAUSE = 2, RESUME = 4, QUEUE = 8 };
    int takerequests();
    // The screen now shows the picker (no song up next or playing).
    void showpicker();
    // The screen now shows this entry's song on the up-next screen.
    void showupnext(int64_t entry, int64_t song);
    // This entry's song now plays; its song time 0 is at the monotonic moment musicat (nanoseconds,
    // monotonicns), when its music starts.
    void showsong(int64_t entry, int64_t song, long long musicat);
    // The song was paused (true) or resumed (false) at the monotonic moment at; while paused its song
    // time stands still.
    void setpaused(bool paused, long long at);
    // The party changed the queue itself (a song queued from the keyboard, one finished).
    void changed();

private:
    // Called with lock held.
    void bump();

    mutable std::mutex lock;
    std::condition_variable news;
    nowplaying state;
    long long musicat = 0;     // SONG: monotonic moment of song time 0, moved on by each pause's length
    long long pausedat = 0;    // while paused: when it began
    int requests = 0;          // SKIP and QUEUE not yet taken
    bool wantpaused = false;   // what pause() and resume() last asked for
    uint64_t count = 1;
};

#endif
