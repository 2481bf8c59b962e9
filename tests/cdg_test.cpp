// The CD+G decoder on hand-built packet streams, screens compared pixel for pixel, and the stream reader.
#include "cdg.h"
#include "cdgstream.h"
#include "fakevideo.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// Feeds the stream to a fresh screen, twice: once as written and once with the top two bits of every
// byte set, as rips leave them; both screens must agree (compared by the caller through the result).
struct Fed {
    cdgscreen plain, ripped;
    std::vector<bool> changed;
};
void feed(Fed& f, const std::vector<Packet>& stream)
{
    for (const Packet& p : stream) {
        Packet r = p;
        for (unsigned char& b : r)
            b |= 0xC0;
        f.changed.push_back(f.plain.apply(p.data()));
        EXPECT_EQ(f.changed.back(), f.ripped.apply(r.data()));
    }
}

// The first pixel where two memories differ, "" when none does.
std::string firstdiff(const cdgscreen& s, const unsigned char (&want)[CDG_HEIGHT][CDG_WIDTH])
{
    for (int y = 0; y < CDG_HEIGHT; y++)
        for (int x = 0; x < CDG_WIDTH; x++)
            if (s.memory[y][x] != want[y][x])
                return "(" + std::to_string(x) + "," + std::to_string(y) + "): " + std::to_string(s.memory[y][x]) +
                       " instead of " + std::to_string(want[y][x]);
    return "";
}

// A memory of solid tiles: every tile the background colour except those listed by (row, column).
struct Tiles {
    unsigned char m[CDG_HEIGHT][CDG_WIDTH];
    Tiles(int background, std::map<std::pair<int, int>, int> tiles = {})
    {
        for (int y = 0; y < CDG_HEIGHT; y++)
            for (int x = 0; x < CDG_WIDTH; x++) {
                auto t = tiles.find({y / 12, x / 6});
                m[y][x] = (unsigned char)(t == tiles.end() ? background : t->second);
            }
    }
    // Fills tile row r (or column c) whole, for the strips a preset scroll uncovers.
    Tiles& row(int r, int colour)
    {
        for (int y = 12 * r; y < 12 * r + 12; y++)
            for (int x = 0; x < CDG_WIDTH; x++)
                m[y][x] = (unsigned char)colour;
        return *this;
    }
    Tiles& column(int c, int colour)
    {
        for (int y = 0; y < CDG_HEIGHT; y++)
            for (int x = 6 * c; x < 6 * c + 6; x++)
                m[y][x] = (unsigned char)colour;
        return *this;
    }
};

void expectscreen(const std::vector<Packet>& stream, const unsigned char (&want)[CDG_HEIGHT][CDG_WIDTH],
                  const char* what)
{
    Fed f;
    feed(f, stream);
    EXPECT_EQ(firstdiff(f.plain, want), "") << what;
    EXPECT_EQ(firstdiff(f.ripped, want), "") << what << " (top bits set)";
}

TEST(Cdg, TileBlockDrawsItsBitsInItsTwoColoursAtItsPlace)
{
    // Tile row 2, column 3 (pixels x 18-23, y 24-35): row k of the tile has bit 0x20 >> (k % 6) set,
    // so pixel (18 + k % 6, 24 + k) takes colour1 (9) and the rest of the tile colour0 (4).
    std::array<int, 12> bits;
    for (int k = 0; k < 12; k++)
        bits[k] = 0x20 >> (k % 6);
    Tiles want(1, {{{2, 3}, 4}});
    for (int k = 0; k < 12; k++)
        want.m[24 + k][18 + k % 6] = 9;
    expectscreen({cdgpreset(1), cdgtile(2, 3, 4, 9, bits)}, want.m, "diagonal tile");

    // A tile whose row is 18 or more, or whose column is 50 or more, is skipped and changes nothing;
    // so are packets of another mode and unknown instructions.
    Fed f;
    Packet othermode = cdgsolid(0, 0, 5);
    othermode[0] = 8;
    feed(f, {cdgpreset(1), cdgsolid(18, 0, 5), cdgsolid(0, 50, 5), othermode, cdgpacket(5, {5, 5, 5, 5}), cdgpacket(28, {5})});
    EXPECT_EQ(f.changed, std::vector<bool>({true, false, false, false, false, false}));
    EXPECT_EQ(firstdiff(f.plain, Tiles(1).m), "");
}

