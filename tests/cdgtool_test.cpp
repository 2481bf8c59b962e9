// tralune-cdg run as a user runs it: its pictures held pixel for pixel against a plain reference
// renderer written apart from the player's decoder (cdg_reference.py), on streams shaped like those of
// karaoke discs (make_cdg.py; no rip of a real disc is at hand, so they are made); the folders it makes
// from a stream and its song and from a zip; and its refusals.
#include "gfx.h"
#include "karaokezip.h"
#include "runner.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <utility>

namespace {

const char PYTHON[] = "/usr/bin/python3";
const std::string GENERATOR = std::string(TESTS_DIR) + "/make_cdg.py";
const std::string REFERENCE = std::string(TESTS_DIR) + "/cdg_reference.py";

// The palette (16 entries of red, green, blue) and the 300x216 colour indexes of a picture.
struct picture {
    std::string palette, indexes;
};

// An 8-bit PCX file's first 16 palette entries and its indexes, decoded here on their own so that an
// index that differs is seen even where two palette entries share a colour.
picture readpcx(const std::string& path)
{
    std::string b = readtext(path);
    picture p;
    if (b.size() < 128 + 769)
        return p;
    auto u16 = [&b](size_t at) { return int((unsigned char)b[at]) | int((unsigned char)b[at + 1]) << 8; };
    int width = u16(8) - u16(4) + 1, height = u16(10) - u16(6) + 1, bpl = u16(66);
    size_t at = 128, end = b.size() - 769;
    for (int y = 0; y < height; y++) {
        std::string row;
        while (int(row.size()) < bpl && at < end) {
            unsigned char c = (unsigned char)b[at++];
            if (c >= 0xC0 && at < end)
                row.append(c & 0x3F, b[at++]);
            else
                row += char(c);
        }
        p.indexes += row.substr(0, size_t(width));
    }
    p.palette = b.substr(b.size() - 768, 48);
    return p;
}

// "at (x,y): index 3 (r,g,b), reference 5 (r,g,b)" for the first pixel that differs, "" when none does.
std::string firstdifference(const picture& got, const picture& want)
{
    if (got.indexes.size() != want.indexes.size())
        return "the picture holds " + std::to_string(got.indexes.size()) + " pixels, not " +
               std::to_string(want.indexes.size());
    auto rgb = [](const picture& p, int i) {
        std::ostringstream s;
        s << int((unsigned char)p.palette[3 * i]) << "," << int((unsigned char)p.palette[3 * i + 1]) << ","
          << int((unsigned char)p.palette[3 * i + 2]);
        return s.str();
    };
    for (int i = 0; i < 16; i++)
        if (got.palette.substr(3 * i, 3) != want.palette.substr(3 * i, 3))
            return "palette entry " + std::to_string(i) + " is " + rgb(got, i) + ", reference " + rgb(want, i);
    for (size_t i = 0; i < got.indexes.size(); i++)
        if (got.indexes[i] != want.indexes[i]) {
            int a = (unsigned char)got.indexes[i], b = (unsigned char)want.indexes[i];
            return "at (" + std::to_string(i % 300) + "," + std::to_string(i / 300) + "): index " + std::to_string(a) +
                   ", reference " + std::to_string(b);
        }
    return "";
}

// Every file under folder with its size, or where it links to, one a line, sorted: what a run may not
// change when it fails.
std::string listing(const std::string& folder, const std::string& prefix = "")
{
    std::vector<std::string> lines;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name, p = folder + "/" + n;
            if (n == "." || n == "..")
                continue;
            struct stat st;
            lstat(p.c_str(), &st);
            char target[4096] = {};
            if (S_ISLNK(st.st_mode) && readlink(p.c_str(), target, sizeof target - 1) < 0)
                target[0] = '?';
            lines.push_back(prefix + n + (S_ISDIR(st.st_mode) ? "/\n" + listing(p, prefix + n + "/")
                                          : S_ISLNK(st.st_mode) ? std::string(" -> ") + target + "\n"
                                                                : " " + std::to_string(st.st_size) + "\n"));
        }
        closedir(d);
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const auto& l : lines)
        out += l;
    return out;
}

