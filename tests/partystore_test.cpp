// The party's store: song names, the full-text query, the fair order, the scan of a made library,
// search, the queue and its survival of a killed process.
#include "store.h"
#include "testfiles.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// ---- Names and queries

struct NameCase {
    const char* stem;
    nameorder order;
    const char* artist;
    const char* title;
};

TEST(SongName, SplitsArtistTitleDiscCodesAndOrders)
{
    const NameCase cases[] = {
        {"Abba - Waterloo", nameorder::artisttitle, "Abba", "Waterloo"},
        {"SC8126-05 - Björk - Army of Me (Live)", nameorder::artisttitle, "Björk", "Army of Me (Live)"},
        {"PHM0301-01 - Queen - Bohemian Rhapsody", nameorder::artisttitle, "Queen", "Bohemian Rhapsody"},
        {"05 - Toto - Africa", nameorder::artisttitle, "Toto", "Africa"},
        // A band whose name holds digits is no disc code.
        {"2Pac - Changes - Remix", nameorder::artisttitle, "2Pac", "Changes - Remix"},
        {"Blink182 - All the Small Things - Live", nameorder::artisttitle, "Blink182", "All the Small Things - Live"},
        {"Waterloo - Abba", nameorder::titleartist, "Abba", "Waterloo"},
        {"SC8126-05 - Army of Me - Björk", nameorder::titleartist, "Björk", "Army of Me"},
        {"Just a title", nameorder::artisttitle, "", "Just a title"},
        {"Under_scores_-_Make_Spaces", nameorder::artisttitle, "Under scores", "Make Spaces"},
        {" - Nobody", nameorder::artisttitle, "", "- Nobody"},
        {"AC-DC-Thunderstruck", nameorder::artisttitle, "", "AC-DC-Thunderstruck"},
    };
    for (const NameCase& c : cases) {
        std::string artist, title;
        splitsongname(c.stem, c.order, artist, title);
        EXPECT_EQ(artist, c.artist) << c.stem;
        EXPECT_EQ(title, c.title) << c.stem;
    }
}

TEST(SearchQuery, QuotesEveryWordAsAPrefixPhrase)
{
    EXPECT_EQ(ftsquery("ac dc"), "\"ac\"* AND \"dc\"*");
    EXPECT_EQ(ftsquery("AC/DC"), "\"AC\"* AND \"DC\"*");
    // Query syntax typed by a user is words or nothing.
    EXPECT_EQ(ftsquery("\"a\" OR b* NEAR(c)"), "\"a\"* AND \"OR\"* AND \"b\"* AND \"NEAR\"* AND \"c\"*");
    EXPECT_EQ(ftsquery("bjö"), "\"bjö\"*");
    EXPECT_EQ(ftsquery("  -*\"()^: "), "");
    EXPECT_EQ(ftsquery(""), "");
}

TEST(SearchQuery, KeepsAtMostSixteenWords)
{
    std::string many;
    for (int i = 0; i < 40; i++)
        many += "w" + std::to_string(i) + " ";
    std::string q = ftsquery(many);
    EXPECT_NE(q.find("\"w15\"*"), std::string::npos);
    EXPECT_EQ(q.find("w16"), std::string::npos);
}

// ---- The fair order, in-process

fairrow row(int64_t entry, const char* singer, int64_t seq, int held = -1)
{
    fairrow r;
    r.entry = entry;
    r.singer = singer;
    r.seq = seq;
    r.held = held;
    return r;
}

TEST(FairOrder, NewSingersTakeTurnsInTheOrderTheyQueued)
{
    // Anna queues three songs before Ben and Cleo queue theirs.
    std::vector<fairrow> rows = {row(1, "Anna", 1), row(2, "Anna", 2), row(3, "Anna", 3), row(4, "Ben", 4),
                                 row(5, "Cleo", 5), row(6, "Ben", 6)};
    EXPECT_EQ(fairorder(rows, {}), (std::vector<int64_t>{1, 4, 5, 2, 6, 3}));
}

