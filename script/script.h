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

    char cmd[100];
    char args[100];
    int line;
};

// Reads a decimal number the way atoi does (leading white space, an optional sign, digits up to the
// first other character, 0 when there are none), but saturates at the int range instead of overflowing.
int readnumber(const char* text);

#endif
