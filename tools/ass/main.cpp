// tralune-ass: makes a tralune script from SubStation Alpha subtitles (ASS, SSA) timed for karaoke,
// highlighted syllable by syllable.
#include "driver.h"

#include <cstdio>

namespace {

void usage()
{
    printf("usage: tralune-ass [options] SUBTITLES.ass|SUBTITLES.ssa\n"
           "Makes a tralune script from karaoke subtitles in ASS or SSA form (a {\\k} duration before\n"
           "each syllable): each line appears before it is sung and each syllable is highlighted when\n"
           "it starts, on the song's clock.\n"
           "%s"
           "  --style NAME        the style whose lines to follow (romaji, kanji, a translation);\n"
           "                      default: the one with the most karaoke lines\n"
           "  --help              show this and exit\n",
           importoptionshelp());
}

bool option(cmdline& cl, importjob& job)
{
    return cl.option("--style", job.read.style);
}

const importer ASS = {"tralune-ass", songformat::ASS, "subtitle file", songsource::GIVEN, usage, option, nullptr, nullptr};

} // namespace

int main(int argc, char** argv)
{
    return importmain(ASS, argc, argv);
}
