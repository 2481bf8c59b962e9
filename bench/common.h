// What every part of the timing bench shares: the clock, medians, interleaved timing, the table, the
// bench's font and lyrics, and running the player as a separate process.
#ifndef TRALUNE_BENCH_COMMON_H
#define TRALUNE_BENCH_COMMON_H

#include "testfiles.h"

#include <functional>
#include <string>
#include <vector>

namespace bench {

// Runs behind each median (at least 3), from the command line.
extern int reps;
// The SDL video driver the line costs are measured on: "dummy" (memory only), or "x11" on the X server in
// DISPLAY, when bench/run.sh starts one.
extern std::string driver;

// Seconds on the monotonic clock.
double monotonic();
// The median of v; 0 when v is empty.
double median(std::vector<double> v);
// Prints why on standard error and ends the bench with status 1.
[[noreturn]] void die(const std::string& why);
// printf of one number into a string.
std::string fmt(const char* f, double v);

// One row of the table.
struct Row {
    std::string what, ours, theirs, ratio, goal;
    bool met;
};
extern std::vector<Row> table;
// Prints the table as Markdown, a goal not met marked "NO".
void printtable();

// Times two sides in the same run, interleaved and alternating which goes first, reps times. Each side
// does `count` operations per rep; the results are seconds per operation, one per rep.
struct Pair {
    std::vector<double> a, b;
};
Pair interleave(int count, const std::function<void()>& a, const std::function<void()>& b);
// Per-rep ratios a/b, so that a slow stretch of the machine hits both sides of a ratio alike.
double medianratio(const Pair& p);

// A font of realistic size for a 640x480 screen, in the player's font layout.
PcxImage benchFont();
// Eight lyric lines with highlighted words, for "text" lines.
extern const char* lyrics[8];
// n lines, line(i) for each, each ended by a newline.
std::string scriptoflines(int n, const std::function<std::string(int)>& line);

// A folder to run a program in. The song player stand-in that plays nothing lies in the bench's build
// folder and is never removed: the player's song child starts it 1.5 s after start, often after the run
// and its folder are gone, and must not then find a real player further along PATH.
struct Stage {
    ScratchDir dir;
    Stage();
    std::string work(const std::string& name = "") const { return dir / ("work/" + name); }
};

struct Run {
    int status = -1;
    double seconds = 0;    // start to exit
    double firstwait = -1; // start to the first time the process was seen waiting in a sleep
    long maxrsskb = 0;
    std::string output;
};

// Runs binary in the stage's work folder on the dummy video driver, output to a file. With watchsleep
// it notes when the process first sleeps; with measurerss it runs under /usr/bin/time for the peak
// resident memory (measured from a fork of this bench, the peak would include the bench's own pages).
// Ends the bench when the process cannot be started.
Run runprogram(const Stage& st, const std::string& binary, const std::vector<std::string>& args,
               bool watchsleep, bool measurerss = false);

// The sections; each adds its rows to the table and ends the bench when a run goes wrong.
// lines.cpp: a script line against the bare refresh; goal is the highest ratio wanted, 0 for none.
void linecost(const ScratchDir& dir, const std::string& name, const std::string& text, int lines, double goal);
// pictures.cpp: a "setimg" line's work against SDL_image's load, and the font image's load.
void picturecost(const std::string& label, const std::string& path, int count);
void fontcost(const std::string& path, int count);
void picturelinecost(const std::string& label, const std::string& path, int lines, int imgcount, double goal);
// startup.cpp: start-up to the first frame against the bare program.
void startup();
// song.cpp: the whole song's lag and peak memory, and the song's clock.
void songlag(const std::string& source, const std::string& fixtures);
void songclock();

} // namespace bench

#endif
