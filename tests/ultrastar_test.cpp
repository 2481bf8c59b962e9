// tralune-ultrastar run as a user runs it, on hand-written songs that each hold several shapes of the
// format, checked on the times and highlights of the script it writes; every script must then pass
// tralune-check without an error or a warning.
#include "runner.h"
#include "scriptwalk.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

namespace {

class Ultrastar : public ::testing::Test {
protected:
    // Every character the songs use has a glyph in this font (typographic quotes through their
    // look-alikes), so that a clean script checks without a warning; and the folder has its song.
    Ultrastar()
    {
        writefile(st.work("font.pcx"), encodepcx(fullFont()));
        st.write("gnusong.mp3", "");
    }

    // The scripts of one row, line by line as they have always been, the piece sung lit alone.
    ToolRun import(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--rows", "1", "--no-fill"});
        return st.runtool(ULTRASTAR_BINARY, args);
    }

    // The script tralune-ultrastar wrote, after checking that tralune-check finds nothing in it.
    std::string checked(const std::string& script = "script.txt")
    {
        ToolRun c = st.runtool(CHECK_BINARY, {script});
        EXPECT_EQ(c.status, 0) << c;
        EXPECT_NE(c.err.find(": 0 errors, 0 warnings;"), std::string::npos) << c;
        return readtext(st.work(script));
    }

