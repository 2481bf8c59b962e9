// The font maker: tralune-mkfont run as a user runs it, its images compared with FreeType's own rendering
// of the same font, read back by the player's font and decoder and by Pillow, and its refusals.
#include "fakevideo.h"
#include "font.h"
#include "gfx.h"
#include "runner.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

namespace {

const std::string DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char GLYPHS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!?";
const int DEFAULT_SIZE = 28;
const int BASIC = 64, FULL = 185;

std::string hex(pixel p);

// The characters of the slots, as the manual lists them: GLYPHS, then the ASCII signs, then Latin-1
// U+00A1 to U+00FF without the soft hyphen.
std::vector<int> slotorder()
{
    std::vector<int> chars(GLYPHS, GLYPHS + BASIC);
    for (const char* p = "\"#$&'*+,-./:;<=>@[\\]^_`{|}~"; *p; p++)
        chars.push_back(*p);
    for (int ch = 0xA1; ch <= 0xFF; ch++)
        if (ch != 0xAD)
            chars.push_back(ch);
    return chars;
}
const std::vector<int> SLOTORDER = slotorder();

// A slot's character for messages: itself when ASCII, else its code.
std::string named(int slot)
{
    int ch = SLOTORDER[size_t(slot)];
    return ch < 0x80 ? std::string("\"") + char(ch) + "\"" : "U+00" + hex(pixel(ch)).substr(4);
}
const pixel WHITE = 0xFFFFFF;
const pixel MAGENTA = 0xFF00FF;

std::string hex(pixel p)
{
    char s[16];
    snprintf(s, sizeof s, "%06X", unsigned(p));
    return s;
}

// Runs tralune-mkfont with args in st's work folder, its standard error kept apart.
ToolRun mkfont(const Stage& st, const std::vector<std::string>& args)
{
    return st.runtool(MKFONT_BINARY, args);
}

// Names in a folder, without "." and "..".
std::set<std::string> listing(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

std::string joined(const std::set<std::string>& names)
{
    std::string s;
    for (const auto& n : names)
        s += n + " ";
    return s;
}

struct Image {
    int width = 0;
    int height = 0;
    std::vector<pixel> px;
    // Outside the image: 0xFFFFFFFF, which no decoded pixel can be.
    pixel at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height ? px[size_t(y) * width + x] : 0xFFFFFFFF;
    }
};

// The image at path as the player's decoder reads it; width 0 when it does not decode.
Image decoded(const std::string& path)
{
    Image img;
    MEM_Sprite s;
    if (gfx::instance()->loadPCX(&s, path.c_str()) != 0)
        return img;
    img.width = s.width;
    img.height = s.height;
    img.px.assign(s.pixels, s.pixels + size_t(s.width) * s.height);
    delete[] s.pixels;
    return img;
}

unsigned le16(const std::string& bytes, size_t at)
{
    return (unsigned char)bytes[at] | (unsigned((unsigned char)bytes[at + 1]) << 8);
}

// The 256 colours of the palette at the end of a PCX file.
std::vector<pixel> palette(const std::string& bytes)
{
    std::vector<pixel> pal;
    size_t at = bytes.size() - 768;
    for (int v = 0; v < 256; v++, at += 3)
        pal.push_back((pixel((unsigned char)bytes[at]) << 16) | (pixel((unsigned char)bytes[at + 1]) << 8) |
                      (unsigned char)bytes[at + 2]);
    return pal;
}

// The ink at coverage k of 255: each component of colour scaled by k / 255, rounded to nearest.
pixel inkat(pixel colour, int k)
{
    pixel out = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        out |= ((((colour >> shift) & 0xFF) * pixel(k) + 127) / 255) << shift;
    return out;
}

// One glyph as FreeType renders it: coverage 0..255 with the bitmap's bearing, and the advance.
struct Rendered {
    int advance = 0, left = 0, top = 0, width = 0, rows = 0;
    std::vector<uint8_t> coverage;
};

// FreeType's rendering of an outline font at a pixel size (the em), loaded as the font maker loads it:
// hinted, anti-aliased, advances rounded to whole pixels.
class FreeTypeFont {
public:
    FreeTypeFont(const std::string& path, int size)
    {
        ok = FT_Init_FreeType(&lib) == 0 && FT_New_Face(lib, path.c_str(), 0, &face) == 0 &&
             FT_Set_Pixel_Sizes(face, 0, FT_UInt(size)) == 0;
    }
    ~FreeTypeFont()
    {
        if (face)
            FT_Done_Face(face);
        if (lib)
            FT_Done_FreeType(lib);
    }
    FreeTypeFont(const FreeTypeFont&) = delete;
    FreeTypeFont& operator=(const FreeTypeFont&) = delete;

