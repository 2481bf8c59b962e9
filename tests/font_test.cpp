// The bitmap font: cutting glyphs from the marker row, measuring, centring, highlighting and drawing.
#include "font.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const pixel WHITE = 0x00FFFFFF;
const pixel BACK = 0x00102030;

class Font : public ::testing::Test {
protected:
    void SetUp() override { gfx::instance()->clearscreen(0x10, 0x20, 0x30); }
    void TearDown() override { delete[] f.image.pixels; }
    // Loads img as the font under test.
    void load(const PcxImage& img)
    {
        writefile(dir / "font.pcx", encodepcx(img));
        ASSERT_EQ(f.loadfont((dir / "font.pcx").c_str()), 0);
    }
    pixel at(int x, int y) const { return gfx::instance()->pixels[y * 640 + x]; }
    // Columns of row y that hold a colour other than the background.
    std::vector<int> inked(int y) const
    {
        std::vector<int> cols;
        for (int x = 0; x < 640; x++)
            if (at(x, y) != BACK)
                cols.push_back(x);
        return cols;
    }
    int changed() const
    {
        int n = 0;
        for (pixel p : gfx::instance()->pixels)
            n += p != BACK;
        return n;
    }
    ScratchDir dir;
    font f;
};

// Loading ---------------------------------------------------------------------------------------

TEST_F(Font, MarkerRowDefinesWidthsAndOffsets)
{
    // Row 0: K K K M K K M (K key, M marker): slot 0 is 3 wide at column 0, slot 1 2 wide at column 3.
    PcxImage img;
    img.width = 7;
    img.height = 2;
    img.indexes = {0, 0, 0, 2, 0, 0, 2, 1, 1, 1, 1, 1, 1, 1};
    img.palette = rampPalette();
    load(img);
    EXPECT_EQ(f.height, 2);
    EXPECT_EQ(f.keycolour, (0u << 16) | (255u << 8) | 0u);
    EXPECT_EQ(f.widths[0], 3);
    EXPECT_EQ(f.offsets[0], 0);
    EXPECT_EQ(f.widths[1], 2);
    EXPECT_EQ(f.offsets[1], 3);
}

TEST_F(Font, SlotsTheMarkerRowLeavesUndefinedAreEmpty)
{
    load(fontImage({3, 4}, 3));
    EXPECT_EQ(f.widths[1], 4);
    for (int s = 2; s < 64; s++) {
        EXPECT_EQ(f.widths[s], 0) << "slot " << s;
        EXPECT_EQ(f.offsets[s], 0) << "slot " << s;
    }
}

TEST_F(Font, MarkersAfterTheSixtyFourthAreIgnored)
{
    std::vector<int> widths(70, 2);
    widths[63] = 5;
    widths[64] = 9;
    load(fontImage(widths, 3));
    EXPECT_EQ(f.widths[63], 5);
}

TEST_F(Font, ReloadingReplacesTheWholeFont)
{
    load(fontImage(std::vector<int>(64, 3), 4));
    load(fontImage({6}, 2));
    EXPECT_EQ(f.height, 2);
    EXPECT_EQ(f.widths[0], 6);
    EXPECT_EQ(f.widths[1], 0);
}

TEST_F(Font, MissingFileGivesAnEmptyFontThatDrawsNothing)
{
    EXPECT_EQ(f.loadfont((dir / "none.pcx").c_str()), 1);
    EXPECT_EQ(f.height, 0);
    for (int s = 0; s < 64; s++)
        EXPECT_EQ(f.widths[s], 0);
    EXPECT_EQ(f.write("Hello %world%", -1, 480 - f.height), 0);
    EXPECT_EQ(changed(), 0);
}

TEST_F(Font, FileTheDecoderRefusesGivesAnEmptyFont)
{
    writefile(dir / "bad.pcx", std::vector<uint8_t>(100, 0xC0));
    EXPECT_EQ(f.loadfont((dir / "bad.pcx").c_str()), 1);
    EXPECT_EQ(f.height, 0);
    EXPECT_EQ(f.write("ABC", -1, 480), 0);
    EXPECT_EQ(changed(), 0);
}

// Slots -----------------------------------------------------------------------------------------

TEST_F(Font, CharactersMapToTheirSlots)
{
    EXPECT_EQ(f.charindex('A'), 0);
    EXPECT_EQ(f.charindex('Z'), 25);
    EXPECT_EQ(f.charindex('a'), 26);
    EXPECT_EQ(f.charindex('z'), 51);
    EXPECT_EQ(f.charindex('0'), 52);
    EXPECT_EQ(f.charindex('9'), 61);
    EXPECT_EQ(f.charindex('!'), 62);
    EXPECT_EQ(f.charindex('?'), 63);
    for (int ch : std::vector<int>{' ', '%', '(', ')', 0xA0, 0xAD, 0x80, 0x100, 0x2019, 0x1F600, 0, -23})
        EXPECT_EQ(f.charindex(ch), -1) << ch;
}

