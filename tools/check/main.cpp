// tralune-check: lists every problem of a tralune script at once, before the song starts.
#include "check.h"
#include "cli.h"

#include <cstdio>
#include <iostream>

namespace {

const char PROGRAM[] = "tralune-check";

void usage()
{
    printf("usage: %s [--font FONT] [SCRIPT]\n"
           "Checks a tralune script and lists every problem in it, one line each, as tralune would meet\n"
           "it: errors where tralune would stop, warnings where it would play on but not as meant.\n"
           "Pictures, the font and the song gnusong.mp3 are looked up in the current folder, as tralune\n"
           "does.\n"
           "  SCRIPT        the script to check; default script.txt\n"
           "  --font FONT   the font image to measure text with; default font.pcx\n"
           "  --help        show this and exit\n"
           "Exit status: 0 when there is no error, 1 when there is one.\n",
           PROGRAM);
}

} // namespace

int main(int argc, char** argv)
{
    std::string script, font = "font.pcx";
    cmdline cl(PROGRAM, argc, argv);
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            usage();
            return 0;
        } else if (cl.option("--font", font)) {
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!script.empty()) {
            cl.fail("only one script, please: " + quoted(script) + " and " + quoted(cl.arg()) + " were given");
        } else if (cl.arg().empty()) {
            cl.fail("the script name is empty");
        } else {
            script = cl.arg();
        }
    }
    if (script.empty())
        script = "script.txt";
    return checkscript(script, font, std::cerr);
}
