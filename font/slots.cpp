// The font's slot table: which character each glyph slot of a font image holds, and the reading of
// song text into those characters. Kept apart from the drawing so that the font maker and the
// companions read and lay out text with the player's own rules without the frame buffer.
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

int font::nextchar(const char*& p)
{
    const unsigned char* s = (const unsigned char*)p;
    int lead = s[0];
    if (lead == 0)
        return 0;
    // The continuation bytes a lead byte asks for, and the bits it contributes. 0xC0 and 0xC1 could
    // only begin overlong forms and 0xF5 to 0xFF only code points above U+10FFFF, so they begin none.
    int more, ch;
    if (lead >= 0xC2 && lead <= 0xDF)
        more = 1, ch = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        more = 2, ch = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        more = 3, ch = lead & 0x07;
    else
        more = 0, ch = lead;
    // The terminator is no continuation byte, so a sequence cut short by it stops the reading there.
    for (int i = 1; i <= more; i++) {
        if ((s[i] & 0xC0) != 0x80) {
            more = -1;
            break;
        }
        ch = ch << 6 | (s[i] & 0x3F);
    }
    static const int LEAST[] = {0, 0x80, 0x800, 0x10000};
    if (more < 0 || ch < LEAST[more] || (ch >= 0xD800 && ch <= 0xDFFF) || ch > 0x10FFFF) {
        // Not UTF-8: a script saved in Latin-1, or a broken sequence. The lead byte is its own character.
        p++;
        return lead;
    }
    p += more + 1;
    return ch;
}
