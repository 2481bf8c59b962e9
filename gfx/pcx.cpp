// The PCX decoder. It reads the kinds of PCX that image editors write, run-length coded (encoding 1) or
// stored as they are (encoding 0):
//   8 bits x 1 plane    palette indexes, with a 256-colour palette in the last 768 bytes of the file;
//   8 bits x 3 planes   24-bit colour: each scan line holds its red, green and blue plane in turn;
//   8 bits x 4 planes   the same with an alpha plane after the blue one, which is not shown;
//   1 bit x 1 plane     monochrome: a set bit is white, a clear bit black;
//   1 bit x 2-4 planes  16-colour: bit planes combined into an index, plane 0 the lowest bit;
//   2, 4 bits x 1 plane packed indexes, the leftmost pixel in the highest bits.
// The 16-colour kinds take their colours from header bytes 16-63, or from the standard EGA palette when
// the version byte is 3 (a file that says it carries no palette). Any other bits x planes is refused.
// Besides those fields it reads only the window (Xmin, Ymin, Xmax, Ymax) and BytesPerLine; the maker
// byte and the rest of the header are taken on trust, and an encoding other than 0 means run-length.
#include "gfx.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const long long HEADER_SIZE = 128;
const long long PALETTE_SIZE = 768;
// A 20-byte header must not be able to ask for gigabytes: 4096 x 4096 is the largest picture taken.
const long long MAX_PIXELS = 16777216;

// Reads a byte range of an open file through a block buffer. A read past the end of the range, or a
// failed read, yields 0 and marks the input as short; nothing is ever read from outside the range.
class ByteReader {
public:
    ByteReader(int fd, long long from, long long to) : fd(fd), pos(from), end(to) {}

    unsigned char next()
    {
        if (at < have)
            return buf[at++];
        return refill();
    }
    bool isshort() const { return wasshort; }
    // Hands out every byte buffered and not yet taken, as [from, to), and counts them as taken;
    // refills first when none are left. false, with nothing handed out, at the end of the range.
    // Lets the data loop walk a block at a time instead of asking for every byte.
    bool chunk(const unsigned char*& from, const unsigned char*& to)
    {
        if (at >= have) {
            refill();
            if (wasshort)
                return false;
            at--;
        }
        from = buf + at;
        to = buf + have;
        at = have;
        return true;
    }

private:
    unsigned char refill()
    {
        at = have = 0;
        if (pos >= end) {
            wasshort = true;
            return 0;
        }
        ssize_t got = pread(fd, buf, size_t(std::min<long long>(sizeof buf, end - pos)), pos);
        if (got <= 0) {
            wasshort = true;
            end = pos;
            return 0;
        }
        pos += got;
        have = size_t(got);
        return buf[at++];
    }

    int fd;
    long long pos, end;
    unsigned char buf[65536];
    size_t have = 0, at = 0;
    bool wasshort = false;
};

// Reads exactly n bytes at offset off; false when the file gives fewer.
bool readexact(int fd, long long off, unsigned char* to, size_t n)
{
    ByteReader in(fd, off, off + (long long)n);
    for (size_t i = 0; i < n; i++)
        to[i] = in.next();
    return !in.isshort();
}

unsigned le16(const unsigned char* p)
{
    return p[0] | (unsigned(p[1]) << 8);
}

// Where decoded pixels go: picture pixel (x, y) with x0 <= x < x1 and y0 <= y < y1 is stored at
// to[(y - y0) * stride + x - x0]. The rest of the picture is decoded and dropped, except the rows from
// y1 on, which are not decoded at all. An empty window has y0 = y1 = 0, so that nothing is decoded.
// A whole picture of its own is the window {out, width, 0, width, 0, height}; the frame takes the part
// of a picture that falls inside it.
struct Window {
    pixel* to;
    long long stride, x0, x1, y0, y1;

    long long span() const { return x1 - x0; }
    // Blackens the window's rows from y on.
    void blackrows(long long y) const
    {
        for (y = std::max(y, y0); y < y1; y++)
            std::fill(to + (y - y0) * stride, to + (y - y0) * stride + span(), 0);
    }
};

