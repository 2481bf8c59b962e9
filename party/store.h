// The party's stored state in one SQLite database: the song library and its search, the queue in fair
// order, the history and the settings, shared by the big screen's thread and the phone page's threads.
#ifndef TRALUNE_PARTYSTORE_H
#define TRALUNE_PARTYSTORE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// ---------------------------------------------------------------------------------------------------
// Where the data lives

// The folder the party keeps its database in: $XDG_DATA_HOME/tralune, else ~/.local/share/tralune
// (absolute paths only, as the XDG rules ask). "" when neither XDG_DATA_HOME nor HOME gives one.
// Creates nothing.
std::string defaultdatafolder();
// The folder for prepared songs, which may be deleted at any time: $XDG_CACHE_HOME/tralune, else
// ~/.cache/tralune. "" when neither gives one. Creates nothing.
std::string defaultcachefolder();

// ---------------------------------------------------------------------------------------------------
// Songs

// What a library song is made of. The stored value is the number, so the order never changes.
enum class songkind {
    cdg = 1,        // an .mp3 with a .cdg of the same name: path is the .cdg, audio the .mp3
    zip = 2,        // a .zip holding an .mp3 and a .cdg: path is the zip
    midi = 3,       // a .kar or .mid with lyrics: path is the MIDI file, no audio
    lrc = 4,        // an .lrc: path is the .lrc, audio the .mp3 of the same name
    ultrastar = 5,  // an UltraStar .txt: path is the .txt, audio the file it names
    ass = 6,        // an .ass or .ssa: path is the subtitles, audio the .mp3 of the same name
    script = 7,     // a folder holding a script.txt, a song prepared for tralune: path is the folder
};
// A short stable name for the kind, for the phone page's JSON and the tests: "cdg", "zip", "midi", "lrc",
// "ultrastar", "ass", "script"; "" for a value that is none of them.
const char* kindname(songkind k);
// The name shown on the big screen: "MP3+G", "MP3+G zip", "MIDI", "LRC", "UltraStar", "ASS", "tralune".
const char* kindlabel(songkind k);

// A song of the library as the database holds it.
struct songinfo {
    int64_t id = 0;
    songkind kind = songkind::cdg;
    std::string path;        // absolute; see songkind for which file
    std::string audio;       // absolute; "" where the kind has none
    std::string title;       // never empty: the file's name where nothing better is known
    std::string artist;      // may be empty
    int seconds = -1;        // the song's length where known, else -1
    bool failed = false;     // marked unplayable by markfailed, until a rescan sees the file changed
    std::string reason;      // why, when failed
    bool gone = false;       // its file was not found by the last scan of a folder that is there;
                             // kept so that queue entries and the history still name it, never
                             // found by search
};

// The order of artist and title in file names without tags: "Artist - Title" or "Title - Artist".
enum class nameorder { artisttitle, titleartist };

// Artist and title from a file's name without its extension: "Artist - Title", optionally after a disc
// code ("SC8126-05 - Artist - Title": a first part of letters and digits holding a digit, joined by
// dashes, with no spaces); underscores count as spaces; a name without " - " is all title. Titles
// holding " - " keep it ("Artist - Title - Live" gives the title "Title - Live"). Spaces around each
// part are trimmed; a part left empty falls back to the whole name as the title. Any bytes are
// accepted; the result is never longer than the input.
void splitsongname(const std::string& stem, nameorder order, std::string& artist, std::string& title);

// The FTS5 query for what a user typed: each word (a run of letters and digits; everything else
// separates words) quoted as a phrase with a prefix star, joined by AND, so every word must begin a
// word of the title or the artist and nothing typed is ever query syntax. "" when the text holds no
// word (the caller then lists the whole library).
std::string ftsquery(const std::string& text);

// ---------------------------------------------------------------------------------------------------
// The library scan

// What a scan reports as it goes, and at its end.
struct scanprogress {
    int64_t found = 0;       // songs seen so far in this scan (new, changed and unchanged)
    int64_t added = 0;       // new songs recorded
    int64_t changed = 0;     // songs whose files changed since the last scan (read again)
    int64_t moved = 0;       // songs found at another path (same name and size), kept with their id
    int64_t removed = 0;     // songs no longer found in a folder that is there (marked gone)
    int64_t skipped = 0;     // files that looked like songs but are not playable (a .cdg without its
                             // .mp3, a zip without both, MIDI without lyrics, ...)
    std::vector<std::string> missing;  // folders not there (an unplugged drive): their songs are kept
    bool done = false;       // true in the last report
};

// ---------------------------------------------------------------------------------------------------
// The queue

