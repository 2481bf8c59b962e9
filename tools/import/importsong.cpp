// The one path from a song file to a folder ready to sing.
#include "importsong.h"
#include "ass.h"
#include "cdg.h"
#include "cli.h"
#include "kar.h"
#include "karaokezip.h"
#include "lrc.h"
#include "midirender.h"
#include "prepare.h"
#include "songfolder.h"
#include "ultrastar.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>

namespace {

// The stream is linked under this name beside the script: song files are named like
// "Artist - Title (Live).cdg", and a ")" cannot stand in a script argument.
const char STREAM_LINK[] = "song.cdg";

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

// Whether a and b name the same file (after links); false when either is missing.
bool samefile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Fails through r unless folder is a folder the script can be written in; a folder that is not there
// is said to be missing, not taken for a missing song.
void checkfolder(const std::string& folder, const report& r)
{
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 && errno == ENOENT)
        r.fail("cannot write in the folder " + quoted(folder) + ": it does not exist (make it first)");
    if (stat(folder.c_str(), &st) != 0)
        r.fail("cannot write in the folder " + quoted(folder) + ": " + strerror(errno));
    if (!S_ISDIR(st.st_mode) || access(folder.c_str(), W_OK | X_OK) != 0)
        r.fail("cannot write in the folder " + quoted(folder) + ": " + strerror(S_ISDIR(st.st_mode) ? errno : ENOTDIR));
}

// Plans the font made for a folder without one.
void planfont(songfolder& f, scriptfont& font)
{
    if (!font.path.empty())
        f.put(font.path, std::string(font.pcx.begin(), font.pcx.end()), "the font", true);
}

// Commits the plan, failing through r, then says what became of the font.
void commit(songfolder& f, const scriptfont& font, const report& r, const std::atomic<bool>* cancel)
{
    std::string why = f.commit(cancel);
    if (!why.empty())
        r.fail(why);
    for (const std::string& w : f.warnings())
        r.warning(0, w + ": every text line will be blank");
    if (!font.path.empty() && f.warnings().empty())
        r.note(madefontnote(font.path));
}

void cancelled(const std::atomic<bool>* cancel, const report& r)
{
    if (cancel && cancel->load())
        r.fail("interrupted: nothing was written");
}

// A CD+G stream checked to be one (an MP3, a picture or a text file renamed is none): whole packets,
// most of them either graphics (command 9 with one of the format's instructions) or empty, as every
// disc's subcode is. Rips cut in the middle of a packet are common, so a size that is no whole number
// of packets is not held against a stream. Fails through r naming the file.
void checkstream(const std::vector<unsigned char>& packets, const std::string& name, const report& r)
{
    std::string stream = name.empty() ? "the stream" : "the stream " + quoted(name);
    if (packets.empty())
        r.fail(stream + " holds no whole packet of 24 bytes: it is no CD+G stream");
    static const int instructions[] = {1, 2, 6, 20, 24, 28, 30, 31, 38};
    size_t total = packets.size() / CDG_PACKET, graphics = 0, empty = 0;
    for (size_t i = 0; i < total; i++) {
        const unsigned char* p = &packets[i * CDG_PACKET];
        // The top two bits of each byte are other subcode channels, which some rippers keep.
        if ((p[0] & 0x3F) == 0)
            empty++;
        else if ((p[0] & 0x3F) == 0x09 &&
                 std::find(std::begin(instructions), std::end(instructions), p[1] & 0x3F) != std::end(instructions))
            graphics++;
    }
    // Random bytes hold a graphics or an empty packet about once in 50.
    if (graphics == 0 || (graphics + empty) * 2 < total)
        r.fail(stream + " holds " + (graphics == 0 ? "no packet of CD+G graphics" : "mostly packets that are no CD+G") +
               ": it is no CD+G stream");
}