// Places the decoded index stream into a window. The stream is one run of rowlen values per row; rowlen
// exceeds the width when the writer padded its rows (BytesPerLine), and the padding values are dropped
// like the columns outside the window. Runs carry from one row into the next; nothing is taken past the
// window's last row.
class RowWriter {
public:
    static constexpr bool BULK = false;

    RowWriter(const Window& win, long long rowlen) : win(win), rowlen(rowlen), rowp(win.to), shown(win.y0 == 0) {}

    bool full() const { return y >= win.y1; }

    // The common case, a single pixel, kept short.
    void put1(pixel c)
    {
        if (shown && col >= win.x0 && col < win.x1)
            rowp[col - win.x0] = c;
        if (++col == rowlen)
            nextrow();
    }

    void put(long long count, pixel c)
    {
        while (count > 0 && !full()) {
            long long take = std::min(count, rowlen - col);
            long long from = std::max(col, win.x0), to = std::min(col + take, win.x1);
            if (shown && from < to)
                std::fill(rowp + (from - win.x0), rowp + (to - win.x0), c);
            col += take;
            count -= take;
            if (col == rowlen)
                nextrow();
        }
    }

    // Blackens every pixel of the window the data did not reach.
    void blackrest()
    {
        if (full())
            return;
        if (shown)
            std::fill(rowp + std::clamp<long long>(col - win.x0, 0, win.span()), rowp + win.span(), 0);
        win.blackrows(y + 1);
    }

private:
    void nextrow()
    {
        col = 0;
        if (shown)
            rowp += win.stride;
        y++;
        shown = y >= win.y0;
    }

    Window win;
    long long rowlen;
    pixel* rowp;
    long long y = 0, col = 0;
    bool shown;
};

// Where four codes starting at a byte lie in the next 8 bytes, given which of those bytes are 0xC0 or
// above (bit i for byte i): a code there is a run that takes its next byte too, a byte below is a single
// pixel. Entry m holds the four codes' offsets and the bytes they take together.
struct CodeStep {
    unsigned char at[4];
    unsigned char used;
};
struct CodeSteps {
    CodeStep step[256];
    constexpr CodeSteps() : step()
    {
        for (int m = 0; m < 256; m++) {
            int at = 0;
            for (int k = 0; k < 4; k++) {
                step[m].at[k] = (unsigned char)at;
                at += (m >> at) & 1 ? 2 : 1;
            }
            step[m].used = (unsigned char)at;
        }
    }
    constexpr const CodeStep& operator[](unsigned m) const { return step[m]; }
};
constexpr CodeSteps CODE_STEPS;

// The same for rows without padding, the common case (ImageMagick writes no padding, and other writers
// none for even widths), into whole rows of a window as wide as its stride: the index stream is then
// the pixels themselves, one straight run of memory.
class FlatWriter {
public:
    // The other writers take one code at a time only.
    static constexpr bool BULK = true;

    FlatWriter(pixel* out, long long count) : at(out), last(out + count) {}

    bool full() const { return at >= last; }
    void put1(pixel c) { *at++ = c; }
    void put(long long count, pixel c)
    {
        pixel* to = at + std::min<long long>(count, last - at);
        std::fill(at, to, c);
        at = to;
    }
    void blackrest() { std::fill(at, last, 0); }

