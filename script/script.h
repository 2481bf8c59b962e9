// The script reader: the player's main loop. Reads a script line by line, runs each line's command,
// and refreshes the screen after every line.
#ifndef TRALUNE_SCRIPT_H
#define TRALUNE_SCRIPT_H

// A script line is a command name followed by its argument in parentheses, "name(argument)"; lines
// starting with ";" are comments, and lines starting with "(" are skipped the same way. Lines hold at
// most 99 characters.
class script {
public:
    // Runs the whole script at path; 0 at its end. Does not return on a script error: one line is
    // written to standard output and the process ends with status 1. Escape or a quit request, seen
    // at the refresh after a line, ends the process with status 0.
    int readscript(const char* path);
    // Fills cmd with everything before the first "(" (empty for a comment). 1 when a non-comment line
    // has no "(", else 0.
    int getcmd(const char* text);
    // Fills args with everything between the first "(" and the first ")" after it. 1 when either is
    // missing, else 0.
    int getargs(const char* text);
    // 0 when the two strings are equal byte for byte, 1 when they differ.
    int checkstring(const char* a, const char* b);

    // Handlers of the commands; each returns 0 unless said otherwise.
    // "text": draws args centred on the bottom rows of the screen.
    int printtext();
    // "setimg": draws the picture at path centred at the top of the screen; 1 when it cannot be decoded.
    int setimg(const char* path);
    // "hop" and "bounce": a line on standard output.
    int hop();
    int bounce();
    // "clearscreen": fills the frame with the colour "r,g,b" in args; a missing component is 0.
    int clearscreen();
    // "at": waits until the song has played the time in args, that is until 1.5 s + that time after
    // songstart; a time already passed does not wait, so a late line is shown at once and its lateness
    // is not carried on. Escape pressed or a quit request during the wait ends the process with status
    // 0. 1, without waiting, when args holds no song time (see readsongtime); else 0.
    int at();

    char cmd[100];
    char args[100];
    int line;
    // The moment the program started, in monotonicns() nanoseconds: the song starts SONG_DELAY_NS
    // later. 0 until set; readscript then takes the moment it is called.
    long long songstart = 0;
};

// Reads a decimal number the way atoi does (leading white space, an optional sign, digits up to the
// first other character, 0 when there are none), but saturates at the int range instead of overflowing.
int readnumber(const char* text);

// Reads a song time: seconds with an optional fraction of one to three digits ("12", "12.5", "12.345"),
// or minutes and seconds ("1:02.5", "0:07", seconds below 60), with spaces allowed around it. 0, with
// *ms the time in milliseconds, on success; 1, with *ms untouched, for anything else (empty, a sign,
// letters, "1.2.3", a fourth fraction digit, more than six digits before the colon or the point).
int readsongtime(const char* text, long long* ms);

#endif