TEST_F(Font, LaterSlotsHoldTheAsciiSignsThenLatinOne)
{
    const char signs[] = "\"#$&'*+,-./:;<=>@[\\]^_`{|}~";
    for (int i = 0; i < 27; i++)
        EXPECT_EQ(f.charindex((unsigned char)signs[i]), 64 + i) << signs[i];
    // U+00A1 to U+00FF from slot 91 on, with no slot for U+00AD.
    EXPECT_EQ(f.charindex(0xA1), 91);
    EXPECT_EQ(f.charindex(0xAC), 102);
    EXPECT_EQ(f.charindex(0xAE), 103);
    EXPECT_EQ(f.charindex(0xFF), 184);
    for (int s = 0; s < font::SLOTS; s++)
        EXPECT_EQ(f.charindex(font::slotchar(s)), s) << "slot " << s;
    EXPECT_EQ(font::slotchar(-1), -1);
    EXPECT_EQ(font::slotchar(font::SLOTS), -1);
}

// Reading song text -----------------------------------------------------------------------------------

TEST(SongText, WellFormedUtf8IsOneCharacterAndAnyOtherByteIsLatinOne)
{
    struct Case {
        const char* why;
        const char* bytes;
        std::vector<int> chars;
    };
    const Case cases[] = {
        {"two bytes", "\xC3\xA9t\xC3\xA9", {0xE9, 't', 0xE9}},
        {"three bytes", "\xE2\x80\x99s", {0x2019, 's'}},
        {"four bytes (an emoji)", "\xF0\x9F\x98\x80!", {0x1F600, '!'}},
        {"the smallest and largest of each length", "\xC2\x80\xDF\xBF\xE0\xA0\x80\xF4\x8F\xBF\xBF",
         {0x80, 0x7FF, 0x800, 0x10FFFF}},
        {"Latin-1", "caf\xE9 se\xF1or", {'c', 'a', 'f', 0xE9, ' ', 's', 'e', 0xF1, 'o', 'r'}},
        {"two bytes cut short", "\xC3" "A", {0xC3, 'A'}},
        {"cut short by the end", "x\xE2\x80", {'x', 0xE2, 0x80}},
        {"overlong forms", "\xC0\xAF\xE0\x80\xAF\xF0\x8F\xBF\xBF",
         {0xC0, 0xAF, 0xE0, 0x80, 0xAF, 0xF0, 0x8F, 0xBF, 0xBF}},
        {"a surrogate", "\xED\xA0\x80", {0xED, 0xA0, 0x80}},
        {"past U+10FFFF", "\xF4\x90\x80\x80\xFF", {0xF4, 0x90, 0x80, 0x80, 0xFF}},
    };
    for (const Case& c : cases) {
        std::vector<int> got;
        const char* p = c.bytes;
        for (int ch; got.size() < 20 && (ch = font::nextchar(p)) != 0;)
            got.push_back(ch);
        EXPECT_EQ(got, c.chars) << c.why;
        EXPECT_EQ(p, c.bytes + strlen(c.bytes)) << c.why;
        EXPECT_EQ(font::nextchar(p), 0) << c.why;
        EXPECT_EQ(p, c.bytes + strlen(c.bytes)) << c.why << ": the terminator moved p";
    }
}