    // Decodes run-length codes from [p, end) for as long as at least 8 bytes are left and the picture has
    // room for four of the longest runs, and returns where it stopped. Its results are those of put1 and
    // put code by code: see decodedata.
    //
    // The one-code-at-a-time loop loses most of its time on the choice between a literal and a run, which
    // photo-like pictures make at random (a third of their codes are runs, most of one or two pixels,
    // because values from 192 up can only be coded as runs). Here nothing depends on that choice but
    // arithmetic and a table lookup: four codes take at most 8 bytes, and which of those bytes are run
    // codes follows from the 8 bytes' top-bits mask alone (CODE_STEPS), so that each step takes four
    // codes without waiting for one to be read before the next is found. Each code stores four pixels of
    // its colour from its place, more only for a run of more than four, and moves on by its count. What
    // it stores beyond its count is overwritten by the codes after it, or blackened by blackrest when
    // the data end, and never reaches past the last pixel.
    const unsigned char* bulk(const unsigned char* p, const unsigned char* end, const pixel* colours)
    {
        pixel* out = at;
        while (end - p >= 8 && last - out >= 4 * 64) {
            // The next 8 bytes, the first lowest.
            uint64_t word;
            memcpy(&word, p, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            word = __builtin_bswap64(word);
#endif
            // Bit i set when byte i is 0xC0 or above: the top two bits of each byte, ANDed, then gathered
            // into one byte by a multiplication whose partial products never overlap.
            uint64_t high = word & (word << 1) & 0x8080808080808080ull;
            unsigned mask = unsigned(((high >> 7) * 0x0102040810204080ull) >> 56);
            const CodeStep& step = CODE_STEPS[mask];
            for (int k = 0; k < 4; k++) {
                unsigned offset = step.at[k];
                unsigned run = (mask >> offset) & 1;
                unsigned c = p[offset];
                // c & 0x3F for a run (the wrap-round brings a run of 0 back to 0), 1 for a single pixel.
                unsigned count = ((c & 0x3F) - 1) * run + 1;
                pixel colour = colours[p[offset + run]];
                for (int i = 0; i < 4; i++)
                    out[i] = colour;
                if (count > 4) [[unlikely]]
                    std::fill(out + 4, out + count, colour);
                out += count;
            }
            p += step.used;
        }
        at = out;
        return p;
    }

private:
    pixel* at;
    pixel* last;
};

// Decodes the coded data into w until the picture is full or the data end, a block at a time. A run
// code whose value byte is missing ends the data; a run never goes past the last pixel.
template <class Writer>
void decodedata(ByteReader& in, const pixel* colours, Writer& w)
{
    const unsigned char *p, *end;
    // A run code that was the last byte of a block: its value byte starts the next block.
    int pendingrun = -1;
    while (!w.full() && in.chunk(p, end)) {
        if (pendingrun >= 0) {
            w.put(pendingrun, colours[*p++]);
            pendingrun = -1;
        }
        while (p < end && !w.full()) {
            if constexpr (Writer::BULK) {
                p = w.bulk(p, end, colours);
                if (p >= end || w.full())
                    break;
            }
            unsigned char c = *p++;
            if ((c & 0xC0) != 0xC0) {
                w.put1(colours[c]);
            } else if (p < end) {
                // A run; a count of 0 stores nothing but still takes its value byte.
                w.put(c & 0x3F, colours[*p++]);
            } else {
                pendingrun = c & 0x3F;
            }
        }
    }
    w.blackrest();
}

// The same for data stored without run-length coding: every byte is one value.
template <class Writer>
void rawdata(ByteReader& in, const pixel* colours, Writer& w)
{
    const unsigned char *p, *end;
    while (!w.full() && in.chunk(p, end))
        while (p < end && !w.full())
            w.put1(colours[*p++]);
    w.blackrest();
}

// Gathers the value stream of the planar and packed kinds a scan line at a time (planes x BytesPerLine
// values) and has the kind's converter turn each whole line inside the window into its row of pixels.
// Runs carry from one line into the next; nothing is taken past the window's last row. The line holds
// pixel-sized values, not bytes, so that storing one cannot alias the writer's own position and the
// decoding loop keeps it in a register.
template <class Convert>
class LineWriter {
public:
    static constexpr bool BULK = false;

    LineWriter(pixel* line, long long linelen, const Window& win, const Convert& convert)
        : line(line), at(line), lineend(line + linelen), rowp(win.to), win(win), shown(win.y0 == 0),
          convert(convert) {}