    Rendered render(int ch)
    {
        Rendered g;
        if (FT_Load_Char(face, FT_ULong(ch), FT_LOAD_RENDER) != 0)
            return g;
        FT_GlyphSlot s = face->glyph;
        g.advance = int((s->advance.x + 32) >> 6);
        g.left = s->bitmap_left;
        g.top = s->bitmap_top;
        g.width = int(s->bitmap.width);
        g.rows = int(s->bitmap.rows);
        for (int r = 0; r < g.rows; r++)
            for (int c = 0; c < g.width; c++)
                g.coverage.push_back(s->bitmap.buffer[r * s->bitmap.pitch + c]);
        return g;
    }
    // Whole rows above and below the baseline that the font asks for at this size.
    int ascender() const { return int((face->size->metrics.ascender + 63) / 64); }
    int descender() const { return int((-face->size->metrics.descender + 63) / 64); }

    bool ok = false;

private:
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
};

// The font image the maker should write for an outline font, built here from FreeType's glyphs:
// - rows: the marker row, then `above` rows over the baseline and `below` rows under it, where above is
//   the greater of the font's ascender and the highest glyph top, and below likewise;
// - slot 0's cell is columns 0 .. w0 - 1 with its marker at w0; slot i >= 1 starts on the marker of slot
//   i - 1, its cell is w columns wide and its marker comes after one unused column; w is the advance;
// - a glyph's coverage sits at its bearing, clipped to its cell; coverage k is inkat(colour, k), and 0 is
//   the key; an odd width gets one more key column.
struct Layout {
    Image image;
    pixel key = 0;
    std::vector<int> starts, widths;
    int baseline = 0; // the image row just under the baseline
};

// slots: FULL, or BASIC for --basic.
Layout expectedfont(const std::string& path, int size, pixel colour, pixel key, int slots = FULL)
{
    FreeTypeFont ft(path, size);
    Layout l;
    l.key = key;
    if (!ft.ok)
        return l;
    std::vector<Rendered> g(static_cast<size_t>(slots));
    l.starts.resize(size_t(slots));
    l.widths.resize(size_t(slots));
    int above = ft.ascender(), below = ft.descender();
    for (int s = 0; s < slots; s++) {
        g[s] = ft.render(SLOTORDER[size_t(s)]);
        l.widths[s] = std::max(1, g[s].advance);
        if (g[s].rows > 0) {
            above = std::max(above, g[s].top);
            below = std::max(below, g[s].rows - g[s].top);
        }
    }
    std::vector<int> markers(static_cast<size_t>(slots));
    for (int s = 0; s < slots; s++) {
        l.starts[s] = s == 0 ? 0 : markers[s - 1];
        markers[s] = s == 0 ? l.widths[0] : markers[s - 1] + l.widths[s] + 1;
    }
    Image& img = l.image;
    img.width = markers.back() + 1;
    img.width += img.width & 1;
    img.height = 1 + above + below;
    img.px.assign(size_t(img.width) * img.height, key);
    for (int m : markers)
        img.px[size_t(m)] = inkat(colour, 255);
    l.baseline = 1 + above;
    for (int s = 0; s < slots; s++)
        for (int r = 0; r < g[s].rows; r++)
            for (int c = 0; c < g[s].width; c++) {
                int x = g[s].left + c, y = l.baseline - g[s].top + r;
                int k = g[s].coverage[size_t(r) * g[s].width + c];
                if (k && x >= 0 && x < l.widths[s])
                    img.px[size_t(y) * img.width + l.starts[s] + x] = inkat(colour, k);
            }
    return l;
}

// "" when got matches want: row 0 as key or marker, glyph rows pixel for pixel. Otherwise the sizes
// or the first differing pixel, with the slot whose cell holds it.
std::string difference(const Image& got, const Layout& want)
{
    const Image& w = want.image;
    if (got.width != w.width || got.height != w.height)
        return "size " + std::to_string(got.width) + " x " + std::to_string(got.height) + ", expected " +
               std::to_string(w.width) + " x " + std::to_string(w.height);
    for (int y = 0; y < w.height; y++)
        for (int x = 0; x < w.width; x++) {
            pixel a = got.at(x, y), b = w.at(x, y);
            bool same = y == 0 ? (a == want.key) == (b == want.key) : a == b;
            if (same)
                continue;
            std::string slot = "past the last slot";
            for (int s = int(want.starts.size()) - 1; s >= 0; s--)
                if (x >= want.starts[s]) {
                    slot = "in the cell of " + named(s);
                    if (x >= want.starts[s] + want.widths[s])
                        slot = "after the cell of " + named(s);
                    break;
                }
            return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") " + slot + " is " + hex(a) +
                   ", expected " + hex(b) + (y == 0 ? " (marker row, key " + hex(want.key) + ")" : "");
        }
    return "";
}

// A stage holding the fonts the refusal and bitmap-font tests need.
class Maker : public ::testing::Test {
protected:
    Stage st;
};

// Fonts made from DejaVu Sans ------------------------------------------------------------------------

class DejaVu : public Maker {
protected:
    // Makes the font with the given options into work/name and decodes it; a failed run fails the test.
    Image make(const std::string& name, std::vector<std::string> options = {})
    {
        options.insert(options.end(), {"-o", name, DEJAVU});
        ToolRun r = mkfont(st, options);
        EXPECT_EQ(r.status, 0) << r;
        Image img = decoded(st.work(name));
        EXPECT_GT(img.width, 0) << "the player cannot decode " << name;
        return img;
    }
};

TEST_F(DejaVu, PlayerFindsSixtyFourSlotsOfNonZeroWidth)
{
    Image img = make("font.pcx", {"--basic"});
    ASSERT_GT(img.width, 0);
    int markers = 0;
    for (int x = 0; x < img.width; x++)
        markers += img.at(x, 0) != img.at(0, 0);
    EXPECT_EQ(markers, 64) << "markers in row 0";

    font* f = font::instance();
    ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0);
    EXPECT_EQ(f->height, img.height);
    for (int s = 0; s < 64; s++)
        EXPECT_GT(f->widths[s], 0) << "slot " << s << " (\"" << GLYPHS[s] << "\")";
    for (int s = 64; s < FULL; s++)
        EXPECT_EQ(f->widths[s], 0) << "slot " << s;
}

