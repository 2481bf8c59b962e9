// The import path in-process: each reader fed bytes from a table, the writer's rules for lines without
// an end, a song folder interrupted at each step, and importsong preparing a folder from every kind of
// song file, compared with what the companion program writes for the same file.
#include "importsong.h"
#include "ass.h"
#include "kar.h"
#include "lrc.h"
#include "runner.h"
#include "smffile.h"
#include "songfolder.h"
#include "testfiles.h"
#include "ultrastar.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <thread>

namespace {

// A song as "MS TEXT|MS TEXT...[ end MS]" a line, for comparing with a table.
std::string summary(const song& s)
{
    std::string out;
    for (const lyricline& l : s.lines) {
        for (size_t k = 0; k < l.pieces.size(); k++)
            out += (k ? "|" : "") + std::to_string(l.pieces[k].ms) + " " + l.pieces[k].text;
        out += (l.pieces.empty() ? "gap " + std::to_string(l.ms) : "") + (l.end >= 0 ? " end " + std::to_string(l.end) : "") + "\n";
    }
    return out;
}

struct readcase {
    const char* what;
    songread (*reader)(const std::string&, const std::string&, const readoptions&);
    std::string bytes;
    std::string lines;      // the summary expected; "" where error is
    std::string error;      // the start of the error expected
    std::string warning;    // a piece of the one warning expected, "" for none
};

TEST(Readers, BytesGiveTheSongOrAnErrorWithItsPlace)
{
    const std::string ASS_HEAD = "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    // 96 ticks a beat throughout.
    std::vector<readcase> cases = {
        {"plain LRC lines", readlrc, "[00:01.00]Hello\n[00:02.50]World\n", "1000 Hello\n2500 World\n", "", ""},
        {"enhanced LRC: the file's offset taken, the closing stamp the end", readlrc,
         "[offset:+250]\n[00:01.00]<00:01.00>Twin<00:01.30>kle <00:02.00>\n", "750 Twin|1050 kle  end 1750\n", "", ""},
        {"Latin-1 LRC", readlrc, "[00:01.00]caf\xE9\n", "1000 caf\xC3\xA9\n", "", "read as Latin-1"},
        {"LRC without a stamp", readlrc, "just words\n", "", "no line with a time stamp", "no time stamp"},
        {"UltraStar notes on their beats: 50 ms a beat at 300 BPM", readultrastar,
         "#TITLE:T\n#BPM:300\n#GAP:1000\n: 0 4 0 Hel\n: 4 4 0 lo\n- 8\n: 8 4 0 World\nE\n",
         "1000 Hel|1200 lo end 1400\n1400 World end 1600\n", "", ""},
        {"UltraStar without #BPM", readultrastar, "#TITLE:T\n: 0 4 0 Hel\nE\n", "", "no #BPM", ""},
        {"ASS karaoke tags", readass, ASS_HEAD + "Dialogue: 0,0:00:01.00,0:00:03.00,Default,,0,0,0,,{\\k50}Twin{\\k50}kle\n",
         "1000 Twin|1500 kle end 2000\n", "", ""},
        {"ASS without events", readass, "[Script Info]\nTitle: x\n", "", "no [Events] section", ""},
        {"no MIDI file", readkar, "RIFF1234WAVE", "", "not a MIDI file", ""},
        {"a MIDI file cut in its header", readkar, "MThd" + big(6, 4) + "\0", "", "the MIDI header is cut short", ""},
    };
    for (const readcase& c : cases) {
        SCOPED_TRACE(c.what);
        songread s = c.reader(c.bytes, "song", readoptions());
        EXPECT_EQ(s.error.compare(0, c.error.size(), c.error), 0) << s.error;
        EXPECT_EQ(s.error.empty(), c.error.empty()) << s.error;
        if (c.error.empty()) {
            EXPECT_EQ(summary(s.s), c.lines);
        }
        std::string all;
        for (const std::string& m : s.messages)
            all += m + "\n";
        EXPECT_EQ(c.warning.empty(), s.messages.empty()) << all;
        EXPECT_NE(all.find(c.warning), std::string::npos) << all;
        // Every message names the file and says what it is.
        for (const std::string& m : s.messages)
            EXPECT_EQ(m.compare(0, 5, "song:"), 0) << m;
    }
}

TEST(Readers, MidiTicksBecomeSongTimeThroughEveryTempoChangeOfEveryTrack)
{
    struct tempocase {
        const char* what;
        std::string file;
        std::string lines;
    };
    // Syllables at ticks 96, 288 and 384 of the words track; a "/" starts a line.
    auto words = [](int division, std::vector<::ev> before = {}) {
        std::vector<::ev> events = before;
        events.push_back({96, text("Twin")});
        events.push_back({192, text("kle")});
        events.push_back({96, text("/star")});
        (void)division;
        return mtrk(events);
    };
    std::vector<tempocase> cases = {
        {"no tempo event: 500,000 us a beat", smf(0, 96, {words(96)}), "500 Twin|1500 kle\n2000 star\n"},
        {"a tempo at the start in the same track", smf(0, 96, {words(96, {{0, tempo(250000)}})}), "250 Twin|750 kle\n1000 star\n"},
        // The conductor track halves the beat at tick 192: kle at 288 is 1000 + 96 ticks of 250 ms.
        {"a second tempo change in another track, after the first",
         smf(1, 96, {mtrk({{0, tempo(500000)}, {192, tempo(250000)}}), words(96)}), "500 Twin|1250 kle\n1500 star\n"},
        {"three changes", smf(1, 96, {mtrk({{0, tempo(1000000)}, {96, tempo(500000)}, {96, tempo(250000)}}), words(96)}),
         "1000 Twin|1750 kle\n2000 star\n"},
        // 25 frames a second of 40 ticks: one tick a millisecond, whatever the tempo says.
        {"an SMPTE division", smf(0, 0xE728, {words(0, {{0, tempo(250000)}})}), "96 Twin|288 kle\n384 star\n"},
    };
    for (const tempocase& c : cases) {
        SCOPED_TRACE(c.what);
        songread s = readkar(c.file, "song.kar");
        ASSERT_EQ(s.error, "");
        EXPECT_EQ(summary(s.s), c.lines);
        EXPECT_EQ(s.smf, c.file);
    }
}

// A work folder of its own, removed with everything in it.
class Folder : public ::testing::Test {
protected:
    Folder()
    {
        char name[] = "/tmp/tralune-import-XXXXXX";
        root = mkdtemp(name);
    }
    ~Folder() override { system(("rm -rf '" + root + "'").c_str()); }
    std::string at(const std::string& name) const { return root + "/" + name; }
    void put(const std::string& name, const std::string& bytes) const
    {
        writefile(at(name), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    // "NAME SIZE" or "NAME -> TARGET" a line, sorted: what a folder holds.
    std::string listing(const std::string& folder) const
    {
        std::vector<std::string> names;
        DIR* d = opendir(at(folder).c_str());
        while (dirent* e = d ? readdir(d) : nullptr) {
            std::string n = e->d_name, p = at(folder + "/" + n);
            struct stat st;
            if (n == "." || n == ".." || lstat(p.c_str(), &st) != 0)
                continue;
            char target[4096] = "";
            if (S_ISLNK(st.st_mode))
                target[std::max<ssize_t>(0, readlink(p.c_str(), target, sizeof target - 1))] = 0;
            names.push_back(n + (S_ISLNK(st.st_mode) ? std::string(" -> ") + target : " " + readtext(p)));
        }
        if (d)
            closedir(d);
        std::sort(names.begin(), names.end());
        std::string out;
        for (const std::string& n : names)
            out += n + "\n";
        return out;
    }
    std::string root;
};

TEST_F(Folder, CommitInterruptedAtEachStepLeavesEveryFileOldOrWholeAndNoTemporaryFile)
{
    mkdir(at("song").c_str(), 0755);
    put("song/script.txt", "old script");
    put("song/font.pcx", "old font");
    symlink("old.mp3", at("song/gnusong.mp3").c_str());
    std::string before = listing("song");
    int steps = 0;
    for (int stop = 0;; stop++) {
        SCOPED_TRACE("stopped before step " + std::to_string(stop));
        songfolder f;
        f.put(at("song/font.pcx"), "new font", "the font", true);
        f.link(at("song/gnusong.mp3"), "new.mp3", "the song");
        std::string temp = f.tempfor(at("song/song.cdg"));
        put(temp.substr(root.size() + 1), "new stream");
        f.adopt(at("song/song.cdg"), temp, "the stream");
        f.put(at("song/script.txt"), "new script", "the script");
        std::atomic<bool> cancel(false);
        int seen = 0;
        std::string why = f.commit(&cancel, [&](int step) {
            seen = step + 1;
            if (step == stop)
                cancel = true;
        });
        if (why.empty()) {
            steps = seen;
            break;
        }
        EXPECT_EQ(why, "interrupted");
        EXPECT_EQ(listing("song"), before);
    }
    // One step a file and one before the renames; then the whole new folder.
    EXPECT_EQ(steps, 5);
    EXPECT_EQ(listing("song"), "font.pcx new font\ngnusong.mp3 -> new.mp3\nscript.txt new script\nsong.cdg new stream\n");
}

TEST_F(Folder, CommitThatCannotBeCarriedOutChangesNothing)
{
    mkdir(at("song").c_str(), 0755);
    put("song/gnusong.mp3", "the user's own song");
    put("song/script.txt", "old script");
    std::string before = listing("song");
    songfolder f;
    f.put(at("song/script.txt"), "new script", "the script");
    f.link(at("song/gnusong.mp3"), "new.mp3", "the song");
    EXPECT_EQ(f.commit(), "\"" + at("song/gnusong.mp3") + "\" is there and is no symbolic link: not replaced (move it "
                          "away to link the song)");
    EXPECT_EQ(listing("song"), before);
    // A file dropped unplanned takes its temporary name with it.
    {
        songfolder g;
        put(g.tempfor(at("song/x")).substr(root.size() + 1), "half");
    }
    EXPECT_EQ(listing("song"), before);
}

// What makescript makes of lines without an end of their own, fitted to the tests' font.
class Writer : public Folder {
protected:
    std::string script(const song& s, long long offset = 0)
    {
        writefile(at("font.pcx"), encodepcx(fullFont()));
        scriptoptions o;
        o.output = at("script.txt");
        o.font = at("font.pcx");
        o.rows = 1;
        o.offset = offset;
        std::vector<std::string> messages;
        report r("song", &messages);
        scriptfont made;
        std::string text = makescript(s, o, "test", r, &made);
        EXPECT_TRUE(made.path.empty());
        return text.substr(text.find('\n') + 1);
    }
    static lyricline line(long long ms, const std::string& text) { return {ms, {{ms, text}}, -1, 0}; }
};

TEST_F(Writer, PlainLineStaysUntilTheNextIsDueOrTenSecondsAfterItsOwn)
{
    song s;
    s.title = "Title";
    s.lines = {line(5000, "One"), line(9000, "Two"), line(30000, "Three")};
    EXPECT_EQ(script(s), "clearscreen(0,0,0)\ntext(Title)\n"
                         "at(4.000)\nclearscreen(0,0,0)\ntext(One)\nat(5.000)\ntext(%One%)\n"
                         // One is sung until Two is due: Two comes then, not a second early.
                         "at(9.000)\nclearscreen(0,0,0)\ntext(Two)\ntext(%Two%)\n"
                         // Three is 21 s away: Two is taken to end 10 s after its own time, and
                         // Three comes with its lead.
                         "at(29.000)\nclearscreen(0,0,0)\ntext(Three)\nat(30.000)\ntext(%Three%)\nat(33.000)\n");
}

TEST_F(Writer, TitleIsLeftOutWhereTheFirstLineIsUpAtOnceAndOffsetMovesEveryTimeOnce)
{
    song s;
    s.title = "Title";
    s.lines = {line(1500, "One")};
    // Shown at 0.5 s: the title stands until then.
    EXPECT_EQ(script(s), "clearscreen(0,0,0)\ntext(Title)\nat(0.500)\nclearscreen(0,0,0)\ntext(One)\nat(1.500)\ntext(%One%)\n"
                         "at(4.500)\n");
    // 600 ms earlier, the line is up at once: no title to flash.
    EXPECT_EQ(script(s, 600), "clearscreen(0,0,0)\ntext(One)\nat(0.900)\ntext(%One%)\nat(3.900)\n");
}

// importsong beside the companions: the same input in, the same folder out.
class Entry : public Folder {
protected:
    ToolRun companion(const std::string& binary, std::vector<std::string> args)
    {
        return st.runtool(binary, args);
    }
    // What a folder holds, its links by what they lead to.
    std::string contents(const std::string& folder)
    {
        std::string out;
        for (const char* name : {"script.txt", "font.pcx", "gnusong.mp3", "song.cdg"}) {
            std::string p = folder + "/" + name;
            struct stat st;
            if (lstat(p.c_str(), &st) != 0)
                continue;
            char* real = realpath(p.c_str(), nullptr);
            out += std::string(name) + (S_ISLNK(st.st_mode) ? " -> " + std::string(real ? real : "?") : "") + "\n" +
                   (S_ISLNK(st.st_mode) ? "" : readtext(p)) + "\n";
            free(real);
        }
        return out;
    }
    Stage st;
};

TEST_F(Entry, EveryKindOfSongFileMakesTheFolderItsCompanionMakes)
{
    const std::string ASS_HEAD = "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    std::string stream;
    // A stream: a memory preset, then the colours, then empty packets.
    for (int k = 0; k < 300; k++) {
        std::string p(24, '\0');
        if (k < 2) {
            p[0] = 0x09;
            p[1] = k == 0 ? 1 : 30;
        }
        stream += p;
    }
    mkdir(st.work("in").c_str(), 0755);
    st.write("in/a.lrc", "[ti:Title]\n[00:03.00]Hello\n[00:05.00]World\n");
    st.write("in/a.mp3", "an MP3");
    st.write("in/u.txt", "#TITLE:T\n#ARTIST:A\n#MP3:a.mp3\n#BPM:300\n#GAP:3000\n: 0 4 0 Hel\n: 4 4 0 lo\nE\n");
    st.write("in/s.ass", ASS_HEAD + "Dialogue: 0,0:00:03.00,0:00:05.00,Default,,0,0,0,,{\\k50}Twin{\\k50}kle\n");
    st.write("in/s.mp3", "an MP3");
    st.write("in/k.kar", smf(0, 96, {mtrk({{960, text("Twin")}, {96, text("kle")}})}));
    st.write("in/c.cdg", stream);
    st.write("in/c.mp3", "an MP3");
    struct kind {
        std::string file;
        const char* binary;
        std::vector<std::string> args;   // beside -o and the file
        importoptions o;
    };
    importoptions silent;
    silent.audio = false;
    silent.songneeded = false;
    std::vector<kind> kinds = {{"in/a.lrc", LRC_BINARY, {"--song", "in/a.mp3"}, {}},
                               {"in/u.txt", ULTRASTAR_BINARY, {"--song"}, {}},
                               {"in/s.ass", ASS_BINARY, {"--song", "in/s.mp3"}, {}},
                               {"in/k.kar", KAR_BINARY, {"--no-audio"}, silent},
                               {"in/c.cdg", CDG_BINARY, {}, {}},
                               {"in/c.mp3", CDG_BINARY, {}, {}}};
    for (const kind& k : kinds) {
        SCOPED_TRACE(k.file);
        system(("rm -rf '" + st.work("a") + "' '" + st.work("b") + "'").c_str());
        mkdir(st.work("a").c_str(), 0755);
        mkdir(st.work("b").c_str(), 0755);
        std::vector<std::string> args = k.args;
        for (const std::string& a : {std::string("-o"), std::string("b/script.txt"), k.file})
            args.push_back(a);
        ToolRun t = companion(k.binary, args);
        ASSERT_EQ(t.status, 0) << t;
        // importsong is called from the folder the companion ran in, with the same relative paths.
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        ASSERT_EQ(chdir(st.work().c_str()), 0);
        importresult r = importsong(k.file, "a", k.o);
        ASSERT_EQ(chdir(here), 0);
        ASSERT_TRUE(r.ok) << r.error;
        std::string messages;
        for (const std::string& m : r.messages)
            messages += m + "\n";
        // The companion wrote into b/, importsong into a/.
        std::string err = t.err;
        for (size_t at; (at = err.find("\"b/")) != std::string::npos;)
            err.replace(at, 3, "\"a/");
        EXPECT_EQ(messages, err);
        EXPECT_EQ(contents(st.work("a")), contents(st.work("b")));
        EXPECT_NE(contents(st.work("a")).find("script.txt\n"), std::string::npos);
    }
}

TEST_F(Entry, FailuresComeBackAsOneLineAndLeaveTheFolderAsItWas)
{
    mkdir(st.work("in").c_str(), 0755);
    st.write("in/lonely.mp3", "an MP3 with no stream");
    st.write("in/broken.kar", std::string("MThd\0\0\0\6", 8));
    st.write("in/nosong.lrc", "[00:01.00]Hello\n");
    st.write("in/notes.doc", "words");
    st.write("in/fake.cdg", std::string(2400, 'x'));
    st.write("in/fake.mp3", "an MP3");
    mkdir(st.work("out").c_str(), 0755);
    struct failure {
        std::string file, error;
    };
    for (const failure& f : std::vector<failure>{
             {"in/lonely.mp3", ": error: no CD+G stream beside it: \"lonely.cdg\" is not there"},
             {"in/broken.kar", ": error: the MIDI header is cut short"},
             {"in/nosong.lrc", ": error: no song beside it: \"nosong.mp3\" is not there"},
             {"in/notes.doc", ": error: not a song file tralune imports"},
             {"in/fake.cdg", ": error: the stream holds no packet of CD+G graphics: it is no CD+G stream"},
             {"in/missing.lrc", ": error: cannot read it: No such file or directory"}}) {
        SCOPED_TRACE(f.file);
        importresult r = importsong(st.work(f.file), st.work("out"));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.compare(0, st.work(f.file).size() + f.error.size(), st.work(f.file) + f.error), 0) << r.error;
        EXPECT_EQ(r.file, st.work(f.file));
        DIR* d = opendir(st.work("out").c_str());
        int entries = 0;
        while (dirent* e = readdir(d))
            entries += e->d_name[0] != '.';
        closedir(d);
        EXPECT_EQ(entries, 0);
    }
    // Cancelled before it starts: nothing is written either.
    st.write("in/fine.lrc", "[00:01.00]Hello\n");
    std::atomic<bool> cancel(true);
    importoptions o;
    o.songneeded = false;
    importresult r = importsong(st.work("in/fine.lrc"), st.work("out"), o, &cancel);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("interrupted"), std::string::npos) << r.error;
}

// How many entries a folder holds.
int entries(const std::string& folder)
{
    int n = 0;
    DIR* d = opendir(folder.c_str());
    while (dirent* e = d ? readdir(d) : nullptr)
        n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
    if (d)
        closedir(d);
    return n;
}

TEST_F(Entry, SignalOrCancelWhileTheMusicRendersLeavesNoFileBehind)
{
    // A synthesizer that takes its time, and a soundfont in name.
    mkdir(st.work("in").c_str(), 0755);
    mkdir(st.work("bin").c_str(), 0755);
    mkdir(st.work("out").c_str(), 0755);
    mkdir(st.work("tmp").c_str(), 0755);
    for (const char* tool : {"bin/fluidsynth", "bin/lame"}) {
        st.write(tool, "#!/bin/sh\nexec sleep 30\n");
        chmod(st.work(tool).c_str(), 0755);
    }
    st.write("in/fake.sf2", std::string("RIFF\0\0\0\0sfbk", 12));
    st.write("in/k.kar", smf(0, 96, {mtrk({{96, text("Twin")}, {96, text("kle")}})}));
    std::string path = "PATH=" + st.work("bin") + ":/usr/bin:/bin", tmpdir = "TMPDIR=" + st.work("tmp");

    // tralune-kar stopped by a TERM while fluidsynth runs: it ends by the signal, leaving nothing.
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(st.work().c_str()) != 0)
            _exit(127);
        putenv(const_cast<char*>(path.c_str()));
        putenv(const_cast<char*>(tmpdir.c_str()));
        int nul = open("/dev/null", O_WRONLY);
        dup2(nul, 2);
        execl(KAR_BINARY, KAR_BINARY, "--soundfont", "in/fake.sf2", "-o", "out/script.txt", "in/k.kar", (char*)nullptr);
        _exit(127);
    }
    // Until the render has begun: its MP3's temporary name is there.
    for (int k = 0; k < 100 && entries(st.work("out")) == 0; k++)
        usleep(50000);
    EXPECT_EQ(entries(st.work("out")), 1) << "the render never began";
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(entries(st.work("out")), 0);
    EXPECT_EQ(entries(st.work("tmp")), 0);

    // importsong cancelled from another thread while the music renders: the same.
    importoptions o;
    o.soundfont = st.work("in/fake.sf2");
    std::atomic<bool> cancel(false);
    std::string oldpath = getenv("PATH"), oldtmp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    setenv("PATH", path.substr(5).c_str(), 1);
    setenv("TMPDIR", st.work("tmp").c_str(), 1);
    std::thread stopper([&]() {
        for (int k = 0; k < 100 && entries(st.work("out")) == 0; k++)
            usleep(50000);
        cancel = true;
    });
    double start = now();
    importresult r = importsong(st.work("in/k.kar"), st.work("out"), o, &cancel);
    stopper.join();
    setenv("PATH", oldpath.c_str(), 1);
    if (oldtmp.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", oldtmp.c_str(), 1);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("interrupted"), std::string::npos) << r.error;
    EXPECT_LT(now() - start, 10.0);
    EXPECT_EQ(entries(st.work("out")), 0);
    EXPECT_EQ(entries(st.work("tmp")), 0);
}

