// The key, tempo and offset options end to end: the built tralune run as a user runs it, with the stub
// song player logging which file it was given and when, and the cache in the test's own folder.
#include "runner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

namespace {

struct Tempo : public ::testing::Test {
    Tempo()
    {
        st.addfont();
        // A space and a quote in the path: the render's path must reach the player whole.
        cache = st.work() + "/../the song's cache";
    }
    // Makes work/gnusong.mp3 with sox and lame: a tone of that many seconds.
    void makesong(double seconds)
    {
        std::string command = "cd '" + st.work() + "' && sox -n -r 44100 -c 1 tone.wav synth " + std::to_string(seconds) +
                              " sine 440 vol 0.5 && lame --quiet tone.wav gnusong.mp3 && rm tone.wav";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    RunResult run(const std::vector<std::string>& args, double signalafter = -1, int signal = 15)
    {
        RunOptions o;
        o.args = args;
        o.env = {"XDG_CACHE_HOME=" + cache};
        o.timeout = 60;
        o.signalafter = signalafter;
        o.signalnumber = signal;
        return st.run(o);
    }
    // The player's first start line, waiting for it up to 5 s. (The end of a run before may be logged
    // after the log was removed for the next.)
    std::vector<std::string> playerstart()
    {
        for (double deadline = now() + 5; now() < deadline; usleep(20000))
            for (auto& line : playerlines(st))
                if (line.size() >= 3 && line[0] == "start")
                    return line;
        return {};
    }
    // The file the player was given: the rest of its start line after the working folder.
    std::string playedfile()
    {
        auto start = playerstart();
        if (start.empty())
            return "";
        std::string line = readtext(st.playerlog());
        line = line.substr(line.find("start "));
        line = line.substr(0, line.find('\n'));
        size_t folder = start.size() >= 3 ? line.find(" " + start[2] + " ") : std::string::npos;
        return folder == std::string::npos ? "" : line.substr(folder + start[2].size() + 2);
    }
    // Seconds from the player's start to the last change of the run's output: an error line written
    // right when an "at" wait ends, as in the song clock tests.
    double playedwhenwritten()
    {
        auto start = playerstart();
        return start.size() < 2 ? -1 : writtenat() - std::stod(start[1]);
    }
    // When the run's output last changed, in seconds since the epoch.
    double writtenat()
    {
        struct stat written;
        if (stat(st.outputfile().c_str(), &written) != 0)
            return -1;
        return written.st_mtim.tv_sec + written.st_mtim.tv_nsec / 1e9;
    }
    std::string cache;
    Stage st;
};

TEST_F(Tempo, BadValuesAreRefusedWithTheirRangeAndNothingStarts)
{
    st.write("s.txt", "hop()\n");
    struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--key", "7", "s.txt"}, "tralune: --key wants a whole number of semitones from -6 to 6, not \"7\"\n"},
        {{"--key=-7"}, "tralune: --key wants a whole number of semitones from -6 to 6, not \"-7\"\n"},
        {{"--key", "1.5"}, "tralune: --key wants a whole number of semitones from -6 to 6, not \"1.5\"\n"},
        {{"--tempo", "74", "s.txt"}, "tralune: --tempo wants a whole percentage from 75 to 125, not \"74\"\n"},
        {{"--tempo=fast"}, "tralune: --tempo wants a whole percentage from 75 to 125, not \"fast\"\n"},
        {{"--offset", "1001"}, "tralune: --offset wants a whole number of milliseconds from -1000 to 1000, not \"1001\"\n"},
        {{"--offset="}, "tralune: --offset wants a whole number of milliseconds from -1000 to 1000, not \"\"\n"},
        {{"s.txt", "--offset"}, ""},
        {{"--offset"}, "tralune: --offset wants a whole number of milliseconds from -1000 to 1000\n"},
    };
    for (auto& c : cases) {
        RunResult r = run(c.args);
        if (c.message.empty()) {
            // After the script, an option is just an argument that is ignored, as before.
            EXPECT_EQ(r.status, 0) << r.output;
            continue;
        }
        EXPECT_EQ(r.status, 1) << c.args[0];
        EXPECT_EQ(r.output, c.message);
    }
    usleep(1700000);
    EXPECT_EQ(playerlines(st).size(), 2u) << "only the one run with a script played the song";
}