bool samefile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Writes a zip of the given (name, bytes) entries with libzip, names taken as they are.
void makezip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries)
{
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr) << "libzip error " << error;
    for (const auto& [name, bytes] : entries) {
        zip_source_t* s = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
        ASSERT_GE(zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8), 0) << name << ": " << zip_strerror(z);
    }
    ASSERT_EQ(zip_close(z), 0);
}


class CdgTool : public ::testing::Test {
protected:
    CdgTool()
    {
        for (const char* folder : {"songs", "sing", "sing2"})
            mkdir(st.work(folder).c_str(), 0755);
    }

    ToolRun tool(const std::vector<std::string>& args) { return st.runtool(CDG_BINARY, args); }

    // Makes a stream with make_cdg.py in work/name; returns the packet counts at which its parts end.
    std::vector<long long> generate(const std::string& name, int seed, int lines = 4)
    {
        ToolRun g = st.runtool(PYTHON, {GENERATOR, "--lines", std::to_string(lines), name, std::to_string(seed)});
        EXPECT_EQ(g.status, 0) << g;
        std::vector<long long> ends;
        std::istringstream in(g.out);
        long long count;
        std::string part;
        while (in >> count >> part)
            ends.push_back(count);
        EXPECT_GT(ends.size(), 10u) << g;
        return ends;
    }

    Stage st;
};

TEST_F(CdgTool, FrameMatchesTheReferenceRendererAtEveryPartOfDiscShapedStreams)
{
    for (int seed : {11, 12}) {
        SCOPED_TRACE("stream " + std::to_string(seed));
        std::vector<long long> ends = generate("song.cdg", seed);
        // Each part's end and its middle (a wipe or a glide under way), the very start, and a time
        // past the end, which shows the picture after the last packet.
        std::vector<long long> ms{0, ends.back() * 10 / 3 + 60000};
        long long before = 0;
        for (long long end : ends) {
            // The least millisecond at which floor(ms * 300 / 1000) packets reach count.
            for (long long count : {(before + end) / 2, end})
                ms.push_back((count * 10 + 2) / 3);
            before = end;
        }
        std::vector<std::string> args{REFERENCE, "song.cdg", "reference"};
        for (long long m : ms)
            args.push_back(std::to_string(m * 3 / 10));
        ToolRun ref = st.runtool(PYTHON, args);
        ASSERT_EQ(ref.status, 0) << ref;

        int fineoffsets = 0;
        for (size_t i = 0; i < ms.size(); i++) {
            char seconds[32];
            snprintf(seconds, sizeof seconds, "%lld.%03lld", ms[i] / 1000, ms[i] % 1000);
            ToolRun t = tool({"--frame", seconds, "-o", "frame.pcx", "song.cdg"});
            ASSERT_EQ(t.status, 0) << seconds << " s: " << t;
            // Only the time past the end is warned of.
            bool pastend = ms[i] * 3 / 10 > ends.back();
            EXPECT_EQ(t.err.find("warning: the stream ends at") != std::string::npos, pastend) << t;
            picture want;
            std::string raw = readtext(st.work("reference-" + args[3 + i] + ".raw"));
            ASSERT_EQ(raw.size(), 48u + 300 * 216 + 2);
            want.palette = raw.substr(0, 48);
            want.indexes = raw.substr(48, 300 * 216);
            picture got = readpcx(st.work("frame.pcx"));
            EXPECT_EQ(firstdifference(got, want), "") << seconds << " s, after " << args[3 + i] << " packets";

            // The player's own PCX decoder reads the file as the same colours.
            MEM_Sprite s{};
            ASSERT_EQ(gfx::instance()->loadPCX(&s, st.work("frame.pcx").c_str()), 0);
            ASSERT_EQ(s.width * s.height, 300 * 216);
            for (int p = 0; p < 300 * 216; p++) {
                int k = (unsigned char)want.indexes[size_t(p)];
                pixel c = pixel((unsigned char)want.palette[size_t(3 * k)]) << 16 |
                          pixel((unsigned char)want.palette[size_t(3 * k + 1)]) << 8 |
                          pixel((unsigned char)want.palette[size_t(3 * k + 2)]);
                if (s.pixels[p] != c) {
                    ADD_FAILURE() << seconds << " s: loadPCX reads " << std::hex << s.pixels[p] << " at (" << std::dec
                                  << p % 300 << "," << p / 300 << "), the reference shows " << std::hex << c;
                    break;
                }
            }
            delete[] s.pixels;
            if (raw[48 + 300 * 216] != 0 || raw[48 + 300 * 216 + 1] != 0)
                fineoffsets++;
        }
        // The times looked at catch the fine scroll under way, so that its direction is checked.
        EXPECT_GE(fineoffsets, 3);
    }
}