TEST_F(DejaVu, FullSetHasAGlyphInEverySlot)
{
    Image img = make("font.pcx");
    int markers = 0;
    for (int x = 0; x < img.width; x++)
        markers += img.at(x, 0) != img.at(0, 0);
    EXPECT_EQ(markers, FULL) << "markers in row 0";
    font* f = font::instance();
    ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0);
    for (int s = 0; s < FULL; s++)
        EXPECT_GT(f->widths[s], 0) << "slot " << s << " (" << named(s) << ")";
    // ' " é ñ ü, and the typographic apostrophe through its look-alike.
    for (int ch : std::vector<int>{'\'', '"', 0xE9, 0xF1, 0xFC, 0x2019})
        EXPECT_TRUE(f->hasglyph(ch)) << ch;
}

TEST_F(DejaVu, SlotWidthsAreTheFontsAdvances)
{
    make("font.pcx", {"--size", "28"});
    font* f = font::instance();
    ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0);
    FreeTypeFont ft(DEJAVU, 28);
    ASSERT_TRUE(ft.ok);
    for (int s = 0; s < 64; s++)
        EXPECT_EQ(f->widths[s], ft.render(GLYPHS[s]).advance) << "slot " << s << " (\"" << GLYPHS[s] << "\")";
    EXPECT_LT(f->widths[f->charindex('i')], f->widths[f->charindex('W')]);
    EXPECT_LT(f->widths[f->charindex('l')], f->widths[f->charindex('m')]);
}

TEST_F(DejaVu, GlyphsAreFreeTypesCoverageOnOneBaseline)
{
    for (int size : {28, 13}) {
        Image img = make("font.pcx", {"--size", std::to_string(size)});
        Layout want = expectedfont(DEJAVU, size, WHITE, MAGENTA);
        ASSERT_GT(want.image.width, 0) << "FreeType cannot open " << DEJAVU;
        EXPECT_EQ(difference(img, want), "") << "size " << size;
    }
    Image basic = make("font.pcx", {"--basic"});
    EXPECT_EQ(difference(basic, expectedfont(DEJAVU, DEFAULT_SIZE, WHITE, MAGENTA, BASIC)), "") << "--basic";
}

