// Program entry: starts the song in a child process, prepares the frame buffer, the font and the
// display, and runs the script named on the command line (default "script.txt").
#include "font.h"
#include "gfx.h"
#include "render.h"
#include "script.h"
#include "songplayer.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

// The moment the program started, on the monotonic clock: the song starts 1.5 s after it, and "at"
// lines count song time from the same instant.
static long long started;

// Starts the song child: 1.5 s after the program started it plays the song from the current folder,
// "gnusong.mp3" or its render in the cache, with "mpg123 FILE" ("mpg123 gnusong.mp3" itself for the
// song as it is), and ends when the player ends. The child is never waited for, signalled or stopped:
// it plays on after the run ends, whichever way it ends. A failed fork just means no song.
void musik(const std::string& song)
{
    playerstart how;
    how.command = playercommand(song);
    how.at = started + SONG_DELAY_NS;
    startplayer(how);
}

// How the song is heard: its key and tempo (a render when either is changed) and the sound's delay.
struct hearing {
    songchange change;
    long long offsetms = 0;
};

// Reads an option's whole-number value, a sign allowed, between low and high. false for anything else.
static bool readvalue(const char* text, long low, long high, long* value)
{
    char* end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (!text[0] || text[0] == ' ' || *end || errno || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// Takes "--key N", "--tempo PERCENT" or "--offset MS" (or "--name=VALUE") at argv[*at] into h and moves
// *at past it and its value. 1 when it was one of them; 0 when argv[*at] is anything else; -1 when its
// value is missing or out of range, after saying so on standard error.
static int hearingoption(int argc, char** argv, int* at, hearing* h)
{
    static const struct {
        const char* name;
        long low, high;
        const char* wants;
    } options[] = {{"--key", KEY_LOWEST, KEY_HIGHEST, "a whole number of semitones from -6 to 6"},
                   {"--tempo", TEMPO_SLOWEST, TEMPO_FASTEST, "a whole percentage from 75 to 125"},
                   {"--offset", -1000, 1000, "a whole number of milliseconds from -1000 to 1000"}};
    const char* arg = argv[*at];
    for (int k = 0; k < 3; k++) {
        size_t n = strlen(options[k].name);
        if (strncmp(arg, options[k].name, n) != 0 || (arg[n] && arg[n] != '='))
            continue;
        const char* value = arg[n] == '=' ? arg + n + 1 : *at + 1 < argc ? argv[++*at] : nullptr;
        long v;
        if (!value || !readvalue(value, options[k].low, options[k].high, &v)) {
            std::cerr << "tralune: " << options[k].name << " wants " << options[k].wants;
            if (value)
                std::cerr << ", not \"" << value << "\"";
            std::cerr << std::endl;
            return -1;
        }
        if (k == 0)
            h->change.key = int(v);
        else if (k == 1)
            h->change.tempo = int(v);
        else
            h->offsetms = v;
        ++*at;
        return 1;
    }
    return 0;
}

// Whether a progress line is left open on the terminal, for a message to start on a line of its own.
static bool lineopen = false;

// Shows a render's progress on standard error: one line kept up to date on a terminal, a line at every
// quarter elsewhere.
static bool showprogress(const std::string& label, double done)
{
    static int shown = -1;
    int percent = int(done * 100);
    bool tty = isatty(2);
    if (tty ? percent != shown : percent / 25 != shown / 25 || shown < 0) {
        fprintf(stderr, tty ? "\r%s: %d%%%s" : "%s: %d%%\n", label.c_str(), tty ? percent : percent / 25 * 25,
                tty && percent == 100 ? "\n" : "");
        fflush(stderr);
        shown = percent;
        lineopen = tty && percent < 100;
    }
    return true;
}

// The song file to play for h: "gnusong.mp3" itself when its key and tempo are left alone, else its
// render from the cache, made now with a progress line when it is not there. "" after saying on standard
// error why the render cannot be had.
static std::string songfor(const hearing& h)
{
    if (unchanged(h.change))
        return "gnusong.mp3";
    char what[96];
    snprintf(what, sizeof what, "key %+d, tempo %d%%", h.change.key, h.change.tempo);
    std::string label = std::string("tralune: rendering gnusong.mp3 at ") + what, path, error;
    bool made;
    if (!cachedrender("gnusong.mp3", h.change, [&](double done) { return showprogress(label, done); }, &path, &made,
                      &error)) {
        std::cerr << (lineopen ? "\n" : "") << "tralune: cannot play gnusong.mp3 at " << what << ": " << error << std::endl;
        return "";
    }
    if (!made)
        std::cerr << "tralune: gnusong.mp3 at " << what << ", rendered before: " << path << std::endl;
    return path;
}

// Answers "--help" and "--version" on standard output. true when argument was one of them; anything
// else is a script name.
static bool answered(const char* argument)
{
    if (strcmp(argument, "--version") == 0) {
        std::cout << "tralune " TRALUNE_VERSION "\n";
        return true;
    }
    if (strcmp(argument, "--help") != 0)
        return false;
    std::cout << "usage: tralune [--window | --mode-switch] [SCRIPT]\n"
                 "       tralune [--key N] [--tempo PERCENT] [--offset MS] [SCRIPT]\n"
                 "Plays gnusong.mp3 and shows the script SCRIPT (default script.txt) full screen in time with it,\n"
                 "its 640x480 picture scaled to fill the display (4:3, black bars at the sides of a wide one).\n"
                 "Everything is looked up in the current folder: the script, font.pcx, the pictures the script\n"
                 "names, and gnusong.mp3, which \"mpg123 gnusong.mp3\" plays 1.5 seconds after the start.\n"
                 "Escape or closing the display ends the run. SDL_VIDEODRIVER names the display driver.\n"
                 "  --window         show the picture in a window, at the largest whole multiple of 640x480\n"
                 "                   that fits the display\n"
                 "  --mode-switch    switch the display itself to 640x480 where the system can, unscaled\n"
                 "  --key N          sing N semitones higher (up to 6) or lower (down to -6)\n"
                 "  --tempo PERCENT  play the song at 75 to 125 percent of its speed, its key unchanged\n"
                 "  --offset MS      show everything MS milliseconds later (-1000 to 1000; earlier when\n"
                 "                   negative), for speakers that sound late\n"
                 "  --help           show this and exit\n"
                 "  --version        show the version and exit\n"
                 "A key or tempo first renders the song changed into ~/.cache/tralune ($XDG_CACHE_HOME), once:\n"
                 "a later start with the same change plays the render at once. The lyrics and CD+G pictures\n"
                 "keep their place in the music at any tempo. A script named like an option is ./--key.\n"
                 "Exit status: 0 at the end of the script or when the run is ended, 1 on a script error, a\n"
                 "bad option or a song that cannot be rendered, or when the display cannot be opened.\n";
    return true;
}

int main(int argc, char** argv)
{
    // Options before the script; a question about the program starts neither the song nor the display.
    displaymode mode = displaymode::fullscreen;
    hearing h;
    int first = 1;
    for (;;) {
        if (first < argc && answered(argv[first]))
            return 0;
        if (first < argc && displayoption(argv[first], mode)) {
            first++;
            continue;
        }
        int taken = first < argc ? hearingoption(argc, argv, &first, &h) : 0;
        if (taken < 0)
            return 1;
        if (taken == 0)
            break;
    }
    // Before the song's clock starts: the song comes 1.5 s after its render is ready.
    std::string song = songfor(h);
    if (song.empty())
        return 1;
    started = monotonicns();
    musik(song);
    gfx* g = gfx::instance();
    // The font is loaded before the display opens; without it "text" lines draw nothing.
    if (font::instance()->loadfont("font.pcx") != 0)
        std::cout << "Could not load font.pcx" << std::endl;
    if (g->init(mode) != 0) {
        std::cout << "Could not open the display: " << g->displayerror() << std::endl;
        return 1;
    }
    script s;
    s.clock.startat(started + SONG_DELAY_NS);
    s.clock.settempo(h.change.tempo);
    s.clock.setoffset(h.offsetms);
    if (first < argc) {
        std::cout << "Opening file: " << argv[first] << std::endl;
        s.readscript(argv[first]);
    } else {
        std::cout << "No file specified. Using default script.txt\n";
        s.readscript("script.txt");
    }
    g->close();
    return 0;
}
