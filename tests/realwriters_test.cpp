// Pictures from users' own image editors: PCX files of every kind written by ImageMagick and Pillow
// decode to exactly the pixels each writer reads back from its own file, show centred at the top of the
// screen, and run through the built program without harm. The files are made at test time by
// make_real_pcx.py.
#include "fakevideo.h"
#include "font.h"
#include "gfx.h"
#include "runner.h"
#include "script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// One picture: which writer makes it, from which pattern (see make_real_pcx.py), at which size.
struct Case {
    std::string writer;
    std::string pattern;
    int width;
    int height;

    std::string size() const { return std::to_string(width) + "x" + std::to_string(height); }
    // The generator's argument for this picture and the base of the file names it writes.
    std::string arg() const { return writer + ":" + pattern + ":" + size(); }
    std::string base() const { return writer + "-" + pattern + "-" + size(); }
    bool pillow() const { return writer.compare(0, 3, "pil") == 0; }
};

// The kind of file a writer makes (see make_real_pcx.py): ImageMagick saves a grey picture as 24-bit
// whatever it is asked for.
struct Kind {
    int bits, planes, encoding;
    bool palette; // a 0x0C marker and 768 palette bytes end the file
};

Kind kindof(const Case& c)
{
    bool raw = c.writer.find("raw") != std::string::npos;
    if (c.writer == "immono" || c.writer == "pilmono")
        return {1, 1, 1, !c.pillow()};
    if (c.writer == "imalpha")
        return {8, 4, 1, false};
    if (c.writer == "im24" || c.writer == "imraw24" || c.writer == "pil24" || (!c.pillow() && c.pattern == "grey"))
        return {8, 3, raw ? 0 : 1, false};
    return {8, 1, raw ? 0 : 1, true};
}

std::ostream& operator<<(std::ostream& o, const Case& c)
{
    return o << c.arg();
}

std::string casename(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.writer + "_" + info.param.pattern + "_" + info.param.size();
}

std::vector<uint8_t> readbytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned le16(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (unsigned(b[at + 1]) << 8);
}

std::string hex(pixel p)
{
    char text[16];
    snprintf(text, sizeof text, "0x%06X", unsigned(p));
    return text;
}

// Runs the generator for the given cases into folder. Empty when every file was made, else the
// command and the generator's whole output.
std::string generate(const std::string& folder, const std::vector<Case>& cases)
{
    std::string log = folder + "/generator.log";
    std::string cmd = "/usr/bin/python3 '" REALPCX_GENERATOR "' '" + folder + "'";
    for (const Case& c : cases)
        cmd += " " + c.arg();
    int status = system((cmd + " > '" + log + "' 2>&1").c_str());
    if (status == 0)
        return "";
    return "generator failed (status " + std::to_string(status) + "): " + cmd + "\n" + readtext(log);
}

// A generated picture: the PCX file and the writer's own reading of it, one pixel per value.
struct Written {
    std::string path;
    std::vector<uint8_t> file;
    std::vector<pixel> readback;
};

Written load(const ScratchDir& dir, const Case& c)
{
    Written w;
    w.path = dir / (c.base() + ".pcx");
    w.file = readbytes(w.path);
    std::vector<uint8_t> rgb = readbytes(dir / (c.base() + ".rgb"));
    // ImageMagick reads its own monochrome files with a set bit black, against the black-and-white
    // palette it writes in their header and against Pillow, which reads them as their negative; tralune
    // shows a set bit white, as Pillow does, so these must come out as the negative of ImageMagick's reading.
    pixel invert = c.writer == "immono" ? 0xFFFFFF : 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        w.readback.push_back(((pixel(rgb[i]) << 16) | (pixel(rgb[i + 1]) << 8) | rgb[i + 2]) ^ invert);
    return w;
}

// What the coded data of a file hold, seen as palette indexes (no colours): enough to show that a
// file exercises what its test claims. Rows are BytesPerLine long; only the picture's columns count.
struct CodeFacts {
    long long indexes = 0;       // indexes the codes produce, padding included
    int rowsendinginrun = 0;     // rows whose last picture column is covered by a run of 2 or more
    int longestrun = 0;          // longest stretch of one index within a row, over consecutive codes
    int distinct = 0;            // distinct indexes in the picture's columns
    long long highpixels = 0;    // picture pixels of index 192 or above (these must be coded as runs)
};