TEST(Cdg, TileBlockXorCombinesColourIndexes)
{
    // A solid tile of 6 at (0, 0), then an XOR tile whose left half is colour1 (5) and right half
    // colour0 (3): 6 ^ 5 = 3 on the left, 6 ^ 3 = 5 on the right. Then the same XOR tile again on an
    // untouched tile of background 0 gives the colours themselves.
    std::array<int, 12> halves;
    halves.fill(0x38);
    Tiles want(0);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 6; x++) {
            want.m[y][x] = x < 3 ? 3 : 5;
            want.m[y][6 + x] = x < 3 ? 5 : 3;
        }
    expectscreen({cdgpreset(0), cdgsolid(0, 0, 6), cdgtile(0, 0, 3, 5, halves, true), cdgtile(0, 1, 3, 5, halves, true)},
                 want.m, "xor");
}

TEST(Cdg, MemoryPresetFillsResetsOffsetsAndIgnoresRepeats)
{
    Fed f;
    // A fine scroll, then a preset of 7 with repeat 0: memory all 7 and both offsets back to 0. The
    // repeats of it that follow a tile (repeat counts 1 and 15) leave the tile in place.
    feed(f, {cdgscroll(false, 0, 0, 3, 0, 9), cdgpreset(7), cdgsolid(1, 1, 2), cdgpreset(7, 1), cdgpreset(3, 15)});
    EXPECT_EQ(f.plain.hoffset, 0);
    EXPECT_EQ(f.plain.voffset, 0);
    EXPECT_EQ(firstdiff(f.plain, Tiles(7, {{{1, 1}, 2}}).m), "");
    EXPECT_EQ(f.changed, std::vector<bool>({true, true, true, false, false}));
}

TEST(Cdg, BorderIsAnOverlayThatLeavesMemoryAlone)
{
    Fed f;
    // Memory all 4 with a tile of 9 in the top-left corner, under where the border shows; border 2.
    feed(f, {cdgpreset(4), cdgsolid(0, 0, 9), cdgborder(2)});
    EXPECT_EQ(firstdiff(f.plain, Tiles(4, {{{0, 0}, 9}}).m), "");
    EXPECT_EQ(f.plain.border, 2);
    // Every pixel outside (6,12)-(294,204) is the border, every one inside is memory.
    for (int y = 0; y < CDG_HEIGHT; y++)
        for (int x = 0; x < CDG_WIDTH; x++) {
            bool inside = x >= 6 && x < 294 && y >= 12 && y < 204;
            ASSERT_EQ(f.plain.shown(x, y), inside ? 4 : 2) << "(" << x << "," << y << ")";
        }
    // Scrolling the picture 6 right and 12 down by fine offsets of 0 brings the hidden tile in.
    feed(f, {cdgscroll(true, 0, 1, 0, 1, 0)});
    EXPECT_EQ(f.plain.shown(6, 12), 9);
    EXPECT_EQ(f.plain.shown(11, 23), 9);
    EXPECT_EQ(f.plain.shown(12, 23), 4);
}

