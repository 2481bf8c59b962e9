// tralune-ass: makes a tralune script from SubStation Alpha subtitles (ASS, SSA) timed for karaoke,
// highlighted syllable by syllable.
#include "ass.h"
#include "cli.h"
#include "lyrics.h"

#include <cstdio>

namespace {

const char PROGRAM[] = "tralune-ass";

void usage()
{
    printf("usage: %s [options] SUBTITLES.ass|SUBTITLES.ssa\n"
           "Makes a tralune script from karaoke subtitles in ASS or SSA form (a {\\k} duration before\n"
           "each syllable): each line appears before it is sung and each syllable is highlighted when\n"
           "it starts, on the song's clock.\n"
           "%s"
           "  --style NAME        the style whose lines to follow (romaji, kanji, a translation);\n"
           "                      default: the one with the most karaoke lines\n"
           "  --help              show this and exit\n",
           PROGRAM, importoptionshelp());
}

} // namespace

int main(int argc, char** argv)
{
    scriptoptions o;
    std::string file, style;
    cmdline cl(PROGRAM, argc, argv);
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            usage();
            return 0;
        } else if (cl.option("--style", style)) {
        } else if (importoption(cl, o)) {
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!file.empty()) {
            cl.fail("only one subtitle file, please: " + quoted(file) + " and " + quoted(cl.arg()) + " were given");
        } else if (cl.arg().empty()) {
            cl.fail("the subtitle file name is empty");
        } else {
            file = cl.arg();
        }
    }
    if (file.empty())
        cl.fail(std::string("no subtitle file given (see ") + PROGRAM + " --help)");
    if (o.songwanted && o.songfile.empty())
        cl.fail("--song needs the song file");

    report r(file);
    assfile a = readass(readinput(file, r), style, o.offset, r);
    if (!a.error.empty())
        r.fail(a.error);
    savescript(makescript(a.s, o, "Made by tralune-ass from " + file + "; times are song times.", r), o, r);
    return 0;
}
