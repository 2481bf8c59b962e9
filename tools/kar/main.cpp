// tralune-kar: makes a tralune script from a MIDI karaoke file (.kar, or .mid with lyric events),
// highlighted syllable by syllable, and renders the file's music as the song it plays.
#include "driver.h"
#include "midirender.h"

#include <algorithm>
#include <cstdio>

namespace {

// The importers' shared options but --song: the song here is the file's own music.
std::string sharedhelp()
{
    std::string all = importoptionshelp(), kept;
    for (size_t at = 0; at < all.size();) {
        size_t end = std::min(all.find('\n', at), all.size() - 1) + 1;
        if (all.compare(at, 8, "  --song") != 0)
            kept += all.substr(at, end - at);
        at = end;
    }
    return kept;
}

void usage()
{
    printf("usage: tralune-kar [options] SONG.kar|SONG.mid\n"
           "Makes a tralune script from a MIDI karaoke file (.kar) or a MIDI file with lyric events: each\n"
           "line appears before it is sung and each syllable is highlighted at its tick, on the song's\n"
           "clock. The music is rendered with fluidsynth and lame as gnusong.mp3 beside the script.\n"
           "%s"
           "  --no-audio          write the script only, no gnusong.mp3\n"
           "  --soundfont FILE    the General MIDI soundfont to render with; default\n"
           "                      %s\n"
           "  --help              show this and exit\n",
           sharedhelp().c_str(), DEFAULT_SOUNDFONT);
}

bool option(cmdline& cl, importjob& job)
{
    if (!cl.operand() && (cl.arg() == "--song" || cl.arg().compare(0, 7, "--song=") == 0))
        cl.fail("--song: the song is the file's own music, rendered as gnusong.mp3 (--no-audio leaves it out)");
    if (cl.flag("--no-audio")) {
        job.audio = false;
        return true;
    }
    return cl.option("--soundfont", job.soundfont);
}

void check(cmdline& cl, importjob& job)
{
    if (job.audio && !job.soundfont.empty() && !issoundfont(job.soundfont))
        cl.fail("the soundfont " + quoted(job.soundfont) + " cannot be read as one (an .sf2 or .sf3 file)");
}

const importer KAR = {"tralune-kar", songformat::MIDI, "MIDI file", songsource::RENDERED, usage, option, check, nullptr};

} // namespace

int main(int argc, char** argv)
{
    return importmain(KAR, argc, argv);
}
