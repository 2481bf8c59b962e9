// Writes the seed pictures and fonts of the fuzz corpus. Built and run by make.sh; its output is
// kept in the repository so the fuzz runs start from the same seeds everywhere.
#include "pcxwrite.h"
#include "testfiles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes with(Bytes head, const Bytes& data, bool palette = true)
{
    head.insert(head.end(), data.begin(), data.end());
    if (palette) {
        Bytes pal = rampPalette();
        head.insert(head.end(), pal.begin(), pal.end());
    }
    return head;
}

// A header of another kind: bits per pixel, planes, encoding and version set on head.
Bytes kind(Bytes head, int bits, int planes, int encoding = 1, int version = 5)
{
    head[1] = uint8_t(version);
    head[2] = uint8_t(encoding);
    head[3] = uint8_t(bits);
    head[65] = uint8_t(planes);
    return head;
}

PcxImage picture(int w, int h)
{
    PcxImage img;
    img.width = w;
    img.height = h;
    for (int i = 0; i < w * h; i++)
        img.indexes.push_back(uint8_t((i * 7 / 3) % 256));
    img.palette = rampPalette();
    return img;
}

void put(const std::string& path, const Bytes& bytes)
{
    if (!writefile(path, bytes)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string pcx = argc > 1 ? argv[1] : "fuzz_pcx";
    std::string fnt = argc > 2 ? argv[2] : "fuzz_font";

    // One pixel: header, data byte 5, palette.
    put(pcx + "/one-pixel.pcx", with(pcxheader(0, 0, 0, 0, 1), {0x05}));
    // A 10x5 window that does not start at 0, one run per row and runs across rows.
    put(pcx + "/window.pcx", with(pcxheader(10, 0, 19, 4, 10), {0xCA, 1, 0xCA, 2, 0xFF, 3, 0xC0, 9, 0xCD, 4}));
    // Odd width written by the PCX writer: rows padded to an even BytesPerLine.
    put(pcx + "/padded-odd-width.pcx", encodepcx(picture(7, 5)));
    // A real-sized picture cut in the middle of its data: the palette is then part of the data.
    Bytes whole = encodepcx(picture(64, 40));
    put(pcx + "/truncated.pcx", Bytes(whole.begin(), whole.begin() + long(whole.size() * 2 / 3)));
    // A run that goes on past the last pixel.
    put(pcx + "/run-past-end.pcx", with(pcxheader(0, 0, 1, 1, 2), {0xFF, 0x07}));
    // Data that end on a run code whose value byte is missing.
    put(pcx + "/run-code-at-end.pcx", with(pcxheader(0, 0, 3, 3, 4), {0x01, 0x02, 0xC0}));
    // A header that asks for 4096x4096 pixels, with almost no data behind it.
    put(pcx + "/huge-header.pcx", with(pcxheader(0, 0, 4095, 4095, 4096), {0xC1, 0x00}));
    // Xmax below Xmin: no width at all.
    put(pcx + "/negative-width.pcx", with(pcxheader(5, 0, 2, 3, 0), {0x01, 0x02}));
    // Just a header, shorter than header and palette together.
    put(pcx + "/header-only.pcx", pcxheader(0, 0, 9, 9, 10));

    // One file of each other kind, as the unit tests build them; none has a palette at the end. 24-bit
    // 3 x 2 with padded planes and runs that carry over planes and rows; with an alpha plane; monochrome;
    // 1 bit x 2 and x 3 planes; 16-colour with its header palette and, as version 3, without; 2 and 4
    // bits packed; not run-length coded, 8-bit (with its palette) and 24-bit; and planes padded to the
    // largest BytesPerLine.
    put(pcx + "/24-bit.pcx", with(kind(pcxheader(0, 0, 2, 1, 4), 8, 3),
                                  {10, 20, 30, 0x99, 40, 50, 60, 0x99, 0xC1, 0xF0, 80, 0xC3, 90, 0xC4, 0x11,
                                   0x22, 0x33, 0x99, 0xC4, 0x44}, false));
    put(pcx + "/32-bit-alpha.pcx", with(kind(pcxheader(0, 0, 1, 0, 2), 8, 4), {1, 2, 3, 4, 5, 6, 0xC2, 0x80}, false));
    put(pcx + "/monochrome.pcx", with(kind(pcxheader(0, 0, 9, 1, 2), 1, 1), {0xB0, 0x40, 0xC1, 0xFF, 0xC1, 0xC0}, false));
    put(pcx + "/2-planes.pcx", with(kind(pcxheader(0, 0, 3, 0, 2), 1, 2), {0x50, 0, 0x30, 0}, false));
    put(pcx + "/3-planes.pcx", with(kind(pcxheader(0, 0, 7, 0, 2), 1, 3), {0xAA, 0, 0xC1, 0xCC, 0, 0xC1, 0xF0, 0}, false));
    const Bytes sixteen = {0x55, 0x55, 0x33, 0x33, 0x0F, 0x0F, 0x00, 0xC1, 0xFF};
    put(pcx + "/16-colour.pcx", with(kind(pcxheader(0, 0, 15, 0, 2), 1, 4), sixteen, false));
    put(pcx + "/16-colour-version-3.pcx", with(kind(pcxheader(0, 0, 15, 0, 2), 1, 4, 1, 3), sixteen, false));
    put(pcx + "/2-bit.pcx", with(kind(pcxheader(0, 0, 4, 0, 2), 2, 1), {0x1B, 0x40}, false));
    put(pcx + "/4-bit.pcx", with(kind(pcxheader(0, 0, 2, 0, 2), 4, 1), {0xA3, 0xC1, 0xF0}, false));
    put(pcx + "/uncoded-8-bit.pcx", with(kind(pcxheader(0, 0, 2, 0, 3), 8, 1, 0), {0xC3, 0x07, 0xFF}));
    put(pcx + "/uncoded-24-bit.pcx", with(kind(pcxheader(0, 0, 0, 0, 1), 8, 3, 0), {0xC1, 0xC2, 0xC3}, false));
    put(pcx + "/widest-planes.pcx", with(kind(pcxheader(0, 0, 7, 1, 65535), 1, 4), {0x55, 0xFF, 0x00, 0x33}, false));

    // The tests' font: 64 slots, height 5.
    put(fnt + "/testfont.pcx", encodepcx(testFont()));
    // A font of one row: markers but no glyph rows.
    PcxImage flat = testFont();
    flat.height = 1;
    flat.indexes.resize(size_t(flat.width));
    put(fnt + "/one-row.pcx", encodepcx(flat));
    // Only the first ten slots marked; the rest are undefined.
    PcxImage few = testFont();
    for (int c = 40; c < few.width; c++)
        if (few.indexes[size_t(c)] == 2)
            few.indexes[size_t(c)] = 0;
    put(fnt + "/few-markers.pcx", encodepcx(few));
    // Taller than the screen: 500 rows, so text lines start above the frame.
    PcxImage tall;
    tall.width = 12;
    tall.height = 500;
    tall.indexes.assign(size_t(12 * 500), 1);
    for (int c = 0; c < 12; c++)
        tall.indexes[size_t(c)] = c % 4 == 3 ? 2 : 0;
    tall.palette = rampPalette();
    put(fnt + "/taller-than-screen.pcx", encodepcx(tall));
    // Every slot filled, so that text read from the later slots draws.
    put(fnt + "/full.pcx", encodepcx(fullFont()));
    return 0;
}