CodeFacts scancodes(const std::vector<uint8_t>& file, size_t end, int width, int bytesperline)
{
    CodeFacts f;
    std::set<int> seen;
    long long col = 0;
    int last = -1, stretch = 0;
    for (size_t i = 128; i < end;) {
        if (col == bytesperline) {
            col = 0;
            last = -1;
        }
        int count = 1, v = file[i++];
        if ((v & 0xC0) == 0xC0 && i < end) {
            count = v & 0x3F;
            v = file[i++];
            if (count >= 2 && col <= width - 1 && col + count > width - 1)
                f.rowsendinginrun++;
        }
        for (int k = 0; k < count; k++, col++) {
            if (col == bytesperline) {
                col = 0;
                last = -1;
            }
            if (col >= width)
                continue;
            stretch = v == last ? stretch + 1 : 1;
            last = v;
            f.longestrun = std::max(f.longestrun, stretch);
            seen.insert(v);
            f.highpixels += v >= 192;
        }
        f.indexes += count;
    }
    f.distinct = int(seen.size());
    return f;
}

// Checks that the file is of the kind and size the case's writer makes, with the padding that writer is
// known for, and that the content of an 8-bit file holds what the case's pattern promises.
void expectwhatthecaseclaims(const Case& c, const Written& w)
{
    Kind kind = kindof(c);
    size_t end = w.file.size() - (kind.palette ? 769 : 0); // the end of the pixel data
    ASSERT_GE(end, 128u) << c << ": file too short";
    const auto& f = w.file;
    int bpl = int(le16(f, 66));
    EXPECT_EQ(f[0], 10) << c << ": manufacturer";
    ASSERT_EQ(f[2], kind.encoding) << c << ": encoding";
    ASSERT_EQ(f[3], kind.bits) << c << ": bits per pixel";
    ASSERT_EQ(f[65], kind.planes) << c << ": planes";
    if (kind.palette) {
        EXPECT_EQ(f[end], 0x0C) << c << ": palette marker";
    }
    ASSERT_EQ(le16(f, 4), 0u) << c << ": Xmin";
    ASSERT_EQ(le16(f, 6), 0u) << c << ": Ymin";
    ASSERT_EQ(int(le16(f, 8)), c.width - 1) << c << ": Xmax";
    ASSERT_EQ(int(le16(f, 10)), c.height - 1) << c << ": Ymax";
    // Pillow pads every plane's row to an even length; ImageMagick pads nothing.
    int needed = (c.width * kind.bits + 7) / 8;
    int padded = c.pillow() ? needed + (needed & 1) : needed;
    ASSERT_EQ(bpl, padded) << c << ": BytesPerLine";
    ASSERT_EQ(w.readback.size(), size_t(c.width) * c.height) << c << ": the writer's own reading";
    if (kind.encoding == 0) {
        EXPECT_EQ(end, 128u + size_t(bpl) * kind.planes * c.height) << c << ": rows stored as they are";
        return;
    }
    CodeFacts k = scancodes(f, end, c.width, bpl * kind.planes);
    if (kind.bits != 8 || kind.planes != 1) {
        EXPECT_EQ(k.indexes, (long long)bpl * kind.planes * c.height) << c << ": the codes fill every line";
        return;
    }
    EXPECT_EQ(k.indexes, (long long)bpl * c.height) << c << ": the codes fill every row to BytesPerLine";
    if (c.pattern == "flat" && c.width >= 7) {
        EXPECT_EQ(k.rowsendinginrun, c.height) << c << ": every row should end in a run";
    }
    if (c.pattern == "flat" && c.width >= 128) {
        EXPECT_GE(k.longestrun, 64) << c << ": runs longer than 63 should be split over several codes";
    }
    bool big = (long long)c.width * c.height >= 100000;
    if (c.pattern != "flat" && big && c.writer == "im16") {
        EXPECT_GE(k.distinct, 12) << c << ": sixteen-colour picture";
    } else if (c.pattern != "flat" && big) {
        EXPECT_GE(k.distinct, 100) << c << ": many colours";
        EXPECT_GT(k.highpixels, 0) << c << ": indexes 192 and above";
    }
}

// Decoding ---------------------------------------------------------------------------------------

class WriterFile : public ::testing::TestWithParam<Case> {};

