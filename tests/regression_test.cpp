// Inputs that once went wrong, or that a hostile user would try: each kept as a test that the run has a
// defined result with them. The first group comes from the fuzz targets in fuzz/.
#include "font.h"
#include "gfx.h"
#include "runner.h"
#include "script.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

// Text through the font at places near the ends of the int range ------------------------------------

// What write() must leave in the frame, worked out pixel by pixel on 64-bit numbers with no shortcut:
// the line is measured and centred as documented, each glyph's ink goes to index (y + r) * 640 + x + c
// when that lies in the frame, and nothing else changes.
std::vector<pixel> painted(const font& f, const char* text, long long x, long long y, std::vector<pixel> frame)
{
    auto slot = [](char ch) {
        return font().charindex((unsigned char)ch);
    };
    long long total = 0;
    for (const char* p = text; *p; p++)
        total += *p == ' ' ? f.widths[0] : slot(*p) >= 0 ? f.widths[slot(*p)] : 0;
    if (total > 639)
        return frame;
    if (x == -1)
        x = (640 - total) / 2;
    bool highlight = false;
    for (const char* p = text; *p; p++) {
        int s = slot(*p);
        if (*p == '%') {
            highlight = !highlight;
        } else if (*p == ' ') {
            x += f.widths[0];
        } else if (s >= 0) {
            for (long long r = 1; r < f.height; r++)
                for (long long c = 0; c < f.widths[s]; c++) {
                    pixel ink = f.image.pixels[r * f.image.width + f.offsets[s] + c];
                    long long i = (y + r) * 640 + x + c;
                    if (ink != f.keycolour && i >= 0 && i < 307200 && x <= INT_MAX)
                        frame[size_t(i)] = highlight ? HLCOL : ink;
                }
            x += f.widths[s];
        }
    }
    return frame;
}

class FontAtAnyPlace : public ::testing::Test {
protected:
    void SetUp() override
    {
        writefile(dir / "font.pcx", encodepcx(testFont()));
        ASSERT_EQ(f.loadfont((dir / "font.pcx").c_str()), 0);
    }
    void TearDown() override { delete[] f.image.pixels; }

    // Writes text at (x, y) over a patterned frame and compares the frame with painted().
    void check(const char* text, int x, int y)
    {
        gfx* g = gfx::instance();
        for (int i = 0; i < 307200; i++)
            g->pixels[i] = pixel(i) & 0x00FFFF;
        std::vector<pixel> want = painted(f, text, x, y, std::vector<pixel>(g->pixels, g->pixels + 307200));
        f.write(text, x, y);
        for (int i = 0; i < 307200; i++)
            if (g->pixels[i] != want[size_t(i)]) {
                ADD_FAILURE() << "\"" << text << "\" at (" << x << ", " << y << "): pixel (" << i % 640 << ", "
                              << i / 640 << ") is " << std::hex << g->pixels[i] << ", not " << want[size_t(i)];
                return;
            }
    }

    ScratchDir dir;
    font f;
};

// Found by fuzz_font on its first seed: the line's column ran past INT_MAX (signed overflow) when a
// line was written at x = INT_MAX, and glyph rows below y = INT_MAX overflowed the same way.
TEST_F(FontAtAnyPlace, TextAtTheEndsOfTheIntRangeDrawsOnlyWhatLandsInTheFrame)
{
    const char* text = "Hello %World% 0123456789 !? az AZ, . % odd";
    check(text, INT_MAX, INT_MAX);
    check(text, INT_MIN, INT_MIN);
    check(text, INT_MAX - 5, INT_MIN + 5);
    check(text, INT_MAX - 5, 0);
    check(text, INT_MIN, 300);
    check(text, 0, INT_MAX - 2);
    // Here a column that wrapped round to INT_MIN would put the line's tail on the top rows.
    check(text, INT_MAX - 5, 3355443);
}

