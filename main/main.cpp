// Program entry: starts the song in a child process, prepares the frame buffer, the font and the
// display, and runs the script named on the command line (default "script.txt").
#include "font.h"
#include "gfx.h"
#include "script.h"

#include <unistd.h>

#include <cstring>
#include <iostream>

// The moment the program started, on the monotonic clock: the song starts 1.5 s after it, and "at"
// lines count song time from the same instant.
static long long started;

// Run in the song child: waits until 1.5 s after the program started, then plays "gnusong.mp3" from
// the current directory and returns when the player ends. The player's own result is of no interest to
// the run.
void musik()
{
    // Counted from the parent's start rather than the child's, so that the song and the "at" lines
    // share one origin whatever the fork cost.
    while (!sleepuntil(started + SONG_DELAY_NS)) {
    }
    int ignored = system("mpg123 gnusong.mp3");
    (void)ignored;
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
                 "Plays gnusong.mp3 and shows the script SCRIPT (default script.txt) full screen in time with it,\n"
                 "its 640x480 picture scaled to fill the display (4:3, black bars at the sides of a wide one).\n"
                 "Everything is looked up in the current folder: the script, font.pcx, the pictures the script\n"
                 "names, and gnusong.mp3, which \"mpg123 gnusong.mp3\" plays 1.5 seconds after the start.\n"
                 "Escape or closing the display ends the run. SDL_VIDEODRIVER names the display driver.\n"
                 "  --window        show the picture in a window, at the largest whole multiple of 640x480\n"
                 "                  that fits the display\n"
                 "  --mode-switch   switch the display itself to 640x480 where the system can, unscaled\n"
                 "  --help          show this and exit\n"
                 "  --version       show the version and exit\n"
                 "Exit status: 0 at the end of the script or when the run is ended, 1 on a script error or\n"
                 "when the display cannot be opened.\n";
    return true;
}

int main(int argc, char** argv)
{
    // Before the song child and the display: a question about the program starts neither.
    if (argc > 1 && answered(argv[1]))
        return 0;
    // A display option comes before the script's name.
    displaymode mode = displaymode::fullscreen;
    int first = 1;
    while (first < argc && displayoption(argv[first], mode))
        first++;
    // The song child is never waited for, signalled or stopped: it plays on after the run ends,
    // whichever way it ends. A failed fork just means no song.
    started = monotonicns();
    if (fork() == 0) {
        musik();
        return 0;
    }
    gfx* g = gfx::instance();
    // The font is loaded before the display opens; without it "text" lines draw nothing.
    if (font::instance()->loadfont("font.pcx") != 0)
        std::cout << "Could not load font.pcx" << std::endl;
    if (g->init(mode) != 0) {
        std::cout << "Could not open the display: " << g->displayerror() << std::endl;
        return 1;
    }
    script s;
    s.songstart = started;
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