TEST(FairOrder, LongestAgoGoesFirstAndNewcomersBeforeAll)
{
    // Anna sang last (turn 7), Ben before her (turn 3); Dan has not sung and queued last.
    std::vector<fairrow> rows = {row(1, "Anna", 1), row(2, "Ben", 2), row(3, "Anna", 3), row(4, "Dan", 9)};
    std::vector<singerturn> turns = {{"Anna", 2}, {"Ben", 3}, {"Anna", 7}};
    EXPECT_EQ(fairorder(rows, turns), (std::vector<int64_t>{4, 2, 1, 3}));
}

TEST(FairOrder, SingerNamesIgnoreCaseAndOuterSpaces)
{
    std::vector<fairrow> rows = {row(1, "anna", 1), row(2, "Ben", 2), row(3, " ANNA ", 3)};
    EXPECT_EQ(fairorder(rows, {{"Anna", 1}}), (std::vector<int64_t>{2, 1, 3}));
}

TEST(FairOrder, HostPlacedSongsStandWhereTheyWerePut)
{
    std::vector<fairrow> rows = {row(1, "Anna", 1), row(2, "Ben", 2), row(3, "Cleo", 3), row(4, "Anna", 4, 0),
                                 row(5, "Dan", 5, 9)};
    // Anna's second song was put first, Dan's past the end: it goes last.
    EXPECT_EQ(fairorder(rows, {}), (std::vector<int64_t>{4, 1, 2, 3, 5}));
}

TEST(WaitEstimate, CountsWhatIsLeftOfTheSongPlayingAndDefaultLengths)
{
    std::vector<queueentry> list(4);
    list[0].state = entrystate::playing;
    list[0].seconds = 200;
    list[1].state = entrystate::upnext;
    list[1].seconds = 100;
    list[2].seconds = -1;
    list[3].seconds = 50;
    estimatewaits(list, 50);
    EXPECT_EQ(list[0].wait, 0);
    EXPECT_EQ(list[1].wait, 150);
    EXPECT_EQ(list[2].wait, 250);
    EXPECT_EQ(list[3].wait, 250 + DEFAULT_SONG_SECONDS);
    // A song played past its length leaves nothing to wait for, never a negative wait.
    estimatewaits(list, 500);
    EXPECT_EQ(list[1].wait, 0);
}

// ---- A made library