// An MP3+G song: the stream linked (or unpacked from the zip) as song.cdg, the song as gnusong.mp3.
std::string preparecdg(const importjob& job, report& r, const std::atomic<bool>* cancel)
{
    scriptoptions o = job.o;
    std::string input = job.input;
    bool iszip = hasextension(input, ".zip");
    struct stat st;
    if (stat(input.c_str(), &st) != 0)
        r.fail(std::string("cannot open it: ") + strerror(errno));
    if (!S_ISREG(st.st_mode))
        r.fail("cannot open it: it is no regular file");
    // The song given for its stream: the stream is the .cdg beside it.
    if (hasextension(input, ".mp3")) {
        std::string stream = filebeside(input, ".cdg");
        if (stream.empty())
            r.fail("no CD+G stream beside it: " + quoted(filename(input.substr(0, input.rfind('.')) + ".cdg")) +
                   " is not there (tralune-cdg takes the .cdg, or a zip holding both)");
        if (o.songfile.empty())
            o.songfile = input;
        input = stream;
    }

    karaokezip zip;
    if (iszip && !zip.open(input))
        r.fail(zip.why());
    if (iszip) {
        std::vector<unsigned char> stream;
        if (!zip.readstream(stream))
            r.fail(zip.why());
        checkstream(stream, zip.streamname(), r);
    }

    // Everything is checked before anything is written, so that a failure leaves the folder as it was.
    std::string folder = o.output == "-" ? "." : folderof(o.output);
    checkfolder(folder, r);
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
        readcdgstream(input, r);
        stream = input;
        if (o.songfile.empty()) {
            o.songfile = filebeside(input, ".mp3");
            if (o.songfile.empty())
                r.fail("no song beside it: " + quoted(filename(input.substr(0, input.rfind('.')) + ".mp3")) +
                       " is not there (give one with --song FILE)");
        }
        from = input;
    }
    bool zipsong = iszip && o.songfile == under(folder, zip.songname());
    if (!zipsong) {
        if (stat(o.songfile.c_str(), &st) != 0)
            r.fail("cannot open the song " + quoted(o.songfile) + ": " + strerror(errno));
        if (!S_ISREG(st.st_mode))
            r.fail("cannot open the song " + quoted(o.songfile) + ": it is no regular file");
    }
    std::string streamlink = under(folder, STREAM_LINK), songlink = under(folder, "gnusong.mp3");
    // A stream already called song.cdg, or a song called gnusong.mp3, in the script's folder needs no
    // link: it is its own.
    bool linkstream = !(iszip ? stream == streamlink : samefile(stream, streamlink));
    bool linksong = !(zipsong ? o.songfile == songlink : samefile(o.songfile, songlink));
    // A file unpacked from the zip lies in the folder itself: its link holds its bare name.
    std::string streamtarget = linkstream ? (iszip ? zip.streamname() : linktarget(stream, folder, r)) : "";
    std::string songtarget = linksong ? (zipsong ? zip.songname() : linktarget(o.songfile, folder, r)) : "";
    // Every folder has a font, so that the player never starts with a missing one; a stream draws no
    // text, so that none is measured with it.
    scriptfont font;
    if (o.font.empty() && lstat(under(folder, "font.pcx").c_str(), &st) != 0) {
        std::vector<uint8_t> pcx;
        std::string why = defaultscriptfont(&pcx);
        if (why.empty()) {
            font.path = under(folder, "font.pcx");
            font.pcx = std::move(pcx);
        }
    }
    cancelled(cancel, r);

    songfolder f;
    if (iszip) {
        std::string streamtemp = f.tempfor(stream), songtemp = f.tempfor(under(folder, zip.songname()));
        if (!zip.unpack(streamtemp, songtemp, cancel)) {
            cancelled(cancel, r);
            r.fail(zip.why());
        }
        f.adopt(stream, streamtemp, "the stream");
        f.adopt(under(folder, zip.songname()), songtemp, "the song");
    }
    if (linkstream)
        f.link(streamlink, streamtarget, "the stream");
    if (linksong)
        f.link(songlink, songtarget, "the song");
    planfont(f, font);
    std::string script = commentline("Made by tralune-cdg from " + from + "; the stream is timed by the song.") +
                         "cdg(" + STREAM_LINK + ")\n";
    if (o.output != "-")
        f.put(o.output, script, "the script");
    commit(f, font, r, cancel);
    return script;
}

