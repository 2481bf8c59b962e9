// The running party: the big screen's loop from the picker through the up-next screen to the song and
// back, the keyboard, the song player, and the songs prepared ahead.
#ifndef TRALUNE_PARTY_H
#define TRALUNE_PARTY_H

#include "control.h"
#include "flow.h"
#include "options.h"
#include "prepare.h"
#include "screen.h"
#include "script.h"
#include "store.h"
#include "textline.h"

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct videokey;

// The keyboard's picker: the search, the matches, the choice, and the singer's name, read against
// the store. Separate from the screen's loop so that typing can be followed in-process.
class picker {
public:
    explicit picker(partystore& s) : store(s) {}

    // What a key did to the queue, if anything.
    struct outcome {
        bool quit = false;          // Ctrl+Q or the display closed
        int64_t queued = 0;         // the queue entry a singer's name just made, else 0
        bool changed = false;       // the key or tempo of a queued song was changed in the store
        std::string news;           // one line for the bottom of the screen, "" for none
    };
    // Takes one key. Typing goes to the search (which runs again) or, after Enter on a song, to the
    // singer's name, which is offered as the last one given; Enter then queues the song. Escape
    // leaves the name, or clears the search. F5/F6 lower/raise the key and F7/F8 the tempo of the
    // song being queued (while its singer's name is typed), else of the song last queued from the
    // keyboard while it waits or is up next.
    outcome key(const videokey& k);
    // Runs the search again (the library grew during a scan), keeping the chosen song where it can.
    void refresh();
    // What the screen shows of it (rows: the rows in view, at most `rows`).
    void fill(pickerview& v, int rows);

    const std::string& search() const { return typed.text(); }
    bool naming() const { return namingsong != 0; }
    int selected() const { return choice; }
    const std::vector<songinfo>& results() const { return found; }

private:
    void move(int by);
    void changesong(int keyby, int tempoby, outcome& out);

    partystore& store;
    textline typed{60};
    textline name{40};
    std::vector<songinfo> found;
    long long matches = 0;
    int choice = 0;
    int first = 0;
    int lastrows = 1;
    int64_t namingsong = 0;
    std::string namingtitle;
    bool offered = false;    // the name shown is the last one given, not yet typed over
    int namingkey = 0, namingtempo = 100;  // the change the song being queued gets
    int64_t lastqueued = 0;  // the entry last queued from the keyboard
};

// The most songs the picker's list holds at once; a search that matches more shows the count.
const int PICKER_LIMIT = 500;

class party {
public:
    // The store, the controls and the options must outlive the party. cache: the folder for
    // prepared songs and the party's own font.
    party(partystore& s, partycontrol& c, const partyoptions& o, const std::string& cache);
    ~party();

    // Runs the party on the open display until Ctrl+Q or the display closes; the music is stopped
    // and no song player is left when it returns. folders: the library's folders, scanned in the
    // background as it goes.
    void run(const std::vector<std::string>& folders);

    // Shows the phone page's address and its QR code on the picker and the up-next screens; code
    // must outlive the party. Without a call (or with a null code) they show none.
    void showphones(const std::string& url, const qrcode* code)
    {
        phoneurl = url;
        phonecode = code;
    }

    // The song running now, for the script's stop function and the display's wait hook (plain
    // functions, so they reach the party through this).
    static party* running;

private:
    // Takes the keys and the other threads' requests; during a song only Escape, Ctrl+Q and the
    // controls count. Called every 10 ms at least.
    void poll();
    void playsong();
    void refreshqueue();
    void drawscreen(long long nowms);
    void news(const std::string& line);
    void loadpartyfont();
    void moveoffset(int by);
    void drawoffset(long long nowms);
    std::string offsetnews() const;
    songchange changeof(const queueentry& e) const { return songchange{e.key, e.tempo}; }
    static bool scriptstopped();
    static int waithook();

    partystore& store;
    partycontrol& control;
    partyoptions options;
    std::string cache;
    preparer prep;
    partyflow flow;
    picker pick;

    std::vector<queueentry> queue;   // the queue as last read: playing/up next first
    queueentry current;              // the song up next or playing
    std::string newsline;
    long long newsuntil = 0;
    std::string home;                // the folder the party was started in

    // The song playing.
    pid_t player = -1;
    bool stopsong = false;           // Escape or a skip: leave the song
    bool quitting = false;
    bool paused = false;
    std::unique_ptr<script> runner;  // the song's script, made anew for each song
    std::string songerror;           // why the last song could not be played, "" when it could
    int offsetms = 0;                // the sync offset every song's clock gets
    long long offsetshownuntil = 0;  // while a song plays: the offset line stays until then (ms)
    std::vector<pixel> undershown;   // the song's pixels under the offset line
    std::vector<pixel> drawnover;    // the offset line's pixels as drawn

    // The background scan.
    std::thread scanner;
    std::atomic<long long> scanned{0};
    std::atomic<bool> scanning{false};
    std::atomic<bool> scangrew{false};
    long long lastrefresh = 0;
    bool redraw = true;

    std::string phoneurl;
    const qrcode* phonecode = nullptr;
};

#endif
