// The lyric importers' script writer.
#include "lyrics.h"
#include "cli.h"
#include "font.h"
#include "fontmaker.h"
#include "gfx.h"
#include "script.h"
#include "text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

// How long the last line stays up after its last piece.
const long long HOLD_LAST_MS = 3000;
// A line whose end the file does not give stays at most this long after its last piece when the next
// line is later still (an instrumental break the file marks with no empty line).
const long long HOLD_UNENDED_MS = 10000;
// The next line waits at most this long after a line's last piece is highlighted, or half the time to
// its own first piece, so that the last piece is seen highlighted.
const long long SEEN_MS = 1000;
// Where a file does not say how long a piece with several words lasts, it is taken to last at most this
// long a character, about the pace of singing, when a line break cuts it.
const long long MS_PER_CHARACTER = 100;
// tralune reads 99 characters of a line: "text(" and ")" and two "%" marks leave 91 for the text,
// "textrow(1," and ")" and the marks 86.
const size_t MAX_LINE = 99;
const size_t MAX_TEXT = 91;
const size_t MAX_ROW_TEXT = 86;
// A time before anything: a line may appear as early as it likes.
const long long NO_LEAD = 1000000000000LL;
// No song file is anywhere near this; it keeps a mistaken argument (a disc image) from filling memory.
const long long MAX_FILE_BYTES = 64LL << 20;
// The font made for a folder that has none: the demo's, bold so that it stands out on a picture, at a
// size where a line of about 30 characters fits the screen.
const char DEFAULT_FONT_NAME[] = "DejaVu Sans Bold";
const int DEFAULT_FONT_SIZE = 32;

// Loads a font image held in memory into f, through an anonymous file: the player's decoder reads
// files. true when it loaded.
bool loadfrommemory(font& f, const std::vector<uint8_t>& pcx)
{
    int fd = memfd_create("font.pcx", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd, pcx.data(), pcx.size()) == ssize_t(pcx.size()) &&
              f.loadfont(("/proc/self/fd/" + std::to_string(fd)).c_str()) == 0;
    close(fd);
    return ok;
}

bool parseinteger(const std::string& text, long long min, long long max, long long* value)
{
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size() || text.size() > 12 || text.find_first_not_of("0123456789", i) != std::string::npos)
        return false;
    *value = std::stoll(text);
    return *value >= min && *value <= max;
}


// A line of text on its way to the screen: its bytes, and for each byte the piece of the lyric line it
// comes from and its place in the whole line's text.
struct layout {
    std::string text;
    std::vector<int> owner;
    std::vector<size_t> pos;

    void append(const layout& from, size_t i, size_t j)
    {
        text.append(from.text, i, j - i);
        owner.insert(owner.end(), from.owner.begin() + long(i), from.owner.begin() + long(j));
        pos.insert(pos.end(), from.pos.begin() + long(i), from.pos.begin() + long(j));
    }
};

// Where each piece of a lyric line lies in its text and in time.
struct span {
    long long start, stop;   // when it is sung, and when the next piece is
    size_t begin, length;    // its bytes in the line's text, from its first that is no space
};

// One line on the screen: its text and the pieces highlighted on it, in order.
struct screenline {
    std::string text;
    struct part {
        long long ms;
        size_t from, to;   // the bytes of text that are highlighted, spaces around them left out
    };
    std::vector<part> parts;
};

// What the script shows, in order: a screen line, or an instrumental gap that clears the text.
struct shownline {
    bool gap;
    long long ms;       // a gap's time; for a line, its first part's
    screenline sl;
    long long end;      // when the last piece of its lyric line ends, for the last screen line of a lyric
                        // line whose file says so; else -1
};

