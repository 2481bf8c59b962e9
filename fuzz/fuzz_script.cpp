// Fuzzes the script line parser: one line through getcmd and getargs, the command table's comparison,
// the colour fill's argument parsing, the number reader and the text row reader.
#include "gfx.h"
#include "script.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void fail(const char* why, const char* text)
{
    fprintf(stderr, "fuzz_script: %s: \"%s\"\n", why, text);
    abort();
}

// What atoi would read, clamped to the int range instead of overflowing.
long long clamped(const char* text)
{
    long long v = strtoll(text, nullptr, 10);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v;
}

// The number reader must agree with that.
void checknumber(const char* text)
{
    if (readnumber(text) != clamped(text))
        fail("readnumber disagrees with strtoll", text);
}

// The text row reader must take exactly a run of digits, spaces around it, before the first comma, of
// a row that fits the screen, and hand on what follows that comma.
void checktextrow(const char* args)
{
    const char* comma = strchr(args, ',');
    for (int height : {0, 1, 9, 32, 481}) {
        int row = -7;
        const char* text = nullptr;
        int result = readtextrow(args, height, &row, &text);
        const char* p = args;
        while (comma && p < comma && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
            p++;
        const char* digits = p;
        long long value = 0;
        while (comma && p < comma && *p >= '0' && *p <= '9' && p - digits < 7)
            value = value * 10 + (*p++ - '0');
        bool some = p > digits && p - digits <= 6;
        while (comma && p < comma && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
            p++;
        long long rows = height > 0 ? (SCREEN_H / height > 0 ? SCREEN_H / height : 1) : SCREEN_H;
        bool good = comma && some && p == comma && value < rows;
        if (result != (good ? 0 : 1))
            fail("readtextrow takes what it should refuse, or refuses what it should take", args);
        if (good && (row != value || text != comma + 1))
            fail("readtextrow gives another row or text", args);
        if (!good && (row != -7 || text))
            fail("readtextrow changes its results when it refuses", args);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // What the reader's getline hands over: at most 99 characters, up to the first line feed.
    char text[100];
    size_t n = 0;
    while (n < size && n < 99 && data[n] != '\n') {
        text[n] = char(data[n]);
        n++;
    }
    text[n] = 0;

    // On the heap and of its exact size, so a scan that runs off the end of args is caught. The
    // arguments of earlier, longer lines are left behind the terminator, as in a real run: here the
    // bytes after the line (or commas) stand for them.
    script* s = new script;
    memset(s->cmd, 'c', sizeof s->cmd);
    memset(s->args, ',', sizeof s->args);
    for (size_t i = n + 1; i < size && i - n - 1 < sizeof s->args; i++)
        s->args[i - n - 1] = char(data[i]);
    s->args[sizeof s->args - 1] = 0;

    checknumber(text);
    if (s->getcmd(text) == 0) {
        if (strlen(s->cmd) > 99 || strncmp(s->cmd, text, strlen(s->cmd)) != 0)
            fail("the command is not the start of the line", text);
        if (s->cmd[0] && s->getargs(text) == 0) {
            const char* open = strchr(text, '(');
            if (strlen(s->args) > 99 || strncmp(s->args, open + 1, strlen(s->args)) != 0)
                fail("the argument is not what follows the parenthesis", text);
            const char* names[] = {"text", "setimg", "hop", "bounce", "sleep", "usleep", "clearscreen", "at", "textrow"};
            for (const char* name : names)
                if (s->checkstring(s->cmd, name) != (strcmp(s->cmd, name) != 0))
                    fail("checkstring disagrees with strcmp", text);
            checknumber(s->args);
            checktextrow(s->args);
        }
    }
    // The colour fill reads whatever args holds, a parsed argument or the leftovers: red is the first
    // number, green the one after the first comma, blue the one after the second, 0 where none is.
    s->clearscreen();
    long long rgb[3] = {clamped(s->args), 0, 0};
    const char* comma = strchr(s->args, ',');
    for (int k = 1; k < 3 && comma; k++) {
        rgb[k] = clamped(comma + 1);
        comma = strchr(comma + 1, ',');
    }
    pixel want = (pixel(rgb[0]) << 16) | (pixel(rgb[1]) << 8) | pixel(rgb[2]);
    const pixel* frame = gfx::instance()->pixels;
    if (frame[0] != want || frame[307199] != want)
        fail("the colour fill is not the colour of the argument", s->args);
    delete s;
    return 0;
}
