// A line of text typed on the big screen.
#include "textline.h"

#include "font.h"
#include "text.h"

bool textline::type(int ch)
{
    if (ch < 32 || (ch >= 127 && ch < 160) || (ch >= 0xD800 && ch <= 0xDFFF) || ch > 0x10FFFF)
        return false;
    if (length() >= most)
        return false;
    appendutf8(value, ch);
    return true;
}

bool textline::backspace()
{
    if (value.empty())
        return false;
    // Continuation bytes (10xxxxxx) belong to the character that began before them.
    size_t end = value.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        end--;
    value.erase(end);
    return true;
}

bool textline::clear()
{
    if (value.empty())
        return false;
    value.clear();
    return true;
}

void textline::set(const std::string& text)
{
    value.clear();
    // Read as the font reads it, so that a name stored in any bytes comes back as whole characters.
    for (const char* p = text.c_str(); *p;)
        if (!type(font::nextchar(p)) && length() >= most)
            break;
}

size_t textline::length() const
{
    size_t n = 0;
    for (unsigned char c : value)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::string tidyspaces(const std::string& text)
{
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ') {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}