TEST_F(CdgTool, FolderFromAStreamAndItsSongPlaysAndChecks)
{
    // Named as collections name them, with the song's extension in capitals as old rippers wrote it.
    std::vector<long long> ends = generate("songs/Artist - Title (Live).cdg", 21, 1);
    std::string song = st.write("songs/Artist - Title (Live).MP3", "an MP3");
    st.write("songs/Artist - Title (Live).txt", "not the song");
    // Made in work/, where tralune runs.
    ToolRun t = tool({"songs/Artist - Title (Live).cdg"});
    ASSERT_EQ(t.status, 0) << t;
    // Every folder gets a font, so that tralune never starts with a missing one.
    EXPECT_EQ(t.err, "songs/Artist - Title (Live).cdg: note: no font was beside the script: made \"font.pcx\" from "
                     "DejaVu Sans Bold at 32 pixels\n");
    EXPECT_EQ(readtext(st.work("script.txt")),
              "; Made by tralune-cdg from songs/Artist - Title (Live).cdg; the stream is timed by the song.\n"
              "cdg(song.cdg)\n");
    // Both links lead to the files beside each other in songs/.
    EXPECT_TRUE(samefile(st.work("song.cdg"), st.work("songs/Artist - Title (Live).cdg")));
    EXPECT_TRUE(samefile(st.work("gnusong.mp3"), song));
    struct stat l;
    ASSERT_EQ(lstat(st.work("song.cdg").c_str(), &l), 0);
    EXPECT_TRUE(S_ISLNK(l.st_mode));

    ToolRun c = st.runtool(CHECK_BINARY, {});
    EXPECT_EQ(c.status, 0) << c;
    EXPECT_NE(c.err.find(": 0 errors, 0 warnings;"), std::string::npos) << c;

    // tralune plays the song and shows the stream till its last packet is due, 1.5 s after it starts.
    st.addfont();
    RunResult r = st.run();
    EXPECT_TRUE(r.exited && r.status == 0) << r.output;
    EXPECT_GE(r.seconds, 1.5 + ends.back() / 300.0 - 0.05) << r.output;
    EXPECT_NE(readtext(st.playerlog()).find("gnusong.mp3"), std::string::npos);

    // Made again, with another song given: the links are replaced, nothing else is touched.
    std::string other = st.write("songs/other.mp3", "another MP3");
    t = tool({"--song", "songs/other.mp3", "songs/Artist - Title (Live).cdg"});
    ASSERT_EQ(t.status, 0) << t;
    EXPECT_TRUE(samefile(st.work("gnusong.mp3"), other));
    EXPECT_TRUE(samefile(st.work("song.cdg"), st.work("songs/Artist - Title (Live).cdg")));

    // A stream already called song.cdg beside the script is not linked to itself.
    generate("sing2/song.cdg", 22, 1);
    st.write("sing2/song.mp3", "an MP3");
    t = tool({"-o", "sing2/script.txt", "sing2/song.cdg"});
    ASSERT_EQ(t.status, 0) << t;
    ASSERT_EQ(lstat(st.work("sing2/song.cdg").c_str(), &l), 0);
    EXPECT_TRUE(S_ISREG(l.st_mode));
    EXPECT_GT(l.st_size, 24 * 100);
}

