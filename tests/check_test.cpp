// The script checker: tralune-check run as a user runs it, on a script holding one of every problem, a
// clean script, and garbage.
#include "runner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <regex>
#include <sstream>

namespace {

class Check : public ::testing::Test {
protected:
    Check()
    {
        // 64 slots of 9 columns: 80 letters make a line too wide for the screen, and nothing past the
        // first 64 slots (an accented letter, an apostrophe) has a glyph.
        writefile(st.work("font.pcx"), encodepcx(fontImage(std::vector<int>(64, 9), 5)));
        PcxImage picture;
        picture.width = picture.height = 2;
        picture.indexes = {1, 2, 3, 4};
        picture.palette = rampPalette();
        writefile(st.work("good.pcx"), encodepcx(picture));
        writefile(st.work("broken.pcx"), std::vector<uint8_t>(300, 0xC0));
        // A song folder has its song.
        st.write("gnusong.mp3", "");
    }
    ToolRun check(const std::vector<std::string>& args) { return st.runtool(CHECK_BINARY, args); }

    Stage st;
};

TEST_F(Check, EveryProblemIsReportedOnItsOwnLineInLineOrder)
{
    st.write("s.txt", "; one of every problem; the good lines say nothing\n"   // 1
                      "setimg(good.pcx)\n"                                    // 2
                      "hop\n"                                                 // 3
                      "text(abc\n"                                            // 4
                      "Text(x)\n"                                             // 5
                      "at(1.2.3)\n"                                           // 6
                      "setimg(missing.pcx)\n"                                 // 7
                      "setimg(broken.pcx)\n"                                  // 8
                      "text(" + std::string(80, 'A') + ")\n"                  // 9
                      "text(Caf\xC3\xA9 don\xE2\x80\x99t)\n"                  // 10
                      "text(%Hi there)\n"                                     // 11
                      "clearscreen(300,abc,0)\n"                              // 12
                      "sleep(abc)\n"                                          // 13
                      "usleep(-5)\n"                                          // 14
                      "at(5)\n"                                               // 15
                      "\n"                                                    // 16
                      "at(2)\n"                                               // 17
                      "usleep(500000)\n"                                      // 18
                      "hop()" + std::string(96, ' ') + "\n"                   // 19
                      "text(Hi %there%)\n"                                    // 20
                      "\n");                                                  // 21
    ToolRun r = check({"s.txt"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "s.txt:3: error: no \"(\" in this line: a command is written name(argument), a comment starts with \";\"\n"
              "s.txt:4: error: no \")\" closes the argument\n"
              "s.txt:5: error: unknown command \"Text\"; did you mean \"text\"?\n"
              "s.txt:6: error: cannot read the time \"1.2.3\": write seconds (12.5) or minutes and seconds (1:02.5)\n"
              "s.txt:7: warning: picture \"missing.pcx\" not found: nothing is drawn\n"
              "s.txt:8: warning: picture \"broken.pcx\" cannot be read as a PCX picture: nothing is drawn\n"
              "s.txt:9: warning: the text is 720 pixels wide and is not drawn at all: a line must be under 640\n"
              "s.txt:10: warning: the font has no glyph for \"\xC3\xA9\" (U+00E9), \"\xE2\x80\x99\" (U+2019): left out\n"
              "s.txt:11: warning: this text is drawn over \"Caf\xC3\xA9 don\xE2\x80\x99t\" of line 10 on the same row, with "
              "nothing between that clears it: clear the row first (clearscreen, or a picture that covers it)\n"
              "s.txt:11: warning: an odd number of \"%\": the highlight stays on to the end of the line\n"
              "s.txt:12: warning: the red component 300 lies outside 0 to 255\n"
              "s.txt:12: warning: the green component \"abc\" is not a number; tralune reads it as 0\n"
              "s.txt:13: warning: the count \"abc\" is not a number; tralune reads it as 0 and does not wait\n"
              "s.txt:14: warning: a count of 0 or less does not wait\n"
              "s.txt:16: error: empty line: tralune stops here\n"
              "s.txt:17: warning: at(0:02.000) is earlier than the at(0:05.000) of line 15: it does not wait\n"
              "s.txt:19: error: this line is 101 characters long; tralune reads 99 of it and loses every line after it\n"
              "s.txt:21: error: the file ends in two line feeds: its last line is empty, and tralune stops there\n"
              "s.txt: 7 errors, 11 warnings; the script lasts 0:05.500 of song time\n");
}

TEST_F(Check, CleanScriptSaysOnlyItsLengthAndSucceeds)
{
    st.write("script.txt", "; a verse\nsetimg(good.pcx)\nclearscreen(0, 128 ,255)\ntext(Hi %there%)\n(skipped\n"
                           "at(1:02.5)\ntext(Hi there)\nsleep(1)\nusleep(250000)\nhop()\nbounce(x)");
    ToolRun r = check({});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "script.txt: 0 errors, 0 warnings; the script lasts 1:03.750 of song time\n");
}

TEST_F(Check, CdgStreamsCountTillTheirLastPacketAndUnreadableOnesAreNamed)
{
    // 3001 packets: the last is due at 10 s of song time, 1.5 s after the program starts.
    st.write("song.cdg", std::string(3001 * 24, '\0'));
    st.write("short.cdg", std::string(23, '\x09'));
    mkdir(st.work("folder.cdg").c_str(), 0755);
    st.write("s.txt", "at(4)\ncdg(song.cdg)\ncdg(missing.cdg)\ncdg(folder.cdg)\ncdg(short.cdg)\ncdg()\n");
    ToolRun r = check({"s.txt"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "s.txt:3: warning: stream \"missing.cdg\" not found: nothing is shown\n"
                     "s.txt:4: warning: stream \"folder.cdg\" is not a file: nothing is shown\n"
                     "s.txt:5: warning: stream \"short.cdg\" holds no whole packet: nothing is shown\n"
                     "s.txt:6: warning: no CD+G stream is named\n"
                     "s.txt: 0 errors, 4 warnings; the script lasts 0:10.000 of song time\n");
    // A stream that ends before an earlier wait does not shorten the script.
    st.write("t.txt", "at(20)\ncdg(song.cdg)\n");
    EXPECT_EQ(check({"t.txt"}).err, "t.txt: 0 errors, 0 warnings; the script lasts 0:20.000 of song time\n");
}

TEST_F(Check, AFontOrASongThatCannotBeHadIsReportedOnceBeforeTheLinesAndTheRestStillChecked)
{
    // Saved with a byte-order mark, which tralune skips: the first line is a command like any other.
    st.write("s.txt", "\xEF\xBB\xBFtext(one)\ntext(two)\nat(x)\n");
    unlink(st.work("gnusong.mp3").c_str());
    ToolRun r = check({"--font", "nofont.pcx", "s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "s.txt: warning: the font \"nofont.pcx\" is missing: every text line will be blank (tralune-mkfont "
                     "makes a font)\n"
                     "s.txt: warning: \"gnusong.mp3\" is missing: the song will be silent\n"
                     "s.txt:3: error: cannot read the time \"x\": write seconds (12.5) or minutes and seconds (1:02.5)\n"
                     "s.txt: 1 error, 2 warnings; the script lasts 0:00.000 of song time\n");
    // A font that is there but no font image, and a song link to nothing: each named.
    ASSERT_EQ(symlink("gone.mp3", st.work("gnusong.mp3").c_str()), 0);
    r = check({"--font", "broken.pcx", "s.txt"});
    EXPECT_EQ(r.err, "s.txt: warning: the font \"broken.pcx\" cannot be read as a font image: every text line will be "
                     "blank (tralune-mkfont makes a font)\n"
                     "s.txt: warning: \"gnusong.mp3\" links to \"gone.mp3\", which is missing: the song will be silent\n"
                     "s.txt:3: error: cannot read the time \"x\": write seconds (12.5) or minutes and seconds (1:02.5)\n"
                     "s.txt: 1 error, 2 warnings; the script lasts 0:00.000 of song time\n");
}

TEST_F(Check, TextRowsAreCheckedAsTextAndALineDrawnOverAnotherIsAWarningUnlessTheRowWasCovered)
{
    // The font is 5 rows high: rows 0 to 95 fit the screen; row 0's glyphs take screen rows 476 to 479,
    // row 1's 471 to 474.
    auto picture = [&](const std::string& name, int width, int height) {
        PcxImage p;
        p.width = width;
        p.height = height;
        p.indexes.assign(size_t(width * height), 3);
        p.palette = rampPalette();
        writefile(st.work(name), encodepcx(p));
    };
    picture("short.pcx", 640, 475);
    picture("tall.pcx", 640, 480);
    picture("narrow.pcx", 10, 480);
    st.write("s.txt", "textrow(1,Twinkle)\n"                              // 1
                      "textrow(0,How I)\n"                                // 2
                      "textrow(1,%Twinkle%)\n"                            // 3 the same line
                      "textrow(1,Up above)\n"                             // 4 over line 3
                      "setimg(short.pcx)\n"                               // 5 covers row 1 only
                      "textrow(1,The world)\n"                            // 6
                      "text(So high)\n"                                   // 7 over line 2: row 0
                      "setimg(tall.pcx)\n"                                // 8
                      "text(Like)\n"                                      // 9
                      "setimg(narrow.pcx)\n"                              // 10 misses most of line 9
                      "text(A diamond)\n"                                 // 11 over line 9
                      "clearscreen(0,0,0)\n"                              // 12
                      "textrow( 95 ,In the sky)\n"                        // 13
                      "textrow(96,x)\n"                                   // 14
                      "textrow(x)\n"                                      // 15
                      "textrow(+2,x)\n"                                   // 16
                      "textrow(2,%odd)\n"                                 // 17
                      "textrow(3," + std::string(80, 'A') + ")\n"         // 18
                      "textrow(3,, with a comma)\n");                     // 19 the text holds a comma
    ToolRun r = check({"s.txt"});
    EXPECT_EQ(r.status, 1);
    const std::string over = " on the same row, with nothing between that clears it: clear the row first "
                             "(clearscreen, or a picture that covers it)\n";
    const std::string rows = ": write textrow(ROW,TEXT) with ROW a whole number from 0 to 95 (96 rows of this "
                             "font fit the screen)\n";
    EXPECT_EQ(r.err, "s.txt:4: warning: this text is drawn over \"Twinkle\" of line 3" + over +
                         "s.txt:7: warning: this text is drawn over \"How I\" of line 2" + over +
                         "s.txt:11: warning: this text is drawn over \"Like\" of line 9" + over +
                         "s.txt:14: error: cannot read the row \"96\"" + rows +
                         "s.txt:15: error: cannot read the row \"x\"" + rows +
                         "s.txt:16: error: cannot read the row \"+2\"" + rows +
                         "s.txt:17: warning: an odd number of \"%\": the highlight stays on to the end of the line\n"
                         "s.txt:18: warning: the text is 720 pixels wide and is not drawn at all: a line must be under 640\n"
                         "s.txt:19: warning: the font has no glyph for \",\" (U+002C): left out\n"
                         "s.txt: 3 errors, 6 warnings; the script lasts 0:00.000 of song time\n");
    // The same rows pass tralune itself up to the first bad one.
    RunResult run = st.run({"s.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Opening file: s.txt\nError parsing row at line: 14\n");
}

TEST_F(Check, ScriptThatCannotBeOpenedOrNamedFails)
{
    ToolRun missing = check({"nothere.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "nothere.txt: error: cannot open the script: No such file or directory\n");
    ToolRun twice = check({"a.txt", "b.txt"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(twice.err, "tralune-check: only one script, please: \"a.txt\" and \"b.txt\" were given\n");
    ToolRun unknown = check({"--fonts", "x"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "tralune-check: unknown option \"--fonts\" (see tralune-check --help)\n");
}

TEST_F(Check, GarbageIsReportedLineByLineWithoutACrash)
{
    std::mt19937 random(7);
    std::string bytes;
    for (int i = 0; i < 200000; i++)
        bytes += char(random() % 7 == 0 ? '\n' : random() % 256);
    st.write("garbage.txt", bytes);
    ToolRun r = check({"garbage.txt"});
    ASSERT_TRUE(r.exited) << r.err.substr(0, 2000);
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.err);
    std::string line, last;
    std::regex report("garbage\\.txt:[0-9]+: (error|warning): .*");
    int reports = 0;
    while (std::getline(lines, line)) {
        if (!last.empty()) {
            EXPECT_TRUE(std::regex_match(last, report)) << last;
        }
        last = line;
        reports++;
    }
    EXPECT_GT(reports, 1000);
    EXPECT_TRUE(std::regex_match(last, std::regex("garbage\\.txt: [0-9]+ errors, [0-9]+ warnings?; .*"))) << last;
}

} // namespace