class writer {
public:
    writer(const song& s, const scriptoptions& o, report& r, scriptfont* made)
        : s(s), o(o), r(r), made(made), rows(o.rows)
    {
        std::string fontpath = o.font.empty() ? under(folderof(o.output), "font.pcx") : o.font;
        struct stat st;
        bool present = !o.font.empty() || lstat(fontpath.c_str(), &st) == 0;
        havefont = present && f.loadfont(fontpath.c_str()) == 0;
        if (present && !havefont)
            r.warning(0, "the font " + quoted(fontpath) + " cannot be read: lines are only split to fit a script line");
        *made = scriptfont();
        if (!present)
            makefontfor(fontpath);
        // tralune refuses a row that does not fit the screen.
        if (rows == 2 && havefont && SCREEN_H / f.height < 2) {
            r.warning(0, "the font " + quoted(fontpath) + " is " + std::to_string(f.height) +
                             " rows high: two rows of it do not fit the screen, so the script shows one");
            rows = 1;
        }
        maxtext = rows == 1 ? MAX_TEXT : MAX_ROW_TEXT;
        if (!o.picture.empty()) {
            std::string picture = under(folderof(o.output), o.picture);
            MEM_Sprite sprite;
            if (gfx::loadPCX(&sprite, picture.c_str()) != 0)
                r.warning(0, "the picture " + quoted(picture) + " cannot be read: tralune will show nothing there");
            else
                delete[] sprite.pixels;
        }
    }
    ~writer() { delete[] f.image.pixels; }

    std::string write(const std::string& heading)
    {
        out = commentline(heading);
        for (size_t i = 0; i < s.lines.size(); i++) {
            const lyricline& l = s.lines[i];
            long long next = i + 1 < s.lines.size() ? s.lines[i + 1].ms : -1;
            lay(l, next);
        }
        // The title is seen until the first line appears (or the first gap clears it); where that is
        // at once, drawing it would only flash it for a frame.
        bool titleseen = !shown.empty() && (shown[0].gap ? shown[0].ms : shown[0].ms - o.lead) > 0;
        std::string both = s.title + (s.title.empty() || s.artist.empty() ? "" : " - ") + s.artist;
        for (const std::string& t : {both, s.title}) {
            std::vector<screenline> title = fit(clean(t, 0), {{0, 0, 0, 1}});
            if (titleseen && (title.size() == 1 || (!title.empty() && t == s.title))) {
                clear();
                text(0, title[0].text);
                break;
            }
        }
        show();
        at(std::max(now, lastend >= 0 ? lastend : lastms) + HOLD_LAST_MS);
        if (!missing.empty()) {
            std::string names;
            for (int ch : missing) {
                names += names.empty() ? "\"" : ", \"";
                appendutf8(names, ch);
                names += "\" (" + codepointname(ch) + ")";
            }
            r.warning(0, "the font has no glyph for " + names + ": tralune leaves them out");
        }
        return out;
    }

private:
    // A folder without a font would play its song to a blank screen: one is made for it, measured
    // with here and saved beside the script by savescript.
    void makefontfor(const std::string& fontpath)
    {
        std::vector<uint8_t> pcx;
        std::string why = defaultscriptfont(&pcx);
        if (why.empty() && !loadfrommemory(f, pcx))
            why = std::string("cannot load it: ") + strerror(errno);
        if (!why.empty()) {
            r.warning(0, "no font beside the script, and none can be made: " + why +
                             "; every text line will be blank (tralune-mkfont makes a font)");
            return;
        }
        havefont = true;
        made->path = fontpath;
        made->pcx = std::move(pcx);
    }

    void at(long long ms)
    {
        if (ms <= now)
            return;
        now = ms;
        // Before the song starts there is nothing to wait for: what comes first is shown at once.
        if (ms >= 0)
            out += "at(" + writesongtime(ms) + ")\n";
    }
    // Clears the text rows, unless nothing has been drawn since they last were. A picture is drawn on
    // the background colour: one that does not reach the text rows would leave the old lines there.
    void clear()
    {
        if (!blank)
            out += "clearscreen(" + o.background + ")\n" + (o.picture.empty() ? "" : "setimg(" + o.picture + ")\n");
        blank = true;
    }
    // Draws t on a row: 0 the bottom, 1 the one above it. One-row scripts use "text", as they always have.
    void text(int row, const std::string& t)
    {
        out += (rows == 1 ? "text(" : "textrow(" + std::to_string(row) + ",") + t + ")\n";
        blank = false;
    }

