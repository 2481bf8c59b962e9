// On a real X server: tralune runs full screen on a private Xvfb display, the screen is read back and
// compared pixel for pixel with the frame that the program's own units draw for the same script, and
// Escape, quit signals and window close requests are sent to it.
#include "fakevideo.h"
#include "font.h"
#include "gfx.h"
#include "script.h"
#include "xscreen.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// Every script line that waits, cut to no wait at all. Waits draw nothing, so the cut script shows the
// same frames as the real one, only without the pauses.
std::string withoutwaits(const std::string& text)
{
    std::istringstream in(text);
    std::string out, line;
    script s;
    while (std::getline(in, line)) {
        int cmd = s.parseline(line.c_str()) == script::OK && s.cmd[0] ? s.findcommand() : script::UNKNOWN;
        out += (cmd == script::SLEEP || cmd == script::USLEEP || cmd == script::AT ? "sleep(0)" : line) + "\n";
    }
    return out;
}

// The last frame that the player's own units show for the script: the script reader, the frame buffer,
// the picture decoder and the font, run in this process in the stage's folder (where the script finds
// its font and pictures) against the recording stand-in for the display.
std::vector<pixel> lastframe(const Stage& st, const std::string& text)
{
    std::string path = st.write("expected.txt", withoutwaits(text));
    char here[PATH_MAX];
    if (!getcwd(here, sizeof here) || chdir(st.work().c_str()) != 0)
        return {};
    font::instance()->loadfont("font.pcx");
    gfx* g = gfx::instance();
    // The player's frame buffer starts black.
    g->clearscreen(0, 0, 0);
    shownframes.clear();
    g->init();
    script s;
    s.readscript(path.c_str());
    g->close();
    if (chdir(here) != 0 || shownframes.empty())
        return {};
    return shownframes.back();
}

// The colour of index v in rampPalette().
pixel ramp(int v)
{
    return (pixel(v) << 16) | (pixel(255 - v) << 8) | pixel(v / 2);
}

