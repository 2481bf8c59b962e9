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

// Places the decoded index stream into the sprite. The stream is one run of rowlen values per row;
// rowlen exceeds the width when the writer padded its rows (BytesPerLine), and the padding values are
// dropped. Runs carry from one row into the next; nothing is stored past the last row.
class RowWriter {
public:
    RowWriter(pixel* out, long long width, long long height, long long rowlen)
        : rowp(out), last(out + width * height), width(width), rowlen(rowlen), total(rowlen * height) {}

    bool full() const { return n >= total; }

    // The common case, a single pixel, kept short.
    void put1(pixel c)
    {
        if (col < width)
            rowp[col] = c;
        n++;
        if (++col == rowlen)
            nextrow();
    }

    void put(long long count, pixel c)
    {
        while (count > 0 && n < total) {
            long long take = std::min(count, rowlen - col);
            if (col < width)
                std::fill(rowp + col, rowp + col + std::min(take, width - col), c);
            col += take;
            n += take;
            count -= take;
            if (col == rowlen)
                nextrow();
        }
    }

    // Blackens every pixel the data did not reach.
    void blackrest()
    {
        if (!full())
            std::fill(rowp + std::min(col, width), last, 0);
    }

private:
    void nextrow()
    {
        col = 0;
        rowp += width;
    }

    pixel* rowp;
    pixel* last;
    long long width, rowlen, total;
    long long n = 0, col = 0;
};

// The same for rows without padding, the common case (ImageMagick writes no padding, and other writers
// none for even widths): the index stream is then the pixels themselves, one straight run of memory.
class FlatWriter {
public:
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
// values) and has the kind's converter turn each whole line into one row of pixels. Runs carry from one
// line into the next; nothing is stored past the last row. The line holds pixel-sized values, not bytes,
// so that storing one cannot alias the writer's own position and the decoding loop keeps it in a register.
template <class Convert>
class LineWriter {
public:
    LineWriter(pixel* line, long long linelen, pixel* out, long long width, long long height, const Convert& convert)
        : line(line), at(line), lineend(line + linelen), rowp(out), last(out + width * height), width(width),
          convert(convert) {}

    bool full() const { return rowp == last; }
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
    // blackens every pixel after that.
    void blackrest()
    {
        if (full())
            return;
        long long reached = convert.reached(at - line);
        std::fill(at, lineend, 0);
        convert(line, rowp);
        std::fill(rowp + reached, last, 0);
    }

private:
    void nextrow()
    {
        convert(line, rowp);
        rowp += width;
        at = line;
    }

    pixel* line;
    pixel* at;
    pixel* lineend;
    pixel* rowp;
    pixel* last;
    long long width;
    Convert convert;
};

// 24-bit lines: a red, a green and a blue plane of rowbytes values each (then an alpha plane, unread).
struct TrueColour {
    long long width, rowbytes;

    void operator()(const pixel* __restrict line, pixel* __restrict row) const
    {
        const pixel* r = line;
        const pixel* g = line + rowbytes;
        const pixel* b = line + 2 * rowbytes;
        for (long long x = 0; x < width; x++)
            row[x] = (r[x] << 16) | (g[x] << 8) | b[x];
    }
    // Pixels complete once the line holds filled values: those whose blue arrived.
    long long reached(long long filled) const { return std::clamp<long long>(filled - 2 * rowbytes, 0, width); }
};

// Lines of 1, 2 or 4 bits per pixel in one or more planes of rowbytes values each, the leftmost pixel
// in the highest bits of a byte. A pixel's bits in plane p are bits p * bits and up of its index into
// colours.
struct Indexed {
    long long width, rowbytes;
    int bits, planes;
    const pixel* colours;

