// The ASS/SSA reader.
#include "ass.h"
#include "cli.h"
#include "script.h"
#include "text.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

namespace {

// What a subtitle file gives for the script.
struct assfile {
    song s;
    std::string style;
    std::string error;
};

// A duration or a clock past this (about 115 days) is no song's; it keeps the sums far from overflow.
const long long MAX_CS = 999999999;
// The fields of an event before any Format: line, as the editors write them.
const std::vector<std::string> STANDARD = {"layer",   "start",   "end",    "style",  "name",
                                           "marginl", "marginr", "marginv", "effect", "text"};

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

std::string trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool startswith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// "h:mm:ss.cc": hours, minutes and seconds of up to nine digits each, then an optional fraction after
// "." or "," read by position (".5" is 500 ms, ".05" 50 ms, ".0625" 63 ms). false for anything else.
bool readtime(const std::string& field, long long* ms)
{
    std::string t = trim(field);
    size_t i = 0;
    long long part[3];
    for (int k = 0; k < 3; k++) {
        size_t from = i;
        long long v = 0;
        for (; i < t.size() && digit(t[i]); i++) {
            if (i - from == 9)
                return false;
            v = v * 10 + (t[i] - '0');
        }
        if (i == from)
            return false;
        part[k] = v;
        if (k < 2) {
            if (i >= t.size() || t[i] != ':')
                return false;
            i++;
        }
    }
    long long fraction = 0;
    if (i < t.size()) {
        if (t[i] != '.' && t[i] != ',')
            return false;
        size_t from = ++i;
        for (long long scale = 100; i < t.size() && digit(t[i]); i++, scale /= 10) {
            if (scale > 0)
                fraction += (t[i] - '0') * scale;
            else if (i - from == 3 && t[i] >= '5')
                fraction++;
        }
        if (i == from || i != t.size())
            return false;
    }
    *ms = ((part[0] * 60 + part[1]) * 60 + part[2]) * 1000 + fraction;
    return true;
}

// A tag's number at t[k] on, before end: digits, a fraction rounded away, a minus sign read as 0 (the
// renderers time nothing backwards). false, with k unmoved, when there is no digit.
bool tagnumber(const std::string& t, size_t& k, size_t end, long long* value)
{
    size_t i = k;
    while (i < end && t[i] == ' ')
        i++;
    bool minus = i < end && t[i] == '-';
    if (minus)
        i++;
    size_t from = i;
    long long v = 0;
    for (; i < end && digit(t[i]); i++)
        v = std::min(MAX_CS, v * 10 + (t[i] - '0'));
    if (i == from)
        return false;
    if (i + 1 < end && t[i] == '.' && digit(t[i + 1])) {
        if (t[i + 1] >= '5')
            v = std::min(MAX_CS, v + 1);
        for (i++; i < end && digit(t[i]);)
            i++;
    }
    *value = minus ? 0 : v;
    k = i;
    return true;
}

// One syllable of an event: its text, and when it is sung and ends in song time.
struct syllable {
    long long start, end;
    std::string text;
};

// An event's text read: its rows (split at \N), each a list of syllables.
struct eventtext {
    std::vector<std::vector<syllable>> rows;
    bool karaoke = false;   // it has a \k, \K, \kf or \ko tag
};

class textreader {
public:
    textreader(const std::string& t, long long start, long long end) : t(t), start(start), end(end) {}

    eventtext read()
    {
        out.rows.emplace_back();
        cur = {start, end, ""};
        for (size_t i = 0; i < t.size();) {
            if (t[i] == '{') {
                // Found once for all the "{" before it, so that a run of unclosed ones is read in one pass.
                if (nextclose != std::string::npos && nextclose <= i)
                    nextclose = t.find('}', i);
                // An unclosed "{" is shown as it is by the renderers, and so is sung here.
                if (nextclose != std::string::npos) {
                    block(i + 1, nextclose);
                    i = nextclose + 1;
                    continue;
                }
            }
            if (t[i] == '\\' && i + 1 < t.size() && (t[i + 1] == 'N' || t[i + 1] == 'n' || t[i + 1] == 'h')) {
                if (!drawing && t[i + 1] == 'N') {
                    flush();
                    out.rows.emplace_back();
                } else if (!drawing) {
                    // \n breaks a line only in one wrapping mode, and \h is a hard space: both a space here.
                    cur.text += ' ';
                }
                i += 2;
                continue;
            }
            if (!drawing)
                cur.text += t[i];
            i++;
        }
        flush();
        return out;
    }

private:
    long long when(long long cs) const { return std::min(end, start + 10 * cs); }

