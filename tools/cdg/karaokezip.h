// An MP3+G karaoke zip read with libzip: its one CD+G stream and its one song, found, checked and
// unpacked without ever writing outside the folder asked for or a partly written file.
#ifndef TRALUNE_KARAOKEZIP_H
#define TRALUNE_KARAOKEZIP_H

#include <atomic>
#include <string>
#include <vector>

typedef struct zip zip_t;

// Limits on what an entry may hold once unpacked, far above any song (an 80-minute disc's stream is
// 35 MB, its MP3 at 320 kbit/s 192 MB), so that a zip bomb or a mistaken archive cannot fill the disc.
const long long MAX_STREAM_BYTES = 64LL << 20;
const long long MAX_SONG_BYTES = 512LL << 20;

class karaokezip {
public:
    karaokezip() = default;
    ~karaokezip();
    karaokezip(const karaokezip&) = delete;
    karaokezip& operator=(const karaokezip&) = delete;

    // Opens the zip at path and finds its stream (".cdg") and its song (".mp3"), the case of the
    // extension ignored; macOS's "__MACOSX/" copies and "._" files are not counted. false, with why()
    // saying why in one line, when the file cannot be read as a zip, when any entry's name climbs out
    // of the folder (a ".." part, or an absolute path), when there is not exactly one of each, or when
    // one says it is bigger than its limit or the stream holds no whole packet.
    bool open(const std::string& path);
    const std::string& why() const { return reason; }
    // The entries' own file names, without the folders they sit in inside the zip.
    std::string streamname() const;
    std::string songname() const;

    // The stream's bytes, whole. false with why() when the entry cannot be read or holds more than
    // its size said.
    bool readstream(std::vector<unsigned char>& bytes);
    // Writes the stream to streamtemp and the song to songtemp, whole, for the caller to rename into
    // place; stops when *stop turns true. false with why(), and what was written is the caller's to
    // remove.
    bool unpack(const std::string& streamtemp, const std::string& songtemp, const std::atomic<bool>* stop = nullptr);

private:
    struct entry {
        long long index = -1;
        std::string name;
        long long size = 0;
    };
    // Reads e whole, handing each piece to put; false with why() on a read error, or when the entry
    // gives more than its size (a lying size is how zip bombs get past a check of the header).
    template <class F> bool read(const entry& e, F put);
    // Writes e whole to temp; false with why(), temp removed.
    bool unpackto(const entry& e, const std::string& temp);

    zip_t* z = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    std::string file, reason;
    entry stream, song;
};

#endif
