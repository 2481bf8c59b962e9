// Fuzzes the font loader: any bytes as "font.pcx", loaded, then text written at the place the text
// command uses and at places in and around the frame.
#include "font.h"
#include "fuzzfiles.h"
#include "gfx.h"
#include "script.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void fail(const char* why)
{
    fprintf(stderr, "fuzz_font: %s\n", why);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzzfile("font.pcx", data, size);
    font* f = font::instance();
    // Every input is a fresh start, as at the player's start-up; a failed load must leave the font empty.
    if (f->loadfont(path.c_str()) != 0) {
        if (f->height != 0 || f->image.pixels)
            fail("a refused font is not empty");
    }
    for (int s = 0; s < 64; s++) {
        if (f->widths[s] < 0 || f->offsets[s] < 0 ||
            (f->widths[s] > 0 && (long long)f->offsets[s] + f->widths[s] > f->image.width))
            fail("a glyph slot lies outside the font image");
    }

    char text[] = "Hello %World% 0123456789 !? az AZ, . % odd";
    int h = f->height;
    f->write(text, -1, 480 - h);
    f->write(text, 0, 0);
    f->write(text, -1, -h);
    f->write(text, -1, 479);
    f->write(text, 639, 479);
    f->write(text, 600, 300);
    f->write(text, -1000, 240);
    f->write(text, 2000, -3);
    f->write(text, INT_MAX, INT_MAX);
    f->write(text, INT_MIN, INT_MIN);
    f->write(text, INT_MAX - 5, INT_MIN + 5);
    char widest[100];
    memset(widest, 'W', 99);
    widest[99] = 0;
    f->write(widest, -1, 480 - h);

    // The text command as a script line hands it over.
    script sc;
    strcpy(sc.args, "%Hi% there ?!");
    sc.printtext();
    return 0;
}
