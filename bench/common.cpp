// The bench's shared parts: timing, the table, the bench's font and lyrics, running a program.
#include "common.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace bench {

int reps = 15;
std::string driver = "dummy";

double monotonic()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

[[noreturn]] void die(const std::string& why)
{
    fprintf(stderr, "bench: %s\n", why.c_str());
    exit(1);
}

std::vector<Row> table;

std::string fmt(const char* f, double v)
{
    char b[64];
    snprintf(b, sizeof b, f, v);
    return b;
}

Pair interleave(int count, const std::function<void()>& a, const std::function<void()>& b)
{
    // One untimed round first: caches, page tables and the allocator settle.
    a();
    b();
    Pair p;
    for (int r = 0; r < reps; r++) {
        for (int side = 0; side < 2; side++) {
            bool doa = (side == 0) == (r % 2 == 0);
            double t0 = monotonic();
            (doa ? a : b)();
            double t = (monotonic() - t0) / count;
            (doa ? p.a : p.b).push_back(t);
        }
    }
    return p;
}

double medianratio(const Pair& p)
{
    std::vector<double> r;
    for (size_t i = 0; i < p.a.size(); i++)
        r.push_back(p.a[i] / p.b[i]);
    return median(r);
}

// A font of realistic size for a 640x480 screen: 40 glyph rows under the marker row, glyphs 10 to 20
// columns wide, ink a ring with a stem in white and a grey edge, in the player's font layout (key colour
// black at index 0, markers red). The test font is 4 rows high, too small to cost what a real one costs.
PcxImage benchFont()
{
    const int height = 41;
    int widths[64], width = 0;
    for (int s = 0; s < 64; s++) {
        widths[s] = 10 + (s * 7) % 11;
        width += widths[s] + 1;
    }
    PcxImage img;
    img.width = width;
    img.height = height;
    img.indexes.assign(size_t(width) * height, 0);
    img.palette.assign(768, 0);
    for (int i = 0; i < 3; i++) {
        img.palette[3 + i] = 255; // 1: white ink
        img.palette[9 + i] = 128; // 3: grey edge
    }
    img.palette[6] = 255; // 2: red markers
    int marker = -1;
    for (int s = 0; s < 64; s++) {
        int start = s == 0 ? 0 : marker;
        int w = widths[s] - 1;
        double cx = (w - 1) / 2.0, cy = 22, rx = w / 2.0, ry = 14;
        for (int r = 1; r < height; r++)
            for (int c = 0; c < w; c++) {
                double dx = (c - cx) / rx, dy = (r - cy) / ry, d = dx * dx + dy * dy;
                int v = 0;
                if (d <= 1.0 && d >= 0.45)
                    v = d > 0.9 || d < 0.55 ? 3 : 1;
                if (s % 2 == 0 && c < 3 && r >= 4 && r <= 36)
                    v = c == 2 ? 3 : 1;
                img.indexes[size_t(r) * width + start + c] = uint8_t(v);
            }
        marker = (s == 0 ? 0 : marker + 1) + widths[s];
        img.indexes[size_t(marker)] = 2;
    }
    return img;
}

const char* lyrics[8] = {
    "Under the %silver% moon we sing",
    "All of the %lanterns% are lit tonight",
    "Hold on to the %song% my friend",
    "%Round% and round the river goes",
    "Every little %star% is humming",
    "When the %morning% comes we go home",
    "Sing it %louder% now!",
    "Who will carry the %tune% for us?",
};

std::string scriptoflines(int n, const std::function<std::string(int)>& line)
{
    std::string s;
    for (int i = 0; i < n; i++)
        s += line(i) + "\n";
    return s;
}

Stage::Stage()
{
    mkdir(STUB_DIR, 0755);
    std::string stub = std::string(STUB_DIR) + "/mpg123";
    writefile(stub, {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n', 'e', 'x', 'i', 't', ' ', '0', '\n'});
    chmod(stub.c_str(), 0755);
    mkdir((dir / "work").c_str(), 0755);
}

// Is pid blocked in a sleep right now? Read from /proc, so the program under test runs unchanged.
static bool sleeping(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/syscall", int(pid));
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return false;
    char buf[32] = {};
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0)
        return false;
    int nr = atoi(buf);
    // x86-64: 35 nanosleep, 230 clock_nanosleep (what sleep and usleep come down to).
    return (nr == 35 || nr == 230) && buf[0] != 'r';
}

Run runprogram(const Stage& st, const std::string& binary, const std::vector<std::string>& args,
               bool watchsleep, bool measurerss)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; e++)
        if (strncmp(*e, "PATH=", 5) != 0 && strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0)
            env.push_back(*e);
    const char* path = getenv("PATH");
    env.push_back(std::string("PATH=") + STUB_DIR + ":" + (path ? path : "/usr/bin:/bin"));
    env.push_back("SDL_VIDEODRIVER=dummy");
    std::string rsspath = st.dir / "rss.txt";
    std::vector<std::string> command;
    if (measurerss)
        command = {"/usr/bin/time", "-f", "%M", "-o", rsspath};
    command.push_back(binary);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> envp, argv;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    for (auto& a : command)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string outpath = st.dir / "output.txt", workdir = st.work();

    Run r;
    double t0 = monotonic();
    pid_t pid = fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
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
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, watchsleep && r.firstwait < 0 ? WNOHANG : 0);
        if (done == pid)
            break;
        if (sleeping(pid))
            r.firstwait = monotonic() - t0;
        else
            usleep(50);
    }
    r.seconds = monotonic() - t0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.maxrsskb = measurerss ? atol(readtext(rsspath).c_str()) : 0;
    r.output = readtext(outpath);
    return r;
}

void printtable()
{
    printf("\n| measure | tralune | reference | ratio | goal | met |\n|---|---|---|---|---|---|\n");
    for (const Row& r : table)
        printf("| %s | %s | %s | %s | %s | %s |\n", r.what.c_str(), r.ours.c_str(), r.theirs.c_str(),
               r.ratio.c_str(), r.goal.c_str(), r.goal == "-" ? "-" : r.met ? "yes" : "NO");
}

} // namespace bench
