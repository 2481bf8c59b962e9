// The "cdg" command on a real X server: a hand-built stream's frames read back from a private Xvfb
// display and compared pixel for pixel with what the decoder draws, at the times they are due; Escape.
#include "cdgstream.h"
#include "xscreen.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

// The frame the decoder draws after the first n packets of the stream.
std::vector<pixel> frameafter(const std::vector<Packet>& stream, size_t n)
{
    cdgscreen s;
    for (size_t i = 0; i < n && i < stream.size(); i++)
        s.apply(stream[i].data());
    std::vector<pixel> frame(SCREEN_PIXELS);
    s.draw(frame.data());
    return frame;
}

// Packet n of song time t seconds.
size_t at(double seconds) { return size_t(seconds * CDG_RATE + 0.5); }

// The stream: colours 1-4 loaded, border 2, memory 1; at 3 s a tile at tile row 8, column 24 (pixels
// x 144-149, y 96-107 of the picture; 308-319, 216-239 on the screen) in colours 3 and 4, colour 4
// (a set bit) on the left half of even rows and the right half of odd ones; at 5 s colour 4 is loaded
// anew; the stream ends at 6 s.
std::vector<Packet> stream()
{
    std::vector<Packet> s(at(6) + 1, cdgnothing());
    s[0] = cdgcolours(0, {0x000000, 0x2050A0, 0xE0E0E0, 0xF08000, 0x00C040});
    s[1] = cdgborder(2);
    s[2] = cdgpreset(1);
    s[at(3)] = cdgtile(8, 24, 3, 4, {0x38, 0x07, 0x38, 0x07, 0x38, 0x07, 0x38, 0x07, 0x38, 0x07, 0x38, 0x07});
    s[at(5)] = cdgcolours(0, {0x000000, 0x2050A0, 0xE0E0E0, 0xF08000, 0xC000C0});
    return s;
}

class CdgScreen : public ::testing::Test {
protected:
    CdgScreen() { st.addfont(); }

    // Reads the screen until it shows frame; the wall-clock time it was first seen, or -1 (with why
    // filled) when it was not within `seconds` or the run ended first.
    double seen(ScreenRun& run, const std::vector<pixel>& frame, double seconds, std::string& why)
    {
        double deadline = now() + seconds;
        for (;;) {
            bool ended = run.finished();
            std::vector<pixel> screen;
            double before = now();
            if (x.capture(screen, why)) {
                why = framediff(screen, frame);
                if (why.empty())
                    return before;
            }
            if (ended || now() > deadline) {
                why = (ended ? "the run ended first; " : "not shown in time; ") + why;
                return -1;
            }
            usleep(50000);
        }
    }

    XServer x;
    Stage st;
};

TEST_F(CdgScreen, TileAndColourLoadShowAtTheirPlaceAndTimeThenTheScriptGoesOn)
{
    std::vector<Packet> s = stream();
    std::vector<pixel> plain = frameafter(s, at(3)), tiled = frameafter(s, at(5)), recoloured = frameafter(s, s.size());
    // The frames differ just where they should: the tile's 12 x 24 screen pixels, then its colour-4 half.
    // The border (white) covers the screen's edge and the picture's 12 top rows (24 on the screen).
    ASSERT_EQ(plain[0], 0x00EEEEEEu);
    ASSERT_EQ(plain[47 * 640 + 320], 0x00EEEEEEu);
    ASSERT_EQ(plain[48 * 640 + 32], 0x002255AAu);
    ASSERT_EQ(plain[216 * 640 + 308], 0x002255AAu);
    ASSERT_EQ(tiled[216 * 640 + 308], 0x0000CC44u);
    ASSERT_EQ(tiled[216 * 640 + 314], 0x00FF8800u);
    ASSERT_EQ(recoloured[216 * 640 + 308], 0x00CC00CCu);
    st.write("s.cdg", cdgbytes(s));
    st.write("s.txt", "cdg(s.cdg)\nhop()\nat(60)\n");
    ScreenRun run(st, x.options({"s.txt"}));
    std::string why;
    double first = seen(run, plain, 10, why);
    EXPECT_GT(first, 0) << why;
    double second = seen(run, tiled, 10, why);
    EXPECT_GT(second, 0) << why;
    double third = seen(run, recoloured, 10, why);
    EXPECT_GT(third, 0) << why;
    sleep(2);
    run.signal(SIGTERM);
    RunResult r = run.result();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(count(r.output, "Now i hop"), 1u) << r.output;
    // Song time starts 1.5 s in: the tile is due 4.5 s after the start, the colours 6.5 s.
    EXPECT_LT(first - r.started, 4.5);
    EXPECT_GE(second - r.started, 4.5 - 0.35) << "the screen read that saw it started this early";
    EXPECT_LT(second - r.started, 4.5 + 1.5);
    EXPECT_GE(third - r.started, 6.5 - 0.35);
    EXPECT_LT(third - r.started, 6.5 + 1.5);
}

TEST_F(CdgScreen, EscapeDuringAStreamEndsTheRunWithStatusZero)
{
    std::vector<Packet> s = cdgdense(40 * CDG_RATE);
    st.write("s.cdg", cdgbytes(s));
    st.write("s.txt", "cdg(s.cdg)\nhop()\n");
    ScreenRun run(st, x.options({"s.txt"}));
    // The stream is playing once its colours show.
    std::string why;
    ASSERT_GT(seen(run, frameafter(s, 1), 10, why), 0) << why;
    sleep(2);
    ClientResult key = x.client("xdotool key Escape");
    double pressed = now();
    RunResult r = run.result();
    double ended = now();
    ASSERT_EQ(key.status, 0) << key.output;
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(count(r.output, "Now i hop"), 0u) << "the run went past the stream";
    EXPECT_LT(ended - pressed, 0.5);
}

} // namespace
