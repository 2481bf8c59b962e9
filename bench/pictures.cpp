// Pictures: a "setimg" line's work and the font image's load, each against SDL_image's load of the file.
#include "common.h"
#include "font.h"
#include "gfx.h"
#include "script.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdlib>

namespace bench {

namespace {

pixel palettecolour(const SDL_Surface* s, uint8_t v)
{
    const SDL_Color& c = s->format->palette->colors[v];
    return (pixel(c.r) << 16) | (pixel(c.g) << 8) | c.b;
}

// The colour of pixel x in a row of an 8-bit (palette) or 24-bit surface.
pixel surfacecolour(const SDL_Surface* s, const uint8_t* row, int x)
{
    if (s->format->BitsPerPixel == 8)
        return palettecolour(s, row[x]);
    const uint8_t* p = row + 3 * x; // three bytes, lowest first (little-endian machines)
    Uint8 r, g, b;
    SDL_GetRGB(Uint32(p[0]) | (Uint32(p[1]) << 8) | (Uint32(p[2]) << 16), s->format, &r, &g, &b);
    return (pixel(r) << 16) | (pixel(g) << 8) | b;
}

// Loads path with SDL_image and checks that the sprite shows the same pixels, so both sides of the
// comparison decode the same picture the same way.
void checksame(const std::string& path, const MEM_Sprite& s)
{
    SDL_Surface* ref = IMG_Load(path.c_str());
    if (!ref)
        die("SDL_image cannot load " + path + ": " + IMG_GetError());
    if ((ref->format->BitsPerPixel != 8 && ref->format->BitsPerPixel != 24) || ref->w != s.width ||
        ref->h != s.height)
        die(path + ": SDL_image reads " + std::to_string(ref->w) + "x" + std::to_string(ref->h) + "x" +
            std::to_string(ref->format->BitsPerPixel) + ", the player " + std::to_string(s.width) + "x" +
            std::to_string(s.height));
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++) {
            const uint8_t* row = static_cast<const uint8_t*>(ref->pixels) + size_t(y) * ref->pitch;
            pixel want = surfacecolour(ref, row, x), got = s.pixels[size_t(y) * s.width + x];
            if (want != got)
                die(path + ": first differing pixel at (" + std::to_string(x) + ", " + std::to_string(y) +
                    "): SDL_image " + fmt("%06x", want) + ", the player " + fmt("%06x", got));
        }
    SDL_FreeSurface(ref);
}

void checkpicture(const std::string& path)
{
    MEM_Sprite s;
    if (gfx::instance()->loadPCX(&s, path.c_str()) != 0)
        die("the player cannot decode " + path);
    checksame(path, s);
    delete[] s.pixels;
}

void imgload(const std::string& path)
{
    SDL_Surface* s = IMG_Load(path.c_str());
    if (!s)
        die("SDL_image cannot load " + path);
    SDL_FreeSurface(s);
}

} // namespace

// A "setimg" line's work (decode, draw, free) against SDL_image's load and free.
void picturecost(const std::string& label, const std::string& path, int count)
{
    checkpicture(path);
    Pair p = interleave(
        count,
        [&] {
            for (int i = 0; i < count; i++)
                script().setimg(path.c_str());
        },
        [&] {
            for (int i = 0; i < count; i++)
                imgload(path);
        });
    double speedup = 1 / medianratio(p);
    table.push_back({label, fmt("%.2f ms", median(p.a) * 1e3), fmt("%.2f ms", median(p.b) * 1e3),
                     fmt("%.1fx faster", speedup), ">= 5x", speedup >= 5});
}

// The font image as the player loads it at start-up, against SDL_image's load and free.
void fontcost(const std::string& path, int count)
{
    checkpicture(path);
    Pair p = interleave(
        count,
        [&] {
            for (int i = 0; i < count; i++) {
                font f;
                f.loadfont(path.c_str());
                delete[] f.image.pixels;
            }
        },
        [&] {
            for (int i = 0; i < count; i++)
                imgload(path);
        });
    double speedup = 1 / medianratio(p);
    table.push_back({"font image load vs IMG_Load", fmt("%.3f ms", median(p.a) * 1e3),
                     fmt("%.3f ms", median(p.b) * 1e3), fmt("%.1fx faster", speedup), ">= 5x", speedup >= 5});
}


// A picture line as a user's run sees it: whole runs of the player on a script of `lines` "setimg" lines
// of the picture and on one of as many "clearscreen" lines, whose difference over `lines` is what a
// picture line costs beyond a line that fills the frame (both pay the same start-up, refresh and exit).
// Against `imgcount` loads and frees of the same file with IMG_Load. The three sides take turns, the
// order rotating from rep to rep; the speed-up is the median of the per-rep ratios.
void picturelinecost(const std::string& label, const std::string& path, int lines, int imgcount, double goal)
{
    checkpicture(path);
    Stage st;
    writefile(st.work("font.pcx"), encodepcx(benchFont()));
    std::string cmd = "cp '" + path + "' '" + st.work("picture.pcx") + "'";
    if (system(cmd.c_str()) != 0)
        die("cannot copy " + path);
    st.dir.write("work/pictures.txt", scriptoflines(lines, [](int) { return std::string("setimg(picture.pcx)"); }));
    st.dir.write("work/clears.txt", scriptoflines(lines, [](int i) {
                     return "clearscreen(" + std::to_string(i % 256) + ",40," + std::to_string(255 - i % 256) + ")";
                 }));
    std::vector<double> ours, theirs, ratios;
    for (int r = -1; r < reps; r++) {
        double pictures = 0, clears = 0, loads = 0;
        for (int k = 0; k < 3; k++) {
            switch ((r + 3 + k) % 3) {
            case 0: {
                Run a = runprogram(st, TRALUNE_BINARY, {"pictures.txt"}, false);
                if (a.status != 0)
                    die("the picture run went wrong (status " + std::to_string(a.status) + "):\n" + a.output);
                pictures = a.seconds;
                break;
            }
            case 1: {
                Run a = runprogram(st, TRALUNE_BINARY, {"clears.txt"}, false);
                if (a.status != 0)
                    die("the clearscreen run went wrong (status " + std::to_string(a.status) + "):\n" + a.output);
                clears = a.seconds;
                break;
            }
            default: {
                double t0 = monotonic();
                for (int i = 0; i < imgcount; i++)
                    imgload(path);
                loads = (monotonic() - t0) / imgcount;
            }
            }
        }
        if (r < 0)
            continue; // the untimed round: caches and page tables settle
        double line = (pictures - clears) / lines;
        ours.push_back(line);
        theirs.push_back(loads);
        ratios.push_back(loads / line);
    }
    double speedup = median(ratios);
    table.push_back({label, fmt("%.3f ms", median(ours) * 1e3), fmt("%.3f ms", median(theirs) * 1e3),
                     fmt("%.1fx faster", speedup), fmt(">= %.0fx", goal), speedup >= goal});
}

} // namespace bench
