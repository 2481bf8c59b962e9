// tralune-cdg: makes a folder ready to sing from an MP3+G karaoke song (a CD+G stream beside its MP3,
// or both in a zip), and shows single pictures of a stream as PCX files.
#include "cdg.h"
#include "cli.h"
#include "karaokezip.h"
#include "lyrics.h"
#include "pcxwrite.h"
#include "script.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char PROGRAM[] = "tralune-cdg";
// The stream is linked under this name beside the script: song files are named like
// "Artist - Title (Live).cdg", and a ")" cannot stand in a script argument.
const char STREAM_LINK[] = "song.cdg";

void usage()
{
    printf("usage: %s [options] SONG.cdg | SONG.zip\n"
           "       %s --frame SECONDS [-o FILE.pcx] SONG.cdg | SONG.zip\n"
           "Makes a folder ready to sing an MP3+G karaoke song: writes a script that plays the CD+G stream\n"
           "on the song's clock, links the stream beside it as %s and the song as gnusong.mp3. A zip\n"
           "holding one .cdg and one .mp3 is unpacked beside the script first.\n"
           "  -o FILE             the script to write (default script.txt, - for standard output); with\n"
           "                      --frame, the picture (default frame.pcx)\n"
           "  --song FILE         the song to link (default: the .mp3 of the same name beside the stream)\n"
           "  --frame SECONDS     write the picture shown SECONDS (12.5 or 1:02.5) into the song instead,\n"
           "                      as a 300x216 PCX file with the stream's colour table as its palette\n"
           "  --help              show this and exit\n",
           PROGRAM, PROGRAM, STREAM_LINK);
}

std::string filename(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lowercase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool hasextension(const std::string& path, const char* ext)
{
    std::string name = filename(path);
    size_t n = strlen(ext);
    return name.size() > n && lowercase(name.substr(name.size() - n)) == ext;
}

// Whether a and b name the same file (after links); false when either is missing.
bool samefile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The song beside a stream: the same name with ".mp3", the extension's case ignored, as collections
// hold ".MP3" from old rippers beside ".cdg". An exact ".mp3" wins; "" when there is none.
std::string songbeside(const std::string& stream)
{
    std::string folder = folderof(stream), name = filename(stream);
    std::string stem = name.substr(0, name.rfind('.')) + ".";
    std::vector<std::string> found;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            struct stat st;
            if (n.size() == stem.size() + 3 && n.compare(0, stem.size(), stem) == 0 &&
                lowercase(n.substr(stem.size())) == "mp3" && stat(under(folder, n).c_str(), &st) == 0 &&
                S_ISREG(st.st_mode))
                found.push_back(n);
        }
        closedir(d);
    }
    if (found.empty())
        return "";
    std::sort(found.begin(), found.end());
    auto exact = std::find(found.begin(), found.end(), stem + "mp3");
    return under(folder, exact != found.end() ? *exact : found[0]);
}

// A file that must be replaced by a link of ours: there, and no symbolic link, it is the user's.
void checklinkable(const std::string& link, const std::string& target, const char* what, const report& r)
{
    struct stat st;
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && !samefile(link, target))
        r.fail(quoted(link) + " is there and is no symbolic link: not replaced (move it away to link the " + what + ")");
}

// Links link, in folder, to target, by its path from there as the song is linked, so that the folder can
// be moved with the stream; made beside the old link and renamed over it so that a link is always there.
void makelink(const std::string& folder, const std::string& link, const std::string& target, const report& r)
{
    std::string to = linktarget(target, folder, r);
    std::string temp = link + ".tmp" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(to.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link.c_str()) != 0) {
        int e = errno;
        unlink(temp.c_str());
        r.fail("cannot link " + quoted(link) + " to the stream: " + strerror(e));
    }
}

// Writes bytes to path through a temporary file renamed into place, or to standard output for "-".
void save(const std::string& path, const std::vector<uint8_t>& bytes, const report& r)
{
    if (path == "-") {
        if (fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || fflush(stdout) != 0)
            r.fail("cannot write the picture to standard output");
        return;
    }
    std::string temp = path + ".tmp" + std::to_string(getpid());
    if (!writefile(temp, bytes) || rename(temp.c_str(), path.c_str()) != 0) {
        int e = errno;
        unlink(temp.c_str());
        r.fail("cannot write " + quoted(path) + ": " + strerror(e));
    }
}

