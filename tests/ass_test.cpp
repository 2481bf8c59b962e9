// tralune-ass run as a user runs it, on hand-written subtitle files that each hold several shapes of the
// format (a lead-in, \N, a reordered Format: line, templater output, several styles, CJK), checked on
// the times and highlights of the script it writes, which must then pass tralune-check.
//
// The scripts are walked rather than compared whole, so that the checks hold for any shape of script
// the shared writer gives (one row of text or more): every highlight is taken with the song time it is
// drawn at, and the lines in the order they are sung, from text(X) and textrow(N,X) lines alike.
#include "runner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <sstream>

namespace {

class Ass : public ::testing::Test {
protected:
    Ass()
    {
        writefile(st.work("font.pcx"), encodepcx(fullFont()));
        // A song folder has its song.
        st.write("gnusong.mp3", "");
    }

    // With --no-fill, the look these scripts were first written with: the piece sung lit alone.
    ToolRun import(std::vector<std::string> args)
    {
        args.insert(args.begin(), "--no-fill");
        return st.runtool(ASS_BINARY, args);
    }

    // The script tralune-ass wrote, after checking that tralune-check finds no error in it, and no
    // warning unless glyphs are allowed to be missing (the test font has no CJK).
    std::string checked(bool glyphsmissing = false)
    {
        ToolRun c = st.runtool(CHECK_BINARY, {"script.txt"});
        EXPECT_EQ(c.status, 0) << c;
        EXPECT_NE(c.err.find(glyphsmissing ? ": 0 errors, " : ": 0 errors, 0 warnings;"), std::string::npos) << c;
        return readtext(st.work("script.txt"));
    }

    bool wrote() const
    {
        struct stat s;
        return stat(st.work("script.txt").c_str(), &s) == 0;
    }

