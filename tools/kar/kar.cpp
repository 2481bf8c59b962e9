// The MIDI karaoke reader.
#include "kar.h"
#include "script.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// What a MIDI file gives for the script and for rendering its music.
struct midisong {
    song s;
    std::string smf;
    long long lengthms = 0;
    std::string error;
};

const long long DEFAULT_TEMPO = 500000;   // microseconds a beat until the first tempo event

std::string hex(unsigned v)
{
    const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(v >> 4) & 15] + digits[v & 15];
}

// Reads bytes[at, end) and never past end: every read says whether it got what it asked for.
struct cursor {
    const std::string& b;
    size_t at, end;

    size_t left() const { return end - at; }
    bool byte(unsigned* v)
    {
        if (at >= end)
            return false;
        *v = (unsigned char)b[at++];
        return true;
    }
    bool big(int n, uint32_t* v)
    {
        if (left() < size_t(n))
            return false;
        uint32_t x = 0;
        for (int k = 0; k < n; k++)
            x = x << 8 | (unsigned char)b[at++];
        *v = x;
        return true;
    }
    bool little(int n, uint32_t* v)
    {
        if (left() < size_t(n))
            return false;
        uint32_t x = 0;
        for (int k = 0; k < n; k++)
            x |= uint32_t((unsigned char)b[at++]) << (8 * k);
        *v = x;
        return true;
    }
    // The next n bytes as they are.
    bool take(size_t n, std::string* v)
    {
        if (left() < n)
            return false;
        *v = b.substr(at, n);
        at += n;
        return true;
    }
    // A variable-length number: at most four bytes of seven bits. 0 when read, 1 when the bytes end
    // first, 2 when a fourth byte still says more follow.
    int vlq(uint32_t* v)
    {
        uint32_t x = 0;
        for (int k = 0; k < 4; k++) {
            unsigned c;
            if (!byte(&c))
                return 1;
            x = x << 7 | (c & 0x7F);
            if (!(c & 0x80)) {
                *v = x;
                return 0;
            }
        }
        return 2;
    }
};

struct textevent {
    long long tick;
    std::string text;
};

struct track {
    std::string name;                 // its last track name (FF 03), raw bytes
    std::vector<textevent> texts;     // FF 01
    std::vector<textevent> lyrics;    // FF 05
    bool karaoke = false;             // holds an "@K" header
};

struct tempochange {
    long long tick;
    long long us;       // microseconds a beat from here on
    long double at;     // microseconds from tick 0 to here
};

class reader {
public:
    reader(long long offset, report& r) : offset(offset), r(r) {}

    midisong read(const std::string& bytes)
    {
        if (bytes.empty())
            return fail("the file is empty");
        if (!unwrap(bytes) || !header() || !chunks())
            return m;
        timemap();
        m.lengthms = std::llround(us(lasttick) / 1000);
        lyrics();
        return m;
    }

private:
    // Sets the error, unless one is set already, and gives the result so far.
    midisong fail(const std::string& why)
    {
        if (m.error.empty())
            m.error = why;
        return m;
    }

    // Finds the Standard MIDI File: the bytes themselves, or the "data" chunk of a RIFF "RMID" file (the
    // wrapper some Windows programs save .rmi files in). False, with the error set, when there is none.
    bool unwrap(const std::string& bytes)
    {
        cursor c{bytes, 0, bytes.size()};
        std::string magic, form;
        uint32_t riffsize;
        if (c.take(4, &magic) && magic == "MThd") {
            m.smf = bytes;
            return true;
        }
        if (magic != "RIFF" || !c.little(4, &riffsize) || !c.take(4, &form) || form != "RMID") {
            fail("not a MIDI file: it starts with neither \"MThd\" nor a RIFF \"RMID\" header");
            return false;
        }
        // RIFF chunks: a name, a little-endian length, the data, a pad byte after an odd length.
        std::string id;
        uint32_t n;
        while (c.take(4, &id) && c.little(4, &n)) {
            if (n > c.left()) {
                fail("the RIFF chunk \"" + printable(id) + "\" is said to hold " + std::to_string(n) +
                     " bytes, but the file ends after " + std::to_string(c.left()) + ": truncated");
                return false;
            }
            if (id == "data") {
                c.take(n, &m.smf);
                if (m.smf.compare(0, 4, "MThd") == 0)
                    return true;
                fail("the RIFF \"data\" chunk holds no Standard MIDI File (\"MThd\")");
                return false;
            }
            c.at += std::min<size_t>(c.left(), size_t(n) + (n & 1));
        }
        fail("a RIFF \"RMID\" file without a \"data\" chunk: there is no MIDI in it");
        return false;
    }