TEST_F(Tempo, AScriptNamedLikeAnOptionIsReachedThroughItsFolder)
{
    st.write("--key", "hop()\n");
    RunResult r = run({"./--key"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: ./--key\nNow i hop\n");
}

TEST_F(Tempo, KeyZeroAndFullTempoPlayTheOriginalAndRenderNothing)
{
    makesong(1);
    st.write("s.txt", "at(0.5)\nText(x)\n");
    RunResult r = run({"--key", "0", "--tempo=100", "--offset", "0", "s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: s.txt\nUnknown command at line: 2 exiting now...\n");
    auto start = playerstart();
    ASSERT_EQ(start.size(), 4u);
    EXPECT_EQ(start[3], "gnusong.mp3");
    EXPECT_NEAR(playedwhenwritten(), 0.5, 0.1);
    EXPECT_NE(access(cache.c_str(), F_OK), 0) << "a cache was made";
}

TEST_F(Tempo, AKeyPlaysTheRenderAndASecondStartRendersNothing)
{
    makesong(2);
    st.write("s.txt", "hop()\n");
    RunResult first = run({"--key", "-2", "--tempo", "90", "s.txt"});
    EXPECT_EQ(first.status, 0);
    EXPECT_NE(first.output.find("tralune: rendering gnusong.mp3 at key -2, tempo 90%: 100%\n"), std::string::npos)
        << first.output;
    std::string render = playedfile();
    EXPECT_EQ(render.rfind(cache + "/tralune/", 0), 0u) << render;
    struct stat made, again;
    ASSERT_EQ(stat(render.c_str(), &made), 0);

    unlink(st.playerlog().c_str());
    RunResult second = run({"--tempo", "90", "--key", "-2", "s.txt"});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.output.find("rendering"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("tralune: gnusong.mp3 at key -2, tempo 90%, rendered before: " + render + "\n"),
              std::string::npos) << second.output;
    EXPECT_EQ(playedfile(), render);
    ASSERT_EQ(stat(render.c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, made.st_ino);
    EXPECT_EQ(again.st_mtim.tv_nsec, made.st_mtim.tv_nsec);
}

TEST_F(Tempo, AtEightyPercentAtTwoRunsWhenTheSongHasPlayedTwoAndAHalfSeconds)
{
    makesong(1);
    st.write("s.txt", "at(2)\nText(x)\n");
    RunResult r = run({"--tempo", "80", "s.txt"});
    EXPECT_EQ(r.status, 1) << r.output;
    // Counted from the player's start, since the render before it takes its own time; at 100 % it
    // would be 2 s.
    EXPECT_NEAR(playedwhenwritten(), 2.5, 0.15);
}

TEST_F(Tempo, AnOffsetShowsEverythingThatMuchLaterOrEarlier)
{
    st.write("s.txt", "at(1)\nText(x)\n");
    // Nothing is rendered: the song starts 1.5 s after the run, which the stand-in player, a shell
    // script, logs later still when the machine is busy. Counted from the moment the run was started,
    // the program's own start-up (loading its libraries) makes the line only later, never earlier:
    // the bounds are wider above, and both stay clear of the 1 s of no offset.
    RunResult r = run({"--offset", "200", "s.txt"});
    EXPECT_EQ(r.status, 1) << r.output;
    double later = writtenat() - r.started - 1.5;
    EXPECT_GE(later, 1.17);
    EXPECT_LT(later, 1.45);
    r = run({"--offset=-300", "s.txt"});
    EXPECT_EQ(r.status, 1) << r.output;
    double earlier = writtenat() - r.started - 1.5;
    EXPECT_GE(earlier, 0.67);
    EXPECT_LT(earlier, 0.95);
}

TEST_F(Tempo, ARenderKilledHalfwayIsNeverPlayedAndTheNextStartRendersItWhole)
{
    makesong(30);
    st.write("s.txt", "hop()\n");
    RunResult killed = run({"--key", "3", "s.txt"}, 1.0, 9);
    EXPECT_FALSE(killed.exited);
    EXPECT_NE(killed.output.find("tralune: rendering gnusong.mp3 at key +3, tempo 100%: "), std::string::npos);
    EXPECT_EQ(killed.output.find("%: 100%"), std::string::npos) << "the render ended before it was killed";
    usleep(1700000);
    EXPECT_TRUE(playerlines(st).empty());

    RunResult next = run({"--key", "3", "s.txt"});
    EXPECT_EQ(next.status, 0);
    EXPECT_NE(next.output.find("tralune: rendering gnusong.mp3 at key +3, tempo 100%: 100%\n"), std::string::npos)
        << next.output;
    EXPECT_EQ(playedfile().find(".part"), std::string::npos);
}

TEST_F(Tempo, ASongThatCannotBeRenderedEndsTheRunWithItsReason)
{
    st.write("gnusong.mp3", "no music in here\n");
    st.write("s.txt", "hop()\n");
    RunResult r = run({"--key", "1", "s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("tralune: cannot play gnusong.mp3 at key +1, tempo 100%: not an MP3 file that can be "
                            "decoded"),
              std::string::npos)
        << r.output;
    unlink((st.work() + "/gnusong.mp3").c_str());
    r = run({"--tempo", "110", "s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("tralune: cannot play gnusong.mp3 at key +0, tempo 110%: gnusong.mp3: No such file or "
                            "directory\n"),
              std::string::npos)
        << r.output;
}

} // namespace