// Where a queued song stands. Stored as the number.
enum class entrystate {
    waiting = 0,   // in the queue
    upnext = 1,    // on the up-next screen: counts as its singer's turn, keeps its place
    playing = 2,   // being sung
    done = 3,      // sung or skipped: in the history
    failed = 4,    // could not be prepared or played: in the history with its reason
};

// A song in the queue or the history, with what the screen and the page show of its song.
struct queueentry {
    int64_t entry = 0;
    int64_t song = 0;
    std::string singer;
    std::string guest;       // the phone session that queued it; "" for the keyboard
    int key = 0;             // semitones, -6..+6
    int tempo = 100;         // percent, 75..125
    entrystate state = entrystate::waiting;
    std::string reason;      // why it failed, or "skipped"
    int64_t queuedat = 0;    // Unix milliseconds
    int64_t startedat = 0;   // Unix milliseconds at which it started playing; 0 before
    int64_t endedat = 0;     // Unix milliseconds at which it ended; 0 before
    int wait = 0;            // queue(): estimated seconds until it starts (0 for the song playing)
    // Of the song, as the library holds it.
    std::string title, artist;
    songkind kind = songkind::cdg;
    int seconds = -1;
};

// The limits the queue takes.
const int KEY_MIN = -6, KEY_MAX = 6;
const int TEMPO_MIN = 75, TEMPO_MAX = 125;
// The length assumed for a song whose length is not known, in wait estimates.
const int DEFAULT_SONG_SECONDS = 210;

// What the fair order is computed from: one row per waiting song.
struct fairrow {
    int64_t entry = 0;
    std::string singer;      // compared case-insensitively (ASCII letters), spaces at the ends trimmed
    int64_t seq = 0;         // when it was queued: a number that grows with each enqueue
    int held = -1;           // where the host put it (0 = first waiting song); -1 for none
};
// A singer's last turn: the sequence number of the turn (grows with each song that reaches the up-next
// screen). A singer with none has not sung yet.
struct singerturn {
    std::string singer;
    int64_t turn = 0;
};
// The fair order of the waiting songs, as entry ids. Songs the host moved (held >= 0) stand at that
// place (or the end, when the list is shorter; ties by seq). The others take turns: the singer whose
// last turn (in turns; the song up next or playing included by the caller) is longest ago goes first,
// singers who have not sung yet before all others, among themselves in the order of their first
// waiting song; then round after round in that order. Each singer's own songs keep their seq order.
// Pure: no database, any rows accepted (a row's singer may appear in turns or not).
std::vector<int64_t> fairorder(const std::vector<fairrow>& waiting, const std::vector<singerturn>& turns);

// Estimated seconds until each song of a list in playing order starts: a first song in the playing
// state has played elapsed seconds of its length; each song adds its length (DEFAULT_SONG_SECONDS
// where unknown) to the waits of those after it. Sets e.wait for each; never negative.
void estimatewaits(std::vector<queueentry>& list, double elapsed);

// ---------------------------------------------------------------------------------------------------
// The database

// One open party database. Every member may be called from any thread at the same time: calls are
// serialised on one connection by an internal mutex (a scan takes it only for short batches). A
// failing call returns false / 0 / an empty result and leaves its reason in error() for the calling
// thread; nothing here exits the process or throws.
class partystore {
public:
    // Opens or creates FOLDER/party.db (creating FOLDER and its parents), in WAL mode, and brings an
    // older schema up to date in one transaction. A song left playing or up next by a party that
    // ended without finishing it is up next again. nullptr with the reason in error when it cannot be
    // opened, is not a party database, or is newer than this program.
    static std::unique_ptr<partystore> open(const std::string& folder, std::string& error);
    ~partystore();
    partystore(const partystore&) = delete;
    partystore& operator=(const partystore&) = delete;

    // The reason the calling thread's last failing call failed.
    const std::string& error() const;
    // The database file's path.
    const std::string& path() const { return dbpath; }

    // ----- Library folders
    // Remembers a folder (made absolute; a folder already remembered is not added twice). false when
    // it is not a folder.
    bool addfolder(const std::string& folder);
    // Forgets a folder; its songs stay until removed by hand. false when it was not remembered.
    bool removefolder(const std::string& folder);
    // The remembered folders, in the order they were added.
    std::vector<std::string> folders();