// A song of timed text: the reader's song written as a script, with the song linked or rendered.
std::string preparelyrics(const importjob& job, report& r, const std::atomic<bool>* cancel, songtags* tags)
{
    scriptoptions o = job.o;
    std::string bytes = readinput(job.input, r);
    songread (*reader)(const std::string&, const std::string&, const readoptions&) =
        job.format == songformat::LRC ? readlrc : job.format == songformat::ULTRASTAR ? readultrastar
        : job.format == songformat::ASS ? readass : readkar;
    songread s = reader(bytes, job.input, job.read);
    bytes.clear();
    r.relay(s.messages);
    if (!s.error.empty())
        r.fail(s.errorline, s.error);
    tags->title = s.s.title;
    tags->artist = s.s.artist;
    if (o.songwanted && o.songfile.empty()) {
        if (s.audio.empty())
            r.fail(job.songneeded ? "the file names no song (#AUDIO or #MP3): nothing to play"
                                  : "--song: the file names no song (#AUDIO or #MP3); give one as --song=FILE");
        o.songfile = under(folderof(job.input), s.audio);
    }
    std::string folder = o.output == "-" ? "." : folderof(o.output);
    checkfolder(folder, r);

    scriptfont font;
    std::string script = makescript(s.s, o, "Made by " + job.heading + " from " + job.input + "; times are song times.", r, &font);
    songfolder f;
    planfont(f, font);
    std::string songlink = under(folder, "gnusong.mp3");
    if (!o.songfile.empty() && !ismp3(o.songfile)) {
        // Still worth a script: the song only needs converting, and the command says how.
        r.warning(0, "the song " + quoted(o.songfile) + " is no MP3, and mpg123, which plays tralune's song, " +
                         "plays MP3 only: not linked. Make one beside the script with: ffmpeg -i " +
                         shellquoted(o.songfile) + " -vn -q:a 2 " + shellquoted(folder + "/gnusong.mp3"));
        if (job.songneeded)
            r.fail("the song " + quoted(o.songfile) + " is no MP3: it cannot be played");
    } else if (!o.songfile.empty()) {
        f.link(songlink, linktarget(o.songfile, folder, r), "the song");
    }
    if (job.format == songformat::MIDI && job.audio) {
        cancelled(cancel, r);
        std::string temp = f.tempfor(songlink);
        if (rendermidi(s.smf, s.lengthms, job.soundfont, temp, r, cancel))
            f.adopt(songlink, temp, "the song");
        cancelled(cancel, r);
    }
    if (job.songneeded && o.songfile.empty() && !(job.format == songformat::MIDI && job.audio && f.planned(songlink)))
        r.fail("no song to play with the lyrics: the folder would be silent");
    if (o.output != "-")
        f.put(o.output, script, "the script");
    commit(f, font, r, cancel);
    return script;
}

} // namespace

std::vector<unsigned char> readcdgstream(const std::string& path, const report& r)
{
    std::vector<unsigned char> packets;
    int status = loadcdg(path.c_str(), packets);
    if (status == 1)
        r.fail("cannot open the stream");
    if (status != 0)
        r.fail("cannot read the stream: it is longer than 10 hours of song, or a read failed");
    checkstream(packets, "", r);
    return packets;
}

bool hasextension(const std::string& path, const std::string& ext)
{
    std::string name = filename(path);
    return name.size() > ext.size() && lowercase(name.substr(name.size() - ext.size())) == ext;
}

std::string filebeside(const std::string& file, const std::string& ext)
{
    std::string folder = folderof(file), name = filename(file);
    std::string stem = name.substr(0, name.rfind('.'));
    std::vector<std::string> found;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            struct stat st;
            if (n.size() == stem.size() + ext.size() && n.compare(0, stem.size(), stem) == 0 &&
                lowercase(n.substr(stem.size())) == ext && stat(under(folder, n).c_str(), &st) == 0 &&
                S_ISREG(st.st_mode))
                found.push_back(n);
        }
        closedir(d);
    }
    if (found.empty())
        return "";
    std::sort(found.begin(), found.end());
    auto exact = std::find(found.begin(), found.end(), stem + ext);
    return under(folder, exact != found.end() ? *exact : found[0]);
}

std::string preparesong(const importjob& job, report& r, const std::atomic<bool>* cancel, songtags* tags)
{
    tags->format = job.format;
    if (job.format == songformat::CDG || job.format == songformat::ZIP)
        return preparecdg(job, r, cancel);
    if (job.format == songformat::NONE)
        r.fail("not a song file tralune imports (.cdg, .zip, .kar, .mid, .lrc, .txt, .ass or .ssa)");
    return preparelyrics(job, r, cancel, tags);
}

songformat formatof(const std::string& path)
{
    struct kind {
        const char* ext;
        songformat format;
    };
    static const kind kinds[] = {{".cdg", songformat::CDG},  {".mp3", songformat::CDG},       {".zip", songformat::ZIP},
                                 {".kar", songformat::MIDI}, {".mid", songformat::MIDI},      {".midi", songformat::MIDI},
                                 {".lrc", songformat::LRC},  {".txt", songformat::ULTRASTAR}, {".ass", songformat::ASS},
                                 {".ssa", songformat::ASS}};
    for (const kind& k : kinds)
        if (hasextension(path, k.ext))
            return k.format;
    return songformat::NONE;
}

