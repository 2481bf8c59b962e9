// The proportional bitmap font: up to 185 glyphs cut from one PCX image with a marker row, song text
// read as UTF-8 (or Latin-1), measured, centred and drawn into the frame buffer, with words between
// "%" marks in the highlight colour.
#ifndef TRALUNE_FONT_H
#define TRALUNE_FONT_H

#include "tralune.h"

// Font image layout: row 0 is the marker row, rows 1 to height - 1 hold the glyphs side by side in slot
// order. Pixel (0, 0) gives the key colour, which is the cells' background and is transparent. In row 0
// every pixel of another colour is a marker that ends the current slot; a slot's width is the number of
// key-colour pixels since the previous marker. Slot 0 starts at column 0, every later slot at the
// column of the marker that ended the slot before it. Markers after the 185th are ignored.
//
// Slot order (a file format people draw by hand, so it never changes; a font may stop after any slot):
//   0-25  A-Z          26-51  a-z          52-61  0-9          62  !          63  ?
//   64-90   the other printable ASCII signs in ASCII order, without "%" (the highlight mark) and "(" ")"
//           (which cannot stand in a script argument): " # $ & ' * + , - . / : ; < = > @ [ \ ] ^ _ ` { | } ~
//   91-184  the Latin-1 characters U+00A1 to U+00FF in code order, without U+00AD (soft hyphen)
// Fonts made with the first 64 slots only draw as they always did: the later slots have no glyph.
class font {
public:
    // Glyph slots a font image may define.
    static const int SLOTS = 185;
    // Of those, the slots every font has had from the start: letters, digits, "!" and "?".
    static const int BASIC_SLOTS = 64;

    // The one font, created empty (no glyphs) on the first call and never deleted.
    static font* instance();

    // Loads the font image and builds the glyph tables. 0 on success. 1 when the image cannot be
    // decoded: the font is then empty (height 0, every width 0) and draws nothing. Slots that the
    // marker row leaves undefined have width 0.
    int loadfont(const char* path);
    // Draws text with the top-left corner of its glyph cells at (x, y); the cells' row 0 is never drawn.
    // The text is read with nextchar. x == -1 centres the line across the screen. A space is as wide as
    // slot 0; "%" toggles the highlight; typographic marks draw as their plain look-alikes (see
    // textwidth); characters without a glyph are skipped whole. 1, with nothing drawn, when textwidth
    // is 640 or more; else 0. Pixels whose index falls outside the frame are skipped.
    int write(const char* text, int x, int y);
    // Reads one character of song text at p and moves p past it: a well-formed UTF-8 sequence (no
    // overlong forms, no surrogates, nothing above U+10FFFF) is one character; a byte that starts none
    // is one Latin-1 character (its own value). Returns the code point; at the terminator returns 0
    // and leaves p where it is. Never reads past the terminator.
    static int nextchar(const char*& p);
    // The slot of a code point per the slot table, -1 when it has none (look-alikes are not slots).
    int charindex(int ch);
    // The code point that slot holds, per the slot table; -1 for a number outside 0 to SLOTS - 1. The
    // font maker draws its slots from this.
    static int slotchar(int slot);
    // Width in columns of text exactly as write measures it: spaces as wide as slot 0, "%" nothing,
    // the typographic marks as their plain forms (' for U+2018 and U+2019, " for U+201C and U+201D,
    // - for U+2013 and U+2014, three "." for U+2026), characters without a glyph nothing.
    long long textwidth(const char* text);
    // true when the character is drawn with ink: a space, or a character whose slot (its plain
    // look-alike's, for a typographic mark) has width > 0 in the loaded font. false for characters
    // that write skips, so that a checker can name the characters that will vanish.
    bool hasglyph(int ch);
    // Draws one glyph's ink at (x, y), in HLCOL when highlighted. Always 0.
    int drawchar(int slot, int x, int y, bool highlight);
    // The plain character a typographic mark draws as, and how many of it (times); any other
    // character is its own plain form, once.
    static int lookalike(int ch, int& times);

    int32_t height = 0;
    pixel keycolour = 0;
    MEM_Sprite image = {0, 0, nullptr};
    int32_t widths[SLOTS] = {};
    int32_t offsets[SLOTS] = {};

private:
    static font* the;
};

#endif
