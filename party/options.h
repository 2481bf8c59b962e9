// tralune-party's command line: one table of options, read into one record.
#ifndef TRALUNE_PARTYOPTIONS_H
#define TRALUNE_PARTYOPTIONS_H

#include "displayfit.h"
#include "store.h"

#include <string>
#include <vector>

// Everything the command line sets, with its defaults.
struct partyoptions {
    std::vector<std::string> folders;   // FOLDER...: added to the library and remembered
    std::string data;                   // --data DIR: the folder of the database; "" for the XDG one
    int countdown = 5;                  // --countdown SECONDS: the up-next screen's time, 0 to 60
    nameorder order = nameorder::artisttitle;  // --name-order artist-title|title-artist
    bool ordergiven = false;            // --name-order was given (else the stored setting holds)
    displaymode mode = displaymode::fullscreen;  // --window or --mode-switch, as tralune takes them
    // The phone page.
    bool web = true;                    // --no-web: no page
    int port = 8080;                    // --port N
    std::string url;                    // --url URL: the page's address to show instead of the one found
    std::string pin;                    // --pin NNNN: the host's PIN; "" for four random digits
    int perguest = 3;                   // --per-guest N: songs one phone may have waiting
    int offset = 0;                     // --offset MS: the sync offset, -1000 to 1000
    bool offsetgiven = false;           // --offset was given (else the stored setting holds)
};

// One option: a row of the table. An option is added with one row here and a field above.
struct partyoption {
    const char* name;       // "--data"
    const char* value;      // what it takes, as the help shows it ("DIR"); nullptr for none
    const char* help;       // one line for --help
    // Stores the value (empty for an option that takes none) in o; "" when it is good, else why not
    // ("must be a whole number from 0 to 60").
    std::string (*take)(partyoptions& o, const std::string& value);
};

// The table, in the order --help lists it.
const std::vector<partyoption>& partyoptiontable();

// What the command line asks for.
enum class partyrun { RUN, HELP, VERSION, FAIL };

// Reads the arguments after the program's name into o: options as "--name VALUE" or "--name=VALUE",
// in any order among the folders; "--" ends the options. FAIL, with a one-line reason in error, for
// an unknown option, a missing or bad value; HELP and VERSION as soon as "--help" or "--version" is
// seen.
partyrun readpartyoptions(const std::vector<std::string>& args, partyoptions& o, std::string& error);

// The whole text of --help.
std::string partyhelp();

#endif