// The same arithmetic at ordinary places, where the line wraps past the right edge or starts above the
// top: the 64-bit indexes must put every pixel where the 32-bit ones did.
TEST_F(FontAtAnyPlace, TextAroundTheFrameLandsWhereItsPixelIndexSays)
{
    const char* text = "%Wrap% around the edge?!";
    int xs[] = {-1, -700, -641, -640, -3, 0, 1, 500, 637, 638, 639, 640, 1279, 300000};
    int ys[] = {-6, -5, -1, 0, 1, 240, 474, 475, 479, 480, -480};
    for (int x : xs)
        for (int y : ys)
            check(text, x, y);
}

// Found by fuzz_font, which loads every input into the one font in turn: a font file the decoder
// refused kept the glyphs of the font loaded before it, although a failed load promises an empty font.
TEST(FontReload, FontTheDecoderRefusesAfterAGoodOneLeavesTheFontEmpty)
{
    ScratchDir dir;
    font f;
    writefile(dir / "good.pcx", encodepcx(testFont()));
    ASSERT_EQ(f.loadfont((dir / "good.pcx").c_str()), 0);
    ASSERT_GT(f.widths[0], 0);
    // The fuzzer's input, 713 bytes: a header for a 255 x 1 picture and then zeros, shorter than a
    // header and a palette together, so the decoder refuses it.
    std::vector<uint8_t> bad = pcxheader(0, 0, 254, 0, 256);
    bad.resize(713, 0);
    writefile(dir / "bad.pcx", bad);
    EXPECT_EQ(f.loadfont((dir / "bad.pcx").c_str()), 1);
    EXPECT_EQ(f.height, 0);
    EXPECT_EQ(f.image.pixels, nullptr);
    for (int s = 0; s < 64; s++)
        EXPECT_EQ(f.widths[s], 0) << "slot " << s;
    gfx::instance()->clearscreen(1, 2, 3);
    EXPECT_EQ(f.write("Hello", -1, 100), 0);
    for (int i = 0; i < 307200; i++)
        ASSERT_EQ(gfx::instance()->pixels[i], 0x00010203u) << "pixel (" << i % 640 << ", " << i / 640 << ")";
}

// Hostile inputs to the built program ---------------------------------------------------------------------

struct Hostile : public ::testing::Test {
    Hostile() { st.addfont(); }
    Stage st;
};

TEST_F(Hostile, PictureThatIsAFifoIsSkippedWithoutWaitingForAWriter)
{
    ASSERT_EQ(mkfifo(st.work("pipe.pcx").c_str(), 0644), 0);
    st.write("s.txt", "setimg(pipe.pcx)\nhop()\n");
    RunOptions o;
    o.args = {"s.txt"};
    o.timeout = 30;
    RunResult r = st.run(o);
    ASSERT_TRUE(r.exited) << "the run stalled on the fifo: " << r.output;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
}

TEST(HostileFont, FontThatIsAFifoIsReportedWithoutWaitingForAWriter)
{
    Stage st;
    ASSERT_EQ(mkfifo(st.work("font.pcx").c_str(), 0644), 0);
    st.write("script.txt", "text(Hello)\nhop()\n");
    RunOptions o;
    o.timeout = 30;
    RunResult r = st.run(o);
    ASSERT_TRUE(r.exited) << "the run stalled on the fifo: " << r.output;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Could not load font.pcx\nNo file specified. Using default script.txt\nNow i hop\n");
}

TEST(HostileFont, FontThatIsAFolderIsReported)
{
    Stage st;
    ASSERT_EQ(mkdir(st.work("font.pcx").c_str(), 0755), 0);
    st.write("script.txt", "text(Hello)\nhop()\n");
    RunResult r = st.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Could not load font.pcx\nNo file specified. Using default script.txt\nNow i hop\n");
}

