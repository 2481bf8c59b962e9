// A MIDI file's music rendered as an MP3 with fluidsynth and lame, run as child processes: what
// tralune-kar and the party give a MIDI karaoke song to play.
#ifndef TRALUNE_MIDIRENDER_H
#define TRALUNE_MIDIRENDER_H

#include <atomic>
#include <string>

class report;

// The soundfont rendered with when none is asked for: the link the General MIDI soundfont packages keep.
extern const char DEFAULT_SOUNDFONT[];

// Whether the file at path is a soundfont: a RIFF "sfbk" file, as SF2 and SF3 are.
bool issoundfont(const std::string& path);

// Renders smf (a Standard MIDI File, lengthms long) with the soundfont (DEFAULT_SOUNDFONT for "") into
// an MP3 at output, which must not exist yet and is the caller's to rename. The tools are found on
// PATH and started without a shell; their scratch files live in a private folder under $TMPDIR (else
// /tmp), removed whatever happens. Progress goes to r.progress, labelled with r's name. Safe to call
// from any thread: no signal handler, no current folder, no global. When *cancel turns true the tools
// are stopped within 0.1 s. true when output holds the whole MP3; false with one warning through r
// saying what to install or what went wrong (nothing through r when cancelled), and output removed.
bool rendermidi(const std::string& smf, long long lengthms, const std::string& soundfont, const std::string& output,
                report& r, const std::atomic<bool>* cancel);

#endif
