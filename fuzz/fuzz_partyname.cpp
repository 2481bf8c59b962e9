// Fuzzes the party library's text handling: any bytes as a song file's name (split into artist and
// title both ways), as a tag (made valid UTF-8) and as what a user types into a search. The query built
// from any text must be one the full-text index takes without a syntax error.
#include "storeimpl.h"

#include <sqlite3.h>

#include <cstdlib>

namespace {

sqlite3* db;
sqlite3_stmt* search;

void setup()
{
    if (sqlite3_open(":memory:", &db) != SQLITE_OK ||
        sqlite3_exec(db, "CREATE VIRTUAL TABLE t USING fts5(title, artist, tokenize='unicode61 remove_diacritics 2',"
                         " prefix='1 2'); INSERT INTO t VALUES ('Army of Me', 'Björk'), ('Back in Black', 'AC/DC');",
                     nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "SELECT rowid FROM t WHERE t MATCH ?", -1, &search, nullptr) != SQLITE_OK)
        abort();
}

bool wellformed(const std::string& s)
{
    return validutf8(s) == s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!db)
        setup();
    std::string text((const char*)data, size);
    for (nameorder order : {nameorder::artisttitle, nameorder::titleartist}) {
        std::string artist, title;
        splitsongname(text, order, artist, title);
        if (artist.size() > text.size() || title.size() > text.size() || (title.empty() && !artist.empty()))
            abort();
    }
    std::string fixed = validutf8(text);
    if (!wellformed(fixed) || (wellformed(text) && fixed != text))
        abort();
    std::string query = ftsquery(text);
    if (!query.empty()) {
        sqlite3_bind_text(search, 1, query.data(), int(query.size()), SQLITE_TRANSIENT);
        int rc;
        while ((rc = sqlite3_step(search)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE)
            abort();
        sqlite3_reset(search);
    }
    return 0;
}
