// Measures what playing a CD+G stream costs: the player's CPU per second of song on a dense stream
// beside a bare program making the same refreshes, the decoding of a whole 4-minute stream, and the
// time from a packet's due moment to its frame on the screen. Run through bench/run.sh (section "cdg"),
// once on SDL's dummy driver and once on Xvfb.
//   tralune-bench-cdg REPS                 the bench; BENCH_X11_DISPLAY set means on that X server
//   tralune-bench-cdg --bare SECONDS       the bare program (run by the bench itself)
#include "barescreen.h"
#include "cdg.h"
#include "cdgstream.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"
#include "video.h"

#include <SDL.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

int reps = 3;
std::string driver = "dummy";
bool large = false; // on a display larger than the frame
const double FRAME_MS = CDG_FRAME_NS / 1e6;

double seconds() { return monotonicns() / 1e9; }

// CPU seconds this thread has used: the decoding figures, unlike wall time, do not count the other
// programs of a shared machine.
double cpuseconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
}

[[noreturn]] void die(const std::string& why)
{
    fprintf(stderr, "bench-cdg: %s\n", why.c_str());
    exit(1);
}

struct Row {
    std::string what, ours, theirs, goal;
    int met; // 1 yes, 0 no, -1 no goal
};
std::vector<Row> table;

std::string fmt(const char* f, double v)
{
    char b[64];
    snprintf(b, sizeof b, f, v);
    return b;
}

// The bare program: a plain program's display and refresh (one opaque surface over the frame, blitted,
// or on a display larger than the frame stretched by SDL onto the player's rectangle, and flipped; every
// pending event taken) at the player's pace on a dense stream: one refresh at the
// start, none for the 1.5 s before the song, then one a frame until the stream's last packet is due.
int bare(double songseconds)
{
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
        return 1;
    atexit(SDL_Quit);
    SDL_Rect where;
    SDL_Surface* screen = bench::openbare(where);
    if (!screen)
        return 1;
    SDL_ShowCursor(0);
    static Uint32 frame[SCREEN_PIXELS];
    SDL_Surface* surface = bench::barepicture(frame, where);
    if (!surface)
        return 1;
    Uint32* picture = static_cast<Uint32*>(surface->pixels);
    long long count = (long long)surface->w * surface->h;
    SDL_Event event;
    long long start = monotonicns() + SONG_DELAY_NS, end = start + (long long)(songseconds * 1e9);
    auto refresh = [&] {
        bench::showbare(surface, screen, where);
        while (SDL_PollEvent(&event)) {
        }
    };
    refresh();
    sleepuntil(start);
    // Paced as the player paces a stream that changes all the time: the next refresh a frame after the
    // last one began, never catching up on refreshes a slow screen made late.
    for (long long t = monotonicns(); t <= end; t = std::max(t + CDG_FRAME_NS, monotonicns())) {
        picture[t / CDG_FRAME_NS % count] ^= 0xFFFFFF;
        refresh();
        sleepuntil(t + CDG_FRAME_NS);
    }
    return 0;
}

