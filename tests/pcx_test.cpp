// The PCX decoder and the "setimg" command, on files of every kind built byte by byte.
#include "fakevideo.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file: a 128-byte header with the given window and BytesPerLine, the coded data, and a palette.
std::vector<uint8_t> pcxfile(int xmin, int ymin, int xmax, int ymax, const std::vector<uint8_t>& data,
                             int bytesperline = 0, const std::vector<uint8_t>& palette = rampPalette())
{
    std::vector<uint8_t> f = pcxheader(xmin, ymin, xmax, ymax, bytesperline);
    f.insert(f.end(), data.begin(), data.end());
    f.insert(f.end(), palette.begin(), palette.end());
    return f;
}

// A file of another kind: a header with the given bits per pixel, planes, BytesPerLine and version, whose
// 16-colour palette has entry v = (16 v, 255 - 16 v, v), then the data; no palette at the end.
std::vector<uint8_t> kindfile(int bits, int planes, int xmax, int ymax, int bytesperline,
                              const std::vector<uint8_t>& data, int version = 5)
{
    std::vector<uint8_t> f = pcxheader(0, 0, xmax, ymax, bytesperline);
    f[1] = uint8_t(version);
    f[3] = uint8_t(bits);
    f[65] = uint8_t(planes);
    for (int v = 0; v < 16; v++) {
        f[16 + 3 * v] = uint8_t(16 * v);
        f[17 + 3 * v] = uint8_t(255 - 16 * v);
        f[18 + 3 * v] = uint8_t(v);
    }
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

pixel header16(int v)
{
    return (pixel(16 * v) << 16) | (pixel(255 - 16 * v) << 8) | pixel(v);
}

// The colour of index v in rampPalette().
pixel ramp(int v)
{
    return (pixel(v) << 16) | (pixel(255 - v) << 8) | pixel(v / 2);
}

class Decoder : public ::testing::Test {
protected:
    // Decodes bytes written to a file; the sprite starts with a marker so "untouched" can be checked.
    int decode(const std::vector<uint8_t>& bytes)
    {
        writefile(dir / "p.pcx", bytes);
        return gfx::instance()->loadPCX(&sprite, (dir / "p.pcx").c_str());
    }
    void TearDown() override
    {
        if (sprite.pixels != &sentinel)
            delete[] sprite.pixels;
    }
    // The decoded pixels as palette indexes of rampPalette(), -1 where a pixel is black and not index 0.
    std::vector<int> indexes() const
    {
        std::vector<int> out;
        for (int i = 0; i < sprite.width * sprite.height; i++) {
            int v = int(sprite.pixels[i] >> 16);
            out.push_back(sprite.pixels[i] == ramp(v) ? v : -1);
        }
        return out;
    }
    std::vector<pixel> pixels() const
    {
        return std::vector<pixel>(sprite.pixels, sprite.pixels + sprite.width * sprite.height);
    }
    void expectUntouched()
    {
        EXPECT_EQ(sprite.width, 77);
        EXPECT_EQ(sprite.height, 88);
        EXPECT_EQ(sprite.pixels, &sentinel);
    }
    ScratchDir dir;
    pixel sentinel = 0;
    MEM_Sprite sprite{77, 88, &sentinel};
};

// Decoding --------------------------------------------------------------------------------------

TEST_F(Decoder, SinglePixelTakesItsPaletteColour)
{
    std::vector<uint8_t> pal(768, 0);
    pal[15] = 0x12;
    pal[16] = 0x34;
    pal[17] = 0x56;
    ASSERT_EQ(decode(pcxfile(0, 0, 0, 0, {0x05}, 1, pal)), 0);
    ASSERT_EQ(sprite.width, 1);
    ASSERT_EQ(sprite.height, 1);
    EXPECT_EQ(sprite.pixels[0], 0x00123456u);
}

TEST_F(Decoder, RunRepeatsItsValue)
{
    ASSERT_EQ(decode(pcxfile(0, 0, 3, 0, {0xC3, 0x07, 0x09})), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{7, 7, 7, 9}));
}

TEST_F(Decoder, RunOfZeroStoresNothingButTakesItsValue)
{
    ASSERT_EQ(decode(pcxfile(0, 0, 1, 0, {0xC0, 0x07, 0x03, 0x04})), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{3, 4}));
}

