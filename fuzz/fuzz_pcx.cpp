// Fuzzes the PCX decoder: any bytes as a picture file, decoded, drawn where the input says, and freed.
#include "fuzzfiles.h"
#include "gfx.h"
#include "script.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Stops the run with a message; libFuzzer records the input that got here.
void fail(const char* why)
{
    fprintf(stderr, "fuzz_pcx: %s\n", why);
    abort();
}

int16_t signed16(const uint8_t* data, size_t size, size_t at)
{
    if (at + 1 >= size)
        return 0;
    return int16_t(data[at] | (data[at + 1] << 8));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzzfile("picture.pcx", data, size);
    gfx* g = gfx::instance();

    pixel untouched = 0;
    MEM_Sprite s = {-7, -7, &untouched};
    if (g->loadPCX(&s, path.c_str()) != 0) {
        if (s.width != -7 || s.height != -7 || s.pixels != &untouched)
            fail("a refused picture changed the sprite");
        return 0;
    }
    if (s.width < 1 || s.height < 1 || (long long)s.width * s.height > 16777216 || !s.pixels)
        fail("the decoder accepted a size outside 1..16777216 pixels");
    // Every value comes from a palette or from a 24-bit picture's planes, so its top byte is 0; reading
    // the values lets the sanitizer see the block. A big picture is sampled (its last pixel always), so
    // that huge headers do not slow the run down.
    long long count = (long long)s.width * s.height;
    long long step = count > 65536 ? 4099 : 1;
    for (long long i = 0; i < count; i += step)
        if (s.pixels[i] >> 24)
            fail("a decoded pixel has bits in its top byte");
    if (s.pixels[count - 1] >> 24)
        fail("the last decoded pixel has bits in its top byte");

    // Where the picture command puts it, and then at places the input picks: the header's two
    // resolution fields (unused by the decoder) as signed columns and rows, and the far corners.
    int x = (640 - s.width) / 2;
    g->drawMEM(&s, x, 0);
    if (x >= 0 && g->pixels[x] != s.pixels[0])
        fail("the top-left pixel of a centred picture is not where it belongs");
    g->drawMEM(&s, signed16(data, size, 12) * 4, signed16(data, size, 14) * 4);
    g->drawMEM(&s, INT_MAX, INT_MAX);
    g->drawMEM(&s, INT_MIN, INT_MIN);
    g->drawMEM(&s, INT_MIN, 0);
    g->drawMEM(&s, 639, 479);
    // Drawn straight into the frame, at a row the input picks, the picture shows exactly what the
    // decoded sprite drawn there shows; then the whole picture command runs. For small pictures only,
    // since a big one would just be decoded again.
    if (count <= 65536) {
        int y = signed16(data, size, 14) % 512;
        std::fill(g->pixels, g->pixels + SCREEN_PIXELS, 0x01020304u);
        g->drawMEM(&s, (640 - s.width) / 2, y);
        std::vector<pixel> want(g->pixels, g->pixels + SCREEN_PIXELS);
        std::fill(g->pixels, g->pixels + SCREEN_PIXELS, 0x01020304u);
        if (g->drawPCX(path.c_str(), y) != 0)
            fail("a picture the decoder took was refused when drawn into the frame");
        if (!std::equal(want.begin(), want.end(), g->pixels))
            fail("a picture drawn into the frame differs from its decoded sprite drawn there");
        script sc;
        sc.setimg(path.c_str());
    }
    delete[] s.pixels;
    return 0;
}
