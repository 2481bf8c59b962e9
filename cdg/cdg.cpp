// The CD+G decoder and the stream file reader.
#include "cdg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const int MODE_GRAPHICS = 9;
enum instruction {
    MEMORY_PRESET = 1,
    BORDER_PRESET = 2,
    TILE_BLOCK = 6,
    SCROLL_PRESET = 20,
    SCROLL_COPY = 24,
    TRANSPARENT_COLOUR = 28,
    LOAD_COLOURS_LOW = 30,
    LOAD_COLOURS_HIGH = 31,
    TILE_BLOCK_XOR = 38,
};
const int TILE_W = 6, TILE_H = 12;
const int ROWS = CDG_HEIGHT / TILE_H, COLUMNS = CDG_WIDTH / TILE_W;

} // namespace

bool cdgscreen::apply(const unsigned char* packet)
{
    if ((packet[0] & 0x3F) != MODE_GRAPHICS)
        return false;
    // The 16 data bytes, masked once here so that no handler sees an unmasked byte.
    unsigned char d[16];
    for (int i = 0; i < 16; i++)
        d[i] = packet[4 + i] & 0x3F;
    switch (packet[1] & 0x3F) {
    case MEMORY_PRESET:
        if ((d[1] & 15) != 0)
            return false;
        memset(memory, d[0] & 15, sizeof memory);
        hoffset = voffset = 0;
        return true;
    case BORDER_PRESET:
        border = d[0] & 15;
        return true;
    case TILE_BLOCK:
    case TILE_BLOCK_XOR:
        if ((d[2] & 31) >= ROWS || (d[3] & 63) >= COLUMNS)
            return false;
        tile(d, (packet[1] & 0x3F) == TILE_BLOCK_XOR);
        return true;
    case SCROLL_PRESET:
    case SCROLL_COPY:
        scroll(d, (packet[1] & 0x3F) == SCROLL_COPY);
        return true;
    case LOAD_COLOURS_LOW:
    case LOAD_COLOURS_HIGH: {
        int first = (packet[1] & 0x3F) == LOAD_COLOURS_LOW ? 0 : 8;
        for (int i = 0; i < 8; i++) {
            // hi = --rrrrgg, lo = --ggbbbb
            unsigned hi = d[2 * i], lo = d[2 * i + 1];
            unsigned r = hi >> 2, g = ((hi & 3) << 2) | (lo >> 4), b = lo & 15;
            colours[first + i] = pixel((r * 17) << 16 | (g * 17) << 8 | b * 17);
        }
        return true;
    }
    case TRANSPARENT_COLOUR:
    default:
        return false;
    }
}

void cdgscreen::tile(const unsigned char* d, bool exclusive)
{
    const unsigned char colour[2] = {(unsigned char)(d[0] & 15), (unsigned char)(d[1] & 15)};
    int top = (d[2] & 31) * TILE_H, left = (d[3] & 63) * TILE_W;
    for (int y = 0; y < TILE_H; y++) {
        unsigned char* row = memory[top + y] + left;
        unsigned bits = d[4 + y];
        if (exclusive)
            for (int x = 0; x < TILE_W; x++)
                row[x] ^= colour[(bits >> (5 - x)) & 1];
        else
            for (int x = 0; x < TILE_W; x++)
                row[x] = colour[(bits >> (5 - x)) & 1];
    }
}

