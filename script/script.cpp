// The script reader and the command handlers.
#include "script.h"
#include "cdg.h"
#include "font.h"
#include "gfx.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

int readnumber(const char* text)
{
    const char* p = text;
    while (isspace((unsigned char)*p))
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        value = value * 10 + (*p - '0');
        if (value > (long long)INT_MAX + 1)
            value = (long long)INT_MAX + 1;
    }
    if (negative)
        return int(-value);
    return int(value > INT_MAX ? INT_MAX : value);
}

// Reads up to maxdigits decimal digits at p into *value; the number of digits read (0 when none, or
// when there are more than maxdigits).
static int readdigits(const char*& p, int maxdigits, long long* value)
{
    int n = 0;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; p++, n++) {
        if (n == maxdigits)
            return 0;
        v = v * 10 + (*p - '0');
    }
    *value = v;
    return n;
}

int readsongtime(const char* text, long long* ms)
{
    const char* p = text;
    while (isspace((unsigned char)*p))
        p++;
    long long minutes = 0, seconds = 0, fraction = 0;
    if (readdigits(p, 6, &seconds) == 0)
        return 1;
    if (*p == ':') {
        minutes = seconds;
        p++;
        if (readdigits(p, 2, &seconds) == 0 || seconds >= 60)
            return 1;
    }
    if (*p == '.') {
        p++;
        int digits = readdigits(p, 3, &fraction);
        if (digits == 0)
            return 1;
        for (; digits < 3; digits++)
            fraction *= 10;
    }
    while (isspace((unsigned char)*p))
        p++;
    if (*p)
        return 1;
    *ms = (minutes * 60 + seconds) * 1000 + fraction;
    return 0;
}

int readtextrow(const char* args, int fontheight, int* row, const char** text)
{
    const char* comma = strchr(args, ',');
    if (!comma)
        return 1;
    const char* p = args;
    while (p < comma && isspace((unsigned char)*p))
        p++;
    long long n = 0;
    // Six digits are more rows than any screen has; more could overflow.
    if (readdigits(p, 6, &n) == 0)
        return 1;
    while (p < comma && isspace((unsigned char)*p))
        p++;
    if (p != comma)
        return 1;
    int rows = fontheight > 0 ? std::max(1, SCREEN_H / fontheight) : SCREEN_H;
    if (n >= rows)
        return 1;
    *row = int(n);
    *text = comma + 1;
    return 0;
}

scriptfile::scriptfile(const char* path) : in(path)
{
    // Only a file that starts with the mark's first byte is read ahead; such a file goes back to its
    // start when the mark is not whole. A stream that cannot go back (a pipe) and starts with a broken
    // mark loses those bytes, but its first line could not have run anyway: no command starts with them.
    if (in.peek() != 0xEF)
        return;
    char mark[3];
    if (in.read(mark, 3) && mark[1] == '\xBB' && mark[2] == '\xBF')
        return;
    in.clear();
    in.seekg(0);
}

bool scriptfile::next(char* text)
{
    // The flag left by the previous read: a last line without a line feed ends the script here.
    if (in.eof())
        return false;
    text[0] = 0;
    // A line of 100 or more characters leaves the stream failed, so every later read gives an empty
    // line, which then fails to parse: over-long lines end the run at the next line.
    in.getline(text, 100);
    return !(in.eof() && in.gcount() == 0);
}

long long scriptfile::skiprest()
{
    in.clear();
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    return in.eof() ? in.gcount() : in.gcount() - 1;
}

bool scriptfile::atend()
{
    return in.peek() == std::ifstream::traits_type::eof();
}

int script::readscript(const char* path)
{
    scriptfile in(path);
    if (!in.isopen())
        return fail(NOFILE);
    line = 1;
    if (songstart == 0)
        songstart = monotonicns();
    gfx* g = gfx::instance();
    char text[100];
    while (in.next(text)) {
        int result = parseline(text);
        if (result == OK)
            result = runcommand();
        if (result != OK)
            return fail(result);
        line++;
        g->update();
        if (stopped && stopped())
            return STOPPED;
    }
    return 0;
}

int script::fail(int result)
{
    std::ostringstream why;
    switch (result) {
    case NOFILE:
        why << "The file was not opened";
        break;
    case NOCMD:
        why << "Error parsing cmd at line: " << line;
        break;
    case NOARGS:
        why << "Error parsing arguments at line: " << line;
        break;
    case UNKNOWNCMD:
        why << "Unknown command at line: " << line << " exiting now...";
        break;
    case BADTIME:
        why << "Error parsing time at line: " << line;
        break;
    case BADROW:
        why << "Error parsing row at line: " << line;
        break;
    }
    message = why.str();
    if (stopped)
        return result;
    // The line is flushed, except the missing file's, which tralune has always left to the exit.
    if (result == NOFILE)
        std::cout << message << "\n";
    else
        std::cout << message << std::endl;
    exit(1);
}

int script::parseline(const char* text)
{
    if (getcmd(text) != 0)
        return NOCMD;
    if (cmd[0] && getargs(text) != 0)
        return NOARGS;
    return OK;
}

static const char* const commandnames[script::COMMANDS] = {"text",  "setimg",      "hop", "bounce",
                                                           "sleep", "usleep", "clearscreen", "at",
                                                           "cdg",   "textrow"};

