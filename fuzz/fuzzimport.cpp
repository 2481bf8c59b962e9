// The importers' fuzz targets' shared check.
#include "fuzzimport.h"
#include "check.h"
#include "fuzzfiles.h"

#include <cstdlib>
#include <sstream>

FILE* fuzzquiet()
{
    static FILE* quiet = nullptr;
    if (!quiet) {
        quiet = fopen("/dev/null", "w");
        if (!quiet)
            abort();
        fuzzstage();
    }
    return quiet;
}

void fuzzfail(const char* target, const char* why, const std::string& script, const std::string& check)
{
    fprintf(stderr, "%s: %s; the script:\n%s\nthe check:\n%s\n", target, why, script.c_str(), check.c_str());
    abort();
}

void checkimport(const char* target, const song& s, bool fill, long long offset, report& r)
{
    if (s.lines.empty())
        fuzzfail(target, "no lines, yet no error");
    scriptoptions o;
    o.output = "script.txt";
    o.fill = fill;
    o.offset = offset;
    scriptfont made;
    std::string script = makescript(s, o, "fuzz", r, &made);
    std::string path = fuzzfile("script.txt", reinterpret_cast<const uint8_t*>(script.data()), script.size());
    std::ostringstream out;
    int status = checkscript(path, "font.pcx", out);
    std::istringstream lines(out.str());
    std::string line;
    while (std::getline(lines, line))
        if (line.find(": error: ") != std::string::npos ||
            (line.find(": warning: ") != std::string::npos && line.find("the font has no glyph for") == std::string::npos))
            fuzzfail(target, "the checker finds a problem in the script", script, out.str());
    if (status != 0)
        fuzzfail(target, "the checker fails the script", script, out.str());
}
