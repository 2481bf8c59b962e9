// The LRC importer: tralune-lrc run as a user runs it on LRC files of the shapes real files have, the
// scripts it writes checked line by line, by tralune-check, and by a run of tralune itself.
#include "runner.h"
#include "scriptwalk.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <sstream>

namespace {

std::vector<std::string> linesof(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class Lrc : public ::testing::Test {
protected:
    // The scripts of one row, line by line as they have always been, the piece sung lit alone.
    ToolRun lrc(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--rows", "1", "--no-fill"});
        return st.runtool(LRC_BINARY, args);
    }
    // tralune-check on a script in the work folder: its whole report, which must say no error.
    std::string checked(const std::string& script)
    {
        ToolRun c = st.runtool(CHECK_BINARY, {script});
        EXPECT_EQ(c.status, 0) << c;
        return c.err;
    }
    void write(const std::string& name, const std::string& bytes) { writefile(st.work(name), {bytes.begin(), bytes.end()}); }
    // tralune-lrc with the rows given, its script to script.txt, which must check clean; the script
    // walked row by row with fullFont() (9 rows high) and pictures as tall as given.
    std::vector<scriptstep> walked(const std::string& rows, std::vector<std::string> args,
                                   const std::map<std::string, int>& pictures = {})
    {
        args.insert(args.begin(), {"--rows", rows, "--no-fill"});
        ToolRun r = st.runtool(LRC_BINARY, args);
        EXPECT_EQ(r.status, 0) << r;
        // A song folder has its song.
        write("gnusong.mp3", "");
        EXPECT_NE(checked("script.txt").find(": 0 errors, 0 warnings;"), std::string::npos);
        std::string script = readtext(st.work("script.txt"));
        for (const std::string& l : linesof(script))
            EXPECT_LE(l.size(), 99u) << l;
        EXPECT_EQ(rows == "1", script.find("textrow(") == std::string::npos) << script;
        return walkscript(script, 9, pictures);
    }

    Stage st;
};

TEST_F(Lrc, EnhancedWordsAreHighlightedAtTheirStampsLessTheOffsetAndTheScriptPlaysOnTheSongsClock)
{
    writefile(st.work("font.pcx"), encodepcx(fullFont()));
    write("song.mp3", "");
    write("a.lrc", "[ti:Little Star]\n[ar:Nobody]\n[offset:+250]\n"
                   "[00:01.00]<00:01.00>Twin<00:01.30>kle, <00:01.60>twin<00:01.90>kle <00:02.50>\n"
                   "[00:03.00]How I wonder\n"
                   "[00:05.00]\n"
                   "[00:06.00]<00:06.00>Up <00:06.40>a<00:06.20>bove\n");
    ToolRun r = lrc({"--song", "song.mp3", "a.lrc"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "a.lrc:7: warning: a time goes back: highlighted together with the part before it\n");
    // Each stamp less 250 ms; no title, since the first line is up at once; a line shown up to 1 s early, but only once the last word
    // of the line before has ended at its closing stamp (2.250); the plain line highlighted whole; the
    // gap clears, and the next line may follow at once; the stamp that goes back is held to the one
    // before; the last line stays 3 s after its last word.
    EXPECT_EQ(readtext(st.work("script.txt")),
              "; Made by tralune-lrc from a.lrc; times are song times.\n"
              "clearscreen(0,0,0)\ntext(Twinkle, twinkle)\n"
              "at(0.750)\ntext(%Twin%kle, twinkle)\n"
              "at(1.050)\ntext(Twin%kle,% twinkle)\n"
              "at(1.350)\ntext(Twinkle, %twin%kle)\n"
              "at(1.650)\ntext(Twinkle, twin%kle%)\n"
              "at(2.250)\nclearscreen(0,0,0)\ntext(How I wonder)\n"
              "at(2.750)\ntext(%How I wonder%)\n"
              "at(4.750)\nclearscreen(0,0,0)\ntext(Up above)\n"
              "at(5.750)\ntext(%Up% above)\n"
              "at(6.150)\ntext(Up %a%bove)\ntext(Up a%bove%)\n"
              "at(9.150)\n");
    EXPECT_EQ(checked("script.txt"), "script.txt: 0 errors, 0 warnings; the script lasts 0:09.150 of song time\n");
    RunResult run = st.run({"script.txt"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_GE(run.seconds, 10.64);
    EXPECT_LT(run.seconds, 11.5);
    EXPECT_NE(readtext(st.playerlog()).find(" gnusong.mp3\n"), std::string::npos) << readtext(st.playerlog());
}

TEST_F(Lrc, FilesOfTheShapesRealOnesHaveImportWithAllTheirWords)
{
    // UTF-16 with a byte-order mark, CRLF and one CR line end; stamps of every width, several on one
    // line, minutes above 59; a translation at the same time, an exact repeat, a duet mark; tags
    // anywhere, one offset that is no number, an unknown tag, a line with no stamp.
    std::u16string text = u"[ar:Someone]\r\n[00:10.5]M: Same time line\r\n[00:10.50]Same time line\r\n"
                          u"[00:10.500]Ligne traduite\r\n[0:12:25][00:14.501]Twice sung\r\n[00:03]First\r\n"
                          u"no stamp here\r\n[offset:abc]\r\n[la:en]\r\n[01:05.00]F:Minute one\r"
                          u"[61:00.00]Late \u2019n\u00e9\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text)
        bytes += {char(c & 0xFF), char(c >> 8)};
    write("b.lrc", bytes);
    ToolRun r = lrc({"-o", "b.txt", "b.lrc"});
    ASSERT_EQ(r.status, 0) << r;
    // The folder had no font: the one made for it measures the lines, and every one fits.
    EXPECT_EQ(r.err, "b.lrc:7: warning: no time stamp: line skipped\n"
                     "b.lrc:8: warning: the offset \"abc\" is no number of milliseconds: ignored\n"
                     "b.lrc: note: no font was beside the script: made \"font.pcx\" from DejaVu Sans Bold at 32 pixels\n");
    EXPECT_EQ(readtext(st.work("b.txt")),
              "; Made by tralune-lrc from b.lrc; times are song times.\n"
              "clearscreen(0,0,0)\ntext(Someone)\n"
              "at(2.000)\nclearscreen(0,0,0)\ntext(First)\nat(3.000)\ntext(%First%)\n"
              // Plain lines stay while they are sung, up to the next line's time (or 10 s after their
              // own): on one row the next line then comes as it is sung.
              "at(10.500)\nclearscreen(0,0,0)\ntext(Same time line / Ligne traduite)\n"
              "text(%Same time line / Ligne traduite%)\n"
              "at(12.250)\nclearscreen(0,0,0)\ntext(Twice sung)\ntext(%Twice sung%)\n"
              "at(14.501)\nclearscreen(0,0,0)\ntext(Twice sung)\ntext(%Twice sung%)\n"
              "at(64.000)\nclearscreen(0,0,0)\ntext(Minute one)\nat(65.000)\ntext(%Minute one%)\n"
              "at(3659.000)\nclearscreen(0,0,0)\ntext(Late \xE2\x80\x99n\xC3\xA9)\n"
              "at(3660.000)\ntext(%Late \xE2\x80\x99n\xC3\xA9%)\n"
              "at(3663.000)\n");
    checked("b.txt");
}

TEST_F(Lrc, LatinOneFileIsReadWithOneWarningAndWrittenAsUtf8AndTheOffsetOptionAdds)
{
    write("c.lrc", "[00:01.00]Caf\xE9 ol\xE9\n[00:02.00]Stra\xDF" "e\n");
    // --offset adds to the file's offset, with the same sign: -500 shows the lyrics later.
    ToolRun r = lrc({"-o", "-", "--offset", "-500", "c.lrc"});
    ASSERT_EQ(r.status, 0) << r;
    // With the script on standard output, the current folder is the script's: the font goes there.
    EXPECT_EQ(r.err, "c.lrc: warning: not UTF-8: read as Latin-1\n"
                     "c.lrc: note: no font was beside the script: made \"font.pcx\" from DejaVu Sans Bold at 32 pixels\n");
    EXPECT_NE(r.out.find("at(1.500)\ntext(%Caf"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("text(%Caf\xC3\xA9 ol\xC3\xA9%)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("text(%Stra\xC3\x9F" "e%)\n"), std::string::npos) << r.out;
    EXPECT_FALSE(access(st.work("script.txt").c_str(), F_OK) == 0) << "-o - wrote a file";
    EXPECT_TRUE(access(st.work("font.pcx").c_str(), F_OK) == 0) << "no font";
}

TEST_F(Lrc, LongLinesAreSplitToFitTheScreenWithNoWordLostAndWordStampsOnTheirWords)
{
    // A font of 9 columns a glyph: about 70 characters fit the screen, fewer than a script line holds.
    writefile(st.work("font.pcx"), encodepcx(fontImage(std::vector<int>(64, 9), 5)));
    std::string plain, enhanced, words;
    for (int w = 0; w < 40; w++) {
        std::string word = "Word" + std::to_string(w);
        char stamp[16];
        snprintf(stamp, sizeof stamp, "<00:%02d.%02d>", 20 + w / 4, w % 4 * 25);
        plain += (w ? " " : "") + word;
        enhanced += stamp + word + " ";
        words += word + " ";
    }
    // A name longer than a script line, which the script's first comment names.
    std::string name = std::string(120, 'd') + ".lrc";
    write(name, "[00:01.00]" + plain + "\n[00:20.00]" + enhanced + "\n");
    ToolRun r = lrc({name});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines = linesof(readtext(st.work("script.txt")));
    // The lines as first shown, after a clear, hold every word once and in order.
    std::string shown, at;
    int highlighted = 0;
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string& l = lines[i];
        EXPECT_LE(l.size(), 99u) << l;
        if (l.rfind("at(", 0) == 0)
            at = l;
        if (l.rfind("text(", 0) != 0)
            continue;
        std::string body = l.substr(5, l.size() - 6);
        if (lines[i - 1].rfind("clearscreen(", 0) == 0)
            shown += body + " ";
        // In the second line each word is highlighted at its own stamp.
        size_t mark = body.find('%');
        std::string word = mark == std::string::npos ? "" : body.substr(mark + 1, body.find('%', mark + 1) - mark - 1);
        if (word.rfind("Word", 0) == 0 && word.find(' ') == std::string::npos) {
            int w = std::stoi(word.substr(4));
            char want[32];
            snprintf(want, sizeof want, "at(%d.%03d)", 20 + w / 4, w % 4 * 250);
            EXPECT_EQ(at, want) << word;
            highlighted++;
        }
    }
    EXPECT_EQ(shown, words + words);
    EXPECT_EQ(highlighted, 40);
    // Every line narrower than the screen: tralune-check measures with the same font.
    write("gnusong.mp3", "");
    EXPECT_EQ(checked("script.txt"), "script.txt: 0 errors, 0 warnings; the script lasts 0:32.750 of song time\n");
}

TEST_F(Lrc, WhatCannotStandInALineIsLeftOutAndMissingGlyphsAreNamedOnce)
{
    writefile(st.work("font.pcx"), encodepcx(testFont()));
    write("e.lrc", "[00:01.00]Fifty% (off)\n[00:02.00]Caf\xC3\xA9 \xC3\xA9t\xC3\xA9 na\xC3\xAFve\n");
    ToolRun r = lrc({"--background", "0,0,64", "e.lrc"});
    ASSERT_EQ(r.status, 0) << r;
    // "(" can stand in a line, but no font has a glyph for it.
    EXPECT_EQ(r.err, "e.lrc:1: warning: \")\", \"%\" and control characters cannot stand in a script line: left out\n"
                     "e.lrc: warning: the font has no glyph for \"(\" (U+0028), \"\xC3\xA9\" (U+00E9), \"\xC3\xAF\" "
                     "(U+00EF): tralune leaves them out\n");
    std::string script = readtext(st.work("script.txt"));
    EXPECT_NE(script.find("clearscreen(0,0,64)\ntext(Fifty (off)\n"), std::string::npos) << script;
}

TEST_F(Lrc, BadInputFailsWithItsNameAndWritesNothing)
{
    write("script.txt", "; an older script\n");
    write("untimed.lrc", "[ti:No times]\nJust words\n");
    ToolRun missing = lrc({"missing.lrc"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "missing.lrc: error: cannot read it: No such file or directory\n");
    ToolRun untimed = lrc({"untimed.lrc"});
    EXPECT_EQ(untimed.status, 1);
    EXPECT_EQ(untimed.err, "untimed.lrc:2: warning: no time stamp: line skipped\n"
                           "untimed.lrc: error: no line with a time stamp such as [01:02.50]: nothing to sing along to\n");
    EXPECT_EQ(readtext(st.work("script.txt")), "; an older script\n");
    ToolRun lead = lrc({"--lead", "soon", "untimed.lrc"});
    EXPECT_EQ(lead.status, 1);
    EXPECT_EQ(lead.err, "tralune-lrc: bad lead \"soon\": give milliseconds from 0 to 600000\n");
}

TEST_F(Lrc, AnEmptyFolderGetsAFontOnceThatTheLinesAreFittedToAndTraluneLoads)
{
    // Words of DejaVu Sans Bold's widest letters: at 32 pixels fewer than 30 fit the screen.
    std::string line;
    for (int w = 0; w < 12; w++)
        line += (w ? " " : "") + std::string("MWMW");
    write("a.lrc", "[00:01.00]" + line + "\n");
    ToolRun r = lrc({"a.lrc"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "a.lrc: note: no font was beside the script: made \"font.pcx\" from DejaVu Sans Bold at 32 pixels\n");
    std::string script = readtext(st.work("script.txt"));
    EXPECT_GE(std::count(script.begin(), script.end(), '%'), 4) << "the line is not split:\n" << script;
    write("gnusong.mp3", "");
    std::string report = checked("script.txt");
    EXPECT_NE(report.find(": 0 errors, 0 warnings;"), std::string::npos) << report;
    // The font is a font: tralune loads it without a word.
    RunResult run = st.run({"script.txt"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "Opening file: script.txt\n");
    // Made once: a second import finds it.
    std::string font = readtext(st.work("font.pcx"));
    r = lrc({"a.lrc"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readtext(st.work("font.pcx")), font);
}

TEST_F(Lrc, SongIsLinkedBesideTheScriptButAFileIsNeverReplaced)
{
    write("a.lrc", "[00:01.00]Hello\n");
    mkdir(st.work("pack").c_str(), 0755);
    mkdir(st.work("pack/out").c_str(), 0755);
    write("pack/song.mp3", "not really a song");
    ToolRun r = lrc({"--song", "pack/song.mp3", "-o", "pack/out/script.txt", "a.lrc"});
    ASSERT_EQ(r.status, 0) << r;
    // Linked from the script's folder, so that the folder moved with its song still plays it.
    char target[4096] = {};
    ASSERT_GT(readlink(st.work("pack/out/gnusong.mp3").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../song.mp3");
    ASSERT_EQ(rename(st.work("pack").c_str(), st.work("moved").c_str()), 0);
    EXPECT_EQ(readtext(st.work("moved/out/gnusong.mp3")), "not really a song");
    // Linking again replaces the link; a file of that name is never replaced, and then no script is
    // written either.
    write("song.mp3", "not really a song");
    EXPECT_EQ(lrc({"--song", "song.mp3", "-o", "moved/out/script.txt", "a.lrc"}).status, 0);
    EXPECT_EQ(readtext(st.work("moved/out/gnusong.mp3")), "not really a song");
    write("gnusong.mp3", "a real song");
    ToolRun refused = lrc({"--song", "song.mp3", "a.lrc"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "a.lrc: error: \"gnusong.mp3\" is there and is no symbolic link: not replaced "
                           "(move it away to link the song)\n");
    EXPECT_EQ(readtext(st.work("gnusong.mp3")), "a real song");
    EXPECT_FALSE(access(st.work("script.txt").c_str(), F_OK) == 0);
    EXPECT_FALSE(access(st.work("font.pcx").c_str(), F_OK) == 0) << "a font was left by a run that failed";
}

TEST_F(Lrc, SongThatIsNoMp3IsNotLinkedAndTheWarningSaysHowToConvertIt)
{
    writefile(st.work("font.pcx"), encodepcx(fullFont()));
    write("a.lrc", "[00:01.00]Hello\n");
    write("Our Song.ogg", "");
    ToolRun r = lrc({"--song", "Our Song.ogg", "a.lrc"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "a.lrc: warning: the song \"Our Song.ogg\" is no MP3, and mpg123, which plays tralune's song, plays "
                     "MP3 only: not linked. Make one beside the script with: ffmpeg -i 'Our Song.ogg' -vn -q:a 2 "
                     "'./gnusong.mp3'\n");
    struct stat link;
    EXPECT_NE(lstat(st.work("gnusong.mp3").c_str(), &link), 0) << "linked";
    EXPECT_NE(readtext(st.work("script.txt")).find("text(%Hello%)"), std::string::npos);
    // And tralune-check says the song is missing.
    ToolRun c = st.runtool(CHECK_BINARY, {});
    EXPECT_NE(c.err.find("script.txt: warning: \"gnusong.mp3\" is missing: the song will be silent\n"), std::string::npos)
        << c;
}

// Sung lines of every shape: enhanced with a closing stamp (the last word held to 7.0 s), enhanced
// without one, plain, a gap, a line too long for a script line, and lines close together.
const char ROWS_LRC[] = "[ti:Rows]\n"
                        "[00:01.00]<00:01.00>Twinkle <00:01.50>twinkle <00:02.00>little <00:02.50>star <00:07.00>\n"
                        "[00:08.00]<00:08.00>How <00:08.40>I <00:08.80>wonder\n"
                        "[00:10.00]What you are\n"
                        "[00:10.50]Up above\n"
                        "[00:11.00]\n"
                        "[00:20.00]The world so high, like a diamond in the sky, twinkle twinkle little star, "
                        "how I wonder what you are\n"
                        "[00:30.00]When the blazing sun is gone\n";

TEST_F(Lrc, TwoRowsShowTheNextLineAtEveryHighlightAndAHeldLastWordKeepsItsLineInBothModes)
{
    writefile(st.work("font.pcx"), encodepcx(fullFont()));
    write("rows.lrc", ROWS_LRC);
    for (const char* rows : {"2", "1"}) {
        std::vector<scriptstep> steps = walked(rows, {"rows.lrc"});
        EXPECT_EQ(rowrules(steps, rows == std::string("1")), "") << rows << " rows";
        // The held "star" keeps its line up to its closing stamp, then the next line comes at once.
        EXPECT_EQ(leaves(steps, "Twinkle twinkle little star"), 7000) << rows << " rows";
        // A plain line, with no closing stamp, is sung until the next line's time: it stays till then.
        EXPECT_EQ(leaves(steps, "What you are"), 10500) << rows << " rows";
        int highlights = 0;
        std::set<int> used;
        for (const scriptstep& s : steps) {
            highlights += s.text.find('%') != std::string::npos;
            if (s.row >= 0)
                used.insert(s.row);
        }
        EXPECT_EQ(highlights, 12) << rows << " rows";
        EXPECT_EQ(used, (rows == std::string("1") ? std::set<int>{0} : std::set<int>{0, 1}));
    }
    // The one-row script, held to the two-row rule, misses the next line at every highlight but those
    // of the last line before the gap and the last line of all: the walk can tell.
    std::string misses = rowrules(walkscript(readtext(st.work("script.txt")), 9), false);
    EXPECT_EQ(std::count(misses.begin(), misses.end(), '\n'), 12 - 2) << misses;
    // On two rows the first line after the start and after a gap stands on the upper row with the next
    // below it, unhighlighted, from the moment it appears.
    std::vector<scriptstep> steps = walked("2", {"rows.lrc"});
    std::map<int, std::string> start = {{1, "Twinkle twinkle little star"}, {0, "How I wonder"}};
    auto first = std::find_if(steps.begin(), steps.end(), [](const scriptstep& s) { return s.text.find('%') != std::string::npos; });
    ASSERT_NE(first, steps.end());
    EXPECT_EQ(std::prev(first)->rows, start);
}

TEST_F(Lrc, FontTooTallForTwoRowsGivesOneRowWithAWarning)
{
    // 250 rows high: one row fits the screen, two do not, and tralune would refuse textrow(1,...).
    writefile(st.work("font.pcx"), encodepcx(fontImage(std::vector<int>(64, 3), 250)));
    write("a.lrc", "[00:01.00]Hello\n[00:02.00]World\n");
    ToolRun r = st.runtool(LRC_BINARY, {"a.lrc"});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "a.lrc: warning: the font \"font.pcx\" is 250 rows high: two rows of it do not fit the screen, so "
                     "the script shows one\n");
    std::string script = readtext(st.work("script.txt"));
    EXPECT_EQ(script.find("textrow("), std::string::npos) << script;
    write("gnusong.mp3", "");
    EXPECT_NE(checked("script.txt").find(": 0 errors, 0 warnings;"), std::string::npos);
}

TEST_F(Lrc, PictureThatDoesNotReachTheTextRowsLeavesNoLineUnderAnother)
{
    // What the README's recipe once made of a photo: 533 x 400, short of the text rows.
    writefile(st.work("font.pcx"), encodepcx(fullFont()));
    PcxImage picture;
    picture.width = 533;
    picture.height = 400;
    picture.indexes.assign(533 * 400, 7);
    picture.palette = rampPalette();
    writefile(st.work("photo.pcx"), encodepcx(picture));
    write("rows.lrc", ROWS_LRC);
    for (const char* rows : {"2", "1"}) {
        std::vector<scriptstep> steps = walked(rows, {"--picture", "photo.pcx", "--background", "0,0,64", "rows.lrc"},
                                               {{"photo.pcx", 400}});
        EXPECT_EQ(rowrules(steps, rows == std::string("1")), "") << rows << " rows";
        // The picture is drawn on the cleared screen, never alone.
        for (size_t i = 0; i < steps.size(); i++)
            if (steps[i].command == "setimg") {
                ASSERT_GT(i, 0u);
                EXPECT_EQ(steps[i - 1].command, "clearscreen") << "script line " << steps[i].line;
            }
    }
    // Without the clearscreen before it, the picture would leave every line under the next.
    std::string script, line;
    std::istringstream in(readtext(st.work("script.txt")));
    while (std::getline(in, line))
        if (line.rfind("clearscreen(", 0) != 0)
            script += line + "\n";
    std::string piled = rowrules(walkscript(script, 9, {{"photo.pcx", 400}}), true);
    EXPECT_NE(piled.find("\"How I wonder\" is drawn over \"Twinkle twinkle little %star%\""), std::string::npos) << piled;
}

} // namespace