void writefile(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

void makefolder(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
}

// A MIDI karaoke file: a header chunk, then one track holding the karaoke text layout's marker, a title
// line ("@T") and a lyric event (meta type 5), and the track's end.
std::string karfile(const std::string& title, bool lyrics)
{
    std::string track;
    auto meta = [&](int type, const std::string& text) {
        track += std::string("\x00\xFF", 2) + char(type) + char(text.size()) + text;
    };
    if (lyrics) {
        meta(1, "@KMIDI KARAOKE FILE");
        meta(1, "@T" + title);
        meta(5, "Hel");
    } else {
        meta(3, "Piano");
    }
    track += std::string("\x00\xFF\x2F\x00", 4);
    std::string size = {char(track.size() >> 24), char(track.size() >> 16), char(track.size() >> 8), char(track.size())};
    return std::string("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60", 14) + "MTrk" + size + track;
}

// Makes a library of every kind in dir: returns nothing; see the comments for what each file tests.
void makelibrary(const std::string& dir)
{
    // MP3+G with an upper-case extension.
    writefile(dir + "/Abba - Waterloo.mp3", "mp3 waterloo");
    writefile(dir + "/Abba - Waterloo.CDG", std::string(96, '\0'));
    // A disc code, accents and parentheses in the name.
    writefile(dir + "/SC8126-05 - Björk - Army of Me (Live).mp3", "mp3 army");
    writefile(dir + "/SC8126-05 - Björk - Army of Me (Live).cdg", std::string(192, '\0'));
    // A stream without its audio: not a song.
    writefile(dir + "/Lonely - No Audio.cdg", std::string(96, '\0'));
    // A zip of each, and one holding only the music, made with Python's zipfile.
    std::string py = "import zipfile, sys\n"
                     "with zipfile.ZipFile(sys.argv[1] + '/Queen - Killer Queen.zip', 'w') as z:\n"
                     "    z.writestr('Queen - Killer Queen.mp3', b'mp3')\n"
                     "    z.writestr('Queen - Killer Queen.cdg', bytes(96))\n"
                     "with zipfile.ZipFile(sys.argv[1] + '/Half - Only Music.zip', 'w') as z:\n"
                     "    z.writestr('Half - Only Music.mp3', b'mp3')\n";
    writefile(dir + "/makezip.py", py);
    ASSERT_EQ(system(("/usr/bin/python3 '" + dir + "/makezip.py' '" + dir + "'").c_str()), 0);
    unlink((dir + "/makezip.py").c_str());
    // Tags win over the name.
    makefolder(dir + "/lyrics (synced)");
    writefile(dir + "/lyrics (synced)/track 01.lrc", "[ar:AC/DC]\n[ti:Back in Black]\n[00:01.00]Back\n");
    writefile(dir + "/lyrics (synced)/track 01.mp3", "mp3");
    makefolder(dir + "/ultra/Queen - Bohemian");
    writefile(dir + "/ultra/Queen - Bohemian/song.txt",
              "#TITLE:Bohemian Rhapsody\n#ARTIST:Queen\n#MP3:audio.mp3\n#BPM:300\n: 0 4 0 Is\nE\n");
    writefile(dir + "/ultra/Queen - Bohemian/audio.mp3", "mp3");
    writefile(dir + "/ultra/readme.txt", "just a note\n");
    writefile(dir + "/Subs - Ass Name.ASS", "[Script Info]\nTitle: Café del Mar\n");
    writefile(dir + "/Subs - Ass Name.mp3", "mp3");
    // MIDI: a .kar is a karaoke file; a plain .mid without lyrics is music alone.
    writefile(dir + "/Midi Artist - Midi Name.kar", karfile("Yesterday", true));
    writefile(dir + "/plain.mid", karfile("", false));
    // A song prepared for tralune: the folder is the song.
    makefolder(dir + "/prepared/Bon Jovi - Livin' on a Prayer");
    writefile(dir + "/prepared/Bon Jovi - Livin' on a Prayer/script.txt", "text hello\n");
    writefile(dir + "/prepared/Bon Jovi - Livin' on a Prayer/gnusong.mp3", "mp3");
    // A link back to the top must not loop.
    ASSERT_EQ(symlink("..", (dir + "/prepared/up").c_str()), 0);
}

std::unique_ptr<partystore> openstore(const std::string& folder)
{
    std::string error;
    std::unique_ptr<partystore> s = partystore::open(folder, error);
    EXPECT_TRUE(s) << error;
    return s;
}

songinfo findone(partystore& s, const std::string& text)
{
    std::vector<songinfo> r = s.search(text, 10);
    EXPECT_EQ(r.size(), 1u) << "search: " << text;
    return r.empty() ? songinfo() : r[0];
}

class PartyLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        makefolder(scratch / "songs");
        makelibrary(scratch / "songs");
        store = openstore(scratch / "data");
        ASSERT_TRUE(store);
        ASSERT_TRUE(store->scan({scratch / "songs"}, nameorder::artisttitle, nullptr, &first)) << store->error();
    }
    scanprogress rescan()
    {
        scanprogress r;
        EXPECT_TRUE(store->scan({scratch / "songs", scratch / "drive"}, nameorder::artisttitle, nullptr, &r));
        return r;
    }
    ScratchDir scratch;
    std::unique_ptr<partystore> store;
    scanprogress first;
};