    Stage st;
};

// A script's text lines, each after the time of the at() before it: "1.555 Twin%kle% twinkle".
std::string shown(const std::string& script)
{
    std::istringstream in(script);
    std::string line, time = "-", out;
    while (std::getline(in, line)) {
        if (line.compare(0, 3, "at(") == 0)
            time = line.substr(3, line.size() - 4);
        else if (line.compare(0, 5, "text(") == 0)
            out += time + " " + line.substr(5, line.size() - 6) + "\n";
    }
    return out;
}

// Everything after the first line, which names the file the script came from.
std::string body(const std::string& script)
{
    return script.substr(script.find('\n') + 1);
}

TEST_F(Ultrastar, SyllablesAreHighlightedOnTheirBeatsAndJoinIntoWords)
{
    // 187,5 beats a minute count 750 quarter beats a minute: 80 ms each, after a gap of 1234.6 ms. Words
    // end at a space after a syllable (kle ) or before one ( lit); ~ and a lone - hold a syllable.
    st.write("song.txt", "#TITLE:Twinkle\n"                   // 1
                         "#ARTIST:Traditional\n"              // 2
                         "#bpm:187,5\n"                       // 3
                         "#Gap: 1234,6\n"                     // 4
                         ": 0 4 5 Twin\n"                     // 5  1234.6 ms
                         ": 4 4 5 kle \n"                     // 6  1554.6
                         "* 8 4 12 twin\n"                    // 7  1874.6 golden
                         ":  12  4 12 kle\n"                  // 8  2194.6
                         "F 16 4 14  lit\n"                   // 9  2514.6 freestyle
                         "R 20 4 14 tle \n"                   // 10 2834.6 rap
                         "G 24 6 12 star\n"                   // 11 3154.6 golden rap
                         ": 30 2 12 ~\n"                      // 12 held to beat 32: 3794.6
                         "- 34\n"                             // 13
                         ": 36 4 10 How\n"                    // 14 4114.6
                         "\n"                                 // 15
                         ": 40 4 10  I\n"                     // 16 4434.6
                         ": 44 2 9  won\n"                    // 17 4754.6
                         ": 46 2 9 -\n"                       // 18 held
                         ": 48 4 9 der \n"                    // 19 5074.6
                         "B 50 200\n"                         // 20 a tempo change: unknown
                         "- 52 54\n"                          // 21
                         ": 56 4 x what\n"                    // 22 malformed
                         "#BPM:300\n"                         // 23 too late
                         ": 56 4 7 what\n"                    // 24 5714.6
                         ": 60 2 7 ~ \n"                      // 25 held, then a space
                         ": 64 4 7 you \n"                    // 26 6354.6
                         ": 68 8 5 are!\n"                    // 27 6674.6
                         "-\n"                                // 28
                         "E\n"                                // 29
                         "not read\n");                       // 30
    ToolRun r = import({"song.txt"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "song.txt:15: warning: empty line: skipped\n"
                     "song.txt:20: warning: a line starting with \"B\" is no note, line break, voice or end: skipped\n"
                     "song.txt:22: warning: a note is written TYPE START LENGTH PITCH TEXT, in whole beats: skipped\n"
                     "song.txt:23: warning: a header line among the notes: ignored\n");
    std::string script = checked();
    // The next line waits for the held "star~" to end, at beat 32.
    EXPECT_EQ(shown(script), "- Twinkle - Traditional\n"
                             "0.235 Twinkle twinkle little star\n"
                             "1.235 %Twin%kle twinkle little star\n"
                             "1.555 Twin%kle% twinkle little star\n"
                             "1.875 Twinkle %twin%kle little star\n"
                             "2.195 Twinkle twin%kle% little star\n"
                             "2.515 Twinkle twinkle %lit%tle star\n"
                             "2.835 Twinkle twinkle lit%tle% star\n"
                             "3.155 Twinkle twinkle little %star%\n"
                             "3.795 How I wonder\n"
                             "4.115 %How% I wonder\n"
                             "4.435 How %I% wonder\n"
                             "4.755 How I %won%der\n"
                             "5.075 How I won%der%\n"
                             "5.395 what you are!\n"
                             "5.715 %what% you are!\n"
                             "6.355 what %you% are!\n"
                             "6.675 what you %are!%\n");
    // The last note ends at beat 76, 7314.6 ms; the last line stays up 3 s more.
    EXPECT_EQ(script.substr(script.rfind("at(")), "at(10.315)\n");

    ASSERT_EQ(import({"--fill", "--lead", "200", "--offset", "+35", "song.txt"}).status, 0);
    std::string fill = shown(checked());
    EXPECT_NE(fill.find("\n1.200 %Twin%kle twinkle little star\n1.520 %Twinkle% twinkle little star\n"
                        "1.840 %Twinkle twin%kle little star\n"),
              std::string::npos)
        << fill;
    EXPECT_NE(fill.find("\n3.880 How I wonder\n4.080 %How% I wonder\n"), std::string::npos) << fill;
}

// The same duet twice: beats from the song's start, and beats counted from each voice's last line
// break (#RELATIVE). 300 beats a minute: 50 ms a beat, after 500 ms.
const char DUET[] = "#TITLE:Two Voices\n#BPM:300\n#GAP:500\n#P1:Ann\n#P2:Ben\n"
                    "P1\n: 0 2 0 Twin\n: 2 2 0 kle \n: 4 4 0 star\n- 10\n: 12 4 0 How \n* 16 4 0 I\n- 32\n"
                    "P2\n: 8 2 0 Up \n: 10 2 0 a\n: 12 2 0 bove \n- 16\n: 20 4 0 the \nF 24 4 0 world\n- 28\n"
                    "P3\n: 42 2 0 To\n: 44 4 0 gether\nE\n";
const char RELATIVE_DUET[] = "#TITLE:Two Voices\n#RELATIVE:yes\n#BPM:300\n#GAP:500\n#P1:Ann\n#P2:Ben\n"
                             // - 10 12: the next beats count from 12.
                             "P1\n: 0 2 0 Twin\n: 2 2 0 kle \n: 4 4 0 star\n- 10 12\n: 0 4 0 How \n* 4 4 0 I\n"
                             "- 20 30\n"
                             // - 16: from 16.
                             "P2\n: 8 2 0 Up \n: 10 2 0 a\n: 12 2 0 bove \n- 16\n: 4 4 0 the \nF 8 4 0 world\n- 26\n"
                             // Both voices are at beat 42 now.
                             "P3\n: 0 2 0 To\n: 2 4 0 gether\nE\n";

TEST_F(Ultrastar, RelativeDuetGivesTheScriptOfTheSameDuetWrittenAbsolute)
{
    st.write("absolute.txt", DUET);
    st.write("relative.txt", RELATIVE_DUET);
    for (const char* voice : {"1", "2"}) {
        ToolRun a = import({"--voice", voice, "-o", "a.txt", "absolute.txt"});
        ToolRun b = import({"--voice", voice, "-o", "b.txt", "relative.txt"});
        ASSERT_EQ(a.status, 0) << a;
        ASSERT_EQ(b.status, 0) << b;
        EXPECT_EQ(body(checked("a.txt")), body(checked("b.txt"))) << "voice " << voice;
    }
    ToolRun two = import({"--voice=2", "relative.txt"});
    EXPECT_EQ(two.err, "relative.txt: warning: a duet: the script follows P2 (Ben); --voice 1 makes one for P1 (Ann)\n");
    std::string script = shown(checked());
    for (const char* line : {"0.900 %Up% above\n", "1.000 Up %a%bove\n", "1.100 Up a%bove%\n", "1.500 %the% world\n",
                             "1.700 the %world%\n", "2.600 %To%gether\n", "2.700 To%gether%\n"})
        EXPECT_NE(script.find(line), std::string::npos) << line << " is not in\n" << script;
    EXPECT_EQ(script.find("Twin"), std::string::npos) << script;
}

// A verse, syllable by syllable, with typographic quotes, a dash, an ellipsis and accents; notes()
// writes it as note lines, four beats apart, with a line break after each line.
const std::vector<std::vector<std::string>> VERSE = {
    {"\xE2\x80\x9CTwin", "kle, ", "twin", "kle, ", "lit", "tle ", "star\xE2\x80\x9D"},
    {"Up", " a", "bove", " the", " world", "~", " so", " high"},
    {"\xC3\x89", "toi", "le, ", "l\xC3\xA0-", "haut ", "\xE2\x80\x93 ", "\xE2\x80\x98" "bril", "le\xE2\x80\x99\xE2\x80\xA6"}};
const char VERSE_LINES[] = "\xE2\x80\x9CTwinkle, twinkle, little star\xE2\x80\x9D\n"
                           "Up above the world so high\n"
                           "\xC3\x89toile, l\xC3\xA0-haut \xE2\x80\x93 \xE2\x80\x98" "brille\xE2\x80\x99\xE2\x80\xA6\n";

std::string notes(const std::string& eol)
{
    std::string out;
    int beat = 0;
    for (const auto& line : VERSE) {
        for (const std::string& syllable : line) {
            out += ": " + std::to_string(beat) + " 3 " + std::to_string(beat % 7) + " " + syllable + eol;
            beat += 4;
        }
        out += "- " + std::to_string(beat) + eol;
        beat += 8;
    }
    return out;
}

// The verse's characters in Windows-1252.
std::string cp1252(std::string s)
{
    const std::vector<std::pair<std::string, std::string>> map = {
        {"\xE2\x80\x9C", "\x93"}, {"\xE2\x80\x9D", "\x94"}, {"\xE2\x80\x98", "\x91"}, {"\xE2\x80\x99", "\x92"},
        {"\xE2\x80\x93", "\x96"}, {"\xE2\x80\xA6", "\x85"}, {"\xC3\x89", "\xC9"},     {"\xC3\xA0", "\xE0"}};
    for (const auto& m : map)
        for (size_t at; (at = s.find(m.first)) != std::string::npos;)
            s.replace(at, m.first.size(), m.second);
    return s;
}

// UTF-16 little-endian with its mark; the verse has no character beyond U+FFFF.
std::string utf16le(const std::string& s)
{
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < s.size();) {
        unsigned char c = (unsigned char)s[i];
        int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
        int ch = n == 1 ? c : n == 2 ? (c & 0x1F) << 6 | (s[i + 1] & 0x3F)
                                     : (c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
        out += char(ch & 0xFF);
        out += char(ch >> 8);
        i += size_t(n);
    }
    return out;
}

TEST_F(Ultrastar, SongsInTheShapesOfRealCollectionsImportWithAllTheirWords)
{
    struct shape {
        const char* name;
        std::string bytes;
        const char* warnings;
    } shapes[] = {
        // An older editor's file: Windows-1252 with no word of it, CRLF, the #BPM after #GAP.
        {"old.txt",
         cp1252("#TITLE:Twinkle\r\n#ARTIST:Nobody\r\n#MP3:Nobody - Twinkle.mp3\r\n#COVER:Nobody - Twinkle [CO].jpg\r\n"
                "#BACKGROUND:Nobody - Twinkle [BG].jpg\r\n#VIDEO:Nobody - Twinkle.avi\r\n#VIDEOGAP:0,5\r\n"
                "#START:12,3\r\n#GAP:7890\r\n#BPM:250,12\r\n" + notes("\r\n") + "E\r\n"),
         "old.txt: warning: not UTF-8, and no #ENCODING says what it is: read as Windows-1252\n"},
        // One that says its encoding.
        {"declared.txt",
         cp1252("#ENCODING:CP1252\n#TITLE:Twinkle\n#ARTIST:Nobody\n#LANGUAGE:English\n#EDITION:Nursery Rhymes\n"
                "#GENRE:Children\n#YEAR:1806\n#MP3:twinkle.mp3\n#BPM:300\n#GAP:0\n" + notes("\n") + "E\n"),
         ""},
        // A newer one: a UTF-8 mark, #VERSION and #AUDIO, medley and preview tags, no E at the end; in
        // folders whose names make the script's first comment line too long for tralune unless cut.
        {"Songs Sorted by Artist/Nobody and Somebody Else - Twinkle, Twinkle, Little Star (Duet)/new.txt",
         "\xEF\xBB\xBF#VERSION:1.0.0\n#TITLE:Twinkle\n#ARTIST:Nobody\n#AUDIO:twinkle.ogg\n#MP3:twinkle.mp3\n"
         "#BPM:412.5\n#GAP:1500.25\n#PREVIEWSTART:12.5\n#MEDLEYSTARTBEAT:10\n#MEDLEYENDBEAT:40\n"
         "#CREATOR:Nobody\n#END:50000\n" + notes("\n"),
         ""},
        // Saved by a Windows text editor as "Unicode".
        {"utf16.txt", utf16le("#TITLE:Twinkle\r\n#BPM:200\r\n#GAP:100\r\n" + notes("\r\n") + "E\r\n"), ""},
    };
    mkdir(st.work("Songs Sorted by Artist").c_str(), 0755);
    mkdir(st.work("Songs Sorted by Artist/Nobody and Somebody Else - Twinkle, Twinkle, Little Star (Duet)").c_str(), 0755);
    for (const shape& s : shapes) {
        st.write(s.name, s.bytes);
        ToolRun r = import({s.name});
        ASSERT_EQ(r.status, 0) << s.name << "\n" << r;
        EXPECT_EQ(r.err, s.warnings) << s.name;
        // The lines as shown before they are sung: the title and the verse; no title where the first
        // line is up at once (#GAP 0 and 100 ms, shown 1 s early), since it would not be seen.
        bool titled = s.name != std::string("declared.txt") && s.name != std::string("utf16.txt");
        std::string lines, all = shown(checked());
        std::istringstream in(all);
        for (std::string line; std::getline(in, line);)
            if (line.find('%') == std::string::npos)
                lines += line.substr(line.find(' ') + 1) + "\n";
        EXPECT_EQ(lines, std::string(!titled ? "" : "Twinkle - Nobody\n") + VERSE_LINES)
            << s.name;
    }
}

TEST_F(Ultrastar, SongWithoutBeatsAMinuteStopsAndNamesTheFile)
{
    st.write("nobpm.txt", "#TITLE:Twinkle\r\n#ARTIST:Nobody\r\n#MP3:twinkle.mp3\r\n#GAP:7890\r\n" + notes("\r\n") + "E\r\n");
    st.write("zero.txt", "#TITLE:Twinkle\n#BPM:0,0\n" + notes("\n"));
    ToolRun none = import({"nobpm.txt"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "nobpm.txt: error: no #BPM: the notes cannot be timed without the song's beats a minute\n");
    ToolRun zero = import({"zero.txt"});
    EXPECT_EQ(zero.status, 1);
    EXPECT_EQ(zero.err, "zero.txt: error: the #BPM \"0,0\" of line 2 is no number of beats a minute above 0: the "
                        "notes cannot be timed\n");
    struct stat s;
    EXPECT_NE(stat(st.work("script.txt").c_str(), &s), 0) << "a script was written";
}

TEST_F(Ultrastar, SongFlagLinksTheAudioTheFileNamesOrSaysHowToConvertIt)
{
    // The song file lies in a folder of its own; the script is written elsewhere.
    mkdir(st.work("Nobody - Twinkle").c_str(), 0755);
    mkdir(st.work("out").c_str(), 0755);
    st.write("Nobody - Twinkle/Nobody - Twinkle.mp3", "");
    st.write("Nobody - Twinkle/song.txt", "#MP3:Nobody - Twinkle.mp3\n#BPM:300\n" + notes("\n"));
    st.write("Nobody - Twinkle/ogg.txt", "#MP3:x.mp3\n#AUDIO:Nobody - Twinkle.ogg\n#BPM:300\n" + notes("\n"));
    st.write("Nobody - Twinkle/none.txt", "#BPM:300\n" + notes("\n"));
    st.write("other.mp3", "");
    auto link = [&] {
        char target[4096];
        ssize_t n = readlink(st.work("out/gnusong.mp3").c_str(), target, sizeof target);
        return n < 0 ? std::string("(none)") : std::string(target, size_t(n));
    };

    ToolRun named = import({"--song", "-o", "out/script.txt", "Nobody - Twinkle/song.txt"});
    ASSERT_EQ(named.status, 0) << named;
    // Linked from the script's folder.
    EXPECT_EQ(link(), "../Nobody - Twinkle/Nobody - Twinkle.mp3");
    ASSERT_EQ(import({"--song=other.mp3", "-o", "out/script.txt", "Nobody - Twinkle/song.txt"}).status, 0);
    EXPECT_EQ(link(), "../other.mp3");

    unlink(st.work("out/gnusong.mp3").c_str());
    ToolRun ogg = import({"-o", "out/script.txt", "--song", "Nobody - Twinkle/ogg.txt"});
    EXPECT_EQ(ogg.status, 0) << ogg;
    EXPECT_EQ(ogg.err, "Nobody - Twinkle/ogg.txt: warning: the song \"Nobody - Twinkle/Nobody - Twinkle.ogg\" is no "
                       "MP3, and mpg123, which plays tralune's song, plays MP3 only: not linked. Make one beside the "
                       "script with: ffmpeg -i 'Nobody - Twinkle/Nobody - Twinkle.ogg' -vn -q:a 2 'out/gnusong.mp3'\n");
    EXPECT_EQ(link(), "(none)");
    EXPECT_NE(shown(checked("out/script.txt")).find("%Up% above"), std::string::npos);

    ToolRun none = import({"--song", "Nobody - Twinkle/none.txt"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "Nobody - Twinkle/none.txt: error: --song: the file names no song (#AUDIO or #MP3); give one "
                        "as --song=FILE\n");
    ToolRun spaced = import({"--song", "other.mp3", "Nobody - Twinkle/song.txt"});
    EXPECT_EQ(spaced.status, 1);
    EXPECT_EQ(spaced.err, "tralune-ultrastar: only one song file, please: \"other.mp3\" and \"Nobody - Twinkle/song.txt\" "
                          "were given (a song to link is given as --song=FILE)\n");
}

// 50 ms a beat after 1 s: "star" is held from 1.8 s to beat 120, 7.0 s; the next line is sung from 8.0 s,
// the lines after it close together.
const char HELD[] = "#TITLE:Held\n#BPM:300\n#GAP:1000\n"
                    ": 0 4 0 Twin\n: 4 4 0 kle \n: 8 4 0 lit\n: 12 4 0 tle \n: 16 104 0 star\n- 124\n"
                    ": 140 4 0 How \n: 144 4 0 I \n: 148 10 0 won\n: 158 4 0 der\n- 164\n"
                    ": 166 4 0 what \n: 170 4 0 you \n* 174 20 0 are\n- 196\n"
                    ": 196 2 0 Up \n: 198 2 0 a\n: 200 2 0 bove\nE\n";

TEST_F(Ultrastar, TwoRowsShowTheNextLineAtEveryHighlightAndAHeldNoteKeepsItsLineInBothModes)
{
    st.write("held.txt", HELD);
    for (const char* rows : {"2", "1"}) {
        for (const char* fill : {"--lead=1000", "--fill"}) {
            ToolRun r = st.runtool(ULTRASTAR_BINARY, {"--rows", rows, fill, "held.txt"});
            ASSERT_EQ(r.status, 0) << r;
            std::string script = checked();
            EXPECT_EQ(script.find("textrow(") == std::string::npos, rows == std::string("1")) << script;
            std::vector<scriptstep> steps = walkscript(script, 9);
            EXPECT_EQ(rowrules(steps, rows == std::string("1")), "") << rows << " rows " << fill << "\n" << script;
            // The held note keeps its line to its end, in both modes; so does the last note of any line
            // (beat 194, 10.7 s, before the next line's 10.8 s).
            EXPECT_EQ(leaves(steps, "Twinkle little star"), 7000) << rows << " rows " << fill;
            EXPECT_EQ(leaves(steps, "what you are"), 10700) << rows << " rows " << fill;
        }
    }
    // On two rows, at the first highlight of "what you are" the line after it stands on the other row.
    ASSERT_EQ(st.runtool(ULTRASTAR_BINARY, {"held.txt"}).status, 0);
    std::vector<scriptstep> steps = walkscript(checked(), 9);
    auto what = std::find_if(steps.begin(), steps.end(), [](const scriptstep& s) { return s.text == "%what% you are"; });
    ASSERT_NE(what, steps.end());
    EXPECT_EQ(what->ms, 9300);
    EXPECT_EQ(what->rows, (std::map<int, std::string>{{1, "%what% you are"}, {0, "Up above"}}));
}

} // namespace
