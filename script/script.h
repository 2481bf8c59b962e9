// The script reader: the player's main loop. Reads a script line by line, runs each line's command,
// and refreshes the screen after every line. Reading and splitting a line (scriptfile, parseline) is
// kept apart from running it (runcommand), so that the script checker reads exactly as the player does.
#ifndef TRALUNE_SCRIPT_H
#define TRALUNE_SCRIPT_H

#include "songclock.h"

#include <fstream>
#include <string>

// A script file read line by line as the player reads it: lines end with a line feed, a line holds at
// most 99 characters, and a last line without a line feed is read like any other. A UTF-8 byte-order
// mark at the very start of the file, which some editors write, is skipped: the first line is read as
// if it were not there.
class scriptfile {
public:
    explicit scriptfile(const char* path);
    // Whether the file could be opened.
    bool isopen() const { return in.is_open(); }
    // Reads the next line into text, which holds 100 bytes, without its line feed, and returns true;
    // false at the end of the script. A line of 100 or more characters gives its first 99 (cut() is
    // then true) and leaves the file failed, so that every later line reads as empty, unless
    // skiprest() is called.
    bool next(char* text);
    // Whether the line just read was cut at 99 characters.
    bool cut() const { return in.fail() && !in.eof(); }
    // After a cut line: drops the rest of it, so that reading goes on with the line after it, as if the
    // long line had been shortened. The number of characters dropped, its line feed not counted.
    long long skiprest();
    // Whether nothing follows the line just read.
    bool atend();

private:
    std::ifstream in;
};

// A script line is a command name followed by its argument in parentheses, "name(argument)"; lines
// starting with ";" are comments, and lines starting with "(" are skipped the same way. Lines hold at
// most 99 characters.
class script {
public:
    // The commands, in the order the reader tries their names; see findcommand.
    enum command { TEXT, SETIMG, HOP, BOUNCE, SLEEP, USLEEP, CLEARSCREEN, AT, CDG, TEXTROW, COMMANDS, UNKNOWN = -1 };
    // What parseline and runcommand report.
    enum result { OK = 0, NOCMD, NOARGS, UNKNOWNCMD, BADTIME, BADROW, NOFILE, STOPPED };

    // Runs the whole script at path; 0 at its end. Does not return on a script error: one line is
    // written to standard output and the process ends with status 1. Escape or a quit request, seen
    // at the refresh after a line, ends the process with status 0.
    // With stopped set (the party) it returns instead of ending the process: STOPPED as soon as
    // stopped() answers true, which it is asked after every line and within every wait (see stopped);
    // on a script error, or NOFILE when the file cannot be opened, that result, with the line that
    // tralune would have written in message.
    int readscript(const char* path);
    // Splits one line into cmd and args. OK when it is a command (cmd and args filled) or a line that
    // runs nothing, a comment or a line starting with "(" (cmd empty); NOCMD when it has no "(";
    // NOARGS when it has no ")" after its first "(". The argument is checked before the name is
    // looked up, so an unknown name without ")" is NOARGS.
    int parseline(const char* text);
    // Runs the command of the line that parseline split. OK when it ran; UNKNOWNCMD when cmd names no
    // command; BADTIME, without waiting, when an "at" time cannot be read; BADROW, drawing nothing,
    // when a "textrow" row cannot be read or does not fit the screen (see readtextrow).
    int runcommand();
    // The command that cmd names, tried against the names in table order with checkstring; UNKNOWN
    // when it names none.
    int findcommand();
    // The name of a command, "" for anything that is not one.
    static const char* commandname(int c);
    // Fills cmd with everything before the first "(" (empty for a comment). 1 when a non-comment line
    // has no "(", else 0.
    int getcmd(const char* text);
    // Fills args with everything between the first "(" and the first ")" after it. 1 when either is
    // missing, else 0.
    int getargs(const char* text);
    // 0 when the two strings are equal byte for byte, 1 when they differ.
    int checkstring(const char* a, const char* b);
    // A script error of readscript (a result other than OK and STOPPED): puts its line in message,
    // then with stopped set returns the result; else writes the line to standard output and ends the
    // process with status 1.
    int fail(int result);

