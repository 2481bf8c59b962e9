// Starting and stopping the song player: the command tralune runs, an owned player's moment, folder and
// process group, its stop, and its death with the process that started it.
#include "songplayer.h"
#include "testfiles.h"
#include "tralune.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace {

const long long MS = 1000000;

bool exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

// Waits up to ms for path to appear. The commands below write their files under another name and
// rename them, so that a file that appears is whole.
bool appears(const std::string& path, int ms)
{
    for (int i = 0; i < ms / 5; i++) {
        if (exists(path))
            return true;
        usleep(5000);
    }
    return exists(path);
}

// Whether a process of that id is alive (not gone, not a zombie).
bool alive(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

TEST(SongPlayer, TralunesCommandIsMpg123WithTheFileAndOtherNamesAreQuoted)
{
    EXPECT_EQ(playercommand("gnusong.mp3"), "mpg123 gnusong.mp3");
    EXPECT_EQ(playercommand("It's mine; $HOME.mp3"), "mpg123 'It'\\''s mine; $HOME.mp3'");
}

TEST(SongPlayer, AnOwnedPlayerStartsAtItsMomentInItsFolderAsAGroupOfItsOwn)
{
    ScratchDir dir;
    playerstart how;
    how.command = "sh -c 'pwd >where.txt; cut -d\" \" -f5 /proc/$$/stat >g; mv g group.txt; exec sleep 30'";
    how.folder = dir.path();
    how.owned = true;
    long long start = monotonicns();
    how.at = start + 300 * MS;
    pid_t pid = startplayer(how);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(appears(dir / "group.txt", 5000));
    EXPECT_GE(monotonicns() - start, 290 * MS);
    EXPECT_EQ(readtext(dir / "where.txt"), dir.path() + "\n");
    EXPECT_EQ(std::stoi(readtext(dir / "group.txt")), int(pid));
    EXPECT_TRUE(playerrunning(pid));
    stopplayer(pid);
    EXPECT_FALSE(alive(pid));
}

TEST(SongPlayer, StoppingEndsThePlayerAndEverythingItStartedAtOnce)
{
    ScratchDir dir;
    playerstart how;
    // The player starts a child of its own and ignores the polite signal: the stop still ends both.
    how.command = "sh -c 'trap \"\" TERM; sleep 30 & echo $! >c; mv c child.txt; wait'";
    how.folder = dir.path();
    how.owned = true;
    how.at = monotonicns();
    pid_t pid = startplayer(how);
    ASSERT_TRUE(appears(dir / "child.txt", 5000));
    usleep(50000);
    pid_t child = std::stoi(readtext(dir / "child.txt"));
    ASSERT_TRUE(alive(child));
    long long before = monotonicns();
    stopplayer(pid);
    EXPECT_LT(monotonicns() - before, 1000 * MS);
    EXPECT_FALSE(alive(pid));
    for (int i = 0; i < 100 && alive(child); i++)
        usleep(10000);
    EXPECT_FALSE(alive(child));
    EXPECT_FALSE(playerrunning(pid));
}

TEST(SongPlayer, AnOwnedPlayerDiesWithTheProcessThatStartedIt)
{
    ScratchDir dir;
    // A stand-in for the party: starts a player, then is killed.
    pid_t host = fork();
    ASSERT_GE(host, 0);
    if (host == 0) {
        playerstart how;
        how.command = "sh -c 'echo $$ >p; mv p player.txt; exec sleep 30'";
        how.folder = dir.path();
        how.owned = true;
        how.at = monotonicns();
        startplayer(how);
        pause();
        _exit(0);
    }
    ASSERT_TRUE(appears(dir / "player.txt", 5000));
    usleep(50000);
    pid_t player = std::stoi(readtext(dir / "player.txt"));
    ASSERT_TRUE(alive(player));
    kill(host, SIGKILL);
    waitpid(host, nullptr, 0);
    for (int i = 0; i < 200 && alive(player); i++)
        usleep(10000);
    EXPECT_FALSE(alive(player));
}

TEST(SongPlayer, APausedPlayerStandsStillAndGoesOn)
{
    ScratchDir dir;
    playerstart how;
    how.command = "sh -c 'while :; do date +%s%N >>ticks.txt; sleep 0.02; done'";
    how.folder = dir.path();
    how.owned = true;
    how.at = monotonicns();
    pid_t pid = startplayer(how);
    ASSERT_TRUE(appears(dir / "ticks.txt", 5000));
    ASSERT_TRUE(pauseplayer(pid, true));
    usleep(100000);
    size_t paused = readtext(dir / "ticks.txt").size();
    usleep(200000);
    EXPECT_EQ(readtext(dir / "ticks.txt").size(), paused);
    ASSERT_TRUE(pauseplayer(pid, false));
    usleep(200000);
    EXPECT_GT(readtext(dir / "ticks.txt").size(), paused);
    stopplayer(pid);
    EXPECT_FALSE(pauseplayer(0, true));
}

} // namespace
