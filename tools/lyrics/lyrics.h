// Timed song text made into a tralune script: what the lyric importers share. Each importer reads its
// own format into a song; this unit writes the script from it, in the same shape for every format, and
// takes the options, reports the problems and saves the files the same way.
#ifndef TRALUNE_LYRICS_H
#define TRALUNE_LYRICS_H

#include <cstdio>
#include <string>
#include <vector>

class cmdline;

// A part of a lyric line that is highlighted on its own: a whole line, a word, or a syllable.
struct piece {
    long long ms;       // song time, in milliseconds from the start of the song, at which it is sung
    std::string text;   // UTF-8. The spaces between words belong to the pieces, so that a line's text
                        // is its pieces' texts one after the other.
};

// One line of the lyrics as the file times it.
struct lyricline {
    long long ms = 0;          // when it is sung: its first piece's time; for a gap, when the text clears
    std::vector<piece> pieces; // none: an instrumental gap, the text is cleared at ms
    long long end = -1;        // when its last piece ends, where the file says so; -1 where it does not
    int source = 0;            // its line in the file, for messages
};

struct song {
    std::string title, artist;       // shown before the first lyric, "title - artist" where that fits
                                     // the screen, else the title alone
    std::vector<lyricline> lines;    // in time order
};

// What the importers' shared options ask for.
struct scriptoptions {
    std::string output = "script.txt";  // "-" for standard output
    std::string picture;                // shown at the top before each line; none: clearscreen instead
    std::string background = "0,0,0";  // the clearscreen colour, "R,G,B"
    std::string font;                   // the font to measure lines with; "" for font.pcx beside the
                                        // script, made there when there is none
    long long lead = 1000;              // milliseconds a line may appear before it is sung
    bool fill = false;                  // keep what has been sung of a line highlighted
    long long offset = 0;               // milliseconds added to the file's own offset, same sign
    std::string songfile;               // "--song": the song to link as gnusong.mp3 beside the script
    bool songwanted = false;            // "--song" was given, with a file or (where a format names its
                                        // song) without
    int rows = 2;                       // 2: the next line stands on a second row; 1: one row, "text" alone
};

// Takes one of the shared options at the command line's current argument into o; false when the
// argument is none of them. Fails the run on a bad value. Where the format names its song (songnamed),
// a bare "--song" asks for that one (o.songwanted, o.songfile empty) and a file must be given as
// "--song=FILE", so that "--song" never swallows the argument after it.
bool importoption(cmdline& cl, scriptoptions& o, bool songnamed = false);
// The usage lines of the shared options, for --help; songnamed as for importoption.
const char* importoptionshelp(bool songnamed = false);

// The problems of one input file, reported on standard error as "FILE:LINE: warning: ..." (or
// "FILE: ..." where no line is to blame).
class report {
public:
    // Messages go to `to`, standard error unless a caller (a fuzz target) wants them elsewhere.
    explicit report(const std::string& file, FILE* to = stderr) : file(file), to(to) {}
    void warning(int line, const std::string& message) const;
    // "FILE: note: message": something done that the user should know of, no problem.
    void note(const std::string& message) const;
    // Ends the run with status 1 after "FILE: error: message"; nothing has been written by then.
    [[noreturn]] void fail(const std::string& message) const;
    const std::string& name() const { return file; }

private:
    std::string file;
    FILE* to;
};

// The folder a path lies in: "." for a bare name, "/" for a name at the root.
std::string folderof(const std::string& path);
// path as seen from folder: unchanged when absolute or when folder is ".".
std::string under(const std::string& folder, const std::string& path);

// Reads the whole file at path; fails the run through r when it cannot be read.
std::string readinput(const std::string& path, const report& r);

// The script for s, whole:
//  - times as "at(S.mmm)"; each piece is highlighted at its time (with o.fill, everything sung of the
//    line so far); times never go back;
//  - a line is never replaced before its last piece has been seen highlighted, nor before that piece
//    ends where the file says when (lyricline::end);
//  - with o.rows 1, each line appears with "text" up to o.lead before it is sung, in place of the line
//    before; with o.rows 2, with "textrow": the first line after the start or a gap appears up to
//    o.lead before it is sung on row 1, with the line after it on row 0, and while a line is sung the
//    next one stands unhighlighted on the other row; when a line is done, the line after the next
//    takes its row, so that lines take the two rows by turns and none moves (one row, with a
//    warning, when two rows of the font do not fit the screen);
//  - every change of a line clears the text rows first, "clearscreen" of o.background and then
//    "setimg" of o.picture if there is one; a gap clears them at its time; the last line stays up
//    3 s, then the script ends;
//  - a line longer than a script line holds, or (with a font) wider than the screen, is split at word
//    boundaries into lines that fit, the pieces keeping their times;
//  - ")" and "%" and control characters, which cannot stand in a script line, are left out with a
//    warning; characters the font has no glyph for are named in one warning.
// heading is the script's first comment line, naming where it came from. Without o.font and without a
// font.pcx beside o.output (in the current folder for "-"), one is drawn from DejaVu Sans Bold at 32
// pixels, the lines are fitted to it, and the next savescript puts it there; where it cannot be drawn,
// one warning says that every text line will be blank, and lines are only fitted to a script line.
std::string makescript(const song& s, const scriptoptions& o, const std::string& heading, report& r);

// heading as a script's comment line, line feed included: "; " and heading, each control character as
// "?", cut short with "..." to the 99 characters tralune reads of a line.
std::string commentline(const std::string& heading);

// What a symbolic link in folder to file should hold: file's path from folder, so that the two can move
// together, or its absolute path where they share no folder below the root (a file on another disc).
// Fails the run through r when the file or the folder cannot be found.
std::string linktarget(const std::string& file, const std::string& folder, const report& r);

// Writes text to o.output through a temporary file renamed into place, or to standard output for "-",
// with the font makescript made for its folder (said in one note), then links the song (o.songfile)
// as gnusong.mp3 beside it, by its path from there where the two share a folder below the root, so
// that they can be moved together. A song whose name does not end in ".mp3" is not linked: one warning
// gives the ffmpeg command that converts it. Checks first that the link can be made (an existing
// gnusong.mp3 that is not a symbolic link is never replaced), so that a failure leaves nothing half
// done; fails the run through r. For "-" the script's folder is the current folder.
void savescript(const std::string& text, const scriptoptions& o, const report& r);

#endif
