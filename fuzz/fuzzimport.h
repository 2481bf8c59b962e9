// What the song importers' fuzz targets share: a song read from the input is made into a script as the
// importers make it, and that script must pass the checker.
#ifndef TRALUNE_FUZZIMPORT_H
#define TRALUNE_FUZZIMPORT_H

#include "lyrics.h"

#include <cstdio>
#include <string>

// Where the importer's own warnings go: nowhere, since they are not what is checked and would fill the
// log. The first call also stages the scratch folder (fuzzstage), where the script writer looks for
// font.pcx beside the script and the checker in the current folder.
FILE* fuzzquiet();

// Ends the run the way the fuzzer reports (abort), after target's name, why, and the script and the
// checker's report where there are any.
[[noreturn]] void fuzzfail(const char* target, const char* why, const std::string& script = "",
                           const std::string& check = "");

// Makes s into script.txt in the scratch folder (fitted to the staged font, with --fill or not, moved by
// offset ms) and
// checks it: fuzzfail unless the checker passes it without an error and without a warning other than
// for characters the font has no glyph for (no line too wide, no odd "%", no time that goes back).
void checkimport(const char* target, const song& s, bool fill, long long offset, report& r);

#endif
