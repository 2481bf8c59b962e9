// Measures what script lines cost the song's timing, each against the best a program could do on the
// same machine, and prints one table. Run through bench/run.sh, which makes the pictures it reads.
#include "font.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"
#include "video.h"

#include <SDL.h>
#include <SDL_image.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

int reps = 15;
// The SDL video driver the line costs are measured on: "dummy" (memory only), or "x11" on the X server in
// DISPLAY, when bench/run.sh starts one.
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

// One row of the table.
struct Row {
    std::string what, ours, theirs, ratio, goal;
    bool met;
};
std::vector<Row> table;

std::string fmt(const char* f, double v)
{
    char b[64];
    snprintf(b, sizeof b, f, v);
    return b;
}

// Times two sides in the same run, interleaved and alternating which goes first, reps times. Each side
// does `count` operations per rep; the results are seconds per operation, one per rep.
struct Pair {
    std::vector<double> a, b;
};
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

// Per-rep ratios a/b, so that a slow stretch of the machine hits both sides of a ratio alike.
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

const char* lyrics[] = {
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

// The refresh the player makes after every line, called with nothing around it: the same surfaces
// and the same SDL calls as the video layer's refresh, on the same frame.
class BareRefresh {
public:
    BareRefresh()
    {
        screen = SDL_GetVideoSurface();
        back = static_cast<pixel*>(calloc(SCREEN_PIXELS, sizeof(pixel)));
        surface = SDL_CreateRGBSurfaceFrom(back, SCREEN_W, SCREEN_H, 32, SCREEN_W * 4, 0x00FF0000,
                                           0x0000FF00, 0x000000FF, 0xFF000000);
        if (!screen || !back || !surface)
            die("cannot set up the bare refresh");
    }
    void operator()(const pixel* frame)
    {
        memcpy(back, frame, SCREEN_PIXELS * sizeof(pixel));
        SDL_Surface* copy = SDL_DisplayFormat(surface);
        SDL_UpperBlit(copy, nullptr, screen, nullptr);
        SDL_FreeSurface(copy);
        SDL_Flip(screen);
        SDL_PollEvent(&event);
    }

private:
    SDL_Surface* screen;
    SDL_Surface* surface;
    pixel* back;
    SDL_Event event;
};

// 1. A script line against the bare refresh, the way the player refreshed up to now: a new display-format
// copy of the frame made and freed every line. goal is the highest ratio wanted, 0 for none.
void linecost(const ScratchDir& dir, const std::string& name, const std::string& text, int lines, double goal)
{
    std::string path = dir.write(name + ".txt", text);
    gfx* g = gfx::instance();
    BareRefresh bare;
    Pair p = interleave(
        lines, [&] { script().readscript(path.c_str()); },
        [&] {
            for (int i = 0; i < lines; i++)
                bare(g->pixels);
        });
    double ratio = medianratio(p);
    table.push_back({"one \"" + name + "\" line vs bare refresh (" + driver + ")", fmt("%.0f us", median(p.a) * 1e6),
                     fmt("%.0f us", median(p.b) * 1e6), fmt("%.3f", ratio), goal > 0 ? fmt("<= %.2f", goal) : "-",
                     goal <= 0 || ratio <= goal});
}

pixel palettecolour(const SDL_Surface* s, uint8_t v)
{
    const SDL_Color& c = s->format->palette->colors[v];
    return (pixel(c.r) << 16) | (pixel(c.g) << 8) | c.b;
}

// The colour of pixel x in a row of an 8-bit (palette) or 24-bit surface.
pixel surfacecolour(const SDL_Surface* s, const uint8_t* row, int x)
{
    if (s->format->BitsPerPixel == 8)
        return palettecolour(s, row[x]);
    const uint8_t* p = row + 3 * x; // three bytes, lowest first (little-endian machines)
    Uint8 r, g, b;
    SDL_GetRGB(Uint32(p[0]) | (Uint32(p[1]) << 8) | (Uint32(p[2]) << 16), s->format, &r, &g, &b);
    return (pixel(r) << 16) | (pixel(g) << 8) | b;
}

// Loads path with SDL_image and checks that the sprite shows the same pixels, so both sides of the
// comparison decode the same picture the same way.
void checksame(const std::string& path, const MEM_Sprite& s)
{
    SDL_Surface* ref = IMG_Load(path.c_str());
    if (!ref)
        die("SDL_image cannot load " + path + ": " + IMG_GetError());
    if ((ref->format->BitsPerPixel != 8 && ref->format->BitsPerPixel != 24) || ref->w != s.width ||
        ref->h != s.height)
        die(path + ": SDL_image reads " + std::to_string(ref->w) + "x" + std::to_string(ref->h) + "x" +
            std::to_string(ref->format->BitsPerPixel) + ", the player " + std::to_string(s.width) + "x" +
            std::to_string(s.height));
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++) {
            const uint8_t* row = static_cast<const uint8_t*>(ref->pixels) + size_t(y) * ref->pitch;
            pixel want = surfacecolour(ref, row, x), got = s.pixels[size_t(y) * s.width + x];
            if (want != got)
                die(path + ": first differing pixel at (" + std::to_string(x) + ", " + std::to_string(y) +
                    "): SDL_image " + fmt("%06x", want) + ", the player " + fmt("%06x", got));
        }
    SDL_FreeSurface(ref);
}

