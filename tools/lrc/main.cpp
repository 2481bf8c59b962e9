// tralune-lrc: makes a tralune script from a song's time-synced lyrics in LRC form.
#include "cli.h"
#include "lrc.h"
#include "lyrics.h"
#include "text.h"

#include <cstdio>

namespace {

const char PROGRAM[] = "tralune-lrc";

void usage()
{
    printf("usage: %s [options] LYRICS\n"
           "Makes a tralune script from LRC lyrics, plain ([01:02.50]Some words) or enhanced with a stamp\n"
           "before every word (<01:02.50>Some <01:02.90>words): each line appears before it is sung and\n"
           "each word (or a plain line, whole) is highlighted at its stamp, on the song's clock.\n"
           "%s"
           "  --help              show this and exit\n",
           PROGRAM, importoptionshelp());
}

} // namespace

int main(int argc, char** argv)
{
    scriptoptions o;
    std::string lyrics;
    cmdline cl(PROGRAM, argc, argv);
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            usage();
            return 0;
        } else if (importoption(cl, o)) {
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!lyrics.empty()) {
            cl.fail("only one lyrics file, please: " + quoted(lyrics) + " and " + quoted(cl.arg()) + " were given");
        } else if (cl.arg().empty()) {
            cl.fail("the lyrics file name is empty");
        } else {
            lyrics = cl.arg();
        }
    }
    if (lyrics.empty())
        cl.fail(std::string("no lyrics file given (see ") + PROGRAM + " --help)");
    if (o.songwanted && o.songfile.empty())
        cl.fail("--song needs the song file");

    report r(lyrics);
    encoding used;
    std::string text = decodetext(readinput(lyrics, r), encoding::LATIN1, &used);
    if (used == encoding::LATIN1)
        r.warning(0, "not UTF-8: read as Latin-1");
    song s;
    if (!readlrc(text, o.offset, s, r))
        r.fail("no line with a time stamp such as [01:02.50]: nothing to sing along to");
    savescript(makescript(s, o, "Made by tralune-lrc from " + lyrics + "; times are song times.", r), o, r);
    return 0;
}
