// The QR code drawn into the frame, read back by a real decoder (zbarimg).
#include "font.h"
#include "gfx.h"
#include "qrcode.h"
#include "screen.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

// The frame as a binary PPM, which zbarimg reads.
std::string writeppm(const ScratchDir& dir, const std::vector<pixel>& frame)
{
    std::string path = dir / "screen.ppm";
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << SCREEN_W << " " << SCREEN_H << "\n255\n";
    for (pixel p : frame) {
        char rgb[3] = {char(p >> 16), char(p >> 8), char(p)};
        out.write(rgb, 3);
    }
    return path;
}

std::string zbar(const std::string& path)
{
    std::string out;
    FILE* p = popen(("zbarimg --raw -q '" + path + "' 2>/dev/null").c_str(), "r");
    if (!p)
        return "";
    char buf[256];
    while (fgets(buf, sizeof buf, p))
        out += buf;
    pclose(p);
    while (!out.empty() && (out.back() == '\n'))
        out.pop_back();
    return out;
}

} // namespace

TEST(QrCode, DrawnCodeDecodesToTheAddress)
{
    const std::string url = "http://192.168.178.123:8080/";
    qrcode code;
    ASSERT_TRUE(makeqrcode(url, code));
    // A grey frame, so the code's own white margin is what the decoder needs.
    std::vector<pixel> frame(SCREEN_PIXELS, 0x404040);
    int side = drawqrcode(frame.data(), code, 400, 200, 200);
    ASSERT_GT(side, 0);
    ScratchDir dir;
    EXPECT_EQ(zbar(writeppm(dir, frame)), url);
}

TEST(QrCode, WholePixelsPerModuleWithAWhiteQuietZone)
{
    qrcode code;
    ASSERT_TRUE(makeqrcode("http://10.0.0.2:8080/", code));
    int modules = code.size + 2 * QR_QUIET;
    int scale = qrscale(code, 200);
    ASSERT_GE(scale, 1);
    EXPECT_EQ(scale, 200 / modules);
    std::vector<pixel> frame(SCREEN_PIXELS, 0x123456);
    int side = drawqrcode(frame.data(), code, 10, 20, 200);
    EXPECT_EQ(side, modules * scale);
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            int mx = x / scale - QR_QUIET, my = y / scale - QR_QUIET;
            bool dark = mx >= 0 && my >= 0 && mx < code.size && my < code.size && code.dark[my * code.size + mx];
            pixel want = dark ? 0x000000 : 0xFFFFFF;
            ASSERT_EQ(frame[(20 + y) * SCREEN_W + 10 + x], want) << "at " << x << "," << y;
        }
    // Nothing outside the square.
    EXPECT_EQ(frame[(20 + side) * SCREEN_W + 10], 0x123456u);
    EXPECT_EQ(frame[20 * SCREEN_W + 10 + side], 0x123456u);
    // A box too small for one pixel a module draws nothing.
    std::vector<pixel> untouched(SCREEN_PIXELS, 7);
    EXPECT_EQ(drawqrcode(untouched.data(), code, 0, 0, modules - 1), 0);
    EXPECT_EQ(std::count(untouched.begin(), untouched.end(), 7u), SCREEN_PIXELS);
}

// The phone page's column on the party's screens, drawn with the tests' small font: the code on each
// screen decodes to the address, and a song's row of the queue stops before the column.
TEST(QrCode, PickerAndUpNextScreensShowTheAddressCode)
{
    ScratchDir dir;
    ASSERT_TRUE(writefile(dir / "font.pcx", encodepcx(testFont())));
    ASSERT_EQ(font::instance()->loadfont((dir / "font.pcx").c_str()), 0);
    const std::string url = "http://192.168.1.20:8080/";
    qrcode code;
    ASSERT_TRUE(makeqrcode(url, code));
    pickerview v;
    v.phoneurl = url;
    v.phonecode = &code;
    v.queue = {{std::string(300, 'B'), "Artist", std::string(300, 'C')}};
    gfx* g = gfx::instance();
    std::vector<pixel> frame;
    drawpicker(v);
    frame.assign(g->pixels, g->pixels + SCREEN_PIXELS);
    EXPECT_EQ(zbar(writeppm(dir, frame)), url) << "on the picker";
    // The long queue row is drawn up to the column, and nothing of it (or anything else) in the
    // column's gap.
    int left = SCREEN_W - 12 - PHONE_COLUMN + 6;
    long long inked = 0;
    for (int y = SCREEN_H / 2; y < SCREEN_H; y++)
        for (int x = left - 40; x < left - 6; x++)
            inked += frame[y * SCREEN_W + x] != BACKGROUND;
    EXPECT_GT(inked, 0) << "the queue row does not reach the column";
    // (Below the search line, which spans the screen.)
    for (int y = 60; y < SCREEN_H; y++)
        for (int x = left; x < SCREEN_W - 12 - PHONE_COLUMN + 12; x++)
            ASSERT_EQ(frame[y * SCREEN_W + x], BACKGROUND) << "queue text in the column's gap at " << x << "," << y;

    upnextview u;
    u.title = "Title";
    u.singer = "Ana";
    u.seconds = 3;
    drawupnext(u, v);
    frame.assign(g->pixels, g->pixels + SCREEN_PIXELS);
    EXPECT_EQ(zbar(writeppm(dir, frame)), url) << "on the up-next screen";
}
