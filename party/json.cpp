// JSON for the phone page's interface: the writer and the bounded reader.
#include "json.h"

#include "font.h"
#include "text.h"

#include <cstdio>

namespace {

void appendescaped(std::string& out, std::string_view text)
{
    out += '"';
    // nextchar wants a terminated string; a NUL inside the text is written as \u0000 on the way.
    std::string copy(text);
    const char* p = copy.c_str();
    const char* end = p + copy.size();
    while (p < end) {
        int ch;
        if (*p == 0) {
            ch = 0;
            p++;
        } else {
            ch = font::nextchar(p);
        }
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (ch < 0x20 || ch == '<' || ch == '>' || ch == '&' || ch == 0x7F || ch == 0x2028 || ch == 0x2029) {
                char buf[8];
                snprintf(buf, sizeof buf, "\\u%04x", unsigned(ch));
                out += buf;
            } else {
                appendutf8(out, ch);
            }
        }
    }
    out += '"';
}

// The reader's only view of the input: a read at the end yields 0, which no valid JSON text holds
// where the reader looks for a character, so it is refused there.
struct cursor {
    std::string_view text;
    size_t at = 0;
    char peek() const { return at < text.size() ? text[at] : 0; }
    bool atend() const { return at >= text.size(); }
    char take()
    {
        char c = peek();
        if (!atend())
            at++;
        return c;
    }
    void skipspace()
    {
        while (!atend() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
            at++;
    }
    bool literal(std::string_view word)
    {
        if (text.substr(at, word.size()) != word)
            return false;
        at += word.size();
        return true;
    }
};

int hexdigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool readhex4(cursor& in, int& value)
{
    value = 0;
    for (int i = 0; i < 4; i++) {
        int d = hexdigit(in.take());
        if (d < 0)
            return false;
        value = value * 16 + d;
    }
    return true;
}

bool readstring(cursor& in, std::string& out, std::string& why)
{
    if (in.take() != '"') {
        why = "a quoted text was expected";
        return false;
    }
    out.clear();
    for (;;) {
        if (in.atend()) {
            why = "a text is not closed";
            return false;
        }
        char c = in.take();
        if (c == '"')
            break;
        if ((unsigned char)c < 0x20) {
            why = "a text holds a control character";
            return false;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        char e = in.take();
        switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            int ch;
            if (!readhex4(in, ch)) {
                why = "a \\u escape needs four hex digits";
                return false;
            }
            if (ch >= 0xDC00 && ch <= 0xDFFF) {
                why = "a text holds a lone surrogate";
                return false;
            }
            if (ch >= 0xD800 && ch <= 0xDBFF) {
                int low;
                if (!in.literal("\\u") || !readhex4(in, low) || low < 0xDC00 || low > 0xDFFF) {
                    why = "a text holds a lone surrogate";
                    return false;
                }
                ch = 0x10000 + ((ch - 0xD800) << 10) + (low - 0xDC00);
            }
            if (ch == 0) {
                why = "a text holds a control character";
                return false;
            }
            appendutf8(out, ch);
            break;
        }
        default:
            why = "a text holds an unknown escape";
            return false;
        }
    }
    if (!isutf8(out)) {
        why = "a text is not UTF-8";
        return false;
    }
    return true;
}

bool readnumber(cursor& in, long long& out, std::string& why)
{
    bool negative = false;
    if (in.peek() == '-') {
        negative = true;
        in.take();
    }
    char first = in.peek();
    if (first < '0' || first > '9') {
        why = "a value is not understood";
        return false;
    }
    long long n = 0;
    int digits = 0;
    while (in.peek() >= '0' && in.peek() <= '9') {
        n = n * 10 + (in.take() - '0');
        // The bound is checked on every digit, so n never nears the end of its range.
        if (n > JSON_MAX_NUMBER) {
            why = "a number is too large";
            return false;
        }
        digits++;
    }
    if (first == '0' && digits > 1) {
        why = "a number has a leading zero";
        return false;
    }
    if (in.peek() == '.' || in.peek() == 'e' || in.peek() == 'E') {
        why = "a number must be whole";
        return false;
    }
    out = negative ? -n : n;
    return true;
}

