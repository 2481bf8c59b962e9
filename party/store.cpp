// The party's database: opening and migrating it, the library's folders, songs and search, the queue
// and its history, the settings. The scan lives in scan.cpp.
#include "storeimpl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

thread_local std::string lasterror;

// Written to the file's header, so a database of another program is never taken for ours.
const int APPLICATION_ID = 0x74726c70;   // "trlp"

// The schema, one step per version: steps[n] brings version n to n + 1. A new version adds a step
// (an ALTER TABLE, a new table, a rebuilt index) and never changes an old one, so a database of any
// older version is brought up to date in one transaction on open.
const char* const steps[] = {
    // 1: the library with its full-text index, the queue with its history, the settings.
    "CREATE TABLE folders(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE);"
    "CREATE TABLE songs("
    "  id INTEGER PRIMARY KEY,"
    "  kind INTEGER NOT NULL,"
    "  path TEXT NOT NULL UNIQUE,"
    "  name TEXT NOT NULL,"                 // the file's own name: with size, how a move is found
    "  size INTEGER NOT NULL,"
    "  mtime INTEGER NOT NULL,"             // nanoseconds
    "  audio TEXT NOT NULL DEFAULT '',"
    "  audiosize INTEGER NOT NULL DEFAULT 0,"
    "  audiomtime INTEGER NOT NULL DEFAULT 0,"
    "  title TEXT NOT NULL,"
    "  artist TEXT NOT NULL DEFAULT '',"
    "  seconds INTEGER,"                    // NULL: not known
    "  failed TEXT,"                        // NULL: not marked
    "  gone INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX songs_bytitle ON songs(gone, title COLLATE NOCASE, artist COLLATE NOCASE);"
    "CREATE INDEX songs_byname ON songs(name, size);"
    // Prefixes of one and two letters are indexed on their own, so the first letters a user types
    // do not walk every term of the index.
    "CREATE VIRTUAL TABLE songtext USING fts5(title, artist, content='songs', content_rowid='id',"
    "  tokenize='unicode61 remove_diacritics 2', prefix='1 2');"
    // The index holds the songs that are there: a song marked gone leaves it, and comes back when it
    // is found again.
    "CREATE TRIGGER songs_added AFTER INSERT ON songs WHEN new.gone = 0 BEGIN"
    "  INSERT INTO songtext(rowid, title, artist) VALUES (new.id, new.title, new.artist); END;"
    "CREATE TRIGGER songs_deleted AFTER DELETE ON songs WHEN old.gone = 0 BEGIN"
    "  INSERT INTO songtext(songtext, rowid, title, artist) VALUES ('delete', old.id, old.title, old.artist); END;"
    "CREATE TRIGGER songs_changed AFTER UPDATE OF title, artist, gone ON songs BEGIN"
    "  INSERT INTO songtext(songtext, rowid, title, artist) SELECT 'delete', old.id, old.title, old.artist"
    "    WHERE old.gone = 0;"
    "  INSERT INTO songtext(rowid, title, artist) SELECT new.id, new.title, new.artist WHERE new.gone = 0; END;"
    "CREATE TABLE queue("
    "  id INTEGER PRIMARY KEY,"
    "  song INTEGER NOT NULL,"
    "  singer TEXT NOT NULL,"
    "  guest TEXT NOT NULL DEFAULT '',"
    "  semitones INTEGER NOT NULL DEFAULT 0,"
    "  tempo INTEGER NOT NULL DEFAULT 100,"
    "  state INTEGER NOT NULL DEFAULT 0,"
    "  seq INTEGER NOT NULL,"               // the order songs were queued in
    "  place INTEGER NOT NULL DEFAULT 0,"   // the playing order of the waiting songs
    "  held INTEGER NOT NULL DEFAULT -1,"   // the place the host put it at, -1 for none
    "  turn INTEGER,"                       // grows with each song that reaches the up-next screen
    "  reason TEXT NOT NULL DEFAULT '',"
    "  queuedat INTEGER NOT NULL,"
    "  startedat INTEGER NOT NULL DEFAULT 0,"
    "  endedat INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX queue_bystate ON queue(state, place);"
    "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);",
};
const int SCHEMA_VERSION = int(sizeof steps / sizeof steps[0]);