TEST_F(Font, LineMixingSignsAccentsLatinOneBytesAndTypographicMarksDrawsPixelForPixel)
{
    load(fullFont());
    // #1, “Don’t” – %señor café%…Ж😀~ with UTF-8 marks and ñ, a Latin-1 byte for é, and Ж and the emoji,
    // which have no slot.
    const char* text = "#1, \xE2\x80\x9C" "Don\xE2\x80\x99t\xE2\x80\x9D \xE2\x80\x93 %se\xC3\xB1or caf\xE9%"
                       "\xE2\x80\xA6\xD0\x96\xF0\x9F\x98\x80~";
    // The slots the table gives, by hand: SPACE for a space, HL + s for a highlighted slot s.
    const int SPACE = -1, HL = 1000;
    std::vector<int> glyphs = {65, 53, 71, SPACE, 64, 3, 40, 39, 68, 45, 64, SPACE, 72, SPACE,
                               HL + 44, HL + 30, HL + 170, HL + 40, HL + 43, SPACE, HL + 28, HL + 26, HL + 31, HL + 162,
                               73, 73, 73, 90};
    // fullFont: slot s is s % 3 + 2 wide, ink in its columns but the last, rows r where bit r - 1 of s + 1 is set.
    std::vector<pixel> want(gfx::instance()->pixels, gfx::instance()->pixels + SCREEN_PIXELS);
    long long total = 0;
    for (int g : glyphs)
        total += g == SPACE ? 2 : g % HL % 3 + 2;
    int x = int(640 - total) / 2, y = 100;
    for (int g : glyphs) {
        int s = g == SPACE ? 0 : g % HL;
        for (int r = 1; r < 9 && g != SPACE; r++)
            for (int c = 0; c < s % 3 + 1; c++)
                if ((s + 1) >> (r - 1) & 1)
                    want[size_t(y + r) * 640 + x + c] = g >= HL ? HLCOL : WHITE;
        x += s % 3 + 2;
    }
    EXPECT_EQ(f.textwidth(text), total);
    EXPECT_EQ(f.write(text, -1, y), 0);
    for (int ch : std::vector<int>{' ', 0xE9, 0x2018, 0x201D, 0x2014, 0x2026})
        EXPECT_TRUE(f.hasglyph(ch)) << ch;
    for (int ch : std::vector<int>{0xAD, 0x416, 0x1F600, 0x201E})
        EXPECT_FALSE(f.hasglyph(ch)) << ch;
    for (int i = 0; i < SCREEN_PIXELS; i++)
        ASSERT_EQ(gfx::instance()->pixels[i], want[size_t(i)]) << "pixel (" << i % 640 << ", " << i / 640 << ")";
}

TEST_F(Font, FontOfSixtyFourSlotsDrawsTheLaterCharactersAsNothing)
{
    load(testFont());
    const char* mixed = "\xE2\x80\x9C" "D\xC3\xA9j\xE0 vu, don\xE2\x80\x99t!\xE2\x80\x9D \xF0\x9F\x98\x80%A%\xE2\x80\xA6";
    const char* plain = "Dj vu dont! %A%";
    EXPECT_EQ(f.textwidth(mixed), f.textwidth(plain));
    f.write(mixed, -1, 100);
    std::vector<pixel> drawn(gfx::instance()->pixels, gfx::instance()->pixels + SCREEN_PIXELS);
    SetUp();
    f.write(plain, -1, 100);
    for (int i = 0; i < SCREEN_PIXELS; i++)
        ASSERT_EQ(drawn[size_t(i)], gfx::instance()->pixels[i]) << "pixel (" << i % 640 << ", " << i / 640 << ")";
    EXPECT_FALSE(f.hasglyph(','));
    EXPECT_FALSE(f.hasglyph(0x2019));
    EXPECT_TRUE(f.hasglyph('A'));
}

TEST_F(Font, MarkersDefineSlotsUpToTheLastAndLaterOnesAreIgnored)
{
    // Every slot 2 wide: slot s's marker lies at 2 + 3 s.
    std::vector<int> widths(190, 2);
    widths[184] = 5;
    load(fontImage(widths, 3));
    EXPECT_EQ(f.widths[184], 5);
    EXPECT_EQ(f.offsets[184], 2 + 3 * 183);
}

// Drawing ---------------------------------------------------------------------------------------

TEST_F(Font, GlyphDrawsItsInkBelowTheMarkerRowAndKeepsWhatIsUnder)
{
    // testFont: slot 0 ("A") is 2 wide with ink in its first column, rows 1 to 4.
    load(testFont());
    EXPECT_EQ(f.write("A", 100, 200), 0);
    EXPECT_EQ(inked(200), std::vector<int>{}) << "row 0 of a cell is never drawn";
    for (int y = 201; y <= 204; y++)
        EXPECT_EQ(inked(y), std::vector<int>{100}) << "row " << y;
    EXPECT_EQ(at(100, 201), WHITE);
    EXPECT_EQ(at(101, 201), BACK) << "the key colour is transparent";
    EXPECT_EQ(changed(), 4);
}

TEST_F(Font, LastGlyphsComeFromTheirOwnSlots)
{
    // "Z" is slot 25 (width 3), "?" slot 63 (width 2).
    load(testFont());
    f.write("Z?", 0, 0);
    EXPECT_EQ(inked(1), (std::vector<int>{0, 1, 3}));
}

TEST_F(Font, SpaceIsAsWideAsSlotZeroAndOtherCharactersTakeNoRoom)
{
    load(testFont());
    // "A" 2 wide, space 2 wide, "," and "." nothing: "B" lands at column 4.
    f.write("A ,.B", 0, 0);
    EXPECT_EQ(inked(1), (std::vector<int>{0, 4, 5}));
}

