// A song file made into a folder ready to sing, in-process: the one path every companion and the party
// take, so that a folder prepared at a party is the folder the companion would have written.
#ifndef TRALUNE_IMPORTSONG_H
#define TRALUNE_IMPORTSONG_H

#include <atomic>
#include <string>
#include <vector>

// The kinds of song file tralune imports.
enum class songformat {
    NONE,        // none tralune imports
    CDG,         // an MP3+G song: a CD+G stream (.cdg, or the .mp3 beside one)
    ZIP,         // an MP3+G song in a zip holding one .cdg and one .mp3
    MIDI,        // a MIDI karaoke file (.kar, .mid, .midi)
    LRC,         // time-synced lyrics (.lrc)
    ULTRASTAR,   // an UltraStar song file (.txt)
    ASS          // karaoke subtitles (.ass, .ssa)
};

// The kind of a song file by its name alone, the case of the extension ignored: an ".mp3" is CDG
// (it is the song of the stream beside it); NONE for every other name. Looks at no file.
songformat formatof(const std::string& path);

// What the companions' options ask for, with their defaults: a default here is the companion's.
struct importoptions {
    int rows = 2;                // text rows: 2, or 1 ("--rows")
    bool fill = true;            // keep the part of a line already sung lit ("--no-fill" clears it)
    long long lead = 1000;       // ms a line may appear before it is sung ("--lead")
    long long offset = 0;        // ms added to the file's own offset, positive shows lyrics earlier
    std::string font;            // the font to fit lines to; "" for font.pcx in the folder, made there
                                 // from DejaVu Sans Bold when there is none
    std::string picture;         // a PCX in the folder shown above the lines; "" for none
    std::string background = "0,0,0";  // the clearscreen colour, "R,G,B"
    std::string song;            // the song to link as gnusong.mp3; "" for the one the file names
                                 // (UltraStar #AUDIO) or the ".mp3" of the same name beside it
    bool songneeded = true;      // a folder without a song fails (the party plays nothing silent);
                                 // false: the script is written without one, as the companions do
    std::string style;           // ASS: the style to follow; "" for the one with most karaoke lines
    int voice = 1;               // UltraStar: the voice of a duet, 1 or 2
    bool audio = true;           // MIDI: render the music as gnusong.mp3
    std::string soundfont;       // MIDI: the soundfont to render with; "" for the default one
};

// What importsong did, or why it could not.
struct importresult {
    bool ok = false;                    // the folder holds the new song, whole
    songformat format = songformat::NONE;
    std::string error;                  // when !ok: one line a user understands, as the companion
                                        // would print it: "FILE:LINE: error: ..." where a line is to
                                        // blame, else "FILE: error: ..."
    std::string file;                   // the file the error is about (the song file, its audio, the
                                        // folder); "" when ok
    int line = 0;                       // its line, 0 where no line is to blame
    std::vector<std::string> messages;  // the warnings and notes the companion would have printed,
                                        // one line each ("FILE:LINE: warning: ...", "FILE: note: ..."),
                                        // in order, without line feeds
    std::string title, artist;          // the song's own tags, "" where the file has none
};

// Prepares folder from the song file at path exactly as the matching companion (tralune-cdg, -kar,
// -lrc, -ultrastar, -ass) would with "-o FOLDER/script.txt" and the options o: script.txt, font.pcx
// (made when the folder has none), gnusong.mp3 (a link to the song, or the MIDI file's music rendered
// with fluidsynth and lame) and for MP3+G the stream as song.cdg (linked, or unpacked from the zip).
// The folder must exist. Every check comes first, then the files are written through temporary names
// and renamed: on failure, or when *cancel turns true (checked between steps and while the music
// renders, which then stops), the folder is as it was and ok is false.
// Safe to call from any thread while another draws: it never prints, exits, changes the current
// folder, installs signal handlers, or touches the player's font or frame buffer; every exception
// (a damaged file, memory) becomes a failed result.
importresult importsong(const std::string& path, const std::string& folder, const importoptions& o = importoptions(),
                        const std::atomic<bool>* cancel = nullptr);

// A song's artist and title from its own tags, for a library that lists many songs.
struct songtags {
    songformat format = songformat::NONE;
    std::string title, artist;   // UTF-8; "" where the file has no such tag
};

// The tags of the song file named name (for its format) whose first bytes are head: UltraStar
// #TITLE/#ARTIST, LRC [ti:]/[ar:], ASS/SSA "Title:", MIDI karaoke "@T" lines (title, then artist).
// The format's own reader reads only the part where the tags stand (UltraStar's header, LRC's lines
// before the first time stamp, ASS's sections before [Events]; a MIDI file whole), so that the first
// 64 KB of a file (see SONGTAGS_BYTES) are enough; a cut, damaged or unknown file gives what was read
// so far. MP3+G and zips carry no tags: empty. Pure: no file system; never throws for any bytes.
songtags readsongtags(const std::string& head, const std::string& name);

// How much of a file readsongtags needs: its first SONGTAGS_BYTES bytes.
const size_t SONGTAGS_BYTES = 64 * 1024;

// readsongtags on the file at path, reading at most SONGTAGS_BYTES of it; format set from the name
// even where the file cannot be read (tags then empty). About 30 us a file of LRC or UltraStar from
// the page cache, measured on this machine.
songtags readsongtagsfile(const std::string& path);

#endif
