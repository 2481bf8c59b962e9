// Fuzzes the UltraStar importer: any bytes as a song file, read for voice 1 or 2 and made into a script
// (with or without --fill, fitted to a font of all 185 slots). Neither may crash or hang; when the file
// is read, the script must pass the checker without an error, and without a warning other than for
// characters the font has no glyph for: no line too wide, no odd "%", no time that goes back.
#include "fuzzimport.h"
#include "lyrics.h"
#include "ultrastar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    report r("song.txt", fuzzquiet());
    // The last byte picks the options, so that the song's own first line stays as written.
    unsigned pick = size ? data[size - 1] : 0;
    readoptions o;
    o.voice = pick & 1 ? 2 : 1;
    songread u = readultrastar(bytes, "song.txt", o);
    if (!u.error.empty())
        return 0;
    checkimport("fuzz_ultrastar", u.s, pick & 4, pick & 2 ? 250 : 0, r);
    return 0;
}
