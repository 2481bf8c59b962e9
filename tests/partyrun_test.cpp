// tralune-party end to end on a private X server, as a host uses it: songs typed for and queued from the
// keyboard (xdotool), played one after another by a stand-in song player that records what it is asked
// to play and when it is stopped, Escape to leave a song, Ctrl+Q to quit, a killed party started again,
// and a damaged song skipped with a line on the screen.
#include "screen.h"
#include "store.h"
#include "testfiles.h"
#include "xscreen.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

extern char** environ;

namespace {

// The stand-in song player: logs "start TIME PID SONG" when it starts (SONG: the name of the library
// file its gnusong.mp3 leads to), "killed TIME PID SONG" when asked to stop, "end TIME PID SONG" when
// it ends by itself, after as many seconds as the file SONG.len beside the song says (without one,
// $PLAYER_SECONDS, else 1).
const char* STUB = "#!/bin/sh\n"
                   "real=$(readlink -f \"$1\")\n"
                   "song=$(basename \"$real\")\n"
                   "len=$(cat \"$real.len\" 2>/dev/null || echo ${PLAYER_SECONDS:-1})\n"
                   "echo \"start $(date +%s.%N) $$ $song\" >>\"$PLAYER_LOG\"\n"
                   "trap 'echo \"killed $(date +%s.%N) $$ $song\" >>\"$PLAYER_LOG\"; exit 143' TERM\n"
                   "sleep \"$len\" & wait $!\n"
                   "echo \"end $(date +%s.%N) $$ $song\" >>\"$PLAYER_LOG\"\n";

// One line of the player's log.
struct playerevent {
    std::string what;   // start, killed, end
    double at = 0;
    pid_t pid = 0;
    std::string song;
};

bool alive(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

// Asks until ask() is true or seconds have passed; whether it became true.
bool within(double seconds, const std::function<bool()>& ask)
{
    double until = now() + seconds;
    for (;;) {
        if (ask())
            return true;
        if (now() > until)
            return false;
        usleep(50000);
    }
}

// tralune-party run in the background on the test's X server, its output in a file. A start whose X
// connection is refused (now and then right after another client closed) is made again, up to four
// starts in all, as the player's screen tests do.
class PartyRun {
public:
    PartyRun(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& output)
        : out(output)
    {
        for (int start = 0; start < 4; start++) {
            launch(args, env);
            // A refused start ends at once with status 1 and says so.
            bool refused = within(3, [&] { return !running() || readtext(out).find("open the display") != std::string::npos; }) &&
                           !running() && status == 1 && readtext(out).find("open the display") != std::string::npos;
            if (!refused)
                return;
            std::cout << "[ party    ] the display refused the start, starting again: " << readtext(out) << std::endl;
            usleep(200000);
        }
    }
    ~PartyRun()
    {
        if (running()) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // Whether it still runs (reaps it when it has ended, keeping its status).
    bool running()
    {
        if (pid <= 0 || ended)
            return false;
        int st;
        if (waitpid(pid, &st, WNOHANG) == pid) {
            ended = true;
            status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            return false;
        }
        return true;
    }
    // Waits up to seconds for it to end; its exit status, -1 when it was killed or still runs.
    int finish(double seconds)
    {
        within(seconds, [&] { return !running(); });
        return ended ? status : -1;
    }
    void signal(int number) { kill(pid, number); }
    std::string output() const { return readtext(out); }

    pid_t pid = -1;
    bool ended = false;
    int status = -1;

private:
    void launch(const std::vector<std::string>& args, const std::vector<std::string>& env)
    {
        ended = false;
        status = -1;
        pid = fork();
        if (pid != 0)
            return;
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        for (const std::string& e : env)
            putenv(strdup(e.c_str()));
        std::vector<char*> argv{const_cast<char*>(PARTY_BINARY)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(PARTY_BINARY, argv.data());
        _exit(127);
    }
    std::string out;
};

class Party : public ::testing::Test {
protected:
    Party()
    {
        mkdir(library().c_str(), 0755);
        mkdir((dir / "bin").c_str(), 0755);
        dir.write("bin/mpg123", STUB);
        chmod((dir / "bin/mpg123").c_str(), 0755);
    }

    std::string library() const { return dir / "songs"; }
    std::string data() const { return dir / "data"; }

    // A song of the library: "NAME.lrc" with two timed lines and "NAME.mp3" beside it, a short tone
    // made with sox and lame, which the stand-in player "plays" for seconds.
    void addsong(const std::string& name, double seconds)
    {
        dir.write("songs/" + name + ".lrc", "[00:00.20]First line\n[00:00.60]Second line\n");
        std::string mp3 = library() + "/" + name + ".mp3";
        std::string wav = dir / "tone.wav";
        std::string make = "sox -n -r 22050 -c 1 '" + wav + "' synth 0.5 sine 440 2>/dev/null && lame --quiet '" +
                           wav + "' '" + mp3 + "'";
        ASSERT_EQ(system(make.c_str()), 0) << make;
        std::ofstream(mp3 + ".len") << seconds << "\n";
    }

    std::vector<std::string> environment() const
    {
        const char* path = getenv("PATH");
        std::vector<std::string> env = {"DISPLAY=" + x.name(), "SDL_VIDEODRIVER=x11",
                                        "PATH=" + (dir / "bin") + ":" + (path ? path : "/usr/bin:/bin"),
                                        "XDG_CACHE_HOME=" + (dir / "cache"), "PLAYER_LOG=" + (dir / "player.log"),
                                        "HOME=" + dir.path()};
        env.insert(env.end(), extraenv.begin(), extraenv.end());
        return env;
    }

    // Starts the party and, unless it goes straight on with a queue, waits for its picker. The
    // countdown of 4 s leaves time to queue a second song on the up-next screen of the first: keys
    // typed once a song plays go to the song.
    std::unique_ptr<PartyRun> start(std::vector<std::string> args, bool waitforpicker = true)
    {
        args.insert(args.begin(), {"--data", data(), "--countdown", "4"});
        std::unique_ptr<PartyRun> run(new PartyRun(args, environment(), dir / "party.txt"));
        if (waitforpicker) {
            EXPECT_TRUE(picker()) << "the picker never showed; the party's output:\n" << run->output();
        }
        return run;
    }
    // Waits for the picker (or the up-next screen, which takes keys too) to be on the screen: a song's
    // screen takes only Escape and Ctrl+Q.
    bool picker()
    {
        return within(20, [&] {
            std::vector<pixel> screen;
            std::string why;
            return x.capture(screen, why) && (screen[SCREEN_W * 2 + 2] & 0xFFFFFF) == BACKGROUND;
        });
    }

    void keys(const std::string& names)
    {
        ClientResult r = x.client("xdotool key --delay 40 " + names);
        ASSERT_EQ(r.status, 0) << r.output;
    }
    void type(const std::string& text)
    {
        ClientResult r = x.client("xdotool type --delay 40 '" + text + "'");
        ASSERT_EQ(r.status, 0) << r.output;
        // The search runs as each letter comes; give the last one its moment.
        usleep(200000);
    }
    // Searches, chooses the first match and queues it for singer.
    void queue(const std::string& search, const std::string& singer)
    {
        keys("Escape");
        type(search);
        keys("Return");
        keys("BackSpace");
        type(singer);
        keys("Return");
    }

    std::vector<playerevent> events() const
    {
        std::vector<playerevent> list;
        std::istringstream in(readtext(dir / "player.log"));
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            playerevent e;
            fields >> e.what >> e.at >> e.pid;
            std::getline(fields, e.song);
            if (!e.song.empty() && e.song[0] == ' ')
                e.song.erase(0, 1);
            list.push_back(e);
        }
        return list;
    }
    // Waits for the n-th event (from 0) of a kind; false when it does not come in time.
    bool waitevent(const std::string& what, size_t n, double seconds, playerevent* found = nullptr)
    {
        return within(seconds, [&] {
            size_t seen = 0;
            for (const playerevent& e : events())
                if (e.what == what && seen++ == n) {
                    if (found)
                        *found = e;
                    return true;
                }
            return false;
        });
    }
    std::string log() const { return "player log:\n" + readtext(dir / "player.log"); }

    XServer x;
    ScratchDir dir;
    std::vector<std::string> extraenv;   // more for the party's environment
};

TEST_F(Party, SongsQueuedFromTheKeyboardPlayInTurnEscapeStopsTheMusicAndCtrlQQuits)
{
    addsong("Björk - Army of Me", 60);
    addsong("ABBA - Waterloo", 1);
    addsong("Queen - Bohemian Rhapsody", 1);
    std::unique_ptr<PartyRun> run = start({library()});
    // Ann first, then Bo; typed without the accent.
    queue("bjork", "Ann");
    queue("water", "Bo");

    playerevent first;
    ASSERT_TRUE(waitevent("start", 0, 20, &first)) << log() << run->output();
    EXPECT_EQ(first.song, "Björk - Army of Me.mp3");
    usleep(500000);
    // Escape leaves the long song: its music is stopped at once.
    double pressed = now();
    keys("Escape");
    playerevent killed;
    ASSERT_TRUE(waitevent("killed", 0, 5, &killed)) << log();
    EXPECT_EQ(killed.pid, first.pid);
    EXPECT_LT(killed.at - pressed, 1.0);
    EXPECT_FALSE(within(1, [&] { return alive(first.pid); }) && alive(first.pid));

    // Bo's song comes next, after its countdown, and plays to its end.
    playerevent second;
    ASSERT_TRUE(waitevent("start", 1, 20, &second)) << log() << run->output();
    EXPECT_EQ(second.song, "ABBA - Waterloo.mp3");
    EXPECT_GT(second.at - killed.at, 5.0) << "the up-next screen's 4 s of countdown and the song's 1.5 s";
    ASSERT_TRUE(waitevent("end", 0, 10)) << log();

    // A third song for Ann, and quit while it plays: the party ends with status 0 and no player is
    // left.
    ASSERT_TRUE(picker());
    queue("bohemian", "Ann");
    playerevent third;
    ASSERT_TRUE(waitevent("start", 2, 20, &third)) << log();
    EXPECT_EQ(third.song, "Queen - Bohemian Rhapsody.mp3");
    keys("ctrl+q");
    EXPECT_EQ(run->finish(5), 0) << run->output();
    for (const playerevent& e : events())
        EXPECT_FALSE(alive(e.pid)) << e.song;
}

TEST_F(Party, AKilledPartyStartsAgainWithItsQueueAndTheSongThatWasPlayingFirst)
{
    addsong("ABBA - Waterloo", 60);
    addsong("Queen - Bohemian Rhapsody", 60);
    {
        std::unique_ptr<PartyRun> run = start({library()});
        queue("water", "Ann");
        queue("bohemian", "Bo");
        playerevent first;
        ASSERT_TRUE(waitevent("start", 0, 20, &first)) << log() << run->output();
        EXPECT_EQ(first.song, "ABBA - Waterloo.mp3");
        run->signal(SIGKILL);
        EXPECT_EQ(run->finish(5), -1);
        // The player goes with the party that started it.
        EXPECT_TRUE(within(3, [&] { return !alive(first.pid); })) << log();
    }
    // Without folders: the remembered library, the same queue, the song that was playing first.
    std::unique_ptr<PartyRun> again = start({}, false);
    playerevent restarted;
    ASSERT_TRUE(waitevent("start", 1, 20, &restarted)) << log() << again->output();
    EXPECT_EQ(restarted.song, "ABBA - Waterloo.mp3");
    keys("Escape");
    playerevent next;
    ASSERT_TRUE(waitevent("start", 2, 20, &next)) << log();
    EXPECT_EQ(next.song, "Queen - Bohemian Rhapsody.mp3");
    keys("ctrl+q");
    EXPECT_EQ(again->finish(5), 0) << again->output();
}

TEST_F(Party, ASongThatCannotBePreparedIsSkippedWithALineOnTheScreenAndTheNextPlays)
{
    addsong("ABBA - Waterloo", 1);
    addsong("Damaged - Song", 1);
    // Lyrics without a single time stamp: nothing to sing along to.
    dir.write("songs/Damaged - Song.lrc", std::string("\x00\x01 garbage \xff\n", 13));
    std::unique_ptr<PartyRun> run = start({library()});
    queue("damaged", "Ann");
    queue("water", "Bo");
    // The damaged song gives its place at once: Waterloo is up next, with the line about the damaged
    // song at the bottom of the screen in the highlight colour.
    bool line = within(10, [&] {
        std::vector<pixel> screen;
        std::string why;
        if (!x.capture(screen, why))
            return false;
        int ink = 0;
        // The line at the bottom: below the queue's five rows with the party's font (rows 25 high).
        for (int i = 445 * SCREEN_W; i < SCREEN_PIXELS; i++)
            ink += (screen[size_t(i)] & 0xFFFFFF) == HLCOL;
        return ink > 50;
    });
    EXPECT_TRUE(line) << run->output();
    playerevent played;
    ASSERT_TRUE(waitevent("start", 0, 20, &played)) << log() << run->output();
    EXPECT_EQ(played.song, "ABBA - Waterloo.mp3");
    EXPECT_EQ(events().size() == 1 || events()[1].song != "Damaged - Song.mp3", true) << log();
    EXPECT_NE(run->output().find("Damaged - Song.lrc"), std::string::npos) << run->output();
    keys("ctrl+q");
    EXPECT_EQ(run->finish(5), 0) << run->output();
    // The library remembers why.
    std::string error;
    std::unique_ptr<partystore> store = partystore::open(data(), error);
    ASSERT_TRUE(store) << error;
    std::vector<songinfo> found = store->search("damaged", 10);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].failed);
    EXPECT_NE(found[0].reason.find("Damaged - Song.lrc"), std::string::npos) << found[0].reason;
}

TEST_F(Party, ASongQueuedWithAKeyAndChangedAgainPlaysFromItsRenderAndTheOffsetIsKept)
{
    addsong("ABBA - Waterloo", 1);
    // The render has no length file beside it: it "plays" for 4 s, time for a key during it.
    extraenv.push_back("PLAYER_SECONDS=4");
    std::unique_ptr<PartyRun> run = start({library(), "--offset", "150"});
    keys("Escape");
    type("water");
    keys("Return");
    keys("BackSpace");
    type("Ann");
    // Key +1 while the song is being queued, then +1 more on the song last queued (up next by now).
    keys("F6");
    keys("Return");
    keys("F6");
    playerevent played;
    ASSERT_TRUE(waitevent("start", 0, 30, &played)) << log() << run->output();
    EXPECT_NE(played.song, "ABBA - Waterloo.mp3") << log();
    EXPECT_NE(played.song.find("key+2-tempo100"), std::string::npos) << log();
    EXPECT_EQ(system(("find '" + (dir / "cache/tralune") + "' -name '" + played.song + "' | grep -q .").c_str()), 0)
        << "the render played is not in the cache: " << played.song;
    // While it plays, F10 moves the lyrics 10 ms later, stored at once.
    keys("F10");
    EXPECT_FALSE(waitevent("end", 0, 0.1)) << "the song ended before the key: " << log();
    keys("ctrl+q");
    EXPECT_EQ(run->finish(5), 0) << run->output();
    std::string error;
    std::unique_ptr<partystore> store = partystore::open(data(), error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->setting("offset"), "160");
    // Quit while it played: it is still first in the queue, with its key.
    std::vector<queueentry> left = store->queue();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].key, 2);
}

} // namespace
