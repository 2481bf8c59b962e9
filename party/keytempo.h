// The singer's key and tempo of a queued song, and the party's sync offset: the steps the keys take
// them by, within their limits, how they are shown, and which file and clock tempo a song plays with.
#ifndef TRALUNE_PARTYKEYTEMPO_H
#define TRALUNE_PARTYKEYTEMPO_H

#include "options.h"
#include "store.h"

#include <string>

// How far one press of a key moves each of them.
const int TEMPO_STEP = 5;       // percent
const int OFFSET_STEP = 10;     // milliseconds
const int OFFSET_LIMIT = 1000;  // the offset lies in -OFFSET_LIMIT..OFFSET_LIMIT

// key moved by `by` semitones, kept within KEY_MIN..KEY_MAX.
int stepkey(int key, int by);
// tempo moved by `by` steps of TEMPO_STEP percent, kept within TEMPO_MIN..TEMPO_MAX.
int steptempo(int tempo, int by);
// ms moved by `by` steps of OFFSET_STEP milliseconds, kept within the offset's limits.
int stepoffset(int ms, int by);

// How a change is shown beside its song: "key +2, 90%", "key -1", "110%"; "" for key 0 at 100 %.
std::string changelabel(int key, int tempo);

// The party's sync offset in milliseconds: the one given with --offset, which is then stored as the
// "offset" setting, else the stored one; 0 when neither is there or the stored one is not a whole
// number within the limits.
int partyoffset(partystore& store, const partyoptions& o);

// How a song's render stands, as the preparer tells it.
struct renderedsong {
    enum state { NONE, WAITING, RENDERING, READY, FAILED } now = NONE;  // NONE: nothing to render
    std::string path;       // READY: the render's file
    double done = 0;        // RENDERING: how far, 0 to 1
    std::string reason;     // FAILED: why
};

// What a queued song is played with.
struct songplay {
    std::string file = "gnusong.mp3";   // the music, relative to the song's folder or absolute
    int tempo = 100;                    // the song clock's tempo
    std::string warning;                // one line when the change asked for cannot be heard
};
// The music and the clock's tempo for entry e whose render stands as r: the render at the entry's
// tempo when it is ready; the song as it is, at 100 %, when nothing is changed or the render failed
// (then with a warning, so that the singer keeps the turn and knows why it sounds unchanged).
songplay playfor(const queueentry& e, const renderedsong& r);

#endif
