// tralune-lrc: makes a tralune script from a song's time-synced lyrics in LRC form.
#include "driver.h"

#include <cstdio>

namespace {

void usage()
{
    printf("usage: tralune-lrc [options] LYRICS\n"
           "Makes a tralune script from LRC lyrics, plain ([01:02.50]Some words) or enhanced with a stamp\n"
           "before every word (<01:02.50>Some <01:02.90>words): each line appears before it is sung and\n"
           "each word (or a plain line, whole) is highlighted at its stamp, on the song's clock.\n"
           "%s"
           "  --help              show this and exit\n",
           importoptionshelp());
}

const importer LRC = {"tralune-lrc", songformat::LRC, "lyrics file", songsource::GIVEN, usage, nullptr, nullptr, nullptr};

} // namespace

int main(int argc, char** argv)
{
    return importmain(LRC, argc, argv);
}
