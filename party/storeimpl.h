// What the store's own units share inside: the connection, its lock, its prepared statements and the
// small wrappers that bind values and run them. Not for callers of the store.
#ifndef TRALUNE_PARTYSTOREIMPL_H
#define TRALUNE_PARTYSTOREIMPL_H

#include "store.h"

#include <sqlite3.h>

#include <atomic>
#include <map>

// Sets the calling thread's error() and returns false, for one-line failures.
bool storefail(const std::string& why);

struct partystore::impl {
    sqlite3* db = nullptr;
    std::mutex lock;
    std::mutex scanning;   // held for a whole scan, so two scans never race to record one file
    // Every statement is prepared on first use and kept for the life of the connection.
    std::map<const char*, sqlite3_stmt*> statements;
    std::atomic<int64_t> version{0};

    ~impl();
    // The statement for sql (a string literal: its address is the key); nullptr with error() set.
    sqlite3_stmt* prepare(const char* sql);
    // Sets error() from the connection's last message and returns false.
    bool dbfail(const char* what);
};

// One run of a prepared statement: values bound in order, rows read, the statement reset and its
// values cleared when it goes, so the next run starts clean.
class statement {
public:
    statement(partystore::impl& d, const char* sql) : d(d), s(d.prepare(sql)) {}
    ~statement()
    {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
    statement(const statement&) = delete;
    statement& operator=(const statement&) = delete;

    statement& bind(int64_t v)
    {
        if (s)
            sqlite3_bind_int64(s, ++n, v);
        return *this;
    }
    statement& bind(int v) { return bind(int64_t(v)); }
    statement& bind(const std::string& v)
    {
        if (s)
            sqlite3_bind_text(s, ++n, v.data(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    statement& bindnull()
    {
        if (s)
            sqlite3_bind_null(s, ++n);
        return *this;
    }
    // true while there is a row; at the end or on an error false, with failed() telling which.
    bool row()
    {
        if (!s)
            return false;
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE) {
            bad = true;
            d.dbfail("step");
        }
        return false;
    }
    // Runs a statement that gives no rows; false with error() set when it fails.
    bool run()
    {
        while (row()) {
        }
        return s && !bad;
    }
    bool failed() const { return !s || bad; }
    int64_t integer(int col) const { return sqlite3_column_int64(s, col); }
    bool isnull(int col) const { return sqlite3_column_type(s, col) == SQLITE_NULL; }
    std::string text(int col) const
    {
        const unsigned char* t = sqlite3_column_text(s, col);
        return t ? std::string((const char*)t, size_t(sqlite3_column_bytes(s, col))) : std::string();
    }

private:
    partystore::impl& d;
    sqlite3_stmt* s;
    int n = 0;
    bool bad = false;
};

// A write transaction (taken at once, so two writers never deadlock on an upgrade): rolled back when it
// goes without commit().
class transaction {
public:
    explicit transaction(partystore::impl& d);
    ~transaction();
    bool ok() const { return begun; }
    bool commit();

private:
    partystore::impl& d;
    bool begun = false, done = false;
};

// The path made absolute against the current folder, without a trailing slash; links are kept as
// they are. "" when the current folder cannot be had.
std::string absolutepath(const std::string& path);

// Unix time in milliseconds, for the queue's and the history's times.
int64_t unixms();

// Text from a file name or a tag as valid UTF-8: each byte that is not part of a well-formed UTF-8
// character is taken as Latin-1 (what older karaoke files and names are written in), so the screen
// and the page never get broken text.
std::string validutf8(const std::string& s);

#endif