TEST_F(PartyLibrary, ScanRecordsEveryKindWithTagsOverNames)
{
    EXPECT_EQ(first.added, 8);
    EXPECT_EQ(store->countsongs(), 8);
    // The stream without audio, the zip without a stream and the MIDI without lyrics are skipped.
    EXPECT_EQ(first.skipped, 3);
    struct {
        const char* search;
        songkind kind;
        const char* title;
        const char* artist;
    } want[] = {
        {"waterloo", songkind::cdg, "Waterloo", "Abba"},
        {"army of me", songkind::cdg, "Army of Me (Live)", "Björk"},
        {"killer", songkind::zip, "Killer Queen", "Queen"},
        {"back in black", songkind::lrc, "Back in Black", "AC/DC"},
        {"bohemian", songkind::ultrastar, "Bohemian Rhapsody", "Queen"},
        {"cafe", songkind::ass, "Café del Mar", "Subs"},
        {"yesterday", songkind::midi, "Yesterday", "Midi Artist"},
        {"livin prayer", songkind::script, "Livin' on a Prayer", "Bon Jovi"},
    };
    for (auto& w : want) {
        songinfo s = findone(*store, w.search);
        EXPECT_EQ(s.kind, w.kind) << w.search;
        EXPECT_EQ(s.title, w.title) << w.search;
        EXPECT_EQ(s.artist, w.artist) << w.search;
    }
    songinfo cdg = findone(*store, "waterloo");
    EXPECT_EQ(cdg.path, scratch / "songs/Abba - Waterloo.CDG");
    EXPECT_EQ(cdg.audio, scratch / "songs/Abba - Waterloo.mp3");
    EXPECT_EQ(findone(*store, "prayer").path, scratch / "songs/prepared/Bon Jovi - Livin' on a Prayer");
    EXPECT_TRUE(store->search("lonely", 10).empty());
}

TEST_F(PartyLibrary, SearchIgnoresCaseAccentsAndPunctuation)
{
    EXPECT_EQ(findone(*store, "bjork").artist, "Björk");
    EXPECT_EQ(findone(*store, "BJÖRK").artist, "Björk");
    EXPECT_EQ(findone(*store, "ac dc").title, "Back in Black");
    EXPECT_EQ(findone(*store, "AC/DC back").title, "Back in Black");
    EXPECT_EQ(findone(*store, "caf").title, "Café del Mar");
    // Each word must start a word: "ueen" is inside "Queen", not at its start.
    EXPECT_TRUE(store->search("ueen", 10).empty());
    EXPECT_EQ(store->search("qu", 10).size(), 2u);
    // What would be query syntax is taken as words and separators.
    EXPECT_EQ(findone(*store, "\"bohemian").title, "Bohemian Rhapsody");
    EXPECT_EQ(findone(*store, "bohemian*)(").title, "Bohemian Rhapsody");
    EXPECT_EQ(findone(*store, "-bjork").artist, "Björk");
    EXPECT_EQ(findone(*store, "livin'").artist, "Bon Jovi");
    EXPECT_TRUE(store->search("NEAR(abba", 10).empty());
    EXPECT_TRUE(store->search("abba OR queen", 10).empty());
}

TEST_F(PartyLibrary, EmptySearchListsTheLibraryInTitleOrder)
{
    std::vector<songinfo> all = store->search("", 100);
    ASSERT_EQ(all.size(), 8u);
    for (size_t i = 1; i < all.size(); i++)
        EXPECT_LE(strcasecmp(all[i - 1].title.c_str(), all[i].title.c_str()), 0) << all[i].title;
    std::vector<songinfo> page = store->search("", 3, 3);
    ASSERT_EQ(page.size(), 3u);
    EXPECT_EQ(page[0].id, all[3].id);
}

TEST_F(PartyLibrary, RescanOfNothingChangedReadsNothing)
{
    scanprogress r = rescan();
    EXPECT_EQ(r.found, 8);
    EXPECT_EQ(r.added + r.changed + r.moved + r.removed, 0);
}