void cdgscreen::scroll(const unsigned char* d, bool copy)
{
    unsigned char fill = d[0] & 15;
    int hcommand = (d[1] >> 4) & 3, vcommand = (d[2] >> 4) & 3;
    hoffset = std::min(d[1] & 7, TILE_W - 1);
    voffset = std::min(d[2] & 15, TILE_H - 1);
    // The picture moves by whole tiles: right or down shifts memory towards higher coordinates. The
    // strip uncovered is filled with the colour, or for a copy takes what left the other edge.
    int dx = hcommand == 1 ? TILE_W : hcommand == 2 ? -TILE_W : 0;
    int dy = vcommand == 1 ? TILE_H : vcommand == 2 ? -TILE_H : 0;
    if (dx == 0 && dy == 0)
        return;
    unsigned char old[CDG_HEIGHT][CDG_WIDTH];
    memcpy(old, memory, sizeof memory);
    int k = dx < 0 ? -dx : dx;
    for (int y = 0; y < CDG_HEIGHT; y++) {
        int sy = y - dy;
        unsigned char* to = memory[y];
        if ((sy < 0 || sy >= CDG_HEIGHT) && !copy) {
            memset(to, fill, CDG_WIDTH);
            continue;
        }
        const unsigned char* from = old[(sy + CDG_HEIGHT) % CDG_HEIGHT];
        // The row moves by k columns; the k that leave one end come back at the other for a copy.
        if (dx > 0) {
            memcpy(to + k, from, CDG_WIDTH - k);
            if (copy)
                memcpy(to, from + CDG_WIDTH - k, k);
            else
                memset(to, fill, k);
        } else if (dx < 0) {
            memcpy(to, from + k, CDG_WIDTH - k);
            if (copy)
                memcpy(to + CDG_WIDTH - k, from, k);
            else
                memset(to + CDG_WIDTH - k, fill, k);
        } else {
            memcpy(to, from, CDG_WIDTH);
        }
    }
}

int cdgscreen::shown(int x, int y) const
{
    if (x < CDG_LEFT || x >= CDG_RIGHT || y < CDG_TOP || y >= CDG_BOTTOM)
        return border;
    int mx = x + hoffset, my = y + voffset;
    // The offsets are public and may hold anything; an offset that points outside memory shows border.
    if (mx < 0 || mx >= CDG_WIDTH || my < 0 || my >= CDG_HEIGHT)
        return border;
    return memory[my][mx] & 15;
}

void cdgscreen::draw(pixel* frame) const
{
    pixel edge = colours[border & 15];
    std::fill(frame, frame + SCREEN_W * CDG_SCREEN_Y, edge);
    std::fill(frame + SCREEN_W * (CDG_SCREEN_Y + 2 * CDG_HEIGHT), frame + SCREEN_PIXELS, edge);
    for (int y = 0; y < CDG_HEIGHT; y++) {
        pixel* row = frame + SCREEN_W * (CDG_SCREEN_Y + 2 * y);
        std::fill(row, row + CDG_SCREEN_X, edge);
        for (int x = 0; x < CDG_WIDTH; x++) {
            pixel c = colours[shown(x, y)];
            row[CDG_SCREEN_X + 2 * x] = c;
            row[CDG_SCREEN_X + 2 * x + 1] = c;
        }
        std::fill(row + CDG_SCREEN_X + 2 * CDG_WIDTH, row + SCREEN_W, edge);
        memcpy(row + SCREEN_W, row, SCREEN_W * sizeof(pixel));
    }
}

int loadcdg(const char* path, std::vector<unsigned char>& packets)
{
    // Opened without blocking so that a FIFO with no writer is refused at once instead of hanging the
    // run; a regular file reads the same either way.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return 1;
    }
    if (st.st_size > CDG_MAX_BYTES) {
        close(fd);
        return 2;
    }
    // The size is only a hint: the file may change while it is read, so the reads themselves stop at
    // the cap.
    std::vector<unsigned char> bytes;
    bytes.reserve(size_t(st.st_size));
    unsigned char buf[65536];
    for (;;) {
        ssize_t got = read(fd, buf, sizeof buf);
        if (got == 0)
            break;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || (long long)bytes.size() + got > CDG_MAX_BYTES) {
            close(fd);
            return 2;
        }
        bytes.insert(bytes.end(), buf, buf + got);
    }
    close(fd);
    bytes.resize(bytes.size() - bytes.size() % CDG_PACKET);
    packets.swap(bytes);
    return 0;
}
