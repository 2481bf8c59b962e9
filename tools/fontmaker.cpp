// The font image drawn through FreeType.
#include "fontmaker.h"
#include "songfolder.h"
#include "cli.h"
#include "pcxwrite.h"
#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The player's decoder takes no more pixels than this, and a PCX header holds 16-bit sizes.
const long long MAX_PIXELS = 16777216;
const long long MAX_SIDE = 65535;
// No font file comes near this; it keeps a mistaken argument (a disc image, say) from filling memory.
const long long MAX_FONT_BYTES = 1LL << 30;
// Key colours tried in order. An ink entry is the ink colour scaled toward black, so it can only equal
// 0xFF00FF when the ink is 0xFF00FF itself, and only equal 0x00FF00 when the ink is 0x00FF00: one of
// the two always fits.
const uint32_t KEYS[] = {0xFF00FF, 0x00FF00};
// Palette entry 0 is the key, entries 1 to 255 are the ink at coverage 1 to 255; the markers use the
// full ink, which is never the key.
const uint8_t KEY_INDEX = 0;
const uint8_t MARKER_INDEX = 255;

// Why a font cannot be made, thrown from deep in the drawing and caught by makefont.
struct refusal {
    std::string why;
};

[[noreturn]] void fail(const std::string& why)
{
    throw refusal{why};
}

std::string utf8(int ch)
{
    std::string s;
    appendutf8(s, ch);
    return s;
}

// FreeType's library and face, released however the drawing ends.
struct freetype {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    ~freetype()
    {
        if (face)
            FT_Done_Face(face);
        if (lib)
            FT_Done_FreeType(lib);
    }
};

// One rendered glyph: its advance and its coverage bitmap (0 to 255) with the bitmap's bearing. A
// character the font lacks has no bitmap and advance 0: an empty slot, which the player skips.
struct glyph {
    int advance = 0;
    int left = 0;   // columns from the pen position to the bitmap's first column
    int top = 0;    // rows from the baseline up to the bitmap's first row
    int width = 0;
    int rows = 0;
    std::vector<uint8_t> coverage;
};

// The whole font file; throws a one-line reason when it cannot be read.
std::vector<FT_Byte> readfont(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fail("cannot read the font file " + quoted(path) + ": " + strerror(errno));
    // The descriptor is closed before any refusal: an importer goes on after one.
    auto refuse = [fd](const std::string& why) {
        close(fd);
        fail(why);
    };
    struct stat st;
    if (fstat(fd, &st) != 0)
        refuse("cannot read the font file " + quoted(path) + ": " + strerror(errno));
    if (S_ISDIR(st.st_mode))
        refuse(quoted(path) + " is a folder, not a font file");
    if (!S_ISREG(st.st_mode))
        refuse(quoted(path) + " is not a regular file");
    if (st.st_size > MAX_FONT_BYTES)
        refuse(quoted(path) + " is too big to be a font file");
    std::vector<FT_Byte> bytes(size_t(st.st_size));
    size_t have = 0;
    while (have < bytes.size()) {
        ssize_t got = read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            refuse("cannot read the font file " + quoted(path) + ": " + strerror(errno));
        if (got == 0)
            break; // the file shrank while being read; FreeType judges what is left
        have += size_t(got);
    }
    bytes.resize(have);
    close(fd);
    return bytes;
}