TEST_F(PartyLibrary, RescanFindsMovedAddedRemovedAndChangedFiles)
{
    songinfo waterloo = findone(*store, "waterloo");
    songinfo yesterday = findone(*store, "yesterday");
    ASSERT_TRUE(store->markfailed(yesterday.id, "no lyrics"));
    makefolder(scratch / "songs/moved");
    ASSERT_EQ(rename((scratch / "songs/Abba - Waterloo.CDG").c_str(), (scratch / "songs/moved/Abba - Waterloo.CDG").c_str()), 0);
    ASSERT_EQ(rename((scratch / "songs/Abba - Waterloo.mp3").c_str(), (scratch / "songs/moved/Abba - Waterloo.mp3").c_str()), 0);
    writefile(scratch / "songs/New - Song.mp3", "mp3");
    writefile(scratch / "songs/New - Song.cdg", std::string(96, '\0'));
    ASSERT_EQ(unlink((scratch / "songs/Subs - Ass Name.ASS").c_str()), 0);
    writefile(scratch / "songs/Midi Artist - Midi Name.kar", karfile("Yesterday Twice", true));

    scanprogress r = rescan();
    EXPECT_EQ(r.moved, 1);
    EXPECT_EQ(r.added, 1);
    EXPECT_EQ(r.removed, 1);
    EXPECT_EQ(r.changed, 1);
    songinfo moved = findone(*store, "waterloo");
    EXPECT_EQ(moved.id, waterloo.id);
    EXPECT_EQ(moved.path, scratch / "songs/moved/Abba - Waterloo.CDG");
    EXPECT_EQ(findone(*store, "new song").kind, songkind::cdg);
    EXPECT_TRUE(store->search("cafe", 10).empty());
    songinfo changed = findone(*store, "yesterday twice");
    EXPECT_EQ(changed.id, yesterday.id);
    EXPECT_FALSE(changed.failed);
    EXPECT_EQ(store->countsongs(), 8);
}

TEST_F(PartyLibrary, UnpluggedFolderKeepsItsSongs)
{
    makefolder(scratch / "drive/disc");
    writefile(scratch / "drive/disc/Drive - Song.mp3", "mp3");
    writefile(scratch / "drive/disc/Drive - Song.cdg", std::string(96, '\0'));
    EXPECT_EQ(rescan().added, 1);
    // Unplugged: the folder is gone.
    ASSERT_EQ(rename((scratch / "drive").c_str(), (scratch / "away").c_str()), 0);
    scanprogress r = rescan();
    EXPECT_EQ(r.removed, 0);
    ASSERT_EQ(r.missing.size(), 1u);
    EXPECT_EQ(r.missing[0], scratch / "drive");
    EXPECT_EQ(findone(*store, "drive song").title, "Song");
    // Unplugged with its mount point left behind, empty.
    makefolder(scratch / "drive");
    r = rescan();
    EXPECT_EQ(r.removed, 0);
    EXPECT_EQ(r.missing.size(), 1u);
    EXPECT_EQ(store->countsongs("drive"), 1);
}