// 201 x 150, index (x + 2y) % 256 of the ramp palette: every column and row has its own colours, so a
// picture drawn one pixel off, mirrored, scaled wrong or with rows run together shows. The odd width
// makes the writer pad every row with one byte, which the decoder must skip.
PcxImage rampPicture()
{
    PcxImage pic;
    pic.width = 201;
    pic.height = 150;
    pic.palette = rampPalette();
    for (int y = 0; y < pic.height; y++)
        for (int xx = 0; xx < pic.width; xx++)
            pic.indexes.push_back(uint8_t((xx + 2 * y) % 256));
    return pic;
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

// A script that first fills the screen with colour and then runs many short lines, each of which ends
// with a refresh that takes one input event: "usleep(50000)" and "hop()", 200 times, about 10 s.
std::string shortlines(const std::string& colour)
{
    std::string text = "clearscreen(" + colour + ")\n";
    for (int i = 0; i < 200; i++)
        text += "usleep(50000)\nhop()\n";
    return text;
}

// Reads x's screen again and again until it shows `want` (the whole screen, row by row), for up to
// `seconds` or until the run ends. "" when it did; otherwise why not, with the difference of the last
// screen read.
std::string waitforscreen(const XServer& x, ScreenRun& run, const std::vector<pixel>& want, double seconds)
{
    if (want.size() != size_t(x.width()) * size_t(x.height()))
        return "no expected screen: the in-process run of the script showed nothing";
    std::string last = "the screen was never read";
    double deadline = now() + seconds;
    for (;;) {
        bool ended = run.finished();
        std::vector<pixel> screen;
        std::string why;
        if (x.capture(screen, why)) {
            last = framediff(screen, want, x.width());
            if (last.empty())
                return "";
        } else {
            last = why;
        }
        if (ended) {
            RunResult r = run.result();
            return "the run ended (status " + std::to_string(r.status) + ") before the screen showed the frame; " +
                   "last screen read: " + last + "\nwhole output of the run:\n" + r.output;
        }
        if (now() > deadline) {
            char after[60];
            snprintf(after, sizeof after, "after %g s the screen still differs: ", seconds);
            return after + last;
        }
        usleep(100000);
    }
}

class Screen : public ::testing::Test {
protected:
    Screen() { st.addfont(); }

    // Reads the screen again and again until it shows frame, for up to `seconds` or until the run
    // ends. "" when it did; otherwise why not, with the difference of the last screen read.
    std::string waitforframe(ScreenRun& run, const std::vector<pixel>& frame, double seconds)
    {
        if (frame.size() != size_t(SCREEN_PIXELS))
            return "no expected frame: the in-process run of the script showed nothing";
        return waitforscreen(x, run, frame, seconds);
    }

    // Runs s.txt full screen and checks that the screen comes to show frame, every pixel; then ends the
    // run with SIGTERM (no need to sit out its wait), which must give status 0.
    void expectshown(const std::vector<pixel>& frame)
    {
        ScreenRun run(st, x.options({"s.txt"}));
        std::string diff = waitforframe(run, frame, 10);
        run.signal(SIGTERM);
        RunResult r = run.result();
        EXPECT_EQ(diff, "") << "all 307200 pixels compared";
        EXPECT_EQ(r.status, 0) << r.output;
    }

    XServer x;
    Stage st;
};

// What the screen shows ------------------------------------------------------------------------------

TEST_F(Screen, ClearscreenColourFillsTheWholeScreen)
{
    std::string text = "clearscreen(18,52,86)\nsleep(10)\n";
    st.write("s.txt", text);
    std::vector<pixel> frame = lastframe(st, text);
    ASSERT_EQ(frame.size(), size_t(SCREEN_PIXELS));
    ASSERT_EQ(frame[0], 0x00123456u);
    ASSERT_EQ(frame[SCREEN_PIXELS - 1], 0x00123456u);

    expectshown(frame);
}

TEST_F(Screen, PictureIsCentredAtTheTop)
{
    ASSERT_TRUE(writefile(st.work("pic.pcx"), encodepcx(rampPicture())));
    std::string text = "clearscreen(0,0,90)\nsetimg(pic.pcx)\nsleep(10)\n";
    st.write("s.txt", text);
    std::vector<pixel> frame = lastframe(st, text);
    ASSERT_EQ(frame.size(), size_t(SCREEN_PIXELS));
    // (640 - 201) / 2 = 219: the picture covers columns 219 to 419 and rows 0 to 149.
    ASSERT_EQ(frame[219], ramp(0));
    ASSERT_EQ(frame[149 * 640 + 419], ramp((200 + 298) % 256));
    ASSERT_EQ(frame[218], 0x0000005Au);
    ASSERT_EQ(frame[420], 0x0000005Au);
    ASSERT_EQ(frame[150 * 640 + 219], 0x0000005Au);

    expectshown(frame);
}

TEST_F(Screen, TextLineWithHighlightedWordIsDrawnUnderThePicture)
{
    PcxImage pic;
    pic.width = 64;
    pic.height = 32;
    pic.palette = rampPalette();
    for (int i = 0; i < 64 * 32; i++)
        pic.indexes.push_back(uint8_t(i % 251));
    ASSERT_TRUE(writefile(st.work("pic.pcx"), encodepcx(pic)));
    std::string text = "clearscreen(40,40,40)\nsetimg(pic.pcx)\ntext(Sing %along% now)\nsleep(10)\n";
    st.write("s.txt", text);
    std::vector<pixel> frame = lastframe(st, text);
    ASSERT_EQ(frame.size(), size_t(SCREEN_PIXELS));
    // The test font is 5 rows high, marker row included: the glyphs take rows 476 to 479, with white
    // ink for "Sing" and "now" and the highlight colour for "along".
    size_t highlighted = 0, white = 0;
    for (int i = 476 * 640; i < SCREEN_PIXELS; i++) {
        highlighted += frame[size_t(i)] == HLCOL;
        white += frame[size_t(i)] == 0x00FFFFFFu;
    }
    ASSERT_GT(highlighted, 0u);
    ASSERT_GT(white, 0u);
    ASSERT_EQ(frame[(640 - 64) / 2], ramp(0));

    expectshown(frame);
}

TEST_F(Screen, TextRowShowsTheTextLinesPixelsWholeFontHeightsHigher)
{
    const std::string head = "clearscreen(40,40,40)\n", tail = "sleep(10)\n";
    std::vector<pixel> text = lastframe(st, head + "text(Sing %along% now)\n" + tail);
    std::vector<pixel> row0 = lastframe(st, head + "textrow(0,Sing %along% now)\n" + tail);
    std::string script = head + "textrow(1,Sing %along% now)\n" + tail;
    std::vector<pixel> row1 = lastframe(st, script);
    ASSERT_EQ(text.size(), size_t(SCREEN_PIXELS));
    ASSERT_EQ(row1.size(), size_t(SCREEN_PIXELS));
    EXPECT_EQ(row0, text);
    // The test font is 5 rows high: row 1 is the text line's every pixel 5 rows up, on the same fill.
    const pixel fill = 0x00282828;
    size_t ink = 0;
    for (int y = 0; y < SCREEN_H; y++)
        for (int x = 0; x < SCREEN_W; x++) {
            pixel want = y + 5 < SCREEN_H ? text[size_t((y + 5) * SCREEN_W + x)] : fill;
            ASSERT_EQ(row1[size_t(y * SCREEN_W + x)], want) << "at " << x << "," << y;
            ink += want != fill;
        }
    EXPECT_GT(ink, 50u);
    st.write("s.txt", script);
    expectshown(row1);
}

TEST_F(Screen, MouseCursorIsHiddenWhileRunning)
{
    std::string clientpath = TRALUNE_XCLIENT;
    ClientResult before = x.client(clientpath + " cursor " + x.name());
    if (before.status == 3)
        GTEST_SKIP() << before.output;
    ASSERT_EQ(before.status, 0) << before.output;
    int w = 0, h = 0;
    long ink = -1;
    ASSERT_EQ(sscanf(before.output.c_str(), "%d %d %ld", &w, &h, &ink), 3) << before.output;
    ASSERT_GT(ink, 0) << "the server's own cursor should show before the run: " << before.output;

    std::string text = "clearscreen(0,60,0)\nsleep(10)\n";
    st.write("s.txt", text);
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforframe(run, lastframe(st, text), 10);
    ClientResult during = x.client(clientpath + " cursor " + x.name());
    run.signal(SIGTERM);
    RunResult r = run.result();
    ASSERT_EQ(diff, "");
    ASSERT_EQ(during.status, 0) << during.output;
    ASSERT_EQ(sscanf(during.output.c_str(), "%d %d %ld", &w, &h, &ink), 3) << during.output;
    EXPECT_EQ(ink, 0) << "visible cursor pixels while running, cursor " << w << "x" << h;
    EXPECT_EQ(r.status, 0) << r.output;
}

// Ending the run ---------------------------------------------------------------------------------------

// Checks a run of shortlines() that was ended early, at the end of a line, with status 0.
void expectendedatalineend(const RunResult& r)
{
    EXPECT_TRUE(r.exited) << "did not end by itself (killed by a signal or for taking too long)\n" << r.output;
    EXPECT_EQ(r.status, 0) << r.output;
    size_t hops = count(r.output, "Now i hop\n");
    EXPECT_LT(hops, 200u) << "the run went on to the end of the script";
    // Nothing half-written: the last thing out is a whole line of the script or the start-up line.
    ASSERT_FALSE(r.output.empty());
    EXPECT_EQ(r.output.back(), '\n') << r.output;
}

TEST_F(Screen, EscapeHeldWhenAKeyEventIsTakenEndsTheRunWithStatusZero)
{
    std::string text = shortlines("0,120,0");
    st.write("s.txt", text);
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforframe(run, lastframe(st, text), 10);
    ASSERT_EQ(diff, "");
    ClientResult down = x.client("xdotool keydown Escape");
    RunResult r = run.result();
    ClientResult up = x.client("xdotool keyup Escape");
    ASSERT_EQ(down.status, 0) << down.output;
    EXPECT_EQ(up.status, 0) << up.output;
    expectendedatalineend(r);
}

TEST_F(Screen, EscapePressedAndReleasedDuringALongWaitIsMissed)
{
    // Blue during a 4 s wait, then red and short lines. Escape goes down and up inside the wait; its
    // key-down event is taken at the end of the wait, when the key is no longer held, so the run goes
    // on. Escape held afterwards still ends it, which shows the keys do reach the program.
    std::string waiting = "clearscreen(0,0,150)\nsleep(4)\n";
    std::string text = waiting + shortlines("150,0,0");
    st.write("s.txt", text);
    std::vector<pixel> blue = lastframe(st, waiting), red = lastframe(st, text);
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforframe(run, blue, 10);
    ASSERT_EQ(diff, "");
    double blueseen = now();
    usleep(300000);
    ClientResult key = x.client("xdotool key Escape");
    double released = now();
    ASSERT_EQ(key.status, 0) << key.output;
    ASSERT_LT(released - blueseen, 3.5) << "the key came too late to fall inside the 4 s wait";

    diff = waitforframe(run, red, 10);
    EXPECT_EQ(diff, "") << "the missed Escape must not end the run";
    usleep(500000);
    EXPECT_FALSE(run.finished()) << "the run ended after the wait, on the Escape that was let go";

    ClientResult down = x.client("xdotool keydown Escape");
    RunResult r = run.result();
    x.client("xdotool keyup Escape");
    ASSERT_EQ(down.status, 0) << down.output;
    expectendedatalineend(r);
    EXPECT_GT(count(r.output, "Now i hop\n"), 0u) << r.output;
    EXPECT_GE(r.seconds, 4.0);
}

TEST_F(Screen, EscapePressedDuringAnAtWaitEndsTheRunAtOnce)
{
    // Unlike a sleep, a wait on the song's clock watches the keys: the press counts even when the key
    // is let go long before the wait would end.
    std::string waiting = "clearscreen(0,150,150)\n";
    st.write("s.txt", waiting + "at(30)\nhop()\n");
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforframe(run, lastframe(st, waiting), 10);
    ASSERT_EQ(diff, "");
    usleep(300000);
    ClientResult key = x.client("xdotool key Escape");
    double pressed = now();
    RunResult r = run.result();
    double ended = now();
    ASSERT_EQ(key.status, 0) << key.output;
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(count(r.output, "Now i hop"), 0u) << "the run went past the wait";
    EXPECT_LT(ended - pressed, 0.5);
}

class QuitSignal : public Screen, public ::testing::WithParamInterface<int> {};

TEST_P(QuitSignal, EndsTheRunWithStatusZeroAtTheEndOfALine)
{
    std::string text = shortlines("90,0,90");
    st.write("s.txt", text);
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforframe(run, lastframe(st, text), 10);
    ASSERT_EQ(diff, "");
    ASSERT_TRUE(run.signal(GetParam())) << "no tralune process to signal";
    RunResult r = run.result();
    expectendedatalineend(r);
}

INSTANTIATE_TEST_SUITE_P(OnTheRealScreen, QuitSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "Sigterm" : "Sigint");
                         });

