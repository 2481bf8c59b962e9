// The party's big screen drawn with the small test font (height 5, white ink; slot s is (s % 3) + 2
// columns wide with ink in all but its last column): text drawn as it is, cut to fit, scaled, and the
// picker's and the up-next screen's parts where they belong.
#include "fakevideo.h"
#include "font.h"
#include "gfx.h"
#include "screen.h"
#include "testfiles.h"

#include <gtest/gtest.h>

namespace {

class PartyScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writefile(dir / "font.pcx", encodepcx(testFont())));
        ASSERT_EQ(font::instance()->loadfont((dir / "font.pcx").c_str()), 0);
        gfx::instance()->clearscreen(0, 0, 0);
    }
    static long long count(pixel colour, int y0 = 0, int y1 = SCREEN_H)
    {
        long long n = 0;
        for (int i = y0 * SCREEN_W; i < y1 * SCREEN_W; i++)
            n += gfx::instance()->pixels[i] == colour;
        return n;
    }
    ScratchDir dir;
};

// Widths in the test font: "A" is slot 0 (2 columns, also the space), "B" slot 1 (3), "C" slot 2 (4),
// "a" slot 26 (4), "." slot 75 (2).

TEST_F(PartyScreen, TextIsMeasuredAsTheFontDrawsItAndScaled)
{
    EXPECT_EQ(textwidth("ABC"), 9);
    EXPECT_EQ(textwidth("A C"), 8);
    EXPECT_EQ(textwidth("ABC", 3), 27);
    // A typographic ellipsis draws as three dots.
    EXPECT_EQ(textwidth("\xE2\x80\xA6"), textwidth("..."));
}

TEST_F(PartyScreen, APercentSignIsLeftOutAndHighlightsNothing)
{
    // In a song's script "%" marks the sung word; a title holding one is drawn as it is, and the font
    // has no "%", so it is left out and nothing after it turns to the highlight colour.
    EXPECT_EQ(textwidth("A%B%C"), textwidth("ABC"));
    long long drawn = drawtext("100% A%B%C", 0, 10);
    EXPECT_EQ(drawn, textwidth("100 ABC"));
    EXPECT_EQ(count(HLCOL), 0);
    EXPECT_GT(count(0x00FFFFFF), 0);
}

TEST_F(PartyScreen, TextTooWideIsCutAfterAWholeCharacterWithDots)
{
    // The full font has "." (slot 73, 3 columns wide) and the Latin-1 letters; "A" is 2 columns,
    // "B" 3, "C" 4.
    ASSERT_TRUE(writefile(dir / "full.pcx", encodepcx(fullFont())));
    ASSERT_EQ(font::instance()->loadfont((dir / "full.pcx").c_str()), 0);
    std::string title = "ABCABCABC";
    EXPECT_EQ(fittext(title, 27), title);
    // 20 columns: "ABCA" (11) and "..." (9).
    EXPECT_EQ(fittext(title, 20), "ABCA...");
    EXPECT_EQ(fittext(title, 19), "ABC...");
    // Never in the middle of a UTF-8 character.
    std::string accented = fittext("\xC3\xA9\xC3\xA9\xC3\xA9" "ABCABC", 16);
    EXPECT_LE(textwidth(accented), 16);
    EXPECT_EQ(accented.substr(accented.size() - 3), "...");
    size_t leads = 0, follows = 0;
    for (unsigned char c : accented)
        leads += c == 0xC3, follows += c == 0xA9;
    EXPECT_EQ(leads, follows);
    // Too narrow even for the dots: as much of them as fits.
    EXPECT_EQ(fittext(title, 5), ".");
}

TEST_F(PartyScreen, TextNeverWrapsOntoTheNextRows)
{
    // Drawn from x = 630, only the glyphs that fit before column 640 are drawn.
    drawtext("CCCC", 630, 100);
    gfx* g = gfx::instance();
    for (int y = 100; y < 110; y++)
        EXPECT_EQ(g->pixels[(y + 1) * SCREEN_W + 0], 0u) << y;
    long long ink = count(0x00FFFFFF);
    // Two glyphs of 4 columns (3 inked) fit in columns 630 to 637: 2 x 3 x 4 rows.
    EXPECT_EQ(ink, 24);
}

TEST_F(PartyScreen, ScaledGlyphsAreBlocksOfTheirPixels)
{
    drawtext("A", 10, 20, 3, 0x00ABCDEF);
    // "A" is one inked column (of 2) by 4 rows: at scale 3 a 3 x 12 block from (10, 23).
    EXPECT_EQ(count(0x00ABCDEF), 36);
    EXPECT_EQ(gfx::instance()->pixels[23 * SCREEN_W + 10], 0x00ABCDEFu);
    EXPECT_EQ(gfx::instance()->pixels[34 * SCREEN_W + 12], 0x00ABCDEFu);
    EXPECT_EQ(gfx::instance()->pixels[35 * SCREEN_W + 12], 0u);
}

TEST_F(PartyScreen, ScrollingKeepsTheChosenRowInViewWithTheLeastMove)
{
    EXPECT_EQ(scrollto(0, 0, 0, 10), 0);
    EXPECT_EQ(scrollto(5, 0, 100, 10), 0);
    EXPECT_EQ(scrollto(10, 0, 100, 10), 1);
    EXPECT_EQ(scrollto(50, 45, 100, 10), 45);
    EXPECT_EQ(scrollto(3, 45, 100, 10), 3);
    // No empty rows at the end while there are songs above.
    EXPECT_EQ(scrollto(99, 95, 100, 10), 90);
    EXPECT_EQ(scrollto(2, 40, 12, 10), 2);
}

TEST_F(PartyScreen, ThePickerMarksTheChosenRowAndFitsItsListAboveTheQueue)
{
    pickerview v;
    v.search = "AB";
    for (int i = 0; i < 3; i++)
        v.rows.push_back({"ABC", "CBA", "LRC", false, ""});
    v.selected = 1;
    v.queue.push_back({"ABC", "", "BA"});
    drawpicker(v);
    // The bar of the chosen row is one row high and the whole width.
    long long bar = count(SELECTED);
    EXPECT_GT(bar, SCREEN_W * (rowheight() - 2));
    EXPECT_LE(bar, SCREEN_W * rowheight());
    // Some rows fit, and the list ends above the five rows of the queue and the line at the bottom.
    EXPECT_GT(pickerrows(), 5);
    EXPECT_LE(pickerrows() * rowheight() + 8 * rowheight(), SCREEN_H);
    // The singer's name in the queue is in the highlight colour.
    EXPECT_GT(count(HLCOL), 0);
}

TEST_F(PartyScreen, TheUpNextScreenShowsTheSingerLargeAboveTheSearch)
{
    upnextview u;
    u.title = "ABC";
    u.singer = "CCC";
    u.seconds = 5;
    pickerview v;
    drawupnext(u, v);
    // The singer is drawn at three times the font's size: each inked column of "C" (3 of its 4)
    // becomes 3 columns, each of the 4 rows 3 rows: 3 glyphs x 9 x 12 pixels in the highlight colour.
    // With rows 8 high, the up-next part takes the top 84 rows: "Up next", the title (2 rows), the
    // artist, the singer (3 rows), the countdown (2 rows); the search label below is highlighted too.
    long long large = 0;
    for (int y = 0; y < 80; y++)
        for (int x = 0; x < SCREEN_W; x++)
            large += gfx::instance()->pixels[y * SCREEN_W + x] == HLCOL;
    EXPECT_EQ(large, 3 * 9 * 12);
}

} // namespace
