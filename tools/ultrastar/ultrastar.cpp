// The UltraStar reader.
#include "ultrastar.h"
#include "cli.h"
#include "script.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// What a song file gives for the script, and what it says beside it.
struct ultrastar {
    song s;
    std::string audio;
    std::string error;
};


bool blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// A decimal number with a comma or a point before its fraction ("315,08", "315.08"): song editors
// write whichever their language uses. A minus sign only where negative allows one; false for
// anything else.
bool readdecimal(const std::string& text, bool negative, double* value)
{
    std::string t = trim(text), c;
    size_t i = negative && !t.empty() && t[0] == '-' ? 1 : 0, digits = 0;
    bool point = false;
    c = t.substr(0, i);
    for (; i < t.size(); i++) {
        if (t[i] >= '0' && t[i] <= '9') {
            digits++;
            c += t[i];
        } else if ((t[i] == ',' || t[i] == '.') && !point) {
            point = true;
            c += '.';
        } else {
            return false;
        }
    }
    // Fifteen digits keep every number a double holds exactly, and far past any real song.
    if (digits == 0 || digits > 15)
        return false;
    *value = strtod(c.c_str(), nullptr);
    return true;
}

// A note line, a line break or a voice switch, read left to right; it never reads past the line.
struct cursor {
    const std::string& row;
    size_t at;

    bool end() const { return at >= row.size(); }
    // Skips spaces and tabs; whether there were any.
    bool blanks()
    {
        size_t from = at;
        while (!end() && blank(row[at]))
            at++;
        return at > from;
    }
    // A whole number of at most nine digits, after a minus sign where negative allows one; false,
    // with nothing taken, when there is none.
    bool integer(long long* value, bool negative)
    {
        size_t i = at;
        bool minus = negative && i < row.size() && row[i] == '-';
        if (minus)
            i++;
        size_t from = i;
        long long v = 0;
        for (; i < row.size() && row[i] >= '0' && row[i] <= '9'; i++) {
            if (i - from == 9)
                return false;
            v = v * 10 + (row[i] - '0');
        }
        if (i == from)
            return false;
        *value = minus ? -v : v;
        at = i;
        return true;
    }
};

// The file's text as UTF-8: marked or UTF-8 as it is, else as its header says, else Windows-1252,
// which older song editors wrote.
std::string decode(const std::string& bytes, report& r)
{
    encoding used;
    std::string text = decodetext(bytes, encoding::CP1252, &used);
    if (used != encoding::CP1252)
        return text;
    // Only ASCII matters in the header's keys and in the names of encodings, so the raw bytes do.
    std::vector<std::string> rows = splitlines(bytes);
    for (size_t n = 0; n < rows.size(); n++) {
        std::string row = trim(rows[n]);
        if (row.empty())
            continue;
        if (row[0] != '#')
            break;
        size_t colon = row.find(':');
        if (colon == std::string::npos || upper(trim(row.substr(1, colon - 1))) != "ENCODING")
            continue;
        std::string value = trim(row.substr(colon + 1)), name;
        for (char c : upper(value))
            if (c != '-' && c != '_' && c != ' ')
                name += c;
        if (name == "CP1252" || name == "WINDOWS1252")
            return text;
        if (name == "ISO88591" || name == "LATIN1")
            return toutf8(bytes, encoding::LATIN1);
        // "AUTO" leaves it to the reader, as no #ENCODING does.
        if (name == "AUTO")
            continue;
        r.warning(int(n) + 1, name == "UTF8" ? "#ENCODING says UTF-8, but the file is not: read as Windows-1252"
                                             : "the encoding " + quoted(toutf8(value, encoding::CP1252)) +
                                                   " is none of UTF-8, CP1252 and ISO-8859-1: read as Windows-1252");
        return text;
    }
    r.warning(0, "not UTF-8, and no #ENCODING says what it is: read as Windows-1252");
    return text;
}

class reader {
public:
    reader(int voice, long long offset, report& r) : chosen(1 << (voice - 1)), voice(voice), offset(offset), r(r) {}

