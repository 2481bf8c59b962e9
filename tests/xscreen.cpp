// A private X server for the real-screen tests, and tralune run on it in the background.
#include "xscreen.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

std::string lowercase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// xwd says "unable to open display", xdotool "Can't open display", our own client "cannot open display".
bool connectionrefused(const ClientResult& r)
{
    return r.status != 0 && lowercase(r.output).find("open display") != std::string::npos;
}

std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

XServer::XServer(int width, int height) : w(width), h(height)
{
    std::string size = std::to_string(w) + "x" + std::to_string(h) + "x24";
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("cannot make a pipe for Xvfb");
    std::string log = dir / "xvfb.log";
    pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork for Xvfb");
    if (pid == 0) {
        // A test that crashes or is killed for taking too long must not leave its server behind.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nul = open("/dev/null", O_RDONLY);
        if (out < 0 || nul < 0)
            _exit(127);
        dup2(nul, 0);
        dup2(out, 1);
        dup2(out, 2);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    for (int waited = 0; waited < 20000 && number.find('\n') == std::string::npos;) {
        int ready = poll(&p, 1, 200);
        waited += 200;
        if (ready > 0) {
            char buf[32];
            ssize_t got = read(fds[0], buf, sizeof buf);
            if (got <= 0)
                break;
            number.append(buf, size_t(got));
        }
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
        throw std::runtime_error("Xvfb did not come up; its output:\n" + readtext(log));
    }
    display = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer()
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

ClientResult XServer::client(const std::string& command) const
{
    std::string outpath = dir / "client.txt";
    std::string line = "DISPLAY=" + display + " " + command + " >" + quoted(outpath) + " 2>&1";
    ClientResult r;
    for (int attempt = 0; attempt < 5; attempt++) {
        if (attempt > 0)
            usleep(100000);
        int status = system(line.c_str());
        r.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.output = readtext(outpath);
        if (!connectionrefused(r))
            break;
    }
    return r;
}

bool XServer::capture(std::vector<pixel>& screen, std::string& why) const
{
    std::string xwd = dir / "screen.xwd", rgb = dir / "screen.rgb";
    unlink(rgb.c_str());
    ClientResult r = client("xwd -root -silent -display " + display + " -out " + quoted(xwd));
    if (r.status != 0) {
        why = "xwd failed: " + r.output;
        return false;
    }
    // The ImageMagick of the system, not whatever "convert" comes first on PATH.
    r = client("/usr/bin/convert " + quoted("xwd:" + xwd) + " -depth 8 " + quoted("rgb:" + rgb));
    if (r.status != 0) {
        why = "convert failed: " + r.output;
        return false;
    }
    std::string bytes = readtext(rgb);
    size_t pixels = size_t(w) * size_t(h);
    if (bytes.size() != pixels * 3) {
        why = "the screen read back has " + std::to_string(bytes.size()) + " bytes, not " + std::to_string(w) + "x" +
              std::to_string(h) + "x3";
        return false;
    }
    screen.resize(pixels);
    for (size_t i = 0; i < pixels; i++) {
        auto byte = [&](size_t k) { return pixel(static_cast<unsigned char>(bytes[i * 3 + k])); };
        screen[i] = (byte(0) << 16) | (byte(1) << 8) | byte(2);
    }
    return true;
}

RunOptions XServer::options(std::vector<std::string> args) const
{
    RunOptions o;
    o.args = std::move(args);
    o.env = {"SDL_VIDEODRIVER=x11", "DISPLAY=" + display};
    // The tests end their runs themselves; this only stops a run that hangs. Machines shared by many
    // test runs can be slow, so it is generous.
    o.timeout = 60;
    return o;
}

ScreenRun::ScreenRun(const Stage& st, RunOptions opts)
{
    done = std::async(std::launch::async, [this, &st, opts]() {
        RunResult r;
        for (int start = 0; start < 4; start++) {
            r = st.run(opts);
            bool refusedstart = r.exited && r.status == 1 &&
                                r.output.find("Could not open the display: ") != std::string::npos;
            if (!refusedstart || start == 3)
                break;
            refused++;
            std::cout << "[ screen   ] the display refused tralune's start, starting again: " << r.output
                      << std::endl;
            usleep(100000);
        }
        return r;
    });
}

ScreenRun::~ScreenRun()
{
    if (!taken && done.valid()) {
        if (!finished())
            signal(SIGTERM);
        done.wait();
    }
}

bool ScreenRun::finished() const
{
    return taken || done.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

RunResult ScreenRun::result()
{
    if (!taken) {
        last = done.get();
        taken = true;
    }
    return last;
}

pid_t ScreenRun::pid() const
{
    char binary[PATH_MAX];
    if (!realpath(TRALUNE_BINARY, binary))
        return 0;
    pid_t self = getpid();
    DIR* proc = opendir("/proc");
    if (!proc)
        return 0;
    pid_t found = 0;
    while (dirent* e = readdir(proc)) {
        if (!isdigit(static_cast<unsigned char>(e->d_name[0])))
            continue;
        std::string base = std::string("/proc/") + e->d_name;
        // The parent is the fourth field, after the command name in parentheses (which may hold spaces).
        std::string stat = readtext(base + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 1));
        std::string state;
        long parent = 0;
        fields >> state >> parent;
        if (parent != self || state == "Z")
            continue;
        char exe[PATH_MAX];
        ssize_t n = readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
        if (n <= 0)
            continue;
        exe[n] = 0;
        if (strcmp(exe, binary) == 0) {
            found = pid_t(atol(e->d_name));
            break;
        }
    }
    closedir(proc);
    return found;
}

bool ScreenRun::signal(int number) const
{
    pid_t p = pid();
    return p > 0 && kill(p, number) == 0;
}

std::string framediff(const std::vector<pixel>& screen, const std::vector<pixel>& frame, int width)
{
    if (screen.size() != frame.size() || frame.empty() || width <= 0)
        return "sizes differ: screen " + std::to_string(screen.size()) + " pixels, frame " +
               std::to_string(frame.size());
    long differing = 0;
    long first = -1;
    long count = long(frame.size());
    for (long i = 0; i < count; i++)
        if ((screen[size_t(i)] & 0xFFFFFF) != (frame[size_t(i)] & 0xFFFFFF)) {
            if (first < 0)
                first = i;
            differing++;
        }
    if (differing == 0)
        return "";
    char text[200];
    snprintf(text, sizeof text,
             "first differing pixel (%ld, %ld): screen 0x%06X, frame 0x%08X; %ld of %ld pixels differ",
             first % width, first / width, unsigned(screen[size_t(first)]), unsigned(frame[size_t(first)]),
             differing, count);
    return text;
}
