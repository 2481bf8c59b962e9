// Starting and stopping the song player, the outside command that plays a song's music: tralune's
// one song, and the party's song after song.
#ifndef TRALUNE_SONGPLAYER_H
#define TRALUNE_SONGPLAYER_H

#include <sys/types.h>

#include <string>

// The command line that plays a song's music, as tralune has always run it: "mpg123 FILE". The file
// name is quoted for the shell unless it is made of plain characters only, so that tralune's own
// "mpg123 gnusong.mp3" stays exactly that.
std::string playercommand(const std::string& file);

// How a player is started.
struct playerstart {
    std::string command;      // run through the shell ("sh -c"), e.g. playercommand("gnusong.mp3")
    std::string folder;       // the folder it runs in; "" for the current one
    long long at = 0;         // the monotonic moment (monotonicns) it starts; the child waits for it
    // false (tralune): the child runs the command with system() and is never stopped; it stays in the
    // caller's process group, so that Ctrl+C in the terminal still stops the music.
    // true (the party): the child is the leader of a process group of its own (stopplayer ends the
    // player and everything it started) and is killed when the process that started it dies; the
    // shell replaces itself with the player, so that the kill reaches the player itself.
    bool owned = false;
};

// Forks the child that waits for the moment and then runs the command. Its process id (for an owned
// player also its process group's), or -1 when the fork failed: no music, and nothing else changes.
// Call it from the thread that lives as long as the player should (the main thread): an owned
// player's death signal comes when that thread ends.
pid_t startplayer(const playerstart& how);

// Stops an owned player at once: the whole process group is sent SIGTERM (and SIGCONT, for a
// paused one), and SIGKILL after 200 ms if it is still there; the child is reaped. Waits at most
// those 200 ms plus a little. Nothing for pid <= 0.
void stopplayer(pid_t pid);

// Pauses (SIGSTOP) or resumes (SIGCONT) an owned player's whole process group. false when pid <= 0 or
// the group is gone.
bool pauseplayer(pid_t pid, bool paused);

// Whether the player child still runs; reaps it when it has ended. false for pid <= 0.
bool playerrunning(pid_t pid);

#endif