    void flush()
    {
        if (!cur.text.empty())
            out.rows.back().push_back(cur);
        cur.text.clear();
    }

    // The tags of one override block, between from and close; only the karaoke and drawing tags matter.
    void block(size_t from, size_t close)
    {
        // Searched for within the block only: a block without a tag must not cost a look at the rest.
        auto tag = [&](size_t k) { return size_t(std::find(t.begin() + long(k), t.begin() + long(close), '\\') - t.begin()); };
        for (size_t j = tag(from); j < close; j = tag(j + 1)) {
            size_t k = j + 1;
            if (k < close && (t[k] == 'k' || t[k] == 'K')) {
                bool settime = false;
                if (t[k] == 'k' && k + 1 < close && (t[k + 1] == 'f' || t[k + 1] == 'o'))
                    k++;
                else if (t[k] == 'k' && k + 1 < close && t[k + 1] == 't')
                    settime = (k++, true);
                k++;
                long long n = 100;
                bool given = tagnumber(t, k, close, &n);
                if (settime) {
                    // \kt sets the time the next syllable starts at, counted from the event's Start.
                    clock = given ? n : 0;
                    continue;
                }
                if (!out.karaoke)
                    cur.end = when(clock);   // the text before the first tag lasts until it
                flush();
                out.karaoke = true;
                cur = {when(clock), when(std::min(MAX_CS, clock + n)), ""};
                clock = std::min(MAX_CS, clock + n);
            } else if (k + 1 < close && t[k] == 'p' && (digit(t[k + 1]) || t[k + 1] == '-')) {
                // \p1 and up draw shapes from the text that follows, until \p0: no words in it.
                long long n = 0;
                k++;
                tagnumber(t, k, close, &n);
                drawing = n > 0;
            }
        }
    }

    const std::string& t;
    const long long start, end;
    eventtext out;
    syllable cur;
    size_t nextclose = 0;  // the first "}" at or after the last "{" read; npos when there is none
    long long clock = 0;   // centiseconds from the start at which the next syllable starts
    bool drawing = false;
};

// An event line as read.
struct event {
    bool comment;
    long long start, end;
    std::string style, effect, text;
    int source;
};

class reader {
public:
    reader(const std::string& style, long long offset, report& r) : wanted(style), offset(offset), r(r) {}

    assfile read(const std::string& bytes)
    {
        encoding used;
        std::string text = decodetext(bytes, encoding::CP1252, &used);
        if (text.find('\0') != std::string::npos) {
            a.error = "not a text file (it holds NUL bytes): no subtitles in it";
            return a;
        }
        std::vector<std::string> rows = splitlines(text);
        for (size_t n = 0; n < rows.size(); n++)
            row(rows[n], int(n) + 1);
        if (!sawevents) {
            a.error = "no [Events] section: no subtitles in it";
            return a;
        }
        if (used == encoding::CP1252)
            r.warning(0, "not UTF-8: read as Windows-1252");
        choose();
        return a;
    }

private:
    void row(const std::string& raw, int source)
    {
        std::string line = trim(raw);
        if (line.empty() || line[0] == ';')
            return;
        if (line[0] == '[' && line.back() == ']') {
            section = lower(trim(line.substr(1, line.size() - 2)));
            if (section == "events")
                sawevents = true;
            return;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            if (section == "events")
                r.warning(source, "an event line is written \"Dialogue: FIELDS\": skipped");
            return;
        }
        std::string key = lower(trim(line.substr(0, colon)));
        std::string value = line.substr(colon + 1);
        value.erase(0, std::min(value.find_first_not_of(" \t"), value.size()));
        if (section == "script info" && key == "title") {
            std::string title = trim(value);
            // The placeholders editors fill in for an unnamed file name no song.
            if (title != "<untitled>" && !(startswith(title, "Default ") && title.size() > 13 &&
                                           title.compare(title.size() - 5, 5, " file") == 0))
                a.s.title = title;
        } else if (section == "events" && key == "format") {
            format(value, source);
        } else if (section == "events" && (key == "dialogue" || key == "comment")) {
            eventline(value, key == "comment", source);
        }
        // Styles matter only by their names, which the events carry; other sections and keys (the
        // editors' own, pictures, sounds) have nothing to sing.
    }