TEST_F(Screen, WindowCloseRequestEndsTheRunWithStatusZero)
{
    // With no window manager on the server, the test sends the WM_DELETE_WINDOW message itself, as a
    // window manager does when the user closes a window.
    std::string text = shortlines("0,90,90");
    st.write("s.txt", text);
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforframe(run, lastframe(st, text), 10);
    ASSERT_EQ(diff, "");
    ClientResult closing = x.client(std::string(TRALUNE_XCLIENT) + " close " + x.name());
    RunResult r = run.result();
    ASSERT_EQ(closing.status, 0) << "no window took the close request: " << closing.output;
    EXPECT_EQ(closing.output, "1\n") << "windows asked to close";
    expectendedatalineend(r);
}

// The demo ---------------------------------------------------------------------------------------------

// A moment of the demo when a line with a highlighted word is on the screen under a picture.
struct Moment {
    std::string picture;   // the picture file then shown
    std::string text;      // the text line
    double at = 0;         // seconds of waiting in the script before the line
    double hold = 0;       // seconds of waiting after it, before the next line that draws
};

bool hashighlightedglyph(const std::string& text)
{
    bool on = false;
    for (const char* p = text.c_str(); *p;) {
        int c = font::nextchar(p);
        if (c == '%')
            on = !on;
        else if (on && c != ' ' && font::instance()->hasglyph(c))
            return true;
    }
    return false;
}

