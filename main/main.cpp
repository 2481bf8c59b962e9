// Program entry: starts the song in a child process, prepares the frame buffer, the font and the
// display, and runs the script named on the command line (default "script.txt").
#include "font.h"
#include "gfx.h"
#include "script.h"
#include "songplayer.h"

#include <unistd.h>

#include <cstring>
#include <iostream>

// The moment the program started, on the monotonic clock: the song starts 1.5 s after it, and "at"
// lines count song time from the same instant.
static long long started;

// Starts the song child: 1.5 s after the program started it plays "gnusong.mp3" from the current
// directory with "mpg123 gnusong.mp3" and ends when the player ends. The child is never waited for,
// signalled or stopped: it plays on after the run ends, whichever way it ends. A failed fork just
// means no song.
void musik()
{
    playerstart how;
    how.command = playercommand("gnusong.mp3");
    how.at = started + SONG_DELAY_NS;
    startplayer(how);
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
    std::cout << "usage: tralune [SCRIPT]\n"
                 "Plays gnusong.mp3 and shows the script SCRIPT (default script.txt) full screen in time with it.\n"
                 "Everything is looked up in the current folder: the script, font.pcx, the pictures the script\n"
                 "names, and gnusong.mp3, which \"mpg123 gnusong.mp3\" plays 1.5 seconds after the start.\n"
                 "Escape or closing the display ends the run. SDL_VIDEODRIVER names the display driver.\n"
                 "  --help      show this and exit\n"
                 "  --version   show the version and exit\n"
                 "Exit status: 0 at the end of the script or when the run is ended, 1 on a script error or\n"
                 "when the display cannot be opened.\n";
    return true;
}

int main(int argc, char** argv)
{
    // Before the song child and the display: a question about the program starts neither.
    if (argc > 1 && answered(argv[1]))
        return 0;
    started = monotonicns();
    musik();
    gfx* g = gfx::instance();
    // The font is loaded before the display opens; without it "text" lines draw nothing.
    if (font::instance()->loadfont("font.pcx") != 0)
        std::cout << "Could not load font.pcx" << std::endl;
    if (g->init() != 0) {
        std::cout << "Could not open the display: " << g->displayerror() << std::endl;
        return 1;
    }
    script s;
    s.songstart = started;
    if (argc > 1) {
        std::cout << "Opening file: " << argv[1] << std::endl;
        s.readscript(argv[1]);
    } else {
        std::cout << "No file specified. Using default script.txt\n";
        s.readscript("script.txt");
    }
    g->close();
    return 0;
}
