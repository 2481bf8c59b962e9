// tralune-mkfont: makes the player's font image (font.pcx) from a TrueType or OpenType font through FreeType;
// the drawing and the image's layout are the font maker's (fontmaker.h).
#include "cli.h"
#include "font.h"
#include "fontmaker.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char PROGRAM[] = "tralune-mkfont";
// At 28 pixels a line of about 35 characters of DejaVu Sans, spaces included (the player makes a space
// as wide as "A"), fits the 640 columns of the screen.
const int DEFAULT_SIZE = 28;
const int MIN_SIZE = 4;
const int MAX_SIZE = 256;

struct options {
    int size = DEFAULT_SIZE;
    uint32_t colour = 0xFFFFFF;
    std::string output = "font.pcx";
    std::string fontfile;
    int slots = font::SLOTS;
};

// Ends the run with status 1 after one line on standard error. Nothing has been written by then: the
// output file appears only once the whole image is made.
[[noreturn]] void fail(const std::string& message)
{
    fprintf(stderr, "%s: %s\n", PROGRAM, message.c_str());
    exit(1);
}

// Prints the usage text.
void usage(FILE* to)
{
    fprintf(to,
            "usage: %s [--size PIXELS] [--colour RRGGBB] [--basic] [-o OUTPUT] FONTFILE\n"
            "Makes the font image that tralune reads (font.pcx) from a TrueType or OpenType font.\n"
            "  --size PIXELS    size of the font in pixels (the em), %d to %d; default %d\n"
            "  --colour RRGGBB  ink colour as six hexadecimal digits; default FFFFFF (white)\n"
            "  --basic          only the first 64 slots: A-Z, a-z, 0-9, ! and ?; by default all %d,\n"
            "                   with the ASCII signs and the Latin-1 letters\n"
            "  -o OUTPUT        the file to write (also --output OUTPUT); default font.pcx\n"
            "  --help           show this and exit\n"
            "An option's value may also follow an \"=\", as in --size=24.\n",
            PROGRAM, MIN_SIZE, MAX_SIZE, DEFAULT_SIZE, font::SLOTS);
}

// The --size value: a whole number of pixels from MIN_SIZE to MAX_SIZE, or the run fails.
int parsesize(const std::string& text)
{
    // Digits only: no sign, no spaces, no fraction. A long string of digits is out of range, not an overflow.
    bool digits = !text.empty() && text.size() <= 9 &&
                  std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    long value = digits ? strtol(text.c_str(), nullptr, 10) : 0;
    if (!digits || value < MIN_SIZE || value > MAX_SIZE)
        fail("bad size " + quoted(text) + ": give a whole number of pixels from " + std::to_string(MIN_SIZE) +
             " to " + std::to_string(MAX_SIZE));
    return int(value);
}

// The --colour value as 0xRRGGBB: exactly six hexadecimal digits in either case, or the run fails.
uint32_t parsecolour(const std::string& text)
{
    bool hex = text.size() == 6 && std::all_of(text.begin(), text.end(), [](char c) {
                   return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
               });
    if (!hex)
        fail("bad colour " + quoted(text) + ": give six hexadecimal digits RRGGBB, such as FFFFFF");
    return uint32_t(strtoul(text.c_str(), nullptr, 16));
}

// The command line, read as every companion reads its own. "--help" prints the usage and ends the run
// with status 0; any mistake fails the run.
options parseargs(int argc, char** argv)
{
    options o;
    cmdline cl(PROGRAM, argc, argv);
    std::string v;
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            usage(stdout);
            exit(0);
        } else if (cl.option("--size", v)) {
            o.size = parsesize(v);
        } else if (cl.option("--colour", v)) {
            o.colour = parsecolour(v);
        } else if (cl.flag("--basic")) {
            o.slots = font::BASIC_SLOTS;
        } else if (cl.option("-o", o.output) || cl.option("--output", o.output)) {
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!o.fontfile.empty()) {
            cl.fail("only one font file, please: " + quoted(o.fontfile) + " and " + quoted(cl.arg()) + " were given");
        } else if (cl.arg().empty()) {
            cl.fail("the font file name is empty");
        } else {
            o.fontfile = cl.arg();
        }
    }
    if (o.fontfile.empty())
        cl.fail("no font file given (see " + std::string(PROGRAM) + " --help)");
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    options o = parseargs(argc, argv);
    fontstyle style;
    style.size = o.size;
    style.colour = o.colour;
    style.slots = o.slots;
    madefont made;
    std::string why = makefont(o.fontfile, style, &made);
    if (!why.empty())
        fail(why);
    why = savefile(o.output, made.pcx);
    if (!why.empty())
        fail(why);

    if (!made.missing.empty())
        fprintf(stderr,
                "%s: warning: %s has no glyph for \"%s\"; those slots are left empty, so tralune skips "
                "those characters\n",
                PROGRAM, quoted(o.fontfile).c_str(), made.missing.c_str());
    char keytext[8];
    snprintf(keytext, sizeof keytext, "%06X", unsigned(made.key));
    printf("%s: %d glyphs, %lld x %lld pixels, key colour %s\n", o.output.c_str(), made.drawn, made.width,
           made.height, keytext);
    return 0;
}
