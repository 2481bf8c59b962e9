// End to end: the built tralune run on script files, as a user runs it, with a stub song player.
#include "runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <climits>
#include <cstdlib>

namespace {

// A stage with the test font in place, so the font message does not appear.
struct Run : public ::testing::Test {
    Run() { st.addfont(); }
    Stage st;
};

// Start-up and the choice of script ------------------------------------------------------------

TEST_F(Run, WithoutArgumentRunsScriptTxt)
{
    st.write("script.txt", "hop()\n");
    RunResult r = st.run();
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "No file specified. Using default script.txt\nNow i hop\n");
}

TEST_F(Run, NamedScriptIsOpenedAndRun)
{
    mkdir(st.work("songs").c_str(), 0755);
    st.write("songs/a.txt", "bounce()\nhop()");
    RunResult r = st.run({"songs/a.txt", "ignored", "too"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: songs/a.txt\nnow i bounce\nNow i hop\n");
}

TEST_F(Run, ScriptSavedWithAByteOrderMarkPlaysFromItsFirstLine)
{
    st.write("s.txt", "\xEF\xBB\xBF" "hop()\nbounce()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\nnow i bounce\n");
}

TEST_F(Run, MissingScriptEndsWithStatusOne)
{
    RunResult r = st.run({"nothere.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: nothere.txt\nThe file was not opened\n");
}

TEST_F(Run, MissingDefaultScriptEndsWithStatusOne)
{
    RunResult r = st.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "No file specified. Using default script.txt\nThe file was not opened\n");
}

TEST_F(Run, EmptyArgumentIsAMissingScript)
{
    RunResult r = st.run({""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: \nThe file was not opened\n");
}

TEST_F(Run, EmptyScriptEndsCleanly)
{
    st.write("s.txt", "");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\n");
}

TEST_F(Run, UnopenableDisplayIsReportedBeforeTheScriptIsRead)
{
    st.write("script.txt", "hop()\n");
    RunOptions o;
    o.env = {"SDL_VIDEODRIVER=nosuchdriver"};
    RunResult r = st.run(o);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.rfind("Could not open the display: ", 0), 0u) << r.output;
    EXPECT_GT(r.output.size(), std::string("Could not open the display: \n").size()) << "SDL's reason is missing";
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
}

TEST_F(Run, WithoutADisplayNoTextModeDriverIsTakenUnasked)
{
    // As on a text console or over a remote shell: no X display, no driver asked for. SDL would fall
    // back to drawing the frames as coloured characters on the terminal.
    st.write("script.txt", "hop()\n");
    RunOptions o;
    o.env = {"DISPLAY", "SDL_VIDEODRIVER", "TERM=xterm"};
    RunResult r = st.run(o);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.output.rfind("Could not open the display: DISPLAY is not set", 0), 0u) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << "terminal control codes in the output";

    // A text-mode driver named by the user is used as asked, where this SDL has one.
    for (const char* driver : {"caca", "aalib"}) {
        o.env = {"DISPLAY", std::string("SDL_VIDEODRIVER=") + driver, "TERM=xterm"};
        RunResult asked = st.run(o);
        if (asked.output.find("Could not open the display") != std::string::npos)
            continue;
        EXPECT_EQ(asked.status, 0) << driver << ": " << asked.output;
        EXPECT_NE(asked.output.find("Now i hop"), std::string::npos) << driver << ": " << asked.output;
    }
}

TEST(RunAnswering, HelpAndVersionAnswerOnStandardOutputAndStartNothing)
{
    // No font and no display to be had: starting either would say so.
    Stage st;
    RunOptions o;
    o.env = {"SDL_VIDEODRIVER=nosuchdriver"};
    o.args = {"--help"};
    RunResult help = st.run(o);
    o.args = {"--version", "script.txt"};
    RunResult version = st.run(o);
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_EQ(help.output.rfind("usage: tralune [--window | --mode-switch] [SCRIPT]\n", 0), 0u) << help.output;
    EXPECT_NE(help.output.find("--version"), std::string::npos) << help.output;
    EXPECT_EQ(help.output.find("Could not"), std::string::npos) << help.output;
    EXPECT_EQ(version.status, 0) << version.output;
    EXPECT_EQ(version.output, "tralune " TRALUNE_VERSION "\n");
    // The song child would have started the player 1.5 s in.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(readtext(st.playerlog()), "");

    // Anything else is a script name, as it always was.
    o.args = {"--helpme"};
    o.env = {};
    RunResult other = st.run(o);
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.output, "Could not load font.pcx\nOpening file: --helpme\nThe file was not opened\n");
}

TEST(RunAnswering, DisplayOptionsBeforeTheScriptAreNotScriptNames)
{
    Stage st;
    st.addfont();
    st.write("s.txt", "hop()\n");
    st.write("script.txt", "bounce()\n");
    RunOptions o;
    o.args = {"--window", "--mode-switch", "s.txt"};
    RunResult both = st.run(o);
    o.args = {"--window"};
    RunResult alone = st.run(o);
    EXPECT_EQ(both.status, 0) << both.output;
    EXPECT_EQ(both.output, "Opening file: s.txt\nNow i hop\n");
    EXPECT_EQ(alone.status, 0) << alone.output;
    EXPECT_EQ(alone.output, "No file specified. Using default script.txt\nnow i bounce\n");
}

TEST(RunWithoutFont, FontIsLoadedBeforeTheDisplayIsOpened)
{
    Stage st;
    st.write("script.txt", "hop()\n");
    RunOptions o;
    o.env = {"SDL_VIDEODRIVER=nosuchdriver"};
    RunResult r = st.run(o);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.rfind("Could not load font.pcx\nCould not open the display: ", 0), 0u) << r.output;
}

