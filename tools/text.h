// Text helpers of the companion programs: UTF-8 written out, the counterpart of the font's reading.
#ifndef TRALUNE_TEXT_H
#define TRALUNE_TEXT_H

#include <string>

// Appends code point ch as UTF-8 to out. Anything that is no Unicode scalar value (a surrogate, a
// negative number, above U+10FFFF) is appended as U+FFFD, the replacement character.
void appendutf8(std::string& out, int ch);

// "U+00E9": the code point in the form people look characters up by.
std::string codepointname(int ch);

#endif