    static std::string printable(const std::string& s)
    {
        std::string out;
        for (char c : s)
            out += c >= 0x20 && c < 0x7F ? c : '?';
        return out;
    }

    // Reads the header chunk: the format, the tracks it promises and the division. False, with the
    // error set, for a header cut short, an unknown format or a division that times nothing.
    bool header()
    {
        cursor c{m.smf, 4, m.smf.size()};
        uint32_t length, format, ntracks, division;
        if (!c.big(4, &length) || length < 6 || length > c.left()) {
            fail("the MIDI header is cut short: the file is truncated or no MIDI file");
            return false;
        }
        c.big(2, &format);
        c.big(2, &ntracks);
        c.big(2, &division);
        if (format > 2) {
            fail("MIDI format " + std::to_string(format) + ": only formats 0, 1 and 2 exist");
            return false;
        }
        promised = int(ntracks);
        if (division & 0x8000) {
            // SMPTE: the high byte is minus the frames a second, the low byte the ticks a frame.
            int fps = 256 - int(division >> 8);
            int tpf = int(division & 0xFF);
            if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || tpf == 0) {
                fail("the SMPTE division of " + std::to_string(fps) + " frames a second and " + std::to_string(tpf) +
                     " ticks a frame is none that exists: the song cannot be timed");
                return false;
            }
            // 29 stands for the 29.97 frames a second of NTSC colour video.
            smpteus = fps == 29 ? 1e6L * 1001 / (30000.0L * tpf) : 1e6L / ((long double)fps * tpf);
        } else if (division == 0) {
            fail("a division of 0 ticks a beat: the song cannot be timed");
            return false;
        } else {
            ppq = division;
        }
        chunkstart = 8 + size_t(length);
        return true;
    }

    // Reads the chunks after the header up to the tracks promised, each track's events among them. False,
    // with the error set, for a chunk longer than the file, one that starts where no chunk can (a wrong
    // length before it), a damaged track, or no track at all.
    bool chunks()
    {
        cursor c{m.smf, chunkstart, m.smf.size()};
        int found = 0;
        std::string id;
        uint32_t n = 0;
        while (found < promised && c.left() >= 8) {
            size_t at = c.at;
            c.take(4, &id);
            c.big(4, &n);
            bool named = std::all_of(id.begin(), id.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; });
            if (!named) {
                fail("no track where track " + std::to_string(found + 1) + " should start (byte " + std::to_string(at) +
                     "): the length of the chunk before it is wrong");
                return false;
            }
            if (n > c.left()) {
                fail((id == "MTrk" ? "track " + std::to_string(found + 1) : "the chunk \"" + id + "\"") + " is said to hold " +
                     std::to_string(n) + " bytes, but the file ends after " + std::to_string(c.left()) + ": truncated");
                return false;
            }
            if (id == "MTrk") {
                found++;
                tracks.emplace_back();
                if (!events(at + 8, at + 8 + n, found))
                    return false;
            }
            // Chunks of other kinds are for other programs.
            c.at += n;
        }
        if (found < promised)
            r.warning(0, "the header promises " + std::to_string(promised) + " tracks, but the file holds " +
                             std::to_string(found) + ": read those");
        if (found == 0) {
            fail("the file holds no track (\"MTrk\")");
            return false;
        }
        return true;
    }

    // Reads the events of track index, bytes [from, to) of the file, keeping its tempo, text, lyric
    // and name events. False, with the error set, where an event cannot be read within the track.
    bool events(size_t from, size_t to, int index)
    {
        cursor c{m.smf, from, to};
        track& t = tracks.back();
        long long tick = 0;
        unsigned running = 0;
        std::string where = "track " + std::to_string(index) + ": ";
        while (c.left() > 0) {
            uint32_t delta;
            int got = c.vlq(&delta);
            if (got == 2) {
                fail(where + "a time of more than four bytes at byte " + std::to_string(c.at - 4) + ": the file is damaged");
                return false;
            }
            if (got == 1)
                return cut(where);
            tick += delta;
            unsigned status;
            if (!c.byte(&status))
                return cut(where);
            if (status < 0x80) {
                // Running status: the status of the channel event before, and this is its first data byte.
                if (!running) {
                    fail(where + "a data byte with no event before it at byte " + std::to_string(c.at - 1) +
                         ": the file is damaged");
                    return false;
                }
                c.at--;
                status = running;
            }
            if (status < 0xF0) {
                running = status;
                size_t need = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
                if (c.left() < need)
                    return cut(where);
                c.at += need;
            } else if (status == 0xF0 || status == 0xF7) {
                uint32_t n;
                if (c.vlq(&n) != 0 || n > c.left())
                    return cut(where);
                c.at += n;
            } else if (status == 0xFF) {
                unsigned type;
                uint32_t n;
                std::string data;
                if (!c.byte(&type) || c.vlq(&n) != 0 || !c.take(n, &data))
                    return cut(where);
                if (type == 0x2F)
                    break;
                meta(t, type, tick, data);
            } else {
                fail(where + "the event byte " + hex(status) + " at byte " + std::to_string(c.at - 1) +
                     " belongs in no MIDI file: the file is damaged");
                return false;
            }
        }
        lasttick = std::max(lasttick, tick);
        return true;
    }

    // Sets the error for an event that the track's end cuts short; always false.
    bool cut(const std::string& where)
    {
        fail(where + "an event runs past the end of the track: the track's length is wrong or the file is damaged");
        return false;
    }

    // Keeps what a meta event means for the song; the others are skipped. A tempo of 0, which would stop
    // the song's clock, is ignored with one warning.
    void meta(track& t, unsigned type, long long tick, const std::string& data)
    {
        if (type == 0x51 && data.size() == 3) {
            long long us = (unsigned char)data[0] << 16 | (unsigned char)data[1] << 8 | (unsigned char)data[2];
            if (us == 0) {
                if (!warnedtempo)
                    r.warning(0, "a tempo of 0 microseconds a beat: ignored");
                warnedtempo = true;
                return;
            }
            tempos.push_back({tick, us, 0});
        } else if (type == 0x01) {
            t.texts.push_back({tick, data});
            if (data.compare(0, 2, "@K") == 0)
                t.karaoke = true;
        } else if (type == 0x05) {
            t.lyrics.push_back({tick, data});
        } else if (type == 0x03) {
            t.name = data;
        }
    }

    // The microseconds from tick 0 to each tempo change; changes at the same tick in several tracks
    // take the one read last, tracks in file order.
    void timemap()
    {
        std::stable_sort(tempos.begin(), tempos.end(),
                         [](const tempochange& a, const tempochange& b) { return a.tick < b.tick; });
        long long tick = 0, us = DEFAULT_TEMPO;
        long double at = 0;
        for (tempochange& t : tempos) {
            at += (long double)(t.tick - tick) * us / ppq;
            t.at = at;
            tick = t.tick;
            us = t.us;
        }
    }

    // Microseconds from the start of the song to tick.
    long double us(long long tick) const
    {
        if (ppq == 0)
            return tick * smpteus;
        auto after = std::upper_bound(tempos.begin(), tempos.end(), tick,
                                      [](long long k, const tempochange& t) { return k < t.tick; });
        if (after == tempos.begin())
            return (long double)tick * DEFAULT_TEMPO / ppq;
        const tempochange& t = *(after - 1);
        return t.at + (long double)(tick - t.tick) * t.us / ppq;
    }

    // Whether a syllable has anything to sing: not only spaces and line breaks.
    static bool visible(const std::string& s)
    {
        return s.find_first_not_of(" \t\r\n/\\") != std::string::npos;
    }

    // Gathers the lines to sing from the text or the lyric events, as kar.h says; sets the error when
    // there are none.
    void lyrics()
    {
        // The karaoke track: one named "Words" or "Lyrics", else the one with the most syllables, the one
        // with the "@K" header first among equals. The header alone does not pick it: writers put it in
        // the first track and the syllables in another, as abc2midi does.
        auto syllables = [](const track& t) {
            return std::count_if(t.texts.begin(), t.texts.end(), [](const textevent& e) { return e.text.compare(0, 1, "@") != 0; });
        };
        int kar = -1;
        for (size_t k = 0; k < tracks.size() && kar < 0; k++) {
            std::string name = tracks[k].name;
            name.erase(0, std::min(name.size(), name.find_first_not_of(" \t")));
            name.erase(name.find_last_not_of(" \t\r\n\0", std::string::npos, 5) + 1);
            for (char& ch : name)
                if (ch >= 'A' && ch <= 'Z')
                    ch = char(ch - 'A' + 'a');
            if (syllables(tracks[k]) > 0 && (name == "words" || name == "lyrics"))
                kar = int(k);
        }
        long most = 0;
        for (size_t k = 0; k < tracks.size() && (kar < 0 || most > 0); k++) {
            long n = syllables(tracks[k]);
            if (n > most || (n > 0 && n == most && tracks[k].karaoke && !tracks[size_t(kar)].karaoke)) {
                most = n;
                kar = int(k);
            }
        }

        // Headers ("@T" title and artist) may stand in any track.
        std::vector<textevent> karsyllables, headers, lyricsyllables;
        for (const track& t : tracks)
            for (const textevent& e : t.texts)
                if (e.text.compare(0, 1, "@") == 0)
                    headers.push_back(e);
        if (kar >= 0)
            for (const textevent& e : tracks[size_t(kar)].texts)
                if (e.text.compare(0, 1, "@") != 0)
                    karsyllables.push_back(e);
        for (const track& t : tracks)
            lyricsyllables.insert(lyricsyllables.end(), t.lyrics.begin(), t.lyrics.end());
        std::stable_sort(lyricsyllables.begin(), lyricsyllables.end(),
                         [](const textevent& a, const textevent& b) { return a.tick < b.tick; });
        auto count = [](const std::vector<textevent>& v) {
            return std::count_if(v.begin(), v.end(), [](const textevent& e) { return visible(e.text); });
        };
        bool usekar = count(karsyllables) >= count(lyricsyllables);
        const std::vector<textevent>& chosen = usekar ? karsyllables : lyricsyllables;
        if (count(chosen) == 0) {
            fail("no lyrics: neither text events (.kar) nor lyric events hold a word to sing");
            return;
        }

        std::string all;
        for (const std::vector<textevent>* v : {static_cast<const std::vector<textevent>*>(&headers), &chosen})
            for (const textevent& e : *v)
                all += e.text;
        bool utf8 = isutf8(all);
        auto decode = [utf8](const std::string& s) { return utf8 ? s : toutf8(s, encoding::CP1252); };

        int titles = 0;
        for (const textevent& e : headers)
            if (e.text.compare(0, 2, "@T") == 0) {
                std::string v = decode(e.text.substr(2));
                v.erase(0, std::min(v.size(), v.find_first_not_of(" ")));
                v.erase(v.find_last_not_of(" \r\n") + 1);
                if (v.empty())
                    continue;
                if (titles == 0)
                    m.s.title = v;
                else if (titles == 1)
                    m.s.artist = v;
                titles++;
            }
        for (const textevent& e : chosen)
            syllable(e.tick, decode(e.text));
        newline(-1, false);
        if (m.s.lines.empty())
            fail("no lyrics: every syllable lies more than 277 hours from the start of the song");
    }

    // One text or lyric event: CR and LF end the line at this point, "\" and "/" before any text of the
    // event start a new one.
    void syllable(long long tick, const std::string& text)
    {
        long double t = us(tick) / 1000 - offset;
        if (std::fabs(t) > (long double)MAX_SONG_MS) {
            if (!warnedfar)
                r.warning(0, "a syllable lies more than 277 hours from the start of the song: skipped");
            warnedfar = true;
            return;
        }
        long long at = std::llround(t);
        bool bare = !visible(text);
        std::string part;
        bool started = false;
        for (char c : text) {
            bool marker = (c == '/' || c == '\\') && !started;
            if (c == '\r' || c == '\n' || marker) {
                add(at, part);
                part.clear();
                newline(at, bare);
                continue;
            }
            started = true;
            part += c;
        }
        add(at, part);
    }

    // Adds a syllable to the line being gathered; one of spaces alone goes to the syllable before.
    void add(long long at, const std::string& text)
    {
        if (text.empty())
            return;
        if (!visible(text)) {
            // Spaces sung at no time of their own still part the words around them.
            if (!current.pieces.empty())
                current.pieces.back().text += text;
            return;
        }
        if (current.pieces.empty())
            current.ms = at;
        current.pieces.push_back({at, text});
    }

    // Ends the line being gathered; a break that comes alone after its last syllable tells when it ends.
    void newline(long long at, bool bare)
    {
        if (current.pieces.empty())
            return;
        if (bare && at > current.pieces.back().ms)
            current.end = at;
        m.s.lines.push_back(current);
        current = lyricline();
    }

    midisong m;
    const long long offset;
    report& r;
    size_t chunkstart = 0;
    int promised = 0;
    unsigned ppq = 0;              // ticks a beat; 0 for a SMPTE division
    long double smpteus = 0;       // microseconds a tick of a SMPTE division
    std::vector<track> tracks;
    std::vector<tempochange> tempos;
    long long lasttick = 0;
    bool warnedtempo = false, warnedfar = false;
    lyricline current;
};

} // namespace

songread readkar(const std::string& bytes, const std::string& name, const readoptions&)
{
    songread out;
    report r(name, &out.messages);
    midisong m = reader(0, r).read(bytes);
    out.s = std::move(m.s);
    out.smf = std::move(m.smf);
    out.lengthms = m.lengthms;
    out.error = std::move(m.error);
    return out;
}
