// Fuzzes the ASS/SSA importer: any bytes as a subtitle file, read for the style with the most karaoke
// lines or for a named one, and made into a script (with or without --fill, fitted to a font of all 185
// slots). Neither may crash or hang; when the file is read, the script must pass the checker without an
// error, and without a warning other than for characters the font has no glyph for: no line too wide,
// no odd "%", no time that goes back.
#include "ass.h"
#include "font.h"
#include "fuzzimport.h"
#include "lyrics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    report r("song.ass", fuzzquiet());
    // The last byte picks the options, so that the song's own first line stays as written.
    unsigned pick = size ? data[size - 1] : 0;
    readoptions o;
    o.style = pick & 1 ? "Kanji" : "";
    songread u = readass(bytes, "song.ass", o);
    if (!u.error.empty())
        return 0;
    checkimport("fuzz_ass", u.s, pick & 4, pick & 2 ? 250 : 0, r);
    return 0;
}
