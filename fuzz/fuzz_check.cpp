// Fuzzes the script checker: any bytes as a script, checked against a font with glyphs in every slot
// and a picture beside it. The checker must neither crash nor hang, every line of its report must have
// the "script.txt:LINE: error|warning: " form with line numbers that never go back, the summary must
// come last, and the result must be 1 exactly when an error was reported.
#include "check.h"
#include "font.h"
#include "fuzzfiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

void fail(const char* why, const std::string& report)
{
    fprintf(stderr, "fuzz_check: %s; the report:\n%s\n", why, report.c_str());
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::string font = fuzzstage();
    std::string path = fuzzfile("script.txt", data, size);
    std::ostringstream out;
    int status = checkscript(path, font, out);
    std::string report = out.str();
    std::istringstream lines(report);
    std::string line, prefix = path + ":";
    long lastline = 0;
    bool errors = false, summary = false;
    while (std::getline(lines, line)) {
        if (summary)
            fail("a line follows the summary", report);
        if (line.compare(0, prefix.size(), prefix) != 0)
            fail("a line does not start with the script's name", report);
        const char* p = line.c_str() + prefix.size();
        if (*p == ' ') {
            summary = true;
            continue;
        }
        char* end;
        long n = strtol(p, &end, 10);
        if (end == p || n < lastline || (strncmp(end, ": error: ", 9) != 0 && strncmp(end, ": warning: ", 11) != 0))
            fail("a report line is not SCRIPT:LINE: error|warning: in line order", report);
        lastline = n;
        errors = errors || strncmp(end, ": error: ", 9) == 0;
    }
    if (!summary)
        fail("no summary line at the end", report);
    if (status != (errors ? 1 : 0))
        fail("the result does not say whether there was an error", report);
    return 0;
}