// Of the lines in the script's first minute that show a highlighted word while a picture is on the
// screen, the one held longest, so that reading the screen while it shows is easy. hold is 0 when
// there is none.
Moment longestmoment(const std::string& text)
{
    Moment best, open;
    bool isopen = false;
    std::string picture;
    double t = 0;
    std::istringstream in(text);
    std::string line;
    script s;
    while (std::getline(in, line)) {
        if (s.parseline(line.c_str()) != script::OK || !s.cmd[0])
            continue;
        int cmd = s.findcommand();
        std::string arg = s.args;
        long long songms = 0;
        if (cmd == script::SLEEP || cmd == script::USLEEP || (cmd == script::AT && readsongtime(s.args, &songms) == 0)) {
            // An "at" line waits for the song's clock, which runs 1.5 s behind the program's.
            double wait = cmd == script::SLEEP    ? readnumber(s.args)
                          : cmd == script::USLEEP ? readnumber(s.args) / 1e6
                                                  : 1.5 + songms / 1e3 - t;
            t += wait > 0 ? wait : 0;
            if (isopen)
                open.hold += wait > 0 ? wait : 0;
            continue;
        }
        if (cmd != script::TEXT && cmd != script::SETIMG && cmd != script::CLEARSCREEN)
            continue;
        if (isopen && open.hold > best.hold && open.at < 60)
            best = open;
        isopen = false;
        if (cmd == script::SETIMG)
            picture = arg;
        else if (cmd == script::CLEARSCREEN)
            picture.clear();
        else if (!picture.empty() && hashighlightedglyph(arg)) {
            open = Moment{picture, arg, t, 0};
            isopen = true;
        }
    }
    if (isopen && open.hold > best.hold && open.at < 60)
        best = open;
    return best;
}