TEST(RunWithoutFont, MissingFontIsReportedAndTheScriptStillRuns)
{
    Stage st;
    st.write("script.txt", "text(Hello)\nhop()\n");
    RunResult r = st.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Could not load font.pcx\nNo file specified. Using default script.txt\nNow i hop\n");
}

// Script errors --------------------------------------------------------------------------------

struct ErrorCase {
    const char* name;
    std::string script;
    const char* message;
};

class ScriptError : public Run, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ScriptError, PrintsOneLineAndEndsWithStatusOne)
{
    st.write("s.txt", GetParam().script);
    RunResult r = st.run({"s.txt"});
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, std::string("Opening file: s.txt\n") + GetParam().message) << GetParam().script;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ScriptError,
    ::testing::Values(
        ErrorCase{"FileEndingInTwoLineFeeds", "hop()\n\n", "Now i hop\nError parsing cmd at line: 2\n"},
        ErrorCase{"EmptyLineInTheMiddle", "hop()\n\nhop()\n", "Now i hop\nError parsing cmd at line: 2\n"},
        ErrorCase{"NoParenthesis", "hop\n", "Error parsing cmd at line: 1\n"},
        ErrorCase{"SpaceBeforeSemicolonIsNoComment", ";c\n(x\n ;no comment\n", "Error parsing cmd at line: 3\n"},
        ErrorCase{"NoClosingParenthesis", "text(abc\n", "Error parsing arguments at line: 1\n"},
        ErrorCase{"ArgumentCheckedBeforeName", "hop()\nfoo(x\n", "Now i hop\nError parsing arguments at line: 2\n"},
        ErrorCase{"NamesAreCaseSensitive", "Text(x)\n", "Unknown command at line: 1 exiting now...\n"},
        ErrorCase{"SpaceBeforeParenthesis", ";\ntext (x)\n", "Unknown command at line: 2 exiting now...\n"},
        ErrorCase{"LineHoldingOnlyCarriageReturn", "hop()\r\n\r\n", "Now i hop\nError parsing cmd at line: 2\n"},
        // A comment of 100 characters: the first 99 are read as the comment, the next read fails.
        ErrorCase{"OverLongComment", ";" + std::string(99, 'a') + "\nhop()\n", "Error parsing cmd at line: 2\n"},
        ErrorCase{"UnreadableSongTime", "hop()\nat(1.2.3)\n", "Now i hop\nError parsing time at line: 2\n"},
        ErrorCase{"EmptySongTime", "at()\n", "Error parsing time at line: 1\n"},
        ErrorCase{"NegativeSongTime", ";c\nat(-1)\n", "Error parsing time at line: 2\n"},
        // The test font is 5 rows high: rows 0 to 95 fit the screen.
        ErrorCase{"TextRowWithoutComma", "textrow(1)\n", "Error parsing row at line: 1\n"},
        ErrorCase{"TextRowWithoutRow", "textrow(,x)\n", "Error parsing row at line: 1\n"},
        ErrorCase{"NegativeTextRow", ";c\ntextrow(-1,x)\n", "Error parsing row at line: 2\n"},
        ErrorCase{"TextRowAboveTheScreen", "textrow(95,x)\nhop()\ntextrow(96,x)\n", "Now i hop\nError parsing row at line: 3\n"},
        ErrorCase{"TextRowThatIsNoNumber", "textrow(1x,x)\n", "Error parsing row at line: 1\n"},
        ErrorCase{"TextRowNamedInWords", "textrow(one,x)\n", "Error parsing row at line: 1\n"},
        // A line of 100 characters runs its first 99, then the next read fails.
        ErrorCase{"OverLongLine", "hop()" + std::string(95, ' ') + "\nhop()\n",
                  "Now i hop\nError parsing cmd at line: 2\n"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST_F(Run, ErrorMessagesAreNotLostBehindEarlierOutput)
{
    // "hop" output is buffered, the error line flushes: both reach the file in order.
    st.write("s.txt", "hop()\nbounce()\nzap()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\nnow i bounce\nUnknown command at line: 3 exiting now...\n");
}

TEST_F(Run, LinesAfterTheClosingParenthesisAreIgnoredAndCarriageReturnsTolerated)
{
    st.write("s.txt", "hop(1)x\r\n;c\r\nbounce()\r\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\nnow i bounce\n");
}

TEST_F(Run, ALineOfNinetyNineCharactersIsReadWholeAndOneOfAHundredIsCut)
{
    std::string ok = "hop(" + std::string(94, 'x') + ")";
    ASSERT_EQ(ok.size(), 99u);
    st.write("ok.txt", ok + "\nbounce()\n");
    RunResult r = st.run({"ok.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: ok.txt\nNow i hop\nnow i bounce\n");

    // Cut at 99 characters, this line has lost its ")".
    std::string toolong = "hop(" + std::string(95, 'x') + ")";
    st.write("long.txt", toolong + "\nbounce()\n");
    r = st.run({"long.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: long.txt\nError parsing arguments at line: 1\n");
}

// Waits ----------------------------------------------------------------------------------------

TEST_F(Run, SleepWaitsItsSeconds)
{
    st.write("s.txt", "sleep(1)\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_GE(r.seconds, 0.95);
    EXPECT_LT(r.seconds, 6.0);
}

TEST_F(Run, SleepReadsTheLeadingDigits)
{
    st.write("s.txt", "sleep(1s)\nsleep(abc)\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_GE(r.seconds, 0.95);
    EXPECT_LT(r.seconds, 6.0);
}

TEST_F(Run, UsleepWaitsItsMicroseconds)
{
    st.write("s.txt", "usleep(600000)\nusleep(600000)\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_GE(r.seconds, 1.15);
    EXPECT_LT(r.seconds, 6.0);
}

TEST_F(Run, NegativeWaitsDoNotWaitAtAll)
{
    // Taken as unsigned counts these would wait for decades.
    st.write("s.txt", "sleep(-1)\nusleep(-1)\nsleep(-99999999999999)\nusleep(-2147483648)\nhop()\n");
    RunOptions o;
    o.args = {"s.txt"};
    o.timeout = 10;
    RunResult r = st.run(o);
    EXPECT_TRUE(r.exited) << "the run hung";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
    EXPECT_LT(r.seconds, 5.0);
}

TEST_F(Run, SigtermDuringShortWaitsEndsWithStatusZeroAtTheEndOfALine)
{
    std::string text;
    for (int i = 0; i < 200; i++)
        text += "usleep(50000)\nhop()\n";
    st.write("s.txt", text);
    RunOptions o;
    o.args = {"s.txt"};
    o.signalafter = 1.0;
    RunResult r = st.run(o);
    EXPECT_TRUE(r.exited) << "killed by the signal instead of quitting";
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(r.seconds, 4.0);
    // It stopped at the end of a line, not at the end of the script, and not in the middle of one.
    size_t hops = 0;
    for (size_t at = r.output.find("Now i hop\n"); at != std::string::npos; at = r.output.find("Now i hop\n", at + 1))
        hops++;
    EXPECT_GT(hops, 0u);
    EXPECT_LT(hops, 200u);
    EXPECT_EQ(r.output.substr(r.output.size() - 10), "Now i hop\n");
}

// The song -------------------------------------------------------------------------------------

TEST_F(Run, PlayerStartsOnceAboutOneAndAHalfSecondsInAsMpg123GnusongInTheCurrentFolder)
{
    st.write("s.txt", "sleep(3)\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    usleep(200000);
    auto lines = playerlines(st);
    ASSERT_EQ(lines.size(), 2u) << readtext(st.playerlog());
    ASSERT_EQ(lines[0].size(), 4u) << readtext(st.playerlog());
    EXPECT_EQ(lines[0][0], "start");
    double delay = std::stod(lines[0][1]) - r.started;
    EXPECT_GE(delay, 1.4);
    EXPECT_LT(delay, 2.5);
    char real[4096];
    ASSERT_NE(realpath(st.work().c_str(), real), nullptr);
    EXPECT_EQ(lines[0][2], real);
    EXPECT_EQ(lines[0][3], "gnusong.mp3");
}

TEST_F(Run, PlayerStartsEvenWhenTheScriptEndsAtOnceAndTheRunDoesNotWaitForIt)
{
    st.write("s.txt", "hop()\n");
    RunOptions o;
    o.args = {"s.txt"};
    o.env = {"PLAYER_SECONDS=3"};
    RunResult r = st.run(o);
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(r.seconds, 1.4) << "the run waited for the song";
    // The song child goes on after the run has ended: the player starts, and is still playing.
    double deadline = now() + 5;
    while (playerlines(st).empty() && now() < deadline)
        usleep(20000);
    auto lines = playerlines(st);
    ASSERT_EQ(lines.size(), 1u) << readtext(st.playerlog());
    EXPECT_EQ(lines[0][0], "start");
}

TEST_F(Run, ScriptErrorLeavesTheSongPlaying)
{
    st.write("s.txt", "usleep(1700000)\nbad\n");
    RunOptions o;
    o.args = {"s.txt"};
    o.env = {"PLAYER_SECONDS=3"};
    RunResult r = st.run(o);
    EXPECT_EQ(r.status, 1);
    usleep(200000);
    auto lines = playerlines(st);
    ASSERT_EQ(lines.size(), 1u) << readtext(st.playerlog());
    EXPECT_EQ(lines[0][0], "start");
}

// The song's clock ------------------------------------------------------------------------------

TEST_F(Run, AtWaitsUntilTheSongHasPlayedItsTime)
{
    st.write("s.txt", "at(1.25)\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_GE(r.seconds, 2.73);
    EXPECT_LT(r.seconds, 3.5);
}

TEST_F(Run, ALateAtLineRunsAtOnceAndItsLatenessIsNotCarriedOn)
{
    // At 3 s the song has played 1.5 s: at(1) is late and must not wait, and at(2.5) still ends the run
    // 4 s in, not later by what at(1) was late.
    st.write("s.txt", "sleep(3)\nat(1)\nhop()\nat(2.5)\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
    EXPECT_GE(r.seconds, 3.98);
    EXPECT_LT(r.seconds, 4.5);
}

TEST_F(Run, SongPlayerStartsWhenAtZeroEnds)
{
    // Both count from the program's start: a clock taken anywhere else (after the display opens, say)
    // puts the song and the lyrics out of step. The error line right after at(0) is written, flushed,
    // when the wait ends; the output file's change time says when, whatever the exit costs after it
    // (under the sanitizers, tens of milliseconds).
    st.write("s.txt", "at(0)\nText(x)\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: s.txt\nUnknown command at line: 2 exiting now...\n");
    struct stat written;
    ASSERT_EQ(stat(st.outputfile().c_str(), &written), 0);
    double deadline = now() + 5;
    while (playerlines(st).empty() && now() < deadline)
        usleep(20000);
    auto lines = playerlines(st);
    ASSERT_FALSE(lines.empty()) << "the player never started";
    double playerstart = std::stod(lines[0][1]), atend = written.st_mtim.tv_sec + written.st_mtim.tv_nsec / 1e9;
    // The stand-in player writes its time from a shell that system() starts through another shell: on
    // a machine whose two cores are busy with other tests, those starts alone took 60-110 ms.
    EXPECT_NEAR(playerstart, atend, 0.15);
    EXPECT_GE(atend - r.started, 1.45);
}

TEST(SongClock, ThreeThousandLinesEndWithAScriptThatOnlyWaitsForTheSameTime)
{
    // 3000 lines over 10 s of song, each with its own refresh: on the song's clock none of that cost
    // adds up. A chain of relative waits of the same length falls behind by every line's cost.
    Stage many, one;
    std::string text;
    for (int i = 1; i <= 3000; i++) {
        int ms = i * 10 / 3;
        char line[32];
        snprintf(line, sizeof line, "at(%d.%03d)\n", ms / 1000, ms % 1000);
        text += line;
    }
    many.write("s.txt", text);
    one.write("s.txt", "at(10)\n");
    RunResult a, b;
    // Side by side, so that both meet the same load on the machine.
    std::thread other([&] { b = one.run({"s.txt"}); });
    a = many.run({"s.txt"});
    other.join();
    ASSERT_EQ(a.status, 0) << a.output;
    ASSERT_EQ(b.status, 0) << b.output;
    EXPECT_GE(b.seconds, 11.5);
    EXPECT_NEAR(a.seconds, b.seconds, 0.15);
}

TEST_F(Run, SigtermDuringALongAtEndsTheRunAtOnce)
{
    st.write("s.txt", "at(30)\nhop()\n");
    RunOptions o;
    o.args = {"s.txt"};
    o.signalafter = 1.0;
    RunResult r = st.run(o);
    EXPECT_TRUE(r.exited) << "killed by the signal instead of quitting";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\n");
    EXPECT_LT(r.seconds, 1.5);
}

// Pictures and fonts that cannot be used -----------------------------------------------------------

TEST_F(Run, PicturesThatCannotBeDecodedAreSkippedAndTheScriptGoesOn)
{
    mkdir(st.work("adir.pcx").c_str(), 0755);
    // Truncated: a 300 x 200 header, three data bytes, and the palette.
    std::vector<uint8_t> truncated = pcxheader(0, 0, 299, 199, 300);
    truncated.insert(truncated.end(), {0xC5, 0x01, 0x02});
    truncated.resize(truncated.size() + 768, 0x40);
    writefile(st.work("truncated.pcx"), truncated);
    // A header that asks for 65536 x 65536 pixels in a file of under a kilobyte.
    std::vector<uint8_t> huge = pcxheader(0, 0, 65535, 65535, 65535);
    huge.resize(huge.size() + 768, 0);
    writefile(st.work("huge.pcx"), huge);
    // Short: not even a header and a palette.
    writefile(st.work("short.pcx"), std::vector<uint8_t>(200, 0xC0));
    st.write("s.txt", "setimg(missing.pcx)\nsetimg(adir.pcx)\nsetimg(truncated.pcx)\nsetimg(huge.pcx)\n"
                      "setimg(short.pcx)\nsetimg()\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
}

TEST(RunWithBrokenFont, FontTheDecoderRefusesIsReportedAndTextDrawsNothing)
{
    Stage st;
    writefile(st.work("font.pcx"), std::vector<uint8_t>(300, 0xC0));
    st.write("script.txt", "text(Hello %world%)\nhop()\n");
    RunResult r = st.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Could not load font.pcx\nNo file specified. Using default script.txt\nNow i hop\n");
}

TEST_F(Run, TextLinesOfAnyLengthRunWithTheFont)
{
    st.write("s.txt", "text()\ntext(%)\ntext(Hello %world%, how are you?)\ntext(" + std::string(90, 'W') +
                          ")\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
}

} // namespace
