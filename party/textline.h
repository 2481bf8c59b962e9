// A line of text typed on the big screen (the search, a singer's name): UTF-8, edited at its end.
#ifndef TRALUNE_TEXTLINE_H
#define TRALUNE_TEXTLINE_H

#include <string>

class textline {
public:
    // At most limit characters (code points); typing more is ignored.
    explicit textline(size_t limit = 60) : most(limit) {}

    // Adds the character with code point ch at the end, as UTF-8. false, changing nothing, for a
    // control character (below 32, 127 to 159), a surrogate, a value above U+10FFFF, or a full line.
    bool type(int ch);
    // Removes the last character (all its bytes). false when the line is empty.
    bool backspace();
    // Empties the line. false when it was empty already.
    bool clear();
    // Replaces the line with text (cut to the limit, at a character's end). For a name offered again.
    void set(const std::string& text);
    // The line as UTF-8.
    const std::string& text() const { return value; }
    bool empty() const { return value.empty(); }
    // Its length in characters.
    size_t length() const;

private:
    std::string value;
    size_t most;
};

// The text with spaces at both ends removed and runs of spaces inside made one.
std::string tidyspaces(const std::string& text);

#endif