TEST(Tags, EachFormatGivesItsOwnTitleAndArtistFromItsHead)
{
    struct tagcase {
        std::string name, head, title, artist;
    };
    for (const tagcase& c : std::vector<tagcase>{
             {"a.lrc", "[ti:Little Star]\n[ar:Nobody]\n[00:01.00]Hello\n", "Little Star", "Nobody"},
             {"a.LRC", "[ar:Nobody]\n", "", "Nobody"},
             {"u.txt", "#TITLE:Twinkle\n#ARTIST:Bj\xC3\xB6rk\n#BPM:300\n: 0 4 0 Hel", "Twinkle", "Bj\xC3\xB6rk"},
             {"s.ass", "[Script Info]\nTitle: Kotoba\n[Events]\n", "Kotoba", ""},
             {"k.kar", smf(0, 96, {mtrk({{0, text("@TTwinkle")}, {0, text("@TNobody")}, {96, text("Twin")}})}),
              "Twinkle", "Nobody"},
             {"c.cdg", std::string(240, '\0'), "", ""},
             {"k.mid", "MThd garbage", "", ""},
             {"x.doc", "[ti:not a song]", "", ""}}) {
        SCOPED_TRACE(c.name);
        songtags t = readsongtags(c.head, c.name);
        EXPECT_EQ(t.title, c.title);
        EXPECT_EQ(t.artist, c.artist);
    }
}

} // namespace
