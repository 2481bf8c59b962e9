// The companions' one main routine: an importer is a row of a table (its name, its operand, where its
// song comes from, its own options), and this routine owns the argument loop, --help, the messages,
// signals and the folder.
#ifndef TRALUNE_DRIVER_H
#define TRALUNE_DRIVER_H

#include "cli.h"
#include "prepare.h"

// Where an importer's song comes from.
enum class songsource {
    GIVEN,     // "--song FILE": a file the user gives
    NAMED,     // the file names its song: a bare "--song" asks for it, "--song=FILE" gives another
    RENDERED,  // the importer makes it (MIDI music): no --song at all
    STREAM     // MP3+G: the song beside the stream, or "--song FILE"; no shared script options
};

struct importer {
    const char* program;        // "tralune-lrc"
    songformat format;
    const char* noun;           // what its operand is, for messages: "lyrics file"
    songsource source;
    void (*usage)();            // prints --help
    // Its own options: true when the argument was one of them; a bad value fails the run through cl.
    bool (*option)(cmdline& cl, importjob& job);
    // Called after the command line is read, before the song (checks across options); may be null.
    void (*check)(cmdline& cl, importjob& job);
    // Work done instead of a folder (tralune-cdg --frame); true when it did it. May be null.
    bool (*instead)(const importjob& job, report& r);
};

// Runs the importer as a program; the exit status: 0 when the folder was made, 1 with the messages on
// standard error otherwise. Ctrl-C or a TERM stops it with nothing changed, and the signal's own end.
int importmain(const importer& im, int argc, char** argv);

#endif