    // Handlers of the commands; each returns 0 unless said otherwise.
    // "text": draws args centred on the bottom rows of the screen.
    int printtext();
    // "textrow": draws the text after the first comma of args as "text" draws it, with its glyph cells
    // as many font heights higher as the row before the comma says. 1, drawing nothing, when
    // readtextrow refuses the argument; else 0.
    int printtextrow();
    // "setimg": draws the picture at path centred at the top of the screen; 1 when it cannot be decoded.
    int setimg(const char* path);
    // "hop" and "bounce": a line on standard output.
    int hop();
    int bounce();
    // "clearscreen": fills the frame with the colour "r,g,b" in args; a missing component is 0.
    int clearscreen();
    // Where component k (0 red, 1 green, 2 blue) of a colour in args starts: args itself for red, just
    // after the k-th comma for the others; nullptr when args has fewer than k commas.
    const char* component(int k);
    // "at": waits until the song has played the time in args on the song's clock (clock); a time
    // already passed does not wait, so a late line is shown at once and its lateness is not carried
    // on. The clock is looked at again at least every SONGCLOCK_RECHECK_NS, so a pause holds the line
    // back and a new offset moves it. Escape pressed or a quit request during the wait ends the
    // process with status 0. 1, without waiting, when args holds no song time (see readsongtime);
    // else 0.
    int at();
    // "cdg": plays the CD+G stream at path on the song's clock, as "at" waits on it: packet n is applied
    // when the song has played n/300 s of song time (so later at a slower tempo, never while paused), the ones already due at once, so a late start catches up. The
    // 300x216 picture is drawn at twice its size at (20,24) with the rest of the frame in the border
    // colour (cdgscreen::draw), refreshed when something shown changed, at most once every
    // CDG_FRAME_NS. Returns when the last packet is due and shown, the frame keeping the last picture.
    // Escape pressed or a quit request ends the process with status 0 within a frame. 1, drawing and
    // waiting for nothing, when the file cannot be read as a stream (missing, a folder, too long); an
    // empty stream draws nothing either. Any bytes at all play without a crash or a hang.
    int cdg(const char* path);

    char cmd[100];
    char args[100];
    int line;
    // The song's clock that "at" and "cdg" wait on. Not started (start 0) until set; readscript then
    // starts it SONG_DELAY_NS after the moment it is called, where the song player starts.
    songclock clock;
    // For a script run by the party, which must get the screen back when a song is left: asked after
    // every line and within every wait of "at" and "cdg"; true ends the run (readscript returns
    // STOPPED). With it set, "sleep" and "usleep" wait as "at" does, through the display's wait, so
    // that the party's wait hook (setvideowaithook) can end them too, and script errors return
    // instead of ending the process. nullptr, as in tralune, for none.
    bool (*stopped)() = nullptr;
    // The error line of the last run that returned an error (with stopped set), without a line feed.
    std::string message;

private:
    // Waits until the song has played `song` nanoseconds of song time, watching the input as
    // gfx::waituntil does.
    void waitsong(long long song);
};

// The shortest time between two refreshes of a CD+G stream: one frame of a 60 Hz display. Streams
// change up to 300 times a second, but no screen shows more than its own rate, and a refresh costs the
// same whatever changed; 60 Hz is what most displays run at, so a wipe still moves on every frame.
const long long CDG_FRAME_NS = 1000000000 / 60;

// Reads a decimal number the way atoi does (leading white space, an optional sign, digits up to the
// first other character, 0 when there are none), but saturates at the int range instead of overflowing.
int readnumber(const char* text);

// Reads a song time: seconds with an optional fraction of one to three digits ("12", "12.5", "12.345"),
// or minutes and seconds ("1:02.5", "0:07", seconds below 60), with spaces allowed around it. 0, with
// *ms the time in milliseconds, on success; 1, with *ms untouched, for anything else (empty, a sign,
// letters, "1.2.3", a fourth fraction digit, more than six digits before the colon or the point).
int readsongtime(const char* text, long long* ms);
// The latest song time readsongtime reads, in milliseconds: six digits of seconds, about 277 hours.
// Nothing later can be waited for with "at".
const long long MAX_SONG_MS = 999999999;
// A song time as readsongtime reads it back, "S.mmm" ("62.500"); ms from 0 to MAX_SONG_MS.
std::string writesongtime(long long ms);

// Reads the argument of "textrow", "N,TEXT": N is a whole number of font heights above the bottom
// row, digits alone with spaces allowed around them, from 0 to the number of rows of height
// fontheight that fit on the screen less one (a font of height 0, which draws nothing, is taken as
// one pixel high; one taller than the screen still has row 0). 0, with *row set and *text pointing
// just after the first comma, on success; 1, with both untouched, for anything else (no comma, no
// digits, a sign, a row too high).
int readtextrow(const char* args, int fontheight, int* row, const char** text);

#endif
