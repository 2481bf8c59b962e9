// tralune-party's command line.
#include "options.h"

#include <cstdlib>

namespace {

// A whole number from low to high, digits only.
bool wholenumber(const std::string& text, int low, int high, int& out)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int n = atoi(text.c_str());
    if (n < low || n > high)
        return false;
    out = n;
    return true;
}

} // namespace

const std::vector<partyoption>& partyoptiontable()
{
    static const std::vector<partyoption> table = {
        {"--data", "DIR", "keep the library, the queue and the settings in DIR (default $XDG_DATA_HOME/tralune)",
         [](partyoptions& o, const std::string& v) -> std::string {
             if (v.empty())
                 return "needs a folder";
             o.data = v;
             return "";
         }},
        {"--countdown", "SECONDS", "show the up-next screen this long before each song, 0 to 60 (default 5)",
         [](partyoptions& o, const std::string& v) -> std::string {
             return wholenumber(v, 0, 60, o.countdown) ? "" : "must be a whole number of seconds from 0 to 60";
         }},
        {"--name-order", "ORDER",
         "read file names as artist-title (\"Artist - Title\", the default) or title-artist",
         [](partyoptions& o, const std::string& v) -> std::string {
             if (v == "artist-title")
                 o.order = nameorder::artisttitle;
             else if (v == "title-artist")
                 o.order = nameorder::titleartist;
             else
                 return "must be artist-title or title-artist";
             o.ordergiven = true;
             return "";
         }},
        {"--offset", "MS", "show the lyrics MS milliseconds later, -1000 to 1000, for late sound (stored)",
         [](partyoptions& o, const std::string& v) -> std::string {
             bool negative = !v.empty() && v[0] == '-';
             if (!wholenumber(negative ? v.substr(1) : v, 0, 1000, o.offset))
                 return "must be a whole number of milliseconds from -1000 to 1000";
             o.offset = negative ? -o.offset : o.offset;
             o.offsetgiven = true;
             return "";
         }},
        {"--window", nullptr, "show the party in a window, at the largest whole multiple of 640x480 that fits",
         [](partyoptions& o, const std::string&) -> std::string {
             displayoption("--window", o.mode);
             return "";
         }},
        {"--mode-switch", nullptr, "switch the display itself to 640x480 where the system can, unscaled",
         [](partyoptions& o, const std::string&) -> std::string {
             displayoption("--mode-switch", o.mode);
             return "";
         }},
        {"--port", "N", "serve the phone page on port N (default 8080)",
         [](partyoptions& o, const std::string& v) -> std::string {
             return wholenumber(v, 1, 65535, o.port) ? "" : "must be a port number from 1 to 65535";
         }},
        {"--no-web", nullptr, "no phone page",
         [](partyoptions& o, const std::string&) -> std::string {
             o.web = false;
             return "";
         }},
        {"--url", "URL", "show URL as the phone page's address, where phones reach this machine another way",
         [](partyoptions& o, const std::string& v) -> std::string {
             if (v.compare(0, 7, "http://") != 0 && v.compare(0, 8, "https://") != 0)
                 return "must start with http:// or https://";
             if (v.find_first_of(" \t\r\n\"<>") != std::string::npos)
                 return "must be an address without spaces or quotes";
             o.url = v;
             return "";
         }},
        {"--pin", "NNNN", "the host's PIN for the phone page's host controls (default: four random digits)",
         [](partyoptions& o, const std::string& v) -> std::string {
             if (v.size() != 4 || v.find_first_not_of("0123456789") != std::string::npos)
                 return "must be four digits";
             o.pin = v;
             return "";
         }},
        {"--per-guest", "N", "songs one phone may have in the queue at once, 1 to 100 (default 3)",
         [](partyoptions& o, const std::string& v) -> std::string {
             return wholenumber(v, 1, 100, o.perguest) ? "" : "must be a whole number from 1 to 100";
         }},
    };
    return table;
}

partyrun readpartyoptions(const std::vector<std::string>& args, partyoptions& o, std::string& error)
{
    bool options = true;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        if (!options || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            // "-" alone, or anything after "--", is a folder.
            o.folders.push_back(a);
            continue;
        }
        if (a == "--") {
            options = false;
            continue;
        }
        if (a == "--help")
            return partyrun::HELP;
        if (a == "--version")
            return partyrun::VERSION;
        size_t equals = a.find('=');
        std::string name = a.substr(0, equals);
        const partyoption* found = nullptr;
        for (const partyoption& p : partyoptiontable())
            if (name == p.name)
                found = &p;
        if (!found) {
            error = "unknown option " + name + " (--help lists them)";
            return partyrun::FAIL;
        }
        std::string value;
        if (found->value && equals != std::string::npos) {
            value = a.substr(equals + 1);
        } else if (found->value) {
            if (i + 1 >= args.size()) {
                error = name + " needs " + found->value;
                return partyrun::FAIL;
            }
            value = args[++i];
        } else if (equals != std::string::npos) {
            error = name + " takes no value";
            return partyrun::FAIL;
        }
        std::string why = found->take(o, value);
        if (!why.empty()) {
            error = name + " " + why;
            return partyrun::FAIL;
        }
    }
    return partyrun::RUN;
}

std::string partyhelp()
{
    std::string text =
        "usage: tralune-party [options] [FOLDER...]\n"
        "A karaoke party on one screen: a library of songs, a queue of singers, and song after song\n"
        "shown full screen as tralune shows them. The FOLDERs given are added to the library and\n"
        "remembered; without any, the remembered ones are scanned again.\n"
        "Keys: type to search, Up/Down/PageUp/PageDown to choose, Enter to queue the song under a\n"
        "singer's name (type it, then Enter), Escape to clear the search or leave a song,\n"
        "Ctrl+Q to quit; F5/F6 key down/up and F7/F8 tempo down/up of the song being queued or\n"
        "last queued, F9/F10 sync offset 10 ms earlier/later.\n";
    for (const partyoption& p : partyoptiontable()) {
        std::string left = std::string("  ") + p.name + (p.value ? std::string(" ") + p.value : "");
        text += left + std::string(left.size() < 24 ? 24 - left.size() : 1, ' ') + p.help + "\n";
    }
    text += "  --help                show this and exit\n"
            "  --version             show the version and exit\n"
            "Prepared songs are kept in $XDG_CACHE_HOME/tralune/songs, which may be deleted at any time.\n"
            "Exit status: 0 when the party is ended with Ctrl+Q or by closing the display, 1 when it\n"
            "cannot start (a bad option, the display or the database cannot be opened).\n";
    return text;
}