TEST_F(DejaVu, HeightHoldsTheMarkerRowAscenderAndDescender)
{
    Image img = make("font.pcx", {"--size", "28"});
    FreeTypeFont ft(DEJAVU, 28);
    ASSERT_TRUE(ft.ok);
    EXPECT_GE(img.height, 1 + ft.ascender() + ft.descender());
    // "g" and "y" reach under the baseline, "A" does not: their ink must be in the image, unclipped.
    Layout l = expectedfont(DEJAVU, 28, WHITE, MAGENTA);
    auto lowestink = [&](char ch) {
        int s = int(std::string(GLYPHS).find(ch)), lowest = -1;
        for (int y = 1; y < img.height; y++)
            for (int x = 0; x < l.widths[s]; x++)
                if (img.at(l.starts[s] + x, y) != MAGENTA)
                    lowest = y;
        return lowest;
    };
    EXPECT_EQ(lowestink('A'), l.baseline - 1);
    EXPECT_GT(lowestink('g'), l.baseline);
    EXPECT_GT(lowestink('y'), l.baseline);
}

TEST_F(DejaVu, DefaultsAreTwentyEightPixelsOfWhiteIntoFontPcx)
{
    ToolRun r = mkfont(st, {DEJAVU});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "");
    ToolRun explicitrun = mkfont(st, {"--size=28", "--colour=ffffff", "--output=explicit.pcx", DEJAVU});
    ASSERT_EQ(explicitrun.status, 0) << explicitrun;
    std::string made = readtext(st.work("font.pcx"));
    EXPECT_FALSE(made.empty());
    EXPECT_TRUE(made == readtext(st.work("explicit.pcx"))) << "the defaults differ from --size 28 --colour FFFFFF";
    EXPECT_EQ(difference(decoded(st.work("font.pcx")), expectedfont(DEJAVU, DEFAULT_SIZE, WHITE, MAGENTA)), "");
}

TEST_F(DejaVu, ALyricLineOfAboutThirtyFiveCharactersFitsAtTheDefaultSize)
{
    make("font.pcx");
    font* f = font::instance();
    ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0);
    gfx::instance()->clearscreen(0, 0, 0);
    for (const char* line : {"Somewhere over the rainbow way up hi", "Never gonna give you up never gonna",
                             "I wanna hold your hand I wanna hold"})
        EXPECT_EQ(f->write(line, -1, 480 - f->height), 0) << "\"" << line << "\" is 640 columns or wider";
}

TEST_F(DejaVu, SmallestAndLargestSizesMakeFontsThePlayerReads)
{
    for (const char* size : {"4", "256"}) {
        make("font.pcx", {"--size", size});
        font* f = font::instance();
        ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0) << "size " << size;
        for (int s = 0; s < FULL; s++)
            EXPECT_GT(f->widths[s], 0) << "size " << size << ", slot " << s;
    }
}

// The file itself ------------------------------------------------------------------------------------

TEST_F(DejaVu, WidthIsEvenSoRowsNeedNoPadding)
{
    // Some sizes give an odd count of columns, which then gets one more key column after the last marker.
    bool padded = false;
    for (int size = 8; size <= 40; size++) {
        Image img = make("font.pcx", {"--size", std::to_string(size)});
        std::string bytes = readtext(st.work("font.pcx"));
        ASSERT_GE(bytes.size(), 128u + 768u);
        unsigned width = le16(bytes, 8) - le16(bytes, 4) + 1;
        EXPECT_EQ(bytes[0], 10);
        EXPECT_EQ(bytes[3], 8) << "bits per pixel";
        EXPECT_EQ(bytes[65], 1) << "planes";
        EXPECT_EQ(width % 2, 0u) << "size " << size;
        EXPECT_EQ(le16(bytes, 66), width) << "BytesPerLine at size " << size;
        EXPECT_EQ(bytes[bytes.size() - 769], 0x0C) << "palette marker";
        ASSERT_EQ(unsigned(img.width), width);
        if (img.at(img.width - 1, 0) != img.at(0, 0))
            continue; // the last column is the last marker: no extra column
        padded = true;
        for (int y = 0; y < img.height; y++)
            ASSERT_EQ(img.at(img.width - 1, y), img.at(0, 0)) << "extra column, row " << y << ", size " << size;
        int markers = 0;
        for (int x = 0; x < img.width; x++)
            markers += img.at(x, 0) != img.at(0, 0);
        EXPECT_EQ(markers, FULL) << "size " << size;
    }
    EXPECT_TRUE(padded) << "no size from 8 to 40 needed the extra column, so it went untested";
}

