// Fuzzes the script line parser: one line through getcmd and getargs, the command table's comparison,
// the colour fill's argument parsing and the number reader.
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
            const char* names[] = {"text", "setimg", "hop", "bounce", "sleep", "usleep", "clearscreen"};
            for (const char* name : names)
                if (s->checkstring(s->cmd, name) != (strcmp(s->cmd, name) != 0))
                    fail("checkstring disagrees with strcmp", text);
            checknumber(s->args);
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