TEST_F(PartyLibrary, ScanReportsProgressAsItGoesAndSongsAreSearchableMeanwhile)
{
    for (int i = 0; i < 1200; i++) {
        writefile(scratch / ("songs/Many - Song " + std::to_string(i) + ".mp3"), "m");
        writefile(scratch / ("songs/Many - Song " + std::to_string(i) + ".cdg"), "c");
    }
    std::vector<int64_t> counts;
    std::vector<int64_t> searchable;
    scanprogress r;
    ASSERT_TRUE(store->scan({scratch / "songs"}, nameorder::artisttitle, [&](const scanprogress& p) {
        counts.push_back(p.found);
        searchable.push_back(store->countsongs("many"));
    }, &r));
    ASSERT_GE(counts.size(), 3u);
    EXPECT_LT(searchable.front(), 1200);
    EXPECT_GT(searchable.front(), 0);
    EXPECT_EQ(searchable.back(), 1200);
    EXPECT_EQ(counts.back(), 1208);

    // Many matches are found by walking the title index, few by sorting them: both in title order.
    std::vector<songinfo> many = store->search("many", 60), next = store->search("many", 60, 60);
    std::vector<songinfo> few = store->search("many song 119", 60);
    ASSERT_EQ(many.size(), 60u);
    ASSERT_EQ(next.size(), 60u);
    ASSERT_EQ(few.size(), 11u);   // "Song 119" and "Song 1190" to "Song 1199"
    many.insert(many.end(), next.begin(), next.end());
    for (std::vector<songinfo>* list : {&many, &few})
        for (size_t i = 1; i < list->size(); i++)
            EXPECT_LT(strcasecmp((*list)[i - 1].title.c_str(), (*list)[i].title.c_str()), 0) << (*list)[i].title;
    EXPECT_EQ(many[0].title, "Song 0");
    EXPECT_EQ(few[0].title, "Song 119");
}

TEST_F(PartyLibrary, TitleArtistOrderReadsNamesTheOtherWay)
{
    scanprogress r;
    ASSERT_TRUE(store->scan({scratch / "songs"}, nameorder::titleartist, nullptr, &r));
    EXPECT_EQ(findone(*store, "waterloo").artist, "Waterloo");
    EXPECT_EQ(findone(*store, "waterloo").title, "Abba");
    // Tags do not depend on the order.
    EXPECT_EQ(findone(*store, "back in black").artist, "AC/DC");
}

// ---- The database