TEST_F(Decoder, ByteBelow0xC0IsASinglePixel)
{
    ASSERT_EQ(decode(pcxfile(0, 0, 1, 0, {0xBF, 0x3F})), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{191, 63}));
}

TEST_F(Decoder, RunCarriesIntoNextRow)
{
    // 4 x 2: two single pixels, then a run of 4 that fills the end of row 0 and the start of row 1.
    ASSERT_EQ(decode(pcxfile(0, 0, 3, 1, {0x01, 0x02, 0xC4, 0x08, 0x09, 0x0A})), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{1, 2, 8, 8, 8, 8, 9, 10}));
}

TEST_F(Decoder, WindowWithOffsetGivesItsSize)
{
    // Xmin 10, Xmax 19, Ymin 0, Ymax 4: a 10 x 5 sprite.
    ASSERT_EQ(decode(pcxfile(10, 0, 19, 4, {0xC0 | 50, 0x01})), 0);
    EXPECT_EQ(sprite.width, 10);
    EXPECT_EQ(sprite.height, 5);
    EXPECT_EQ(indexes(), std::vector<int>(50, 1));
}

TEST_F(Decoder, PaddedRowsDropTheirPadding)
{
    // 3 x 2 with BytesPerLine 4, as Pillow and GIMP write odd widths: each coded row holds one
    // padding index (here 0xEE) that is not shown.
    ASSERT_EQ(decode(pcxfile(0, 0, 2, 1, {1, 2, 3, 0xC1, 0xEE, 4, 5, 6, 0xC1, 0xEE}, 4)), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(Decoder, RunAcrossPaddingCarriesIntoTheNextRow)
{
    // 3 x 2, BytesPerLine 4: a run of 3 covering column 2, the padding and column 0 of row 1.
    ASSERT_EQ(decode(pcxfile(0, 0, 2, 1, {1, 2, 0xC3, 9, 5, 6, 0}, 4)), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{1, 2, 9, 9, 5, 6}));
}

TEST_F(Decoder, BytesPerLineBelowTheWidthMeansNoPadding)
{
    for (int bpl : {0, 1, 2}) {
        ASSERT_EQ(decode(pcxfile(0, 0, 2, 1, {1, 2, 3, 4, 5, 6}, bpl)), 0) << bpl;
        EXPECT_EQ(indexes(), (std::vector<int>{1, 2, 3, 4, 5, 6})) << "BytesPerLine " << bpl;
        delete[] sprite.pixels;
        sprite.pixels = &sentinel;
    }
}

TEST_F(Decoder, ColoursHaveAZeroTopByte)
{
    std::vector<uint8_t> pal(768, 0xFF);
    ASSERT_EQ(decode(pcxfile(0, 0, 0, 0, {0x00}, 1, pal)), 0);
    EXPECT_EQ(sprite.pixels[0], 0x00FFFFFFu);
}

TEST_F(Decoder, PaletteMarkerByteIsNotRequired)
{
    // The palette is simply the last 768 bytes; coded data may run right up to it.
    ASSERT_EQ(decode(pcxfile(0, 0, 1, 0, {0x0C, 0x0C})), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{12, 12}));
}

// Other kinds -----------------------------------------------------------------------------------

TEST_F(Decoder, TwentyFourBitLinesHoldRedGreenBluePlanesAndRunsCarryOn)
{
    // 3 x 2, BytesPerLine 4: one padding value (0x99) after each plane. Row 0: red 10 20 30, green 40 50
    // 60, blue 0xF0 (a code, so a run of one) 80, then a run of three 90s: the last blue, its padding
    // and row 1's first red. Row 1 goes on with a run of four 0x11 (two reds, padding, first green),
    // green 0x22 0x33, padding, and a run of four 0x44, the blue plane and its padding.
    ASSERT_EQ(decode(kindfile(8, 3, 2, 1, 4, {10, 20, 30, 0x99, 40, 50, 60, 0x99, 0xC1, 0xF0, 80, 0xC3, 90,
                                              0xC4, 0x11, 0x22, 0x33, 0x99, 0xC4, 0x44})), 0);
    EXPECT_EQ(pixels(), (std::vector<pixel>{0x0A28F0, 0x143250, 0x1E3C5A, 0x5A1144, 0x112244, 0x113344}));
}

