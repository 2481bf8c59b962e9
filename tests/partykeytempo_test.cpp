// The singer's key and tempo in the party, in-process: the keys' steps stop at the limits, the change
// is shown beside a song, the sync offset is kept with the settings, a changed song plays its render
// on a clock at its tempo (or as it is when the render failed), the picker's keys change a song in the
// store, and the preparer renders a changed song once its folder is ready.
#include "fakevideo.h"
#include "keytempo.h"
#include "party.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

namespace {

videokey pressed(int key, int ch = 0)
{
    videokey k;
    k.key = key;
    k.ch = ch;
    return k;
}

TEST(PartyKeyTempo, KeysStepWithinWhatTheStoreAccepts)
{
    EXPECT_EQ(stepkey(0, 1), 1);
    EXPECT_EQ(stepkey(KEY_MAX, 1), KEY_MAX);
    EXPECT_EQ(stepkey(KEY_MIN, -1), KEY_MIN);
    EXPECT_EQ(steptempo(100, -1), 95);
    EXPECT_EQ(steptempo(TEMPO_MAX - 2, 1), TEMPO_MAX);
    EXPECT_EQ(steptempo(TEMPO_MIN, -1), TEMPO_MIN);
    EXPECT_EQ(stepoffset(0, -1), -10);
    EXPECT_EQ(stepoffset(995, 1), 1000);
    EXPECT_EQ(stepoffset(-1000, -1), -1000);
}

TEST(PartyKeyTempo, AChangeIsShownByWhatDiffersFromTheOriginal)
{
    EXPECT_EQ(changelabel(2, 90), "key +2, 90%");
    EXPECT_EQ(changelabel(-1, 100), "key -1");
    EXPECT_EQ(changelabel(0, 110), "110%");
    EXPECT_EQ(changelabel(0, 100), "");
}

TEST(PartyKeyTempo, AChangedSongPlaysItsRenderAtItsTempoAndAFailedRenderPlaysTheSongAsItIs)
{
    queueentry e;
    e.title = "Waterloo";
    renderedsong none;
    songplay plain = playfor(e, none);
    EXPECT_EQ(plain.file, "gnusong.mp3");
    EXPECT_EQ(plain.tempo, 100);
    EXPECT_EQ(plain.warning, "");

    e.key = -2;
    e.tempo = 90;
    renderedsong ready;
    ready.now = renderedsong::READY;
    ready.path = "/cache/tralune/renders/x-key-2-tempo90.mp3";
    songplay changed = playfor(e, ready);
    EXPECT_EQ(changed.file, ready.path);
    EXPECT_EQ(changed.tempo, 90);
    EXPECT_EQ(changed.warning, "");

    renderedsong failed;
    failed.now = renderedsong::FAILED;
    failed.reason = "gnusong.mp3: cannot be read";
    songplay asitis = playfor(e, failed);
    EXPECT_EQ(asitis.file, "gnusong.mp3");
    EXPECT_EQ(asitis.tempo, 100);
    EXPECT_NE(asitis.warning.find("\"Waterloo\""), std::string::npos) << asitis.warning;
    EXPECT_NE(asitis.warning.find("cannot be read"), std::string::npos) << asitis.warning;
}

TEST(PartyKeyTempo, TheOffsetGivenIsStoredAndTheStoredOneHoldsWithoutIt)
{
    ScratchDir data;
    std::string error;
    std::unique_ptr<partystore> store = partystore::open(data.path(), error);
    ASSERT_TRUE(store) << error;
    partyoptions none;
    EXPECT_EQ(partyoffset(*store, none), 0);

    partyoptions given;
    ASSERT_EQ(readpartyoptions({"--offset", "-120"}, given, error), partyrun::RUN) << error;
    EXPECT_EQ(partyoffset(*store, given), -120);
    EXPECT_EQ(partyoffset(*store, none), -120);

    partyoptions bad;
    EXPECT_EQ(readpartyoptions({"--offset=1001"}, bad, error), partyrun::FAIL);
    EXPECT_NE(error.find("-1000 to 1000"), std::string::npos) << error;
    EXPECT_EQ(readpartyoptions({"--offset", "-"}, bad, error), partyrun::FAIL);

    // A stored value a user broke by hand is not taken.
    store->setsetting("offset", "5000");
    EXPECT_EQ(partyoffset(*store, none), 0);
    store->setsetting("offset", "12ms");
    EXPECT_EQ(partyoffset(*store, none), 0);
}

TEST(PartyKeyTempo, ThePickersKeysChangeTheSongBeingQueuedAndThenTheOneLastQueued)
{
    ScratchDir songs, data;
    songs.write("ABBA - Waterloo.lrc", "[00:01.00]La la\n");
    songs.write("ABBA - Waterloo.mp3", "not really music");
    std::string error;
    std::unique_ptr<partystore> store = partystore::open(data.path(), error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->scan({songs.path()}, nameorder::artisttitle, nullptr));
    picker pick(*store);
    pick.refresh();
    pick.key(pressed(VK_ENTER));
    ASSERT_TRUE(pick.naming());
    for (int key : {VK_F6, VK_F6, VK_F7})
        EXPECT_FALSE(pick.key(pressed(key)).changed);
    pick.key(pressed(VK_CHAR, 'A'));
    picker::outcome queued = pick.key(pressed(VK_ENTER));
    ASSERT_NE(queued.queued, 0);
    queueentry e;
    ASSERT_TRUE(store->entry(queued.queued, e));
    EXPECT_EQ(e.key, 2);
    EXPECT_EQ(e.tempo, 95);

    picker::outcome lower = pick.key(pressed(VK_F5));
    EXPECT_TRUE(lower.changed);
    EXPECT_NE(lower.news.find("key +1, 95%"), std::string::npos) << lower.news;
    for (int i = 0; i < 10; i++)
        pick.key(pressed(VK_F8));
    ASSERT_TRUE(store->entry(queued.queued, e));
    EXPECT_EQ(e.key, 1);
    EXPECT_EQ(e.tempo, TEMPO_MAX);
    EXPECT_FALSE(pick.key(pressed(VK_F8)).changed);
    // The search is untouched by them.
    EXPECT_EQ(pick.search(), "");
}

TEST(PartyKeyTempo, ThePreparerRendersAChangedSongOnceItsFolderIsReady)
{
    ScratchDir dir;
    std::string wav = dir / "tone.wav", mp3 = dir / "ABBA - Waterloo.mp3";
    std::string make = "sox -n -r 22050 -c 1 '" + wav + "' synth 1 sine 440 2>/dev/null && lame --quiet '" + wav +
                       "' '" + mp3 + "'";
    ASSERT_EQ(system(make.c_str()), 0) << make;
    dir.write("ABBA - Waterloo.lrc", "[00:00.20]First line\n");
    const char* before = getenv("XDG_CACHE_HOME");
    std::string saved = before ? before : "";
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);

    songinfo s;
    s.id = 7;
    s.kind = songkind::lrc;
    s.path = dir / "ABBA - Waterloo.lrc";
    s.audio = mp3;
    renderedsong r;
    {
        preparer prep(dir / "cache/tralune");
        EXPECT_EQ(prep.rendered(7, songchange{0, 100}).now, renderedsong::NONE);
        prep.want({s}, {songchange{2, 100}});
        for (int i = 0; i < 600; i++) {
            r = prep.rendered(7, songchange{2, 100});
            if (r.now == renderedsong::READY || r.now == renderedsong::FAILED)
                break;
            usleep(50000);
        }
        EXPECT_EQ(prep.state(7).now, preparedsong::READY);
    }
    if (before)
        setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CACHE_HOME");
    ASSERT_EQ(r.now, renderedsong::READY) << r.reason;
    EXPECT_EQ(r.path.compare(0, (dir / "cache/tralune/").size(), dir / "cache/tralune/"), 0) << r.path;
    EXPECT_NE(r.path.find("key+2-tempo100"), std::string::npos) << r.path;
    EXPECT_EQ(access(r.path.c_str(), R_OK), 0);
}

} // namespace
