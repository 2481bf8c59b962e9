// Songs of the library made ready to sing ahead of their turn: each prepared in the background into a
// folder of the cache, as its companion would write it, so that it starts the moment its turn comes.
#ifndef TRALUNE_PARTYPREPARE_H
#define TRALUNE_PARTYPREPARE_H

#include "keytempo.h"
#include "render.h"
#include "store.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

// How far a song is.
struct preparedsong {
    enum state { WAITING, PREPARING, READY, FAILED } now = WAITING;
    std::string folder;     // READY: the folder to play it from (script.txt, font.pcx, gnusong.mp3)
    std::string reason;     // FAILED: one line saying why, as the companion would have said it
};

class preparer {
public:
    // Prepares into cache/songs/ID/ (cache: an absolute folder, made with its parents when missing). One thread of its
    // own, started here.
    explicit preparer(const std::string& cache);
    // Stops the thread, cancelling a preparation under way (its folder is left as it was).
    ~preparer();
    preparer(const preparer&) = delete;
    preparer& operator=(const preparer&) = delete;

    // The songs to have ready, the most urgent first (the song up next or playing, then the one after
    // it). A song already ready or failed is not prepared again; one under way that is no longer asked
    // for is cancelled. A song prepared for an earlier party whose files have not changed since is
    // ready at once. Returns at once.
    // changes: the key and tempo each song is to be sung at (missing ones are unchanged); once its
    // folder is ready, a changed song's music is rendered too (from the cache when it was rendered
    // before), in the same order. A change no longer asked for is cancelled; a new change of a
    // prepared song renders again, its folder kept.
    void want(const std::vector<songinfo>& songs, const std::vector<songchange>& changes = {});
    // How far the song is (WAITING for a song never asked for).
    preparedsong state(int64_t song);
    // How the render of a song's music for change c stands (NONE for an unchanged c).
    renderedsong rendered(int64_t song, songchange c);
    // Forgets what was found for a song, so that a later want() prepares it again.
    void forget(int64_t song);

    // Prepares one song into folder on the calling thread, as the background thread does. For a song
    // already prepared for tralune (a folder with a script.txt) nothing is made: it plays from its own
    // folder. cancel may be nullptr.
    static preparedsong preparenow(const songinfo& s, const std::string& folder,
                                   const std::atomic<bool>* cancel = nullptr);

private:
    void work();

    std::string songs;
    std::mutex lock;
    std::condition_variable news;
    std::vector<songinfo> wanted;
    std::vector<songchange> changes;
    std::map<int64_t, preparedsong> found;
    std::map<std::tuple<int64_t, int, int>, renderedsong> renders;  // by song, key and tempo
    int64_t busy = 0;                 // the song being prepared, 0 for none
    std::tuple<int64_t, int, int> rendering{0, 0, 100};  // the render under way (song 0 for none)
    std::atomic<double> renderdone{0};
    std::atomic<bool> cancel{false};  // asks the preparation under way to stop
    bool ending = false;
    std::thread worker;
};

#endif