TEST_F(Decoder, MonochromeSetBitIsWhiteWhateverTheHeaderPalette)
{
    // 10 x 2: rows of two bytes, though BytesPerLine says 1 (too small, so taken as the 2 the width
    // needs). Row 0: 0xB0 0x40 = 1011 0000 01; row 1: 0xFF 0xC0 (codes, so runs of one) = 1111 1111 11.
    const pixel W = 0xFFFFFF;
    ASSERT_EQ(decode(kindfile(1, 1, 9, 1, 1, {0xB0, 0x40, 0xC1, 0xFF, 0xC1, 0xC0})), 0);
    EXPECT_EQ(pixels(), (std::vector<pixel>{W, 0, W, W, 0, 0, 0, 0, 0, W, W, W, W, W, W, W, W, W, W, W}));
}

// 16 x 1 in four planes of two bytes, pixel x of index x. Plane p holds bit p of each index, the leftmost
// pixel in the high bit: 0x55 0x55, 0x33 0x33, 0x0F 0x0F, 0x00 0xFF.
const std::vector<uint8_t> INDEXES_0_TO_15 = {0x55, 0x55, 0x33, 0x33, 0x0F, 0x0F, 0x00, 0xC1, 0xFF};

TEST_F(Decoder, SixteenColourPlanesCombineWithPlaneZeroLowest)
{
    ASSERT_EQ(decode(kindfile(1, 4, 15, 0, 2, INDEXES_0_TO_15)), 0);
    for (int x = 0; x < 16; x++)
        EXPECT_EQ(sprite.pixels[x], header16(x)) << "x " << x;
}

TEST_F(Decoder, VersionThreeShowsTheStandardEgaColours)
{
    ASSERT_EQ(decode(kindfile(1, 4, 15, 0, 2, INDEXES_0_TO_15, 3)), 0);
    EXPECT_EQ(pixels(), (std::vector<pixel>{0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500,
                                            0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF,
                                            0xFFFF55, 0xFFFFFF}));
}

TEST_F(Decoder, TwoAndFourBitPixelsReadLeftmostFromTheHighBits)
{
    // One row: 2 bits, indexes 0 1 2 3 1 (00 01 10 11, 01), then 4 bits, indexes 10 3 15.
    ASSERT_EQ(decode(kindfile(2, 1, 4, 0, 2, {0x1B, 0x40})), 0);
    EXPECT_EQ(pixels(), (std::vector<pixel>{header16(0), header16(1), header16(2), header16(3), header16(1)}));
    delete[] sprite.pixels;
    sprite.pixels = &sentinel;
    ASSERT_EQ(decode(kindfile(4, 1, 2, 0, 2, {0xA3, 0xC1, 0xF0})), 0);
    EXPECT_EQ(pixels(), (std::vector<pixel>{header16(10), header16(3), header16(15)}));
}

// Damaged data ----------------------------------------------------------------------------------

TEST_F(Decoder, TruncatedDataLeaveTheRestBlack)
{
    std::vector<uint8_t> pal(768, 0x80);
    ASSERT_EQ(decode(pcxfile(0, 0, 3, 0, {0x01, 0x02}, 0, pal)), 0);
    EXPECT_EQ(sprite.pixels[0], 0x00808080u);
    EXPECT_EQ(sprite.pixels[1], 0x00808080u);
    EXPECT_EQ(sprite.pixels[2], 0u);
    EXPECT_EQ(sprite.pixels[3], 0u);
}

TEST_F(Decoder, RunWithoutItsValueByteEndsTheData)
{
    // The last data byte is 0xC0: a run of zero with no value after it. This must end, not spin.
    ASSERT_EQ(decode(pcxfile(0, 0, 3, 0, {0x01, 0xC0})), 0);
    EXPECT_EQ(indexes()[0], 1);
    EXPECT_EQ(sprite.pixels[1], 0u);
}

TEST_F(Decoder, FileWithNoDataAtAllIsBlack)
{
    ASSERT_EQ(decode(pcxfile(0, 0, 9, 9, {})), 0);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(sprite.pixels[i], 0u);
}

TEST_F(Decoder, RunPastTheLastPixelIsCut)
{
    // 2 x 1 and a run of 63: only two pixels may be written (AddressSanitizer builds catch more).
    ASSERT_EQ(decode(pcxfile(0, 0, 1, 0, {0xFF, 0x05})), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{5, 5}));
}