    Stage st;
};

// What a script shows: "1.900 Twin" for each highlight, at the time of the at() before it; the lines
// sung, each once, in the order they are sung (a line is the text a highlight is drawn in); and the
// first text drawn before any at(), the title where the file has one.
struct walked {
    std::string highlights, lines, title;
};

walked walk(const std::string& script)
{
    walked w;
    std::istringstream in(script);
    std::string line, time = "-", drawn, sung;
    while (std::getline(in, line)) {
        std::string x;
        if (line.compare(0, 3, "at(") == 0) {
            time = line.substr(3, line.size() - 4);
            continue;
        } else if (line.compare(0, 5, "text(") == 0 && line.back() == ')') {
            x = line.substr(5, line.size() - 6);
        } else if (line.compare(0, 8, "textrow(") == 0 && line.find(',') != std::string::npos && line.back() == ')') {
            size_t comma = line.find(',');
            x = line.substr(comma + 1, line.size() - comma - 2);
        } else {
            continue;
        }
        if (w.title.empty() && time == "-")
            w.title = x;
        size_t a = x.find('%');
        // A row drawn again as it was (when another row changes) is no new highlight.
        if (a == std::string::npos || x == drawn)
            continue;
        size_t b = x.find('%', a + 1);
        w.highlights += time + " " + x.substr(a + 1, b - a - 1) + "\n";
        drawn = x;
        x.erase(std::remove(x.begin(), x.end(), '%'), x.end());
        if (x != sung)
            w.lines += x + "\n";
        sung = x;
    }
    return w;
}

std::string crlf(const std::string& s)
{
    std::string out;
    for (char c : s)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// The style line editors write for a default style; its fields are not read.
const char STYLE_FORMAT[] =
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
    "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
    "MarginR, MarginV, Encoding\n";
const char EVENT_FORMAT[] = "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";

TEST_F(Ass, SyllablesAreHighlightedAtStartPlusTheDurationsBeforeThem)
{
    // Line by line: 13 a lead-in of two tags without text (90 + 42 cs after 1.00 s: "Twin" at 2.320
    // less its own 42, so 1.900), \kf \ko \K, a \N inside the line and a \k without a number (100 cs);
    // 15 text before the first tag (sung at Start with it) and a syllable clamped to End; 16 a layered
    // copy of 15; 17 a drawing, \n, a millisecond Start and an unclosed "{"; 12 an event out of order.
    std::string file = std::string("\xEF\xBB\xBF[Script Info]\n"                             // 1
                                   "; Made by hand in the shape editors save.\n"              // 2
                                   "Title: Twinkle\n"                                          // 3
                                   "ScriptType: v4.00+\n"                                      // 4
                                   "\n"                                                        // 5
                                   "[V4+ Styles]\n") +                                         // 6
                       STYLE_FORMAT +                                                          // 7
                       "Style: Default,Arial,20,&H00FFFFFF,&H0000FFFF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,"
                       "1,2,2,2,10,10,10,1\n"                                                  // 8
                       "\n"                                                                    // 9
                       "[events]\n" +                                                          // 10
                       EVENT_FORMAT +                                                          // 11
                       R"(Dialogue: 0,0:00:12.00,0:00:15.00,Default,,0,0,0,,{\k50}How {\k40}I {\k30}won{\k60}der{\k100} what
Dialogue: 0,0:00:01.00,0:00:07.50,Default,,0,0,0,,{\k90}{\k42}Twin{\kf30}kle, {\ko40}twin{\K35}kle\N{\k50}lit{\k25}tle\hstar{\k}!
Comment: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,{\k50}not sung
Dialogue: 0,0:00:08.00,0:00:09.00,Default,,0,0,0,,Up {\k40}a{\k40}bove {\k40}the {\k80}world
Dialogue: 1,0:00:08.00,0:00:09.00,Default,,0,0,0,,{\blur3}Up {\k40}a{\k40}bove {\k40}the {\k80}world
Dialogue: 0,0:00:10.250,0:00:11.5,Default,,0,0,0,,{\k25}one {\p1}m 0 0 l 100 0 100 100{\p0}{\k25}two\n{\k25}three {4
Dialogue: 0,0:00:20.00,0:00:19.00,Default,,0,0,0,,{\k10}never
Dialogue: 0,0:0a:20.00,0:00:21.00,Default,,0,0,0,,{\k10}never
Dialogue: 0,0:00:20.00,0:00:21.00,Default

[Editor State]
Audio File: twinkle.mp3
Dialogue: 0,0:00:30.00,0:00:31.00,Default,,0,0,0,,{\k10}not an event
)";
    st.write("karaoke.ass", crlf(file));
    ToolRun r = import({"karaoke.ass"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "karaoke.ass:18: warning: the event ends before it starts: skipped\n"
                     "karaoke.ass:19: warning: the Start time \"0:0a:20.00\" is no h:mm:ss.cc time: skipped\n"
                     "karaoke.ass:20: warning: the event has 4 of the 10 fields its Format: line names: skipped\n");
    walked w = walk(checked());
    EXPECT_EQ(w.highlights, "1.900 Twin\n2.320 kle,\n2.620 twin\n3.020 kle\n"
                            "3.370 lit\n3.870 tle star\n4.120 !\n"
                            "8.000 Up a\n8.400 bove\n8.800 the\n9.000 world\n"
                            "10.250 one\n10.500 two\n10.750 three {4\n"
                            "12.000 How\n12.500 I\n12.900 won\n13.200 der\n13.800 what\n");
    EXPECT_EQ(w.title, "Twinkle");
    EXPECT_EQ(w.lines, "Twinkle, twinkle\nlittle star!\nUp above the world\none two three {4\nHow I wonder what\n");
    // The last syllable, " what", ends at 14.800: the last line stays up 3 s after it, not after its start.
    std::string script = readtext(st.work("script.txt"));
    EXPECT_EQ(script.substr(script.rfind("at(")), "at(17.800)\n");

    // --offset moves every syllable, --fill keeps what has been sung lit.
    ASSERT_EQ(import({"--offset", "-500", "--fill", "karaoke.ass"}).status, 0);
    std::string moved = walk(checked()).highlights;
    EXPECT_EQ(moved.substr(0, moved.find("3.870")), "2.400 Twin\n2.820 Twinkle,\n3.120 Twinkle, twin\n"
                                                    "3.520 Twinkle, twinkle\n")
        << moved;
}

// ASCII as UTF-16 little-endian with its mark, as older editors on Windows save "Unicode".
std::string utf16le(const std::string& s)
{
    std::string out = "\xFF\xFE";
    for (char c : s)
        out += std::string(1, c) + '\0';
    return out;
}

TEST_F(Ass, FieldsAreReadInTheOrderTheFormatLineGives)
{
    // Start and End swapped places, commas in the text; a plain two-row line is sung row by row, its
    // time shared evenly (6 to 10 s). Windows-1252 bytes (the e acute of "Cafe").
    st.write("reordered.ass", "[Script Info]\nTitle: <untitled>\n[Events]\n"
                              "Format: Layer, Style, End, Start, Effect, Text\n"
                              "Dialogue: 0,Default,0:00:04.00,0:00:02.00,,{\\k100}Hey, {\\k50}you, there\n"
                              "Dialogue: 0,Default,0:00:10.00,0:00:06.00,,First row\\NCaf\xE9 row\n");
    ToolRun r = import({"reordered.ass"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "reordered.ass: warning: not UTF-8: read as Windows-1252\n");
    std::string script = checked();
    // "<untitled>" is what an editor writes for a file never named: no title to show.
    EXPECT_EQ(script.find("untitled"), std::string::npos) << script;
    walked w = walk(script);
    EXPECT_EQ(w.highlights, "2.000 Hey,\n3.000 you, there\n6.000 First row\n8.000 Caf\xC3\xA9 row\n");
    EXPECT_EQ(w.lines, "Hey, you, there\nFirst row\nCaf\xC3\xA9 row\n");

    // An old SSA file: Marked for Layer, a "*" before the style's name, and a Format: line without the
    // text, which leaves the standard order.
    st.write("old.ssa", utf16le("[Script Info]\r\nScriptType: v4.00\r\n\r\n[V4 Styles]\r\n"
                                "Format: Name, Fontname, Fontsize\r\nStyle: *Default,Arial,20\r\n\r\n[Events]\r\n"
                                "Format: Marked, Start, End\r\n"
                                "Dialogue: Marked=0,0:00:01.00,0:00:03.00,*Default,NTP,0000,0000,0000,,"
                                "{\\k50}Old {\\k150}times\r\n"));
    r = import({"old.ssa"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "old.ssa:9: warning: the Format: line names no text field: the events are read in the "
                     "standard order\n");
    w = walk(checked());
    EXPECT_EQ(w.highlights, "1.000 Old\n1.500 times\n");
    EXPECT_EQ(w.lines, "Old times\n");
}

// A song as a karaoke templater leaves it: its own code and template lines, the karaoke lines kept as
// Comments of Effect "karaoke", one fx line per syllable made from them, and a romaji, a kanji and an
// English style, the English without tags.
const char TEMPLATED[] = R"([Script Info]
Title: Kotoba
ScriptType: v4.00+
PlayResX: 1280
PlayResY: 720

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour
Style: Romaji,Arial,40,&H00FFFFFF,&H000000FF
Style: Kanji,Arial,40,&H00FFFFFF,&H000000FF
Style: English,Arial,30,&H00FFFFFF,&H000000FF

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Comment: 0,0:00:00.00,0:00:00.00,Romaji,,0,0,0,code once,ci = 0
Comment: 0,0:00:00.00,0:00:05.00,Romaji,,0,0,0,template syl,{\pos($x,$y)\t($start,$end,\1c&H0000FF&)}
Comment: 0,0:00:01.00,0:00:04.00,Romaji,,0,0,0,karaoke,{\k50}ki{\k50}mi {\kf60}no {\ko40}ko{\k40}to{\k60}ba
Comment: 0,0:00:01.00,0:00:04.00,Kanji,,0,0,0,karaoke,{\k100}君{\kf60}の{\ko40}言{\k100}葉
Dialogue: 0,0:00:01.00,0:00:04.00,English,,0,0,0,,Your words
Dialogue: 1,0:00:01.00,0:00:01.50,Romaji,,0,0,0,fx,{\an5\pos(100,200)\k50}ki
Dialogue: 1,0:00:01.50,0:00:02.00,Romaji,,0,0,0,fx,{\an5\pos(120,200)\k50}mi
Dialogue: 1,0:00:01.00,0:00:02.00,Kanji,,0,0,0,fx,{\an5\pos(100,100)\k100}君
Comment: 0,0:00:05.00,0:00:08.00,Romaji,,0,0,0,karaoke,{\k30}{\k70}ai{\k100}shi{\k50}te
Comment: 0,0:00:05.00,0:00:08.00,Kanji,,0,0,0,karaoke,{\k100}愛{\k100}し{\k50}て
Dialogue: 0,0:00:05.00,0:00:08.00,English,,0,0,0,,I love you
Comment: 0,0:00:09.00,0:00:11.00,Romaji,,0,0,0,karaoke,{\k100}la {\k100}la
Dialogue: 1,0:00:09.00,0:00:10.00,Romaji,,0,0,0,fx,{\an5\pos(100,200)\k100}la

[Project Garbage]
Audio File: kotoba.mp3
Scroll Position: 12
)";

TEST_F(Ass, TemplaterOutputGivesWayToItsKaraokeLinesInTheChosenStyle)
{
    st.write("kotoba.ass", TEMPLATED);
    ToolRun r = import({"kotoba.ass"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "kotoba.ass: warning: the lines come in 3 styles: the script follows \"Romaji\", the one with "
                     "the most karaoke lines (3); --style NAME takes another: \"Kanji\" (2), \"English\" (0)\n");
    walked w = walk(checked());
    EXPECT_EQ(w.highlights, "1.000 ki\n1.500 mi\n2.000 no\n2.600 ko\n3.000 to\n3.400 ba\n"
                            "5.300 ai\n6.000 shi\n7.000 te\n9.000 la\n10.000 la\n");
    // The first line is up at once (sung at 1 s, shown 1 s early): a title would not be seen, and the
    // first text drawn is that line.
    EXPECT_EQ(w.title, "kimi no kotoba");
    EXPECT_EQ(w.lines, "kimi no kotoba\naishite\nla la\n");

    // Each CJK syllable is highlighted on its own, though no space parts them.
    r = import({"--style", "Kanji", "kotoba.ass"});
    ASSERT_EQ(r.status, 0) << r;
    w = walk(checked(true));
    EXPECT_EQ(w.highlights, "1.000 君\n2.000 の\n2.600 言\n3.000 葉\n5.000 愛\n6.000 し\n7.000 て\n");
    EXPECT_EQ(w.lines, "君の言葉\n愛して\n");

    r = import({"--style=English", "kotoba.ass"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "kotoba.ass: warning: no line of style \"English\" has karaoke tags ({\\k}): each line is "
                     "highlighted whole at its Start\n");
    EXPECT_EQ(walk(checked()).highlights, "1.000 Your words\n5.000 I love you\n");
}

TEST_F(Ass, AStyleForEveryLineAndARunOfUnclosedBracesAreReadInOnePass)
{
    // 2,000 events of a style each (as a file whose styles name singers might have), and one line of
    // 100,000 empty blocks "{}", then 40,000 unclosed "{" ("{0{1{2..."), which are text. Read in one
    // pass, the file takes well under the run's 20 s; the warning names a dozen styles and counts the
    // rest.
    std::string braces, blocks;
    for (int i = 0; i < 40000; i++)
        braces += "{" + std::to_string(i);
    for (int i = 0; i < 100000; i++)
        blocks += "{}";
    std::string file = std::string("[Events]\n") + EVENT_FORMAT + "Dialogue: 0,0:00:00.50,0:00:01.00,Late,,0,0,0,," +
                       blocks + braces + "\n";
    for (int i = 0; i < 2000; i++)
        file += "Dialogue: 0,0:00:" + std::to_string(10 + i % 50) + ".00,0:01:00.00,S" + std::to_string(i) +
                ",,0,0,0,,{\\k10}w" + std::to_string(i) + "\n";
    st.write("many.ass", file);
    ToolRun r = import({"many.ass"});
    ASSERT_TRUE(r.exited) << "still reading after 20 s";
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "many.ass: warning: the lines come in 2001 styles: the script follows \"S0\", the one with the "
                     "most karaoke lines (1); --style NAME takes another: \"Late\" (0), \"S1\" (1), \"S2\" (1), "
                     "\"S3\" (1), \"S4\" (1), \"S5\" (1), \"S6\" (1), \"S7\" (1), \"S8\" (1), \"S9\" (1), "
                     "\"S10\" (1), \"S11\" (1) and 1988 more\n");
    r = import({"--style", "Late", "many.ass"});
    ASSERT_EQ(r.status, 0) << r;
    walked w = walk(checked());
    EXPECT_EQ(w.highlights.substr(0, 9), "0.500 {0{") << w.highlights.substr(0, 200);
    // The line, cut into screen lines that fit, is all there.
    w.lines.erase(std::remove(w.lines.begin(), w.lines.end(), '\n'), w.lines.end());
    EXPECT_EQ(w.lines, braces);
}

TEST_F(Ass, FileWithNothingToSingStopsWithOneMessageAndWritesNothing)
{
    struct bad {
        const char* name;
        std::string bytes;
        std::vector<std::string> args;
        const char* error;
    } files[] = {
        {"empty.ass", "", {}, "no [Events] section: no subtitles in it"},
        {"lyrics.txt", "[00:01.00]Twinkle twinkle\n[00:03.00]little star\n", {}, "no [Events] section: no subtitles in it"},
        {"picture.ass", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR[Events]\n", 21), {},
         "not a text file (it holds NUL bytes): no subtitles in it"},
        {"comments.ass",
         std::string("[Events]\n") + EVENT_FORMAT +
             "Comment: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\k50}Twin{\\k50}kle\n"
             "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,template syl,{\\k50}Twin{\\k50}kle\n"
             "Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,{\\p1}m 0 0 l 100 0 100 100{\\p0}\n"
             "Dialogue: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,{\\pos(1,2)}   \n",
         {}, "no Dialogue line with words: nothing to sing along to"},
        {"kotoba.ass", TEMPLATED, {"--style", "romaji"},
         "--style \"romaji\": no lyric line has that style; the styles with lines (and how many have karaoke tags) "
         "are \"Romaji\" (3), \"Kanji\" (2), \"English\" (0)"},
    };
    for (const bad& b : files) {
        st.write(b.name, b.bytes);
        std::vector<std::string> args = b.args;
        args.push_back(b.name);
        ToolRun r = import(args);
        EXPECT_EQ(r.status, 1) << b.name << "\n" << r;
        EXPECT_EQ(r.err, std::string(b.name) + ": error: " + b.error + "\n") << b.name;
        EXPECT_FALSE(wrote()) << b.name << ": a script was written";
    }
}

} // namespace
