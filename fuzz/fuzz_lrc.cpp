// Fuzzes tralune-lrc's reading and script writing: any bytes as an LRC file, read as the program reads
// it (byte-order marks, UTF-16, Latin-1), made into a script measured with a font of every slot. The
// script must pass tralune-check without an error and with its at() times never going back.
#include "check.h"
#include "font.h"
#include "fuzzfiles.h"
#include "lrc.h"
#include "text.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

FILE* quiet;
std::string fontpath;

void setup()
{
    quiet = fopen("/dev/null", "w");
    if (!quiet)
        abort();
    fontpath = fuzzstage();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (setup(), true);
    (void)ready;
    report r("fuzz.lrc", quiet);
    songread s = readlrc(std::string((const char*)data, size), "fuzz.lrc");
    scriptoptions o;
    o.font = fontpath;
    o.fill = size % 2;
    o.output = fontpath.substr(0, fontpath.rfind('/')) + "/script.txt";
    if (!s.error.empty())
        return 0;
    scriptfont made;
    std::string script = makescript(s.s, o, "fuzz", r, &made);
    std::string path = fuzzfile("script.txt", (const uint8_t*)script.data(), script.size());
    std::ostringstream report;
    if (checkscript(path, fontpath, report) != 0 || report.str().find(" is earlier than ") != std::string::npos) {
        fprintf(stderr, "fuzz_lrc: the script does not check clean:\n%s\n--- the script:\n%s\n", report.str().c_str(),
                script.c_str());
        abort();
    }
    return 0;
}