TEST_F(DejaVu, PillowReadsTheSamePixels)
{
    Image mine = make("font.pcx", {"--colour", "3080FF"});
    ASSERT_GT(mine.width, 0);
    RunOptions o;
    o.binary = "/usr/bin/python3";
    o.args = {"-c",
              "import sys\n"
              "from PIL import Image\n"
              "im = Image.open(sys.argv[1]).convert('RGB')\n"
              "with open(sys.argv[2], 'wb') as f:\n"
              "    f.write(b'%d %d\\n' % im.size)\n"
              "    f.write(im.tobytes())\n",
              st.work("font.pcx"), st.work("pillow.rgb")};
    RunResult r = st.run(o);
    ASSERT_EQ(r.status, 0) << r.output;
    std::string rgb = readtext(st.work("pillow.rgb"));
    size_t eol = rgb.find('\n');
    ASSERT_NE(eol, std::string::npos);
    std::istringstream size(rgb.substr(0, eol));
    int w = 0, h = 0;
    size >> w >> h;
    ASSERT_EQ(w, mine.width);
    ASSERT_EQ(h, mine.height);
    ASSERT_EQ(rgb.size(), eol + 1 + size_t(w) * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const unsigned char* p = (const unsigned char*)rgb.data() + eol + 1 + (size_t(y) * w + x) * 3;
            pixel theirs = (pixel(p[0]) << 16) | (pixel(p[1]) << 8) | p[2];
            ASSERT_EQ(hex(theirs), hex(mine.at(x, y))) << "pixel (" << x << ", " << y << "): Pillow, then tralune";
        }
}

// Ink and key colours --------------------------------------------------------------------------------

TEST_F(DejaVu, DefaultKeyIsMagentaAndOnlyTheKeyEntryHoldsIt)
{
    Image img = make("font.pcx");
    EXPECT_EQ(hex(img.at(0, 0)), hex(MAGENTA));
    std::vector<pixel> pal = palette(readtext(st.work("font.pcx")));
    EXPECT_EQ(std::count(pal.begin(), pal.end(), img.at(0, 0)), 1) << "palette entries in the key colour";
}

TEST_F(DejaVu, EdgesFadeTowardBlackInTheInkColour)
{
    const pixel colour = 0x3080FF;
    Image img = make("font.pcx", {"--colour", "3080FF"});
    EXPECT_EQ(difference(img, expectedfont(DEJAVU, DEFAULT_SIZE, colour, MAGENTA)), "");
    // The anti-aliased edges are there: ink at part coverage as well as at full coverage.
    int full = 0, part = 0;
    for (int y = 1; y < img.height; y++)
        for (int x = 0; x < img.width; x++) {
            pixel p = img.at(x, y);
            full += p == colour;
            part += p != colour && p != MAGENTA;
        }
    EXPECT_GT(full, 0);
    EXPECT_GT(part, 0);
}

TEST_F(DejaVu, BlackInkIsStillInk)
{
    Image img = make("font.pcx", {"--colour", "000000"});
    EXPECT_EQ(difference(img, expectedfont(DEJAVU, DEFAULT_SIZE, 0x000000, MAGENTA)), "");
}

TEST_F(DejaVu, InkInTheKeyColourMovesTheKey)
{
    for (const char* colour : {"FF00FF", "ff00ff"}) {
        Image img = make("font.pcx", {"--colour", colour});
        pixel key = img.at(0, 0);
        EXPECT_NE(hex(key), hex(MAGENTA)) << "--colour " << colour;
        for (int k = 1; k <= 255; k++)
            ASSERT_NE(hex(inkat(MAGENTA, k)), hex(key)) << "ink at coverage " << k << " is the key";
        std::vector<pixel> pal = palette(readtext(st.work("font.pcx")));
        EXPECT_EQ(std::count(pal.begin(), pal.end(), key), 1) << "palette entries in the key colour";
        EXPECT_EQ(difference(img, expectedfont(DEJAVU, DEFAULT_SIZE, MAGENTA, key)), "") << "--colour " << colour;
    }
    // The colour the maker moves the key to is itself a fine ink colour.
    Image img = make("font.pcx", {"--colour", "00FF00"});
    EXPECT_EQ(difference(img, expectedfont(DEJAVU, DEFAULT_SIZE, 0x00FF00, img.at(0, 0))), "");
    std::vector<pixel> pal = palette(readtext(st.work("font.pcx")));
    EXPECT_EQ(std::count(pal.begin(), pal.end(), img.at(0, 0)), 1) << "palette entries in the key colour";
}