    // The pieces' text without what cannot stand in a script line: ")" ends the argument, "%" switches
    // the highlight, a control character (a NUL cuts the line short) has no business there; tabs and
    // the like become spaces. One warning for the line when anything was left out. Characters the font
    // has no glyph for are noted for the warning at the end.
    layout clean(const std::string& raw, int source, int owner = 0, size_t at = 0)
    {
        layout l;
        bool dropped = false;
        for (const char* p = raw.c_str(); p < raw.c_str() + raw.size();) {
            const char* from = p;
            int ch = *p ? font::nextchar(p) : *p++;
            if (ch == '\t' || ch == '\v' || ch == '\f')
                ch = ' ';
            if (ch == ')' || ch == '%' || ch < 0x20 || ch == 0x7F) {
                dropped = true;
                continue;
            }
            if (havefont && ch != ' ' && !f.hasglyph(ch) && std::find(missing.begin(), missing.end(), ch) == missing.end())
                missing.push_back(ch);
            l.text.append(from, ch == ' ' ? from + 1 : p);
            if (ch == ' ')
                l.text.back() = ' ';
            l.owner.resize(l.text.size(), owner);
            while (l.pos.size() < l.text.size())
                l.pos.push_back(at + l.pos.size());
        }
        if (dropped && source != warnedsource)
            r.warning(source, "\")\", \"%\" and control characters cannot stand in a script line: left out");
        if (dropped)
            warnedsource = source;
        return l;
    }

    bool fits(const std::string& t)
    {
        return t.size() <= maxtext && (!havefont || f.textwidth(t.c_str()) < SCREEN_W);
    }

    // Splits a line into screen lines that fit, at spaces; a word too long for a line on its own is cut
    // between two characters. Runs of spaces become one, spaces at the ends are dropped. Each run of a
    // piece's bytes on a screen line is highlighted on its own: at the piece's time where the piece
    // starts, and, for the rest of a piece that a line break cut, at a time between the piece's and the
    // next one's in proportion to where the break fell, so that a long line moves on screen by screen.
    std::vector<screenline> fit(const layout& in, const std::vector<span>& spans)
    {
        std::vector<layout> words;
        for (size_t i = 0; i < in.text.size();) {
            size_t j = in.text.find(' ', i);
            if (j == std::string::npos)
                j = in.text.size();
            if (j > i) {
                words.emplace_back();
                words.back().append(in, i, j);
            }
            i = j + 1;
        }
        std::vector<layout> lines;
        for (layout& w : words) {
            if (!lines.empty() && fits(lines.back().text + " " + w.text)) {
                // The space between two words goes with the word before it.
                layout& l = lines.back();
                l.text += ' ';
                l.owner.push_back(l.owner.back());
                l.pos.push_back(l.pos.back() + 1);
                l.append(w, 0, w.text.size());
                continue;
            }
            // A word that fits no line alone is cut after as many whole characters as fit. Anything
            // longer than a script line does not fit, so only that much of the rest is ever measured.
            size_t from = 0;
            while (!fits(w.text.substr(from, maxtext + 1))) {
                size_t cut = 0;
                for (const char* p = w.text.c_str() + from; *p;) {
                    font::nextchar(p);
                    size_t n = size_t(p - w.text.c_str()) - from;
                    if (!fits(w.text.substr(from, n)))
                        break;
                    cut = n;
                }
                cut = std::max<size_t>(cut, 1);
                lines.emplace_back();
                lines.back().append(w, from, from + cut);
                from += cut;
            }
            if (from < w.text.size()) {
                lines.emplace_back();
                lines.back().append(w, from, w.text.size());
            }
        }
        std::vector<screenline> screens;
        for (const layout& l : lines) {
            screenline sl;
            sl.text = l.text;
            for (size_t i = 0; i < l.text.size();) {
                size_t j = i;
                while (j < l.text.size() && l.owner[j] == l.owner[i])
                    j++;
                size_t from = i, to = j;
                while (from < to && l.text[from] == ' ')
                    from++;
                while (to > from && l.text[to - 1] == ' ')
                    to--;
                if (from < to) {
                    const span& sp = spans[size_t(l.owner[i])];
                    long long into = (long long)l.pos[from] - (long long)sp.begin;
                    long long ms = into <= 0 ? sp.start : sp.start + (sp.stop - sp.start) * into / (long long)sp.length;
                    sl.parts.push_back({ms, from, to});
                }
                i = j;
            }
            screens.push_back(sl);
        }
        return screens;
    }

