// Fuzzes the CD+G decoder: any bytes as a stream file, read with loadcdg, applied packet by packet,
// drawn, and played whole by the "cdg" command.
#include "cdg.h"
#include "fuzzfiles.h"
#include "gfx.h"
#include "script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void fail(const char* why)
{
    fprintf(stderr, "fuzz_cdg: %s\n", why);
    abort();
}

bool insane(const cdgscreen& s)
{
    return s.border < 0 || s.border > 15 || s.hoffset < 0 || s.hoffset > 5 || s.voffset < 0 || s.voffset > 11;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzzfile("stream.cdg", data, size);
    std::vector<unsigned char> packets;
    if (loadcdg(path.c_str(), packets) != 0)
        fail("a regular file was refused");
    if (packets.size() != size - size % CDG_PACKET || (size && memcmp(packets.data(), data, packets.size()) != 0))
        fail("the packets are not the file's whole packets");

    std::unique_ptr<cdgscreen> s(new cdgscreen()), before(new cdgscreen());
    for (size_t at = 0; at < packets.size(); at += CDG_PACKET) {
        *before = *s;
        bool changed = s->apply(&packets[at]);
        // A packet said to change nothing must leave everything as it was.
        if (!changed && memcmp(before.get(), s.get(), sizeof(cdgscreen)) != 0)
            fail("a packet that changed the screen said it did not");
        if (insane(*s))
            fail("the border or an offset left its range");
    }
    for (int y = 0; y < CDG_HEIGHT; y++)
        for (int x = 0; x < CDG_WIDTH; x++)
            if (s->memory[y][x] > 15 || s->shown(x, y) < 0 || s->shown(x, y) > 15)
                fail("a colour index outside 0-15");
    gfx* g = gfx::instance();
    s->draw(g->pixels);
    std::vector<pixel> drawn(g->pixels, g->pixels + SCREEN_PIXELS);

    // The whole command, with every packet long due so that it catches up at once and draws the
    // last picture.
    script sc;
    sc.clock.startat(monotonicns() - 100000000000LL);
    g->clearscreen(1, 2, 3);
    if (sc.cdg(path.c_str()) != 0)
        fail("the command refused a regular file");
    if (!packets.empty() && memcmp(drawn.data(), g->pixels, sizeof g->pixels) != 0)
        fail("the command's last picture differs from the decoder's");
    return 0;
}