TEST_F(CdgTool, ZipIsUnpackedBesideTheScriptAndShowsTheSamePictures)
{
    generate("songs/Artist - Title.cdg", 31, 1);
    std::string stream = readtext(st.work("songs/Artist - Title.cdg")), song = "an MP3 song";
    // Laid out as zips come: the files in a folder of their own, macOS's copies of their extended
    // attributes beside them (same extensions), a text file.
    makezip(st.work("songs/karaoke.zip"), {{"Karaoke/", ""},
                                           {"Karaoke/Artist - Title.cdg", stream},
                                           {"Karaoke/Artist - Title.mp3", song},
                                           {"__MACOSX/Karaoke/._Artist - Title.mp3", "attributes"},
                                           {"__MACOSX/Karaoke/._Artist - Title.cdg", "attributes"},
                                           {"Karaoke/readme.txt", "sing!"}});
    ToolRun t = tool({"-o", "sing/script.txt", "songs/karaoke.zip"});
    ASSERT_EQ(t.status, 0) << t;
    EXPECT_EQ(t.err, "songs/karaoke.zip: note: no font was beside the script: made \"sing/font.pcx\" from DejaVu Sans "
                     "Bold at 32 pixels\n");
    std::string script = readtext(st.work("sing/script.txt"));
    EXPECT_EQ(script, "; Made by tralune-cdg from karaoke.zip (Artist - Title.cdg); the stream is timed by the song.\n"
                      "cdg(song.cdg)\n");
    EXPECT_EQ(listing(st.work("sing")), "Artist - Title.cdg " + std::to_string(stream.size()) + "\n" +
                                            "Artist - Title.mp3 " + std::to_string(song.size()) + "\n" +
                                            "font.pcx " + std::to_string(readtext(st.work("sing/font.pcx")).size()) + "\n" +
                                            "gnusong.mp3 -> Artist - Title.mp3\n" +
                                            "script.txt " + std::to_string(script.size()) + "\n" +
                                            "song.cdg -> Artist - Title.cdg\n");
    EXPECT_EQ(readtext(st.work("sing/Artist - Title.cdg")), stream);
    EXPECT_EQ(readtext(st.work("sing/Artist - Title.mp3")), song);
    // Checked from its folder, where tralune is run and looks the stream up.
    ToolRun c = st.runtool("/bin/sh", {"-c", "cd sing && exec \"$0\"", CHECK_BINARY});
    EXPECT_NE(c.err.find(": 0 errors, 0 warnings;"), std::string::npos) << c;

    // --frame reads the stream inside the zip: the same file as from the stream itself.
    ASSERT_EQ(tool({"--frame", "2.5", "-o", "zip.pcx", "songs/karaoke.zip"}).status, 0);
    ASSERT_EQ(tool({"--frame", "2.5", "-o", "cdg.pcx", "songs/Artist - Title.cdg"}).status, 0);
    EXPECT_EQ(readtext(st.work("zip.pcx")), readtext(st.work("cdg.pcx")));
    EXPECT_GT(readtext(st.work("zip.pcx")).size(), 900u);
}