// Creates a folder and its parents, private to the user as the XDG rules want for data.
bool makefolders(const std::string& folder)
{
    for (size_t i = 1; i <= folder.size(); i++) {
        if (i < folder.size() && folder[i] != '/')
            continue;
        std::string part = folder.substr(0, i);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string absolutepath(const std::string& path)
{
    std::string p = path;
    if (p.empty() || p[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd))
            return "";
        p = std::string(cwd) + "/" + p;
    }
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

namespace {

// A queue entry with its song, as readentry reads it.
#define ENTRY_SELECT                                                                                          \
    "SELECT q.id, q.song, q.singer, q.guest, q.semitones, q.tempo, q.state, q.reason, q.queuedat,"            \
    " q.startedat, q.endedat, coalesce(s.title, ''), coalesce(s.artist, ''), coalesce(s.kind, 1),"            \
    " coalesce(s.seconds, -1) FROM queue q LEFT JOIN songs s ON s.id = q.song"

queueentry readentry(const statement& s)
{
    queueentry e;
    e.entry = s.integer(0);
    e.song = s.integer(1);
    e.singer = s.text(2);
    e.guest = s.text(3);
    e.key = int(s.integer(4));
    e.tempo = int(s.integer(5));
    e.state = entrystate(s.integer(6));
    e.reason = s.text(7);
    e.queuedat = s.integer(8);
    e.startedat = s.integer(9);
    e.endedat = s.integer(10);
    e.title = s.text(11);
    e.artist = s.text(12);
    e.kind = songkind(s.integer(13));
    e.seconds = int(s.integer(14));
    return e;
}

songinfo readsong(const statement& s)
{
    songinfo o;
    o.id = s.integer(0);
    o.kind = songkind(s.integer(1));
    o.path = s.text(2);
    o.audio = s.text(3);
    o.title = s.text(4);
    o.artist = s.text(5);
    o.seconds = s.isnull(6) ? -1 : int(s.integer(6));
    o.failed = !s.isnull(7);
    o.reason = s.text(7);
    o.gone = s.integer(8) != 0;
    return o;
}

#define SONG_COLUMNS "id, kind, path, audio, title, artist, seconds, failed, gone"

// The place orders of the waiting songs are made again from the fair order after every change that
// can move them; the caller holds the lock and a transaction.
bool reorder(partystore::impl& d)
{
    std::vector<fairrow> rows;
    {
        statement s(d, "SELECT id, singer, seq, held FROM queue WHERE state = 0");
        while (s.row()) {
            fairrow r;
            r.entry = s.integer(0);
            r.singer = s.text(1);
            r.seq = s.integer(2);
            r.held = int(s.integer(3));
            rows.push_back(r);
        }
        if (s.failed())
            return false;
    }
    std::vector<singerturn> turns;
    {
        // A failed song was not sung: it takes no turn from its singer.
        statement s(d, "SELECT singer, max(turn) FROM queue WHERE state IN (1, 2, 3) AND turn IS NOT NULL GROUP BY singer");
        while (s.row())
            turns.push_back({s.text(0), s.integer(1)});
        if (s.failed())
            return false;
    }
    std::vector<int64_t> order = fairorder(rows, turns);
    for (size_t i = 0; i < order.size(); i++) {
        statement s(d, "UPDATE queue SET place = ? WHERE id = ? AND place <> ?");
        if (!s.bind(int64_t(i)).bind(order[i]).bind(int64_t(i)).run())
            return false;
    }
    return true;
}

// The waiting songs' ids in playing order.
std::vector<int64_t> waitingorder(partystore::impl& d)
{
    std::vector<int64_t> ids;
    statement s(d, "SELECT id FROM queue WHERE state = 0 ORDER BY place, seq");
    while (s.row())
        ids.push_back(s.integer(0));
    return ids;
}

int entrystateof(partystore::impl& d, int64_t entry)
{
    statement s(d, "SELECT state FROM queue WHERE id = ?");
    s.bind(entry);
    return s.row() ? int(s.integer(0)) : -1;
}

std::string trimmed(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

} // namespace

bool storefail(const std::string& why)
{
    lasterror = why;
    return false;
}

int64_t unixms()
{
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

partystore::impl::~impl()
{
    for (auto& s : statements)
        sqlite3_finalize(s.second);
    if (db)
        sqlite3_close_v2(db);
}

sqlite3_stmt* partystore::impl::prepare(const char* sql)
{
    auto it = statements.find(sql);
    if (it != statements.end())
        return it->second;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
        dbfail("prepare");
        return nullptr;
    }
    statements[sql] = s;
    return s;
}

bool partystore::impl::dbfail(const char* what)
{
    return storefail(std::string("database ") + what + ": " + sqlite3_errmsg(db));
}

transaction::transaction(partystore::impl& d) : d(d)
{
    begun = statement(d, "BEGIN IMMEDIATE").run();
}

transaction::~transaction()
{
    if (begun && !done)
        statement(d, "ROLLBACK").run();
}

bool transaction::commit()
{
    if (!begun || done)
        return false;
    done = statement(d, "COMMIT").run();
    if (!done) {
        statement(d, "ROLLBACK").run();
        done = true;
        return false;
    }
    return true;
}

std::unique_ptr<partystore> partystore::open(const std::string& folder, std::string& error)
{
    std::string where = absolutepath(folder);
    if (where.empty() || !makefolders(where)) {
        error = folder + ": cannot make the data folder: " + strerror(errno);
        return nullptr;
    }
    std::unique_ptr<partystore> p(new partystore);
    p->d.reset(new impl);
    p->dbpath = where + "/party.db";
    impl& d = *p->d;
    if (sqlite3_open_v2(p->dbpath.c_str(), &d.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = p->dbpath + ": cannot open: " + (d.db ? sqlite3_errmsg(d.db) : "out of memory");
        return nullptr;
    }
    // A second party on the same database (or a reader such as the sqlite3 shell) waits its turn
    // rather than failing at once.
    sqlite3_busy_timeout(d.db, 5000);
    auto fail = [&](const std::string& why) {
        error = p->dbpath + ": " + why;
        return nullptr;
    };
    auto pragma = [&](const char* sql, std::string* out) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(d.db, sql, -1, &s, nullptr) != SQLITE_OK)
            return false;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            if (out)
                *out = (const char*)sqlite3_column_text(s, 0) ? (const char*)sqlite3_column_text(s, 0) : "";
        sqlite3_finalize(s);
        return rc == SQLITE_DONE;
    };
    std::string value;
    if (!pragma("PRAGMA application_id", &value))
        return fail(sqlite3_errmsg(d.db));
    int appid = atoi(value.c_str());
    if (!pragma("PRAGMA user_version", &value))
        return fail(sqlite3_errmsg(d.db));
    int version = atoi(value.c_str());
    std::string tables;
    if (!pragma("SELECT count(*) FROM sqlite_master", &tables))
        return fail(sqlite3_errmsg(d.db));
    if ((appid != 0 && appid != APPLICATION_ID) || (appid == 0 && tables != "0"))
        return fail("is not a tralune party database");
    if (version > SCHEMA_VERSION)
        return fail("was written by a newer tralune-party (its version " + std::to_string(version) +
                    ", this one knows up to " + std::to_string(SCHEMA_VERSION) + ")");
    // WAL lets the phone page's readers go on while the screen writes; FULL makes each commit reach
    // the disc before it returns, so a queued song survives a power cut, not only a crash.
    if (!pragma("PRAGMA journal_mode=WAL", &value) || value != "wal")
        return fail("cannot use a write-ahead log (" + std::string(sqlite3_errmsg(d.db)) + ")");
    // The title index and the search index's first letters of a large library stay in memory: 8 MB
    // is 100,000 songs' worth.
    if (!pragma("PRAGMA synchronous=FULL", nullptr) || !pragma("PRAGMA cache_size=-8192", nullptr))
        return fail(sqlite3_errmsg(d.db));
    for (int v = version; v < SCHEMA_VERSION; v++) {
        std::string sql = std::string("BEGIN IMMEDIATE;") + steps[v] + "PRAGMA user_version=" + std::to_string(v + 1) +
                          ";PRAGMA application_id=" + std::to_string(APPLICATION_ID) + ";COMMIT;";
        char* message = nullptr;
        if (sqlite3_exec(d.db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            std::string why = message ? message : sqlite3_errmsg(d.db);
            sqlite3_free(message);
            sqlite3_exec(d.db, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail("cannot bring the database to version " + std::to_string(v + 1) + ": " + why);
        }
    }
    // A party that ended in the middle of a song sings it again first, after the up-next screen.
    if (!statement(d, "UPDATE queue SET state = 1, startedat = 0 WHERE state = 2").run())
        return fail(lasterror);
    d.version = unixms() * 1000;
    return p;
}

partystore::~partystore() = default;

const std::string& partystore::error() const
{
    return lasterror;
}

bool partystore::addfolder(const std::string& folder)
{
    std::string path = absolutepath(folder);
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return storefail(folder + ": not a folder");
    std::lock_guard<std::mutex> hold(d->lock);
    return statement(*d, "INSERT OR IGNORE INTO folders(path) VALUES (?)").bind(path).run();
}

bool partystore::removefolder(const std::string& folder)
{
    std::lock_guard<std::mutex> hold(d->lock);
    if (!statement(*d, "DELETE FROM folders WHERE path = ?").bind(absolutepath(folder)).run())
        return false;
    if (sqlite3_changes(d->db) == 0)
        return storefail(folder + ": not a library folder");
    return true;
}

std::vector<std::string> partystore::folders()
{
    std::lock_guard<std::mutex> hold(d->lock);
    std::vector<std::string> out;
    statement s(*d, "SELECT path FROM folders ORDER BY id");
    while (s.row())
        out.push_back(s.text(0));
    return out;
}

std::vector<songinfo> partystore::search(const std::string& text, int limit, int offset)
{
    // Matches of a few letters are many (a third of a library starts a word with "b"), of a few words
    // few, and each wants its own plan to find the first of them in title order: few matches are read
    // and sorted; many are found walking the title index until enough of them have come by, which
    // takes as many steps as the page is long divided by the share of songs that match.
    const size_t FEW = 1000;
    std::vector<songinfo> out;
    if (limit <= 0)
        return out;
    offset = std::max(offset, 0);
    std::string query = ftsquery(text);
    std::lock_guard<std::mutex> hold(d->lock);
    if (query.empty()) {
        statement s(*d, "SELECT " SONG_COLUMNS " FROM songs WHERE gone = 0"
                        " ORDER BY title COLLATE NOCASE, artist COLLATE NOCASE, id LIMIT ? OFFSET ?");
        s.bind(limit).bind(offset);
        while (s.row())
            out.push_back(readsong(s));
        return out;
    }
    std::vector<int64_t> matches;
    {
        statement s(*d, "SELECT rowid FROM songtext WHERE songtext MATCH ? ORDER BY rowid");
        s.bind(query);
        while (s.row())
            matches.push_back(s.integer(0));
    }
    if (matches.size() <= FEW) {
        statement s(*d, "SELECT s.id, s.kind, s.path, s.audio, s.title, s.artist, s.seconds, s.failed, s.gone"
                        " FROM songtext CROSS JOIN songs s ON s.id = songtext.rowid WHERE songtext MATCH ?"
                        " ORDER BY s.title COLLATE NOCASE, s.artist COLLATE NOCASE, s.id LIMIT ? OFFSET ?");
        s.bind(query).bind(limit).bind(offset);
        while (s.row())
            out.push_back(readsong(s));
        return out;
    }
    std::vector<int64_t> page;
    {
        statement s(*d, "SELECT id FROM songs WHERE gone = 0 ORDER BY title COLLATE NOCASE, artist COLLATE NOCASE, id");
        int skip = offset;
        while (int(page.size()) < limit && s.row())
            if (std::binary_search(matches.begin(), matches.end(), s.integer(0)) && skip-- <= 0)
                page.push_back(s.integer(0));
    }
    for (int64_t id : page) {
        statement s(*d, "SELECT " SONG_COLUMNS " FROM songs WHERE id = ?");
        s.bind(id);
        if (s.row())
            out.push_back(readsong(s));
    }
    return out;
}

int64_t partystore::countsongs(const std::string& text)
{
    std::string query = ftsquery(text);
    std::lock_guard<std::mutex> hold(d->lock);
    if (query.empty()) {
        statement s(*d, "SELECT count(*) FROM songs WHERE gone = 0");
        return s.row() ? s.integer(0) : 0;
    }
    statement s(*d, "SELECT count(*) FROM songtext WHERE songtext MATCH ?");
    s.bind(query);
    return s.row() ? s.integer(0) : 0;
}

bool partystore::song(int64_t id, songinfo& out)
{
    std::lock_guard<std::mutex> hold(d->lock);
    statement s(*d, "SELECT " SONG_COLUMNS " FROM songs WHERE id = ?");
    s.bind(id);
    if (!s.row())
        return s.failed() ? false : storefail("no song " + std::to_string(id));
    out = readsong(s);
    return true;
}

bool partystore::markfailed(int64_t id, const std::string& reason)
{
    std::lock_guard<std::mutex> hold(d->lock);
    if (!statement(*d, "UPDATE songs SET failed = ? WHERE id = ?").bind(reason).bind(id).run())
        return false;
    return sqlite3_changes(d->db) ? true : storefail("no song " + std::to_string(id));
}

bool partystore::clearfailed(int64_t id)
{
    std::lock_guard<std::mutex> hold(d->lock);
    if (!statement(*d, "UPDATE songs SET failed = NULL WHERE id = ?").bind(id).run())
        return false;
    return sqlite3_changes(d->db) ? true : storefail("no song " + std::to_string(id));
}

bool partystore::setseconds(int64_t id, int seconds)
{
    std::lock_guard<std::mutex> hold(d->lock);
    statement s(*d, "UPDATE songs SET seconds = ? WHERE id = ?");
    if (seconds > 0)
        s.bind(seconds);
    else
        s.bindnull();
    if (!s.bind(id).run())
        return false;
    d->version++;
    return sqlite3_changes(d->db) ? true : storefail("no song " + std::to_string(id));
}

int64_t partystore::enqueue(int64_t song, const std::string& singer, const std::string& guest, int key, int tempo)
{
    std::string name = trimmed(singer);
    if (name.empty())
        return storefail("a singer's name is needed");
    if (key < KEY_MIN || key > KEY_MAX)
        return storefail("the key goes from -6 to +6 semitones");
    if (tempo < TEMPO_MIN || tempo > TEMPO_MAX)
        return storefail("the tempo goes from 75 to 125 percent");
    std::lock_guard<std::mutex> hold(d->lock);
    transaction t(*d);
    if (!t.ok())
        return 0;
    {
        statement s(*d, "SELECT gone FROM songs WHERE id = ?");
        s.bind(song);
        if (!s.row() || s.integer(0))
            return s.failed() ? 0 : storefail("no song " + std::to_string(song));
    }
    int64_t seq = 0;
    {
        statement s(*d, "SELECT coalesce(max(seq), 0) + 1 FROM queue");
        if (!s.row())
            return 0;
        seq = s.integer(0);
    }
    if (!statement(*d, "INSERT INTO queue(song, singer, guest, semitones, tempo, seq, place, queuedat)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
             .bind(song).bind(name).bind(guest).bind(key).bind(tempo).bind(seq).bind(int64_t(1) << 40).bind(unixms())
             .run())
        return 0;
    int64_t entry = sqlite3_last_insert_rowid(d->db);
    if (!reorder(*d) || !t.commit())
        return 0;
    d->version++;
    return entry;
}

bool partystore::remove(int64_t entry)
{
    std::lock_guard<std::mutex> hold(d->lock);
    transaction t(*d);
    if (!t.ok())
        return false;
    int state = entrystateof(*d, entry);
    if (state != int(entrystate::waiting) && state != int(entrystate::upnext))
        return storefail("song " + std::to_string(entry) + " is not in the queue");
    if (state == int(entrystate::waiting)) {
        // The songs the host placed after it keep their place behind the same songs.
        std::vector<int64_t> order = waitingorder(*d);
        int64_t at = std::find(order.begin(), order.end(), entry) - order.begin();
        if (!statement(*d, "UPDATE queue SET held = held - 1 WHERE state = 0 AND held > ?").bind(at).run())
            return false;
    }
    if (!statement(*d, "DELETE FROM queue WHERE id = ?").bind(entry).run() || !reorder(*d) || !t.commit())
        return false;
    d->version++;
    return true;
}

bool partystore::move(int64_t entry, int position)
{
    std::lock_guard<std::mutex> hold(d->lock);
    transaction t(*d);
    if (!t.ok())
        return false;
    if (entrystateof(*d, entry) != int(entrystate::waiting))
        return storefail("song " + std::to_string(entry) + " is not waiting in the queue");
    std::vector<int64_t> order = waitingorder(*d);
    order.erase(std::find(order.begin(), order.end(), entry));
    size_t at = std::min(size_t(std::max(position, 0)), order.size());
    order.insert(order.begin() + long(at), entry);
    // Every song the host placed takes its place in the new order, so earlier moves keep holding.
    for (size_t i = 0; i < order.size(); i++) {
        statement s(*d, "UPDATE queue SET held = ?, place = ? WHERE id = ? AND (held >= 0 OR id = ?)");
        if (!s.bind(int64_t(i)).bind(int64_t(i)).bind(order[i]).bind(entry).run())
            return false;
    }
    if (!reorder(*d) || !t.commit())
        return false;
    d->version++;
    return true;
}

int partystore::clear()
{
    std::lock_guard<std::mutex> hold(d->lock);
    if (!statement(*d, "DELETE FROM queue WHERE state = 0").run())
        return 0;
    int n = sqlite3_changes(d->db);
    d->version++;
    return n;
}

bool partystore::change(int64_t entry, int key, int tempo)
{
    if (key < KEY_MIN || key > KEY_MAX)
        return storefail("the key goes from -6 to +6 semitones");
    if (tempo < TEMPO_MIN || tempo > TEMPO_MAX)
        return storefail("the tempo goes from 75 to 125 percent");
    std::lock_guard<std::mutex> hold(d->lock);
    if (!statement(*d, "UPDATE queue SET semitones = ?, tempo = ? WHERE id = ? AND state IN (0, 1)")
             .bind(key).bind(tempo).bind(entry).run())
        return false;
    if (!sqlite3_changes(d->db))
        return storefail("song " + std::to_string(entry) + " is not waiting in the queue");
    d->version++;
    return true;
}

std::vector<queueentry> partystore::queue()
{
    std::vector<queueentry> out;
    {
        std::lock_guard<std::mutex> hold(d->lock);
        statement s(*d, ENTRY_SELECT
                        " WHERE q.state IN (0, 1, 2) ORDER BY q.state DESC, q.place, q.seq");
        while (s.row())
            out.push_back(readentry(s));
    }
    double elapsed = 0;
    if (!out.empty() && out[0].state == entrystate::playing)
        elapsed = double(unixms() - out[0].startedat) / 1000;
    estimatewaits(out, elapsed);
    return out;
}

bool partystore::entry(int64_t id, queueentry& out)
{
    std::lock_guard<std::mutex> hold(d->lock);
    statement s(*d, ENTRY_SELECT " WHERE q.id = ?");
    s.bind(id);
    if (!s.row())
        return s.failed() ? false : storefail("no queued song " + std::to_string(id));
    out = readentry(s);
    return true;
}

int partystore::guestcount(const std::string& guest)
{
    std::lock_guard<std::mutex> hold(d->lock);
    statement s(*d, "SELECT count(*) FROM queue WHERE guest = ? AND state IN (0, 1)");
    s.bind(guest);
    return s.row() ? int(s.integer(0)) : 0;
}

int64_t partystore::queueversion()
{
    return d->version;
}

bool partystore::takenext(queueentry& out)
{
    int64_t id = 0;
    {
        std::lock_guard<std::mutex> hold(d->lock);
        {
            statement s(*d, "SELECT id FROM queue WHERE state IN (1, 2) ORDER BY state DESC, id LIMIT 1");
            if (s.row())
                id = s.integer(0);
            else if (s.failed())
                return false;
        }
        if (!id) {
            transaction t(*d);
            if (!t.ok())
                return false;
            {
                statement s(*d, "SELECT id FROM queue WHERE state = 0 ORDER BY place, seq LIMIT 1");
                if (!s.row())
                    return s.failed() ? false : storefail("the queue is empty");
                id = s.integer(0);
            }
            if (!statement(*d, "UPDATE queue SET state = 1, held = -1,"
                               " turn = (SELECT coalesce(max(turn), 0) + 1 FROM queue) WHERE id = ?")
                     .bind(id).run() ||
                !statement(*d, "UPDATE queue SET held = held - 1 WHERE state = 0 AND held > 0").run() ||
                !reorder(*d) || !t.commit())
                return false;
            d->version++;
        }
    }
    return entry(id, out);
}

bool partystore::startplaying(int64_t entry)
{
    std::lock_guard<std::mutex> hold(d->lock);
    if (!statement(*d, "UPDATE queue SET state = 2, startedat = ? WHERE id = ? AND state = 1").bind(unixms()).bind(entry).run())
        return false;
    if (!sqlite3_changes(d->db))
        return storefail("song " + std::to_string(entry) + " is not up next");
    d->version++;
    return true;
}

bool partystore::finish(int64_t entry, const std::string& reason)
{
    std::lock_guard<std::mutex> hold(d->lock);
    if (!statement(*d, "UPDATE queue SET state = 3, reason = ?, endedat = ? WHERE id = ? AND state IN (1, 2)")
             .bind(reason).bind(unixms()).bind(entry).run())
        return false;
    if (!sqlite3_changes(d->db))
        return storefail("song " + std::to_string(entry) + " is not up next or playing");
    d->version++;
    return true;
}

bool partystore::fail(int64_t entry, const std::string& reason)
{
    std::lock_guard<std::mutex> hold(d->lock);
    transaction t(*d);
    if (!t.ok())
        return false;
    if (!statement(*d, "UPDATE queue SET state = 4, reason = ?, endedat = ? WHERE id = ? AND state IN (1, 2)")
             .bind(reason).bind(unixms()).bind(entry).run())
        return false;
    if (!sqlite3_changes(d->db))
        return storefail("song " + std::to_string(entry) + " is not up next or playing");
    // The singer did not sing: their turn is given back.
    if (!reorder(*d) || !t.commit())
        return false;
    d->version++;
    return true;
}

std::vector<queueentry> partystore::history(int limit)
{
    std::vector<queueentry> out;
    std::lock_guard<std::mutex> hold(d->lock);
    statement s(*d, ENTRY_SELECT
                    " WHERE q.state IN (3, 4) ORDER BY q.endedat DESC, q.id DESC LIMIT ?");
    s.bind(std::max(limit, 0));
    while (s.row())
        out.push_back(readentry(s));
    return out;
}

std::string partystore::setting(const std::string& key, const std::string& fallback)
{
    std::lock_guard<std::mutex> hold(d->lock);
    statement s(*d, "SELECT value FROM settings WHERE key = ?");
    s.bind(key);
    return s.row() ? s.text(0) : fallback;
}

bool partystore::setsetting(const std::string& key, const std::string& value)
{
    std::lock_guard<std::mutex> hold(d->lock);
    return statement(*d, "INSERT INTO settings(key, value) VALUES (?, ?)"
                         " ON CONFLICT(key) DO UPDATE SET value = excluded.value")
        .bind(key).bind(value).run();
}