void checkpicture(const std::string& path)
{
    MEM_Sprite s;
    if (gfx::instance()->loadPCX(&s, path.c_str()) != 0)
        die("the player cannot decode " + path);
    checksame(path, s);
    delete[] s.pixels;
}

void imgload(const std::string& path)
{
    SDL_Surface* s = IMG_Load(path.c_str());
    if (!s)
        die("SDL_image cannot load " + path);
    SDL_FreeSurface(s);
}

// 2 and 3. A "setimg" line's work (decode, draw, free) against SDL_image's load and free.
void picturecost(const std::string& label, const std::string& path, int count)
{
    checkpicture(path);
    Pair p = interleave(
        count,
        [&] {
            for (int i = 0; i < count; i++)
                script().setimg(path.c_str());
        },
        [&] {
            for (int i = 0; i < count; i++)
                imgload(path);
        });
    double speedup = 1 / medianratio(p);
    table.push_back({label, fmt("%.2f ms", median(p.a) * 1e3), fmt("%.2f ms", median(p.b) * 1e3),
                     fmt("%.1fx faster", speedup), ">= 5x", speedup >= 5});
}

// The font image as the player loads it at start-up, against SDL_image's load and free.
void fontcost(const std::string& path, int count)
{
    checkpicture(path);
    Pair p = interleave(
        count,
        [&] {
            for (int i = 0; i < count; i++) {
                font f;
                f.loadfont(path.c_str());
                delete[] f.image.pixels;
            }
        },
        [&] {
            for (int i = 0; i < count; i++)
                imgload(path);
        });
    double speedup = 1 / medianratio(p);
    table.push_back({"font image load vs IMG_Load", fmt("%.3f ms", median(p.a) * 1e3),
                     fmt("%.3f ms", median(p.b) * 1e3), fmt("%.1fx faster", speedup), ">= 5x", speedup >= 5});
}

