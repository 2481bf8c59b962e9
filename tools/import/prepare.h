// The steps from a song file to a folder ready to sing, shared by the companions' driver (which prints
// as it goes and ends the run on failure) and importsong (which keeps everything in its result).
#ifndef TRALUNE_PREPARE_H
#define TRALUNE_PREPARE_H

#include "importsong.h"
#include "lyrics.h"

#include <atomic>
#include <string>
#include <vector>

// A song file to make into a folder, as a companion's command line or the party asks for it.
struct importjob {
    songformat format = songformat::NONE;
    std::string input;           // the song file
    scriptoptions o;             // the writer's options; o.output is the script, "-" for standard output
    readoptions read;            // the reader's
    bool audio = true;           // MIDI: render the music
    std::string soundfont;       // MIDI: "" for the default
    bool songneeded = false;     // fail where the folder would have no song (the party)
    std::string heading;         // the program named in the script's first line, "tralune-lrc"
};

// Makes the folder job asks for: reads, checks, writes the script and plans every file, then commits
// them all or nothing (see songfolder). Messages go through r as they come; failures are thrown as
// importfailure (r.fail) with nothing changed, an interruption (*cancel true) too. Returns the script
// written; for o.output "-" it is written to no file, and the caller prints it. *tags gets the song's
// own title and artist.
std::string preparesong(const importjob& job, report& r, const std::atomic<bool>* cancel, songtags* tags);

// The file beside file with the same name and the extension ext (".mp3"), the extension's case ignored,
// as collections hold ".MP3" from old rippers beside ".cdg"; an exact match wins. "" when there is none.
std::string filebeside(const std::string& file, const std::string& ext);

// The CD+G stream in the file at path, checked to be one: whole packets of 24 bytes, some of them
// graphics. Fails through r for a file that cannot be read or is no stream (an MP3, a picture).
std::vector<unsigned char> readcdgstream(const std::string& path, const report& r);

// Whether the file name's extension is ext (".zip"), its case ignored.
bool hasextension(const std::string& path, const std::string& ext);

#endif
