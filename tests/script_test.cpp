// The script reader: line syntax, argument numbers, colour fills, and the frames shown line by line.
#include "fakevideo.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>

namespace {

// getcmd -----------------------------------------------------------------------------------------

TEST(Getcmd, TakesEverythingBeforeTheFirstParenthesis)
{
    script s;
    ASSERT_EQ(s.getcmd("text(Hello (there))"), 0);
    EXPECT_STREQ(s.cmd, "text");
}

TEST(Getcmd, KeepsSpacesAndCase)
{
    script s;
    ASSERT_EQ(s.getcmd(" Text (x)"), 0);
    EXPECT_STREQ(s.cmd, " Text ");
}

TEST(Getcmd, CommentGivesAnEmptyCommand)
{
    script s;
    strcpy(s.cmd, "old");
    ASSERT_EQ(s.getcmd(";text(x)"), 0);
    EXPECT_STREQ(s.cmd, "");
    // Only the first character makes a comment, and a comment needs no parenthesis.
    EXPECT_EQ(s.getcmd(";"), 0);
    EXPECT_EQ(s.getcmd(" ;x"), 1);
}

TEST(Getcmd, LeadingParenthesisGivesAnEmptyCommand)
{
    script s;
    ASSERT_EQ(s.getcmd("(anything"), 0);
    EXPECT_STREQ(s.cmd, "");
}

TEST(Getcmd, FailsWithoutAParenthesis)
{
    script s;
    EXPECT_EQ(s.getcmd(""), 1);
    EXPECT_EQ(s.getcmd("hop"), 1);
    EXPECT_EQ(s.getcmd("\r"), 1);
}

TEST(Getcmd, StopsAtAnEmbeddedNul)
{
    script s;
    const char text[] = "hop\0(x)";
    EXPECT_EQ(s.getcmd(text), 1);
}

// getargs ----------------------------------------------------------------------------------------

TEST(Getargs, TakesTheTextUpToTheFirstClosingParenthesis)
{
    script s;
    ASSERT_EQ(s.getargs("text(Hello %world%) trailing)"), 0);
    EXPECT_STREQ(s.args, "Hello %world%");
}

TEST(Getargs, EmptyParenthesesGiveAnEmptyArgument)
{
    script s;
    strcpy(s.args, "a long earlier argument");
    ASSERT_EQ(s.getargs("hop()"), 0);
    EXPECT_STREQ(s.args, "");
}

TEST(Getargs, ClosingParenthesisBeforeTheOpeningOneDoesNotCount)
{
    script s;
    EXPECT_EQ(s.getargs("a)b(c"), 1);
    ASSERT_EQ(s.getargs("a)b(c)"), 0);
    EXPECT_STREQ(s.args, "c");
}

TEST(Getargs, FailsWithoutEitherParenthesis)
{
    script s;
    EXPECT_EQ(s.getargs("text(abc"), 1);
    EXPECT_EQ(s.getargs("textabc)"), 1);
    EXPECT_EQ(s.getargs(""), 1);
}

TEST(Getargs, KeepsCarriageReturnsInsideTheArgument)
{
    script s;
    ASSERT_EQ(s.getargs("text(a\r)\r"), 0);
    EXPECT_STREQ(s.args, "a\r");
}

// checkstring ------------------------------------------------------------------------------------

TEST(Checkstring, EqualStringsGiveZero)
{
    script s;
    EXPECT_EQ(s.checkstring("clearscreen", "clearscreen"), 0);
}

TEST(Checkstring, ADifferenceOrAPrefixGivesOne)
{
    script s;
    EXPECT_EQ(s.checkstring("text", "Text"), 1);
    EXPECT_EQ(s.checkstring("tex", "text"), 1);
    EXPECT_EQ(s.checkstring("texts", "text"), 1);
    EXPECT_EQ(s.checkstring("text ", "text"), 1);
}

// Numbers ----------------------------------------------------------------------------------------

TEST(Readnumber, ReadsLikeAtoi)
{
    EXPECT_EQ(readnumber("42"), 42);
    EXPECT_EQ(readnumber("  \t-17x"), -17);
    EXPECT_EQ(readnumber("+8"), 8);
    EXPECT_EQ(readnumber("2s"), 2);
    EXPECT_EQ(readnumber("abc"), 0);
    EXPECT_EQ(readnumber(""), 0);
    EXPECT_EQ(readnumber("- 5"), 0);
    EXPECT_EQ(readnumber(" 128 "), 128);
}

TEST(Readnumber, SaturatesOutsideTheIntRange)
{
    EXPECT_EQ(readnumber("2147483647"), INT_MAX);
    EXPECT_EQ(readnumber("2147483648"), INT_MAX);
    EXPECT_EQ(readnumber("99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(readnumber("-2147483648"), INT_MIN);
    EXPECT_EQ(readnumber("-99999999999999999999999999"), INT_MIN);
}

// Song times ---------------------------------------------------------------------------------------

TEST(Readsongtime, ReadsSecondsAndMinutesWithAFractionOfUpToThreeDigits)
{
    const std::pair<const char*, long long> good[] = {
        {"12", 12000},  {"12.5", 12500},   {"12.05", 12050},   {"12.345", 12345}, {"0", 0},
        {"1:02.5", 62500}, {"0:07", 7000}, {"10:5", 605000}, {" 3.25 ", 3250},  {"999999.999", 999999999},
        {"999999:59.999", 59999999999},
    };
    for (const auto& [text, want] : good) {
        long long ms = -1;
        EXPECT_EQ(readsongtime(text, &ms), 0) << text;
        EXPECT_EQ(ms, want) << text;
    }
}

TEST(Readsongtime, RefusesAnythingElseAndLeavesTheResultAlone)
{
    for (const char* text : {"", "  ", "abc", "1.2.3", "-1", "+1", "1.", ".5", "1.2345", "1:60", "1:", ":30",
                             "1:2:3", "12s", "1 2", "1234567", "1234567:00", "1,5"}) {
        long long ms = -7;
        EXPECT_EQ(readsongtime(text, &ms), 1) << text;
        EXPECT_EQ(ms, -7) << text;
    }
}

// Text rows --------------------------------------------------------------------------------------

TEST(Readtextrow, TakesAWholeRowThatFitsTheScreenAndTheTextAfterTheFirstComma)
{
    // (argument, font height, row); the text is what follows the first comma.
    const std::tuple<const char*, int, int> good[] = {
        {"0,Hi", 32, 0},  {"14,Hi", 32, 14}, {" 2 ,a,b", 32, 2}, {"007,", 9, 7},
        {"52,x", 9, 52},  {"479,x", 0, 479}, {"0,x", 600, 0},    {"1,x", 240, 1},
    };
    for (const auto& [args, height, want] : good) {
        int row = -1;
        const char* text = nullptr;
        EXPECT_EQ(readtextrow(args, height, &row, &text), 0) << args << " " << height;
        EXPECT_EQ(row, want) << args;
        EXPECT_EQ(text, strchr(args, ',') + 1) << args;
    }
}

TEST(Readtextrow, RefusesAnythingElseAndLeavesTheResultsAlone)
{
    // 15 rows of 32 fit the screen, 53 of 9, 480 of a font that draws nothing, one of a font too tall.
    const std::pair<const char*, int> bad[] = {
        {"Hi", 32},  {"", 32},    {",Hi", 32},    {"-1,Hi", 32}, {"+1,Hi", 32},    {"15,Hi", 32}, {"53,x", 9},
        {"1x,Hi", 32}, {"1 2,x", 32}, {"one,x", 32}, {"1.0,x", 32}, {"1000000,x", 0}, {"480,x", 0},  {"1,x", 600},
    };
    for (const auto& [args, height] : bad) {
        int row = -7;
        const char* text = "unchanged";
        EXPECT_EQ(readtextrow(args, height, &row, &text), 1) << args << " " << height;
        EXPECT_EQ(row, -7) << args;
        EXPECT_STREQ(text, "unchanged") << args;
    }
}

// clearscreen ------------------------------------------------------------------------------------

class Clearscreen : public ::testing::Test {
protected:
    pixel fill(const char* argument)
    {
        gfx::instance()->clearscreen(1, 2, 3);
        script s;
        // Whatever an earlier, longer argument left behind the terminator must not be read.
        memset(s.args, ',', sizeof s.args);
        strcpy(s.args, argument);
        EXPECT_EQ(s.clearscreen(), 0);
        pixel first = gfx::instance()->pixels[0];
        for (pixel p : gfx::instance()->pixels)
            if (p != first) {
                ADD_FAILURE() << "the fill is not uniform";
                break;
            }
        return first;
    }
};

TEST_F(Clearscreen, ThreeComponents)
{
    EXPECT_EQ(fill("255,0,0"), 0x00FF0000u);
    EXPECT_EQ(fill("1,2,3"), 0x00010203u);
}

TEST_F(Clearscreen, WhiteSpaceBeforeANumberIsSkippedAndANumberEndsAtANonDigit)
{
    EXPECT_EQ(fill("0, 128 ,255"), 0x000080FFu);
}

TEST_F(Clearscreen, MissingComponentsAreZero)
{
    EXPECT_EQ(fill("255"), 0x00FF0000u);
    EXPECT_EQ(fill("255,16"), 0x00FF1000u);
    EXPECT_EQ(fill(""), 0u);
    EXPECT_EQ(fill(",,7"), 0x00000007u);
}

TEST_F(Clearscreen, ComponentsAreNotClamped)
{
    EXPECT_EQ(fill("0,0,256"), 0x00000100u);
}

// readscript with the recording display ------------------------------------------------------------

class Reader : public ::testing::Test {
protected:
    void SetUp() override
    {
        shownframes.clear();
        videoup = true;
        gfx::instance()->clearscreen(0, 0, 0);
    }
    void TearDown() override { videoup = false; }
    ScratchDir dir;
};

TEST_F(Reader, ShowsTheFrameAfterEveryLineCommentsIncluded)
{
    std::string path = dir.write("s.txt", "clearscreen(255,0,0)\n;a comment\n(skipped\nclearscreen(0,0,255)\n");
    script s;
    EXPECT_EQ(s.readscript(path.c_str()), 0);
    ASSERT_EQ(shownframes.size(), 4u);
    EXPECT_EQ(shownframes[0][0], 0x00FF0000u);
    EXPECT_EQ(shownframes[1][0], 0x00FF0000u);
    EXPECT_EQ(shownframes[2][0], 0x00FF0000u);
    EXPECT_EQ(shownframes[3][0], 0x000000FFu);
    EXPECT_EQ(s.line, 5);
}

TEST_F(Reader, ALastLineWithoutLineFeedRuns)
{
    std::string path = dir.write("s.txt", "clearscreen(0,255,0)");
    script s;
    EXPECT_EQ(s.readscript(path.c_str()), 0);
    ASSERT_EQ(shownframes.size(), 1u);
    EXPECT_EQ(shownframes[0][0], 0x0000FF00u);
}

TEST_F(Reader, AnEmptyScriptShowsNothing)
{
    std::string path = dir.write("s.txt", "");
    script s;
    EXPECT_EQ(s.readscript(path.c_str()), 0);
    EXPECT_EQ(shownframes.size(), 0u);
}

TEST_F(Reader, ALineOfExactly99CharactersIsReadWhole)
{
    std::string arg(99 - 13, '9');
    arg[0] = '1';
    arg[1] = ',';
    arg[2] = '2';
    arg[3] = ',';
    arg[4] = '3';
    arg[5] = ' ';
    std::string line = "clearscreen(" + arg + ")";
    ASSERT_EQ(line.size(), 99u);
    std::string path = dir.write("s.txt", line + "\nclearscreen(4,5,6)\n");
    script s;
    EXPECT_EQ(s.readscript(path.c_str()), 0);
    ASSERT_EQ(shownframes.size(), 2u);
    EXPECT_EQ(shownframes[0][0], 0x00010203u);
    EXPECT_EQ(shownframes[1][0], 0x00040506u);
}

TEST_F(Reader, CarriageReturnsAfterTheParenthesisAreHarmless)
{
    std::string path = dir.write("s.txt", "clearscreen(7,8,9)\r\n;note\r\n");
    script s;
    EXPECT_EQ(s.readscript(path.c_str()), 0);
    ASSERT_EQ(shownframes.size(), 2u);
    EXPECT_EQ(shownframes[1][0], 0x00070809u);
}

TEST_F(Reader, AByteOrderMarkIsSkippedAtTheVeryStartOnly)
{
    // Saved by an editor that marks UTF-8: the mark, then the first line.
    std::string path = dir.write("s.txt", "\xEF\xBB\xBF" "clearscreen(1,2,3)\nclearscreen(4,5,6)\n");
    script s;
    EXPECT_EQ(s.readscript(path.c_str()), 0);
    ASSERT_EQ(shownframes.size(), 2u);
    EXPECT_EQ(shownframes[0][0], 0x00010203u);
    EXPECT_EQ(s.line, 3);
    // A mark anywhere else, or one that is not whole, is part of its line, which names no command.
    for (const char* text : {"clearscreen(1,2,3)\n\xEF\xBB\xBF" "clearscreen(4,5,6)\n", "\xEF\xBB" "clearscreen(1,2,3)\n",
                             "\xEF\xBB\xBF\xEF\xBB\xBF" "hop()\n"}) {
        std::string bad = dir.write("s.txt", text);
        script again;
        EXPECT_EXIT(again.readscript(bad.c_str()), ::testing::ExitedWithCode(1), "") << text;
    }
}

TEST_F(Reader, ScriptErrorsEndTheProcessWithStatusOne)
{
    const char* bad[] = {"hop()\n\n", "hop()\nnothing\n", "text(abc\n", "foo(x\n", "Text(x)\n", "text (x)\n",
                         " ;comment\n"};
    for (const char* text : bad) {
        std::string path = dir.write("s.txt", text);
        script s;
        EXPECT_EXIT(s.readscript(path.c_str()), ::testing::ExitedWithCode(1), "") << text;
    }
}

TEST_F(Reader, AMissingFileEndsTheProcessWithStatusOne)
{
    script s;
    EXPECT_EXIT(s.readscript((dir / "none.txt").c_str()), ::testing::ExitedWithCode(1), "");
}

// readscript for the party: it returns instead of ending the process --------------------------------

// What the party's stop function sees: stop after this many questions (counted from 0), -1 never.
int stopafter = -1;
int asked = 0;
bool stopwhenasked()
{
    return stopafter >= 0 && asked++ >= stopafter;
}

// The party's wait hook: ends a wait when the stop function would say so.
int endwaitwhenstopped()
{
    return stopafter >= 0 && asked >= stopafter ? VIDEOWAIT_END : VIDEOWAIT_ON;
}

class PartyReader : public Reader {
protected:
    void SetUp() override
    {
        Reader::SetUp();
        stopafter = -1;
        asked = 0;
        keepvideoinput();
        setvideowaithook(endwaitwhenstopped);
    }
    void TearDown() override
    {
        setvideowaithook(nullptr);
        inputkept = false;
        Reader::TearDown();
    }
};

TEST_F(PartyReader, ScriptErrorsReturnWithTheLineTraluneWrites)
{
    struct {
        const char* text;
        int result;
        const char* message;
    } cases[] = {
        {"hop()\n\n", script::NOCMD, "Error parsing cmd at line: 2"},
        {"text(abc\n", script::NOARGS, "Error parsing arguments at line: 1"},
        {"hop()\nText(x)\n", script::UNKNOWNCMD, "Unknown command at line: 2 exiting now..."},
        {"at(soon)\n", script::BADTIME, "Error parsing time at line: 1"},
        {"textrow(x,a)\n", script::BADROW, "Error parsing row at line: 1"},
    };
    for (auto& c : cases) {
        std::string path = dir.write("s.txt", c.text);
        script s;
        s.stopped = stopwhenasked;
        EXPECT_EQ(s.readscript(path.c_str()), c.result) << c.text;
        EXPECT_EQ(s.message, c.message);
    }
    script s;
    s.stopped = stopwhenasked;
    EXPECT_EQ(s.readscript((dir / "none.txt").c_str()), script::NOFILE);
    EXPECT_EQ(s.message, "The file was not opened");
}

TEST_F(PartyReader, AStopAfterALineEndsTheRunBeforeTheNextLine)
{
    std::string path = dir.write("s.txt", "clearscreen(1,1,1)\nclearscreen(2,2,2)\nclearscreen(3,3,3)\n");
    script s;
    s.stopped = stopwhenasked;
    stopafter = 1;
    EXPECT_EQ(s.readscript(path.c_str()), script::STOPPED);
    // Asked after line 1 (go on) and after line 2 (stop): line 3 never runs.
    ASSERT_EQ(shownframes.size(), 2u);
    EXPECT_EQ(shownframes[1][0], 0x00020202u);
}

TEST_F(PartyReader, AStopEndsEveryKindOfWaitWithinItsTenMilliseconds)
{
    // Each script waits far longer than the test: 100 s of song time, 100 s, 100 s of microseconds.
    for (const char* text : {"at(100)\n", "sleep(100)\n", "usleep(100000000)\n"}) {
        std::string path = dir.write("s.txt", text);
        script s;
        s.stopped = stopwhenasked;
        stopafter = 0;
        asked = 0;
        long long before = monotonicns();
        EXPECT_EQ(s.readscript(path.c_str()), script::STOPPED) << text;
        EXPECT_LT(monotonicns() - before, 2000000000LL) << text;
    }
}

TEST_F(PartyReader, AHoldingHookHoldsASleepLineForTheTimeHeld)
{
    // The hook holds for its first 30 calls (about 0.3 s), as while a song is paused: "sleep" and
    // "usleep" count real time, and a paused song's waits hold with its music.
    static int calls;
    calls = 0;
    setvideowaithook([]() -> int { return calls++ < 30 ? VIDEOWAIT_HOLD : VIDEOWAIT_ON; });
    std::string path = dir.write("s.txt", "usleep(100000)\n");
    script s;
    s.stopped = stopwhenasked;
    long long before = monotonicns();
    EXPECT_EQ(s.readscript(path.c_str()), 0);
    // 0.1 s plus the time held.
    EXPECT_GT(monotonicns() - before, 350000000LL);
}

} // namespace