TEST_F(Screen, DemoShowsItsPictureAndAHighlightedWord)
{
    std::string demo = std::string(TRALUNE_SOURCE_DIR) + "/demo";
    struct stat info;
    if (stat((demo + "/script.txt").c_str(), &info) != 0)
        GTEST_SKIP() << "demo/script.txt is absent: the real-screen run of the demo is not checked";
    std::string copy = "cp -R '" + demo + "/.' '" + st.work() + "/'";
    ASSERT_EQ(system(copy.c_str()), 0) << copy;
    std::string text = readtext(st.work("script.txt"));

    char here[PATH_MAX];
    ASSERT_TRUE(getcwd(here, sizeof here));
    ASSERT_EQ(chdir(st.work().c_str()), 0);
    int fontloaded = font::instance()->loadfont("font.pcx");
    int fontheight = font::instance()->height;
    Moment m = longestmoment(text);
    MEM_Sprite pic{0, 0, nullptr};
    int decoded = m.picture.empty() ? 1 : gfx::instance()->loadPCX(&pic, m.picture.c_str());
    ASSERT_EQ(chdir(here), 0);
    ASSERT_EQ(fontloaded, 0) << "demo/font.pcx does not load";
    ASSERT_GT(m.hold, 0) << "the demo's first minute has no line with a highlighted word under a picture";
    ASSERT_EQ(decoded, 0) << "the demo's picture " << m.picture << " does not decode";
    printf("[ screen   ] demo: \"%s\" over %s, due %.2f s in, held %.2f s\n", m.text.c_str(), m.picture.c_str(), m.at,
           m.hold);
    std::vector<pixel> pixels(pic.pixels, pic.pixels + size_t(pic.width) * size_t(pic.height));
    delete[] pic.pixels;

    // The picture rows above the text rows, and the text rows at the bottom.
    int x0 = (640 - pic.width) / 2;
    int textrow = 480 - fontheight;
    int picrows = std::min(pic.height, textrow);
    auto check = [&](const std::vector<pixel>& screen, long& picturediffs, long& highlighted, std::string& first) {
        picturediffs = highlighted = 0;
        first.clear();
        for (int y = 0; y < picrows; y++)
            for (int xx = std::max(0, x0); xx < std::min(640, x0 + pic.width); xx++) {
                pixel want = pixels[size_t(y) * size_t(pic.width) + size_t(xx - x0)] & 0xFFFFFF;
                pixel got = screen[size_t(y) * 640 + size_t(xx)];
                if (got != want && picturediffs++ == 0) {
                    char d[120];
                    snprintf(d, sizeof d, "first picture pixel that differs: (%d, %d) screen 0x%06X, picture 0x%06X",
                             xx, y, unsigned(got), unsigned(want));
                    first = d;
                }
            }
        for (int i = textrow * 640; i < SCREEN_PIXELS; i++)
            highlighted += screen[size_t(i)] == HLCOL;
    };

    RunOptions o = x.options({});
    o.timeout = m.at + m.hold + 60;
    ScreenRun run(st, o);
    double deadline = now() + m.at + m.hold + 10;
    bool seen = false;
    int reads = 0;
    std::string last = "no screen read showed a highlighted pixel";
    while (!seen && !run.finished() && now() < deadline) {
        std::vector<pixel> screen;
        std::string why;
        if (!x.capture(screen, why)) {
            last = why;
            usleep(50000);
            continue;
        }
        reads++;
        long picturediffs, highlighted;
        std::string first;
        check(screen, picturediffs, highlighted, first);
        seen = picturediffs == 0 && highlighted > 0;
        if (highlighted > 0)
            last = std::to_string(picturediffs) + " picture pixels differ (" + first + "), " +
                   std::to_string(highlighted) + " highlighted pixels in the text rows";
        usleep(50000);
    }
    run.signal(SIGTERM);
    RunResult r = run.result();
    char when[80];
    snprintf(when, sizeof when, "was due %.2f s in for %.2f s", m.at, m.hold);
    EXPECT_TRUE(seen) << "the screen never showed the picture " << m.picture << " (" << pic.width << "x"
                      << pic.height << " at column " << x0 << ", rows 0 to " << picrows - 1
                      << " compared) together with HLCOL pixels in rows " << textrow << " to 479 while \"" << m.text
                      << "\" " << when << "; " << reads << " screen reads; last read with highlighted pixels: "
                      << last << "\nwhole output:\n" << r.output;
    EXPECT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.status, 0) << r.output;
}