TEST_F(Decoder, DataAfterTheLastPixelAreIgnored)
{
    ASSERT_EQ(decode(pcxfile(0, 0, 0, 0, {0x03, 0x04, 0xC5, 0x06})), 0);
    EXPECT_EQ(indexes(), (std::vector<int>{3}));
}

TEST_F(Decoder, DataEndingInsideAScanLineShowThePixelsWhosePlanesAllArrived)
{
    // 3 x 2 24-bit: red 1 2 3, green 4 5 6, then only the first blue.
    ASSERT_EQ(decode(kindfile(8, 3, 2, 1, 3, {1, 2, 3, 4, 5, 6, 7})), 0);
    EXPECT_EQ(pixels(), (std::vector<pixel>{0x010407, 0, 0, 0, 0, 0}));
}

TEST_F(Decoder, KindsWithoutAPaletteAtTheEndNeedOnlyTheHeader)
{
    ASSERT_EQ(decode(kindfile(8, 3, 1, 1, 2, {})), 0);
    EXPECT_EQ(pixels(), std::vector<pixel>(4, 0));
}

// Files it refuses -------------------------------------------------------------------------------

TEST_F(Decoder, MissingFileIsRefused)
{
    EXPECT_EQ(gfx::instance()->loadPCX(&sprite, (dir / "none.pcx").c_str()), 1);
    expectUntouched();
}

TEST_F(Decoder, DirectoryIsRefused)
{
    EXPECT_EQ(gfx::instance()->loadPCX(&sprite, dir.path().c_str()), 1);
    expectUntouched();
}

TEST_F(Decoder, FifoIsRefusedWithoutBlocking)
{
    std::string fifo = dir / "fifo.pcx";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(gfx::instance()->loadPCX(&sprite, fifo.c_str()), 1);
    expectUntouched();
}

TEST_F(Decoder, FileShorterThanHeaderAndPaletteIsRefused)
{
    EXPECT_EQ(decode({}), 1);
    expectUntouched();
    std::vector<uint8_t> f = pcxfile(0, 0, 0, 0, {});
    f.pop_back();
    EXPECT_EQ(decode(f), 1);
    expectUntouched();
}

TEST_F(Decoder, UnknownBitsAndPlanesAreRefused)
{
    const int kinds[][2] = {{24, 1}, {8, 2}, {8, 5}, {1, 5}, {2, 2}, {4, 2}, {16, 1}, {3, 1}, {0, 0}, {1, 0}};
    for (const auto& k : kinds) {
        std::vector<uint8_t> f = pcxfile(0, 0, 1, 0, {1, 2});
        f[3] = uint8_t(k[0]);
        f[65] = uint8_t(k[1]);
        EXPECT_EQ(decode(f), 1) << k[0] << " bits x " << k[1] << " planes";
        expectUntouched();
    }
}

TEST_F(Decoder, InvertedWindowIsRefused)
{
    EXPECT_EQ(decode(pcxfile(5, 0, 4, 0, {1})), 1);
    expectUntouched();
    EXPECT_EQ(decode(pcxfile(0, 9, 0, 8, {1})), 1);
    expectUntouched();
}

TEST_F(Decoder, MoreThanSixteenMillionPixelsIsRefused)
{
    // 4096 x 4097: one row over the bound.
    EXPECT_EQ(decode(pcxfile(0, 0, 4095, 4096, {1})), 1);
    expectUntouched();
    EXPECT_EQ(decode(pcxfile(0, 0, 65535, 65535, {1})), 1);
    expectUntouched();
}

TEST_F(Decoder, SixteenMillionPixelsAreTaken)
{
    ASSERT_EQ(decode(pcxfile(0, 0, 4095, 4095, {1})), 0);
    EXPECT_EQ(sprite.width, 4096);
    EXPECT_EQ(sprite.height, 4096);
    EXPECT_EQ(indexes()[0], 1);
    EXPECT_EQ(sprite.pixels[4096 * 4096 - 1], 0u);
}

// Pictures drawn straight into the frame ---------------------------------------------------------