// A folder to run a program in. The song player stand-in that plays nothing lies in the bench's build
// folder and is never removed: the player's song child starts it 1.5 s after start, often after the run
// and its folder are gone, and must not then find a real player further along PATH.
struct Stage {
    ScratchDir dir;
    Stage()
    {
        mkdir(STUB_DIR, 0755);
        std::string stub = std::string(STUB_DIR) + "/mpg123";
        writefile(stub, {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n', 'e', 'x', 'i', 't', ' ', '0', '\n'});
        chmod(stub.c_str(), 0755);
        mkdir((dir / "work").c_str(), 0755);
    }
    std::string work(const std::string& name = "") const { return dir / ("work/" + name); }
};

struct Run {
    int status = -1;
    double seconds = 0;    // start to exit
    double firstwait = -1; // start to the first time the process was seen waiting in a sleep
    long maxrsskb = 0;
    std::string output;
};

// Is pid blocked in a sleep right now? Read from /proc, so the program under test runs unchanged.
bool sleeping(pid_t pid)
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

// Runs binary in the stage's work folder on the dummy video driver, output to a file. With watchsleep
// it notes when the process first sleeps; with measurerss it runs under /usr/bin/time for the peak
// resident memory (measured from a fork of this bench, the peak would include the bench's own pages).
Run runprogram(const Stage& st, const std::string& binary, const std::vector<std::string>& args,
               bool watchsleep, bool measurerss = false)
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

// 4. Start-up to the first frame: the player on a script whose first line is "hop()" and whose second
// waits, against the bare program on the same script; each has shown its first frame when it first
// sleeps. Then the peak memory of both on that script.
void startup()
{
    Stage st;
    writefile(st.work("font.pcx"), encodepcx(benchFont()));
    st.dir.write("work/start.txt", "hop()\nusleep(300000)\n");
    std::vector<double> ours, bare, ratios;
    for (int r = 0; r < reps; r++) {
        Run a, b;
        for (int side = 0; side < 2; side++) {
            if ((side == 0) == (r % 2 == 0))
                a = runprogram(st, TRALUNE_BINARY, {"start.txt"}, true);
            else
                b = runprogram(st, BARE_BINARY, {"start.txt"}, true);
        }
        if (a.status != 0 || a.firstwait < 0 || a.output.find("Now i hop") == std::string::npos)
            die("the start-up run went wrong (status " + std::to_string(a.status) + "):\n" + a.output);
        if (b.status != 0 || b.firstwait < 0)
            die("the bare start-up run went wrong:\n" + b.output);
        ours.push_back(a.firstwait);
        bare.push_back(b.firstwait);
        ratios.push_back(a.firstwait / b.firstwait);
    }
    table.push_back({"start-up to first frame vs bare program", fmt("%.1f ms", median(ours) * 1e3),
                     fmt("%.1f ms", median(bare) * 1e3), fmt("%.2f", median(ratios)), "-", true});
}

// What a script asks of a run, read with the player's own reader: its lines, when its last wait ends in
// seconds from the program's start ("sleep" and "usleep" add their count, "at" waits for 1.5 s + its
// song time unless that has passed), and the pictures it names in folder, and how many are not there.
struct plan {
    int lines = 0;
    double end = 0;
    int pictures = 0, missing = 0;
};
plan scriptplan(const std::string& path, const std::string& folder)
{
    plan p;
    scriptfile in(path.c_str());
    script s;
    char text[100];
    while (in.next(text)) {
        p.lines++;
        if (s.parseline(text) != script::OK || !s.cmd[0])
            continue;
        int n = readnumber(s.args);
        long long ms;
        struct stat sb;
        switch (s.findcommand()) {
        case script::SLEEP:
            p.end += std::max(n, 0);
            break;
        case script::USLEEP:
            p.end += std::max(n, 0) / 1e6;
            break;
        case script::AT:
            if (readsongtime(s.args, &ms) == 0)
                p.end = std::max(p.end, SONG_DELAY_NS / 1e9 + ms / 1e3);
            break;
        case script::SETIMG:
            p.pictures++;
            p.missing += stat((folder + "/" + s.args).c_str(), &sb) != 0;
            break;
        }
    }
    return p;
}

// A script of a song's shape, used when there is no demo song yet: a picture for each of 12 verses,
// then four lyric lines each held by a wait, with a fill between verses.
std::string standinscript()
{
    std::string s = "; stand-in song for the bench\nclearscreen(0,0,0)\n";
    for (int v = 0; v < 12; v++) {
        s += "setimg(pic640.pcx)\n";
        for (int l = 0; l < 4; l++) {
            s += std::string("text(") + lyrics[(v + l) % 8] + ")\n";
            s += "usleep(60000)\n";
        }
        s += "clearscreen(0,0," + std::to_string(v * 20) + ")\n";
    }
    return s;
}

// 5. The whole song: how much later than the sum of its waits its last line is shown.
void songlag(const std::string& source, const std::string& fixtures)
{
    Stage st;
    std::string demo = source + "/demo";
    std::string scriptname = "script.txt", label;
    struct stat sb;
    if (stat((demo + "/script.txt").c_str(), &sb) == 0) {
        std::string cmd = "cp -r '" + demo + "/.' '" + st.work() + "'";
        if (system(cmd.c_str()) != 0)
            die("cannot copy the demo song");
        label = "demo song";
    } else {
        st.dir.write("work/script.txt", standinscript());
        label = "stand-in song (no demo/script.txt yet)";
    }
    if (stat(st.work("font.pcx").c_str(), &sb) != 0)
        writefile(st.work("font.pcx"), encodepcx(benchFont()));
    std::string cmd = "cp '" + fixtures + "/pic640.pcx' '" + st.work() + "'";
    if (stat(st.work("pic640.pcx").c_str(), &sb) != 0 && system(cmd.c_str()) != 0)
        die("cannot copy the picture");

    plan planned = scriptplan(st.work(scriptname), st.work());
    int lines = planned.lines, pictures = planned.pictures, missing = planned.missing;
    double waits = planned.end;
    // A long song is run fewer times: about a minute in all, at least 3 runs of each side.
    int runs = std::max(3, std::min(reps, int(30 / std::max(waits, 0.1))));
    std::vector<double> lag, barelag, total, bare, rss, barerss;
    for (int r = 0; r < runs; r++) {
        for (int side = 0; side < 2; side++) {
            bool ours = (side == 0) == (r % 2 == 0);
            // Under /usr/bin/time on both sides, for the peak memory of the same runs.
            Run a = runprogram(st, ours ? TRALUNE_BINARY : BARE_BINARY, {scriptname}, false, true);
            if (a.status != 0)
                die("the song run ended with status " + std::to_string(a.status) + ":\n" + a.output);
            (ours ? total : bare).push_back(a.seconds);
            (ours ? lag : barelag).push_back(a.seconds - waits);
            (ours ? rss : barerss).push_back(a.maxrsskb);
        }
    }
    printf("song: %s, %d lines, %d pictures (%d missing), waits %.3f s, %d runs of each side\n", label.c_str(),
           lines, pictures, missing, waits, runs);
    double l = median(lag), bl = median(barelag);
    table.push_back({"whole song: run time vs bare program", fmt("%.3f s", median(total)), fmt("%.3f s", median(bare)),
                     fmt("%.3f", median(total) / median(bare)), "-", true});
    table.push_back({"whole song: lag of the last line over its planned time", fmt("%.0f ms", l * 1e3),
                     fmt("%.0f ms", bl * 1e3), fmt("%+.2f ms/line", (l - bl) * 1e3 / lines), "-", true});
    double mb = median(rss) / 1024;
    table.push_back({"peak memory, whole song", fmt("%.1f MB", mb), fmt("%.1f MB", median(barerss) / 1024),
                     fmt("%.2f", median(rss) / median(barerss)), "< 16 MB", mb < 16});
}

// 6. The song's clock: a 3-minute song of 600 lines (a lyric line and a wait, 300 times), timed with
// "at", and the same song as a chain of "usleep" waits, each against a script of one line that only
// waits for the same song time, whose run is the process's own start and exit. The three run side by
// side, so that they meet the same load (they mostly sleep), each started a second after the one before,
// so that their start-ups and exits do not contend for the machine.
void songclock()
{
    const int pairs = 300;
    const double seconds = 180;
    std::string timed, chain = "usleep(1500000)\n";
    for (int i = 1; i <= pairs; i++) {
        std::string text = std::string("text(") + lyrics[i % 8] + ")\n";
        timed += text + fmt("at(%.3f)\n", seconds * i / pairs);
        chain += text + fmt("usleep(%.0f)\n", seconds / pairs * 1e6);
    }
    const std::string scripts[3] = {timed, chain, fmt("at(%.3f)\n", seconds)};
    Stage stages[3];
    for (int k = 0; k < 3; k++) {
        writefile(stages[k].work("font.pcx"), encodepcx(benchFont()));
        stages[k].dir.write("work/script.txt", scripts[k]);
    }
    int runs = std::max(1, reps / 5);
    std::vector<double> timedlag, chainlag, reference;
    for (int r = 0; r < runs; r++) {
        Run result[3];
        std::vector<std::thread> running;
        for (int k = 0; k < 3; k++)
            running.emplace_back([&, k] {
                sleep(unsigned(k));
                result[k] = runprogram(stages[k], TRALUNE_BINARY, {"script.txt"}, false);
            });
        for (auto& t : running)
            t.join();
        for (const Run& x : result)
            if (x.status != 0)
                die("a song-clock run ended with status " + std::to_string(x.status) + ":\n" + x.output);
        timedlag.push_back(result[0].seconds - result[2].seconds);
        chainlag.push_back(result[1].seconds - result[2].seconds);
        reference.push_back(result[2].seconds);
    }
    printf("song clock: 600 lines over %.0f s of song, %d runs of each script; the one-line script ran %.3f s\n",
           seconds, runs, median(reference));
    double lag = median(timedlag);
    table.push_back({"song clock: lag of the last of 600 lines, at() vs usleep chain", fmt("%.1f ms", lag * 1e3),
                     fmt("%.1f ms", median(chainlag) * 1e3), "-", "< 5 ms", lag < 0.005});
}

void printtable()
{
    printf("\n| measure | tralune | reference | ratio | goal | met |\n|---|---|---|---|---|---|\n");
    for (const Row& r : table)
        printf("| %s | %s | %s | %s | %s | %s |\n", r.what.c_str(), r.ours.c_str(), r.theirs.c_str(),
               r.ratio.c_str(), r.goal.c_str(), r.goal == "-" ? "-" : r.met ? "yes" : "NO");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        die("usage: tralune-bench SOURCE_DIR FIXTURES_DIR [REPS [SECTIONS]]");
    std::string source = argv[1], fixtures = argv[2];
    if (argc > 3)
        reps = std::max(3, atoi(argv[3]));
    // Which parts to run, any of "lines,pictures,start,song,clock"; all by default.
    std::string sections = argc > 4 ? argv[4] : "lines,pictures,start,song,clock";
    auto wanted = [&](const char* name) { return sections.find(name) != std::string::npos; };
    const char* x11 = getenv("BENCH_X11_DISPLAY");
    if (x11 && *x11) {
        driver = "x11";
        setenv("DISPLAY", x11, 1);
    }
    setenv("SDL_VIDEODRIVER", driver.c_str(), 1);

    ScratchDir dir;
    std::string fontpath = dir / "font.pcx";
    writefile(fontpath, encodepcx(benchFont()));
    if (font::instance()->loadfont(fontpath.c_str()) != 0)
        die("cannot load the bench font");
    gfx* g = gfx::instance();
    if (g->init() != 0)
        die(std::string("cannot open the display: ") + g->displayerror());
    SDL_Surface* screen = SDL_GetVideoSurface();
    printf("display: %dx%dx%d, flags 0x%08x; median of %d runs, sides interleaved\n", screen->w, screen->h,
           screen->format->BitsPerPixel, screen->flags, reps);
    fflush(stdout);

    const int lines = 200;
    if (wanted("lines")) {
    // An X server copies every frame once more itself, which neither side can avoid.
    linecost(dir, "text",
             scriptoflines(lines, [](int i) { return std::string("text(") + lyrics[i % 8] + ")"; }), lines,
             driver == "x11" ? 0.80 : 0.70);
    linecost(dir, "clearscreen", scriptoflines(lines, [](int i) {
                 return "clearscreen(" + std::to_string(i % 256) + ",40," + std::to_string(255 - i % 256) + ")";
             }), lines, 0);
    linecost(dir, "usleep(0)", scriptoflines(lines, [](int) { return std::string("usleep(0)"); }), lines, 0);

    }
    if (wanted("pictures")) {
    picturecost("setimg 640x480 vs IMG_Load", fixtures + "/pic640.pcx", 10);
    picturecost("setimg 640x480 24-bit vs IMG_Load", fixtures + "/pic640-24bit.pcx", 10);
    picturecost("setimg 4096x4096 vs IMG_Load", fixtures + "/pic4096.pcx", 1);
    fontcost(fontpath, 20);
    }
    g->close();

    if (wanted("start"))
        startup();
    if (wanted("song"))
        songlag(source, fixtures);
    if (wanted("clock"))
        songclock();
    printtable();
    bool allmet = true;
    for (const Row& r : table)
        allmet = allmet && (r.goal == "-" || r.met);
    return allmet ? 0 : 2;
}
