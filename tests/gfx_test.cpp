// The frame buffer: colour fills, single pixels and sprite copies.
#include "gfx.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FrameBuffer : public ::testing::Test {
protected:
    void SetUp() override { g->clearscreen(0, 0, 0); }
    pixel at(int x, int y) const { return g->pixels[y * 640 + x]; }
    // Count of pixels that are not black.
    int lit() const
    {
        int n = 0;
        for (pixel p : g->pixels)
            n += p != 0;
        return n;
    }
    gfx* g = gfx::instance();
};

// Exits 0 when the frame buffer of a fresh process is one object whose pixels are all black.
void checkfreshframe()
{
    gfx* g = gfx::instance();
    if (g != gfx::instance())
        exit(2);
    for (pixel p : g->pixels)
        if (p != 0)
            exit(3);
    exit(0);
}

TEST(FrameBufferInstance, IsOneObjectThatStartsBlack)
{
    // The "threadsafe" style runs the check in a freshly started copy of this program, where nothing
    // has drawn into the frame buffer yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(checkfreshframe(), ::testing::ExitedWithCode(0), "");
}

TEST_F(FrameBuffer, ClearscreenFillsEveryPixel)
{
    g->clearscreen(255, 0, 0);
    for (int i = 0; i < 307200; i++)
        ASSERT_EQ(g->pixels[i], 0x00FF0000u) << "pixel " << i;
}

TEST_F(FrameBuffer, ClearscreenDoesNotMaskComponents)
{
    g->clearscreen(0, 0, 256);
    EXPECT_EQ(at(0, 0), 0x00000100u);
    EXPECT_EQ(at(639, 479), 0x00000100u);
    g->clearscreen(256, 0, 0);
    EXPECT_EQ(at(5, 5), 0x01000000u);
}

TEST_F(FrameBuffer, ClearscreenWithHugeOrNegativeComponentsWraps)
{
    // Components far outside 0..255 must not be undefined behaviour; the bits wrap at 32.
    g->clearscreen(-1, 0, 0);
    EXPECT_EQ(at(0, 0), 0xFFFF0000u);
    g->clearscreen(0x7FFFFFFF, 0, 0);
    EXPECT_EQ(at(0, 0), 0xFFFF0000u);
}

TEST_F(FrameBuffer, PutpixelWritesTheLastPixel)
{
    EXPECT_EQ(g->putpixel(639, 479, 0x123456), 0);
    EXPECT_EQ(at(639, 479), 0x123456u);
}

TEST_F(FrameBuffer, PutpixelRefusesIndexesOutsideTheFrame)
{
    EXPECT_EQ(g->putpixel(0, 480, 0xFFFFFF), 1);
    EXPECT_EQ(g->putpixel(-1, 0, 0xFFFFFF), 1);
    EXPECT_EQ(g->putpixel(0, 2000000000, 0xFFFFFF), 1);
    EXPECT_EQ(g->putpixel(-2000000000, -2000000000, 0xFFFFFF), 1);
    EXPECT_EQ(lit(), 0);
}

TEST_F(FrameBuffer, PutpixelPastTheLastColumnLandsOnTheNextRow)
{
    EXPECT_EQ(g->putpixel(640, 0, 0xABCDEF), 0);
    EXPECT_EQ(at(0, 1), 0xABCDEFu);
    EXPECT_EQ(lit(), 1);
}

TEST_F(FrameBuffer, SetpixelStoresTheComposedColour)
{
    g->setpixel(3, 4, 0x12, 0x34, 0x56);
    EXPECT_EQ(at(3, 4), 0x123456u);
}

TEST_F(FrameBuffer, DrawMEMChangesExactlyTheSpritesPixels)
{
    pixel data[4] = {1, 2, 3, 4};
    MEM_Sprite s{2, 2, data};
    g->drawMEM(&s, 10, 20);
    EXPECT_EQ(at(10, 20), 1u);
    EXPECT_EQ(at(11, 20), 2u);
    EXPECT_EQ(at(10, 21), 3u);
    EXPECT_EQ(at(11, 21), 4u);
    EXPECT_EQ(lit(), 4);
}

TEST_F(FrameBuffer, DrawMEMIsOpaque)
{
    g->clearscreen(9, 9, 9);
    pixel data[1] = {0};
    MEM_Sprite s{1, 1, data};
    g->drawMEM(&s, 0, 0);
    EXPECT_EQ(at(0, 0), 0u);
}

// A sprite whose pixel at (c, r) is (r << 16) | c + 1, so any copied pixel tells where it came from.
struct Numbered {
    explicit Numbered(int w, int h) : data(size_t(w) * h), sprite{w, h, nullptr}
    {
        for (int r = 0; r < h; r++)
            for (int c = 0; c < w; c++)
                data[size_t(r) * w + c] = (pixel(r) << 16) | pixel(c + 1);
        sprite.pixels = data.data();
    }
    std::vector<pixel> data;
    MEM_Sprite sprite;
};

TEST_F(FrameBuffer, DrawMEMClipsAtTheRightEdgeInsteadOfWrapping)
{
    Numbered n(10, 2);
    g->drawMEM(&n.sprite, 635, 0);
    EXPECT_EQ(at(635, 0), 1u);
    EXPECT_EQ(at(639, 0), 5u);
    EXPECT_EQ(at(0, 1), 0u) << "columns past the edge must not wrap to the next row";
    EXPECT_EQ(at(639, 1), (1u << 16) | 5u);
    EXPECT_EQ(lit(), 10);
}

TEST_F(FrameBuffer, DrawMEMClipsAtTheLeftAndTopEdges)
{
    Numbered n(4, 4);
    g->drawMEM(&n.sprite, -2, -3);
    // Only sprite row 3, columns 2 and 3 remain, at (0, 0) and (1, 0).
    EXPECT_EQ(at(0, 0), (3u << 16) | 3u);
    EXPECT_EQ(at(1, 0), (3u << 16) | 4u);
    EXPECT_EQ(lit(), 2);
}

TEST_F(FrameBuffer, DrawMEMClipsAtTheBottomEdge)
{
    Numbered n(2, 5);
    g->drawMEM(&n.sprite, 0, 478);
    EXPECT_EQ(at(0, 479), (1u << 16) | 1u);
    EXPECT_EQ(lit(), 4);
}

TEST_F(FrameBuffer, DrawMEMOfASpriteLargerThanTheFrameFillsItFromTheRightPlace)
{
    Numbered n(700, 500);
    g->drawMEM(&n.sprite, -30, 0);
    EXPECT_EQ(at(0, 0), 31u);
    EXPECT_EQ(at(639, 479), (479u << 16) | 670u);
}

TEST_F(FrameBuffer, DrawMEMEntirelyOutsideDrawsNothing)
{
    Numbered n(3, 3);
    g->drawMEM(&n.sprite, 640, 0);
    g->drawMEM(&n.sprite, 0, 480);
    g->drawMEM(&n.sprite, -3, 0);
    g->drawMEM(&n.sprite, 0, -3);
    g->drawMEM(&n.sprite, 2147483647, 2147483647);
    g->drawMEM(&n.sprite, -2147483647 - 1, -2147483647 - 1);
    EXPECT_EQ(lit(), 0);
}

} // namespace
