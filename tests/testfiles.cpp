// Scratch folders and small files for tests.
#include "testfiles.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

ScratchDir::ScratchDir()
{
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tralune-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder");
    dir = pattern;
}

ScratchDir::~ScratchDir()
{
    std::string cmd = "rm -rf '" + dir + "'";
    int ignored = system(cmd.c_str());
    (void)ignored;
}

std::string ScratchDir::write(const std::string& name, const std::string& text) const
{
    std::string p = *this / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

std::string readtext(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<uint8_t> rampPalette()
{
    std::vector<uint8_t> pal(768);
    for (int v = 0; v < 256; v++) {
        pal[3 * v] = uint8_t(v);
        pal[3 * v + 1] = uint8_t(255 - v);
        pal[3 * v + 2] = uint8_t(v / 2);
    }
    return pal;
}

PcxImage testFont()
{
    std::vector<int> widths;
    for (int s = 0; s < 64; s++)
        widths.push_back(s % 3 + 2);
    return fontImage(widths, 5);
}

PcxImage fontImage(const std::vector<int>& widths, int height)
{
    int width = 0;
    for (int w : widths)
        width += w + 1;
    PcxImage img;
    img.width = width;
    img.height = height;
    img.indexes.assign(size_t(width) * height, 0);
    img.palette.assign(768, 0);
    img.palette[3] = img.palette[4] = img.palette[5] = 255; // entry 1: white
    img.palette[6] = 255;                                   // entry 2: red, the markers
    int marker = -1;
    for (size_t s = 0; s < widths.size(); s++) {
        // Slot s starts at the previous marker's column (column 0 for slot 0).
        int start = s == 0 ? 0 : marker;
        for (int r = 1; r < height; r++)
            for (int c = 0; c + 1 < widths[s]; c++)
                img.indexes[size_t(r) * width + start + c] = 1;
        marker = (s == 0 ? 0 : marker + 1) + widths[s];
        img.indexes[size_t(marker)] = 2;
    }
    return img;
}

PcxImage fullFont()
{
    std::vector<int> widths;
    for (int s = 0; s < 185; s++)
        widths.push_back(s % 3 + 2);
    PcxImage img = fontImage(widths, 9);
    // Each marker ends the cell that began at the previous one.
    for (int c = 0, start = 0, s = 0; c < img.width; c++) {
        if (img.indexes[size_t(c)] != 2)
            continue;
        for (int r = 1; r < 9; r++)
            if (!((s + 1) >> (r - 1) & 1))
                std::fill_n(img.indexes.begin() + long(r) * img.width + start, c - start, 0);
        start = c;
        s++;
    }
    return img;
}