// A stream of pseudo-random bytes: any byte sequence is valid run-length data, with runs of 0 to 63 and
// run codes wherever they fall, so these reach every branch of the decoding loops.
std::vector<uint8_t> noise(size_t n, uint32_t seed)
{
    std::vector<uint8_t> out(n);
    for (auto& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return out;
}

// What the data say, code by code, for an 8-bit picture of count pixels without padding: each pixel
// as its palette index, black (-1) where the data end early.
std::vector<int> expand(const std::vector<uint8_t>& data, size_t count)
{
    std::vector<int> out;
    for (size_t i = 0; i < data.size() && out.size() < count; i++) {
        int n = 1, v = data[i];
        if (v >= 0xC0) {
            if (i + 1 == data.size())
                break;
            n = v & 0x3F;
            v = data[++i];
        }
        for (int k = 0; k < n && out.size() < count; k++)
            out.push_back(v);
    }
    out.resize(count, -1);
    return out;
}

TEST_F(Decoder, LongNoisyStreamsDecodeCodeByCode)
{
    // 640 x 480 pictures, long enough to cross the reader's 64 kB blocks, from data that stop at many
    // places: early, inside a run, and long after the last pixel.
    for (size_t length : {size_t(1000), size_t(65535), size_t(65537), size_t(200001), size_t(400000)}) {
        std::vector<uint8_t> data = noise(length, uint32_t(length));
        ASSERT_EQ(decode(pcxfile(0, 0, 639, 479, data)), 0);
        std::vector<int> want = expand(data, 640 * 480), got = indexes();
        for (size_t i = 0; i < want.size(); i++) {
            pixel expected = want[i] < 0 ? 0 : ramp(want[i]);
            ASSERT_EQ(sprite.pixels[i], expected) << "pixel " << i << " of " << length << " bytes of data";
        }
        delete[] sprite.pixels;
        sprite.pixels = &sentinel;
    }
}

// drawPCX against loadPCX and drawMEM, which it must show exactly, on a frame filled with a pattern that
// shows every pixel it should not touch.
class DrawPCX : public ::testing::Test {
protected:
    void pattern()
    {
        for (int i = 0; i < SCREEN_PIXELS; i++)
            gfx::instance()->pixels[i] = pixel(i * 2654435761u) & 0xFFFFFF;
    }
    // Both ways of drawing the file at row y; the first differing pixel, if any, fails the test.
    void expectSame(const std::vector<uint8_t>& file, int y, const std::string& what)
    {
        std::string path = dir / "p.pcx";
        writefile(path, file);
        gfx* g = gfx::instance();
        pattern();
        MEM_Sprite s;
        ASSERT_EQ(g->loadPCX(&s, path.c_str()), 0) << what;
        g->drawMEM(&s, (640 - s.width) / 2, y);
        delete[] s.pixels;
        std::vector<pixel> want(g->pixels, g->pixels + SCREEN_PIXELS);
        pattern();
        ASSERT_EQ(g->drawPCX(path.c_str(), y), 0) << what;
        for (int i = 0; i < SCREEN_PIXELS; i++)
            ASSERT_EQ(g->pixels[i], want[i]) << what << ", y " << y << ": first difference at (" << i % 640
                                             << ", " << i / 640 << ")";
    }
    ScratchDir dir;
};

TEST_F(DrawPCX, ShowsWhatLoadPCXAndDrawMEMShowForEveryKindSizeAndPlace)
{
    struct Kind {
        int bits, planes;
        bool raw;
    } kinds[] = {{8, 1, false}, {8, 1, true}, {8, 3, false}, {8, 4, true}, {1, 1, false},
                 {1, 4, false}, {1, 2, true}, {2, 1, false}, {4, 1, false}};
    // Fitting, full width, odd and wider than the frame (cut on both sides), taller than the frame.
    struct Size {
        int w, h;
    } sizes[] = {{640, 480}, {13, 7}, {640, 3}, {641, 5}, {643, 9}, {1001, 2}, {31, 500}};
    uint32_t seed = 1;
    for (const Kind& k : kinds)
        for (const Size& z : sizes) {
            long long rowbytes = (z.w * k.bits + 7) / 8 + 1; // padded by one byte
            long long need = rowbytes * k.planes * z.h;
            // Enough data for the whole picture, and data ending part-way.
            for (long long length : {need * 2 + 16, need / 3 + 1}) {
                std::vector<uint8_t> data = noise(size_t(length), seed++);
                std::vector<uint8_t> file = pcxheader(0, 0, z.w - 1, z.h - 1, int(rowbytes));
                file[2] = k.raw ? 0 : 1;
                file[3] = uint8_t(k.bits);
                file[65] = uint8_t(k.planes);
                for (int i = 16; i < 64; i++)
                    file[size_t(i)] = uint8_t(i * 37);
                file.insert(file.end(), data.begin(), data.end());
                if (k.bits == 8 && k.planes == 1) {
                    std::vector<uint8_t> palette = rampPalette();
                    file.insert(file.end(), palette.begin(), palette.end());
                }
                std::string what = std::to_string(k.bits) + " bits x " + std::to_string(k.planes) +
                                   (k.raw ? " raw, " : ", ") + std::to_string(z.w) + "x" + std::to_string(z.h) +
                                   ", " + std::to_string(length) + " bytes";
                for (int y : {0, 2, -3, 477, 480, -600})
                    expectSame(file, y, what);
                // 8-bit rows without padding take the flat path.
                if (k.bits == 8 && k.planes == 1) {
                    file[66] = file[67] = 0;
                    for (int y : {0, 1, -1})
                        expectSame(file, y, what + ", no padding");
                }
            }
        }
}

TEST_F(DrawPCX, UndecodableFileLeavesTheFrameUntouched)
{
    gfx* g = gfx::instance();
    std::vector<uint8_t> header = pcxheader(0, 0, 9, 9, 10);
    std::vector<uint8_t> unknown = header;
    unknown[3] = 3; // 3 bits per pixel
    std::vector<std::string> paths = {dir / "none.pcx", dir.path(), dir / "short.pcx", dir / "unknown.pcx"};
    writefile(paths[2], header); // no room for the palette
    writefile(paths[3], unknown);
    pattern();
    std::vector<pixel> before(g->pixels, g->pixels + SCREEN_PIXELS);
    for (const std::string& p : paths)
        EXPECT_EQ(g->drawPCX(p.c_str(), 0), 1) << p;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), g->pixels));
}