    ultrastar read(const std::string& text)
    {
        std::vector<std::string> rows = splitlines(text);
        for (size_t n = 0; n < rows.size() && !ended && u.error.empty(); n++)
            row(rows[n], int(n) + 1);
        if (!innotes)
            startnotes();
        if (!u.error.empty())
            return u;
        flush();
        finish();
        return u;
    }

private:
    void row(const std::string& raw, int source)
    {
        // Spaces at the end are kept: they end the word of a note's syllable.
        size_t first = raw.find_first_not_of(" \t");
        std::string line = first == std::string::npos ? "" : raw.substr(first);
        if (line.empty()) {
            r.warning(source, "empty line: skipped");
            return;
        }
        if (line[0] == '#') {
            if (innotes)
                r.warning(source, "a header line among the notes: ignored");
            else
                header(line, source);
            return;
        }
        if (!innotes && !startnotes())
            return;
        switch (line[0]) {
        case ':': case '*': case 'F': case 'R': case 'G':
            note(line, source);
            break;
        case '-':
            linebreak(line, source);
            break;
        case 'P':
            voiceswitch(line, source);
            break;
        case 'E':
            ended = true;
            break;
        default:
            r.warning(source, "a line starting with " + quoted(line.substr(0, 1)) +
                                  " is no note, line break, voice or end: skipped");
        }
    }

    void header(const std::string& line, int source)
    {
        size_t colon = line.find(':');
        std::string key = colon == std::string::npos ? "" : upper(trim(line.substr(1, colon - 1)));
        if (key.empty()) {
            r.warning(source, "a header line is written #KEY:VALUE: skipped");
            return;
        }
        std::string value = trim(line.substr(colon + 1));
        if (key == "TITLE") {
            title = value;
        } else if (key == "ARTIST") {
            artist = value;
        } else if (key == "AUDIO") {
            audio = value;
        } else if (key == "MP3") {
            mp3 = value;
        } else if (key == "BPM") {
            bpm = value;
            bpmline = source;
        } else if (key == "GAP") {
            if (!readdecimal(value, true, &gap)) {
                gap = 0;
                r.warning(source, "the #GAP " + quoted(value) + " is no number of milliseconds: taken as 0");
            }
        } else if (key == "RELATIVE") {
            relative = upper(value) == "YES";
        } else if (key == "P1" || key == "DUETSINGERP1") {
            singer[0] = value;
        } else if (key == "P2" || key == "DUETSINGERP2") {
            singer[1] = value;
        }
    }

    // The header is over: without the beats a minute no note can be timed.
    bool startnotes()
    {
        innotes = true;
        double b = 0;
        if (bpmline == 0)
            u.error = "no #BPM: the notes cannot be timed without the song's beats a minute";
        else if (!readdecimal(bpm, false, &b) || b <= 0)
            u.error = "the #BPM " + quoted(bpm) + " of line " + std::to_string(bpmline) +
                      " is no number of beats a minute above 0: the notes cannot be timed";
        if (!u.error.empty())
            return false;
        // Beats are quarter notes: a #BPM of 300 counts 1200 beats a minute.
        beatms = 15000 / b;
        return true;
    }

