// tralune-ultrastar's reading of UltraStar song files: a header of "#KEY:VALUE" lines, then one line
// per sung note, "TYPE START LENGTH PITCH TEXT", timed in beats, with line breaks and duet voices.
#ifndef TRALUNE_ULTRASTAR_H
#define TRALUNE_ULTRASTAR_H

#include "lyrics.h"

#include <string>

// Reads the bytes of a song file as the singing games read it:
//  - text: a byte-order mark (UTF-8, UTF-16), else UTF-8 when the bytes are UTF-8, else the
//    "#ENCODING" the header names (CP1252, ISO-8859-1), else Windows-1252;
//  - header lines "#KEY:VALUE" before the notes, keys in any case, unknown keys ignored; #BPM and #GAP
//    take a comma or a point before the fraction; #RELATIVE:YES counts beats from each voice's last
//    line break, moved on by a break's second number (or its only one);
//  - notes ":", "*", "F", "R", "G": sung syllables at GAP + beat * 60000 / (BPM * 4) ms,
//    rounded to the millisecond; the text is the rest of the line after the one separator that
//    follows the pitch, spaces included, so that syllables join into words until one has a space
//    before or after it; a syllable "~" or "-" (or none) holds the one before and adds no text;
//  - "- N", "- N M" and a bare "-" end a lyric line; "P1", "P2" switch the voice of a duet ("P3", which
//    some files use for lines both voices sing, counts for both) and voice (1 or 2) picks one; "E" ends
//    the notes.
// s holds the lines of the voice asked for (o.voice), one piece per syllable; audio the song's audio as
// #AUDIO (else #MP3) names it. Empty, unknown and malformed lines are skipped with a warning naming the
// line, as are
// notes more than 277 hours from the song's start (no at() reaches them); a duet says so in one
// warning. error is set when #BPM is missing, unreadable or 0, or when the voice has no syllable.
songread readultrastar(const std::string& bytes, const std::string& name, const readoptions& o = readoptions());

#endif