    bool full() const { return y >= win.y1; }
    void put1(pixel c)
    {
        *at++ = c;
        if (at == lineend)
            nextrow();
    }
    void put(long long count, pixel c)
    {
        while (count > 0 && !full()) {
            long long take = std::min<long long>(count, lineend - at);
            std::fill(at, at + take, c);
            at += take;
            count -= take;
            if (at == lineend)
                nextrow();
        }
    }
    // Shows what reached the line the data ended in (the pixels whose every plane arrived), and
    // blackens every pixel of the window after that.
    void blackrest()
    {
        if (full())
            return;
        if (shown) {
            long long reached = convert.reached(at - line);
            std::fill(at, lineend, 0);
            convert(line, rowp);
            std::fill(rowp + std::clamp<long long>(reached - win.x0, 0, win.span()), rowp + win.span(), 0);
        }
        win.blackrows(y + 1);
    }

private:
    void nextrow()
    {
        if (shown) {
            convert(line, rowp);
            rowp += win.stride;
        }
        at = line;
        y++;
        shown = y >= win.y0;
    }

    pixel* line;
    pixel* at;
    pixel* lineend;
    pixel* rowp;
    Window win;
    long long y = 0;
    bool shown;
    Convert convert;
};

// 24-bit lines: a red, a green and a blue plane of rowbytes values each (then an alpha plane, unread).
// Columns x0 to x1 of the line go to row[0] on.
struct TrueColour {
    long long width, rowbytes, x0, x1;

    void operator()(const pixel* __restrict line, pixel* __restrict row) const
    {
        const pixel* r = line + x0;
        const pixel* g = line + rowbytes + x0;
        const pixel* b = line + 2 * rowbytes + x0;
        for (long long x = 0; x < x1 - x0; x++)
            row[x] = (r[x] << 16) | (g[x] << 8) | b[x];
    }
    // Pixels complete once the line holds filled values: those whose blue arrived.
    long long reached(long long filled) const { return std::clamp<long long>(filled - 2 * rowbytes, 0, width); }
};

// Lines of 1, 2 or 4 bits per pixel in one or more planes of rowbytes values each, the leftmost pixel
// in the highest bits of a byte. A pixel's bits in plane p are bits p * bits and up of its index into
// colours. Columns x0 to x1 of the line go to row[0] on.
struct Indexed {
    long long width, rowbytes, x0, x1;
    int bits, planes;
    const pixel* colours;