// Drawing with a made font ---------------------------------------------------------------------------

TEST_F(DejaVu, HighlightedWordIsDrawnInTheHighlightColourAndTheRestInTheirOwn)
{
    make("font.pcx");
    font* f = font::instance();
    ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0);
    Layout l = expectedfont(DEJAVU, DEFAULT_SIZE, WHITE, MAGENTA);
    ASSERT_EQ(f->height, l.image.height);

    // A background that no ink level of white can have, so every drawn pixel shows.
    const pixel background = 0x000001;
    gfx* g = gfx::instance();
    g->clearscreen(0, 0, 1);
    const char* text = "Hi %you%!";
    const int x0 = 20, y0 = 100;
    ASSERT_EQ(f->write(text, x0, y0), 0);

    // Each glyph's ink at its pen position, glyph rows from y0 + 1; the highlighted word in HLCOL.
    std::vector<pixel> want(SCREEN_PIXELS, background);
    int x = x0;
    bool highlight = false;
    for (const char* p = text; *p; p++) {
        if (*p == '%') {
            highlight = !highlight;
            continue;
        }
        if (*p == ' ') {
            x += l.widths[0];
            continue;
        }
        int s = int(std::string(GLYPHS).find(*p));
        for (int r = 1; r < l.image.height; r++)
            for (int c = 0; c < l.widths[s]; c++) {
                pixel ink = l.image.at(l.starts[s] + c, r);
                if (ink != MAGENTA)
                    want[size_t(y0 + r) * 640 + x + c] = highlight ? HLCOL : ink;
            }
        x += l.widths[s];
    }
    int highlighted = 0, own = 0;
    for (int i = 0; i < SCREEN_PIXELS; i++) {
        ASSERT_EQ(hex(g->pixels[i]), hex(want[i])) << "frame pixel (" << i % 640 << ", " << i / 640 << ")";
        ASSERT_NE(g->pixels[i], MAGENTA) << "key colour drawn at (" << i % 640 << ", " << i / 640 << ")";
        highlighted += want[i] == HLCOL;
        own += want[i] != HLCOL && want[i] != background;
    }
    EXPECT_GT(highlighted, 0);
    EXPECT_GT(own, 0);
}

TEST_F(Maker, ThePlayerShowsATextLineWithAMadeFont)
{
    ToolRun made = mkfont(st, {DEJAVU});
    ASSERT_EQ(made.status, 0) << made;
    st.write("script.txt", "text(Hello %world%)\n");
    RunResult r = st.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "No file specified. Using default script.txt\n");
}

// A bitmap font, written here in BDF: one glyph per character, "A" and "?" only, with "?" as the glyph
// for every character the font lacks.
//
//   A (advance 6)   ? (advance 5)
//   ..#..           .##.
//   .#.#.           #..#
//   #...#           ...#
//   #...#           ..#.
//   #####           .#..
//   #...#           ....
//   #...#           .#..
//
// Seven rows over the baseline and one under it make a font image 9 rows high.
const char TINY_BDF[] = "STARTFONT 2.1\n"
                        "FONT -tralune-tiny-medium-r-normal--8-80-75-75-c-60-iso10646-1\n"
                        "SIZE 8 75 75\n"
                        "FONTBOUNDINGBOX 6 8 0 -1\n"
                        "STARTPROPERTIES 6\n"
                        "PIXEL_SIZE 8\n"
                        "FONT_ASCENT 7\n"
                        "FONT_DESCENT 1\n"
                        "DEFAULT_CHAR 63\n"
                        "CHARSET_REGISTRY \"ISO10646\"\n"
                        "CHARSET_ENCODING \"1\"\n"
                        "ENDPROPERTIES\n"
                        "CHARS 2\n"
                        "STARTCHAR A\nENCODING 65\nSWIDTH 750 0\nDWIDTH 6 0\nBBX 5 7 0 0\nBITMAP\n"
                        "20\n50\n88\n88\nF8\n88\n88\nENDCHAR\n"
                        "STARTCHAR question\nENCODING 63\nSWIDTH 625 0\nDWIDTH 5 0\nBBX 4 7 0 0\nBITMAP\n"
                        "60\n90\n10\n20\n40\n00\n40\nENDCHAR\n"
                        "ENDFONT\n";
const char* const TINY_A[] = {"..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#"};
const char* const TINY_QUESTION[] = {".##.", "#..#", "...#", "..#.", ".#..", "....", ".#.."};

