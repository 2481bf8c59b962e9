// Fuzzes the font loader and the reading of song text: any bytes as "font.pcx", loaded, then text
// written at the place the text command uses and at places in and around the frame; and the same bytes
// as a line of text, read character by character and drawn with a font that fills all 185 slots.
#include "font.h"
#include "fuzzfiles.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"

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

// The font of every slot, loaded once.
font& fullfont()
{
    static font* full = nullptr;
    if (!full) {
        std::vector<uint8_t> bytes = encodepcx(fullFont());
        full = new font();
        if (full->loadfont(fuzzfile("full.pcx", bytes.data(), bytes.size()).c_str()) != 0)
            fail("the full font does not load");
    }
    return *full;
}

// The bytes as UTF-8 for a code point, as a check on what nextchar took.
std::string utf8(int ch)
{
    std::string s;
    if (ch < 0x80)
        return s + char(ch);
    if (ch < 0x800)
        return s + char(0xC0 | ch >> 6) + char(0x80 | (ch & 0x3F));
    if (ch < 0x10000)
        return s + char(0xE0 | ch >> 12) + char(0x80 | (ch >> 6 & 0x3F)) + char(0x80 | (ch & 0x3F));
    return s + char(0xF0 | ch >> 18) + char(0x80 | (ch >> 12 & 0x3F)) + char(0x80 | (ch >> 6 & 0x3F)) +
           char(0x80 | (ch & 0x3F));
}

// Reads the text to its end: every character takes one byte (a Latin-1 one, its own value) or is a
// well-formed UTF-8 sequence of exactly the bytes taken.
void readwhole(const char* text)
{
    const char* p = text;
    while (*p) {
        const char* at = p;
        int ch = font::nextchar(p);
        long took = p - at;
        if (took == 1 ? ch != (unsigned char)*at
                      : took < 2 || took > 4 || (ch >= 0xD800 && ch <= 0xDFFF) || ch > 0x10FFFF ||
                            utf8(ch) != std::string(at, size_t(took)))
            fail("a character was read from bytes that do not make it");
    }
    if (font::nextchar(p) != 0 || *p)
        fail("reading went past the terminator");
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

    // The input as a line of song text, up to its first zero byte.
    std::string line(reinterpret_cast<const char*>(data), size);
    readwhole(line.c_str());
    font& full = fullfont();
    long long width = full.textwidth(line.c_str());
    if (full.write(line.c_str(), -1, 480 - full.height) != (width > 639 ? 1 : 0))
        fail("write and textwidth disagree on whether the line fits");
    full.write(line.c_str(), 3, 7);
    f->write(line.c_str(), -1, 480 - h);

    // The text command as a script line hands it over.
    script sc;
    strcpy(sc.args, "%Hi% there ?!");
    sc.printtext();
    return 0;
}
