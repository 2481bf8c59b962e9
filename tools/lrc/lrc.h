// tralune-lrc's reading of LRC lyrics: one time stamp per line, "[01:02.50]Some words", or a stamp
// before every word in enhanced files, "<01:02.50>Some <01:02.90>words".
#ifndef TRALUNE_LRC_H
#define TRALUNE_LRC_H

#include "lyrics.h"

#include <string>

// Reads LRC lyrics into a song as most players read it (there is no formal standard):
//  - stamps [m:ss], [mm:ss.f], [mm:ss.ff], [mm:ss.fff] (a decimal fraction), [mm:ss:ff] (hundredths),
//    minutes above 59 too; several stamps at the head of a line give one line each, with the same
//    text; lines are sorted by time, stably; lines at the same time are joined with " / " and an exact
//    repeat is dropped;
//  - header tags [key:value] anywhere: [offset:+N] (milliseconds; positive shows the lyrics earlier),
//    [ti:...] and [ar:...] for the title line; unknown tags are ignored;
//  - enhanced word stamps <mm:ss.ff> (absolute times); text before the first takes the line's stamp,
//    a bare stamp at the end ends the line's last word;
//  - a stamp with no text clears the text then; duet marks "F:", "M:", "D:" before a text are dropped.
// The bytes are text in UTF-8 (a byte-order mark, UTF-16 too), else Latin-1 with a warning. Problems (an
// untimed line, a bad offset) are warnings, one each, named after name. error is set when no line has
// a time. Pure: no file, no printing; any bytes at all give a result.
songread readlrc(const std::string& bytes, const std::string& name, const readoptions& o = readoptions());

#endif