    void operator()(const pixel* __restrict line, pixel* __restrict row) const
    {
        const int perbyte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (long long x = 0; x < width; x++) {
            long long byte = x / perbyte;
            int shift = 8 - bits * int(x % perbyte + 1);
            unsigned index = 0;
            for (int p = 0; p < planes; p++)
                index |= ((line[p * rowbytes + byte] >> shift) & mask) << (p * bits);
            row[x] = colours[index];
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

// The 8 bits x 1 plane kind, the one most writers use for pictures with a palette, kept on its own
// fast path; Raw for data stored without run-length coding, which get a copy of their own so that the
// run-length loop is compiled as tightly as when it was the only one. Refuses a file too short to hold
// the header and the palette.
template <bool Raw>
int decode8(int fd, long long size, long long width, long long height, long long bytesperline, MEM_Sprite* s)
{
    if (size < HEADER_SIZE + PALETTE_SIZE)
        return 1;
    unsigned char palette[PALETTE_SIZE];
    if (!readexact(fd, size - PALETTE_SIZE, palette, sizeof palette))
        return 1;
    // Writers that pad odd widths to an even count (Pillow, GIMP) say so in BytesPerLine; ImageMagick
    // pads nothing. A BytesPerLine below the width (or 0) is taken as no padding.
    long long rowlen = std::max<long long>(bytesperline, width);

    pixel colours[256];
    for (int v = 0; v < 256; v++)
        colours[v] = (pixel(palette[3 * v]) << 16) | (pixel(palette[3 * v + 1]) << 8) | palette[3 * v + 2];

    // Not zero-filled: every pixel is written once, by the data or, where a truncated file ends early,
    // black.
    pixel* out = new (std::nothrow) pixel[size_t(width * height)];
    if (!out)
        return 1;
    askforlargepages(out, size_t(width * height) * sizeof(pixel));

    // The coded data end where the palette begins.
    ByteReader in(fd, HEADER_SIZE, size - PALETTE_SIZE);
    if (rowlen == width) {
        FlatWriter w(out, width * height);
        if constexpr (Raw)
            rawdata(in, colours, w);
        else
            decodedata(in, colours, w);
    } else {
        RowWriter w(out, width, height, rowlen);
        if constexpr (Raw)
            rawdata(in, colours, w);
        else
            decodedata(in, colours, w);
    }

    s->width = int32_t(width);
    s->height = int32_t(height);
    s->pixels = out;
    return 0;
}

// Decodes the stream of the other kinds into out through a line of linelen values.
template <class Convert>
void decodelines(ByteReader& in, bool raw, pixel* line, long long linelen, pixel* out, long long width,
                 long long height, const Convert& convert)
{
    // The line gathers the bytes themselves; the converter gives them their meaning.
    pixel bytes[256];
    for (int v = 0; v < 256; v++)
        bytes[v] = pixel(v);
    LineWriter<Convert> w(line, linelen, out, width, height, convert);
    if (raw)
        rawdata(in, bytes, w);
    else
        decodedata(in, bytes, w);
}

// The kinds with several planes or fewer than 8 bits, which carry no palette at the end: their data run
// to the end of the file, so any file holding the header is taken.
int decodeplanes(int fd, long long size, const unsigned char* header, long long width, long long height,
                 int bits, int planes, bool raw, MEM_Sprite* s)
{
    // BytesPerLine is each plane's share of a scan line, padded by most writers to an even count. One
    // too small for the plane's bits (0 included) is taken as the smallest that holds them, as the
    // 8-bit kind takes one below the width as no padding.
    long long needed = (width * bits + 7) / 8;
    long long rowbytes = std::max<long long>(le16(header + 66), needed);
    long long linelen = rowbytes * planes; // at most 4 x 65536

    pixel* out = new (std::nothrow) pixel[size_t(width * height)];
    pixel* line = new (std::nothrow) pixel[size_t(linelen)];
    if (!out || !line) {
        delete[] out;
        delete[] line;
        return 1;
    }
    askforlargepages(out, size_t(width * height) * sizeof(pixel));

    ByteReader in(fd, HEADER_SIZE, size);
    if (bits == 8) {
        decodelines(in, raw, line, linelen, out, width, height, TrueColour{width, rowbytes});
    } else {
        pixel colours[16] = {};
        if (bits == 1 && planes == 1) {
            // Monochrome whatever the header's palette says: Pillow leaves its entries 0 and 1 both black.
            colours[0] = 0x000000;
            colours[1] = 0xFFFFFF;
        } else if (header[1] == 3) {
            std::copy(EGA_COLOURS, EGA_COLOURS + 16, colours);
        } else {
            for (int v = 0; v < 16; v++)
                colours[v] = (pixel(header[16 + 3 * v]) << 16) | (pixel(header[17 + 3 * v]) << 8) | header[18 + 3 * v];
        }
        decodelines(in, raw, line, linelen, out, width, height, Indexed{width, rowbytes, bits, planes, colours});
    }
    delete[] line;

    s->width = int32_t(width);
    s->height = int32_t(height);
    s->pixels = out;
    return 0;
}

int decode(int fd, MEM_Sprite* s)
{
    struct stat st;
    // Only regular files: a directory cannot be read, and a pipe or device could block for ever.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return 1;
    long long size = st.st_size;
    unsigned char header[HEADER_SIZE];
    if (size < HEADER_SIZE || !readexact(fd, 0, header, sizeof header))
        return 1;

    long long xmin = le16(header + 4), ymin = le16(header + 6);
    long long xmax = le16(header + 8), ymax = le16(header + 10);
    long long width = xmax - xmin + 1, height = ymax - ymin + 1;
    if (width < 1 || height < 1 || width * height > MAX_PIXELS)
        return 1;

    int bits = header[3], planes = header[65];
    bool raw = header[2] == 0;
    if (bits == 8 && planes == 1)
        return raw ? decode8<true>(fd, size, width, height, le16(header + 66), s)
                   : decode8<false>(fd, size, width, height, le16(header + 66), s);
    bool known = (bits == 8 && (planes == 3 || planes == 4)) || (bits == 1 && planes >= 1 && planes <= 4) ||
                 ((bits == 2 || bits == 4) && planes == 1);
    if (!known)
        return 1;
    return decodeplanes(fd, size, header, width, height, bits, planes, raw, s);
}

} // namespace

int gfx::loadPCX(MEM_Sprite* s, const char* path)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 1;
    int result = decode(fd, s);
    ::close(fd);
    return result;
}