TEST_F(Maker, MissingGlyphsAreReportedAndTheirSlotsLeftEmpty)
{
    st.write("tiny.bdf", TINY_BDF);
    ToolRun r = mkfont(st, {"--size", "8", "tiny.bdf"});
    ASSERT_EQ(r.status, 0) << r;
    std::string lacking = std::string(GLYPHS).substr(1, 62) + "\"#$&'*+,-./:;<=>@[\\]^_`{|}~\xC2\xA1";
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r;
    EXPECT_NE(r.err.find(lacking), std::string::npos) << "the missing characters are not listed\n" << r;
    EXPECT_NE(r.err.find("\xC3\xBE\xC3\xBF\""), std::string::npos) << "the list does not end on \"\xC3\xBF\"\n" << r;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r;
    EXPECT_EQ(r.out.find("font.pcx: 2 glyphs, "), 0u) << r;

    font* f = font::instance();
    ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0);
    Image img = decoded(st.work("font.pcx"));
    ASSERT_EQ(img.height, 9);
    EXPECT_EQ(hex(img.at(0, 0)), hex(MAGENTA));
    for (int s = 0; s < FULL; s++) {
        int want = s == 0 ? 6 : s == 63 ? 5 : 0;
        ASSERT_EQ(f->widths[s], want) << "slot " << s << " (" << named(s) << ")";
        // Rows 1 to 7 hold the glyph's pixels in full ink, row 8 (under the baseline) stays empty.
        const char* const* rows = s == 0 ? TINY_A : TINY_QUESTION;
        for (int y = 1; y < 9; y++)
            for (int x = 0; x < want; x++) {
                bool ink = y <= 7 && x < int(strlen(rows[y - 1])) && rows[y - 1][x] == '#';
                pixel got = img.at(f->offsets[s] + x, y);
                ASSERT_EQ(hex(got), hex(ink ? WHITE : MAGENTA))
                    << "slot " << s << " (\"" << GLYPHS[s] << "\"), glyph pixel (" << x << ", " << y << ")";
            }
    }
}

TEST_F(Maker, FontWithoutAGetsABlankFirstSlot)
{
    // The tiny font with its "A" made a "B": slot 0 cannot be empty (its marker would be the key pixel),
    // and without a space in the font it is one blank column.
    std::string bdf = TINY_BDF;
    bdf.replace(bdf.find("ENCODING 65"), 11, "ENCODING 66");
    st.write("tiny.bdf", bdf);
    ToolRun r = mkfont(st, {"--size", "8", "--basic", "tiny.bdf"});
    ASSERT_EQ(r.status, 0) << r;
    font* f = font::instance();
    ASSERT_EQ(f->loadfont(st.work("font.pcx").c_str()), 0);
    EXPECT_EQ(f->widths[0], 1);
    EXPECT_EQ(f->widths[1], 6);
    Image img = decoded(st.work("font.pcx"));
    for (int y = 1; y < img.height; y++)
        EXPECT_EQ(hex(img.at(0, y)), hex(MAGENTA)) << "row " << y;
}

// Refusals -------------------------------------------------------------------------------------------

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    std::string mentions; // what the error line must name
};

std::ostream& operator<<(std::ostream& o, const Refusal& r)
{
    return o << r.name;
}

class Refuses : public Maker, public ::testing::WithParamInterface<Refusal> {
protected:
    void SetUp() override
    {
        st.write("notes.txt", "These are the words of the song, not a font.\n");
        st.write("empty.ttf", "");
        st.write("tiny.bdf", TINY_BDF);
        mkdir(st.work("folder").c_str(), 0755);
    }
};

