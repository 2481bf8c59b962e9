// The singer's key and tempo, and the party's sync offset.
#include "keytempo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int stepkey(int key, int by)
{
    return std::min(KEY_MAX, std::max(KEY_MIN, key + by));
}

int steptempo(int tempo, int by)
{
    return std::min(TEMPO_MAX, std::max(TEMPO_MIN, tempo + by * TEMPO_STEP));
}

int stepoffset(int ms, int by)
{
    return std::min(OFFSET_LIMIT, std::max(-OFFSET_LIMIT, ms + by * OFFSET_STEP));
}

std::string changelabel(int key, int tempo)
{
    std::string label;
    char part[32];
    if (key != 0) {
        snprintf(part, sizeof part, "key %+d", key);
        label = part;
    }
    if (tempo != 100) {
        snprintf(part, sizeof part, "%d%%", tempo);
        label += (label.empty() ? "" : ", ") + std::string(part);
    }
    return label;
}

int partyoffset(partystore& store, const partyoptions& o)
{
    if (o.offsetgiven) {
        store.setsetting("offset", std::to_string(o.offset));
        return o.offset;
    }
    std::string stored = store.setting("offset");
    // A stored value is only ever written by the party, but the database is a file a user may edit.
    const char* text = stored.c_str();
    char* end = nullptr;
    long ms = strtol(text, &end, 10);
    if (stored.empty() || *end != '\0' || ms < -OFFSET_LIMIT || ms > OFFSET_LIMIT)
        return 0;
    return int(ms);
}

songplay playfor(const queueentry& e, const renderedsong& r)
{
    songplay p;
    if (e.key == 0 && e.tempo == 100)
        return p;
    if (r.now == renderedsong::READY) {
        p.file = r.path;
        p.tempo = e.tempo;
        return p;
    }
    p.warning = "The key and tempo of \"" + e.title + "\" (" + changelabel(e.key, e.tempo) +
                ") could not be changed" + (r.reason.empty() ? "" : ": " + r.reason) + "; it plays as it is.";
    return p;
}
