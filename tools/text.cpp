// Text helpers of the companion programs.
#include "text.h"

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