bool readvalue(cursor& in, jsonvalue& v, std::string& why)
{
    char c = in.peek();
    if (c == '"') {
        v.kind = jsonvalue::STRING;
        return readstring(in, v.text, why);
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
        v.kind = jsonvalue::NUMBER;
        return readnumber(in, v.number, why);
    }
    if (in.literal("true")) {
        v.kind = jsonvalue::BOOLEAN;
        v.truth = true;
        return true;
    }
    if (in.literal("false")) {
        v.kind = jsonvalue::BOOLEAN;
        return true;
    }
    if (in.literal("null")) {
        v.kind = jsonvalue::NUL;
        return true;
    }
    why = (c == '{' || c == '[') ? "a value may not be an object or a list" : "a value is not understood";
    return false;
}

bool readmembers(cursor& in, jsonobject& out, std::string& why)
{
    in.skipspace();
    if (in.take() != '{') {
        why = "the request must be a JSON object";
        return false;
    }
    in.skipspace();
    if (in.peek() == '}') {
        in.take();
        return true;
    }
    for (;;) {
        if (out.members.size() == JSON_MAX_MEMBERS) {
            why = "the request has too many fields";
            return false;
        }
        in.skipspace();
        std::string name;
        if (!readstring(in, name, why))
            return false;
        if (name.size() > JSON_MAX_KEY) {
            why = "a field name is too long";
            return false;
        }
        if (out.find(name)) {
            why = "a field is given twice";
            return false;
        }
        in.skipspace();
        if (in.take() != ':') {
            why = "a ':' is missing after a field name";
            return false;
        }
        in.skipspace();
        jsonvalue v;
        if (!readvalue(in, v, why))
            return false;
        out.members.emplace_back(std::move(name), std::move(v));
        in.skipspace();
        char c = in.take();
        if (c == '}')
            return true;
        if (c != ',') {
            why = "a ',' or '}' is missing";
            return false;
        }
    }
}

} // namespace

void jsonwriter::comma()
{
    if (afterkey) {
        afterkey = false;
        return;
    }
    if (!empty.empty()) {
        if (!empty.back())
            out += ',';
        empty.back() = false;
    }
}

jsonwriter& jsonwriter::beginobject()
{
    comma();
    out += '{';
    empty.push_back(true);
    return *this;
}

jsonwriter& jsonwriter::endobject()
{
    out += '}';
    if (!empty.empty())
        empty.pop_back();
    return *this;
}

jsonwriter& jsonwriter::beginarray()
{
    comma();
    out += '[';
    empty.push_back(true);
    return *this;
}

jsonwriter& jsonwriter::endarray()
{
    out += ']';
    if (!empty.empty())
        empty.pop_back();
    return *this;
}

jsonwriter& jsonwriter::key(std::string_view name)
{
    comma();
    appendescaped(out, name);
    out += ':';
    afterkey = true;
    return *this;
}

jsonwriter& jsonwriter::value(std::string_view text)
{
    comma();
    appendescaped(out, text);
    return *this;
}

jsonwriter& jsonwriter::value(long long number)
{
    comma();
    out += std::to_string(number);
    return *this;
}

jsonwriter& jsonwriter::value(bool truth)
{
    comma();
    out += truth ? "true" : "false";
    return *this;
}

jsonwriter& jsonwriter::null()
{
    comma();
    out += "null";
    return *this;
}

std::string jsonstring(std::string_view text)
{
    std::string out;
    appendescaped(out, text);
    return out;
}

const jsonvalue* jsonobject::find(std::string_view name) const
{
    for (const auto& m : members)
        if (m.first == name)
            return &m.second;
    return nullptr;
}

bool readjsonobject(std::string_view text, jsonobject& out, std::string& why)
{
    out.members.clear();
    if (text.size() > JSON_MAX_TEXT) {
        why = "the request is too large";
        return false;
    }
    cursor in{text};
    bool ok = readmembers(in, out, why);
    if (ok) {
        in.skipspace();
        if (!in.atend()) {
            why = "something follows the JSON object";
            ok = false;
        }
    }
    if (!ok)
        out.members.clear();
    return ok;
}