TEST(Cdg, LoadColourTableSetsEachHalfFromTwelveBits)
{
    // Entry i of the low half: r = i, g = 15 - i, b = i / 2 + 1; of the high half: r = 15, g = i, b = 0.
    // hi = --rrrrgg, lo = --ggbbbb.
    std::vector<int> low, high;
    for (int i = 0; i < 8; i++) {
        int g = 15 - i;
        low.push_back(i << 2 | g >> 2);
        low.push_back((g & 3) << 4 | (i / 2 + 1));
        high.push_back(15 << 2 | i >> 2);
        high.push_back((i & 3) << 4);
    }
    Fed f;
    feed(f, {cdgpacket(30, low), cdgpacket(31, high)});
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(f.plain.colours[i], pixel(i * 17) << 16 | pixel((15 - i) * 17) << 8 | pixel((i / 2 + 1) * 17)) << i;
        EXPECT_EQ(f.plain.colours[8 + i], pixel(0xFF0000) | pixel(i * 17) << 8) << 8 + i;
        EXPECT_EQ(f.ripped.colours[i], f.plain.colours[i]);
        EXPECT_EQ(f.ripped.colours[8 + i], f.plain.colours[8 + i]);
    }
    EXPECT_EQ(f.changed, std::vector<bool>({true, true}));
}

TEST(Cdg, ScrollMovesWholeTilesBothAxesAtOnceFillingOrWrapping)
{
    // Marker tiles: 5 in the top-left corner (0, 0), 7 in the bottom-right one (17, 49), 6 in the
    // bottom-left one (17, 0), background 0. Horizontal command 1 moves the picture 6 pixels right, 2
    // left; vertical 1 moves it 12 down, 2 up. A preset fills what is uncovered with its colour (3); a
    // copy brings in what left the far edge.
    std::vector<Packet> start = {cdgpreset(0), cdgsolid(0, 0, 5), cdgsolid(17, 49, 7), cdgsolid(17, 0, 6)};
    auto with = [&](Packet p) {
        std::vector<Packet> s = start;
        s.push_back(p);
        return s;
    };
    expectscreen(with(cdgscroll(false, 3, 1, 0, 1, 0)), Tiles(0, {{{1, 1}, 5}}).row(0, 3).column(0, 3).m,
                 "preset right and down");
    expectscreen(with(cdgscroll(false, 3, 2, 0, 2, 0)), Tiles(0, {{{16, 48}, 7}}).row(17, 3).column(49, 3).m,
                 "preset left and up");
    expectscreen(with(cdgscroll(false, 3, 1, 0, 2, 0)), Tiles(0, {{{16, 1}, 6}}).row(17, 3).column(0, 3).m,
                 "preset right and up");
    expectscreen(with(cdgscroll(false, 3, 0, 0, 1, 0)), Tiles(0, {{{1, 0}, 5}}).row(0, 3).m, "preset down only");
    expectscreen(with(cdgscroll(true, 3, 1, 0, 1, 0)), Tiles(0, {{{1, 1}, 5}, {{0, 0}, 7}, {{0, 1}, 6}}).m,
                 "copy right and down");
    expectscreen(with(cdgscroll(true, 3, 2, 0, 2, 0)), Tiles(0, {{{17, 49}, 5}, {{16, 48}, 7}, {{16, 49}, 6}}).m,
                 "copy left and up");
    expectscreen(with(cdgscroll(true, 3, 2, 0, 1, 0)), Tiles(0, {{{1, 49}, 5}, {{0, 48}, 7}, {{0, 49}, 6}}).m,
                 "copy left and down");
    expectscreen(with(cdgscroll(true, 3, 2, 0, 0, 0)), Tiles(0, {{{0, 49}, 5}, {{17, 48}, 7}, {{17, 49}, 6}}).m,
                 "copy left only");
    // Command 3 moves nothing on its axis.
    expectscreen(with(cdgscroll(false, 3, 3, 0, 3, 0)), Tiles(0, {{{0, 0}, 5}, {{17, 49}, 7}, {{17, 0}, 6}}).m,
                 "command 3");
}

