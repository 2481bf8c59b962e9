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

struct Options {
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

// The command line. "--help" prints the usage and ends the run with status 0; any mistake fails the run.
Options parseargs(int argc, char** argv)
{
    Options o;
    bool options = true;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        // The value of an option, given as the next argument or after "=".
        auto value = [&](const std::string& name) -> std::string {
            if (arg.size() > name.size() && arg[name.size()] == '=')
                return arg.substr(name.size() + 1);
            if (i + 1 >= argc)
                fail("option " + name + " needs a value (see " + PROGRAM + " --help)");
            return argv[++i];
        };
        auto is = [&](const std::string& name) {
            return arg == name || (arg.compare(0, name.size() + 1, name + "=") == 0);
        };
        if (options && (arg == "--help" || arg == "-h")) {
            usage(stdout);
            exit(0);
        } else if (options && arg == "--") {
            options = false;
        } else if (options && is("--size")) {
            o.size = parsesize(value("--size"));
        } else if (options && is("--colour")) {
            o.colour = parsecolour(value("--colour"));
        } else if (options && arg == "--basic") {
            o.slots = font::BASIC_SLOTS;
        } else if (options && (arg == "-o" || is("--output"))) {
            o.output = value(arg == "-o" ? "-o" : "--output");
            if (o.output.empty())
                fail("the output file name is empty");
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            fail("unknown option " + quoted(arg) + " (see " + PROGRAM + " --help)");
        } else if (o.fontfile.empty()) {
            o.fontfile = arg;
            if (arg.empty())
                fail("the font file name is empty");
        } else {
            fail("only one font file, please: " + quoted(o.fontfile) + " and " + quoted(arg) + " were given");
        }
    }
    if (o.fontfile.empty())
        fail("no font file given (see " + std::string(PROGRAM) + " --help)");
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    Options o = parseargs(argc, argv);
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
