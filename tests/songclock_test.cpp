// The song's clock: its arithmetic on a time source of the test's own, then "at" and "cdg" waiting on
// it in real time, with the recording stand-in for the display.
#include "cdg.h"
#include "cdgstream.h"
#include "fakevideo.h"
#include "gfx.h"
#include "script.h"
#include "songclock.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

const long long S = 1000000000, MS = 1000000;

TEST(Songclock, AtEightyPercentTheSongsTenSecondsComeTwelveAndAHalfSecondsIn)
{
    songclock c(100 * S);
    c.settempo(80);
    EXPECT_EQ(c.songtime(112500 * MS), 10 * S);
    EXPECT_LT(c.songtime(112499 * MS), 10 * S);
    EXPECT_EQ(c.momentof(10 * S), 112500 * MS);
    c.settempo(125);
    EXPECT_EQ(c.momentof(10 * S), 108 * S);
}

TEST(Songclock, AnOffsetMovesEverythingThatMuchLaterOrEarlierAtAnyTempo)
{
    songclock c(100 * S);
    c.settempo(80);
    c.setoffset(200);
    EXPECT_EQ(c.momentof(10 * S), 112700 * MS);
    EXPECT_EQ(c.songtime(112700 * MS), 10 * S);
    c.setoffset(-300);
    EXPECT_EQ(c.momentof(10 * S), 112200 * MS);
    EXPECT_EQ(c.offset(), -300);
    // Before the sound starts the song time is negative, and with a negative offset song time 0 comes
    // before the song's start.
    EXPECT_EQ(c.momentof(0), 99700 * MS);
    EXPECT_EQ(c.songtime(99 * S), -560 * MS);
}

TEST(Songclock, APauseHoldsSongTimeAndTheResumeGoesOnFromThere)
{
    songclock c(0);
    c.settempo(50);
    c.pause(4 * S);
    EXPECT_TRUE(c.paused());
    EXPECT_EQ(c.songtime(9 * S), 2 * S);
    EXPECT_EQ(c.momentof(3 * S), LLONG_MAX);
    c.pause(6 * S); // a second pause changes nothing
    c.resume(10 * S);
    EXPECT_FALSE(c.paused());
    EXPECT_EQ(c.songtime(10 * S), 2 * S);
    EXPECT_EQ(c.momentof(3 * S), 12 * S);
    c.resume(20 * S); // nor does a resume when running
    EXPECT_EQ(c.songtime(12 * S), 3 * S);
}

TEST(Songclock, TheMomentOfASongTimeIsNeverOneNanosecondEarly)
{
    songclock c(7);
    for (int tempo : {75, 90, 99, 100, 101, 110, 125})
        for (long long t : {-1000000007LL, -1LL, 0LL, 1LL, 333333333LL, 10000000001LL}) {
            c.settempo(tempo);
            long long m = c.momentof(t);
            EXPECT_GE(c.songtime(m), t) << tempo << "% " << t;
            EXPECT_LT(c.songtime(m - 1), t) << tempo << "% " << t;
        }
}

// The commands waiting on the clock ------------------------------------------------------------------

class ClockCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        shownframes.clear();
        videoup = true;
        gfx::instance()->clearscreen(0, 0, 0);
    }
    void TearDown() override { videoup = false; }
    // Seconds that f takes.
    template <class F> static double timed(F f)
    {
        long long began = monotonicns();
        f();
        return (monotonicns() - began) / 1e9;
    }
    ScratchDir dir;
};

TEST_F(ClockCommands, AtTenRunsWhenTheSongHasPlayedTwelveAndAHalfSecondsAtEightyPercent)
{
    script s;
    // The song started 12.2 s ago: at 80 % its tenth second is 0.3 s away.
    s.clock.startat(monotonicns() - 12200 * MS);
    s.clock.settempo(80);
    strcpy(s.args, "10");
    double took = timed([&] { EXPECT_EQ(s.at(), 0); });
    EXPECT_GE(took, 0.29);
    EXPECT_LT(took, 0.6);
    // The same start at 100 %: long past, no wait at all.
    s.clock.settempo(100);
    EXPECT_LT(timed([&] { s.at(); }), 0.05);
}

TEST_F(ClockCommands, AtWaitsTheOffsetLongerAndANegativeOffsetShorter)
{
    script s;
    s.clock.startat(monotonicns() - 12200 * MS);
    s.clock.settempo(80);
    s.clock.setoffset(200);
    strcpy(s.args, "10");
    double later = timed([&] { s.at(); });
    EXPECT_GE(later, 0.49);
    EXPECT_LT(later, 0.8);
    s.clock.startat(monotonicns() - 12200 * MS);
    s.clock.setoffset(-200);
    double earlier = timed([&] { s.at(); });
    EXPECT_GE(earlier, 0.09);
    EXPECT_LT(earlier, 0.4);
}

TEST_F(ClockCommands, AtHeldByAPauseRunsOnlyAfterTheResume)
{
    script s;
    long long now = monotonicns();
    s.clock.startat(now - 9900 * MS);
    s.clock.pause(now);
    strcpy(s.args, "10");
    std::thread host([&] {
        usleep(400000);
        s.clock.resume(monotonicns());
    });
    double took = timed([&] { s.at(); });
    host.join();
    // 0.4 s paused, then the 0.1 s of song left.
    EXPECT_GE(took, 0.49);
    EXPECT_LT(took, 0.8);
}

TEST_F(ClockCommands, ACdgPacketDueAtTenSecondsIsDrawnWhenTheSongHasPlayedTwelveAndAHalf)
{
    // 3001 packets: colours and a red tile first, nothing more until packet 3000 (due at 10 s of song),
    // a green tile: the last picture differs from the first only by it.
    std::vector<Packet> stream(3001, cdgnothing());
    stream[0] = cdgcolours(0, {0x000000, 0xff0000, 0x00ff00, 0, 0, 0, 0, 0});
    stream[1] = cdgsolid(1, 1, 1);
    stream[3000] = cdgsolid(5, 5, 2);
    std::string path = dir.write("s.cdg", cdgbytes(stream));
    std::vector<pixel> first(SCREEN_PIXELS), last(SCREEN_PIXELS);
    cdgscreen a;
    a.apply(stream[0].data());
    a.apply(stream[1].data());
    a.draw(first.data());
    a.apply(stream[3000].data());
    a.draw(last.data());
    ASSERT_TRUE(first != last);

    script s;
    s.clock.startat(monotonicns() - 12200 * MS);
    s.clock.settempo(80);
    double took = timed([&] { EXPECT_EQ(s.cdg(path.c_str()), 0); });
    EXPECT_GE(took, 0.29);
    EXPECT_LT(took, 0.6);
    ASSERT_GE(shownframes.size(), 2u);
    EXPECT_TRUE(shownframes.front() == first) << "the packet due at 10 s was drawn before 12.5 s";
    EXPECT_TRUE(shownframes.back() == last);

    // With 200 ms of offset it comes 200 ms later still.
    shownframes.clear();
    s.clock.startat(monotonicns() - 12200 * MS);
    s.clock.setoffset(200);
    took = timed([&] { s.cdg(path.c_str()); });
    EXPECT_GE(took, 0.49);
    EXPECT_LT(took, 0.8);
}

} // namespace