// --frame: the picture after the first packets of the stream, as the player's decoder shows it.
void frame(const std::vector<unsigned char>& stream, long long ms, const std::string& output, report& r)
{
    long long wanted = ms * CDG_RATE / 1000;
    long long whole = (long long)(stream.size() / CDG_PACKET);
    if (wanted > whole) {
        char at[64];
        snprintf(at, sizeof at, "%lld.%03lld", whole * 1000 / CDG_RATE / 1000, whole * 1000 / CDG_RATE % 1000);
        r.warning(0, std::string("the stream ends at ") + at + " s: the picture is the one shown after its last packet");
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

// The stream's bytes from a file on its own; fails the run when it cannot be read or holds no packet.
std::vector<unsigned char> readstream(const std::string& path, const report& r)
{
    std::vector<unsigned char> packets;
    int status = loadcdg(path.c_str(), packets);
    if (status == 1)
        r.fail("cannot open the stream");
    if (status != 0)
        r.fail("cannot read the stream: it is longer than 10 hours of song, or a read failed");
    if (packets.empty())
        r.fail("the stream holds no whole packet of 24 bytes: it is no CD+G stream");
    return packets;
}

} // namespace

int main(int argc, char** argv)
{
    scriptoptions o;
    o.output.clear();
    std::string input, framearg;
    bool framewanted = false;
    cmdline cl(PROGRAM, argc, argv);
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            usage();
            return 0;
        } else if (cl.option("-o", o.output) || cl.option("--song", o.songfile)) {
        } else if (cl.option("--frame", framearg)) {
            framewanted = true;
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!input.empty()) {
            cl.fail("only one song, please: " + quoted(input) + " and " + quoted(cl.arg()) + " were given");
        } else if (cl.arg().empty()) {
            cl.fail("the song's file name is empty");
        } else {
            input = cl.arg();
        }
    }
    if (input.empty())
        cl.fail(std::string("no song given (see ") + PROGRAM + " --help)");
    long long ms = 0;
    if (framewanted && readsongtime(framearg.c_str(), &ms) != 0)
        cl.fail("--frame: bad time " + quoted(framearg) + ": give seconds (12.5) or minutes and seconds (1:02.5)");
    if (framewanted && !o.songfile.empty())
        cl.fail("--song makes no picture: give it without --frame");
    if (o.output.empty())
        o.output = framewanted ? "frame.pcx" : "script.txt";

    report r(input);
    bool iszip = hasextension(input, ".zip");
    struct stat st;
    if (stat(input.c_str(), &st) != 0)
        r.fail(std::string("cannot open it: ") + strerror(errno));
    if (!S_ISREG(st.st_mode))
        r.fail("cannot open it: it is no regular file");

    karaokezip zip;
    if (iszip && !zip.open(input))
        r.fail(zip.why());

    if (framewanted) {
        std::vector<unsigned char> stream;
        if (iszip && !zip.readstream(stream))
            r.fail(zip.why());
        frame(iszip ? stream : readstream(input, r), ms, o.output, r);
        return 0;
    }

    // Everything is checked before anything is written, so that a failure leaves the folder as it was.
    std::string folder = o.output == "-" ? "." : folderof(o.output);
    if (stat(folder.c_str(), &st) != 0)
        r.fail("cannot write in the folder " + quoted(folder) + ": " + strerror(errno));
    if (!S_ISDIR(st.st_mode) || access(folder.c_str(), W_OK | X_OK) != 0)
        r.fail("cannot write in the folder " + quoted(folder) + ": " + strerror(S_ISDIR(st.st_mode) ? errno : ENOTDIR));
    std::string stream, from;
    if (iszip) {
        stream = under(folder, zip.streamname());
        std::string song = under(folder, zip.songname());
        for (const std::string& p : {stream, song})
            if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                r.fail(quoted(p) + " is a folder: the zip cannot be unpacked there");
        if (o.songfile.empty())
            o.songfile = song;
        from = filename(input) + " (" + zip.streamname() + ")";
    } else {
        readstream(input, r);
        stream = input;
        if (o.songfile.empty()) {
            o.songfile = songbeside(input);
            if (o.songfile.empty())
                r.fail("no song beside it: " + quoted(filename(input.substr(0, input.rfind('.')) + ".mp3")) +
                       " is not there (give one with --song FILE)");
        }
        from = input;
    }
    if (!iszip || o.songfile != under(folder, zip.songname())) {
        if (stat(o.songfile.c_str(), &st) != 0)
            r.fail("cannot open the song " + quoted(o.songfile) + ": " + strerror(errno));
        if (!S_ISREG(st.st_mode))
            r.fail("cannot open the song " + quoted(o.songfile) + ": it is no regular file");
    }
    std::string streamlink = under(folder, STREAM_LINK), songlink = under(folder, "gnusong.mp3");
    // A stream already called song.cdg, or a song called gnusong.mp3, in the script's folder needs no
    // link: it is its own.
    bool linkstream = !(iszip ? stream == streamlink : samefile(stream, streamlink));
    bool linksong = !(iszip && o.songfile == under(folder, zip.songname()) ? o.songfile == songlink
                                                                           : samefile(o.songfile, songlink));
    if (linkstream)
        checklinkable(streamlink, stream, "stream", r);
    if (linksong)
        checklinkable(songlink, o.songfile, "song", r);
    else
        o.songfile.clear();

    if (iszip && !zip.unpack(stream, under(folder, zip.songname())))
        r.fail(zip.why());
    if (linkstream)
        makelink(folder, streamlink, stream, r);
    savescript(commentline("Made by tralune-cdg from " + from + "; the stream is timed by the song.") +
                   "cdg(" + STREAM_LINK + ")\n",
               o, r);
    return 0;
}
