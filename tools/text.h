// Text helpers of the companion programs: song text read from files in the encodings people save them
// in, and written out as UTF-8, the player's own reading (font::nextchar) taken as the one truth.
#ifndef TRALUNE_TEXT_H
#define TRALUNE_TEXT_H

#include <string>
#include <vector>

// Appends code point ch as UTF-8 to out. Anything that is no Unicode scalar value (a surrogate, a
// negative number, above U+10FFFF) is appended as U+FFFD, the replacement character.
void appendutf8(std::string& out, int ch);

// "U+00E9": the code point in the form people look characters up by.
std::string codepointname(int ch);

// Whether bytes are well-formed UTF-8 throughout, as the player reads text (NUL bytes included).
bool isutf8(const std::string& bytes);

// The encodings song files come in.
enum class encoding { UTF8, UTF8BOM, UTF16LE, UTF16BE, LATIN1, CP1252 };

// Reads a whole file's bytes as text and returns it as UTF-8: a byte-order mark first (UTF-8, UTF-16
// little- or big-endian; the mark itself is dropped), else the bytes as they are when they are UTF-8,
// else through fallback (LATIN1 or CP1252). *used says which reading was taken. Never fails: a UTF-16
// text cut in the middle of a character, or with a lone surrogate, gets U+FFFD there.
std::string decodetext(const std::string& bytes, encoding fallback, encoding* used);

// Bytes in Latin-1 or Windows-1252 as UTF-8. Windows-1252 differs from Latin-1 in 0x80 to 0x9F, where
// it has the typographic quotes, dashes and the ellipsis; its five unassigned bytes read as Latin-1.
std::string toutf8(const std::string& bytes, encoding from);

// Splits text into its lines at LF, CRLF or CR; the line ends are dropped. A last line without an end
// is a line; an end at the very end starts none.
std::vector<std::string> splitlines(const std::string& text);

#endif
