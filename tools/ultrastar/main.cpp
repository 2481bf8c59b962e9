// tralune-ultrastar: makes a tralune script from an UltraStar song file, highlighted syllable by
// syllable.
#include "cli.h"
#include "lyrics.h"
#include "ultrastar.h"

#include <cstdio>

namespace {

const char PROGRAM[] = "tralune-ultrastar";

void usage()
{
    printf("usage: %s [options] SONG.txt\n"
           "Makes a tralune script from an UltraStar song file (a header of #KEY:VALUE lines, then a line\n"
           "for each sung note): each line appears before it is sung and each syllable is highlighted\n"
           "when its note starts, on the song's clock.\n"
           "%s"
           "  --voice N           the voice of a duet to follow: 1 (P1, the default) or 2 (P2)\n"
           "  --help              show this and exit\n",
           PROGRAM, importoptionshelp(true));
}

} // namespace

int main(int argc, char** argv)
{
    scriptoptions o;
    std::string file, v;
    int voice = 1;
    cmdline cl(PROGRAM, argc, argv);
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            usage();
            return 0;
        } else if (cl.option("--voice", v)) {
            if (v != "1" && v != "2")
                cl.fail("bad voice " + quoted(v) + ": give 1 (P1) or 2 (P2)");
            voice = v[0] - '0';
        } else if (importoption(cl, o, true)) {
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!file.empty()) {
            cl.fail("only one song file, please: " + quoted(file) + " and " + quoted(cl.arg()) + " were given" +
                    (o.songwanted && o.songfile.empty() ? " (a song to link is given as --song=FILE)" : ""));
        } else if (cl.arg().empty()) {
            cl.fail("the song file name is empty");
        } else {
            file = cl.arg();
        }
    }
    if (file.empty())
        cl.fail(std::string("no song file given (see ") + PROGRAM + " --help)");

    report r(file);
    ultrastar u = readultrastar(readinput(file, r), voice, o.offset, r);
    if (!u.error.empty())
        r.fail(u.error);
    if (o.songwanted && o.songfile.empty()) {
        if (u.audio.empty())
            r.fail("--song: the file names no song (#AUDIO or #MP3); give one as --song=FILE");
        o.songfile = under(folderof(file), u.audio);
    }
    savescript(makescript(u.s, o, "Made by tralune-ultrastar from " + file + "; times are song times.", r), o, r);
    return 0;
}