    void lay(const lyricline& l, long long nextline)
    {
        if (l.pieces.empty()) {
            // An instrumental gap: the text clears at its time.
            shown.push_back({true, l.ms, {}, -1});
            return;
        }
        layout all;
        std::vector<span> spans;
        for (size_t k = 0; k < l.pieces.size(); k++) {
            // Times never go back, even where a file's stamps do.
            long long start = l.pieces[k].ms;
            if (!spans.empty() && start < spans.back().start) {
                if (warnedback != l.source)
                    r.warning(l.source, "a time goes back: highlighted together with the part before it");
                warnedback = l.source;
                start = spans.back().start;
            }
            layout part = clean(l.pieces[k].text, l.source, int(k), all.text.size());
            long long stop = k + 1 < l.pieces.size() ? l.pieces[k + 1].ms : l.end >= 0 ? l.end : -1;
            if (stop < 0)
                stop = std::min(nextline >= 0 ? nextline : LLONG_MAX,
                                start + MS_PER_CHARACTER * (long long)part.text.size());
            // A piece is sung from its first character: spaces before it (" twinkle") take no time.
            size_t lead = std::min(part.text.find_first_not_of(' '), part.text.size());
            spans.push_back({start, std::max(stop, start), all.text.size() + lead,
                             std::max<size_t>(part.text.size() - lead, 1)});
            all.append(part, 0, part.text.size());
        }
        // A line whose file does not say when it ends (a plain LRC line, a MIDI line without a break of
        // its own) is sung until the next line is due: it stays until then, or for at most
        // HOLD_UNENDED_MS after its last piece where the next line is far off.
        long long end = l.end;
        if (end < 0 && nextline >= 0)
            end = std::max(spans.back().start, std::min(nextline, spans.back().start + HOLD_UNENDED_MS));
        std::vector<screenline> screens = fit(all, spans);
        for (size_t k = 0; k < screens.size(); k++)
            if (!screens[k].parts.empty())
                shown.push_back({false, screens[k].parts[0].ms, screens[k], k + 1 == screens.size() ? end : -1});
    }

    // When the line sung last may give way to a line whose first part is sung at `first`: once its last
    // piece has ended, where the file says when, or else has been seen highlighted for a while (at
    // most half the time to `first`); not after `first` itself unless the last piece is held past it;
    // and not before `first` less `lead`.
    long long giveway(long long first, long long lead) const
    {
        if (lastgap)
            return std::max(first - lead, std::min(lastms, first));
        long long done = lastend >= 0 ? lastend : lastms + std::min(SEEN_MS, std::max(0LL, (first - lastms) / 2));
        return std::max({first - lead, std::min(done, first), lastend});
    }