TEST_P(WriterFile, DecodesToThePixelsTheWriterReadsBack)
{
    const Case& c = GetParam();
    ScratchDir dir;
    std::string failed = generate(dir.path(), {c});
    ASSERT_EQ(failed, "");
    Written w = load(dir, c);
    expectwhatthecaseclaims(c, w);
    if (HasFatalFailure())
        return;

    MEM_Sprite s{-1, -1, nullptr};
    ASSERT_EQ(gfx::instance()->loadPCX(&s, w.path.c_str()), 0) << c;
    std::unique_ptr<pixel[]> owned(s.pixels);
    ASSERT_EQ(s.width, c.width);
    ASSERT_EQ(s.height, c.height);

    long long differing = 0, first = -1;
    for (size_t i = 0; i < w.readback.size(); i++)
        if (s.pixels[i] != w.readback[i]) {
            if (first < 0)
                first = (long long)i;
            differing++;
        }
    if (first >= 0)
        ADD_FAILURE() << c << " (width " << c.width << ", BytesPerLine " << le16(w.file, 66) << "): "
                      << differing << " of " << w.readback.size() << " pixels differ; first at (x "
                      << first % c.width << ", y " << first / c.width << "): decoded "
                      << hex(s.pixels[first]) << ", the writer reads " << hex(w.readback[size_t(first)]);
}

// Both writers with their usual settings, at odd and even widths from 1 to 641 and heights 1, 5, 480
// and 481, with each pattern.
std::vector<Case> mainwriters()
{
    const int sizes[][2] = {{1, 1}, {2, 5}, {7, 5}, {8, 5}, {33, 5}, {640, 480}, {641, 481}, {641, 1}, {1, 481}, {7, 480}};
    std::vector<Case> cases;
    for (const char* writer : {"im", "pil"})
        for (const char* pattern : {"flat", "gradient", "noise"})
            for (const auto& s : sizes)
                cases.push_back({writer, pattern, s[0], s[1]});
    return cases;
}

// The writers' other palette choices, at a small odd size and a large odd one.
std::vector<Case> otheroptions()
{
    std::vector<Case> cases;
    for (const char* writer : {"im256", "im16", "imnodither", "piladaptive"})
        for (const char* pattern : {"gradient", "noise"})
            for (int big = 0; big < 2; big++)
                cases.push_back({writer, pattern, big ? 641 : 7, big ? 481 : 5});
    return cases;
}

// Every other kind the writers make: 24-bit, with alpha, monochrome, grey, not run-length coded; at one
// pixel, odd widths small and large, and 17 wide (monochrome rows of three bytes).
std::vector<Case> otherkinds()
{
    const int sizes[][2] = {{1, 1}, {7, 5}, {17, 3}, {641, 481}};
    std::vector<Case> cases;
    for (const char* writer : {"im24", "imalpha", "immono", "imraw", "imraw24", "pil24", "pilgrey", "pilmono"})
        for (const char* pattern : {"gradient", "noise"})
            for (const auto& s : sizes)
                // Pillow leaves the blue plane out of a 24-bit file one pixel wide, and cannot read it.
                if (std::string(writer) != "pil24" || s[0] > 1)
                    cases.push_back({writer, pattern, s[0], s[1]});
    // Greys: the monochrome and grey writers, and ImageMagick, which saves them as 24-bit even when
    // asked for a palette.
    for (const char* writer : {"im", "immono", "pilgrey", "pilmono"})
        for (const auto& s : sizes)
            cases.push_back({writer, "grey", s[0], s[1]});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterFile, ::testing::ValuesIn(mainwriters()), casename);
INSTANTIATE_TEST_SUITE_P(PaletteOptions, WriterFile, ::testing::ValuesIn(otheroptions()), casename);
INSTANTIATE_TEST_SUITE_P(Kinds, WriterFile, ::testing::ValuesIn(otherkinds()), casename);

// The picture command ------------------------------------------------------------------------------

class WriterPicture : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        shownframes.clear();
        videoup = true;
    }
    void TearDown() override { videoup = false; }
};