TEST(Cdg, FineOffsetsSampleMemoryFurtherRightAndDown)
{
    // A tile of 5 at row 2, column 2: memory x 12-17, y 24-35. Offsets h 3, v 10 (a value above 7, so
    // a 3-bit mask would show it elsewhere) set by a preset scroll that moves nothing; the tile is then
    // shown 3 pixels further left and 10 higher: x 9-14, y 14-25.
    for (bool copy : {false, true}) {
        Fed f;
        feed(f, {cdgpreset(0), cdgsolid(2, 2, 5), cdgscroll(copy, 1, 0, 3, 0, 10)});
        EXPECT_EQ(f.plain.hoffset, 3);
        EXPECT_EQ(f.plain.voffset, 10);
        EXPECT_EQ(firstdiff(f.plain, Tiles(0, {{{2, 2}, 5}}).m), "");
        for (int y = 12; y < 40; y++)
            for (int x = 6; x < 24; x++)
                ASSERT_EQ(f.plain.shown(x, y), x >= 9 && x <= 14 && y >= 14 && y <= 25 ? 5 : 0)
                    << "(" << x << "," << y << ")";
        // The largest offsets read the last column and row of memory at the window's far corner; an
        // offset past them is taken as the largest.
        feed(f, {cdgscroll(copy, 1, 0, 7, 0, 15), cdgsolid(17, 49, 6)});
        EXPECT_EQ(f.plain.hoffset, 5);
        EXPECT_EQ(f.plain.voffset, 11);
        EXPECT_EQ(f.plain.shown(293, 203), 6);
        EXPECT_EQ(f.plain.shown(6, 12), 0);
    }
}

TEST(Cdg, DrawShowsThePictureTwiceItsSizeInTheBorderColour)
{
    cdgscreen s;
    s.colours[1] = 0x112233;
    s.colours[2] = 0x445566;
    s.colours[5] = 0xAABBCC;
    s.memory[12][6] = 5; // the first pixel inside the window
    s.memory[203][293] = 2; // the last
    s.border = 1;
    std::vector<pixel> frame(SCREEN_PIXELS, 0xDEAD);
    s.draw(frame.data());
    for (int y = 0; y < SCREEN_H; y++)
        for (int x = 0; x < SCREEN_W; x++) {
            pixel want = 0x112233;
            int px = (x - 20) / 2, py = (y - 24) / 2;
            if (x >= 20 && x < 620 && y >= 24 && y < 456 && px >= 6 && px < 294 && py >= 12 && py < 204)
                want = px == 6 && py == 12 ? 0xAABBCC : px == 293 && py == 203 ? 0x445566 : 0;
            ASSERT_EQ(frame[y * SCREEN_W + x], want) << "(" << x << "," << y << ")";
        }
    // With fine offsets, and with offsets no instruction gives, every pixel is the colour of shown().
    for (int k = 0; k < 2; k++) {
        s.hoffset = k ? 9 : 5;
        s.voffset = k ? -3 : 11;
        for (int y = 0; y < CDG_HEIGHT; y++)
            for (int x = 0; x < CDG_WIDTH; x++)
                s.memory[y][x] = (unsigned char)((x * 7 + y * 3) % 16);
        s.colours[0] = 0x010101;
        for (int i = 3; i < 16; i++)
            s.colours[i] = pixel(i * 0x0F0E0D);
        s.draw(frame.data());
        for (int y = 0; y < CDG_HEIGHT; y++)
            for (int x = 0; x < CDG_WIDTH; x++)
                for (int d = 0; d < 4; d++)
                    ASSERT_EQ(frame[(24 + 2 * y + d / 2) * SCREEN_W + 20 + 2 * x + d % 2], s.colours[s.shown(x, y)])
                        << "(" << x << "," << y << ") offsets " << s.hoffset << "," << s.voffset;
    }
}