    // Writes the lines laid out, each with its highlights, on one row or two. On two rows the lines
    // after a gap take the upper and the lower row by turns: while one is sung, the next stands
    // unhighlighted on the other row, and when a line is done the line after the next takes its row.
    void show()
    {
        size_t block = 0;   // the first line since the last gap
        for (size_t i = 0; i < shown.size(); i++) {
            const shownline& l = shown[i];
            if (l.gap) {
                // Not before the last line's last piece has ended.
                at(lastgap || lastend < 0 ? l.ms : std::max(l.ms, lastend));
                clear();
                lastms = std::max(now, l.ms);
                lastend = lastms;
                lastgap = true;
                block = i + 1;
                continue;
            }
            const screenline& sl = l.sl;
            bool two = rows == 2;
            // On two rows, a line after the first of its block is on screen already: what changes when
            // the line before it is done is the row that line leaves to the next.
            long long when = giveway(l.ms, two && i > block ? NO_LEAD : o.lead);
            // A line due before the song starts is shown at once, not held back to the song's start.
            if (when > 0)
                at(when);
            int row = two && (i - block) % 2 == 0 ? 1 : 0;
            clear();
            text(row, sl.text);
            if (two && i + 1 < shown.size() && !shown[i + 1].gap)
                text(1 - row, shown[i + 1].sl.text);
            for (const screenline::part& p : sl.parts) {
                at(p.ms);
                size_t from = o.fill ? sl.parts[0].from : p.from;
                text(row, sl.text.substr(0, from) + "%" + sl.text.substr(from, p.to - from) + "%" + sl.text.substr(p.to));
            }
            lastms = std::max(now, sl.parts.back().ms);
            lastgap = false;
            lastend = l.end >= 0 ? std::max(l.end, lastms) : -1;
        }
    }

    const song& s;
    const scriptoptions& o;
    report& r;
    scriptfont* made;
    font f;
    bool havefont = false;
    std::vector<int> missing;
    int warnedsource = -1, warnedback = -1;
    int rows;         // the text rows the script shows: o.rows, unless the font is too tall for two
    size_t maxtext;   // the longest text a script line can hold
    std::vector<shownline> shown;
    std::string out;
    bool blank = false;
    long long now = -1000000000;   // the time the script has waited for so far
    long long lastms = -1000000000, lastend = -1;
    bool lastgap = false;   // the last thing written was a gap, not a line
};

} // namespace