    void format(const std::string& value, int source)
    {
        std::vector<std::string> names;
        for (size_t at = 0;;) {
            size_t comma = value.find(',', at);
            names.push_back(lower(trim(value.substr(at, comma == std::string::npos ? comma : comma - at))));
            if (comma == std::string::npos)
                break;
            at = comma + 1;
        }
        for (const char* need : {"start", "end", "text"})
            if (std::find(names.begin(), names.end(), need) == names.end()) {
                r.warning(source, std::string("the Format: line names no ") + need +
                                      " field: the events are read in the standard order");
                return;
            }
        fields = names;
    }

    int field(const char* name) const
    {
        auto i = std::find(fields.begin(), fields.end(), name);
        return i == fields.end() ? -1 : int(i - fields.begin());
    }

    void eventline(const std::string& value, bool comment, int source)
    {
        std::vector<std::string> v;
        size_t at = 0;
        for (size_t k = 0; k + 1 < fields.size(); k++) {
            size_t comma = value.find(',', at);
            if (comma == std::string::npos) {
                r.warning(source, "the event has " + std::to_string(k + 1) + " of the " +
                                      std::to_string(fields.size()) + " fields its Format: line names: skipped");
                return;
            }
            v.push_back(value.substr(at, comma - at));
            at = comma + 1;
        }
        // The last field, the text, is the rest of the line: commas in it are words' commas.
        v.push_back(value.substr(at));
        event e;
        e.comment = comment;
        e.source = source;
        int is = field("style"), ie = field("effect");
        e.style = is < 0 ? "" : trim(v[size_t(is)]);
        // Old files mark a style name with a "*" that is not part of it.
        if (!e.style.empty() && e.style[0] == '*')
            e.style.erase(0, 1);
        e.effect = ie < 0 ? "" : trim(v[size_t(ie)]);
        e.text = v[size_t(field("text"))];
        for (const char* name : {"start", "end"}) {
            const std::string& t = v[size_t(field(name))];
            if (!readtime(t, name[0] == 's' ? &e.start : &e.end)) {
                r.warning(source, std::string("the ") + (name[0] == 's' ? "Start" : "End") + " time " +
                                      quoted(trim(t)) + " is no h:mm:ss.cc time: skipped");
                return;
            }
        }
        if (e.end < e.start) {
            r.warning(source, "the event ends before it starts: skipped");
            return;
        }
        e.start -= offset;
        e.end -= offset;
        if (std::max(std::llabs(e.start), std::llabs(e.end)) > MAX_SONG_MS) {
            r.warning(source, "the event lies more than 277 hours from the start of the song: skipped");
            return;
        }
        events.push_back(e);
    }