// On large displays ------------------------------------------------------------------------------------

// A display and the rectangle the frame should fill on it: the largest 4:3 one, centred.
struct Large {
    int w, h;
    int x, y, fw, fh;
};

void PrintTo(const Large& d, std::ostream* os)
{
    *os << d.w << "x" << d.h << " display, frame at (" << d.x << ", " << d.y << ") " << d.fw << "x" << d.fh;
}

// The screen a frame gives when scaled into the rectangle of d: each screen pixel inside shows the
// frame pixel under its centre; everything outside is black.
std::vector<pixel> scaledscreen(const std::vector<pixel>& frame, int w, int h, int x0, int y0, int fw, int fh)
{
    std::vector<pixel> screen(size_t(w) * size_t(h), 0);
    if (frame.size() != size_t(SCREEN_PIXELS))
        return {};
    for (int dy = 0; dy < fh; dy++)
        for (int dx = 0; dx < fw; dx++) {
            // The centre of screen pixel dx is at (dx + 1/2) * 640 / fw frame columns.
            int fx = (2 * dx + 1) * SCREEN_W / (2 * fw), fy = (2 * dy + 1) * SCREEN_H / (2 * fh);
            screen[size_t(y0 + dy) * size_t(w) + size_t(x0 + dx)] = frame[size_t(fy * SCREEN_W + fx)] & 0xFFFFFF;
        }
    return screen;
}