// Runs argv in folder with output to /dev/null; the CPU seconds (user and system) it used and its wall
// time.
struct Cost {
    pid_t pid;
    double started;
};
Cost start(const std::string& folder, const std::vector<std::string>& args, const std::string& path)
{
    Cost c;
    c.started = seconds();
    c.pid = fork();
    if (c.pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        setenv("PATH", path.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return c;
}
void finish(const Cost& c, double& cpu, double& wall)
{
    int status;
    struct rusage ru;
    if (wait4(c.pid, &status, 0, &ru) != c.pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die("a timed run failed (status " + std::to_string(status) + ")");
    wall = seconds() - c.started;
    cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

// 1. CPU per second of song: tralune playing a dense stream, the bare program, and tralune only waiting
// the same song time (its start-up and the wait), run side by side, reps times.
void cpucost(const std::string& self)
{
    const int songs = 20;
    ScratchDir dir;
    dir.write("dense.cdg", cdgbytes(cdgdense(songs * CDG_RATE + 1)));
    dir.write("cdg.txt", "cdg(dense.cdg)\n");
    dir.write("at.txt", "at(" + std::to_string(songs) + ")\n");
    // A song player that does nothing, first on PATH, as the tests' runner has one.
    mkdir((dir / "bin").c_str(), 0755);
    dir.write("bin/mpg123", "#!/bin/sh\nexit 0\n");
    chmod((dir / "bin/mpg123").c_str(), 0755);
    std::string path = dir / "bin" + ":" + getenv("PATH");
    std::vector<double> ours, bares, waits, oursw, baresw;
    // On the dummy driver the three run side by side, so that they meet the same load. Full-screen
    // clients of one X server disturb each other (side by side there, the player's CPU figure came out
    // at a quarter of a lone run's), so on Xvfb they run one after another.
    bool together = driver == "dummy";
    for (int r = 0; r < reps; r++) {
        double cpu, wall;
        Cost a = start(dir.path(), {TRALUNE_BINARY, "cdg.txt"}, path);
        if (!together) {
            finish(a, cpu, wall);
            ours.push_back(cpu / songs);
            oursw.push_back(wall);
        }
        Cost b = start(dir.path(), {self, "--bare", std::to_string(songs)}, path);
        if (!together) {
            finish(b, cpu, wall);
            bares.push_back(cpu / songs);
            baresw.push_back(wall);
        }
        Cost c = start(dir.path(), {TRALUNE_BINARY, "at.txt"}, path);
        if (together) {
            finish(a, cpu, wall);
            ours.push_back(cpu / songs);
            oursw.push_back(wall);
            finish(b, cpu, wall);
            bares.push_back(cpu / songs);
            baresw.push_back(wall);
        }
        finish(c, cpu, wall);
        waits.push_back(cpu / songs);
    }
    double o = median(ours);
    // Scaling to a large display may cost a little more.
    double goal = large ? 0.04 : 0.03;
    table.push_back({"CPU per second of song, dense stream, whole run (" + driver + ")", fmt("%.2f %%", o * 100),
                     fmt("%.2f %% (bare program)", median(bares) * 100), fmt("<= %.0f %% of one core", goal * 100),
                     o <= goal});
    table.push_back({"the same, less tralune's start and wait alone (" + driver + ")",
                     fmt("%.2f %%", (o - median(waits)) * 100), fmt("%.2f %% (tralune on at() alone)", median(waits) * 100),
                     "-", -1});
    table.push_back({"run time of the " + std::to_string(songs) + " s stream (" + driver + ")",
                     fmt("%.3f s", median(oursw)), fmt("%.3f s (bare program)", median(baresw)), "-", -1});
}

// 2. Decoding a whole 4-minute stream to its last frame: read, every packet applied, the frame drawn,
// in CPU time. The goal is for streams as discs have them; a scroll that moves memory every other
// packet (discs scroll by fine offsets and move memory once every 6 or 12 pixels) is a worst case.
void decodecost()
{
    const int packets = 4 * 60 * CDG_RATE;
    ScratchDir dir;
    std::vector<Packet> scrolls;
    for (int n = 0; n < packets; n++)
        scrolls.push_back(n % 2 ? cdgscroll(n % 4 == 1, n % 16, 1 + n % 2, n % 6, 2 - n % 2, n % 12)
                                : cdgsolid(n / 50 % 18, n % 50, n % 16));
    struct Case {
        std::string what, path;
        bool goal;
    } cases[] = {{"a tile every packet", dir.write("dense.cdg", cdgbytes(cdgdense(packets))), true},
                 {"a tile and a memory-moving scroll by turns", dir.write("scrolls.cdg", cdgbytes(scrolls)), false}};
    std::vector<pixel> frame(SCREEN_PIXELS);
    for (const Case& c : cases) {
        std::vector<double> load, apply, draw;
        for (int r = 0; r < std::max(reps, 5); r++) {
            std::vector<unsigned char> bytes;
            std::unique_ptr<cdgscreen> s(new cdgscreen());
            double t0 = cpuseconds();
            if (loadcdg(c.path.c_str(), bytes) != 0 || bytes.size() != size_t(packets) * CDG_PACKET)
                die("cannot read " + c.path);
            double t1 = cpuseconds();
            for (size_t at = 0; at < bytes.size(); at += CDG_PACKET)
                s->apply(&bytes[at]);
            double t2 = cpuseconds();
            s->draw(frame.data());
            double t3 = cpuseconds();
            load.push_back(t1 - t0);
            apply.push_back(t2 - t1);
            draw.push_back(t3 - t2);
        }
        double total = median(load) + median(apply) + median(draw);
        table.push_back({"decoding 72,000 packets to the last frame (CPU time), " + c.what,
                         fmt("%.2f ms", total * 1e3),
                         fmt("read %.2f ms, apply ", median(load) * 1e3) + fmt("%.2f ms, draw ", median(apply) * 1e3) +
                             fmt("%.3f ms", median(draw) * 1e3),
                         c.goal ? "< 20 ms" : "-", c.goal ? total < 0.020 : -1});
    }
}

// When each refresh of the "cdg" command started and when its frame was on the screen: the bench is
// linked with the video layer's showvideo wrapped (-Wl,--wrap= its C++ symbol, _Z9showvideoPKj), so
// the player's own loop runs unchanged.
std::vector<long long> shownfrom, shownat;

} // namespace

extern "C" int __real__Z9showvideoPKj(const pixel* frame);
extern "C" int __wrap__Z9showvideoPKj(const pixel* frame)
{
    long long from = monotonicns();
    int r = __real__Z9showvideoPKj(frame);
    shownfrom.push_back(from);
    shownat.push_back(monotonicns());
    return r;
}

namespace {

// 3. From a packet's due moment to its frame on the screen, in this process through the player's own
// command: every packet that changes the picture is shown by the first refresh that starts after it
// is due (the command applies what is due just before it draws).
void latency(const std::string& what, const std::vector<Packet>& stream, const std::vector<size_t>& changes)
{
    ScratchDir dir;
    std::string path = dir.write("s.cdg", cdgbytes(stream));
    std::vector<double> ms;
    for (int r = 0; r < reps; r++) {
        shownfrom.clear();
        shownat.clear();
        script s;
        // Song time 0 a fifth of a second from now.
        s.clock.startat(monotonicns() + 200000000);
        s.cdg(path.c_str());
        long long zero = s.clock.start();
        size_t k = 0;
        for (size_t n : changes) {
            long long due = zero + (long long)n * 1000000000 / CDG_RATE;
            while (k < shownfrom.size() && shownfrom[k] < due)
                k++;
            if (k == shownfrom.size())
                die("a packet was never shown");
            ms.push_back((shownat[k] - due) / 1e6);
        }
    }
    double p50 = median(ms), p99 = percentile(ms, 0.99), top = percentile(ms, 1.0);
    table.push_back({"packet due to frame on screen, " + what + " (" + driver + ")",
                     fmt("median %.2f ms, ", p50) + fmt("99th %.2f ms, ", p99) + fmt("max %.2f ms", top),
                     fmt("frame %.2f ms", FRAME_MS), "median and 99th < 1 frame", p50 < FRAME_MS && p99 < FRAME_MS});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--bare") == 0)
        return bare(atof(argv[2]));
    if (argc > 1)
        reps = std::max(1, atoi(argv[1]));
    const char* x11 = getenv("BENCH_X11_DISPLAY");
    if (x11 && *x11) {
        driver = "x11";
        setenv("DISPLAY", x11, 1);
    }
    setenv("SDL_VIDEODRIVER", driver.c_str(), 1);
    // The X server's size, from bench/run.sh; the player fills the display, scaling the frame.
    const char* size = getenv("BENCH_X11_SIZE");
    if (driver == "x11" && size && *size) {
        driver += std::string(" ") + size;
        large = strcmp(size, "640x480") != 0;
    }
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        die("cannot find this program");
    self[n] = 0;
    printf("CD+G on the %s driver; medians of %d runs\n", driver.c_str(), reps);
    fflush(stdout);

    if (driver == "dummy")
        decodecost();
    cpucost(self);

    gfx* g = gfx::instance();
    if (g->init() != 0)
        die(std::string("cannot open the display: ") + g->displayerror());
    // 10 s of song each: a tile on every packet, and a tile every quarter second with nothing between.
    const int packets = 10 * CDG_RATE;
    std::vector<Packet> dense = cdgdense(packets), sparse(packets, cdgnothing());
    std::vector<size_t> every, quarters;
    for (int i = 0; i < packets; i++) {
        every.push_back(size_t(i));
        if (i % (CDG_RATE / 4) == 0) {
            sparse[size_t(i)] = i == 0 ? dense[0] : cdgsolid(i / 75 % 18, i / 75 % 50, 1 + i / 75 % 7);
            quarters.push_back(size_t(i));
        }
    }
    latency("a tile every packet", dense, every);
    latency("a tile every 1/4 s", sparse, quarters);
    g->close();

    printf("\n| measure | tralune | reference | goal | met |\n|---|---|---|---|---|\n");
    bool allmet = true;
    for (const Row& r : table) {
        printf("| %s | %s | %s | %s | %s |\n", r.what.c_str(), r.ours.c_str(), r.theirs.c_str(), r.goal.c_str(),
               r.met < 0 ? "-" : r.met ? "yes" : "NO");
        allmet = allmet && r.met != 0;
    }
    return allmet ? 0 : 2;
}
