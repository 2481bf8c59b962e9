// tralune-cdg: makes a folder ready to sing from an MP3+G karaoke song (a CD+G stream beside its MP3,
// or both in a zip), and shows single pictures of a stream as PCX files.
#include "cdg.h"
#include "driver.h"
#include "karaokezip.h"
#include "pcxwrite.h"
#include "script.h"
#include "songfolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// --frame: the moment asked for, -1 for a folder.
std::string framearg;
long long framems = -1;

void usage()
{
    printf("usage: tralune-cdg [options] SONG.cdg | SONG.zip\n"
           "       tralune-cdg --frame SECONDS [-o FILE.pcx] SONG.cdg | SONG.zip\n"
           "Makes a folder ready to sing an MP3+G karaoke song: writes a script that plays the CD+G stream\n"
           "on the song's clock, links the stream beside it as song.cdg and the song as gnusong.mp3, and\n"
           "makes a font.pcx where the folder has none. A zip holding one .cdg and one .mp3 is unpacked\n"
           "beside the script first; an .mp3 given stands for the .cdg beside it.\n"
           "  -o FILE             the script to write (default script.txt, - for standard output); with\n"
           "                      --frame, the picture (default frame.pcx)\n"
           "  --song FILE         the song to link (default: the .mp3 of the same name beside the stream)\n"
           "  --frame SECONDS     write the picture shown SECONDS (12.5 or 1:02.5) into the song instead,\n"
           "                      as a 300x216 PCX file with the stream's colour table as its palette\n"
           "  --help              show this and exit\n");
}

// Writes bytes to path whole, or to standard output for "-".
void save(const std::string& path, const std::vector<uint8_t>& bytes, const report& r)
{
    if (path == "-") {
        if (fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || fflush(stdout) != 0)
            r.fail("cannot write the picture to standard output");
        return;
    }
    songfolder f;
    f.put(path, std::string(bytes.begin(), bytes.end()), "the picture");
    std::string why = f.commit();
    if (!why.empty())
        r.fail(why);
}

// --frame: the picture after the first packets of the stream, as the player's decoder shows it.
void frame(const std::vector<unsigned char>& stream, long long ms, const std::string& output, report& r)
{
    long long wanted = ms * CDG_RATE / 1000;
    long long whole = (long long)(stream.size() / CDG_PACKET);
    if (wanted > whole) {
        r.warning(0, "the stream ends at " + writesongtime(whole * 1000 / CDG_RATE) + " s: the picture is the one shown after its last packet");
        wanted = whole;
    }
    cdgscreen screen;
    for (long long i = 0; i < wanted; i++)
        screen.apply(&stream[size_t(i) * CDG_PACKET]);
    PcxImage img;
    img.width = CDG_WIDTH;
    img.height = CDG_HEIGHT;
    img.indexes.resize(size_t(CDG_WIDTH) * CDG_HEIGHT);
    for (int y = 0; y < CDG_HEIGHT; y++)
        for (int x = 0; x < CDG_WIDTH; x++)
            img.indexes[size_t(y) * CDG_WIDTH + x] = uint8_t(screen.shown(x, y));
    img.palette.assign(768, 0);
    for (int i = 0; i < 16; i++) {
        img.palette[3 * i] = uint8_t(screen.colours[i] >> 16);
        img.palette[3 * i + 1] = uint8_t(screen.colours[i] >> 8);
        img.palette[3 * i + 2] = uint8_t(screen.colours[i]);
    }
    save(output, encodepcx(img), r);
}

bool option(cmdline& cl, importjob& job)
{
    if (cl.option("-o", job.o.output) || cl.option("--song", job.o.songfile))
        return true;
    if (!cl.option("--frame", framearg))
        return false;
    framems = 0;
    return true;
}

void check(cmdline& cl, importjob& job)
{
    if (framems >= 0 && readsongtime(framearg.c_str(), &framems) != 0)
        cl.fail("--frame: bad time " + quoted(framearg) + ": give seconds (12.5) or minutes and seconds (1:02.5)");
    if (framems >= 0 && !job.o.songfile.empty())
        cl.fail("--song makes no picture: give it without --frame");
    if (job.o.output.empty())
        job.o.output = framems >= 0 ? "frame.pcx" : "script.txt";
    if (hasextension(job.input, ".zip"))
        job.format = songformat::ZIP;
}

// --frame: the picture of the stream, written instead of a folder.
bool pictureonly(const importjob& job, report& r)
{
    if (framems < 0)
        return false;
    const std::string& input = job.input;
    bool iszip = job.format == songformat::ZIP;
    struct stat st;
    if (stat(input.c_str(), &st) != 0)
        r.fail(std::string("cannot open it: ") + strerror(errno));
    if (!S_ISREG(st.st_mode))
        r.fail("cannot open it: it is no regular file");
    std::vector<unsigned char> stream;
    if (iszip) {
        karaokezip zip;
        if (!zip.open(input) || !zip.readstream(stream))
            r.fail(zip.why());
    }
    frame(iszip ? stream : readcdgstream(input, r), framems, job.o.output, r);
    return true;
}

const importer CDG = {"tralune-cdg", songformat::CDG, "song", songsource::STREAM, usage, option, check, pictureonly};

} // namespace

int main(int argc, char** argv)
{
    return importmain(CDG, argc, argv);
}
