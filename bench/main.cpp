// Measures what script lines cost the song's timing, each against the best a program could do on the
// same machine, and prints one table. Run through bench/run.sh, which makes the pictures it reads.
#include "common.h"
#include "font.h"
#include "gfx.h"
#include "video.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace bench;

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
    bool large = false;

    ScratchDir dir;
    std::string fontpath = dir / "font.pcx";
    writefile(fontpath, encodepcx(benchFont()));
    if (font::instance()->loadfont(fontpath.c_str()) != 0)
        die("cannot load the bench font");
    gfx* g = gfx::instance();
    if (g->init() != 0)
        die(std::string("cannot open the display: ") + g->displayerror());
    SDL_Surface* screen = SDL_GetVideoSurface();
    // On a display larger than the frame the rows say its size; the player scales the frame onto it.
    large = screen->w > SCREEN_W || screen->h > SCREEN_H;
    if (driver == "x11")
        driver += " " + std::to_string(screen->w) + "x" + std::to_string(screen->h);
    printf("display: %dx%dx%d, flags 0x%08x; median of %d runs, sides interleaved\n", screen->w, screen->h,
           screen->format->BitsPerPixel, screen->flags, reps);
    fflush(stdout);

    const int lines = 200;
    if (wanted("lines")) {
        // An X server copies every frame once more itself, which neither side can avoid. On a large
        // display the reference stretches the whole frame at every refresh, as a plain program would.
        linecost(dir, "text",
                 scriptoflines(lines, [](int i) { return std::string("text(") + lyrics[i % 8] + ")"; }), lines,
                 large ? 1.00 : driver != "dummy" ? 0.80 : 0.70);
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
    if (wanted("pictures")) {
        picturelinecost("setimg line 640x480 vs IMG_Load (whole runs)", fixtures + "/pic640.pcx", 400, 20, 8);
        picturelinecost("setimg line 640x480 24-bit vs IMG_Load (whole runs)", fixtures + "/pic640-24bit.pcx", 400, 10, 8);
        picturelinecost("setimg line 4096x4096 vs IMG_Load (whole runs)", fixtures + "/pic4096.pcx", 20, 1, 5);
    }

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
