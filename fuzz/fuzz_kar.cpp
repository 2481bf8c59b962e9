// Fuzzes the MIDI karaoke importer: any bytes as a MIDI file, read with or without an offset and made into
// a script (with or without --fill, fitted to a font of all 185 slots). Neither may crash or hang; when
// the file is read, it has a line to sing and a MIDI file for the synthesizer, and its script must pass
// the checker without an error, and without a warning other than for characters the font has no glyph
// for: no line too wide, no odd "%", no time that goes back.
#include "check.h"
#include "fuzzfiles.h"
#include "kar.h"
#include "lyrics.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

FILE* quiet;

void fail(const char* why, const std::string& script, const std::string& report)
{
    fprintf(stderr, "fuzz_kar: %s; the script:\n%s\nthe check:\n%s\n", why, script.c_str(), report.c_str());
    abort();
}

void setup()
{
    // The importer's own warnings are not what is checked here, and would fill the log.
    quiet = fopen("/dev/null", "w");
    if (!quiet)
        abort();
    // The writer looks for font.pcx beside the script, and the checker in the current folder.
    fuzzstage();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (setup(), true);
    (void)ready;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    report r("song.kar", quiet);
    // The last byte picks the options; a MIDI file's last bytes are its end of track, which it keeps.
    unsigned pick = size ? data[size - 1] : 0;
    midisong m = readkar(bytes, pick & 0x10 ? 250 : 0, r);
    if (!m.error.empty())
        return 0;
    if (m.s.lines.empty())
        fail("no lines, yet no error", "", "");
    if (m.smf.compare(0, 4, "MThd") != 0)
        fail("no MIDI file for the synthesizer, yet no error", "", "");
    scriptoptions o;
    o.output = "script.txt";
    o.fill = pick & 0x20;
    std::string script = makescript(m.s, o, "fuzz", r);
    std::string path = fuzzfile("script.txt", reinterpret_cast<const uint8_t*>(script.data()), script.size());
    std::ostringstream out;
    int status = checkscript(path, "font.pcx", out);
    std::istringstream lines(out.str());
    std::string line;
    while (std::getline(lines, line))
        if (line.find(": error: ") != std::string::npos ||
            (line.find(": warning: ") != std::string::npos && line.find("the font has no glyph for") == std::string::npos))
            fail("the checker finds a problem in the script", script, out.str());
    if (status != 0)
        fail("the checker fails the script", script, out.str());
    return 0;
}
