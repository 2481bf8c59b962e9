// The phone page's JSON interface: every request a phone makes, answered by one table of handlers,
// with the sessions, tokens, host PIN and limits that keep a party safe from the network it is on.
// No sockets here: the web server hands each request over as a value, and tests do the same.
#ifndef TRALUNE_PHONEAPI_H
#define TRALUNE_PHONEAPI_H

#include "json.h"

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

// A song of the library as the interface shows it.
struct phonesong {
    long long id = 0;
    std::string title, artist, kind;
};

// A queued or playing song as the interface shows it. guest is who queued it (a phone's guest id,
// "" for songs queued at the keyboard).
struct phoneentry {
    long long entry = 0, song = 0;
    std::string title, artist, singer, guest;
    int key = 0, tempo = 100;
    long long wait = 0;  // seconds until it starts, estimated
};

// What the party does for a request.
enum class partyresult { OK, NOSONG, NOENTRY, FIXED, FAILED };

// The party as the interface sees it: its library, its queue and its player. Called from the web
// server's threads, so every member must be safe to call from any thread at any time, and quick.
class partyside {
public:
    virtual ~partyside() = default;
    // Up to limit songs matching text as the library's search does.
    virtual std::vector<phonesong> search(const std::string& text, int limit) = 0;
    // The song playing (none between songs) and the queue in playing order.
    virtual void queue(std::optional<phoneentry>& playing, std::vector<phoneentry>& waiting) = 0;
    // Queues song; added is the new entry. NOSONG when the library has no such song.
    virtual partyresult add(long long song, const std::string& singer, const std::string& guest, int key,
                            int tempo, phoneentry& added) = 0;
    // NOENTRY when entry is not queued; FIXED when it is the one playing or about to.
    virtual partyresult remove(long long entry) = 0;
    virtual partyresult move(long long entry, int position) = 0;
    virtual partyresult change(long long entry, int key, int tempo) = 0;
    virtual partyresult clear() = 0;
    virtual partyresult skip() = 0;
    virtual partyresult pause() = 0;
    virtual partyresult resume() = 0;
};

// How the interface is set up.
struct phonesettings {
    int port = 8080;
    // Host names (and addresses) by which the party is reached, without the port; localhost,
    // 127.0.0.1 and [::1] are always accepted.
    std::vector<std::string> hosts;
    std::string pin;       // four digits
    int perguest = 3;      // queued songs a phone may have
    // The page itself and the files it loads, path -> (type, bytes): "/", "/page.js", "/page.css".
    std::map<std::string, std::pair<std::string, std::string>> files;
};

// The interface. Thread-safe: the web server calls handle from several threads at once.
class phoneapi {
public:
    phoneapi(partyside& party, phonesettings settings);
    // The answer to r at monotonic time now (nanoseconds): never throws, never changes anything for a
    // GET, and answers every refusal as a 4xx with {"error": "..."} in words a guest understands.
    webanswer handle(const webrequest& r, long long now);

    // "Host: value" is one of the party's own names or addresses with its port.
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

    // The host's PIN in the body checked, with the lock-out; nullopt when it is right.
    std::optional<webanswer> needpin(call& c);
    // The PIN given is right, counting a wrong one; false also while locked out (why says which).
    bool checkpin(call& c, const std::string& given, std::string& why);
    webanswer fromresult(partyresult r);
    bool ratelimited(long long* stamps, int& next, long long now);
    session* findsession(const std::string& id);
    session* newsession(const std::string& peer, long long now);

    partyside& party;
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
