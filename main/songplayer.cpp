// Starting and stopping the song player.
#include "songplayer.h"

#include "tralune.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

std::string playercommand(const std::string& file)
{
    bool plain = !file.empty();
    for (char c : file)
        plain = plain && (isalnum((unsigned char)c) || c == '.' || c == '_' || c == '-' || c == '/');
    if (plain)
        return "mpg123 " + file;
    std::string q = "'";
    for (char c : file)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return "mpg123 " + q + "'";
}

pid_t startplayer(const playerstart& how)
{
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (how.owned) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the death signal was asked for.
        if (getppid() != parent)
            _exit(0);
    }
    if (!how.folder.empty() && chdir(how.folder.c_str()) != 0)
        _exit(1);
    // Counted from the caller's moment rather than the child's start, so that the song and the
    // script's "at" lines share one origin whatever the fork cost.
    while (!sleepuntil(how.at)) {
    }
    if (how.owned) {
        std::string line = "exec " + how.command;
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int ignored = system(how.command.c_str());
    (void)ignored;
    _exit(0);
}

void stopplayer(pid_t pid)
{
    if (pid <= 0)
        return;
    killpg(pid, SIGTERM);
    killpg(pid, SIGCONT);
    // The player is looked at without being reaped: while it is not, its id cannot be taken by a new
    // process, so the group's last kill below cannot reach anyone else's.
    long long until = monotonicns() + 200000000;
    siginfo_t info;
    for (;;) {
        info.si_pid = 0;
        if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid)
            break;
        if (monotonicns() >= until)
            break;
        usleep(2000);
    }
    // Whatever is left of the group, the player itself after its grace or what it started, goes.
    killpg(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool pauseplayer(pid_t pid, bool paused)
{
    return pid > 0 && killpg(pid, paused ? SIGSTOP : SIGCONT) == 0;
}

bool playerrunning(pid_t pid)
{
    if (pid <= 0)
        return false;
    return waitpid(pid, nullptr, WNOHANG) == 0;
}
