// The night bench: a night of songs played by tralune-party's own loop in this process, on SDL's dummy
// driver (or the X server in BENCH_X11_DISPLAY), every frame it shows timed by wrapping the video layer:
//  - from the end of one song (the later of its script's last line and its music's end) to the up-next
//    screen on show;
//  - from the end of the up-next screen's countdown to the next song's first frame, songs prepared
//    ahead while the one before is sung;
//  - how late the next song's first timed line is drawn, on the song's own clock.
// Usage: tralune-bench-night [SONGS]: SONGS songs (default 8, at least 2), half of them MP3+G-like
// prepared folders and half LRC files that are prepared in the background.
#include "control.h"
#include "font.h"
#include "gfx.h"
#include "party.h"
#include "screen.h"
#include "store.h"
#include "testfiles.h"
#include "video.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// One frame shown: when, and what the party was showing.
struct frame {
    double at;           // realtime seconds, the clock the stand-in player logs on
    nowplaying shown;
    pixel corner;        // pixel (2, 2): the picker's and up-next screen's background
    pixel middle;        // pixel (320, 240): red once the timed line of a red song is drawn
};

std::vector<frame> frames;
partycontrol* control = nullptr;
int songs = 8;
int played = 0;

double realnow()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

void record(const pixel* f)
{
    frame r;
    r.at = realnow();
    r.shown = control->now();
    r.corner = f[2 * SCREEN_W + 2] & 0xFFFFFF;
    r.middle = f[240 * SCREEN_W + 320] & 0xFFFFFF;
    // The night is over when every song has been sung: quit, as closing the display does (SDL turns
    // the signal into a quit request).
    if (!frames.empty() && frames.back().shown.shows == nowplaying::SONG && r.shown.shows != nowplaying::SONG &&
        ++played == songs)
        raise(SIGTERM);
    frames.push_back(r);
}

} // namespace

extern "C" int __real__Z9showvideoPKj(const pixel* frame);
extern "C" int __real__Z11updatevideoPKj(const pixel* frame);

extern "C" int __wrap__Z9showvideoPKj(const pixel* f)
{
    record(f);
    return __real__Z9showvideoPKj(f);
}

extern "C" int __wrap__Z11updatevideoPKj(const pixel* f)
{
    record(f);
    return __real__Z11updatevideoPKj(f);
}

