// tralune-ultrastar: makes a tralune script from an UltraStar song file, highlighted syllable by
// syllable.
#include "driver.h"

#include <cstdio>

namespace {

void usage()
{
    printf("usage: tralune-ultrastar [options] SONG.txt\n"
           "Makes a tralune script from an UltraStar song file (a header of #KEY:VALUE lines, then a line\n"
           "for each sung note): each line appears before it is sung and each syllable is highlighted\n"
           "when its note starts, on the song's clock.\n"
           "%s"
           "  --voice N           the voice of a duet to follow: 1 (P1, the default) or 2 (P2)\n"
           "  --help              show this and exit\n",
           importoptionshelp(true));
}

bool option(cmdline& cl, importjob& job)
{
    std::string v;
    if (!cl.option("--voice", v))
        return false;
    if (v != "1" && v != "2")
        cl.fail("bad voice " + quoted(v) + ": give 1 (P1) or 2 (P2)");
    job.read.voice = v[0] - '0';
    return true;
}

const importer ULTRASTAR = {"tralune-ultrastar", songformat::ULTRASTAR, "song file", songsource::NAMED, usage, option,
                            nullptr, nullptr};

} // namespace

int main(int argc, char** argv)
{
    return importmain(ULTRASTAR, argc, argv);
}
