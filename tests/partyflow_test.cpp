// The order of the party's screens, followed on a made-up clock in milliseconds.
#include "flow.h"

#include <gtest/gtest.h>

namespace {

flowfacts queued()
{
    flowfacts f;
    f.queued = true;
    return f;
}

flowfacts ready()
{
    flowfacts f = queued();
    f.prepared = flowfacts::READY;
    return f;
}

TEST(PartyFlow, ThePickerWaitsUntilASongIsQueued)
{
    partyflow flow(5000);
    EXPECT_EQ(flow.next(0, flowfacts()), STAY);
    EXPECT_EQ(flow.current(), partyflow::PICKER);
    EXPECT_EQ(flow.entry(), 0);
    EXPECT_EQ(flow.next(10, queued()), TAKE);
    flow.upnext(42, 10);
    EXPECT_EQ(flow.current(), partyflow::UPNEXT);
    EXPECT_EQ(flow.entry(), 42);
}

TEST(PartyFlow, TheSongStartsWhenTheCountdownIsOverAndNotBefore)
{
    partyflow flow(5000);
    flow.upnext(1, 1000);
    EXPECT_EQ(flow.next(1000, ready()), STAY);
    EXPECT_EQ(flow.next(5999, ready()), STAY);
    EXPECT_EQ(flow.next(6000, ready()), START);
    EXPECT_EQ(flow.current(), partyflow::SONG);
    EXPECT_EQ(flow.entry(), 1);
}

TEST(PartyFlow, ASongNotReadyWhenTheCountdownEndsStartsTheMomentItIs)
{
    partyflow flow(5000);
    flow.upnext(1, 0);
    EXPECT_EQ(flow.next(9000, queued()), STAY);
    EXPECT_EQ(flow.secondsleft(9000), 0);
    EXPECT_EQ(flow.next(9010, ready()), START);
}

TEST(PartyFlow, TheCountdownShowsWholeSecondsRoundedUp)
{
    partyflow flow(5000);
    flow.upnext(1, 100);
    EXPECT_EQ(flow.secondsleft(100), 5);
    EXPECT_EQ(flow.secondsleft(1099), 5);
    EXPECT_EQ(flow.secondsleft(1100), 4);
    EXPECT_EQ(flow.secondsleft(5099), 1);
    EXPECT_EQ(flow.secondsleft(5100), 0);
    // No countdown at all: the song starts as soon as it is ready.
    partyflow none(0);
    none.upnext(1, 0);
    EXPECT_EQ(none.secondsleft(0), 0);
    EXPECT_EQ(none.next(0, ready()), START);
}

TEST(PartyFlow, ASongThatCannotBePreparedGivesItsPlaceAtOnce)
{
    partyflow flow(5000);
    flow.upnext(1, 0);
    flowfacts f = queued();
    f.prepared = flowfacts::FAILED;
    EXPECT_EQ(flow.next(10, f), FAIL);
    EXPECT_EQ(flow.current(), partyflow::PICKER);
    // The next queued song is taken straight away.
    EXPECT_EQ(flow.next(10, queued()), TAKE);
}

TEST(PartyFlow, ASkipLeavesTheSongUpNextOrPlaying)
{
    partyflow flow(5000);
    flow.upnext(1, 0);
    flowfacts f = ready();
    f.skip = true;
    EXPECT_EQ(flow.next(100, f), DROP);
    EXPECT_EQ(flow.current(), partyflow::PICKER);
    flow.upnext(2, 0);
    ASSERT_EQ(flow.next(5000, ready()), START);
    EXPECT_EQ(flow.next(6000, f), DROP);
    EXPECT_EQ(flow.current(), partyflow::PICKER);
}

TEST(PartyFlow, ASongEndsFinishedOrFailedAndTheNextIsTaken)
{
    partyflow flow(0);
    flow.upnext(1, 0);
    ASSERT_EQ(flow.next(0, ready()), START);
    EXPECT_EQ(flow.next(1, ready()), STAY);
    flowfacts over = ready();
    over.songover = true;
    EXPECT_EQ(flow.next(2, over), FINISH);
    EXPECT_EQ(flow.next(3, queued()), TAKE);
    flow.upnext(2, 3);
    ASSERT_EQ(flow.next(3, ready()), START);
    flowfacts failed = ready();
    failed.songfailed = true;
    EXPECT_EQ(flow.next(4, failed), FAIL);
}

TEST(PartyFlow, QuitWinsAtEveryStage)
{
    flowfacts quit = ready();
    quit.quit = true;
    quit.skip = true;
    partyflow flow(0);
    EXPECT_EQ(flow.next(0, quit), QUIT);
    flow.upnext(1, 0);
    EXPECT_EQ(flow.next(0, quit), QUIT);
    ASSERT_EQ(flow.next(0, ready()), START);
    EXPECT_EQ(flow.next(0, quit), QUIT);
}

} // namespace
