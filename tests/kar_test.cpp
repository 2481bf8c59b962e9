// tralune-kar run as a user runs it, on MIDI files built here byte by byte, checked on the song times
// of the syllables and the lines of the script it writes; every script must then pass tralune-check
// without an error or a warning. The music is rendered for real where fluidsynth and a soundfont are
// installed.
#include "runner.h"
#include "smffile.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

// --- MIDI files, byte by byte -------------------------------------------------------------------

// The same file inside a RIFF "RMID" wrapper, after a chunk of another kind.
std::string rmid(const std::string& file)
{
    auto little = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    std::string info = "INFOsomething";   // odd: a pad byte follows
    std::string body = "RMID" + std::string("LIST") + little(uint32_t(info.size())) + info + '\0' + "data" +
                       little(uint32_t(file.size())) + file;
    return "RIFF" + little(uint32_t(body.size())) + body;
}

// --- Reading the scripts back ------------------------------------------------------------------

// What a script shows, walked line by line; text(X) and textrow(N,X) alike.
struct walked {
    std::vector<std::string> lines;   // each text shown unhighlighted, once, in the order first shown
    std::string sung;                 // "S.mmm highlighted\n" for each highlight, in order, once each
    std::string lastat;               // the last at() time
};

walked walk(const std::string& script)
{
    walked w;
    std::istringstream in(script);
    std::string line, time = "-", last;
    while (std::getline(in, line)) {
        std::string t;
        if (line.compare(0, 3, "at(") == 0) {
            time = w.lastat = line.substr(3, line.size() - 4);
            continue;
        }
        if (line.compare(0, 5, "text(") == 0)
            t = line.substr(5, line.size() - 6);
        else if (line.compare(0, 8, "textrow(") == 0 && line.find(',') != std::string::npos)
            t = line.substr(line.find(',') + 1, line.size() - line.find(',') - 2);
        else
            continue;
        size_t open = t.find('%');
        if (open == std::string::npos) {
            if (std::find(w.lines.begin(), w.lines.end(), t) == w.lines.end())
                w.lines.push_back(t);
            continue;
        }
        std::string pair = time + " " + t.substr(open + 1, t.find('%', open + 1) - open - 1) + "\n";
        if (pair != last)
            w.sung += pair;
        last = pair;
    }
    return w;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> folder(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Kar : public ::testing::Test {
protected:
    // Every character the songs use has a glyph in this font, so that a clean script checks clean.
    Kar() { writefile(st.work("font.pcx"), encodepcx(fullFont())); }

    // With --no-fill, the look these scripts were first written with: the piece sung lit alone.
    ToolRun import(std::vector<std::string> args, const std::vector<std::string>& env = {})
    {
        args.insert(args.begin(), "--no-fill");
        return st.runtool(KAR_BINARY, args, env);
    }

    // The script tralune-kar wrote, walked, after checking that tralune-check, run from the script's
    // folder as tralune is, finds nothing in it but, where no music was rendered, the missing song.
    walked checked(const std::string& script = "script.txt")
    {
        size_t slash = script.rfind('/');
        std::string folder = slash == std::string::npos ? "." : script.substr(0, slash);
        std::string name = script.substr(slash == std::string::npos ? 0 : slash + 1);
        ToolRun c = st.runtool("/bin/sh", {"-c", "cd \"$1\" && exec \"$0\" \"$2\"", CHECK_BINARY, folder, name});
        EXPECT_EQ(c.status, 0) << c;
        bool song = access(st.work(folder + "/gnusong.mp3").c_str(), F_OK) == 0;
        EXPECT_EQ(c.err.find(": 0 errors, 0 warnings;") != std::string::npos, song) << c;
        if (!song)
            EXPECT_EQ(c.err.substr(0, c.err.find('\n') + 1),
                      name + ": warning: \"gnusong.mp3\" is missing: the song will be silent\n") << c;
        EXPECT_NE(c.err.find(song ? ": 0 errors, 0 warnings;" : ": 0 errors, 1 warning;"), std::string::npos) << c;
        return walk(readtext(st.work(script)));
    }

    Stage st;
};

// A .kar as karaoke sequencers write it, 96 ticks a beat. Its tempo is 600,000 us a beat from the
// conductor track, 400,000 from tick 384 (same track), 750,000 from tick 768 (set in the melody's
// track). Syllable times:
//   tick t < 384:       t * 6.25 ms
//   384 <= t < 768:     2400 + (t - 384) * 4.1667 ms
//   768 <= t:           4000 + (t - 768) * 7.8125 ms
std::string karfile()
{
    std::vector<ev> conductor = {{0, meta(0x03, "Tempo")}, {0, tempo(600000)},
                                 {0, meta(0x58, std::string("\x04\x02\x18\x08", 4))},
                                 // A SysEx (GM on) and an escape, skipped by their lengths.
                                 {0, std::string("\xF0\x05\x7E\x7F\x09\x01\xF7", 7)},
                                 {0, std::string("\xF7\x02\xF3\x01", 4)},
                                 {384, tempo(400000)}};
    // The karaoke header in the first track, as most files have it, and more text events than the words
    // track: only the name "Words" picks the words.
    conductor.push_back({0, text("@KMIDI KARAOKE FILE")});
    conductor.push_back({0, text("@V0100")});
    for (int k = 0; k < 30; k++)
        conductor.push_back({1, text("Sequenced with care")});
    std::vector<ev> words = {{0, meta(0x03, " WORDS ")}, {0, text("@IIn the public domain")},
                             {0, text("@TTwinkle Twinkle")}, {0, text("@TTraditionnel fran\xC3\xA7" "ais")}, {0, text("@LENGL")},
                             {97, text("\\Twin")}, {48, text("kle ")}, {48, text("twin")}, {48, text("kle ")},
                             {48, text("lit")}, {48, text("tle ")}, {48, text("star")},
                             {96, text("/How")}, {96, text(" I")}, {96, text(" won")}, {96, text("der")},
                             {96, text("\\What")}, {96, text(" you")}, {96, text(" are!")}};
    // The melody with running status (90 then bare data), a program change and a tempo change.
    std::vector<ev> melody = {{0, std::string("\xC0\x00", 2)}, {97, std::string("\x90\x3C\x64", 3)},
                              {48, std::string("\x3C\x00", 2)}, {0, std::string("\x3E\x64", 2)},
                              {48, std::string("\x3E\x00", 2)}, {0, std::string("\xB0\x07\x64", 3)},
                              {575, tempo(750000)}, {0, lyric("one lyric event: fewer syllables")},
                              {290, std::string("\x80\x3C\x40", 3)}};
    return smf(1, 96, {mtrk(conductor), mtrk(words), mtrk(melody)});
}

TEST_F(Kar, KarSyllablesAreHighlightedAtTheirTicksThroughTheTempoMap)
{
    st.write("song.kar", karfile());
    ToolRun r = import({"--no-audio", "song.kar"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(exists(st.work("gnusong.mp3")));
    walked w = checked();
    // The text is UTF-8 throughout, and read as such. The first line is up at once, so that no title
    // line (it would be cleared as it is drawn) comes before it.
    EXPECT_EQ(joined(w.lines), "Twinkle twinkle little star\n"
                               "How I wonder\n"
                               "What you are!\n");
    EXPECT_EQ(w.sung, "0.606 Twin\n"    // tick 97: 606.25 ms
                      "0.906 kle\n"     // 145
                      "1.206 twin\n"    // 193
                      "1.506 kle\n"     // 241
                      "1.806 lit\n"     // 289
                      "2.106 tle\n"     // 337
                      "2.404 star\n"    // 385: 2404.17
                      "2.804 How\n"     // 481: 2804.17
                      "3.204 I\n"       // 577
                      "3.604 won\n"     // 673
                      "4.008 der\n"     // 769: 4007.81
                      "4.758 What\n"    // 865: 4757.81
                      "5.508 you\n"     // 961
                      "6.258 are!\n");  // 1057: 6257.81

    // As abc2midi writes them: the karaoke header and a note in the first track, the syllables in an
    // unnamed other one, which has the most.
    st.write("abc.kar", smf(1, 480, {mtrk({{0, text("@KMIDI KARAOKE FILE")}, {0, meta(0x03, "Twinkle")}, {0, text("note track")}}),
                                     mtrk({{1, text("/Twin")}, {480, text("kle")}, {480, text(" twin")}, {480, text("kle")}})}));
    ASSERT_EQ(import({"--no-audio", "-o", "abc.txt", "abc.kar"}).status, 0);
    walked abc = checked("abc.txt");
    EXPECT_EQ(joined(abc.lines), "Twinkle twinkle\n");
    EXPECT_EQ(abc.sung, "0.001 Twin\n0.501 kle\n1.001 twin\n1.501 kle\n");

    // --offset moves every syllable, same sign as the other importers.
    ASSERT_EQ(import({"--no-audio", "--offset", "+100", "song.kar"}).status, 0);
    EXPECT_EQ(checked().sung.substr(0, 21), "0.506 Twin\n0.806 kle\n");
}

// Format 0: one track holding everything, lyric events among the notes, which use running status; the
// text in Windows-1252. Default tempo, 120 ticks a beat: 4.1667 ms a tick.
std::string lyricfile(int division, const std::vector<uint32_t>& ticks)
{
    const char* syllables[] = {"\xC9toi", "le, ", "l\xE0", "-haut\r", "\x93" "Bril", "le\x94\n", "/Fin", "\r"};
    std::vector<ev> events = {{0, text("Made by hand")}, {0, std::string("\xC1\x05", 2)}};
    uint32_t tick = 0;
    for (size_t k = 0; k < ticks.size(); k++) {
        events.push_back({ticks[k] - tick, lyric(syllables[k])});
        // A note under each syllable: the first with its status, the others running.
        events.push_back({0, k == 0 ? std::string("\x91\x40\x50", 3) : std::string("\x40\x50", 2)});
        events.push_back({10, std::string("\x40\x00", 2)});
        tick = ticks[k] + 10;
    }
    return smf(0, division, {mtrk(events)});
}

const char LYRIC_LINES[] = "\xC3\x89toile, l\xC3\xA0-haut\n\xE2\x80\x9C" "Brille\xE2\x80\x9D\nFin\n";
const char LYRIC_SUNG[] = "0.500 \xC3\x89toi\n"
                          "0.654 le,\n"
                          "0.879 l\xC3\xA0\n"
                          "1.042 -haut\n"
                          "1.254 \xE2\x80\x9C" "Bril\n"
                          "1.454 le\xE2\x80\x9D\n"
                          "2.000 Fin\n";

TEST_F(Kar, LyricEventsBreakLinesAtCrLfAndSlashAndReadWindows1252)
{
    // 500 ms, 654.17, 879.17, 1041.67, 1254.17, 1454.17, 2000, and a CR alone at 2504.17.
    std::string file = lyricfile(120, {120, 157, 211, 250, 301, 349, 480, 601});
    st.write("song.mid", file);
    ToolRun r = import({"--no-audio", "song.mid"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "");
    walked w = checked();
    EXPECT_EQ(joined(w.lines), LYRIC_LINES);
    EXPECT_EQ(w.sung, LYRIC_SUNG);
    // The CR alone after "Fin" is when the last line ends; it stays up 3 s more.
    EXPECT_EQ(w.lastat, "5.504");

    // The same song with a SMPTE division of 25 frames a second and 40 ticks a frame: a tick a
    // millisecond.
    st.write("smpte.mid", lyricfile(0xE728, {500, 654, 879, 1042, 1254, 1454, 2000, 2504}));
    ASSERT_EQ(import({"--no-audio", "-o", "smpte.txt", "smpte.mid"}).status, 0);
    walked smpte = checked("smpte.txt");
    EXPECT_EQ(smpte.sung, LYRIC_SUNG);
    EXPECT_EQ(smpte.lastat, "5.504");

    // Wrapped in a RIFF "RMID" file, the same script but for the file's name.
    st.write("song.rmi", rmid(file));
    ToolRun wrapped = import({"--no-audio", "-o", "rmi.txt", "song.rmi"});
    ASSERT_EQ(wrapped.status, 0) << wrapped;
    std::string a = readtext(st.work("script.txt")), b = readtext(st.work("rmi.txt"));
    EXPECT_EQ(a.substr(a.find('\n')), b.substr(b.find('\n')));
}

TEST_F(Kar, BadFilesStopWithOneMessageAndWriteNothing)
{
    std::string good = karfile();
    // Where each track's length is, and what it says.
    std::vector<size_t> at;
    for (size_t k = good.find("MTrk"); k != std::string::npos; k = good.find("MTrk", k + 1))
        at.push_back(k + 4);
    ASSERT_EQ(at.size(), 3u);
    auto length = [&](size_t k) {
        return size_t((unsigned char)good[at[k] + 2]) << 8 | (unsigned char)good[at[k] + 3];
    };
    auto lying = [&](size_t k, int by) {
        std::string b = good;
        size_t n = length(k) + size_t(by);
        b[at[k] + 2] = char(n >> 8);
        b[at[k] + 3] = char(n & 0xFF);
        return b;
    };
    std::string cut = "track 1 is said to hold " + std::to_string(length(0)) + " bytes, but the file ends after " +
                      std::to_string(good.size() / 2 - at[0] - 4) + ": truncated";
    std::string longer = "track 3 is said to hold " + std::to_string(length(2) + 40) + " bytes, but the file ends after " +
                         std::to_string(length(2)) + ": truncated";
    auto one = [](const std::string& bytes) { return smf(0, 96, {mtrk({{0, bytes}})}); };
    struct bad {
        const char* name;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"empty.kar", "", "the file is empty"},
        {"words.kar", "Twinkle, twinkle\n", "not a MIDI file: it starts with neither \"MThd\" nor a RIFF \"RMID\" header"},
        {"wave.rmi", "RIFF\x04\0\0\0WAVE", "not a MIDI file: it starts with neither \"MThd\" nor a RIFF \"RMID\" header"},
        {"nodata.rmi", std::string("RIFF\x0C\0\0\0RMIDLIST\0\0\0\0", 20),
         "a RIFF \"RMID\" file without a \"data\" chunk: there is no MIDI in it"},
        {"header.kar", "MThd\0\0\0\x06\0\x01", "the MIDI header is cut short: the file is truncated or no MIDI file"},
        {"cut.kar", good.substr(0, good.size() / 2), cut},
        {"longer.kar", lying(2, 40), longer},
        // Track 2 ends (FF 2F) before its length says: the next chunk is looked for in the wrong place.
        {"ahead.kar", lying(1, 4),
         ("no track where track 3 should start (byte " + std::to_string(at[2]) + "): the length of the chunk before it is wrong")},
        {"shorter.kar", lying(1, -3),
         "track 2: an event runs past the end of the track: the track's length is wrong or the file is damaged"},
        {"vlq.kar", smf(0, 96, {"MTrk" + big(8, 4) + "\x81\x81\x81\x81\x01\x90\x3C\x64"}),
         "track 1: a time of more than four bytes at byte 22: the file is damaged"},
        {"running.kar", one(std::string("\x3C\x64", 2)), "track 1: a data byte with no event before it at byte 23: the file is damaged"},
        {"status.kar", one(std::string("\xF4\x01", 2)), "track 1: the event byte 0xF4 at byte 23 belongs in no MIDI file: the file is damaged"},
        {"meta.kar", smf(0, 96, {"MTrk" + big(6, 4) + std::string("\0\xFF\x01\x10" "ab", 6)}),
         "track 1: an event runs past the end of the track: the track's length is wrong or the file is damaged"},
        {"notes.kar", one(std::string("\x90\x3C\x64", 3)), "no lyrics: neither text events (.kar) nor lyric events hold a word to sing"},
        {"breaks.kar", one(lyric("\r\n/")), "no lyrics: neither text events (.kar) nor lyric events hold a word to sing"},
        {"division.kar", smf(0, 0, {mtrk({{0, lyric("Twin")}})}), "a division of 0 ticks a beat: the song cannot be timed"},
        {"format.kar", smf(3, 96, {mtrk({{0, lyric("Twin")}})}), "MIDI format 3: only formats 0, 1 and 2 exist"},
    };
    for (const bad& c : cases) {
        st.write(c.name, c.bytes);
        // With the music asked for: nothing is rendered either.
        ToolRun r = import({c.name});
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r;
        EXPECT_EQ(r.err, c.name + std::string(": error: ") + c.message + "\n") << c.name;
        std::vector<std::string> left = {"font.pcx", c.name};
        std::sort(left.begin(), left.end());
        EXPECT_EQ(folder(st.work()), left) << c.name;
        unlink(st.work(c.name).c_str());
    }
}

TEST_F(Kar, MissingSynthesizerIsNamedAndTheScriptStillWritten)
{
    st.write("song.kar", karfile());
    st.write("fake.sf2", std::string("RIFF\0\0\0\0sfbk", 12));
    // Neither fluidsynth nor lame on PATH.
    ToolRun r = import({"--soundfont", "fake.sf2", "song.kar"}, {"PATH=/nonexistent"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "song.kar: warning: cannot render the music: install the packages fluidsynth and lame; the "
                     "script is written without gnusong.mp3\n");
    EXPECT_EQ(checked().lines.size(), 3u);
    EXPECT_FALSE(exists(st.work("gnusong.mp3")));
}

TEST_F(Kar, SoundfontThatIsNoneAndSongAreRefusedBeforeAnythingIsWritten)
{
    st.write("song.kar", karfile());
    ToolRun bad = import({"--soundfont", "song.kar", "song.kar"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "tralune-kar: the soundfont \"song.kar\" cannot be read as one (an .sf2 or .sf3 file)\n");
    ToolRun song = import({"--song", "x.mp3", "song.kar"});
    EXPECT_EQ(song.status, 1);
    EXPECT_EQ(song.err, "tralune-kar: --song: the song is the file's own music, rendered as gnusong.mp3 (--no-audio "
                        "leaves it out)\n");
    EXPECT_EQ(folder(st.work()), std::vector<std::string>({"font.pcx", "song.kar"}));
    // --help offers what is taken: the shared options but --song.
    ToolRun help = import({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"-o FILE", "--picture", "--lead", "--offset", "--no-audio", "--soundfont"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option << " is not in\n" << help.out;
    EXPECT_EQ(help.out.find("--song"), std::string::npos) << help.out;
}

// 16-bit stereo samples at 44,100 a second, decoded from an MP3 by the real mpg123.
std::vector<short> decode(const std::string& mp3, const std::string& raw)
{
    std::string command = "/usr/bin/mpg123 -q -s -r 44100 --stereo -e s16 '" + mp3 + "' > '" + raw + "'";
    if (system(command.c_str()) != 0)
        return {};
    std::string bytes = readtext(raw);
    std::vector<short> samples(bytes.size() / 2);
    for (size_t k = 0; k < samples.size(); k++)
        samples[k] = short((unsigned char)bytes[2 * k] | (unsigned char)bytes[2 * k + 1] << 8);
    return samples;
}

TEST_F(Kar, MusicIsRenderedAsGnusongMp3BesideTheScriptOnTheSongsClock)
{
    for (const char* need : {"/usr/bin/fluidsynth", "/usr/bin/lame", "/usr/bin/mpg123", "/usr/share/sounds/sf2/default-GM.sf2"})
        if (access(need, R_OK) != 0)
            GTEST_SKIP() << need << " is not installed (./deps.sh test installs it): the music cannot be rendered here";
    // Silence to 1.0 s, a chord to 2.0 s, silence, a chord from 3.0 to 3.5 s (480 ticks a beat, 500 ms).
    std::vector<ev> events = {{0, std::string("\xC0\x00", 2)}, {960, lyric("Twin")},
                              {0, std::string("\x90\x3C\x70", 3)}, {0, std::string("\x40\x70", 2)},
                              {960, std::string("\x3C\x00", 2)}, {0, std::string("\x40\x00", 2)},
                              {960, lyric("kle")}, {0, std::string("\x90\x43\x70", 3)}, {480, std::string("\x43\x00", 2)}};
    st.write("song.kar", smf(0, 480, {mtrk(events)}));
    mkdir(st.work("out").c_str(), 0755);
    ToolRun r = import({"-o", "out/script.txt", "song.kar"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_NE(r.err.find("song.kar: rendering 0:04 of music with fluidsynth and "), std::string::npos) << r;
    EXPECT_NE(r.err.find("song.kar: encoding it with lame: 100%\n"), std::string::npos) << r;
    EXPECT_EQ(folder(st.work("out")), std::vector<std::string>({"font.pcx", "gnusong.mp3", "script.txt"}));
    EXPECT_EQ(checked("out/script.txt").sung, "1.000 Twin\n3.000 kle\n");

    std::vector<short> s = decode(st.work("out/gnusong.mp3"), st.work("song.raw"));
    ASSERT_FALSE(s.empty());
    double seconds = double(s.size()) / 2 / 44100;
    // The music lasts 3.5 s; the synthesizer lets the last notes ring out (3.0 s more with TimGM6mb).
    EXPECT_GE(seconds, 3.5);
    EXPECT_LE(seconds, 9.0);
    auto rms = [&](double from, double to) {
        double sum = 0;
        size_t a = size_t(from * 44100) * 2, b = std::min(s.size(), size_t(to * 44100) * 2);
        for (size_t k = a; k < b; k++)
            sum += double(s[k]) * s[k];
        return std::sqrt(sum / double(std::max<size_t>(b - a, 1)));
    };
    EXPECT_LT(rms(0, 0.99), 10) << "the silence before tick 960 is not silent";
    EXPECT_GT(rms(1.0, 2.0), 500) << "the music is silent";
    // The first sound starts at tick 960 of the file, 1.000 s on the song's clock.
    size_t first = 0;
    while (first < s.size() && std::abs(s[first]) < 100)
        first++;
    EXPECT_NEAR(double(first / 2) / 44100, 1.0, 0.02);

    EXPECT_EQ(import({"--no-audio", "-o", "out/script.txt", "song.kar"}).status, 0);
    EXPECT_TRUE(exists(st.work("out/gnusong.mp3"))) << "--no-audio removed the song";
}

TEST_F(Kar, InterruptedRenderingLeavesNoHalfMadeSong)
{
    for (const char* need : {"/usr/bin/fluidsynth", "/usr/bin/lame", "/usr/share/sounds/sf2/default-GM.sf2"})
        if (access(need, R_OK) != 0)
            GTEST_SKIP() << need << " is not installed (./deps.sh test installs it): the music cannot be rendered here";
    // Four minutes of chords on four channels take seconds to render; the run is stopped within them.
    std::vector<ev> events = {{0, lyric("Twin")}};
    for (int k = 0; k < 960; k++) {
        for (int ch = 0; ch < 4; ch++)
            events.push_back({ch == 0 && k > 0 ? 40u : 0u, std::string{char(0x90 | ch), char(48 + ch * 7 + k % 12), 0x60}});
        for (int ch = 0; ch < 4; ch++)
            events.push_back({ch == 0 ? 200u : 0u, std::string{char(0x80 | ch), char(48 + ch * 7 + k % 12), 0x40}});
    }
    events.push_back({240, lyric("kle")});
    st.write("long.kar", smf(0, 480, {mtrk(events)}));
    ScratchDir tmp;
    RunOptions o;
    o.binary = KAR_BINARY;
    o.args = {"long.kar"};
    o.env = {"TMPDIR=" + tmp.path()};
    o.signalafter = 0.5;
    RunResult r = st.run(o);
    EXPECT_FALSE(r.exited) << readtext(st.outputfile());
    EXPECT_NE(readtext(st.outputfile()).find("long.kar: rendering 4:00 of music"), std::string::npos)
        << readtext(st.outputfile());
    EXPECT_EQ(folder(st.work()), std::vector<std::string>({"font.pcx", "long.kar"}));
    EXPECT_EQ(folder(tmp.path()), std::vector<std::string>()) << "the scratch folder is left";
}

} // namespace
