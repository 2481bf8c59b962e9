// The store's pure helpers on text: the data folders, kind names, song names split into artist and
// title, and a user's search made into a full-text query.
#include "storeimpl.h"

#include <cstdlib>

namespace {

// An XDG base folder: the variable when it holds an absolute path (the rules say to ignore a relative
// one), else HOME/fallback.
std::string xdgfolder(const char* variable, const char* fallback)
{
    const char* v = getenv(variable);
    if (v && v[0] == '/')
        return std::string(v) + "/tralune";
    const char* home = getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/" + fallback + "/tralune";
    return "";
}

bool isspace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && isspace(s[a]))
        a++;
    while (b > a && isspace(s[b - 1]))
        b--;
    return s.substr(a, b - a);
}

bool isletter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isdigit(char c)
{
    return c >= '0' && c <= '9';
}

// A disc code as karaoke discs number their tracks: "SC8126-05", "PHM0301-01", or a bare track number
// "05". Letters come first and are fewer than the digits (at least three), so a band such as
// "Blink182" is not taken for one; a name starting with a digit must be digits alone ("2Pac" is a band).
bool isdisccode(const std::string& s)
{
    if (s.empty())
        return false;
    int letters = 0, digits = 0;
    for (char c : s) {
        if (isletter(c))
            letters++;
        else if (isdigit(c))
            digits++;
        else if (c != '-')
            return false;
    }
    if (digits == 0)
        return false;
    if (isdigit(s[0]))
        return letters == 0;
    return digits >= 3 && letters < digits;
}

} // namespace

std::string defaultdatafolder()
{
    return xdgfolder("XDG_DATA_HOME", ".local/share");
}

std::string defaultcachefolder()
{
    return xdgfolder("XDG_CACHE_HOME", ".cache");
}

const char* kindname(songkind k)
{
    switch (k) {
    case songkind::cdg: return "cdg";
    case songkind::zip: return "zip";
    case songkind::midi: return "midi";
    case songkind::lrc: return "lrc";
    case songkind::ultrastar: return "ultrastar";
    case songkind::ass: return "ass";
    case songkind::script: return "script";
    }
    return "";
}

const char* kindlabel(songkind k)
{
    switch (k) {
    case songkind::cdg: return "MP3+G";
    case songkind::zip: return "MP3+G zip";
    case songkind::midi: return "MIDI";
    case songkind::lrc: return "LRC";
    case songkind::ultrastar: return "UltraStar";
    case songkind::ass: return "ASS";
    case songkind::script: return "tralune";
    }
    return "";
}

void splitsongname(const std::string& stem, nameorder order, std::string& artist, std::string& title)
{
    std::string name = stem;
    for (char& c : name)
        if (c == '_')
            c = ' ';
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t dash = name.find(" - ", start);
        if (dash == std::string::npos) {
            parts.push_back(trim(name.substr(start)));
            break;
        }
        parts.push_back(trim(name.substr(start, dash - start)));
        start = dash + 3;
    }
    if (parts.size() >= 3 && isdisccode(parts[0]))
        parts.erase(parts.begin());
    artist.clear();
    title.clear();
    if (parts.size() >= 2) {
        // The part that names the artist is one part; every dash beyond belongs to the title.
        size_t first = order == nameorder::artisttitle ? 1 : 0;
        size_t last = order == nameorder::artisttitle ? parts.size() : parts.size() - 1;
        artist = order == nameorder::artisttitle ? parts.front() : parts.back();
        for (size_t i = first; i < last; i++)
            title += (i > first ? " - " : "") + parts[i];
    }
    if (artist.empty() || title.empty()) {
        artist.clear();
        title = trim(name);
    }
}

std::string ftsquery(const std::string& text)
{
    // Bounded so that a pasted page of text cannot make a query of thousands of terms.
    const size_t MAX_WORDS = 16;
    std::string query;
    size_t words = 0, i = 0;
    while (i < text.size() && words < MAX_WORDS) {
        // Letters and digits make words; bytes of non-ASCII characters count as letters, and the
        // index's own tokenizer splits any it takes for separators inside the quoted phrase.
        auto wordbyte = [](unsigned char c) { return c >= 0x80 || isletter(char(c)) || isdigit(char(c)); };
        if (!wordbyte((unsigned char)text[i])) {
            i++;
            continue;
        }
        size_t start = i;
        while (i < text.size() && wordbyte((unsigned char)text[i]))
            i++;
        if (words++)
            query += " AND ";
        // No quote can be inside: '"' separates words.
        query += "\"" + text.substr(start, i - start) + "\"*";
    }
    return query;
}

std::string validutf8(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = (unsigned char)s[i];
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool whole = n > 0 && i + n <= s.size();
        for (size_t k = 1; whole && k < n; k++)
            whole = ((unsigned char)s[i + k] >> 6) == 2;
        if (whole && n > 1) {
            // Overlong forms, surrogates and code points past U+10FFFF are not well-formed either.
            unsigned cp = c & (0x7F >> n);
            for (size_t k = 1; k < n; k++)
                cp = (cp << 6) | ((unsigned char)s[i + k] & 0x3F);
            static const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
            whole = cp >= least[n] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        }
        if (whole) {
            out.append(s, i, n);
            i += n;
        } else {
            // Latin-1: the byte is its own code point.
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
            i++;
        }
    }
    return out;
}