TEST_F(CdgTool, RefusalsExitOneWithOneMessageAndWriteNothing)
{
    generate("songs/lonely.cdg", 41, 1);
    std::string stream = readtext(st.work("songs/lonely.cdg"));
    makezip(st.work("songs/nosong.zip"), {{"a.cdg", stream}, {"a.txt", "lyrics"}});
    makezip(st.work("songs/twosongs.zip"), {{"a.cdg", stream}, {"a.mp3", "1"}, {"b.mp3", "2"}});
    makezip(st.work("songs/climbs.zip"), {{"a.cdg", stream}, {"../../a.mp3", "1"}});
    makezip(st.work("songs/climbs2.zip"), {{"a.cdg", stream}, {"a.mp3", "1"}, {"x/..\\..\\b.txt", "2"}});
    makezip(st.work("songs/absolute.zip"), {{"/tmp/a.cdg", stream}, {"a.mp3", "1"}});
    makezip(st.work("songs/huge.zip"), {{"a.cdg", std::string(size_t(MAX_STREAM_BYTES) + 24, '\0')}, {"a.mp3", "1"}});
    makezip(st.work("songs/nopacket.zip"), {{"a.cdg", "short"}, {"a.mp3", "1"}});
    // A zip bomb's way past a check of sizes: the stream's entry says it unpacks to 240 bytes (local
    // header: offset 22; central directory header: offset 24), and unpacks to 100000.
    makezip(st.work("songs/lying.zip"), {{"a.cdg", std::string(100000, '\0')}, {"a.mp3", "1"}});
    std::string lying = readtext(st.work("songs/lying.zip"));
    size_t central = lying.find("PK\x01\x02");
    ASSERT_EQ(lying.compare(0, 4, "PK\x03\x04"), 0);
    ASSERT_NE(central, std::string::npos);
    for (size_t at : {size_t(22), central + 24})
        lying.replace(at, 4, std::string("\xF0\0\0\0", 4));
    st.write("songs/lying.zip", lying);
    st.write("songs/fake.zip", "this is no zip");
    st.write("songs/empty.cdg", "");
    st.write("songs/empty.mp3", "an MP3");
    st.write("sing/gnusong.mp3", "the user's own song, no link");
    std::string before = listing(st.work());

    struct refusal {
        std::vector<std::string> args;
        std::string message;
    };
    for (const refusal& c : std::vector<refusal>{
             {{"songs/missing.cdg"}, "songs/missing.cdg: error: cannot open it: No such file or directory"},
             {{"songs"}, "songs: error: cannot open it: it is no regular file"},
             {{"songs/lonely.cdg"}, "songs/lonely.cdg: error: no song beside it: \"lonely.mp3\" is not there"},
             {{"--song", "songs/none.mp3", "songs/lonely.cdg"}, "songs/lonely.cdg: error: cannot open the song \"songs/none.mp3\""},
             {{"songs/empty.cdg"}, "songs/empty.cdg: error: the stream holds no whole packet"},
             {{"songs/nosong.zip"}, "songs/nosong.zip: error: holds one .cdg stream and no .mp3 song"},
             {{"songs/twosongs.zip"}, "songs/twosongs.zip: error: holds one .cdg stream and 2 .mp3 songs"},
             {{"songs/climbs.zip"}, "songs/climbs.zip: error: the entry \"../../a.mp3\" would be unpacked outside"},
             {{"songs/climbs2.zip"}, "songs/climbs2.zip: error: the entry \"x/..\\..\\b.txt\" would be unpacked outside"},
             {{"songs/absolute.zip"}, "songs/absolute.zip: error: the entry \"/tmp/a.cdg\" would be unpacked outside"},
             {{"songs/huge.zip"}, "songs/huge.zip: error: the entry \"a.cdg\" is bigger than any stream"},
             {{"songs/nopacket.zip"}, "songs/nopacket.zip: error: the stream \"a.cdg\" holds no whole packet"},
             {{"songs/lying.zip"}, "songs/lying.zip: error: the entry \"a.cdg\" unpacks to more than the 240 bytes it says"},
             {{"--frame", "1", "songs/lying.zip"}, "songs/lying.zip: error: the entry \"a.cdg\" unpacks to more than the 240"},
             {{"songs/fake.zip"}, "songs/fake.zip: error: cannot be read as a zip: Not a zip archive"},
             {{"-o", "sing/script.txt", "--song", "songs/empty.mp3", "songs/lonely.cdg"},
              "songs/lonely.cdg: error: \"sing/gnusong.mp3\" is there and is no symbolic link: not replaced"},
             {{"-o", "nowhere/script.txt", "--song", "songs/empty.mp3", "songs/lonely.cdg"},
              "songs/lonely.cdg: error: cannot write in the folder \"nowhere\""},
             {{"--frame", "1.2345", "songs/lonely.cdg"}, "tralune-cdg: --frame: bad time \"1.2345\""},
             {{"--frame", "1", "songs/missing.zip"}, "songs/missing.zip: error: cannot open it"},
             {{"--frame", "1", "songs/climbs.zip"}, "songs/climbs.zip: error: the entry \"../../a.mp3\""},
             {{"--frame", "1", "-o", "nowhere/f.pcx", "songs/lonely.cdg"}, "songs/lonely.cdg: error: cannot write \"nowhere/f.pcx\""},
         }) {
        std::string shown;
        for (const auto& a : c.args)
            shown += " " + a;
        SCOPED_TRACE("tralune-cdg" + shown);
        ToolRun t = tool(c.args);
        EXPECT_EQ(t.status, 1) << t;
        EXPECT_EQ(t.err.compare(0, c.message.size(), c.message), 0) << t;
        EXPECT_EQ(std::count(t.err.begin(), t.err.end(), '\n'), 1) << t;
        EXPECT_EQ(t.out, "");
        EXPECT_EQ(listing(st.work()), before);
    }
}

} // namespace