// The first lines of the demo up to its fourth line of words, its waits made short so that each new
// highlighted word redraws only the words' rows, then a long wait.
std::string demoopening(const std::string& demo)
{
    std::istringstream in(demo);
    std::string out, line;
    script s;
    int texts = 0;
    while (texts < 4 && std::getline(in, line)) {
        int cmd = s.parseline(line.c_str()) == script::OK && s.cmd[0] ? s.findcommand() : script::UNKNOWN;
        bool wait = cmd == script::SLEEP || cmd == script::USLEEP || cmd == script::AT;
        out += (wait ? "usleep(300000)" : line) + "\n";
        texts += cmd == script::TEXT;
    }
    return out + "sleep(30)\n";
}

// Where xwininfo says the window named tralune lies; false when there is none.
bool tralunewindow(const XServer& x, int& w, int& h, int& left, int& top)
{
    ClientResult r = x.client("xwininfo -root -tree");
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.find("(\"tralune\" ");
        if (at != std::string::npos &&
            sscanf(line.c_str() + line.find(')', at) + 1, " %dx%d+%*d+%*d +%d+%d", &w, &h, &left, &top) == 4)
            return true;
    }
    return false;
}

class LargeScreen : public ::testing::TestWithParam<Large> {
protected:
    LargeScreen() : x(GetParam().w, GetParam().h) { st.addfont(); }

    // Puts the demo's font and pictures in the stage; false when the demo is absent.
    bool withdemo()
    {
        std::string demo = std::string(TRALUNE_SOURCE_DIR) + "/demo";
        struct stat info;
        if (stat((demo + "/script.txt").c_str(), &info) != 0)
            return false;
        std::string copy = "cp -R '" + demo + "/.' '" + st.work() + "/'";
        return system(copy.c_str()) == 0;
    }
    std::vector<pixel> scaled(const std::vector<pixel>& frame) const
    {
        const Large& d = GetParam();
        return scaledscreen(frame, d.w, d.h, d.x, d.y, d.fw, d.fh);
    }

    XServer x;
    Stage st;
};