    void operator()(const pixel* __restrict line, pixel* __restrict row) const
    {
        const int perbyte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (long long x = x0; x < x1; x++) {
            long long byte = x / perbyte;
            int shift = 8 - bits * int(x % perbyte + 1);
            unsigned index = 0;
            for (int p = 0; p < planes; p++)
                index |= ((line[p * rowbytes + byte] >> shift) & mask) << (p * bits);
            row[x - x0] = colours[index];
        }
    }
    long long reached(long long filled) const
    {
        return std::clamp<long long>((filled - (planes - 1) * rowbytes) * (8 / bits), 0, width);
    }
};

// The colours a file that carries no palette of its own (version 3) is shown in: the 16 standard colours
// of the EGA display its 16-colour kinds were made for.
const pixel EGA_COLOURS[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
                               0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

// Asks the system to back the 2 MB-aligned middle of a large block with 2 MB pages: a 4096 x 4096
// picture then takes 32 page faults instead of 16384, which cost as much as decoding it. Only advice;
// refused or not, the memory is the same.
void askforlargepages(void* block, size_t bytes)
{
    const uintptr_t large = uintptr_t(2) << 20;
    uintptr_t from = (uintptr_t(block) + large - 1) & ~(large - 1);
    uintptr_t to = (uintptr_t(block) + bytes) & ~(large - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

// The header's fields this decoder reads, from a file whose header has been checked.
struct Layout {
    long long size, width, height;
    int bits, planes;
    bool raw;
    unsigned char header[HEADER_SIZE];
};

// Reads and checks the header of the open file: a regular file holding a header of a kind this decoder
// reads, a size within MAX_PIXELS, and for the 8-bit kind room for the palette at the end. 0 when it
// is one; 1 when not.
int readlayout(int fd, Layout& l)
{
    struct stat st;
    // Only regular files: a directory cannot be read, and a pipe or device could block for ever.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return 1;
    l.size = st.st_size;
    if (l.size < HEADER_SIZE || !readexact(fd, 0, l.header, sizeof l.header))
        return 1;
    const unsigned char* header = l.header;
    long long xmin = le16(header + 4), ymin = le16(header + 6);
    long long xmax = le16(header + 8), ymax = le16(header + 10);
    l.width = xmax - xmin + 1;
    l.height = ymax - ymin + 1;
    if (l.width < 1 || l.height < 1 || l.width * l.height > MAX_PIXELS)
        return 1;
    l.bits = header[3];
    l.planes = header[65];
    l.raw = header[2] == 0;
    if (l.bits == 8 && l.planes == 1)
        return l.size < HEADER_SIZE + PALETTE_SIZE ? 1 : 0;
    bool known = (l.bits == 8 && (l.planes == 3 || l.planes == 4)) ||
                 (l.bits == 1 && l.planes >= 1 && l.planes <= 4) || ((l.bits == 2 || l.bits == 4) && l.planes == 1);
    return known ? 0 : 1;
}

// The 8 bits x 1 plane kind, the one most writers use for pictures with a palette, kept on its own
// fast path; Raw for data stored without run-length coding, which get a copy of their own so that the
// run-length loop is compiled as tightly as when it was the only one. Refuses, with nothing written,
// a file whose palette cannot be read.
template <bool Raw>
int decode8(int fd, const Layout& l, const Window& win)
{
    unsigned char palette[PALETTE_SIZE];
    if (!readexact(fd, l.size - PALETTE_SIZE, palette, sizeof palette))
        return 1;
    // Writers that pad odd widths to an even count (Pillow, GIMP) say so in BytesPerLine; ImageMagick
    // pads nothing. A BytesPerLine below the width (or 0) is taken as no padding.
    long long rowlen = std::max<long long>(le16(l.header + 66), l.width);

    pixel colours[256];
    for (int v = 0; v < 256; v++)
        colours[v] = (pixel(palette[3 * v]) << 16) | (pixel(palette[3 * v + 1]) << 8) | palette[3 * v + 2];

    // The coded data end where the palette begins. Every pixel of the window is written once, by the
    // data or, where a truncated file ends early, black.
    ByteReader in(fd, HEADER_SIZE, l.size - PALETTE_SIZE);
    bool flat = rowlen == l.width && win.x0 == 0 && win.x1 == l.width && win.y0 == 0 &&
                (win.stride == l.width || win.y1 <= 1);
    if (flat) {
        FlatWriter w(win.to, win.y1 * l.width);
        if constexpr (Raw)
            rawdata(in, colours, w);
        else
            decodedata(in, colours, w);
    } else {
        RowWriter w(win, rowlen);
        if constexpr (Raw)
            rawdata(in, colours, w);
        else
            decodedata(in, colours, w);
    }
    return 0;
}

// Decodes the stream of the other kinds into the window through a line of linelen values.
template <class Convert>
void decodelines(ByteReader& in, bool raw, pixel* line, long long linelen, const Window& win,
                 const Convert& convert)
{
    // The line gathers the bytes themselves; the converter gives them their meaning.
    pixel bytes[256];
    for (int v = 0; v < 256; v++)
        bytes[v] = pixel(v);
    LineWriter<Convert> w(line, linelen, win, convert);
    if (raw)
        rawdata(in, bytes, w);
    else
        decodedata(in, bytes, w);
}

// The kinds with several planes or fewer than 8 bits, which carry no palette at the end: their data run
// to the end of the file, so any file holding the header is taken. 1, with nothing written, when there
// is no memory for a line.
int decodeplanes(int fd, const Layout& l, const Window& win)
{
    const unsigned char* header = l.header;
    // BytesPerLine is each plane's share of a scan line, padded by most writers to an even count. One
    // too small for the plane's bits (0 included) is taken as the smallest that holds them, as the
    // 8-bit kind takes one below the width as no padding.
    long long needed = (l.width * l.bits + 7) / 8;
    long long rowbytes = std::max<long long>(le16(header + 66), needed);
    long long linelen = rowbytes * l.planes; // at most 4 x 65536

    pixel* line = new (std::nothrow) pixel[size_t(linelen)];
    if (!line)
        return 1;

    ByteReader in(fd, HEADER_SIZE, l.size);
    if (l.bits == 8) {
        decodelines(in, l.raw, line, linelen, win, TrueColour{l.width, rowbytes, win.x0, win.x1});
    } else {
        pixel colours[16] = {};
        if (l.bits == 1 && l.planes == 1) {
            // Monochrome whatever the header's palette says: Pillow leaves its entries 0 and 1 both black.
            colours[0] = 0x000000;
            colours[1] = 0xFFFFFF;
        } else if (header[1] == 3) {
            std::copy(EGA_COLOURS, EGA_COLOURS + 16, colours);
        } else {
            for (int v = 0; v < 16; v++)
                colours[v] = (pixel(header[16 + 3 * v]) << 16) | (pixel(header[17 + 3 * v]) << 8) | header[18 + 3 * v];
        }
        decodelines(in, l.raw, line, linelen, win,
                    Indexed{l.width, rowbytes, win.x0, win.x1, l.bits, l.planes, colours});
    }
    delete[] line;
    return 0;
}

// Decodes the picture into the window: 0 when done; 1, with nothing written, when it cannot be.
int decode(int fd, const Layout& l, const Window& win)
{
    if (l.bits == 8 && l.planes == 1)
        return l.raw ? decode8<true>(fd, l, win) : decode8<false>(fd, l, win);
    return decodeplanes(fd, l, win);
}

// Opens path for the decoder: a descriptor, or -1. Non-blocking, so that opening a FIFO cannot hang;
// readlayout refuses anything but a regular file.
int openpicture(const char* path)
{
    return open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

} // namespace

int gfx::loadPCX(MEM_Sprite* s, const char* path)
{
    int fd = openpicture(path);
    if (fd < 0)
        return 1;
    Layout l;
    int result = readlayout(fd, l);
    pixel* out = nullptr;
    if (result == 0) {
        // Not zero-filled: the decoder writes every pixel once.
        out = new (std::nothrow) pixel[size_t(l.width * l.height)];
        if (out)
            askforlargepages(out, size_t(l.width * l.height) * sizeof(pixel));
        result = out ? decode(fd, l, Window{out, l.width, 0, l.width, 0, l.height}) : 1;
    }
    ::close(fd);
    if (result != 0) {
        delete[] out;
        return 1;
    }
    s->width = int32_t(l.width);
    s->height = int32_t(l.height);
    s->pixels = out;
    return 0;
}

int gfx::drawPCX(const char* path, int y)
{
    int fd = openpicture(path);
    if (fd < 0)
        return 1;
    Layout l;
    int result = readlayout(fd, l);
    if (result == 0) {
        // Centred as setimg has always placed pictures, the division rounding toward zero; then the
        // part of the picture inside the frame, clipped as drawMEM clips a sprite.
        long long x = (SCREEN_W - l.width) / 2;
        Window win{pixels,
                   SCREEN_W,
                   std::max<long long>(0, -x),
                   std::min<long long>(l.width, SCREEN_W - x),
                   std::max<long long>(0, -(long long)y),
                   std::min<long long>(l.height, SCREEN_H - (long long)y)};
        if (win.x0 >= win.x1 || win.y0 >= win.y1)
            win.x0 = win.x1 = win.y0 = win.y1 = 0;
        else
            win.to = pixels + ((long long)y + win.y0) * SCREEN_W + x + win.x0;
        result = decode(fd, l, win);
    }
    ::close(fd);
    return result;
}
