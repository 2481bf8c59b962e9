// The PCX decoder. It reads 8-bit, one-plane, run-length-coded images with a 256-colour palette in the
// last 768 bytes of the file. Of the header it reads only the window (Xmin, Ymin, Xmax, Ymax) and
// BytesPerLine; manufacturer, version, encoding, bits per pixel and planes are taken on trust.
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

int decode(int fd, MEM_Sprite* s)
{
    struct stat st;
    // Only regular files: a directory cannot be read, and a pipe or device could block for ever.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return 1;
    long long size = st.st_size;
    if (size < HEADER_SIZE + PALETTE_SIZE)
        return 1;

    unsigned char header[HEADER_SIZE];
    unsigned char palette[PALETTE_SIZE];
    if (!readexact(fd, 0, header, sizeof header) ||
        !readexact(fd, size - PALETTE_SIZE, palette, sizeof palette))
        return 1;

    long long xmin = le16(header + 4), ymin = le16(header + 6);
    long long xmax = le16(header + 8), ymax = le16(header + 10);
    long long width = xmax - xmin + 1, height = ymax - ymin + 1;
    if (width < 1 || height < 1 || width * height > MAX_PIXELS)
        return 1;
    // Writers that pad odd widths to an even count (Pillow, GIMP) say so in BytesPerLine; ImageMagick
    // pads nothing. A BytesPerLine below the width (or 0) is taken as no padding.
    long long rowlen = std::max<long long>(le16(header + 66), width);

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
        decodedata(in, colours, w);
    } else {
        RowWriter w(out, width, height, rowlen);
        decodedata(in, colours, w);
    }

    s->width = int32_t(width);
    s->height = int32_t(height);
    s->pixels = out;
    return 0;
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
