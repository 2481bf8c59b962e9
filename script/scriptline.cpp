// Reading a script as the player reads it: lines, commands and their arguments, numbers and song times.
// Apart from running the commands, so that the checker and the companions read exactly as the player
// does without the screen.
#include "script.h"
#include "tralune.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

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

std::string writesongtime(long long ms)
{
    char t[32];
    snprintf(t, sizeof t, "%lld.%03lld", ms / 1000, ms % 1000);
    return t;
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
