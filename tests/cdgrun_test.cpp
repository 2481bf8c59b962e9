// The "cdg" command end to end: the built tralune on the dummy video driver, timed on streams built by
// hand, missing and damaged ones included.
#include "cdgstream.h"
#include "runner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

namespace {

struct CdgRun : public ::testing::Test {
    CdgRun() { st.addfont(); }
    Stage st;
};

// A stream of `packets` packets: colours, a preset, silence, and a tile as the last packet.
std::vector<Packet> quiet(int packets)
{
    std::vector<Packet> s = {cdgcolours(0, {0x000000, 0xF0F0F0}), cdgpreset(0)};
    s.resize(size_t(packets - 1), cdgnothing());
    s.push_back(cdgsolid(8, 25, 1));
    return s;
}

TEST_F(CdgRun, LastsTillItsLastPacketIsDueThenTheScriptGoesOn)
{
    // 901 packets: the last is due at 3 s of song time, 4.5 s after the start.
    st.write("s.cdg", cdgbytes(quiet(901)));
    st.write("s.txt", "cdg(s.cdg)\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
    EXPECT_GE(r.seconds, 4.45);
    EXPECT_LT(r.seconds, 6.0);
}

TEST_F(CdgRun, AStreamStartedLateCatchesUpAndEndsOnTheSongClock)
{
    // The stream starts 3 s in (1.5 s of song) and still ends when its last packet is due, 4.5 s in.
    st.write("s.cdg", cdgbytes(quiet(901)));
    st.write("s.txt", "sleep(3)\ncdg(s.cdg)\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
    EXPECT_GE(r.seconds, 4.45);
    EXPECT_LT(r.seconds, 6.0);
}

TEST_F(CdgRun, AMissingFileAFolderOrNoNameIsSkipped)
{
    mkdir(st.work("adir.cdg").c_str(), 0755);
    st.write("s.txt", "cdg(missing.cdg)\ncdg(adir.cdg)\ncdg()\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
    EXPECT_LT(r.seconds, 1.4) << "a stream that cannot be read must not wait";
}

TEST_F(CdgRun, RandomBytesPlayTheirLengthWithoutACrash)
{
    // 2 s of random packets, every other one in the graphics mode, and 7 bytes of a packet more.
    std::mt19937 random(19);
    std::string bytes(601 * CDG_PACKET + 7, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = char(random());
    for (size_t i = 0; i < bytes.size(); i += 2 * CDG_PACKET)
        bytes[i] = char(0x09 | (bytes[i] & 0xC0));
    st.write("s.cdg", bytes);
    st.write("s.txt", "cdg(s.cdg)\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
    EXPECT_GE(r.seconds, 3.45);
    EXPECT_LT(r.seconds, 5.0);
}

TEST_F(CdgRun, SigtermDuringAStreamEndsTheRunAtOnce)
{
    st.write("s.cdg", cdgbytes(cdgdense(30 * CDG_RATE)));
    st.write("s.txt", "cdg(s.cdg)\nhop()\n");
    RunOptions o;
    o.args = {"s.txt"};
    o.signalafter = 2.5;
    RunResult r = st.run(o);
    EXPECT_TRUE(r.exited) << "killed by the signal instead of quitting";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\n");
    EXPECT_LT(r.seconds, 3.0);
}

} // namespace