    // ----- The scan
    // Walks the folders (following symbolic links, each real folder once, so links cannot loop) and
    // records every song (see songkind). Files whose size and time are unchanged since the last scan
    // are not read again; a changed file is read again and its failed mark cleared; a song no longer
    // found whose name and size turn up at a new path is moved there, keeping its id; a song no
    // longer found in a folder that is there is marked gone; a folder that is not there (its root
    // missing) keeps its songs as they are. Artist and title come from the file's own tags where the
    // format has them, else from its name in the given order. Songs are committed in batches, so
    // search() sees them as the scan goes; progress (may be empty) is called from the scanning thread,
    // with no lock held, after the first 256 new songs, then after batches twice as large each time
    // (at most 2,048), every 1,000 unchanged songs, and once at the end with done set. A file that cannot be read is skipped. One scan runs at a
    // time: a second call waits for the first. Sets *result to the final counts; false only when the
    // database fails.
    bool scan(const std::vector<std::string>& folders, nameorder order,
              const std::function<void(const scanprogress&)>& progress, scanprogress* result = nullptr);

    // ----- Search
    // Songs matching what a user typed (see ftsquery), case and accents ignored, in title order (then
    // artist), at most limit from offset; gone songs never. Empty text (or text without a word) lists
    // the whole library in title order.
    std::vector<songinfo> search(const std::string& text, int limit, int offset = 0);
    // The number of songs search would find with no limit.
    int64_t countsongs(const std::string& text = "");

    // ----- One song
    // The song with this id (gone ones too). false when there is none.
    bool song(int64_t id, songinfo& out);
    // Marks a song unplayable with a reason shown beside it; a rescan that sees its files changed
    // clears the mark. false when there is no such song.
    bool markfailed(int64_t id, const std::string& reason);
    // Clears the mark by hand.
    bool clearfailed(int64_t id);
    // Records a song's length once it is known (from its prepared music). false when there is none.
    bool setseconds(int64_t id, int seconds);

    // ----- The queue
    // Queues a song for a singer (spaces at the ends trimmed; never empty; the caller limits the
    // length) from a guest ("" for the keyboard), with a key and a tempo in their ranges. Placed in fair
    // order. The entry's id, or 0 when the song does not exist (or is gone), the singer is empty or a
    // value is out of range. Stored before it returns.
    int64_t enqueue(int64_t song, const std::string& singer, const std::string& guest = "", int key = 0,
                    int tempo = 100);
    // Removes a waiting or up-next song from the queue. false when it is not one (playing, done, or
    // unknown).
    bool remove(int64_t entry);
    // The host's move: puts a waiting song at this place among the waiting songs (0 = the next after
    // the one up next), where it stays, moving up as songs are sung, while the others keep their
    // fair turns around it. A place past the end puts it last. false for a song not waiting.
    bool move(int64_t entry, int position);
    // Removes every waiting song (not the one playing or up next). Returns how many.
    int clear();
    // Changes the key and tempo of a waiting or up-next song. false when out of range or not such a
    // song.
    bool change(int64_t entry, int key, int tempo);
    // The song playing, the one up next, then the waiting songs, in playing order, each with its
    // estimated wait (the playing song's remaining length counted from its start time).
    std::vector<queueentry> queue();
    // One entry, in the queue or the history. false when there is none.
    bool entry(int64_t id, queueentry& out);
    // How many songs of a guest are waiting or up next (the phone page's per-guest limit).
    int guestcount(const std::string& guest);
    // A number that changes with every change of the queue or of the song playing (never the same
    // after a restart), so a page can tell cheaply whether to fetch the queue again.
    int64_t queueversion();

    // ----- Taking songs in turn
    // The song to show on the up-next screen: the one already up next or playing (after a restart),
    // else the first waiting song, which becomes up next and counts as its singer's turn. false when
    // the queue is empty.
    bool takenext(queueentry& out);
    // The song up next starts playing (its start time is recorded). false when it is not up next.
    bool startplaying(int64_t entry);
    // The song up next or playing ends: done, with reason "" or "skipped". false when it is neither.
    bool finish(int64_t entry, const std::string& reason = "");
    // The song up next or playing could not be prepared or played: failed with its reason (the song
    // itself is not marked; call markfailed for that). false when it is neither.
    bool fail(int64_t entry, const std::string& reason);
    // Songs that were sung, skipped or failed, the latest first, at most limit.
    std::vector<queueentry> history(int limit);

    // ----- Settings
    // A stored setting ("offset", "singer", "nameorder", ...), or fallback when it was never set.
    std::string setting(const std::string& key, const std::string& fallback = "");
    // Stores a setting. false when the database fails.
    bool setsetting(const std::string& key, const std::string& value);

    // The connection and its lock, known only to the store's own units.
    struct impl;

private:
    partystore() = default;
    std::unique_ptr<impl> d;
    std::string dbpath;
};

#endif
