// A script walked as tralune shows it, row by row, for the tests of the scripts that importers write:
// what each text row holds after every line, and the rules every imported script keeps (the next line
// on screen at every highlight, no line drawn over another, no line moving from its row).
#ifndef TRALUNE_SCRIPTWALK_H
#define TRALUNE_SCRIPTWALK_H

#include <map>
#include <string>
#include <vector>

// One line of a script that changes the screen, and what the text rows hold once it has run.
struct scriptstep {
    int line = 0;                       // its line in the script, from 1
    long long ms = -1;                  // the song time it runs at: that of the last at() before it, -1 before any
    std::string command;                // "text", "textrow", "clearscreen" or "setimg"
    int row = -1;                       // the row drawn on (0 the bottom), for text and textrow
    std::string text;                   // the text drawn, "%" marks and all
    std::map<int, std::string> rows;    // every row that holds a line, and that line, "%" marks and all
    std::string overdrawn;              // the different line this text was drawn over, if any
    int movedfrom = -1;                 // the row this line stood on when the song last moved on, if another
};

// Walks a script's text: "text(X)" draws on row 0, "textrow(N,X)" on row N, "clearscreen" clears
// every row, and "setimg(NAME)" clears the rows that a picture pictureheights gives a height for
// covers, with fonts fontheight rows high (a picture the map does not name covers nothing). Comments,
// waits and the other commands change no row; "at" sets the time. A line that cannot be read stops
// the walk.
std::vector<scriptstep> walkscript(const std::string& script, int fontheight,
                                   const std::map<std::string, int>& pictureheights = {});

// text without its "%" marks.
std::string plaintext(const std::string& text);

// The rules every imported script keeps, as descriptions of where it breaks them, one a line ("" when
// it keeps them all): no text is drawn over a different one, no line moves from the row it stands on,
// and at every highlight the line that appears next after the highlighted one is on screen already,
// unhighlighted, on another row, unless the screen is empty (a gap) between the two or none follows.
// With oneline, only the first two rules, for a one-row script.
std::string rowrules(const std::vector<scriptstep>& steps, bool oneline = false);

// The song time at which the line whose text (without "%") is `text` leaves the screen after it has
// been highlighted: the first step after its first highlight whose rows no longer hold it, and which
// no step at the same time follows that brings it back. -1 when it never leaves.
long long leaves(const std::vector<scriptstep>& steps, const std::string& text);

#endif
