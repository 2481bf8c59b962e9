// A party for the phone interface's tests: a real store on a made library folder, the real controls,
// and the interface on them, with helpers that make requests as a phone does.
#ifndef TRALUNE_PHONEFIXTURE_H
#define TRALUNE_PHONEFIXTURE_H

#include "phoneapi.h"
#include "testfiles.h"
#include "tralune.h"

#include <memory>
#include <string>

// The library: LRC songs with an (empty) song file each, named "Artist - Title", one of them tagged
// with a hostile title.
//   Björk - Jóga, AC_DC - Back in Black, Queen - Bohemian Rhapsody, Abba - Waterloo,
//   Nobody - Hostile (tagged [ti:<script>alert(1)</script>])
// false when a file cannot be written.
bool makelibrary(const std::string& folder);

// One phone: its session cookie and token.
struct phone {
    std::string cookie, token, peer = "192.168.1.30";
};

class phoneparty {
public:
    // Opens a store in a scratch folder, scans the library into it, and sets up the interface with
    // PIN "4321" on port 8080 for the host name "192.168.1.20".
    explicit phoneparty(int perguest = 3);
    ScratchDir dir;
    std::unique_ptr<partystore> store;
    partycontrol control;
    std::unique_ptr<phoneapi> api;
    long long now = 1000000000000LL;  // the clock the interface is handed; tests move it on

    webanswer get(const std::string& path, const phone* p = nullptr, const std::string& host = "192.168.1.20:8080");
    webanswer post(const std::string& path, const std::string& body, const phone* p, const std::string& host = "192.168.1.20:8080");
    // A new phone with its session, from peer.
    phone newphone(const std::string& peer = "192.168.1.30");
    // The id of the first song a search finds; 0 when none.
    long long songid(const std::string& search);
    // The queue's entries as "singer:title" in playing order, for comparing.
    std::string order();
};

// The value of a top-level string or number member of a JSON text (a quick look for tests; the
// interface's own reader takes only flat objects).
std::string field(const std::string& json, const std::string& name);

#endif
