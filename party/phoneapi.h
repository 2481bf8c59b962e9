// The phone page's JSON interface: every request a phone makes, answered by one table of handlers,
// with the sessions, tokens, host PIN and limits that keep a party safe from the network it is on.
// No sockets here: the web server hands each request over as a value, and tests do the same.
#ifndef TRALUNE_PHONEAPI_H
#define TRALUNE_PHONEAPI_H

#include "control.h"
#include "json.h"
#include "store.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One request as the server received it.
struct webrequest {
    std::string method;                                      // "GET", "POST", ...
    std::string path;                                        // "/api/queue", without the query
    std::vector<std::pair<std::string, std::string>> query;  // decoded query arguments
    std::string host;                                        // the Host header, "" when absent
    std::string cookie;                                      // the session cookie's value, "" when absent
    std::string token;                                       // the X-Token header, "" when absent
    std::string body;
    bool bodytoolarge = false;                               // more than WEB_MAX_BODY bytes were sent
    std::string peer;                                        // the phone's IP address
    // The query argument called name, "" when absent.
    std::string arg(const std::string& name) const;
};

// One answer: a status, a body and its type, and a cookie to set.
struct webanswer {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::string setcookie;  // the whole Set-Cookie value, "" for none
};

// The limits of what a phone can make the party hold or do.
const size_t WEB_MAX_BODY = 4096;        // bytes of a request body
const int WEB_MAX_NAME = 40;             // characters of a singer's name
const int WEB_MAX_RATE = 10;             // requests a second a phone
const size_t WEB_MAX_QUERY = 200;        // bytes of a search
const int WEB_MAX_RESULTS = 50;          // songs a search answers
const size_t WEB_MAX_SESSIONS = 1000;    // phones remembered at once
const int WEB_MAX_SESSIONS_PER_PEER = 8; // of them started from one address
const int WEB_PIN_TRIES = 3;             // wrong PINs before a phone is locked out
const long long WEB_PIN_LOCK_NS = 60000000000LL;

// How the interface is set up.
struct phonesettings {
    int port = 8080;
    // The names and addresses with their port by which phones reach the party ("192.168.1.20:8080",
    // "partyhost:8080"; a name without a port means port 80). localhost, 127.0.0.1 and [::1] with
    // port are always accepted.
    std::vector<std::string> hosts;
    std::string pin;       // four digits
    int perguest = 3;      // songs a phone may have waiting or up next
    // The page itself and the files it loads, path -> (type, bytes): "/", "/page.js", "/page.css".
    std::map<std::string, std::pair<std::string, std::string>> files;
};

// The interface. Thread-safe: the web server calls handle from several threads at once.
// The party it acts on: the store's library and queue, and the controls of the song on the screen.
class phoneapi {
public:
    phoneapi(partystore& store, partycontrol& control, phonesettings settings);
    // The answer to r at monotonic time now (nanoseconds): never throws, never changes anything for a
    // GET, and answers every refusal as a 4xx with {"error": "..."} in words a guest understands.
    webanswer handle(const webrequest& r, long long now);

    // "Host: value" is one of the party's own names or addresses with its port, in any case.
    bool ownhost(const std::string& value) const;

private:
    struct session {
        std::string id, token, guest, peer;
        long long lastseen = 0;
        long long stamps[WEB_MAX_RATE] = {};  // the last requests' times, a ring
        int next = 0;
        int wrongpins = 0;
        long long lockeduntil = 0;
    };
    struct call {
        const webrequest& r;
        long long now;
        session* phone;  // nullptr for a request without a session
        jsonobject body;
    };
    typedef webanswer (phoneapi::*handler)(call&);
    struct route {
        const char* method;
        const char* path;
        handler run;
    };
    static const route routes[];

    webanswer page(call& c);
    webanswer startsession(call& c);
    webanswer songs(call& c);
    webanswer showqueue(call& c);
    webanswer addsong(call& c);
    webanswer removesong(call& c);
    webanswer changesong(call& c);
    webanswer movesong(call& c);
    webanswer skip(call& c);
    webanswer pause(call& c);
    webanswer resume(call& c);
    webanswer clear(call& c);

    // After a change of the queue: the screen redraws it.
    webanswer changed();
    // The waiting entry of the queue called entry, with whether it is the phone's own; a refusal when
    // the request names none or it is not waiting.
    std::optional<webanswer> findwaiting(call& c, queueentry& found);
    // The host's PIN in the body checked, with the lock-out; nullopt when it is right.
    std::optional<webanswer> needpin(call& c);
    // The PIN given is right, counting a wrong one; false also while locked out (why says which).
    bool checkpin(call& c, const std::string& given, std::string& why);
    bool ratelimited(long long* stamps, int& next, long long now);
    session* findsession(const std::string& id);
    session* newsession(const std::string& peer, long long now);

    partystore& store;
    partycontrol& control;
    phonesettings set;
    std::mutex lock;  // sessions, per-address limits, adds
    std::map<std::string, session> sessions;
    struct peerstamps {
        long long stamps[WEB_MAX_RATE] = {};
        int next = 0;
        long long lastseen = 0;
    };
    std::map<std::string, peerstamps> peers;
    std::mutex addlock;  // a phone's count of songs and its add stand together
};

// A refusal: status with {"error": message}.
webanswer refusal(int status, const std::string& message);

// 16 random bytes from the system's generator as 32 hex digits; for session ids and tokens.
std::string randomhex();
// Four random digits, for a PIN when none is chosen.
std::string randompin();

#endif
