// The LRC reader.
#include "lrc.h"
#include "cli.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

// One timed line as the file gives it, before sorting and joining.
struct stamped {
    long long ms;
    std::string text;            // its text, word stamps taken out
    std::vector<piece> words;    // enhanced: the words with their stamps, relative to the line's stamp
    long long end = -1;          // enhanced: a bare stamp at the end, relative to the line's stamp
    int source;
};

bool digits(const std::string& s, size_t from, size_t to, size_t least, size_t most)
{
    return to >= from && to - from >= least && to - from <= most &&
           std::all_of(s.begin() + long(from), s.begin() + long(to), [](char c) { return c >= '0' && c <= '9'; });
}

// A time stamp's inside, "m:ss", "mm:ss.fff" or "mm:ss:ff", in milliseconds; -1 when it is none.
long long stamptime(const std::string& t)
{
    size_t colon = t.find(':');
    if (colon == std::string::npos || !digits(t, 0, colon, 1, 3))
        return -1;
    size_t sep = t.find_first_of(".:", colon + 1);
    size_t secend = sep == std::string::npos ? t.size() : sep;
    if (!digits(t, colon + 1, secend, 1, 2))
        return -1;
    long long ms = std::stoll(t.substr(0, colon)) * 60000 + std::stoll(t.substr(colon + 1, secend - colon - 1)) * 1000;
    if (sep == std::string::npos)
        return ms;
    // ".5" is half a second and ".05" five hundredths: a decimal fraction. After a second colon come
    // hundredths, always two digits.
    bool hundredths = t[sep] == ':';
    if (!digits(t, sep + 1, t.size(), hundredths ? 2 : 1, hundredths ? 2 : 3))
        return -1;
    std::string f = t.substr(sep + 1);
    while (f.size() < 3)
        f += '0';
    return ms + std::stoll(f);
}

std::string trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Reads the enhanced word stamps out of a line's text. Without any, the whole text is one piece.
void readwords(const std::string& text, long long linems, stamped& line)
{
    long long at = 0;   // relative to the line's stamp
    std::string word;
    bool any = false;
    auto flush = [&] {
        if (!word.empty())
            line.words.push_back({at, word});
        word.clear();
    };
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '<') {
            size_t close = text.find('>', i);
            long long t = close == std::string::npos ? -1 : stamptime(text.substr(i + 1, close - i - 1));
            if (t >= 0) {
                flush();
                at = t - linems;
                any = true;
                i = close + 1;
                continue;
            }
        }
        word += text[i++];
    }
    // A bare stamp at the end ends the last word.
    if (any && trim(word).empty() && !line.words.empty())
        line.end = at;
    else
        flush();
    for (const piece& p : line.words)
        line.text += p.text;
    if (!any)
        line.words.clear();
}

// The text without a duet mark ("F:", "M:", "D:", who sings) before it.
std::string withoutduetmark(const std::string& text)
{
    size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos || a + 1 >= text.size() || text[a + 1] != ':' ||
        (text[a] != 'F' && text[a] != 'M' && text[a] != 'D'))
        return text;
    size_t b = text.find_first_not_of(" \t", a + 2);
    return b == std::string::npos ? "" : text.substr(b);
}

} // namespace

namespace {

bool readlines(const std::string& text, long long extraoffset, song& s, report& r)
{
    std::vector<stamped> lines;
    std::string title, artist;
    long long offset = 0;
    std::vector<std::string> rows = splitlines(text);
    for (size_t n = 0; n < rows.size(); n++) {
        int source = int(n) + 1;
        std::string row = trim(rows[n]);
        std::vector<long long> stamps;
        size_t i = 0;
        bool tag = false;
        while (i < row.size() && row[i] == '[') {
            size_t close = row.find(']', i);
            if (close == std::string::npos)
                break;
            std::string inside = row.substr(i + 1, close - i - 1);
            long long t = stamptime(inside);
            if (t >= 0) {
                stamps.push_back(t);
                i = close + 1;
                continue;
            }
            size_t colon = inside.find(':');
            std::string key = colon == std::string::npos ? "" : inside.substr(0, colon);
            if (!stamps.empty() || key.empty() ||
                !std::all_of(key.begin(), key.end(), [](char c) { return isalpha((unsigned char)c) || c == '#'; }))
                break;
            // A header tag: [key:value].
            tag = true;
            std::string value = trim(inside.substr(colon + 1));
            std::transform(key.begin(), key.end(), key.begin(), [](char c) { return char(tolower((unsigned char)c)); });
            if (key == "offset") {
                std::string v = value[0] == '+' ? value.substr(1) : value;
                if (!digits(v, v[0] == '-' ? 1 : 0, v.size(), 1, 9))
                    r.warning(source, "the offset " + quoted(value) + " is no number of milliseconds: ignored");
                else
                    offset = std::stoll(v);
            } else if (key == "ti") {
                title = value;
            } else if (key == "ar") {
                artist = value;
            }
            i = close + 1;
        }
        if (stamps.empty()) {
            if (!tag && !row.empty())
                r.warning(source, "no time stamp: line skipped");
            continue;
        }
        std::string rest = row.substr(i);
        for (long long t : stamps) {
            stamped line{t, "", {}, -1, source};
            readwords(withoutduetmark(rest), stamps[0], line);
            line.text = trim(line.text);
            lines.push_back(line);
        }
    }
    // The tags stand even without a line: a library lists a song by them.
    s.title = title;
    s.artist = artist;
    if (lines.empty())
        return false;

    std::stable_sort(lines.begin(), lines.end(), [](const stamped& a, const stamped& b) { return a.ms < b.ms; });
    long long shift = -(offset + extraoffset);
    for (size_t k = 0; k < lines.size();) {
        // Lines at the same time are one line: a translation beside the original, say.
        lyricline l;
        l.ms = lines[k].ms + shift;
        l.source = lines[k].source;
        std::set<std::string> seen;
        long long end = -1;
        for (; k < lines.size() && lines[k].ms + shift == l.ms; k++) {
            const stamped& x = lines[k];
            if (x.text.empty() || !seen.insert(x.text).second)
                continue;
            // A plain line joins the piece before it, so that a plain line and its translation are
            // highlighted together, whole, at their stamp.
            if (x.words.empty() && !l.pieces.empty())
                l.pieces.back().text += " / " + x.text;
            else if (x.words.empty())
                l.pieces.push_back({l.ms, x.text});
            for (size_t w = 0; w < x.words.size(); w++)
                l.pieces.push_back({l.ms + x.words[w].ms, (w == 0 && seen.size() > 1 ? "/ " : "") + x.words[w].text});
            if (x.end >= 0)
                end = std::max(end, l.ms + x.end);
        }
        l.end = end;
        s.lines.push_back(l);
    }
    return true;
}

} // namespace

songread readlrc(const std::string& bytes, const std::string& name, const readoptions&)
{
    songread out;
    report r(name, &out.messages);
    encoding used;
    std::string text = decodetext(bytes, encoding::LATIN1, &used);
    if (used == encoding::LATIN1)
        r.warning(0, "not UTF-8: read as Latin-1");
    if (!readlines(text, 0, out.s, r))
        out.error = "no line with a time stamp such as [01:02.50]: nothing to sing along to";
    return out;
}