namespace {

[[noreturn]] void die(const std::string& why)
{
    fprintf(stderr, "tralune-bench-night: %s\n", why.c_str());
    exit(1);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double largest(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// The stand-in player: logs its end on the realtime clock after 2.5 s of "music".
const char* STUB = "#!/bin/sh\n"
                   "sleep 2.5\n"
                   "echo \"end $(date +%s.%N)\" >>\"$PLAYER_LOG\"\n";

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        songs = std::max(2, atoi(argv[1]));
    ScratchDir dir;
    mkdir((dir / "bin").c_str(), 0755);
    mkdir((dir / "songs").c_str(), 0755);
    dir.write("bin/mpg123", STUB);
    chmod((dir / "bin/mpg123").c_str(), 0755);
    std::string path = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (dir / "bin:" + path).c_str(), 1);
    setenv("PLAYER_LOG", (dir / "player.log").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    const char* x11 = getenv("BENCH_X11_DISPLAY");
    if (x11 && *x11) {
        setenv("DISPLAY", x11, 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
    } else {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    }
    // A tone for every song, made once.
    std::string tone = dir / "songs/tone.mp3";
    std::string make = "sox -n -r 22050 -c 1 " + (dir / "tone.wav") + " synth 0.5 sine 440 2>/dev/null && lame --quiet " +
                       (dir / "tone.wav") + " " + tone;
    if (system(make.c_str()) != 0)
        die("cannot make a song with sox and lame");
    // Red songs: folders prepared for tralune whose one timed line, at 0.5 s, fills the screen red.
    // LRC songs: two lines, prepared into the cache in the background.
    for (int i = 0; i < songs; i += 2) {
        std::string red = dir / ("songs/red" + std::to_string(i));
        mkdir(red.c_str(), 0755);
        std::ofstream(red + "/script.txt") << "clearscreen(0,0,0)\nat(0.5)\nclearscreen(255,0,0)\n";
        if (symlink(tone.c_str(), (red + "/gnusong.mp3").c_str()) != 0)
            die("cannot link a song");
        std::string lrc = dir / ("songs/Singer - Lyrics " + std::to_string(i));
        std::ofstream(lrc + ".lrc") << "[00:00.20]First line\n[00:00.60]Second line\n";
        if (symlink(tone.c_str(), (lrc + ".mp3").c_str()) != 0)
            die("cannot link a song");
    }
    std::string error;
    std::unique_ptr<partystore> store = partystore::open(dir / "data", error);
    if (!store)
        die(error);
    store->addfolder(dir / "songs");
    if (!store->scan(store->folders(), nameorder::artisttitle, nullptr))
        die("the scan failed: " + store->error());
    std::vector<songinfo> all = store->search("", 1000);
    std::vector<int64_t> red, lrc;
    for (const songinfo& s : all)
        (s.kind == songkind::script ? red : lrc).push_back(s.id);
    if (int(red.size() + lrc.size()) < songs)
        die("the scan found " + std::to_string(all.size()) + " songs");
    // Red and LRC songs by turns, for singers by turns.
    for (int i = 0; i < songs; i++) {
        int64_t id = i % 2 ? lrc[size_t(i / 2)] : red[size_t(i / 2)];
        if (!store->enqueue(id, "Singer " + std::to_string(i)))
            die("cannot queue a song: " + store->error());
    }

    gfx* g = gfx::instance();
    if (g->init() != 0)
        die(std::string("cannot open the display: ") + g->displayerror());
    partycontrol c;
    control = &c;
    partyoptions o;
    o.countdown = 2;
    {
        party p(*store, c, o, dir / "cache/tralune");
        p.run({});
    }
    g->close();

    // Song ends, from the player's log.
    std::vector<double> ends;
    std::istringstream log(readtext(dir / "player.log"));
    std::string word;
    double at;
    while (log >> word >> at)
        ends.push_back(at);

    std::vector<double> toupnext, startlate, linelate;
    // A song is over when both its script and its music have ended: the later of its last frame and
    // the player's end before the screen changed.
    for (size_t i = 1; i < frames.size(); i++) {
        if (frames[i - 1].shown.shows != nowplaying::SONG || frames[i].shown.shows == nowplaying::SONG)
            continue;
        double end = frames[i - 1].at;
        for (double e : ends)
            if (e <= frames[i].at)
                end = std::max(end, e);
        for (size_t j = i; j < frames.size(); j++)
            if (frames[j].shown.shows == nowplaying::UPNEXT && frames[j].corner == BACKGROUND) {
                toupnext.push_back(frames[j].at - end);
                break;
            }
    }
    // Each song's up-next screen, its first frame, and its first red frame.
    for (size_t i = 0; i < frames.size(); i++) {
        const frame& f = frames[i];
        bool firstupnext = f.shown.shows == nowplaying::UPNEXT &&
                           (i == 0 || frames[i - 1].shown.shows != nowplaying::UPNEXT);
        if (firstupnext) {
            for (size_t j = i; j < frames.size(); j++)
                if (frames[j].shown.shows == nowplaying::SONG) {
                    startlate.push_back(frames[j].at - f.at - o.countdown);
                    break;
                }
        }
        bool firstred = f.shown.shows == nowplaying::SONG && f.middle == 0xFF0000 &&
                        (i == 0 || frames[i - 1].middle != 0xFF0000);
        if (firstred)
            linelate.push_back(f.shown.seconds - 0.5);
    }
    printf("party: %d songs (half prepared folders, half LRC prepared in the background), countdown %d s, "
           "driver %s\n",
           songs, o.countdown, getenv("SDL_VIDEODRIVER"));
    printf("| measure | median | largest | goal |\n|---|---|---|---|\n");
    printf("| end of a song (its script and its music) to the up-next screen | %.1f ms | %.1f ms | under 200 ms |\n",
           median(toupnext) * 1000, largest(toupnext) * 1000);
    printf("| end of the countdown to the next song's first frame | %.1f ms | %.1f ms | |\n",
           median(startlate) * 1000, largest(startlate) * 1000);
    printf("| lateness of the next song's first timed line (at 0.5 s), song time | %.1f ms | %.1f ms | |\n",
           median(linelate) * 1000, largest(linelate) * 1000);
    printf("(%zu song ends, %zu starts, %zu timed lines measured)\n", toupnext.size(), startlate.size(),
           linelate.size());
    bool met = toupnext.size() + 1 >= size_t(songs) && largest(toupnext) < 0.2;
    return met ? 0 : 1;
}
