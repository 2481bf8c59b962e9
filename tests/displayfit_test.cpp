// Fitting the frame to a display: the rectangle it fills, the window's multiple, the block edges of
// the nearest-neighbour scaling, and the display options.
#include "displayfit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Display {
    int w, h;
};

class Fit : public ::testing::TestWithParam<Display> {};

TEST_P(Fit, IsTheLargestCentredFourToThreeRectangleInside)
{
    Display d = GetParam();
    framefit f = fitframe(d.w, d.h);
    // Inside, touching two opposite edges, and centred to the pixel.
    EXPECT_GE(f.x, 0);
    EXPECT_GE(f.y, 0);
    EXPECT_LE(f.x + f.w, d.w);
    EXPECT_LE(f.y + f.h, d.h);
    EXPECT_TRUE(f.w == d.w || f.h == d.h) << f.w << "x" << f.h;
    EXPECT_LE(std::abs((d.w - f.w - f.x) - f.x), 1);
    EXPECT_LE(std::abs((d.h - f.h - f.y) - f.y), 1);
    // 4:3 to the pixel: the side that does not touch the display's edges is rounded down.
    EXPECT_LT(std::abs(f.w * 3 - f.h * 4), 4) << f.w << "x" << f.h;
}

INSTANTIATE_TEST_SUITE_P(Displays, Fit,
                         ::testing::Values(Display{1920, 1080}, Display{1280, 1024}, Display{640, 480},
                                           Display{1366, 768}, Display{1280, 800}, Display{3840, 2160},
                                           Display{1024, 768}, Display{801, 1301}));

TEST(FitFrame, WideAndTallDisplaysGetTheirBars)
{
    framefit tv = fitframe(1920, 1080);
    EXPECT_EQ(tv.x, 240);
    EXPECT_EQ(tv.y, 0);
    EXPECT_EQ(tv.w, 1440);
    EXPECT_EQ(tv.h, 1080);
    framefit monitor = fitframe(1280, 1024);
    EXPECT_EQ(monitor.x, 0);
    EXPECT_EQ(monitor.y, 32);
    EXPECT_EQ(monitor.w, 1280);
    EXPECT_EQ(monitor.h, 960);
}

TEST(FitFrame, SmallOrUnknownDisplayKeepsTheFramesOwnSize)
{
    for (Display d : {Display{640, 480}, Display{639, 1000}, Display{2000, 479}, Display{0, 0}, Display{-5, 900}}) {
        framefit f = fitframe(d.w, d.h);
        EXPECT_EQ(f.x, 0);
        EXPECT_EQ(f.y, 0);
        EXPECT_EQ(f.w, 640) << d.w << "x" << d.h;
        EXPECT_EQ(f.h, 480) << d.w << "x" << d.h;
    }
}

TEST(WindowFactor, IsTheLargestWholeMultipleThatFits)
{
    EXPECT_EQ(windowfactor(1920, 1080), 2);
    EXPECT_EQ(windowfactor(1280, 1024), 2);
    EXPECT_EQ(windowfactor(1279, 1024), 1);
    EXPECT_EQ(windowfactor(3840, 2160), 4);
    EXPECT_EQ(windowfactor(1920, 1440), 3);
    EXPECT_EQ(windowfactor(640, 480), 1);
    EXPECT_EQ(windowfactor(0, 0), 1);
}

class Blocks : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(Blocks, DifferByAtMostOnePixelSpreadEvenly)
{
    int from = GetParam().first, to = GetParam().second;
    std::vector<int> e = blockedges(from, to);
    ASSERT_EQ(e.size(), size_t(from) + 1);
    EXPECT_EQ(e.front(), 0);
    EXPECT_EQ(e.back(), to);
    int small = to / from, large = (to + from - 1) / from;
    for (int i = 0; i < from; i++) {
        int size = e[size_t(i) + 1] - e[size_t(i)];
        ASSERT_TRUE(size == small || size == large) << "block " << i << " is " << size << " pixels";
    }
    // Every run of neighbouring blocks covers its share of the display, give or take one pixel.
    for (int n = 1; n <= from; n += 7)
        for (int i = 0; i + n <= from; i += 13) {
            double share = double(n) * to / from;
            ASSERT_LE(std::fabs((e[size_t(i + n)] - e[size_t(i)]) - share), 1.0) << n << " blocks from " << i;
        }
    // Each display pixel shows the source pixel under its centre.
    for (int d = 0; d < to; d++) {
        int source = int(std::floor((d + 0.5) * from / to));
        ASSERT_TRUE(e[size_t(source)] <= d && d < e[size_t(source) + 1]) << "display pixel " << d;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Blocks,
                         ::testing::Values(std::make_pair(640, 1440), std::make_pair(480, 1080),
                                           std::make_pair(640, 1280), std::make_pair(480, 960),
                                           std::make_pair(640, 640), std::make_pair(480, 767),
                                           std::make_pair(640, 2880), std::make_pair(3, 10)));

TEST(BlockEdges, WholeFactorMakesEqualBlocks)
{
    std::vector<int> e = blockedges(480, 960);
    for (int i = 0; i <= 480; i++)
        ASSERT_EQ(e[size_t(i)], 2 * i);
}

TEST(BlockEdges, ShrinkingOrNothingToScaleGivesNoEdges)
{
    EXPECT_TRUE(blockedges(640, 639).empty());
    EXPECT_TRUE(blockedges(0, 100).empty());
}

TEST(DisplayOption, ReadsTheTwoOptionsAndNothingElse)
{
    displaymode m = displaymode::fullscreen;
    EXPECT_TRUE(displayoption("--window", m));
    EXPECT_EQ(m, displaymode::window);
    EXPECT_TRUE(displayoption("--mode-switch", m));
    EXPECT_EQ(m, displaymode::modeswitch);
    for (const char* other : {"--windows", "-w", "window", "script.txt", "", "--mode-switch="}) {
        EXPECT_FALSE(displayoption(other, m)) << other;
        EXPECT_EQ(m, displaymode::modeswitch) << other;
    }
}

} // namespace