// Copies the glyph slot's bitmap as coverage 0 to 255. Outline fonts render to 8-bit grey already;
// bitmap fonts give 1, 2 or 4 bits or colour, which FreeType converts to grey levels that are scaled
// here to the full range. False when FreeType cannot convert the bitmap.
bool takecoverage(FT_Library lib, FT_GlyphSlot slot, glyph& g)
{
    FT_Bitmap converted;
    FT_Bitmap_Init(&converted);
    const FT_Bitmap* bm = &slot->bitmap;
    int levels = 256;
    if (bm->pixel_mode != FT_PIXEL_MODE_GRAY) {
        if (FT_Bitmap_Convert(lib, bm, &converted, 1) != 0) {
            FT_Bitmap_Done(lib, &converted);
            return false;
        }
        bm = &converted;
        levels = std::max(2, int(converted.num_grays));
    } else {
        levels = std::max(2, int(bm->num_grays));
    }
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = int(bm->width);
    g.rows = int(bm->rows);
    g.coverage.assign(size_t(g.width) * g.rows, 0);
    int pitch = bm->pitch < 0 ? -bm->pitch : bm->pitch;
    for (int r = 0; r < g.rows; r++) {
        // A negative pitch means the rows are stored bottom row first.
        const unsigned char* row = bm->buffer + size_t(bm->pitch < 0 ? g.rows - 1 - r : r) * pitch;
        for (int c = 0; c < g.width; c++) {
            int level = std::min(int(row[c]), levels - 1);
            g.coverage[size_t(r) * g.width + c] = uint8_t((level * 255 + (levels - 1) / 2) / (levels - 1));
        }
    }
    FT_Bitmap_Done(lib, &converted);
    return true;
}


// Whole pixels covering a 26.6 fixed-point distance: rounded up for positive values.
int ceil26dot6(long v)
{
    return int(v >= 0 ? (v + 63) / 64 : -((-v) / 64));
}

// The ink colour at coverage k of 255, scaled toward black and rounded per component.
uint32_t inkat(uint32_t colour, int k)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t c = (colour >> shift) & 0xFF;
        out |= ((c * uint32_t(k) + 127) / 255) << shift;
    }
    return out;
}

// A key colour that no ink level of colour equals.
uint32_t choosekey(uint32_t colour)
{
    for (uint32_t key : KEYS) {
        bool clash = false;
        for (int k = 1; k <= 255; k++)
            clash = clash || inkat(colour, k) == key;
        if (!clash)
            return key;
    }
    fail("no key colour fits the ink colour"); // cannot happen, see KEYS
}

