// Fuzzes the MIDI karaoke importer: any bytes as a MIDI file, read with or without an offset and made into
// a script (with or without --fill, fitted to a font of all 185 slots). Neither may crash or hang; when
// the file is read, it has a line to sing and a MIDI file for the synthesizer, and its script must pass
// the checker without an error, and without a warning other than for characters the font has no glyph
// for: no line too wide, no odd "%", no time that goes back.
#include "fuzzimport.h"
#include "kar.h"
#include "lyrics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    report r("song.kar", fuzzquiet());
    // The last byte picks the options; a MIDI file's last bytes are its end of track, which it keeps.
    unsigned pick = size ? data[size - 1] : 0;
    songread m = readkar(bytes, "song.kar");
    if (!m.error.empty())
        return 0;
    if (!m.s.lines.empty() && m.smf.compare(0, 4, "MThd") != 0)
        fuzzfail("fuzz_kar", "no MIDI file for the synthesizer, yet no error");
    checkimport("fuzz_kar", m.s, pick & 0x20, pick & 0x10 ? 250 : 0, r);
    return 0;
}