std::string folderof(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string under(const std::string& folder, const std::string& path)
{
    return path[0] == '/' || folder == "." ? path : folder + "/" + path;
}

std::string linktarget(const std::string& file, const std::string& folder, const report& r)
{
    auto real = [&](const std::string& path) {
        char* p = realpath(path.c_str(), nullptr);
        if (!p)
            r.fail("cannot link " + quoted(file) + ": " + (path == file ? "" : quoted(path) + ": ") +
                   strerror(errno));
        std::string s = p;
        free(p);
        return s;
    };
    std::string to = real(file), from = real(folder);
    // Both are absolute and without "." or ".." parts; compare them folder by folder.
    auto parts = [](const std::string& path) {
        std::vector<std::string> names;
        for (size_t i = 1; i < path.size();) {
            size_t j = path.find('/', i);
            j = j == std::string::npos ? path.size() : j;
            names.push_back(path.substr(i, j - i));
            i = j + 1;
        }
        return names;
    };
    std::vector<std::string> a = parts(from), b = parts(to);
    size_t common = 0;
    while (common < a.size() && common + 1 < b.size() && a[common] == b[common])
        common++;
    if (common == 0)
        return to;
    std::string rel;
    for (size_t i = common; i < a.size(); i++)
        rel += "../";
    for (size_t i = common; i < b.size(); i++)
        rel += b[i] + (i + 1 < b.size() ? "/" : "");
    return rel;
}

bool importoption(cmdline& cl, scriptoptions& o, bool songnamed)
{
    std::string v;
    long long n;
    if (cl.option("-o", v) || cl.option("--output", v)) {
        o.output = v;
    } else if (cl.option("--picture", v)) {
        if (v.size() > 91 || v.find_first_of(")%") != std::string::npos ||
            std::any_of(v.begin(), v.end(), [](char c) { return (unsigned char)c < 0x20; }))
            cl.fail("the picture " + quoted(v) + " cannot stand in a script line: at most 91 characters, no \")\" or \"%\"");
        o.picture = v;
    } else if (cl.option("--background", v)) {
        std::string colour;
        size_t at = 0;
        for (int k = 0; k < 3; k++) {
            size_t comma = k < 2 ? v.find(',', at) : v.size();
            if (comma == std::string::npos || !parseinteger(v.substr(at, comma - at), 0, 255, &n))
                cl.fail("bad colour " + quoted(v) + ": give R,G,B, each from 0 to 255, such as 0,0,64");
            colour += (k ? "," : "") + std::to_string(n);
            at = comma + 1;
        }
        o.background = colour;
    } else if (cl.option("--font", v)) {
        o.font = v;
    } else if (cl.option("--lead", v)) {
        if (!parseinteger(v, 0, 600000, &o.lead))
            cl.fail("bad lead " + quoted(v) + ": give milliseconds from 0 to 600000");
    } else if (cl.option("--rows", v)) {
        if (v != "1" && v != "2")
            cl.fail("bad rows " + quoted(v) + ": give 1 or 2");
        o.rows = v == "1" ? 1 : 2;
    } else if (cl.flag("--fill")) {
        o.fill = true;
    } else if (cl.flag("--no-fill")) {
        o.fill = false;
    } else if (cl.option("--offset", v)) {
        if (!parseinteger(v, -86400000, 86400000, &o.offset))
            cl.fail("bad offset " + quoted(v) + ": give milliseconds, such as -250 or +1200");
    } else if (songnamed && cl.flag("--song")) {
        o.songfile.clear();
        o.songwanted = true;
    } else if (cl.option("--song", v)) {
        o.songfile = v;
        o.songwanted = true;
    } else {
        return false;
    }
    return true;
}

const char* importoptionshelp(bool songnamed)
{
    static const std::string common =
        "  -o FILE             the script to write; - for standard output; default script.txt\n"
        "  --rows 1|2          text rows: 2 shows the next line above or below the one sung, the two\n"
        "                      lines taking the rows by turns; 1 shows the sung line alone; default 2\n"
        "  --picture FILE      show this PCX picture at the top, on the --background colour, before each\n"
        "                      line; keep it clear of the text rows (two font heights at the bottom)\n"
        "  --background R,G,B  the colour the screen is cleared to; default 0,0,0 (black)\n"
        "  --font FILE         the font to fit lines to; default font.pcx beside the script, made\n"
        "                      there from DejaVu Sans Bold when there is none\n"
        "  --lead MS           show a line up to MS milliseconds before it is sung; default 1000\n"
        "  --no-fill           highlight only the piece being sung, not the part of the line already\n"
        "                      sung (which stays highlighted by default, as --fill asks)\n"
        "  --offset MS         milliseconds added to the file's own offset; positive shows lyrics earlier\n";
    static const std::string file =
        common + "  --song FILE         link FILE as gnusong.mp3 beside the script, for tralune to play\n";
    static const std::string named =
        common + "  --song              link the song the file names as gnusong.mp3 beside the script, for\n"
                 "                      tralune to play\n"
                 "  --song=FILE         link FILE instead (the = is needed: a bare --song takes no value)\n";
    return (songnamed ? named : file).c_str();
}

std::string importfailure::text() const
{
    return file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": error: " + message;
}

void report::say(const std::string& line) const
{
    if (kept)
        kept->push_back(line);
    else if (to)
        fprintf(to, "%s\n", line.c_str());
}

void report::warning(int line, const std::string& message) const
{
    say(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": warning: " + message);
}

void report::note(const std::string& message) const
{
    say(file + ": note: " + message);
}

void report::progress(const std::string& label, int percent, bool done) const
{
    if (kept || !to)
        return;
    bool tty = isatty(fileno(to));
    if (done) {
        fprintf(to, tty ? "\r%s: 100%%\n" : "%s: 100%%\n", label.c_str());
        shown = -1;
    } else if (percent < 0) {
        // Given up: the line kept up to date ends.
        if (tty && shown >= 0)
            fprintf(to, "\n");
        shown = -1;
    } else if (tty ? percent != shown : percent / 25 > shown / 25 || shown < 0) {
        fprintf(to, tty ? "\r%s: %d%%" : "%s: %d%%\n", label.c_str(), tty ? percent : percent / 25 * 25);
        shown = percent;
    }
    fflush(to);
}

void report::fail(const std::string& message) const
{
    fail(0, message);
}

void report::fail(int line, const std::string& message) const
{
    importfailure f;
    f.file = file;
    f.line = line;
    f.message = message;
    throw f;
}

std::string readinput(const std::string& path, const report& r)
{
    // Only regular files: a pipe or a device could block for ever or never end.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        r.fail(std::string("cannot read it: ") + strerror(errno));
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        r.fail("cannot read it: not a regular file");
    }
    if (st.st_size > MAX_FILE_BYTES) {
        close(fd);
        r.fail("cannot read it: over " + std::to_string(MAX_FILE_BYTES >> 20) + " MB, too large for a song's text");
    }
    std::string bytes(size_t(st.st_size), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = read(fd, &bytes[got], bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int e = errno;
            close(fd);
            r.fail(std::string("cannot read it: ") + strerror(e));
        }
        if (n == 0)
            break;
        got += size_t(n);
    }
    close(fd);
    bytes.resize(got);
    return bytes;
}

