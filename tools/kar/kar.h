// tralune-kar's reading of Standard MIDI Files: karaoke files (.kar) and files with lyric events, their
// syllables timed through the file's tempo map.
#ifndef TRALUNE_KAR_H
#define TRALUNE_KAR_H

#include "lyrics.h"

#include <string>

// Reads the bytes of a MIDI file:
//  - a Standard MIDI File ("MThd"), or one inside a RIFF "RMID" file's "data" chunk; format 0, 1 or 2;
//    tracks ("MTrk") with their lengths checked against the file; other chunks skipped by length;
//  - events with deltas of at most four bytes, running status, SysEx and meta events skipped by their
//    length; a tick becomes song time through every tempo event (FF 51) of every track, 500,000 us a
//    beat until the first, with the header's ticks a beat, or through a SMPTE division (frames a second
//    and ticks a frame; 29 is 29.97);
//  - the lyrics: the text events (FF 01) of the karaoke track (one named "Words" or "Lyrics", else the
//    one with the most syllables, the one with the "@K" header first among equals), where "@" starts a
//    header in any track ("@T": title, then artist) and a syllable starting with "\" or "/" starts a
//    new line; or the lyric
//    events (FF 05) of all tracks, where CR or LF ends a line and "\" and "/" start one; where the file
//    has both, whichever holds more syllables. A break event alone, after the line's last syllable,
//    is when that line ends;
//  - text as UTF-8 when all of it is, else as Windows-1252.
// s holds the lyric lines, one piece per syllable; smf the Standard MIDI File itself, without a RIFF
// wrapper, for a synthesizer; lengthms the song time of its last event, whatever its track.
// Syllables are at tick time, rounded to the millisecond; those more than 277 hours from the
// start are skipped with a warning. error is set (and nothing else is to be used) for an
// empty file, a file that is no MIDI file, a truncated or malformed one, and one without lyrics.
songread readkar(const std::string& bytes, const std::string& name, const readoptions& o = readoptions());

#endif
