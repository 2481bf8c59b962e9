// Changing a song's key and tempo ahead of playing it: the MP3 decoded, moved in key and tempo for a
// singer, and encoded again at exactly its changed length, kept in a cache so that each change of each
// song is rendered once.
#ifndef TRALUNE_RENDER_H
#define TRALUNE_RENDER_H

#include <functional>
#include <string>

// A change of a song: its key in semitones (up when positive) and its tempo in percent of the
// original's.
struct songchange {
    int key = 0;
    int tempo = 100;
};

// The changes a singer can ask for.
const int KEY_LOWEST = -6, KEY_HIGHEST = 6;
const int TEMPO_SLOWEST = 75, TEMPO_FASTEST = 125;

// Whether the change leaves the song as it is (key 0, tempo 100): the original is then played and
// nothing is rendered.
bool unchanged(songchange c);
// Whether the change lies within the ranges above.
bool validchange(songchange c);

// Told now and then how far a render has come, from 0 to 1 (a few hundred times over a song); returning
// false stops the render, which then fails. Called on the thread that renders.
typedef std::function<bool(double done)> renderprogress;

// The folder renders are kept in: $XDG_CACHE_HOME/tralune when that is an absolute path, else
// $HOME/.cache/tralune. "" when neither variable says where.
std::string rendercache();

// Where the render of the song at `song` changed by c is kept in the cache: a name made of a hash of
// the song's bytes, their count and the change, so that a copy of the song elsewhere finds the same
// render and a song replaced by another under the same name does not. Reads the whole song. "" with
// *error saying why when the song cannot be read or no cache folder is known.
std::string renderpath(const std::string& song, songchange c, std::string* error);

// Renders the MP3 at `song` changed by c into the MP3 `target`: the key moved with its formants kept (a
// voice stays a voice), the tempo changed without moving the key, the start where it was and the length
// exactly the original's times 100 / tempo, with the encoder's gapless information in the file so that
// players (mpg123) drop the encoder's padding. The file is written under a temporary name beside target
// and renamed to it when whole, so target is either absent, as before, or a whole render. true on
// success; false, with *error saying why and nothing left behind, when the song cannot be read or
// decoded (or lasts over three hours), c is out of range, target cannot be written, or progress asked
// to stop. Uses one core, prints nothing, keeps no state between calls: several threads may render at
// once, even to the same target.
bool rendersong(const std::string& song, songchange c, const std::string& target, const renderprogress& progress,
                std::string* error);

// The render of the song at `song` for c: taken from the cache when it was made before, else rendered
// into it now (its folders made as needed; temporary files of renders killed a day or more ago are
// removed). true with its path in *path, and *made telling whether it was rendered by this call; false
// with *error as for renderpath and rendersong.
bool cachedrender(const std::string& song, songchange c, const renderprogress& progress, std::string* path, bool* made,
                  std::string* error);

#endif