TEST(HostileFont, FontsOfOneRowAndTallerThanTheScreenDrawAndTheRunGoesOn)
{
    for (int height : {1, 2, 481, 4000}) {
        Stage st;
        PcxImage img = testFont();
        PcxImage sized = img;
        sized.height = height;
        sized.indexes.assign(size_t(img.width) * height, 1);
        std::copy(img.indexes.begin(), img.indexes.begin() + img.width, sized.indexes.begin());
        writefile(st.work("font.pcx"), encodepcx(sized));
        st.write("script.txt", "text(Hello %world%)\ntext(WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW)\nhop()\n");
        RunResult r = st.run();
        EXPECT_EQ(r.status, 0) << "height " << height;
        EXPECT_EQ(r.output, "No file specified. Using default script.txt\nNow i hop\n") << "height " << height;
    }
}

TEST_F(Hostile, ScriptThatIsAFolderEndsWithTheErrorOfItsFirstLine)
{
    ASSERT_EQ(mkdir(st.work("folder").c_str(), 0755), 0);
    RunResult r = st.run({"folder"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: folder\nError parsing cmd at line: 1\n");
}

TEST_F(Hostile, EndlessScriptOfNulBytesEndsAtItsFirstLine)
{
    // /dev/zero has no line feed anywhere: the first line is cut at 99 characters, all of them NUL.
    RunResult r = st.run({"/dev/zero"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: /dev/zero\nError parsing cmd at line: 1\n");
}

TEST_F(Hostile, NulBytesEndALineForParsingAndCarriageReturnsAreOrdinaryCharacters)
{
    std::string text = "hop()";
    text += '\0';
    text += "garbage without parenthesis\r\n;comment\r\nbounce()\r\n";
    st.write("s.txt", text);
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\nnow i bounce\n");
}

TEST_F(Hostile, LineThatIsOnlyACarriageReturnIsAParseError)
{
    st.write("s.txt", "hop()\r\n\r\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\nError parsing cmd at line: 2\n");
}

TEST_F(Hostile, HugeAndNegativeNumbersNeitherWaitNorFail)
{
    st.write("s.txt",
             "sleep(-99999999999999999999)\nusleep(-2147483648)\nsleep(-1)\nusleep(0)\n"
             "clearscreen(99999999999999,-99999999999999,2147483648)\nclearscreen(-1,-1,-1)\n"
             "clearscreen(,,,,,)\nclearscreen(+,-,+)\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(r.seconds, 15) << "a negative count was taken as a wait";
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\n");
}

TEST_F(Hostile, VeryLongLinesAreCutAt99CharactersAndEndTheRun)
{
    // The cut line keeps no ")" and fails on its own.
    st.write("s.txt", "hop()\ntext(" + std::string(100000, 'x') + ")\nhop()\n");
    RunResult r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\nError parsing arguments at line: 2\n");
    // A cut comment is skipped, and the read after it fails.
    st.write("s.txt", "hop()\n;" + std::string(100000, '(') + "\nhop()\n");
    r = st.run({"s.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Opening file: s.txt\nNow i hop\nError parsing cmd at line: 3\n");
}

TEST_F(Hostile, UnbalancedParenthesesAreReportedWithTheirLineNumber)
{
    struct Case {
        std::string script;
        std::string output;
    } cases[] = {
        {"hop(\n", "Error parsing arguments at line: 1\n"},
        {"hop)(\n", "Error parsing arguments at line: 1\n"},
        {"hop\n", "Error parsing cmd at line: 1\n"},
        {")\n", "Error parsing cmd at line: 1\n"},
        {"hop(()\n", "Now i hop\n"},
        {"hop())))\n", "Now i hop\n"},
        {"((((\n", ""},
    };
    for (const auto& c : cases) {
        st.write("s.txt", c.script);
        RunResult r = st.run({"s.txt"});
        EXPECT_EQ(r.output, "Opening file: s.txt\n" + c.output) << c.script;
        EXPECT_EQ(r.status, c.output.find("Error") == 0 ? 1 : 0) << c.script;
    }
}

} // namespace