importresult importsong(const std::string& path, const std::string& folder, const importoptions& io,
                        const std::atomic<bool>* cancel)
{
    importresult result;
    result.format = formatof(path);
    report r(path, &result.messages);
    try {
        static const char* programs[] = {"tralune", "tralune-cdg", "tralune-cdg", "tralune-kar",
                                         "tralune-lrc", "tralune-ultrastar", "tralune-ass"};
        importjob job;
        job.format = result.format;
        job.input = path;
        job.heading = programs[int(job.format)];
        job.o.output = under(folder.empty() ? "." : folder, "script.txt");
        job.o.rows = io.rows;
        job.o.fill = io.fill;
        job.o.lead = io.lead;
        job.o.offset = io.offset;
        job.o.font = io.font;
        job.o.picture = io.picture;
        job.o.background = io.background;
        job.o.songfile = io.song;
        job.o.songwanted = !io.song.empty();
        job.read.style = io.style;
        job.read.voice = io.voice;
        job.audio = io.audio;
        job.soundfont = io.soundfont;
        job.songneeded = io.songneeded;
        struct stat st;
        if (job.format != songformat::NONE && stat(path.c_str(), &st) != 0)
            r.fail(std::string("cannot read it: ") + strerror(errno));
        if (io.song.empty() && (job.format == songformat::LRC || job.format == songformat::ASS)) {
            job.o.songfile = filebeside(path, ".mp3");
            if (job.o.songfile.empty() && io.songneeded)
                r.fail("no song beside it: " + quoted(filename(path.substr(0, path.rfind('.')) + ".mp3")) + " is not there");
        }
        // UltraStar names its song: asked for as a bare --song asks for it.
        if (io.song.empty() && job.format == songformat::ULTRASTAR && io.songneeded)
            job.o.songwanted = true;
        if (!io.soundfont.empty() && job.format == songformat::MIDI && io.audio && !issoundfont(io.soundfont))
            r.fail("the soundfont " + quoted(io.soundfont) + " cannot be read as one (an .sf2 or .sf3 file)");
        songtags tags;
        preparesong(job, r, cancel, &tags);
        result.title = tags.title;
        result.artist = tags.artist;
        result.ok = true;
    } catch (const importfailure& f) {
        result.error = f.text();
        result.file = f.file;
        result.line = f.line;
    } catch (const std::bad_alloc&) {
        result.error = path + ": error: not enough memory to read it";
        result.file = path;
    } catch (const std::exception& e) {
        result.error = path + ": error: " + e.what();
        result.file = path;
    } catch (...) {
        result.error = path + ": error: it cannot be read";
        result.file = path;
    }
    return result;
}

namespace {

// The part of a song file where its tags stand, for the reader to read them alone, so that a library of
// thousands of songs is listed without reading every line of each: up to the first line that starts
// with `marker` after the newline and then no "#" (UltraStar's header), or a digit (an LRC time stamp),
// or that is the marker itself (ASS's [Events]). Text in UTF-16 has no such bytes and is kept whole.
std::string headerpart(const std::string& head, const std::string& marker)
{
    for (size_t at = head.find(marker); at != std::string::npos; at = head.find(marker, at + 1)) {
        char next = at + marker.size() < head.size() ? head[at + marker.size()] : '\0';
        if (marker == "\n" ? next != '#' && next != '\r' && next != '\n' : marker == "\n[" ? next >= '0' && next <= '9' : true)
            return head.substr(0, at + 1);
    }
    return head;
}

} // namespace

songtags readsongtags(const std::string& head, const std::string& name)
{
    songtags t;
    t.format = formatof(name);
    try {
        songread s;
        switch (t.format) {
        case songformat::LRC: s = readlrc(headerpart(head, "\n["), name); break;
        case songformat::ULTRASTAR: s = readultrastar(headerpart(head, "\n"), name); break;
        case songformat::ASS: s = readass(headerpart(head, "\n[Events]"), name); break;
        case songformat::MIDI: s = readkar(head, name); break;
        default: return t;
        }
        t.title = s.s.title;
        t.artist = s.s.artist;
    } catch (...) {
        t.title.clear();
        t.artist.clear();
    }
    return t;
}

songtags readsongtagsfile(const std::string& path)
{
    songtags none;
    none.format = formatof(path);
    if (none.format == songformat::NONE || none.format == songformat::CDG || none.format == songformat::ZIP)
        return none;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return none;
    struct stat st;
    std::string head;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        head.resize(size_t(std::min<long long>(st.st_size, SONGTAGS_BYTES)));
        size_t got = 0;
        while (got < head.size()) {
            ssize_t n = read(fd, &head[got], head.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += size_t(n);
        }
        head.resize(got);
    }
    close(fd);
    return readsongtags(head, path);
}
