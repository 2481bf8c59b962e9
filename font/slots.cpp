// The font's slot table: which character each glyph slot of a font image holds. Kept apart from the
// drawing so that the font maker lays out its images from the same table without the frame buffer.
#include "font.h"

#include <cstring>

namespace {

// Slots 64 to 90: the printable ASCII signs the first 64 slots leave out, in ASCII order, less "%"
// (the highlight mark) and "(" ")" (a script argument ends at the first ")").
const char SIGNS[] = "\"#$&'*+,-./:;<=>@[\\]^_`{|}~";
const int FIRST_SIGN = font::BASIC_SLOTS;
// Slots 91 to 184: U+00A1 to U+00FF less the soft hyphen, which marks where a word may break and is
// not drawn.
const int FIRST_LATIN1 = FIRST_SIGN + int(sizeof SIGNS) - 1;
const int SOFT_HYPHEN = 0xAD;

static_assert(FIRST_LATIN1 == 91, "27 ASCII signs");
static_assert(FIRST_LATIN1 + (0xFF - 0xA1 + 1) - 1 == font::SLOTS, "94 Latin-1 slots");

} // namespace

int font::slotchar(int slot)
{
    if (slot < 0 || slot >= SLOTS)
        return -1;
    if (slot < 26)
        return 'A' + slot;
    if (slot < 52)
        return 'a' + slot - 26;
    if (slot < 62)
        return '0' + slot - 52;
    if (slot == 62)
        return '!';
    if (slot == 63)
        return '?';
    if (slot < FIRST_LATIN1)
        return (unsigned char)SIGNS[slot - FIRST_SIGN];
    int ch = 0xA1 + slot - FIRST_LATIN1;
    return ch < SOFT_HYPHEN ? ch : ch + 1;
}

int font::charindex(int ch)
{
    if (ch >= 'A' && ch <= 'Z')
        return ch - 'A';
    if (ch >= 'a' && ch <= 'z')
        return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9')
        return ch - '0' + 52;
    if (ch == '!')
        return 62;
    if (ch == '?')
        return 63;
    // strchr would find the terminator for 0.
    if (ch > 0 && ch < 0x80) {
        const char* at = strchr(SIGNS, ch);
        return at ? FIRST_SIGN + int(at - SIGNS) : -1;
    }
    if (ch >= 0xA1 && ch <= 0xFF && ch != SOFT_HYPHEN)
        return FIRST_LATIN1 + ch - 0xA1 - (ch > SOFT_HYPHEN);
    return -1;
}
