// Runs the built tralune binary for end-to-end tests.
#include "runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

extern char** environ;

// Lines of the stub player's log, split into words.
std::vector<std::vector<std::string>> playerlines(const Stage& st)
{
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(readtext(st.playerlog()));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        std::string word;
        while (words >> word)
            w.push_back(word);
        lines.push_back(w);
    }
    return lines;
}

double now()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

// The stub player lives in a folder that is never removed: the song child starts it 1.5 s after
// tralune starts, often after the test that ran tralune has finished and removed its own folder, and
// then the real player must not be found instead.
static std::string stubfolder()
{
    static std::string folder;
    if (!folder.empty())
        return folder;
    const char* tmp = getenv("TMPDIR");
    folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/tralune-test-stubplayer";
    mkdir(folder.c_str(), 0755);
    std::string stub = "#!/bin/sh\n"
                       "# A silent stand-in for the song player: logs its start and end to $PLAYER_LOG.\n"
                       "log() { [ -n \"${PLAYER_LOG:-}\" ] && echo \"$*\" >> \"$PLAYER_LOG\"; }\n"
                       "log \"start $(date +%s.%N) $(pwd) $*\"\n"
                       "sleep \"${PLAYER_SECONDS:-0}\"\n"
                       "log \"end $(date +%s.%N)\"\n"
                       "exit 0\n";
    // Tests run in parallel: write a private copy, then rename it into place in one step.
    std::string temp = folder + "/mpg123." + std::to_string(getpid());
    FILE* f = fopen(temp.c_str(), "w");
    if (!f)
        throw std::runtime_error("cannot write the stub player in " + folder);
    fputs(stub.c_str(), f);
    fclose(f);
    chmod(temp.c_str(), 0755);
    if (rename(temp.c_str(), (folder + "/mpg123").c_str()) != 0)
        throw std::runtime_error("cannot put the stub player in " + folder);
    return folder;
}

Stage::Stage()
{
    mkdir((dir / "work").c_str(), 0755);
}

std::string Stage::work(const std::string& name) const
{
    return name.empty() ? dir / "work" : dir / ("work/" + name);
}

std::string Stage::write(const std::string& name, const std::string& text) const
{
    return dir.write("work/" + name, text);
}

void Stage::addfont() const
{
    writefile(work("font.pcx"), encodepcx(testFont()));
}

RunResult Stage::run(std::vector<std::string> args) const
{
    RunOptions o;
    o.args = std::move(args);
    return run(o);
}

RunResult Stage::run(const RunOptions& opts) const
{
    std::string binary = opts.binary.empty() ? TRALUNE_BINARY : opts.binary;
    std::vector<std::string> env;
    for (char** e = environ; *e; e++)
        env.push_back(*e);
    auto setenvline = [&env](const std::string& line) {
        bool remove = line.find('=') == std::string::npos;
        std::string name = remove ? line + "=" : line.substr(0, line.find('=') + 1);
        for (auto e = env.begin(); e != env.end(); ++e)
            if (e->compare(0, name.size(), name) == 0) {
                if (remove)
                    env.erase(e);
                else
                    *e = line;
                return;
            }
        if (!remove)
            env.push_back(line);
    };
    const char* path = getenv("PATH");
    setenvline("PATH=" + stubfolder() + ":" + (path ? path : "/usr/bin:/bin"));
    setenvline("PLAYER_LOG=" + playerlog());
    setenvline("SDL_VIDEODRIVER=dummy");
    for (const auto& e : opts.env)
        setenvline(e);

    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const auto& a : opts.args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string outpath = outputfile();
    std::string workdir = work();
    RunResult r;
    r.started = now();
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // A file, not a pipe: the song child keeps its copy open until the player ends.
        int fd = open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nul = open("/dev/null", O_RDONLY);
        if (fd < 0 || nul < 0 || chdir(workdir.c_str()) != 0)
            _exit(127);
        dup2(nul, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    bool signalled = false;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        double elapsed = now() - r.started;
        if (!signalled && opts.signalafter >= 0 && elapsed >= opts.signalafter) {
            kill(pid, opts.signalnumber);
            signalled = true;
        }
        if (elapsed > opts.timeout) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.seconds = now() - r.started;
            r.output = readtext(outpath);
            return r;
        }
        usleep(2000);
    }
    r.seconds = now() - r.started;
    r.exited = WIFEXITED(status);
    r.status = r.exited ? WEXITSTATUS(status) : -1;
    r.output = readtext(outpath);
    return r;
}

std::ostream& operator<<(std::ostream& o, const ToolRun& r)
{
    return o << "exited " << r.exited << ", status " << r.status << "\n--- stdout:\n"
             << r.out << "--- stderr:\n" << r.err << "---";
}

ToolRun Stage::runtool(const std::string& binary, const std::vector<std::string>& args,
                       const std::vector<std::string>& env) const
{
    std::string errpath = dir / "stderr.txt";
    RunOptions o;
    o.binary = "/bin/sh";
    o.args = {"-c", "exec \"$0\" \"$@\" 2>\"$TOOL_STDERR\"", binary};
    o.args.insert(o.args.end(), args.begin(), args.end());
    o.env = env;
    o.env.push_back("TOOL_STDERR=" + errpath);
    RunResult r = run(o);
    ToolRun t;
    t.exited = r.exited;
    t.status = r.status;
    t.out = r.output;
    t.err = readtext(errpath);
    return t;
}