const char* script::commandname(int c)
{
    return c >= 0 && c < COMMANDS ? commandnames[c] : "";
}

int script::findcommand()
{
    for (int c = 0; c < COMMANDS; c++)
        if (checkstring(cmd, commandnames[c]) == 0)
            return c;
    return UNKNOWN;
}

int script::runcommand()
{
    if (!cmd[0])
        return OK;
    switch (findcommand()) {
    case TEXT:
        printtext();
        break;
    case SETIMG:
        setimg(args);
        break;
    case HOP:
        hop();
        break;
    case BOUNCE:
        bounce();
        break;
    case SLEEP: {
        // A negative count would be taken as a huge unsigned one and hang the run.
        int seconds = readnumber(args);
        if (seconds > 0 && stopped)
            gfx::instance()->waituntil(monotonicns() + seconds * 1000000000LL);
        else if (seconds > 0)
            sleep(unsigned(seconds));
        break;
    }
    case USLEEP: {
        int micros = readnumber(args);
        if (micros > 0 && stopped)
            gfx::instance()->waituntil(monotonicns() + micros * 1000LL);
        else if (micros > 0)
            usleep(useconds_t(micros));
        break;
    }
    case CLEARSCREEN:
        clearscreen();
        break;
    case AT:
        if (at() != 0)
            return BADTIME;
        break;
    case CDG:
        cdg(args);
        break;
    case TEXTROW:
        if (printtextrow() != 0)
            return BADROW;
        break;
    default:
        return UNKNOWNCMD;
    }
    return OK;
}

int script::getcmd(const char* text)
{
    if (text[0] == ';') {
        cmd[0] = 0;
        return 0;
    }
    const char* open = strchr(text, '(');
    if (!open)
        return 1;
    size_t k = std::min<size_t>(open - text, sizeof cmd - 1);
    memcpy(cmd, text, k);
    cmd[k] = 0;
    return 0;
}

int script::getargs(const char* text)
{
    const char* open = strchr(text, '(');
    if (!open)
        return 1;
    const char* close = strchr(open + 1, ')');
    if (!close)
        return 1;
    size_t k = std::min<size_t>(close - open - 1, sizeof args - 1);
    memcpy(args, open + 1, k);
    args[k] = 0;
    return 0;
}

int script::checkstring(const char* a, const char* b)
{
    return strcmp(a, b) == 0 ? 0 : 1;
}

int script::printtext()
{
    font* f = font::instance();
    f->write(args, -1, 480 - f->height);
    return 0;
}

int script::printtextrow()
{
    font* f = font::instance();
    int row;
    const char* text;
    if (readtextrow(args, f->height, &row, &text) != 0)
        return 1;
    f->write(text, -1, 480 - (row + 1) * f->height);
    return 0;
}

int script::setimg(const char* path)
{
    return gfx::instance()->drawPCX(path, 0);
}

int script::hop()
{
    std::cout << "Now i hop\n";
    return 0;
}

int script::bounce()
{
    std::cout << "now i bounce\n";
    return 0;
}

const char* script::component(int k)
{
    const char* p = args;
    for (int i = 0; i < k && p; i++) {
        p = strchr(p, ',');
        if (p)
            p++;
    }
    return p;
}

int script::clearscreen()
{
    // The scans for the commas stop at the end of the argument, and a component with no comma before
    // it is 0.
    int rgb[3];
    for (int k = 0; k < 3; k++) {
        const char* from = component(k);
        rgb[k] = from ? readnumber(from) : 0;
    }
    gfx::instance()->clearscreen(rgb[0], rgb[1], rgb[2]);
    return 0;
}

int script::at()
{
    long long ms;
    if (readsongtime(args, &ms) != 0)
        return 1;
    gfx::instance()->waituntil(songstart + SONG_DELAY_NS + ms * 1000000);
    return 0;
}

int script::cdg(const char* path)
{
    std::vector<unsigned char> packets;
    if (loadcdg(path, packets) != 0)
        return 1;
    size_t count = packets.size() / CDG_PACKET, next = 0;
    if (count == 0)
        return 0;
    gfx* g = gfx::instance();
    std::unique_ptr<cdgscreen> screen(new cdgscreen());
    long long start = songstart + SONG_DELAY_NS;
    auto due = [&](size_t n) { return start + (long long)n * 1000000000 / CDG_RATE; };
    // The first picture is shown at once, whatever the packets already due hold.
    bool changed = true;
    long long shownat = std::numeric_limits<long long>::min() / 2;
    for (;;) {
        long long now = monotonicns();
        while (next < count && due(next) <= now)
            changed |= screen->apply(&packets[next++ * CDG_PACKET]);
        if (changed && now >= shownat + CDG_FRAME_NS) {
            screen->draw(g->pixels);
            // Not update(): its event check ignores an Escape already let go, and with refreshes this
            // frequent most presses would reach it rather than the wait.
            g->show();
            shownat = now;
            changed = false;
        }
        if ((next == count && !changed) || (stopped && stopped()))
            return 0;
        // A change waits for the next frame; with none pending, nothing can be shown before both the
        // next packet is due and a frame has passed, so the wait covers both and packets due meanwhile
        // are applied together.
        long long wake = shownat + CDG_FRAME_NS;
        if (!changed)
            wake = std::max(wake, due(next));
        g->waituntil(wake);
    }
}