    void note(const std::string& line, int source)
    {
        cursor c{line, 1};
        long long start, length, pitch;
        c.blanks();
        if (!c.integer(&start, true) || !c.blanks() || !c.integer(&length, false) || !c.blanks() ||
            !c.integer(&pitch, true) || (!c.end() && !blank(line[c.at]))) {
            r.warning(source, "a note is written TYPE START LENGTH PITCH TEXT, in whole beats: skipped");
            return;
        }
        if (!(mask & chosen))
            return;
        long long beat = (relative ? rel : 0) + start;
        double ms = gap + double(beat) * beatms - double(offset);
        double end = ms + double(length) * beatms;
        if (std::fabs(ms) > double(MAX_SONG_MS) || std::fabs(end) > double(MAX_SONG_MS)) {
            r.warning(source, "the note lies more than 277 hours from the start of the song: skipped");
            return;
        }
        // After the pitch comes one separator, then the syllable as it is, spaces and all.
        std::string text = c.end() ? "" : line.substr(c.at + 1);
        std::string syllable = trim(text);
        lyricline& l = current;
        if (syllable.empty() || syllable == "~" || syllable == "-") {
            // A held syllable, or a note without one: the syllable before goes on; a space at either side
            // still ends its word.
            if (!l.pieces.empty()) {
                if (syllable.size() != text.size() && l.pieces.back().text.back() != ' ')
                    l.pieces.back().text += ' ';
                l.end = std::max(l.end, std::llround(end));
            }
            return;
        }
        if (l.pieces.empty()) {
            l.ms = std::llround(ms);
            l.source = source;
        }
        l.pieces.push_back({std::llround(ms), text});
        l.end = std::max(l.end, std::llround(end));
    }

    void linebreak(const std::string& line, int source)
    {
        cursor c{line, 1};
        long long first = 0, second = 0;
        c.blanks();
        bool one = c.integer(&first, true);
        c.blanks();
        bool two = one && c.integer(&second, true);
        c.blanks();
        if (!c.end())
            r.warning(source, "a line break is written \"- BEAT\" or \"- BEAT BEAT\": its beats are not read");
        if (!(mask & chosen))
            return;
        flush();
        // In relative files the next line's beats count from here.
        if (relative)
            rel += two ? second : first;
    }

    void voiceswitch(const std::string& line, int source)
    {
        cursor c{line, 1};
        long long n = 0;
        c.blanks();
        bool read = c.integer(&n, false);
        c.blanks();
        flush();
        duet = true;
        if (read && c.end() && n >= 1 && n <= 3) {
            mask = int(n);
            return;
        }
        mask = 0;
        r.warning(source, "the voices are P1, P2 and P3 (both): the notes of " + quoted(line) + " are skipped");
    }

    void flush()
    {
        if (!current.pieces.empty())
            u.s.lines.push_back(current);
        current = lyricline();
    }

    void finish()
    {
        if (duet) {
            int other = 3 - voice;
            r.warning(0, "a duet: the script follows P" + std::to_string(voice) + singername(voice) + "; --voice " +
                             std::to_string(other) + " makes one for P" + std::to_string(other) + singername(other));
        }
        // The tags stand even without a syllable: a library lists a song by them.
        u.s.title = title;
        u.s.artist = artist;
        u.audio = audio.empty() ? mp3 : audio;
        if (u.s.lines.empty()) {
            if (voice == 2 && !duet)
                u.error = "--voice 2: the song is no duet, it has one voice";
            else
                u.error = std::string("no sung syllable") + (duet ? " for P" + std::to_string(voice) : "") +
                          ": nothing to sing along to";
            return;
        }
        std::stable_sort(u.s.lines.begin(), u.s.lines.end(),
                         [](const lyricline& a, const lyricline& b) { return a.ms < b.ms; });
    }

    std::string singername(int v) const
    {
        return singer[v - 1].empty() ? "" : " (" + singer[v - 1] + ")";
    }

    ultrastar u;
    const int chosen, voice;
    const long long offset;
    report& r;
    std::string title, artist, audio, mp3, bpm, singer[2];
    int bpmline = 0;
    double gap = 0, beatms = 0;
    bool relative = false, innotes = false, ended = false, duet = false;
    int mask = 1;            // the voices the notes are for now: 1 for P1, 2 for P2, 3 for both
    long long rel = 0;       // relative files: the beat of the chosen voice's last line break
    lyricline current;       // the line being gathered
};

} // namespace

songread readultrastar(const std::string& bytes, const std::string& name, const readoptions& o)
{
    songread out;
    report r(name, &out.messages);
    ultrastar u = reader(o.voice == 2 ? 2 : 1, 0, r).read(decode(bytes, r));
    out.s = std::move(u.s);
    out.audio = std::move(u.audio);
    out.error = std::move(u.error);
    return out;
}
