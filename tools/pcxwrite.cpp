// The PCX writer.
#include "pcxwrite.h"

#include <cstdio>

static void put16(std::vector<uint8_t>& out, size_t at, int v)
{
    out[at] = uint8_t(v & 0xFF);
    out[at + 1] = uint8_t((v >> 8) & 0xFF);
}

std::vector<uint8_t> pcxheader(int xmin, int ymin, int xmax, int ymax, int bytesperline)
{
    std::vector<uint8_t> h(128, 0);
    h[0] = 10; // manufacturer
    h[1] = 5;  // version 3.0 with palette
    h[2] = 1;  // run-length coded
    h[3] = 8;  // bits per pixel
    put16(h, 4, xmin);
    put16(h, 6, ymin);
    put16(h, 8, xmax);
    put16(h, 10, ymax);
    put16(h, 12, 72);
    put16(h, 14, 72);
    h[65] = 1; // planes
    put16(h, 66, bytesperline);
    put16(h, 68, 1); // colour palette
    return h;
}

std::vector<uint8_t> encodepcx(const PcxImage& img)
{
    int bpl = img.width + (img.width & 1);
    std::vector<uint8_t> out = pcxheader(0, 0, img.width - 1, img.height - 1, bpl);
    std::vector<uint8_t> row(bpl, 0);
    for (int y = 0; y < img.height; y++) {
        std::copy(img.indexes.begin() + size_t(y) * img.width,
                  img.indexes.begin() + size_t(y + 1) * img.width, row.begin());
        for (int x = 0; x < bpl;) {
            int run = 1;
            while (x + run < bpl && run < 63 && row[x + run] == row[x])
                run++;
            if (run > 1 || row[x] >= 0xC0)
                out.push_back(uint8_t(0xC0 | run));
            out.push_back(row[x]);
            x += run;
        }
    }
    out.push_back(0x0C);
    std::vector<uint8_t> pal = img.palette;
    pal.resize(768, 0);
    out.insert(out.end(), pal.begin(), pal.end());
    return out;
}

bool writefile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    // An empty vector's data() may be null, which fwrite must not be given even for 0 bytes.
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}