TEST(PartyDatabase, OpensInWriteAheadModeAndRefusesOtherFiles)
{
    ScratchDir scratch;
    {
        std::unique_ptr<partystore> s = openstore(scratch / "a/b");
        ASSERT_TRUE(s);
        EXPECT_EQ(s->path(), scratch / "a/b/party.db");
        EXPECT_TRUE(s->setsetting("singer", "Anna"));
        EXPECT_EQ(s->setting("singer"), "Anna");
        EXPECT_EQ(s->setting("offset", "0"), "0");
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((scratch / "a/b/party.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ((const char*)sqlite3_column_text(st, 0), "wal");
    sqlite3_finalize(st);
    // A later version of the program wrote this one.
    sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::string error;
    EXPECT_FALSE(partystore::open(scratch / "a/b", error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;

    makefolder(scratch / "text");
    writefile(scratch / "text/party.db", "this is not a database, only some words in a file of text");
    EXPECT_FALSE(partystore::open(scratch / "text", error));
    EXPECT_NE(error.find(scratch / "text/party.db"), std::string::npos) << error;

    makefolder(scratch / "other");
    ASSERT_EQ(sqlite3_open((scratch / "other/party.db").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE photos(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(partystore::open(scratch / "other", error));
    EXPECT_NE(error.find("not a tralune party database"), std::string::npos) << error;
}

TEST(PartyDatabase, DefaultFoldersFollowTheXdgVariables)
{
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_DATA_HOME", "/data", 1);
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(defaultdatafolder(), "/data/tralune");
    EXPECT_EQ(defaultcachefolder(), "/home/someone/.cache/tralune");
    // A relative value is ignored, as the XDG rules say.
    setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(defaultdatafolder(), "/home/someone/.local/share/tralune");
    unsetenv("XDG_DATA_HOME");
}

TEST(PartyDatabase, FoldersAreRememberedOnceEach)
{
    ScratchDir scratch;
    makefolder(scratch / "songs");
    std::unique_ptr<partystore> s = openstore(scratch / "data");
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->addfolder(scratch / "songs/"));
    EXPECT_TRUE(s->addfolder(scratch / "songs"));
    EXPECT_FALSE(s->addfolder(scratch / "none"));
    EXPECT_EQ(s->folders(), std::vector<std::string>{scratch / "songs"});
    EXPECT_TRUE(s->removefolder(scratch / "songs"));
    EXPECT_TRUE(s->folders().empty());
}

// ---- The queue

class PartyQueue : public PartyLibrary {
protected:
    int64_t id(const char* search) { return findone(*store, search).id; }
    std::vector<std::string> singers()
    {
        std::vector<std::string> out;
        for (const queueentry& e : store->queue())
            out.push_back(e.singer);
        return out;
    }
};

TEST_F(PartyQueue, TakesSingersInFairTurnsWithTheUpNextSongAsATurn)
{
    ASSERT_TRUE(store->enqueue(id("waterloo"), "Anna"));
    ASSERT_TRUE(store->enqueue(id("army"), "Anna"));
    ASSERT_TRUE(store->enqueue(id("killer"), "Ben"));
    EXPECT_EQ(singers(), (std::vector<std::string>{"Anna", "Ben", "Anna"}));
    queueentry next;
    ASSERT_TRUE(store->takenext(next));
    EXPECT_EQ(next.singer, "Anna");
    EXPECT_EQ(next.state, entrystate::upnext);
    // Cleo arrives while Anna is up next: Ben and Cleo have not sung, Anna has.
    ASSERT_TRUE(store->enqueue(id("bohemian"), "Cleo"));
    EXPECT_EQ(singers(), (std::vector<std::string>{"Anna", "Ben", "Cleo", "Anna"}));
    ASSERT_TRUE(store->startplaying(next.entry));
    ASSERT_TRUE(store->finish(next.entry));
    ASSERT_TRUE(store->takenext(next));
    EXPECT_EQ(next.singer, "Ben");
    // Anna, having sung, queues again: behind Cleo and her own waiting song's turn.
    ASSERT_TRUE(store->enqueue(id("back in black"), "anna"));
    EXPECT_EQ(singers(), (std::vector<std::string>{"Ben", "Cleo", "Anna", "anna"}));
    std::vector<queueentry> h = store->history(10);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h[0].title, "Waterloo");
}

TEST_F(PartyQueue, AFailedSongGivesItsTurnBack)
{
    ASSERT_TRUE(store->enqueue(id("waterloo"), "Anna"));
    int64_t again = store->enqueue(id("army"), "Anna");
    ASSERT_TRUE(store->enqueue(id("killer"), "Ben"));
    queueentry next;
    ASSERT_TRUE(store->takenext(next));
    ASSERT_TRUE(store->fail(next.entry, "the audio file is missing"));
    // Anna has still not sung and queued before Ben: her next song comes first.
    ASSERT_TRUE(store->takenext(next));
    EXPECT_EQ(next.entry, again);
    std::vector<queueentry> h = store->history(10);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(h[0].state, entrystate::failed);
    EXPECT_EQ(h[0].reason, "the audio file is missing");
}

TEST_F(PartyQueue, HostMovesRemovesClearsAndChanges)
{
    int64_t a = store->enqueue(id("waterloo"), "Anna");
    int64_t b = store->enqueue(id("killer"), "Ben");
    int64_t c = store->enqueue(id("bohemian"), "Cleo", "phone-1", -2, 90);
    ASSERT_TRUE(a && b && c);
    ASSERT_TRUE(store->move(c, 0));
    EXPECT_EQ(singers(), (std::vector<std::string>{"Cleo", "Anna", "Ben"}));
    // The moved song keeps its place when another singer queues.
    ASSERT_TRUE(store->enqueue(id("cafe"), "Dan"));
    EXPECT_EQ(store->queue()[0].entry, c);
    queueentry e;
    ASSERT_TRUE(store->entry(c, e));
    EXPECT_EQ(e.guest, "phone-1");
    EXPECT_EQ(e.key, -2);
    EXPECT_EQ(e.tempo, 90);
    EXPECT_EQ(store->guestcount("phone-1"), 1);
    EXPECT_TRUE(store->change(c, 3, 110));
    EXPECT_FALSE(store->change(c, 7, 100));
    EXPECT_FALSE(store->change(c, 0, 130));
    EXPECT_FALSE(store->enqueue(id("army"), "Eve", "", -7));
    EXPECT_FALSE(store->enqueue(id("army"), "  "));
    EXPECT_FALSE(store->enqueue(999999, "Eve"));
    EXPECT_TRUE(store->remove(a));
    EXPECT_FALSE(store->remove(a));
    ASSERT_TRUE(store->takenext(e));
    EXPECT_EQ(e.entry, c);
    EXPECT_EQ(e.key, 3);
    EXPECT_EQ(store->clear(), 2);
    EXPECT_EQ(store->queue().size(), 1u);
}

TEST_F(PartyQueue, QueueAndPlayingSongSurviveAQuit)
{
    int64_t a = store->enqueue(id("waterloo"), "Anna");
    int64_t b = store->enqueue(id("killer"), "Ben");
    queueentry e;
    ASSERT_TRUE(store->takenext(e));
    ASSERT_TRUE(store->startplaying(e.entry));
    int64_t before = store->queueversion();
    store.reset();
    store = openstore(scratch / "data");
    ASSERT_TRUE(store);
    EXPECT_NE(store->queueversion(), before);
    std::vector<queueentry> q = store->queue();
    ASSERT_EQ(q.size(), 2u);
    // The song that was playing is up next again, first.
    EXPECT_EQ(q[0].entry, a);
    EXPECT_EQ(q[0].state, entrystate::upnext);
    EXPECT_EQ(q[1].entry, b);
    ASSERT_TRUE(store->takenext(e));
    EXPECT_EQ(e.entry, a);
}

bool integrityok(const std::string& path)
{
    sqlite3* db = nullptr;
    bool ok = false;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            ok = std::string((const char*)sqlite3_column_text(st, 0)) == "ok";
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return ok;
}

TEST_F(PartyQueue, EveryAcknowledgedSongSurvivesAKilledProcess)
{
    int64_t song = id("waterloo");
    store.reset();
    for (int round = 0; round < 3; round++) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Queues, removes and takes songs as fast as it can, writing each queued entry's id once
            // enqueue has returned it.
            close(fds[0]);
            std::string error;
            std::unique_ptr<partystore> s = partystore::open(scratch / "data", error);
            for (int i = 0; s; i++) {
                int64_t e = s->enqueue(song, "Singer " + std::to_string(i % 5));
                if (!e)
                    _exit(3);
                if (write(fds[1], &e, sizeof e) != sizeof e)
                    _exit(4);
                if (i % 7 == 3)
                    s->move(e, 0);
            }
            _exit(2);
        }
        close(fds[1]);
        usleep(150000 + 100000 * round);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own with " << WEXITSTATUS(status);
        std::vector<int64_t> acknowledged;
        int64_t e;
        while (read(fds[0], &e, sizeof e) == sizeof e)
            acknowledged.push_back(e);
        close(fds[0]);
        ASSERT_FALSE(acknowledged.empty());
        ASSERT_TRUE(integrityok(scratch / "data/party.db"));
        std::unique_ptr<partystore> s = openstore(scratch / "data");
        ASSERT_TRUE(s);
        for (int64_t id : acknowledged) {
            queueentry q;
            EXPECT_TRUE(s->entry(id, q)) << "entry " << id << " of " << acknowledged.size() << " is lost";
        }
        EXPECT_GE(s->queue().size(), acknowledged.size());
    }
}

TEST_F(PartyQueue, ThreadsQueueAndSearchAtOnce)
{
    int64_t song = id("waterloo");
    std::vector<std::thread> threads;
    std::atomic<int> queued{0}, found{0};
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; i++) {
                if (store->enqueue(song, "Thread " + std::to_string(t)))
                    queued++;
                if (store->search("water", 5).size() == 1)
                    found++;
                store->queue();
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(queued, 100);
    EXPECT_EQ(found, 100);
    EXPECT_EQ(store->queue().size(), 100u);
}

} // namespace
