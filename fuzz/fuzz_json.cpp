// Fuzzes the phone interface's JSON reader on any bytes as a request body, and its writer on any bytes
// as a text: what the reader accepts, written back by the writer, reads again to the same members;
// any text the writer is given comes out as a JSON string the reader takes back.
#include "json.h"
#include "text.h"

#include <cstdlib>

namespace {

std::string rewrite(const jsonobject& o)
{
    jsonwriter w;
    w.beginobject();
    for (const auto& m : o.members) {
        w.key(m.first);
        switch (m.second.kind) {
        case jsonvalue::NUL: w.null(); break;
        case jsonvalue::BOOLEAN: w.value(m.second.truth); break;
        case jsonvalue::NUMBER: w.value(m.second.number); break;
        case jsonvalue::STRING: w.value(m.second.text); break;
        }
    }
    w.endobject();
    return w.text();
}

bool same(const jsonobject& a, const jsonobject& b)
{
    if (a.members.size() != b.members.size())
        return false;
    for (size_t i = 0; i < a.members.size(); i++) {
        const auto& x = a.members[i];
        const auto& y = b.members[i];
        if (x.first != y.first || x.second.kind != y.second.kind || x.second.truth != y.second.truth
            || x.second.number != y.second.number || x.second.text != y.second.text)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    jsonobject first, again;
    std::string why;
    if (readjsonobject(bytes, first, why)) {
        std::string written = rewrite(first);
        // The writer's escapes of <, > and & take six bytes for one, so a body near the limit may be
        // written longer than the reader takes; only what fits is read back.
        if (written.size() <= JSON_MAX_TEXT && (!readjsonobject(written, again, why) || !same(first, again)))
            abort();
    } else if (!first.members.empty() || why.empty()) {
        abort();
    }
    // The writer on the raw bytes: always a string the reader takes back, the same text where the bytes
    // were UTF-8 (a NUL is written as \u0000, which the reader refuses in a name, so such texts are
    // only written).
    if (size <= 600 && bytes.find('\0') == std::string::npos) {
        std::string object = "{\"t\":" + jsonstring(bytes) + "}";
        if (object.size() <= JSON_MAX_TEXT) {
            if (!readjsonobject(object, again, why) || again.members.size() != 1)
                abort();
            if (isutf8(bytes) && again.members[0].second.text != bytes)
                abort();
        }
    }
    return 0;
}