TEST_F(Font, HighlightMarksToggleTheHighlightColour)
{
    load(testFont());
    // "%A% A": first "A" highlighted at column 0, space, second "A" in white at column 4.
    f.write("%A% A", 0, 0);
    EXPECT_EQ(at(0, 1), HLCOL);
    EXPECT_EQ(at(4, 1), WHITE);
    EXPECT_EQ(inked(1), (std::vector<int>{0, 4}));
}

TEST_F(Font, UnmatchedMarkLeavesTheHighlightOnToTheEnd)
{
    load(testFont());
    f.write("A%A A", 0, 0);
    EXPECT_EQ(at(0, 1), WHITE);
    EXPECT_EQ(at(2, 1), HLCOL);
    EXPECT_EQ(at(6, 1), HLCOL);
}

TEST_F(Font, LoneMarkAndEmptyTextDrawNothing)
{
    load(testFont());
    EXPECT_EQ(f.write("%", -1, 100), 0);
    EXPECT_EQ(f.write("", -1, 100), 0);
    EXPECT_EQ(f.write("%%", -1, 100), 0);
    EXPECT_EQ(changed(), 0);
}

TEST_F(Font, CentredTextStartsAtHalfTheFreeWidth)
{
    load(testFont());
    // "AB": 2 + 3 = 5 columns, (640 - 5) / 2 = 317.
    f.write("AB", -1, 0);
    EXPECT_EQ(inked(1), (std::vector<int>{317, 319, 320}));
}

TEST_F(Font, TextOf639ColumnsIsDrawnFromColumnZero)
{
    // Slot 0 is 9 wide, slot 1 10 wide: 71 "A" are 639 columns.
    std::vector<int> widths(64, 10);
    widths[0] = 9;
    load(fontImage(widths, 3));
    std::string text(71, 'A');
    EXPECT_EQ(f.write(text.c_str(), -1, 0), 0);
    EXPECT_EQ(at(0, 1), WHITE);
    EXPECT_EQ(at(630, 1), WHITE);
    EXPECT_EQ(at(638, 1), BACK);
}

TEST_F(Font, TextOf640ColumnsIsNotDrawn)
{
    std::vector<int> widths(64, 10);
    widths[0] = 9;
    load(fontImage(widths, 3));
    std::string text = std::string(70, 'A') + "B"; // 630 + 10
    EXPECT_EQ(f.write(text.c_str(), -1, 0), 1);
    EXPECT_EQ(changed(), 0);
    // Spaces count like slot 0.
    text = std::string(70, 'A') + " %,";
    EXPECT_EQ(f.write(text.c_str(), -1, 0), 0);
    text = std::string(70, 'A') + " A";
    EXPECT_EQ(f.write(text.c_str(), -1, 0), 1);
}

TEST_F(Font, TallFontDrawsOnlyInsideTheFrame)
{
    // A font image taller than the screen: drawn at 480 - height, most rows fall above the frame.
    std::vector<int> widths(64, 4);
    load(fontImage(widths, 700));
    EXPECT_EQ(f.write("AA", -1, 480 - f.height), 0);
    // Rows 1..699 land on screen rows -219..479; only 0..479 can be seen, in columns 316..318, 320..322.
    EXPECT_EQ(inked(0), (std::vector<int>{316, 317, 318, 320, 321, 322}));
    EXPECT_EQ(inked(479), (std::vector<int>{316, 317, 318, 320, 321, 322}));
    EXPECT_EQ(changed(), 480 * 6);
}

TEST_F(Font, FontOfOneRowDrawsNothing)
{
    load(fontImage({3, 3}, 1));
    EXPECT_EQ(f.height, 1);
    EXPECT_EQ(f.write("AB", -1, 479), 0);
    EXPECT_EQ(changed(), 0);
}

TEST_F(Font, ColumnsPastTheRightEdgeLandOnTheNextRow)
{
    load(testFont());
    f.write("A", 640, 0);
    EXPECT_EQ(at(0, 2), WHITE);
}

// The "text" command --------------------------------------------------------------------------------

TEST_F(Font, TextCommandPutsTheLastGlyphRowOnRow479)
{
    font* shared = font::instance();
    writefile(dir / "font.pcx", encodepcx(testFont()));
    ASSERT_EQ(shared->loadfont((dir / "font.pcx").c_str()), 0);
    script s;
    strcpy(s.args, "%A%");
    EXPECT_EQ(s.printtext(), 0);
    // Height 5: cells drawn from row 475, ink on rows 476..479 at the centre, (640 - 2) / 2 = 319.
    EXPECT_EQ(at(319, 475), BACK);
    for (int y = 476; y <= 479; y++)
        EXPECT_EQ(at(319, y), HLCOL) << "row " << y;
    EXPECT_EQ(changed(), 4);
}

} // namespace
