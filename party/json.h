// JSON for the phone page's interface: one writer that escapes every string it is given, and one
// bounded reader for the small flat objects phones send.
#ifndef TRALUNE_JSON_H
#define TRALUNE_JSON_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Builds one JSON text. Every string (keys included) goes through the same escaping: quotes,
// backslashes and control characters as JSON requires, and <, >, & and U+2028/U+2029 as \u escapes
// too, so that no text can close a script element or a line of a script wherever the answer is pasted.
// Bytes that are not UTF-8 (a Latin-1 file name) are read as the player reads song text: each such
// byte is the Latin-1 character of its value. The caller nests begin/end calls correctly; the writer
// puts the commas.
class jsonwriter {
public:
    jsonwriter& beginobject();
    jsonwriter& endobject();
    jsonwriter& beginarray();
    jsonwriter& endarray();
    // The name of the next member of the object being written.
    jsonwriter& key(std::string_view name);
    jsonwriter& value(std::string_view text);
    jsonwriter& value(const char* text) { return value(std::string_view(text)); }
    jsonwriter& value(long long number);
    jsonwriter& value(int number) { return value((long long)number); }
    jsonwriter& value(bool truth);
    jsonwriter& null();
    // The text written so far.
    const std::string& text() const { return out; }

private:
    void comma();
    std::string out;
    // One entry per open object or array: whether it has no member yet.
    std::vector<bool> empty;
    bool afterkey = false;
};

// text as a quoted, escaped JSON string, exactly as jsonwriter writes it.
std::string jsonstring(std::string_view text);

// One value of a member read by readjsonobject. Numbers are whole numbers only: the interface has no
// use for fractions, and a whole number compares exactly.
struct jsonvalue {
    enum kind_t { NUL, BOOLEAN, NUMBER, STRING } kind = NUL;
    bool truth = false;
    long long number = 0;
    std::string text;
};

// The members of one flat JSON object, in the order they came.
struct jsonobject {
    std::vector<std::pair<std::string, jsonvalue>> members;
    // The member called name, or nullptr.
    const jsonvalue* find(std::string_view name) const;
};

// The limits of readjsonobject; the request body itself is bounded before it gets here.
const size_t JSON_MAX_TEXT = 4096;
const size_t JSON_MAX_MEMBERS = 16;
const size_t JSON_MAX_KEY = 32;
const long long JSON_MAX_NUMBER = 1000000000000LL;

// Reads text as one JSON object whose members are strings, whole numbers, true, false or null, with
// white space around as JSON allows. Refused (false, with why saying what was wrong in a short
// phrase, and out left empty): a text over JSON_MAX_TEXT bytes, anything but an object at the top, a
// nested object or array, a fraction or exponent, a number beyond +-JSON_MAX_NUMBER, a string that is
// not well-formed UTF-8 or holds a control character or a lone surrogate, more than
// JSON_MAX_MEMBERS members, a key longer than JSON_MAX_KEY bytes, a key given twice, and anything
// after the object. Never reads past the end of text.
bool readjsonobject(std::string_view text, jsonobject& out, std::string& why);

#endif