// setimg ----------------------------------------------------------------------------------------

class Setimg : public ::testing::Test {
protected:
    void SetUp() override { gfx::instance()->clearscreen(0, 0, 1); }
    // Writes a w x h picture whose pixel (x, y) has index (x + y) % 256 in rampPalette().
    std::string picture(int w, int h)
    {
        PcxImage img;
        img.width = w;
        img.height = h;
        img.palette = rampPalette();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                img.indexes.push_back(uint8_t((x + y) % 256));
        std::string p = dir / "pic.pcx";
        writefile(p, encodepcx(img));
        return p;
    }
    // Checks the frame holds picture(w, h) with its top-left corner at column left, row 0, clipped,
    // and the fill colour everywhere else.
    void expectDrawnAt(int w, int h, int left)
    {
        const pixel* frame = gfx::instance()->pixels;
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++) {
                int px = x - left;
                pixel want = (px >= 0 && px < w && y < h) ? ramp((px + y) % 256) : 1u;
                ASSERT_EQ(frame[y * 640 + x], want) << "at (" << x << ", " << y << ")";
            }
    }
    ScratchDir dir;
    script s;
};

TEST_F(Setimg, CentresAHundredWidePictureAtColumn270)
{
    EXPECT_EQ(s.setimg(picture(100, 30).c_str()), 0);
    expectDrawnAt(100, 30, 270);
}

TEST_F(Setimg, OddWidthRoundsTowardTheLeft)
{
    EXPECT_EQ(s.setimg(picture(101, 3).c_str()), 0);
    expectDrawnAt(101, 3, 269);
}

TEST_F(Setimg, FullWidthPictureStartsAtColumnZero)
{
    EXPECT_EQ(s.setimg(picture(640, 2).c_str()), 0);
    expectDrawnAt(640, 2, 0);
}

TEST_F(Setimg, WidePictureShowsItsMiddleColumns)
{
    // 700 wide: (640 - 700) / 2 = -30, so columns 30..669 of the picture are shown.
    EXPECT_EQ(s.setimg(picture(700, 4).c_str()), 0);
    expectDrawnAt(700, 4, -30);
}

TEST_F(Setimg, TallPictureShowsItsTopRows)
{
    EXPECT_EQ(s.setimg(picture(10, 600).c_str()), 0);
    expectDrawnAt(10, 600, 315);
}

TEST_F(Setimg, UndecodableFileDrawsNothing)
{
    EXPECT_EQ(s.setimg((dir / "none.pcx").c_str()), 1);
    EXPECT_EQ(s.setimg(dir.path().c_str()), 1);
    expectDrawnAt(0, 0, 0);
}

} // namespace