TEST_P(LargeScreen, DemoFillsTheFourToThreeRectangleSharpBetweenBlackBars)
{
    if (!withdemo())
        GTEST_SKIP() << "demo/script.txt is absent";
    std::string text = demoopening(readtext(st.work("script.txt")));
    st.write("s.txt", text);
    std::vector<pixel> frame = lastframe(st, text);
    ASSERT_EQ(frame.size(), size_t(SCREEN_PIXELS)) << text;
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforscreen(x, run, scaled(frame), 20);
    run.signal(SIGTERM);
    RunResult r = run.result();
    EXPECT_EQ(diff, "") << "the whole " << x.width() << "x" << x.height() << " screen compared, after:\n" << text;
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST_P(LargeScreen, EscapeHeldStillEndsTheRunWithStatusZero)
{
    std::string text = shortlines("0,120,0");
    st.write("s.txt", text);
    ScreenRun run(st, x.options({"s.txt"}));
    std::string diff = waitforscreen(x, run, scaled(lastframe(st, text)), 10);
    ASSERT_EQ(diff, "");
    ClientResult down = x.client("xdotool keydown Escape");
    RunResult r = run.result();
    x.client("xdotool keyup Escape");
    ASSERT_EQ(down.status, 0) << down.output;
    expectendedatalineend(r);
}

TEST_P(LargeScreen, WindowOptionShowsTheFrameAtTwiceItsSizeInAWindowThatClosesOnRequest)
{
    // 1920x1080 and 1280x1024 both fit 1280x960 and no larger multiple.
    // Short lines after the picture, so the close request is taken soon.
    std::string text = "clearscreen(0,0,90)\nsetimg(pic.pcx)\ntext(Sing %along% now)\n";
    for (int i = 0; i < 300; i++)
        text += "usleep(100000)\n";
    ASSERT_TRUE(writefile(st.work("pic.pcx"), encodepcx(rampPicture())));
    st.write("s.txt", text);
    std::vector<pixel> frame = lastframe(st, text);
    ScreenRun run(st, x.options({"--window", "s.txt"}));
    int w = 0, h = 0, left = -1, top = -1;
    // SDL makes the window small first and then gives it its size.
    for (double until = now() + 10; !run.finished() && now() < until; usleep(100000))
        if (tralunewindow(x, w, h, left, top) && w == 1280 && h == 960)
            break;
    ASSERT_EQ(w, 1280) << x.client("xwininfo -root -tree").output;
    ASSERT_EQ(h, 960);
    // The window's place is the window manager's to choose; with none, it is where the window asked.
    std::string diff = "never compared";
    for (double until = now() + 10; !diff.empty() && !run.finished() && now() < until; usleep(100000)) {
        std::vector<pixel> screen, inside(size_t(w) * size_t(h));
        std::string why;
        if (!x.capture(screen, why) || left + w > x.width() || top + h > x.height()) {
            diff = why.empty() ? "the window reaches past the screen" : why;
            continue;
        }
        for (int y = 0; y < h; y++)
            std::copy_n(&screen[size_t(top + y) * size_t(x.width()) + size_t(left)], w, &inside[size_t(y) * size_t(w)]);
        diff = framediff(inside, scaledscreen(frame, w, h, 0, 0, w, h), w);
    }
    ClientResult closing = x.client(std::string(TRALUNE_XCLIENT) + " close " + x.name());
    RunResult r = run.result();
    EXPECT_EQ(diff, "") << "the window at (" << left << ", " << top << ")";
    EXPECT_EQ(closing.output, "1\n") << "windows asked to close";
    EXPECT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.status, 0) << r.output;
}

INSTANTIATE_TEST_SUITE_P(OnXvfb, LargeScreen,
                         ::testing::Values(Large{1920, 1080, 240, 0, 1440, 1080}, Large{1280, 1024, 0, 32, 1280, 960}),
                         [](const ::testing::TestParamInfo<Large>& info) {
                             return "At" + std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
                         });

TEST(ModeSwitch, KeepsTheFrameAtItsOwnSizeWhereTheDisplayCannotSwitch)
{
    // Xvfb has one mode: SDL puts the 640x480 screen in the middle of the display, unscaled.
    XServer x(1920, 1080);
    Stage st;
    st.addfont();
    std::string text = shortlines("30,60,90");
    st.write("s.txt", text);
    std::vector<pixel> frame = lastframe(st, text);
    ScreenRun run(st, x.options({"--mode-switch", "s.txt"}));
    std::string diff = waitforscreen(x, run, scaledscreen(frame, 1920, 1080, 640, 300, 640, 480), 10);
    ASSERT_TRUE(run.signal(SIGTERM));
    RunResult r = run.result();
    EXPECT_EQ(diff, "");
    expectendedatalineend(r);
}

} // namespace
