// Timed song text made into a tralune script: what the lyric importers share. Each importer reads its
// own format into a song; this unit writes the script from it, in the same shape for every format, and
// takes the options, reports the problems and saves the files the same way.
#ifndef TRALUNE_LYRICS_H
#define TRALUNE_LYRICS_H

#include <cstdint>
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

// A font drawn for a song folder that has none, to be saved there beside the script.
struct scriptfont {
    std::string path;            // where it goes; "" when none was made
    std::vector<uint8_t> pcx;
};

struct song {
    std::string title, artist;       // shown before the first lyric, "title - artist" where that fits
                                     // the screen, else the title alone
    std::vector<lyricline> lines;    // in time order
};

// What a reader makes of a song file: the song, or why there is none, and the warnings on the way. One
// result for every format; each format fills the fields it has.
struct songread {
    song s;                              // the lines to sing, in time order; the title and artist tags
    std::string error;                   // why there is nothing to sing along to; "" when s can be sung
    int errorline = 0;                   // the line of the file to blame for error, 0 for none
    std::vector<std::string> messages;   // "NAME:LINE: warning: ..." lines, in the order found
    std::string audio;                   // the song's audio as the file names it, relative to the file
                                         // (UltraStar #AUDIO); "" when it names none
    std::string smf;                     // MIDI: the Standard MIDI File without a RIFF wrapper, for a
                                         // synthesizer
    long long lengthms = 0;              // MIDI: the song time of the file's last event
    std::string style;                   // ASS: the style the lines were taken from
};

// What a reader may be asked for besides the bytes.
struct readoptions {
    std::string style;   // ASS: the style to follow; "" for the one with the most karaoke lines
    int voice = 1;       // UltraStar: the voice of a duet, 1 (P1) or 2 (P2)
};

// What the importers' shared options ask for.
struct scriptoptions {
    std::string output = "script.txt";  // "-" for standard output
    std::string picture;                // shown at the top before each line; none: clearscreen instead
    std::string background = "0,0,0";  // the clearscreen colour, "R,G,B"
    std::string font;                   // the font to measure lines with; "" for font.pcx beside the
                                        // script, made there when there is none
    long long lead = 1000;              // milliseconds a line may appear before it is sung
    bool fill = true;                   // keep what has been sung of a line highlighted, as karaoke
                                        // discs do; false ("--no-fill") lights the piece sung alone
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

// Why a song cannot be made: what report::fail throws, for the companion's driver to print (and end the
// run with status 1) or for importsong to return.
struct importfailure {
    std::string file;     // the file to blame
    int line = 0;         // its line, 0 where no line is to blame
    std::string message;
    // "FILE:LINE: error: message", or "FILE: error: message" without a line.
    std::string text() const;
};

// The problems of one input file, as "FILE:LINE: warning: ..." lines (or "FILE: ..." where no line is to
// blame): printed as they come for a companion, or kept for a caller that prints nothing (the party).
class report {
public:
    // Messages printed to `to` as they come: standard error unless a caller wants them elsewhere.
    explicit report(const std::string& file, FILE* to = stderr) : file(file), to(to) {}
    // Messages kept in *kept, one line each without its line feed; nothing printed.
    report(const std::string& file, std::vector<std::string>* kept) : file(file), to(nullptr), kept(kept) {}
    void warning(int line, const std::string& message) const;
    // "FILE: note: message": something done that the user should know of, no problem.
    void note(const std::string& message) const;
    // Passes on lines a reader kept, as they are.
    void relay(const std::vector<std::string>& lines) const
    {
        for (const std::string& l : lines)
            say(l);
    }
    // How far a long step (rendering music) has come, for a companion's terminal: on a terminal one line
    // kept up to date, else a line at every quarter; nothing for a report that keeps its messages.
    void progress(const std::string& label, int percent, bool done) const;
    // Throws importfailure for the file: nothing has been written by then.
    [[noreturn]] void fail(const std::string& message) const;
    [[noreturn]] void fail(int line, const std::string& message) const;
    const std::string& name() const { return file; }

private:
    void say(const std::string& line) const;
    std::string file;
    FILE* to;
    std::vector<std::string>* kept = nullptr;
    mutable int shown = -1;
};

// The folder a path lies in: "." for a bare name, "/" for a name at the root.
std::string folderof(const std::string& path);
// path as seen from folder: unchanged when absolute or when folder is ".".
std::string under(const std::string& folder, const std::string& path);

// Reads the whole file at path; fails the run through r when it cannot be read.
std::string readinput(const std::string& path, const report& r);

// The script for s, whole:
//  - times as "at(S.mmm)", o.offset taken from each; each piece is highlighted at its time (with
//    o.fill, everything sung of the line so far); times never go back;
//  - a line is never replaced before its last piece ends where the file says when (lyricline::end);
//    where it does not, the line stays until the next line is due, or 10 s after its last piece
//    where the next is later, so that no line is cleared while it is sung;
//  - the title line is shown from the start until the first line appears, and left out where that
//    is at once;
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
// pixels, the lines are fitted to it, and it is handed out in *made for the folder; where it cannot be
// drawn, one warning says that every text line will be blank, and lines are only fitted to a script
// line. Fails through r only for a picture or font path that cannot be told apart from a folder.
std::string makescript(const song& s, const scriptoptions& o, const std::string& heading, report& r,
                       scriptfont* made);

// The font makescript drew for a folder without one: draws it from DejaVu Sans Bold at 32 pixels.
// "" with *made filled, else why it cannot be drawn. Every call draws anew: nothing is kept between
// calls, so that two threads may call it at once.
std::string defaultscriptfont(std::vector<uint8_t>* pcx);
// The note a companion prints when it made the font at path.
std::string madefontnote(const std::string& path);

// heading as a script's comment line, line feed included: "; " and heading, each control character as
// "?", cut short with "..." to the 99 characters tralune reads of a line.
std::string commentline(const std::string& heading);

// What a symbolic link in folder to file should hold: file's path from folder, so that the two can move
// together, or its absolute path where they share no folder below the root (a file on another disc).
// Fails through r when the file or the folder cannot be found.
std::string linktarget(const std::string& file, const std::string& folder, const report& r);

// Whether a file's name says MP3, the one kind the player's song player plays.
bool ismp3(const std::string& path);
// path in single quotes for a shell command line a user may copy.
std::string shellquoted(const std::string& path);

#endif