TEST_P(WriterPicture, SetimgShowsItCentredAtTheTop)
{
    const Case& c = GetParam();
    ScratchDir dir;
    std::string failed = generate(dir.path(), {c});
    ASSERT_EQ(failed, "");
    Written w = load(dir, c);
    ASSERT_EQ(w.readback.size(), size_t(c.width) * c.height) << c;

    // The screen is filled with a colour first, so the frame shows where the picture did not land.
    const pixel background = 0x00010203;
    gfx* g = gfx::instance();
    g->clearscreen(1, 2, 3);
    script s;
    ASSERT_EQ(s.setimg(w.path.c_str()), 0) << c;
    g->update();
    ASSERT_EQ(shownframes.size(), 1u);
    const std::vector<pixel>& frame = shownframes[0];

    // Integer division truncating toward zero: a 641-wide picture starts at column 0, not -1.
    int left = (640 - c.width) / 2;
    long long differing = 0;
    int fx = -1, fy = -1;
    pixel got = 0, want = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            int px = x - left;
            bool inside = px >= 0 && px < c.width && y < c.height;
            pixel expected = inside ? w.readback[size_t(y) * c.width + px] : background;
            pixel shown = frame[size_t(y) * 640 + x];
            if (shown != expected) {
                if (differing++ == 0) {
                    fx = x;
                    fy = y;
                    got = shown;
                    want = expected;
                }
            }
        }
    if (differing)
        ADD_FAILURE() << c << " placed at column " << left << " (width " << c.width << ", BytesPerLine "
                      << le16(w.file, 66) << "): " << differing << " screen pixels differ; first at (x "
                      << fx << ", y " << fy << "), picture (x " << fx - left << ", y " << fy << "): shown "
                      << hex(got) << ", expected " << hex(want)
                      << (fx - left >= 0 && fx - left < c.width && fy < c.height ? "" : " (background)");
}

// Narrow and wide, short and tall; 701 wide starts at column -30, so its middle 640 columns show.
std::vector<Case> placements()
{
    const int sizes[][2] = {{1, 1}, {2, 5}, {7, 5}, {33, 5}, {640, 480}, {641, 481}, {701, 481}, {7, 481}};
    std::vector<Case> cases;
    for (const char* writer : {"im", "pil", "im24"})
        for (const auto& s : sizes)
            cases.push_back({writer, "gradient", s[0], s[1]});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterPicture, ::testing::ValuesIn(placements()), casename);

// The built program ------------------------------------------------------------------------------

class WriterRun : public ::testing::TestWithParam<std::string> {};

TEST_P(WriterRun, ProgramShowsEveryPictureAndGoesOn)
{
    Stage st;
    st.addfont();
    std::vector<Case> cases;
    const int sizes[][2] = {{1, 1}, {7, 5}, {8, 5}, {641, 481}, {701, 481}};
    for (const char* pattern : {"flat", "gradient", "noise"})
        for (const auto& s : sizes)
            cases.push_back({GetParam(), pattern, s[0], s[1]});
    ASSERT_EQ(generate(st.work(), cases), "");

    // A hop after each picture shows how far the run got.
    std::string text, expected = "Opening file: script.txt\n";
    for (const Case& c : cases) {
        text += "setimg(" + c.base() + ".pcx)\nhop()\n";
        expected += "Now i hop\n";
    }
    st.write("script.txt", text);
    RunOptions opts;
    opts.args = {"script.txt"};
    opts.timeout = 100; // fifteen pictures, some large, on a machine that may be busy
    RunResult r = st.run(opts);
    EXPECT_TRUE(r.exited) << "script:\n" << text << "output:\n" << r.output;
    EXPECT_EQ(r.status, 0) << "script:\n" << text << "output:\n" << r.output;
    EXPECT_EQ(r.output, expected) << "script:\n" << text;
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterRun, ::testing::Values("im", "pil", "im24", "pilmono"));

// The font ----------------------------------------------------------------------------------------------

TEST(WriterFont, FontImageSavedAsTwentyFourBitGivesTheSameGlyphs)
{
    ScratchDir dir;
    std::string eight = dir / "font8.pcx", full = dir / "font24.pcx";
    ASSERT_TRUE(writefile(eight, encodepcx(testFont())));
    ASSERT_EQ(system(("/usr/bin/convert '" + eight + "' -type TrueColor '" + full + "'").c_str()), 0);
    ASSERT_EQ(readbytes(full).at(65), 3) << "planes";
    font a, b;
    ASSERT_EQ(a.loadfont(eight.c_str()) + b.loadfont(full.c_str()), 0);
    std::unique_ptr<pixel[]> ownA(a.image.pixels), ownB(b.image.pixels);
    EXPECT_EQ(b.height, a.height);
    EXPECT_EQ(std::vector<int32_t>(b.widths, b.widths + 64), std::vector<int32_t>(a.widths, a.widths + 64));
    EXPECT_EQ(std::vector<int32_t>(b.offsets, b.offsets + 64), std::vector<int32_t>(a.offsets, a.offsets + 64));
}

} // namespace