    // Picks the lyric lines: which kind of event, which style, once each, in time order.
    void choose()
    {
        bool fx = false, originals = false;
        for (const event& e : events) {
            std::string effect = lower(e.effect);
            fx = fx || (!e.comment && effect == "fx");
            originals = originals || (e.comment && effect == "karaoke");
        }
        // Templater output is one line per syllable and effect layer; the Comment lines it was made from
        // hold the song's lines as they are sung. Lines the templater left alone (a translation) stay.
        std::vector<std::pair<const event*, eventtext>> lyrics;
        for (const event& e : events) {
            std::string effect = lower(e.effect);
            if (startswith(effect, "template") || startswith(effect, "code"))
                continue;
            bool templated = fx && originals;
            if (e.comment ? !(templated && effect == "karaoke") : templated && effect == "fx")
                continue;
            eventtext t = textreader(e.text, e.start, e.end).read();
            bool words = false;
            for (const auto& row : t.rows)
                for (const syllable& s : row)
                    words = words || !trim(s.text).empty();
            if (words)
                lyrics.emplace_back(&e, std::move(t));
        }
        if (lyrics.empty()) {
            a.error = "no Dialogue line with words: nothing to sing along to";
            return;
        }
        struct count {
            std::string style;
            int karaoke, lines;
        };
        std::vector<count> styles;
        std::map<std::string, size_t> at;
        for (const auto& l : lyrics) {
            auto i = at.emplace(l.first->style, styles.size()).first;
            if (i->second == styles.size())
                styles.push_back({l.first->style, 0, 0});
            count& c = styles[i->second];
            c.karaoke += l.second.karaoke;
            c.lines++;
        }
        // The styles but one, each with its number of karaoke lines; a dozen at most, so that a file
        // with a style for every line still gives a message one can read.
        auto names = [&](const std::string& but) {
            std::string list;
            size_t named = 0, shown = 12;
            for (const count& c : styles)
                if (c.style != but && named++ < shown)
                    list += (list.empty() ? "" : ", ") + quoted(c.style) + " (" + std::to_string(c.karaoke) + ")";
            if (named > shown)
                list += " and " + std::to_string(named - shown) + " more";
            return list;
        };
        const count* chosen = &styles[0];
        if (!wanted.empty()) {
            auto c = std::find_if(styles.begin(), styles.end(), [&](const count& c) { return c.style == wanted; });
            if (c == styles.end()) {
                a.error = "--style " + quoted(wanted) + ": no lyric line has that style; the styles with lines " +
                          "(and how many have karaoke tags) are " + names("");
                return;
            }
            chosen = &*c;
        } else {
            for (const count& c : styles)
                if (c.karaoke > chosen->karaoke || (c.karaoke == chosen->karaoke && c.lines > chosen->lines))
                    chosen = &c;
            if (styles.size() > 1)
                r.warning(0, "the lines come in " + std::to_string(styles.size()) + " styles: the script follows " +
                                 quoted(chosen->style) + ", the one with the most karaoke lines (" +
                                 std::to_string(chosen->karaoke) + "); --style NAME takes another: " +
                                 names(chosen->style));
        }
        a.style = chosen->style;
        if (chosen->karaoke == 0)
            r.warning(0, "no line of style " + quoted(a.style) +
                             " has karaoke tags ({\\k}): each line is highlighted whole at its Start");
        std::stable_sort(lyrics.begin(), lyrics.end(),
                         [](const auto& x, const auto& y) { return x.first->start < y.first->start; });
        // A line drawn twice at once (a border layer under a fill layer) is sung once.
        std::set<std::pair<long long, std::string>> seen;
        for (const auto& l : lyrics) {
            if (l.first->style != a.style)
                continue;
            std::string words;
            for (const auto& row : l.second.rows) {
                for (const syllable& s : row)
                    words += s.text;
                words += '\n';
            }
            if (seen.insert({l.first->start, words}).second)
                addlines(*l.first, l.second);
        }
    }

    // The rows of an event as lyric lines: a piece for each syllable, spaces kept with the syllable
    // before them; syllables sung at the same moment are one piece.
    void addlines(const event& e, const eventtext& t)
    {
        std::vector<const std::vector<syllable>*> rows;
        for (const auto& row : t.rows)
            if (std::any_of(row.begin(), row.end(), [](const syllable& s) { return !trim(s.text).empty(); }))
                rows.push_back(&row);
        for (size_t k = 0; k < rows.size(); k++) {
            lyricline l;
            l.source = e.source;
            if (!t.karaoke) {
                // A plain line's rows share its time evenly, so that a two-row subtitle is sung top, then
                // bottom.
                long long n = (long long)rows.size(), span = e.end - e.start;
                std::string words;
                for (const syllable& s : *rows[k])
                    words += s.text;
                l.pieces.push_back({e.start + span * (long long)k / n, words});
                l.end = e.start + span * ((long long)k + 1) / n;
            }
            for (const syllable& s : t.karaoke ? *rows[k] : std::vector<syllable>()) {
                if (trim(s.text).empty() || (!l.pieces.empty() && l.pieces.back().ms == s.start)) {
                    if (!l.pieces.empty())
                        l.pieces.back().text += s.text;
                } else {
                    l.pieces.push_back({s.start, s.text});
                }
                l.end = std::max(l.end, s.end);
            }
            l.ms = l.pieces[0].ms;
            a.s.lines.push_back(l);
        }
    }

    assfile a;
    const std::string wanted;
    const long long offset;
    report& r;
    std::string section;
    bool sawevents = false;
    std::vector<std::string> fields = STANDARD;
    std::vector<event> events;
};

} // namespace

songread readass(const std::string& bytes, const std::string& name, const readoptions& o)
{
    songread out;
    report r(name, &out.messages);
    assfile a = reader(o.style, 0, r).read(bytes);
    out.s = std::move(a.s);
    out.style = std::move(a.style);
    out.error = std::move(a.error);
    return out;
}
