// The script checker.
#include "check.h"
#include "cdg.h"
#include "cli.h"
#include "font.h"
#include "gfx.h"
#include "script.h"
#include "text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

namespace {

// The song tralune plays, from the folder it is started in.
const char SONG[] = "gnusong.mp3";

// "m:ss.mmm".
std::string songtimename(long long ms)
{
    char name[32];
    snprintf(name, sizeof name, "%lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
    return name;
}

// Whether [from, to) is a whole decimal number as a person writes one: spaces around it, a sign, at
// least one digit, nothing else. The player reads more leniently (readnumber), and what it makes of
// "2s" or "abc" is seldom what was meant.
bool isnumber(const char* from, const char* to)
{
    while (from < to && isspace((unsigned char)*from))
        from++;
    while (to > from && isspace((unsigned char)to[-1]))
        to--;
    if (from < to && (*from == '+' || *from == '-'))
        from++;
    return from < to && std::all_of(from, to, [](char c) { return c >= '0' && c <= '9'; });
}

class checker {
public:
    checker(const std::string& path, const std::string& fontpath, std::ostream& out)
        : path(path), fontpath(fontpath), out(out)
    {
        fontloaded = f.loadfont(fontpath.c_str()) == 0;
    }
    ~checker() { delete[] f.image.pixels; }

    int run()
    {
        scriptfile in(path.c_str());
        if (!in.isopen()) {
            out << path << ": error: cannot open the script: " << strerror(errno) << "\n";
            return 1;
        }
        checkfolder();
        char text[100];
        for (line = 1; in.next(text); line++) {
            if (in.cut())
                error("this line is " + std::to_string(99 + in.skiprest()) +
                      " characters long; tralune reads 99 of it and loses every line after it");
            checkline(text, in);
        }
        long long length = std::max(0LL, clock - SONG_DELAY_NS / 1000) / 1000;
        out << path << ": " << errors << (errors == 1 ? " error, " : " errors, ") << warnings
            << (warnings == 1 ? " warning" : " warnings") << "; the script lasts " << songtimename(length)
            << " of song time\n";
        return errors > 0 ? 1 : 0;
    }

private:
    void report(const char* kind, const std::string& message)
    {
        if (line > 0)
            out << path << ":" << line << ": " << kind << ": " << message << "\n";
        else
            out << path << ": " << kind << ": " << message << "\n";
    }
    void error(const std::string& message)
    {
        report("error", message);
        errors++;
    }
    void warning(const std::string& message)
    {
        report("warning", message);
        warnings++;
    }

    void checkline(const char* text, scriptfile& in)
    {
        switch (s.parseline(text)) {
        case script::NOCMD:
            if (text[0])
                error("no \"(\" in this line: a command is written name(argument), a comment starts with \";\"");
            else if (in.atend())
                error("the file ends in two line feeds: its last line is empty, and tralune stops there");
            else
                error("empty line: tralune stops here");
            return;
        case script::NOARGS:
            error("no \")\" closes the argument");
            return;
        }
        if (!s.cmd[0])
            return;
        switch (s.findcommand()) {
        case script::TEXT:
            checktext(s.args, 0);
            break;
        case script::TEXTROW:
            checktextrow();
            break;
        case script::SETIMG:
            checkpicture();
            break;
        case script::SLEEP:
        case script::USLEEP:
            checkwait();
            break;
        case script::CLEARSCREEN:
            checkcolour();
            rows.clear();
            break;
        case script::AT:
            checkat();
            break;
        case script::CDG:
            checkcdg();
            break;
        case script::HOP:
        case script::BOUNCE:
            break;
        default:
            unknowncommand();
        }
    }

    // What the whole run lacks, said once before the lines: the font and the song, which tralune loads
    // from the folder it is started in.
    void checkfolder()
    {
        line = 0;
        struct stat st;
        if (!fontloaded && drawstext())
            warning("the font " + quoted(fontpath) +
                    (stat(fontpath.c_str(), &st) == 0 ? " cannot be read as a font image" : " is missing") +
                    ": every text line will be blank (tralune-mkfont makes a font)");
        if (stat(SONG, &st) != 0) {
            char target[4096];
            ssize_t n = readlink(SONG, target, sizeof target - 1);
            if (n > 0)
                warning(std::string("\"") + SONG + "\" links to " + quoted(std::string(target, size_t(n))) +
                        ", which is missing: the song will be silent");
            else
                warning(std::string("\"") + SONG + "\" is missing: the song will be silent");
        }
    }

    // Whether any line of the script draws text: a script that only plays a CD+G stream needs no font.
    bool drawstext()
    {
        scriptfile in(path.c_str());
        script p;
        char text[100];
        while (in.next(text)) {
            if (in.cut())
                in.skiprest();
            int c = p.parseline(text) == script::OK && p.cmd[0] ? p.findcommand() : script::UNKNOWN;
            if (c == script::TEXT || c == script::TEXTROW)
                return true;
        }
        return false;
    }

    void unknowncommand()
    {
        std::string message = "unknown command " + quoted(s.cmd);
        // Names are exact: "Text" and "text " (a space before the parenthesis) name nothing.
        std::string near;
        for (char c : std::string(s.cmd))
            if (!isspace((unsigned char)c))
                near += char(tolower((unsigned char)c));
        for (int c = 0; c < script::COMMANDS; c++)
            if (near == script::commandname(c))
                message += "; did you mean \"" + near + "\"?";
        error(message);
    }

    void checktextrow()
    {
        int row;
        const char* text;
        if (readtextrow(s.args, f.height, &row, &text) != 0) {
            int rows = f.height > 0 ? std::max(1, SCREEN_H / f.height) : SCREEN_H;
            std::string comma = strchr(s.args, ',') ? std::string(s.args, strchr(s.args, ',')) : s.args;
            error("cannot read the row " + quoted(comma) + ": write textrow(ROW,TEXT) with ROW a whole number from 0 to " +
                  std::to_string(rows - 1) + (fontloaded ? " (" + std::to_string(rows) + " rows of this font fit the screen)" : ""));
            return;
        }
        checktext(text, row);
    }

    // A text line drawn on a row that still shows a different one: both are seen mixed up. What a
    // "%" moves is the same line.
    void checkoverdraw(const char* text, int row, long long width)
    {
        std::string plain;
        for (const char* p = text; *p; p++)
            if (*p != '%')
                plain += *p;
        auto before = rows.find(row);
        if (before != rows.end() && before->second.text != plain)
            warning("this text is drawn over " + quoted(before->second.text) + " of line " + std::to_string(before->second.line) +
                    " on the same row, with nothing between that clears it: clear the row first (clearscreen, or a "
                    "picture that covers it)");
        rows[row] = {plain, line, width};
    }

    void checktext(const char* text, int row)
    {
        // Said once for the whole script, before its lines.
        if (!fontloaded)
            return;
        long long width = f.textwidth(text);
        if (width > 0 && width < SCREEN_W)
            checkoverdraw(text, row, width);
        if (width >= SCREEN_W)
            warning("the text is " + std::to_string(width) + " pixels wide and is not drawn at all: a line must be under " +
                    std::to_string(SCREEN_W));
        std::vector<int> missing;
        int marks = 0;
        for (const char* p = text; *p;) {
            int ch = font::nextchar(p);
            if (ch == '%')
                marks++;
            else if (!f.hasglyph(ch) && std::find(missing.begin(), missing.end(), ch) == missing.end())
                missing.push_back(ch);
        }
        if (!missing.empty()) {
            std::string names;
            for (int ch : missing) {
                names += names.empty() ? "" : ", ";
                // Control characters are named by their code point alone.
                if (ch >= 0x20 && ch != 0x7F && !(ch >= 0x80 && ch < 0xA0)) {
                    names += "\"";
                    appendutf8(names, ch);
                    names += "\" ";
                }
                names += "(" + codepointname(ch) + ")";
            }
            warning("the font has no glyph for " + names + ": left out");
        }
        if (marks % 2)
            warning("an odd number of \"%\": the highlight stays on to the end of the line");
    }

    void checkpicture()
    {
        std::string name = s.args;
        auto known = pictures.find(name);
        if (known == pictures.end()) {
            MEM_Sprite picture = {0, 0, nullptr};
            if (gfx::instance()->loadPCX(&picture, name.c_str()) != 0)
                picture.width = picture.height = -1;
            delete[] picture.pixels;
            known = pictures.emplace(name, std::make_pair(picture.width, picture.height)).first;
        }
        int width = known->second.first, height = known->second.second;
        if (width >= 0) {
            // Drawn centred at the top, every pixel of it: the text lines it covers whole are gone.
            long long left = (SCREEN_W - width) / 2;
            for (auto r = rows.begin(); r != rows.end();) {
                long long textleft = (SCREEN_W - r->second.width) / 2;
                bool covered = height >= SCREEN_H - r->first * f.height && left <= textleft &&
                               left + width >= textleft + r->second.width;
                r = covered ? rows.erase(r) : std::next(r);
            }
            return;
        }
        struct stat st;
        if (name.empty())
            warning("no picture is named");
        else if (stat(name.c_str(), &st) != 0)
            warning("picture " + quoted(name) + " not found: nothing is drawn");
        else
            warning("picture " + quoted(name) + " cannot be read as a PCX picture: nothing is drawn");
    }

    void checkwait()
    {
        bool seconds = s.findcommand() == script::SLEEP;
        int count = readnumber(s.args);
        if (!isnumber(s.args, s.args + strlen(s.args)))
            warning("the count " + quoted(s.args) + " is not a number; tralune reads it as " + std::to_string(count) +
                    (count <= 0 ? " and does not wait" : ""));
        else if (count <= 0)
            warning("a count of 0 or less does not wait");
        if (count > 0)
            clock += seconds ? count * 1000000LL : count;
    }

    void checkcolour()
    {
        static const char* const names[] = {"red", "green", "blue"};
        for (int k = 0; k < 3; k++) {
            const char* from = s.component(k);
            if (!from)
                break;
            const char* to = k < 2 && strchr(from, ',') ? strchr(from, ',') : from + strlen(from);
            std::string component(from, to);
            if (!isnumber(from, to))
                warning(std::string("the ") + names[k] + " component " + quoted(component) +
                        " is not a number; tralune reads it as " + std::to_string(readnumber(from)));
            else if (readnumber(from) < 0 || readnumber(from) > 255)
                warning(std::string("the ") + names[k] + " component " + std::to_string(readnumber(from)) +
                        " lies outside 0 to 255");
        }
    }

    void checkat()
    {
        long long ms;
        if (readsongtime(s.args, &ms) != 0) {
            error("cannot read the time " + quoted(s.args) + ": write seconds (12.5) or minutes and seconds (1:02.5)");
            return;
        }
        if (lastat >= 0 && ms < lastat)
            warning("at(" + songtimename(ms) + ") is earlier than the at(" + songtimename(lastat) + ") of line " +
                    std::to_string(lastatline) + ": it does not wait");
        lastat = ms;
        lastatline = line;
        clock = std::max(clock, SONG_DELAY_NS / 1000 + ms * 1000);
    }

    // A stream plays until its last packet is due on the song's clock, wherever the line starts.
    void checkcdg()
    {
        std::string name = s.args;
        std::vector<unsigned char> packets;
        int result = loadcdg(name.c_str(), packets);
        struct stat st;
        if (name.empty())
            warning("no CD+G stream is named");
        else if (result != 0 && stat(name.c_str(), &st) != 0)
            warning("stream " + quoted(name) + " not found: nothing is shown");
        else if (result == 1)
            warning("stream " + quoted(name) + " is not a file: nothing is shown");
        else if (result != 0)
            warning("stream " + quoted(name) + " cannot be read or is longer than 10 hours: nothing is shown");
        else if (packets.size() < size_t(CDG_PACKET))
            warning("stream " + quoted(name) + " holds no whole packet: nothing is shown");
        else
            clock = std::max(clock, SONG_DELAY_NS / 1000 +
                                        (long long)(packets.size() / CDG_PACKET - 1) * 1000000 / CDG_RATE);
    }

    std::string path, fontpath;
    std::ostream& out;
    font f;
    bool fontloaded = false;
    script s;
    int line = 0, errors = 0, warnings = 0;
    // Microseconds from the program's start to the end of the last wait so far.
    long long clock = 0;
    long long lastat = -1;
    int lastatline = 0;
    // Pictures already decoded: the width and height of each, -1 for one that could not be.
    std::map<std::string, std::pair<int, int>> pictures;
    // What each text row shows since it was last cleared, by row (0 at the bottom): the text, "%"
    // marks left out, the line that drew it and its width in pixels.
    struct drawn {
        std::string text;
        int line;
        long long width;
    };
    std::map<int, drawn> rows;
};

} // namespace

int checkscript(const std::string& path, const std::string& fontpath, std::ostream& out)
{
    return checker(path, fontpath, out).run();
}