std::string commentline(const std::string& heading)
{
    // A comment too is a line of at most 99 characters, and a line feed in a file's name would end
    // it: a long path is cut short, as tralune would cut it, but without losing the lines after it.
    std::string comment = "; ";
    for (char c : heading)
        comment += (unsigned char)c < 0x20 || c == 0x7F ? '?' : c;
    if (comment.size() > MAX_LINE) {
        size_t cut = MAX_LINE - 3;
        while (cut > 0 && ((unsigned char)comment[cut] & 0xC0) == 0x80)
            cut--;
        comment = comment.substr(0, cut) + "...";
    }
    return comment + "\n";
}

std::string makescript(const song& s, const scriptoptions& o, const std::string& heading, report& r,
                       scriptfont* made)
{
    if (o.offset == 0)
        return writer(s, o, r, made).write(heading);
    // --offset moves every time of the song; a positive one shows the lyrics earlier.
    song shifted = s;
    for (lyricline& l : shifted.lines) {
        l.ms -= o.offset;
        if (l.end >= 0)
            l.end -= o.offset;
        for (piece& p : l.pieces)
            p.ms -= o.offset;
    }
    return writer(shifted, o, r, made).write(heading);
}

std::string defaultscriptfont(std::vector<uint8_t>* pcx)
{
    fontstyle style;
    style.size = DEFAULT_FONT_SIZE;
    madefont font;
    std::string why = makefont(TRALUNE_DEFAULT_FONT, style, &font);
    if (why.empty())
        *pcx = std::move(font.pcx);
    return why;
}

std::string madefontnote(const std::string& path)
{
    return "no font was beside the script: made " + quoted(path) + " from " + DEFAULT_FONT_NAME + " at " +
           std::to_string(DEFAULT_FONT_SIZE) + " pixels";
}

bool ismp3(const std::string& path)
{
    std::string end = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : end)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return end == ".mp3";
}

std::string shellquoted(const std::string& path)
{
    std::string q = "'";
    for (char c : path)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