TEST_P(Refuses, WithOneLineOnStandardErrorStatusOneAndNoFile)
{
    std::set<std::string> before = listing(st.work());
    ToolRun r = mkfont(st, GetParam().args);
    EXPECT_TRUE(r.exited) << r;
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_EQ(r.err.rfind("tralune-mkfont: ", 0), 0u) << r;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r;
    EXPECT_EQ(r.err.back(), '\n') << r;
    EXPECT_NE(r.err.find(GetParam().mentions), std::string::npos) << "the line does not name \"" << GetParam().mentions
                                                                  << "\"\n" << r;
    EXPECT_EQ(joined(listing(st.work())), joined(before)) << "files in the work folder";
    EXPECT_TRUE(listing(st.work("folder")).empty()) << joined(listing(st.work("folder")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refuses,
    ::testing::Values(
        Refusal{"NoArguments", {}, "no font file"},
        Refusal{"OnlyOptions", {"--size", "20"}, "no font file"},
        Refusal{"MissingFontFile", {"missing.ttf"}, "missing.ttf"},
        Refusal{"TextFileIsNoFont", {"notes.txt"}, "notes.txt"},
        Refusal{"EmptyFileIsNoFont", {"empty.ttf"}, "empty.ttf"},
        Refusal{"FolderIsNoFont", {"folder"}, "folder"},
        Refusal{"BitmapFontWithoutThatSize", {"--size", "20", "tiny.bdf"}, "tiny.bdf"},
        Refusal{"SizeNotANumber", {"--size", "big", DEJAVU}, "\"big\""},
        Refusal{"SizeWithAFraction", {"--size", "28.5", DEJAVU}, "\"28.5\""},
        Refusal{"SizeWithTrailingText", {"--size", "28px", DEJAVU}, "\"28px\""},
        Refusal{"SizeZero", {"--size", "0", DEJAVU}, "\"0\""},
        Refusal{"SizeNegative", {"--size", "-5", DEJAVU}, "\"-5\""},
        Refusal{"SizeBelowFour", {"--size", "3", DEJAVU}, "\"3\""},
        Refusal{"SizeAbove256", {"--size", "257", DEJAVU}, "\"257\""},
        Refusal{"SizeBeyondAnyInteger", {"--size", "99999999999999999999", DEJAVU}, "\"99999999999999999999\""},
        Refusal{"SizeEmpty", {"--size=", DEJAVU}, "size"},
        // A line feed in a value must not break the message into two lines.
        Refusal{"SizeWithALineFeed", {"--size", "2\n8", DEJAVU}, "\"2?8\""},
        Refusal{"SizeWithoutValue", {DEJAVU, "--size"}, "--size"},
        Refusal{"ColourTooShort", {"--colour", "FFFFF", DEJAVU}, "\"FFFFF\""},
        Refusal{"ColourTooLong", {"--colour", "FFFFFFF", DEJAVU}, "\"FFFFFFF\""},
        Refusal{"ColourNotHexadecimal", {"--colour", "GGGGGG", DEJAVU}, "\"GGGGGG\""},
        Refusal{"ColourWithHash", {"--colour", "#FFFFFF", DEJAVU}, "\"#FFFFFF\""},
        Refusal{"ColourWithoutValue", {DEJAVU, "--colour"}, "--colour"},
        Refusal{"OutputInAMissingFolder", {"-o", "/nonexistent-dir/x.pcx", DEJAVU}, "/nonexistent-dir/x.pcx"},
        Refusal{"OutputIsAFolder", {"-o", "folder", DEJAVU}, "folder"},
        Refusal{"OutputWithoutValue", {DEJAVU, "-o"}, "-o"},
        Refusal{"UnknownOption", {"--colour-depth", "8", DEJAVU}, "--colour-depth"},
        Refusal{"TwoFontFiles", {DEJAVU, "notes.txt"}, "notes.txt"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(Maker, AFailedRunLeavesAnOlderOutputAlone)
{
    st.write("font.pcx", "an older font");
    st.write("notes.txt", "not a font\n");
    ToolRun r = mkfont(st, {"notes.txt"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(readtext(st.work("font.pcx")), "an older font");
    r = mkfont(st, {"--size", "0", DEJAVU});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(readtext(st.work("font.pcx")), "an older font");
}

TEST_F(Maker, HelpPrintsUsageAndSucceeds)
{
    ToolRun r = mkfont(st, {"--help"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out.rfind("usage: tralune-mkfont [--size PIXELS] [--colour RRGGBB] [--basic] [-o OUTPUT] FONTFILE\n",
                          0),
              0u)
        << r;
    for (const char* option : {"--size", "--colour", "--basic", "-o", "--help"})
        EXPECT_NE(r.out.find(std::string("\n  ") + option), std::string::npos) << option << " is not explained\n" << r;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(listing(st.work()).empty()) << joined(listing(st.work()));
}

TEST_F(Maker, SuccessSaysWhatWasWritten)
{
    ToolRun r = mkfont(st, {"-o", "song.pcx", DEJAVU});
    ASSERT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.err, "");
    Image img = decoded(st.work("song.pcx"));
    EXPECT_EQ(r.out, "song.pcx: 185 glyphs, " + std::to_string(img.width) + " x " + std::to_string(img.height) +
                         " pixels, key colour FF00FF\n");
    EXPECT_EQ(joined(listing(st.work())), "song.pcx ");
}

} // namespace
