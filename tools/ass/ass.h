// tralune-ass's reading of SubStation Alpha subtitles (ASS, SSA) timed for karaoke: events with a
// start and an end, whose text carries a duration before each syllable in override tags ({\k42}).
#ifndef TRALUNE_ASS_H
#define TRALUNE_ASS_H

#include "lyrics.h"

#include <string>

// Reads the bytes of a subtitle file as the subtitle renderers read it:
//  - text: a byte-order mark (UTF-8, UTF-16), else UTF-8, else Windows-1252 with a warning; CR/LF
//    line ends; lines starting with ";" are comments;
//  - sections by their bracketed names, in any case: [Script Info] (Title: names the song),
//    [V4+ Styles] or [V4 Styles], [Events]; other sections are skipped;
//  - events "Dialogue:" and "Comment:", their fields in the order of the [Events] "Format:" line (the
//    standard Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text before one);
//    the last field is the rest of the line, commas included; times h:mm:ss.cc, the fraction read as
//    a decimal (".5" is 500 ms) with "." or ",";
//  - text: {...} override blocks are removed (an unclosed "{" is text); \k, \K, \kf and \ko start a
//    syllable, their number in centiseconds (100 without one) its duration, so that syllable i starts
//    at Start + 10 ms x the durations before it, clamped to End; \kt sets that clock to its number;
//    text before the first tag is sung at Start; \N breaks the line, \n and \h are spaces; drawings
//    (\p1 to \p0) are dropped;
//  - lyrics: Dialogue lines; Comment lines and templater lines (Effect "template..." or "code...") are
//    skipped, except that beside templater output (Effect "fx") the Comment lines of Effect "karaoke"
//    are the lyrics and the fx copies are not (other Dialogue lines stay); of several styles, the one
//    with the most lines with karaoke tags (then the most lines, then the first), unless o.style names
//    one; a line without tags is highlighted whole at its Start (a line with \N row by row, its time
//    shared evenly up to its End); a line repeated at the same Start (a layered copy) is taken once.
// Each row of an event becomes a lyric line whose end is its last syllable's end (the event's End
// for a line without tags). Malformed lines (too few fields, a bad
// time, an End before the Start) are skipped with a warning naming the line.
// error is set when the file is not text, has no [Events] section, or no line to sing.
// s holds the lines of the chosen style, one piece per syllable, events in Start order; style the
// style they were taken from. Pure: no file, no printing; any bytes give a result.
songread readass(const std::string& bytes, const std::string& name, const readoptions& o = readoptions());

#endif
