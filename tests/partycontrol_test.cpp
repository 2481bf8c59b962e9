// The party's controls as another thread sees them: requests refused when they cannot apply, taken
// once, the song time, and news of changes.
#include "control.h"
#include "tralune.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const long long SECOND = 1000000000;

TEST(PartyControl, SkipIsRefusedOnThePickerAndTakenOnceOnTheScreensOfASong)
{
    partycontrol c;
    EXPECT_FALSE(c.skip());
    EXPECT_EQ(c.takerequests(), 0);
    c.showupnext(7, 70);
    EXPECT_TRUE(c.skip());
    EXPECT_EQ(c.takerequests(), int(partycontrol::SKIP));
    EXPECT_EQ(c.takerequests(), 0);
    c.showsong(8, 80, monotonicns());
    EXPECT_TRUE(c.skip());
    EXPECT_EQ(c.takerequests() & partycontrol::SKIP, int(partycontrol::SKIP));
}

TEST(PartyControl, ASkipLeftOverFromAnEndedSongDoesNotSkipTheNext)
{
    partycontrol c;
    c.showsong(1, 10, monotonicns());
    ASSERT_TRUE(c.skip());
    // The song ended by itself before the party took the request.
    c.showpicker();
    c.showupnext(2, 20);
    EXPECT_EQ(c.takerequests() & partycontrol::SKIP, 0);
    // A skip asked on the up-next screen still holds when that same song starts.
    ASSERT_TRUE(c.skip());
    c.showsong(2, 20, monotonicns());
    EXPECT_EQ(c.takerequests() & partycontrol::SKIP, int(partycontrol::SKIP));
}

TEST(PartyControl, PauseAndResumeApplyOnlyToASongAndAlternate)
{
    partycontrol c;
    EXPECT_FALSE(c.pause());
    c.showupnext(1, 10);
    EXPECT_FALSE(c.pause());
    c.showsong(1, 10, monotonicns());
    EXPECT_FALSE(c.resume());
    EXPECT_TRUE(c.pause());
    EXPECT_FALSE(c.pause());
    EXPECT_EQ(c.takerequests(), int(partycontrol::PAUSE));
    // Asked for again until the party has paused.
    EXPECT_EQ(c.takerequests(), int(partycontrol::PAUSE));
    c.setpaused(true, monotonicns());
    EXPECT_EQ(c.takerequests(), 0);
    EXPECT_TRUE(c.now().paused);
    EXPECT_TRUE(c.resume());
    EXPECT_EQ(c.takerequests(), int(partycontrol::RESUME));
    // A pause asked and taken back before the party saw it asks for nothing.
    c.setpaused(false, monotonicns());
    EXPECT_TRUE(c.pause());
    EXPECT_TRUE(c.resume());
    EXPECT_EQ(c.takerequests(), 0);
}

TEST(PartyControl, SongTimeCountsFromTheMusicsStartAndStandsStillWhilePaused)
{
    partycontrol c;
    long long t0 = monotonicns();
    // The music starts 1.5 s from now.
    c.showsong(3, 30, t0 + SECOND * 3 / 2);
    nowplaying n = c.now();
    EXPECT_EQ(n.shows, nowplaying::SONG);
    EXPECT_EQ(n.entry, 3);
    EXPECT_EQ(n.song, 30);
    EXPECT_NEAR(n.seconds, -1.5, 0.2);
    // Paused at song time 10 s, for 5 s.
    long long start = t0 - 10 * SECOND;
    c.showsong(3, 30, start);
    c.setpaused(true, t0);
    EXPECT_NEAR(c.now().seconds, 10, 0.001);
    c.setpaused(false, t0 + 5 * SECOND);
    // Resumed 5 s after the pause began (in the past of the clock here: the time now is about t0), so
    // song time now is about 10 s less the 5 s held.
    EXPECT_NEAR(c.now().seconds, 5, 0.2);
    c.showpicker();
    EXPECT_EQ(c.now().seconds, 0);
    EXPECT_EQ(c.now().entry, 0);
}

TEST(PartyControl, EveryChangeGrowsTheVersionAndWakesAWaitingThread)
{
    partycontrol c;
    uint64_t v = c.version();
    c.queuechanged();
    EXPECT_GT(c.version(), v);
    EXPECT_EQ(c.takerequests(), int(partycontrol::QUEUE));
    v = c.version();
    c.showupnext(1, 1);
    EXPECT_GT(c.version(), v);

    v = c.version();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.changed();
    });
    long long before = monotonicns();
    uint64_t after = c.waitchange(v, 10000);
    long long waited = monotonicns() - before;
    other.join();
    EXPECT_NE(after, v);
    EXPECT_LT(waited, 5 * SECOND);
    // With no change it waits its time out.
    before = monotonicns();
    EXPECT_EQ(c.waitchange(after, 100), after);
    EXPECT_GE(monotonicns() - before, 90000000LL);
}

} // namespace
