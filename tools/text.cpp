// Text helpers of the companion programs.
#include "text.h"
#include "font.h"

#include <cstdio>

void appendutf8(std::string& out, int ch)
{
    if (ch < 0 || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF))
        ch = 0xFFFD;
    if (ch < 0x80) {
        out += char(ch);
    } else if (ch < 0x800) {
        out += char(0xC0 | ch >> 6);
        out += char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += char(0xE0 | ch >> 12);
        out += char(0x80 | (ch >> 6 & 0x3F));
        out += char(0x80 | (ch & 0x3F));
    } else {
        out += char(0xF0 | ch >> 18);
        out += char(0x80 | (ch >> 12 & 0x3F));
        out += char(0x80 | (ch >> 6 & 0x3F));
        out += char(0x80 | (ch & 0x3F));
    }
}

std::string codepointname(int ch)
{
    char name[16];
    snprintf(name, sizeof name, "U+%04X", unsigned(ch));
    return name;
}

bool isutf8(const std::string& bytes)
{
    // The player's reading takes a byte that starts no well-formed sequence as one Latin-1 character;
    // written out again, such a byte becomes two, so the text was UTF-8 exactly when nothing changed.
    const char* p = bytes.c_str();
    const char* end = p + bytes.size();
    std::string again;
    while (p < end) {
        if (*p == 0) {
            again += '\0';
            p++;
            continue;
        }
        appendutf8(again, font::nextchar(p));
        if (again.size() > size_t(p - bytes.c_str()))
            return false;
    }
    return again == bytes;
}

namespace {

// Windows-1252's characters for 0x80 to 0x9F; 0 where it has none.
const int CP1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string fromutf16(const std::string& bytes, size_t from, bool bigendian)
{
    std::string out;
    auto unit = [&](size_t i) {
        unsigned a = (unsigned char)bytes[i], b = (unsigned char)bytes[i + 1];
        return int(bigendian ? a << 8 | b : b << 8 | a);
    };
    size_t i = from;
    for (; i + 1 < bytes.size(); i += 2) {
        int u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            int low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendutf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        // A lone surrogate comes out as U+FFFD.
        appendutf8(out, u);
    }
    if (i < bytes.size())
        appendutf8(out, 0xFFFD);
    return out;
}

bool startswith(const std::string& bytes, const char* mark, size_t n)
{
    return bytes.size() >= n && bytes.compare(0, n, mark, n) == 0;
}

} // namespace

std::string toutf8(const std::string& bytes, encoding from)
{
    std::string out;
    for (unsigned char c : bytes) {
        int ch = c;
        if (from == encoding::CP1252 && c >= 0x80 && c < 0xA0 && CP1252[c - 0x80])
            ch = CP1252[c - 0x80];
        appendutf8(out, ch);
    }
    return out;
}

std::string decodetext(const std::string& bytes, encoding fallback, encoding* used)
{
    if (startswith(bytes, "\xEF\xBB\xBF", 3)) {
        *used = encoding::UTF8BOM;
        std::string rest = bytes.substr(3);
        // A mark does not make the rest well-formed: broken bytes still read as the fallback.
        return isutf8(rest) ? rest : toutf8(rest, fallback);
    }
    if (startswith(bytes, "\xFF\xFE", 2)) {
        *used = encoding::UTF16LE;
        return fromutf16(bytes, 2, false);
    }
    if (startswith(bytes, "\xFE\xFF", 2)) {
        *used = encoding::UTF16BE;
        return fromutf16(bytes, 2, true);
    }
    if (isutf8(bytes)) {
        *used = encoding::UTF8;
        return bytes;
    }
    *used = fallback;
    return toutf8(bytes, fallback);
}

std::vector<std::string> splitlines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                i++;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}
