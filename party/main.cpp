// tralune-party: reads the command line, opens the database and the display, and runs the party.
#include "control.h"
#include "gfx.h"
#include "keytempo.h"
#include "options.h"
#include "party.h"
#include "phone.h"
#include "store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <iostream>

namespace {

// path made absolute against the folder the party started in, so that a later change of folder (a
// song plays in its own) cannot change what it names.
std::string absolute(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char here[PATH_MAX];
    if (!getcwd(here, sizeof here))
        return path;
    return std::string(here) + "/" + path;
}

bool isfolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int main(int argc, char** argv)
{
    partyoptions o;
    std::string error;
    switch (readpartyoptions(std::vector<std::string>(argv + 1, argv + argc), o, error)) {
    case partyrun::HELP:
        std::cout << partyhelp();
        return 0;
    case partyrun::VERSION:
        std::cout << "tralune-party " TRALUNE_VERSION "\n";
        return 0;
    case partyrun::FAIL:
        std::cerr << "tralune-party: error: " << error << "\n";
        return 1;
    case partyrun::RUN:
        break;
    }
    std::string data = o.data.empty() ? defaultdatafolder() : absolute(o.data);
    std::string cache = defaultcachefolder();
    if (data.empty() || cache.empty()) {
        std::cerr << "tralune-party: error: neither XDG_DATA_HOME nor HOME is set; --data DIR names the folder\n";
        return 1;
    }
    std::unique_ptr<partystore> store = partystore::open(data, error);
    if (!store) {
        std::cerr << data << ": error: " << error << "\n";
        return 1;
    }
    int bad = 0;
    for (const std::string& f : o.folders) {
        if (!isfolder(f) || !store->addfolder(absolute(f))) {
            std::cerr << f << ": error: not a folder\n";
            bad++;
        }
    }
    if (bad)
        return 1;
    // The order of names is remembered with the library, so that a later start reads names alike.
    if (o.ordergiven)
        store->setsetting("nameorder", o.order == nameorder::titleartist ? "title-artist" : "artist-title");
    else if (store->setting("nameorder") == "title-artist")
        o.order = nameorder::titleartist;
    // The sync offset is the room's (its sound card and speakers): kept for the next party.
    o.offset = partyoffset(*store, o);
    partycontrol control;
    // The phone page listens before the screen opens, so that its address and PIN are on the terminal
    // first. A port in use leaves the party without phones, not without a party.
    phonepage phones;
    if (!phones.start(*store, control, o, error))
        std::cerr << "tralune-party: warning: no phone page: " << error << "\n";
    else if (phones.running())
        std::cout << phones.terminallines() << std::flush;
    gfx* g = gfx::instance();
    if (g->init(o.mode) != 0) {
        std::cerr << "tralune-party: error: could not open the display: " << g->displayerror() << "\n";
        return 1;
    }
    {
        party p(*store, control, o, cache);
        if (phones.running())
            p.showphones(phones.url(), &phones.code());
        p.run(store->folders());
    }
    g->close();
    return 0;
}