// The whole image; throws a refusal.
madefont draw(const std::string& fontfile, const fontstyle& style)
{
    std::vector<FT_Byte> data = readfont(fontfile);

    freetype ft;
    if (FT_Init_FreeType(&ft.lib) != 0)
        fail("cannot start FreeType");
    FT_Library lib = ft.lib;
    if (FT_New_Memory_Face(lib, data.data(), FT_Long(data.size()), 0, &ft.face) != 0)
        fail(quoted(fontfile) + " is not a font that FreeType can read");
    FT_Face face = ft.face;
    // FreeType picks a Unicode character map when the font has one. Older fonts may only have a
    // Macintosh Roman map, which agrees with Unicode on ASCII.
    if (!face->charmap && face->num_charmaps > 0)
        FT_Set_Charmap(face, face->charmaps[0]);
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(style.size)) != 0)
        fail(quoted(fontfile) + " cannot be drawn at " + std::to_string(style.size) +
             " pixels (a bitmap font without that size?)");

    // Only a Unicode map agrees with the slot table past ASCII; in any other map the later slots are
    // left empty rather than filled with whatever letters that map keeps at those codes.
    bool unicode = face->charmap && face->charmap->encoding == FT_ENCODING_UNICODE;
    std::vector<glyph> glyphs(size_t(style.slots));
    std::string missing;
    int drawn = 0, basic = 0;
    for (int s = 0; s < style.slots; s++) {
        int ch = font::slotchar(s);
        FT_UInt index = unicode || ch < 0x80 ? FT_Get_Char_Index(face, FT_ULong(ch)) : 0;
        if (index == 0) {
            missing += utf8(ch);
            continue;
        }
        // Some fonts carry hinting programs that FreeType refuses; those glyphs are drawn unhinted.
        if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0 &&
            FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0)
            fail(quoted(fontfile) + ": FreeType cannot draw the glyph for " + utf8(ch));
        // Hinted advances are whole pixels already; rounding covers unhinted ones.
        glyphs[s].advance = std::max(1, int((face->glyph->advance.x + 32) >> 6));
        if (!takecoverage(lib, face->glyph, glyphs[s]))
            fail(quoted(fontfile) + ": FreeType cannot convert the bitmap of " + utf8(ch));
        drawn++;
        basic += s < font::BASIC_SLOTS;
    }
    if (basic == 0)
        fail(quoted(fontfile) + " has none of the characters A-Z, a-z, 0-9, ! and ?");
    // Slot 0 cannot be empty: its marker would then lie on column 0, whose colour is the key. The player
    // makes a space as wide as slot 0, so a font without "A" gets a blank slot 0 as wide as its space.
    if (glyphs[0].advance == 0) {
        FT_UInt space = FT_Get_Char_Index(face, ' ');
        glyphs[0].advance = 1;
        if (space != 0 && (FT_Load_Glyph(face, space, FT_LOAD_DEFAULT) == 0 ||
                           FT_Load_Glyph(face, space, FT_LOAD_NO_HINTING) == 0))
            glyphs[0].advance = std::max(1, int((face->glyph->advance.x + 32) >> 6));
    }

    // Rows above and below the baseline: the font's ascender and descender at this size, or more where
    // a glyph reaches further, so that no glyph loses rows.
    long above = std::max(0, ceil26dot6(face->size->metrics.ascender));
    long below = std::max(0, ceil26dot6(-face->size->metrics.descender));
    for (const glyph& g : glyphs) {
        if (g.rows == 0)
            continue;
        above = std::max<long>(above, g.top);
        below = std::max<long>(below, long(g.rows) - g.top);
    }
    long long height = 1 + std::max(1L, above + below);

    // Slot 0 starts at column 0 and is ended by a marker just after it; every later slot starts on the
    // previous marker and is followed by one unused column and its own marker.
    std::vector<long long> start(size_t(style.slots)), marker(size_t(style.slots));
    for (int s = 0; s < style.slots; s++) {
        start[s] = s == 0 ? 0 : marker[s - 1];
        marker[s] = s == 0 ? glyphs[0].advance : marker[s - 1] + glyphs[s].advance + 1;
    }
    // An even width leaves no padding in the rows; the extra key column forms no glyph.
    long long width = marker[size_t(style.slots) - 1] + 1;
    width += width & 1;
    if (width > MAX_SIDE || height > MAX_SIDE || width * height > MAX_PIXELS)
        fail("at " + std::to_string(style.size) + " pixels the glyphs of " + quoted(fontfile) + " need an image of " +
             std::to_string(width) + " x " + std::to_string(height) +
             " pixels, more than the player reads; try a smaller size" +
             (style.slots > font::BASIC_SLOTS ? " or --basic" : ""));

    PcxImage img;
    img.width = int(width);
    img.height = int(height);
    img.indexes.assign(size_t(width * height), KEY_INDEX);
    for (int s = 0; s < style.slots; s++)
        img.indexes[size_t(marker[s])] = MARKER_INDEX;
    for (int s = 0; s < style.slots; s++) {
        const glyph& g = glyphs[s];
        for (int r = 0; r < g.rows; r++) {
            long y = 1 + above - g.top + r;
            if (y < 1 || y >= height)
                continue;
            for (int c = 0; c < g.width; c++) {
                // Ink left of the pen position or past the advance would fall into a neighbour's cell.
                long x = g.left + c;
                uint8_t k = g.coverage[size_t(r) * g.width + c];
                if (k != 0 && x >= 0 && x < g.advance)
                    img.indexes[size_t(y * width + start[s] + x)] = k;
            }
        }
    }

    uint32_t key = choosekey(style.colour);
    img.palette.assign(768, 0);
    for (int v = 0; v < 256; v++) {
        uint32_t c = v == KEY_INDEX ? key : inkat(style.colour, v);
        img.palette[3 * v] = uint8_t(c >> 16);
        img.palette[3 * v + 1] = uint8_t(c >> 8);
        img.palette[3 * v + 2] = uint8_t(c);
    }

    madefont made;
    made.pcx = encodepcx(img);
    made.drawn = drawn;
    made.width = width;
    made.height = height;
    made.key = key;
    made.missing = missing;
    return made;
}

} // namespace

std::string makefont(const std::string& fontfile, const fontstyle& style, madefont* made)
{
    try {
        *made = draw(fontfile, style);
    } catch (const refusal& r) {
        return r.why;
    }
    return "";
}

std::string savefile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    songfolder f;
    f.put(path, std::string(bytes.begin(), bytes.end()), "the font");
    return f.commit();
}