TEST(Cdg, LoadReadsWholePacketsAndRefusesWhatIsNoFile)
{
    ScratchDir dir;
    // Two packets and 5 bytes of a third.
    std::string bytes(2 * CDG_PACKET + 5, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = char(i);
    std::ofstream(dir / "s.cdg", std::ios::binary) << bytes;
    std::vector<unsigned char> packets;
    ASSERT_EQ(loadcdg((dir / "s.cdg").c_str(), packets), 0);
    ASSERT_EQ(packets.size(), size_t(2 * CDG_PACKET));
    EXPECT_EQ(packets[47], 47);

    std::vector<unsigned char> kept = {1, 2, 3};
    EXPECT_EQ(loadcdg((dir / "missing.cdg").c_str(), kept), 1);
    EXPECT_EQ(loadcdg(dir.path().c_str(), kept), 1);
    ASSERT_EQ(mkfifo((dir / "fifo.cdg").c_str(), 0600), 0);
    EXPECT_EQ(loadcdg((dir / "fifo.cdg").c_str(), kept), 1);
    EXPECT_EQ(loadcdg("/dev/zero", kept), 1);
    EXPECT_EQ(kept, std::vector<unsigned char>({1, 2, 3}));
    std::ofstream(dir / "empty.cdg");
    EXPECT_EQ(loadcdg((dir / "empty.cdg").c_str(), kept), 0);
    EXPECT_TRUE(kept.empty());
}

// The "cdg" command with the recording display ------------------------------------------------------

class CdgCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        shownframes.clear();
        videoup = true;
        gfx::instance()->clearscreen(0, 0, 0);
    }
    void TearDown() override { videoup = false; }
    // Writes the stream to s.cdg and returns its path.
    std::string write(const std::vector<Packet>& stream)
    {
        return dir.write("s.cdg", cdgbytes(stream));
    }
    // The frame cdgscreen draws after the stream.
    static std::vector<pixel> after(const std::vector<Packet>& stream)
    {
        cdgscreen s;
        for (const Packet& p : stream)
            s.apply(p.data());
        std::vector<pixel> frame(SCREEN_PIXELS);
        s.draw(frame.data());
        return frame;
    }
    ScratchDir dir;
};

TEST_F(CdgCommand, PlaysOnTheSongClockRefreshingAtMostOncePerFrame)
{
    std::vector<Packet> stream = cdgdense(150);
    script s;
    // Song time 0 is now, so the last packet is due 149/300 s from here.
    s.clock.startat(monotonicns());
    long long began = monotonicns();
    EXPECT_EQ(s.cdg(write(stream).c_str()), 0);
    double took = (monotonicns() - began) / 1e9;
    EXPECT_GE(took, 149.0 / 300);
    EXPECT_LT(took, 149.0 / 300 + 0.5);
    // One frame at the start, then at most one a 60th of a second.
    EXPECT_LE(shownframes.size(), size_t(took * 60 + 2));
    EXPECT_GE(shownframes.size(), 3u);
    ASSERT_FALSE(shownframes.empty());
    EXPECT_EQ(shownframes.back(), after(stream));
    EXPECT_TRUE(std::equal(gfx::instance()->pixels, gfx::instance()->pixels + SCREEN_PIXELS,
                           shownframes.back().begin()));
}

TEST_F(CdgCommand, ALateStartCatchesUpAtOnce)
{
    std::vector<Packet> stream = cdgdense(150);
    script s;
    s.clock.startat(monotonicns() - 10000000000LL);
    long long began = monotonicns();
    EXPECT_EQ(s.cdg(write(stream).c_str()), 0);
    EXPECT_LT(monotonicns() - began, 200000000LL);
    ASSERT_EQ(shownframes.size(), 1u);
    EXPECT_EQ(shownframes[0], after(stream));
}

TEST_F(CdgCommand, AnUnreadableOrEmptyStreamShowsNothing)
{
    script s;
    s.clock.startat(monotonicns() + SONG_DELAY_NS);
    EXPECT_EQ(s.cdg((dir / "missing.cdg").c_str()), 1);
    EXPECT_EQ(s.cdg(dir.path().c_str()), 1);
    EXPECT_EQ(s.cdg(dir.write("short.cdg", std::string(23, '\x09')).c_str()), 0);
    EXPECT_TRUE(shownframes.empty());
    EXPECT_EQ(gfx::instance()->pixels[0], 0u);
}

} // namespace
