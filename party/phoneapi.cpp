// The phone page's JSON interface: the handler table, sessions, tokens, the host PIN and the limits.
#include "phoneapi.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

namespace {

const char* const COOKIE = "tralune_phone";

std::string lower(std::string s)
{
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

// Characters of well-formed UTF-8 text: bytes that do not continue a sequence.
int characters(const std::string& s)
{
    int n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::string trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

webanswer okanswer()
{
    webanswer a;
    a.body = "{\"ok\":true}";
    return a;
}

// One song of the queue. "mine" tells the page which songs the phone may remove and change itself.
void writeentry(jsonwriter& w, const queueentry& e, const std::string& guest, bool withwait)
{
    w.beginobject();
    w.key("entry").value((long long)e.entry);
    w.key("song").value((long long)e.song);
    w.key("title").value(e.title);
    w.key("artist").value(e.artist);
    w.key("singer").value(e.singer);
    w.key("key").value(e.key);
    w.key("tempo").value(e.tempo);
    if (withwait) {
        w.key("wait").value(e.wait);
        w.key("upnext").value(e.state == entrystate::upnext);
    }
    w.key("mine").value(!guest.empty() && e.guest == guest);
    w.endobject();
}

// A whole number field: absent (fallback), or a number within [low, high].
bool numberfield(const jsonobject& body, const char* name, long long low, long long high, long long& out,
                 bool required, std::string& why)
{
    const jsonvalue* v = body.find(name);
    if (!v || v->kind == jsonvalue::NUL) {
        if (required)
            why = std::string("The request has no \"") + name + "\".";
        return !required;
    }
    if (v->kind != jsonvalue::NUMBER) {
        why = std::string("\"") + name + "\" must be a number.";
        return false;
    }
    if (v->number < low || v->number > high) {
        why = std::string("\"") + name + "\" must be from " + std::to_string(low) + " to " + std::to_string(high) + ".";
        return false;
    }
    out = v->number;
    return true;
}

} // namespace

std::string webrequest::arg(const std::string& name) const
{
    for (const auto& q : query)
        if (q.first == name)
            return q.second;
    return "";
}

webanswer refusal(int status, const std::string& message)
{
    webanswer a;
    a.status = status;
    jsonwriter w;
    w.beginobject().key("error").value(message).endobject();
    a.body = w.text();
    return a;
}

std::string randomhex()
{
    // std::random_device reads the kernel's generator on Linux (getrandom or /dev/urandom).
    std::random_device device;
    std::string out;
    char buf[9];
    for (int i = 0; i < 4; i++) {
        snprintf(buf, sizeof buf, "%08x", unsigned(device()));
        out += buf;
    }
    return out;
}

std::string randompin()
{
    std::random_device device;
    char buf[8];
    snprintf(buf, sizeof buf, "%04u", unsigned(device() % 10000));
    return buf;
}

const phoneapi::route phoneapi::routes[] = {
    {"GET", "/", &phoneapi::page},
    {"GET", "/page.js", &phoneapi::page},
    {"GET", "/page.css", &phoneapi::page},
    {"GET", "/api/session", &phoneapi::startsession},
    {"GET", "/api/songs", &phoneapi::songs},
    {"GET", "/api/queue", &phoneapi::showqueue},
    {"POST", "/api/queue", &phoneapi::addsong},
    {"POST", "/api/remove", &phoneapi::removesong},
    {"POST", "/api/change", &phoneapi::changesong},
    {"POST", "/api/move", &phoneapi::movesong},
    {"POST", "/api/skip", &phoneapi::skip},
    {"POST", "/api/pause", &phoneapi::pause},
    {"POST", "/api/resume", &phoneapi::resume},
    {"POST", "/api/clear", &phoneapi::clear},
};

// "name:port" in lower case, ":80" added where no port is given, as Host headers and URLs name it.
static std::string hostport(const std::string& value)
{
    std::string v = lower(value);
    size_t close = v.rfind(']');
    size_t colon = v.rfind(':');
    if (colon == std::string::npos || (close != std::string::npos && colon < close))
        v += ":80";
    return v;
}

phoneapi::phoneapi(partystore& store_, partycontrol& control_, phonesettings settings)
    : store(store_), control(control_), set(std::move(settings))
{
    for (auto& h : set.hosts)
        h = hostport(h);
    for (const char* local : {"localhost", "127.0.0.1", "[::1]"})
        set.hosts.push_back(std::string(local) + ":" + std::to_string(set.port));
}

bool phoneapi::ownhost(const std::string& value) const
{
    // A page on another site that points a name of its own at this machine (DNS rebinding) sends that
    // name here, which is refused.
    if (value.empty())
        return false;
    return std::find(set.hosts.begin(), set.hosts.end(), hostport(value)) != set.hosts.end();
}

bool phoneapi::ratelimited(long long* stamps, int& next, long long now)
{
    // The ring holds the last WEB_MAX_RATE requests' times; one more within a second of the oldest of
    // them would make WEB_MAX_RATE + 1 in a second. A refused request is not counted, so a phone that
    // keeps asking gets answers again as soon as it slows down.
    if (stamps[next] && now - stamps[next] < 1000000000LL)
        return true;
    stamps[next] = now;
    next = (next + 1) % WEB_MAX_RATE;
    return false;
}

phoneapi::session* phoneapi::findsession(const std::string& id)
{
    if (id.empty())
        return nullptr;
    auto i = sessions.find(id);
    return i == sessions.end() ? nullptr : &i->second;
}

phoneapi::session* phoneapi::newsession(const std::string& peer, long long now)
{
    // Both bounds drop the phone seen least recently: one address cannot push out everyone else's
    // sessions by asking for new ones.
    auto dropoldest = [&](bool samepeer) {
        auto oldest = sessions.end();
        for (auto i = sessions.begin(); i != sessions.end(); ++i)
            if ((!samepeer || i->second.peer == peer)
                && (oldest == sessions.end() || i->second.lastseen < oldest->second.lastseen))
                oldest = i;
        if (oldest != sessions.end())
            sessions.erase(oldest);
    };
    int mine = 0;
    for (const auto& s : sessions)
        mine += s.second.peer == peer;
    if (mine >= WEB_MAX_SESSIONS_PER_PEER)
        dropoldest(true);
    if (sessions.size() >= WEB_MAX_SESSIONS)
        dropoldest(false);
    session s;
    s.id = randomhex();
    s.token = randomhex();
    s.guest = randomhex().substr(0, 16);
    s.peer = peer;
    s.lastseen = now;
    auto& kept = sessions[s.id];
    kept = s;
    return &kept;
}

webanswer phoneapi::handle(const webrequest& r, long long now)
{
    try {
        if (!ownhost(r.host))
            return refusal(403, "This party is reached only through its own address: scan the code on the screen.");
        const route* found = nullptr;
        bool otherMethod = false;
        for (const auto& rt : routes) {
            if (r.path != rt.path)
                continue;
            if (r.method == rt.method)
                found = &rt;
            else
                otherMethod = true;
        }
        if (!found) {
            if (otherMethod)
                return refusal(405, r.method == "GET" || r.method == "HEAD"
                                        ? "Changes are made from the party's page, not from a link."
                                        : "That is not how this address is used.");
            return refusal(404, "There is nothing here.");
        }
        bool post = std::string(found->method) == "POST";
        std::string sessionid;
        {
            std::lock_guard<std::mutex> hold(lock);
            session* s = findsession(r.cookie);
            bool limited;
            // The page's own files are not counted: they come from memory, and a reload asks for three
            // of them at once.
            if (found->run == &phoneapi::page) {
                limited = false;
            } else if (s) {
                s->lastseen = now;
                limited = ratelimited(s->stamps, s->next, now);
            } else {
                // Phones without a session yet are counted by their address; the table of them forgets
                // addresses not seen for a second.
                if (peers.size() > WEB_MAX_SESSIONS)
                    for (auto i = peers.begin(); i != peers.end();)
                        i = now - i->second.lastseen > 1000000000LL ? peers.erase(i) : std::next(i);
                auto& p = peers[r.peer];
                p.lastseen = now;
                limited = ratelimited(p.stamps, p.next, now);
            }
            if (limited)
                return refusal(429, "Too many requests from this phone: wait a moment.");
            if (post) {
                if (!s)
                    return refusal(403, "Your session has ended: reload the page.");
                if (r.token.empty() || r.token != s->token)
                    return refusal(403, "This request has no valid token: reload the page.");
            }
            if (s)
                sessionid = s->id;
        }
        if (post && r.bodytoolarge)
            return refusal(413, "That request is too large.");
        call c{r, now, nullptr, {}};
        std::string why;
        if (post && !readjsonobject(r.body, c.body, why))
            return refusal(400, "That request was not understood: " + why + ".");
        // The session itself stays under the lock; handlers see a copy and look it up again when they
        // change it (the PIN's count).
        session copy;
        if (!sessionid.empty()) {
            std::lock_guard<std::mutex> hold(lock);
            if (session* s = findsession(sessionid)) {
                copy = *s;
                c.phone = &copy;
            }
        }
        return (this->*found->run)(c);
    } catch (const std::exception&) {
        return refusal(500, "The party could not answer just now: try again.");
    }
}

webanswer phoneapi::page(call& c)
{
    auto f = set.files.find(c.r.path);
    if (f == set.files.end())
        return refusal(404, "There is nothing here.");
    webanswer a;
    a.type = f->second.first;
    a.body = f->second.second;
    return a;
}

webanswer phoneapi::startsession(call& c)
{
    webanswer a;
    std::string token;
    if (c.phone) {
        token = c.phone->token;
    } else {
        std::lock_guard<std::mutex> hold(lock);
        session* s = newsession(c.r.peer, c.now);
        token = s->token;
        a.setcookie = std::string(COOKIE) + "=" + s->id + "; Path=/; Max-Age=86400; HttpOnly; SameSite=Strict";
    }
    jsonwriter w;
    w.beginobject().key("token").value(token).endobject();
    a.body = w.text();
    return a;
}

webanswer phoneapi::songs(call& c)
{
    std::string q = c.r.arg("q");
    if (q.size() > WEB_MAX_QUERY)
        return refusal(400, "That search is too long.");
    // Nothing typed finds nothing: the page lists songs only for a search.
    std::vector<songinfo> found;
    if (!ftsquery(q).empty())
        found = store.search(q, WEB_MAX_RESULTS);
    jsonwriter w;
    w.beginarray();
    for (size_t i = 0; i < found.size() && i < size_t(WEB_MAX_RESULTS); i++) {
        const auto& s = found[i];
        w.beginobject();
        w.key("id").value((long long)s.id);
        w.key("title").value(s.title);
        w.key("artist").value(s.artist);
        w.key("kind").value(kindname(s.kind));
        w.endobject();
    }
    w.endarray();
    webanswer a;
    a.body = w.text();
    return a;
}

webanswer phoneapi::showqueue(call& c)
{
    std::vector<queueentry> all = store.queue();
    nowplaying now = control.now();
    std::string guest = c.phone ? c.phone->guest : "";
    jsonwriter w;
    w.beginobject();
    w.key("playing");
    const queueentry* playing = nullptr;
    for (const auto& e : all)
        if (e.state == entrystate::playing)
            playing = &e;
    if (playing)
        writeentry(w, *playing, guest, false);
    else
        w.null();
    w.key("paused").value(playing && now.paused);
    w.key("queue").beginarray();
    for (const auto& e : all)
        if (e.state == entrystate::waiting || e.state == entrystate::upnext)
            writeentry(w, e, guest, true);
    w.endarray();
    w.endobject();
    webanswer a;
    a.body = w.text();
    return a;
}

webanswer phoneapi::changed()
{
    control.queuechanged();
    return okanswer();
}

webanswer phoneapi::addsong(call& c)
{
    const jsonvalue* song = c.body.find("song");
    if (!song)
        return refusal(400, "Choose a song from the search first.");
    if (song->kind != jsonvalue::NUMBER)
        return refusal(400, "Songs are chosen from the search by their number, never by a file name.");
    const jsonvalue* singer = c.body.find("singer");
    if (!singer || singer->kind != jsonvalue::STRING || trim(singer->text).empty())
        return refusal(400, "Enter your name first.");
    std::string name = trim(singer->text);
    if (characters(name) > WEB_MAX_NAME)
        return refusal(400, "A name has at most " + std::to_string(WEB_MAX_NAME) + " characters.");
    for (unsigned char ch : name)
        if (ch < 0x20 || ch == 0x7F)
            return refusal(400, "A name cannot hold control characters.");
    long long key = 0, tempo = 100;
    std::string why;
    if (!numberfield(c.body, "key", KEY_MIN, KEY_MAX, key, false, why)
        || !numberfield(c.body, "tempo", TEMPO_MIN, TEMPO_MAX, tempo, false, why))
        return refusal(400, why);
    songinfo info;
    if (song->number <= 0 || !store.song(song->number, info) || info.gone)
        return refusal(404, "That song is not in the library.");

    queueentry added;
    {
        std::lock_guard<std::mutex> hold(addlock);
        int mine = store.guestcount(c.phone->guest);
        if (mine >= set.perguest)
            return refusal(409, "You have " + std::to_string(mine) + (mine == 1 ? " song" : " songs")
                                    + " in the queue already: queue another when one has been sung.");
        int64_t entry = store.enqueue(song->number, name, c.phone->guest, int(key), int(tempo));
        if (!entry || !store.entry(entry, added))
            return refusal(409, "That song could not be queued: try another.");
    }
    control.queuechanged();
    // The entry with its place and wait, as the queue shows it now.
    for (const auto& e : store.queue())
        if (e.entry == added.entry)
            added = e;
    jsonwriter w;
    writeentry(w, added, c.phone->guest, true);
    webanswer a;
    a.body = w.text();
    return a;
}

bool phoneapi::checkpin(call& c, const std::string& given, std::string& why)
{
    std::lock_guard<std::mutex> hold(lock);
    session* s = findsession(c.phone->id);
    if (!s) {
        why = "Your session has ended: reload the page.";
        return false;
    }
    if (s->lockeduntil > c.now) {
        why = "Too many wrong PINs: host controls are locked on this phone for a minute.";
        return false;
    }
    // Every digit is compared, so the time taken says nothing about how much of a guess was right.
    unsigned diff = given.size() == set.pin.size() ? 0 : 1;
    for (size_t i = 0; i < set.pin.size(); i++)
        diff |= unsigned(set.pin[i]) ^ unsigned(i < given.size() ? given[i] : 0);
    if (diff == 0) {
        s->wrongpins = 0;
        return true;
    }
    if (++s->wrongpins >= WEB_PIN_TRIES) {
        s->wrongpins = 0;
        s->lockeduntil = c.now + WEB_PIN_LOCK_NS;
        why = "Wrong PIN, three times: host controls are locked on this phone for a minute.";
    } else {
        why = "Wrong PIN.";
    }
    return false;
}

std::optional<webanswer> phoneapi::needpin(call& c)
{
    const jsonvalue* pin = c.body.find("pin");
    if (!pin || pin->kind == jsonvalue::NUL)
        return refusal(403, "Only the host can do that: it needs the host's PIN.");
    std::string given = pin->kind == jsonvalue::STRING ? pin->text : "";
    std::string why;
    if (!checkpin(c, given, why))
        return refusal(403, why);
    return std::nullopt;
}

std::optional<webanswer> phoneapi::findwaiting(call& c, queueentry& found)
{
    long long entry = 0;
    std::string why;
    if (!numberfield(c.body, "entry", 1, JSON_MAX_NUMBER, entry, true, why))
        return refusal(400, why);
    if (!store.entry(entry, found))
        return refusal(404, "That song is no longer in the queue.");
    if (found.state == entrystate::playing)
        return refusal(409, "That song is playing: only the host can skip it.");
    if (found.state != entrystate::waiting && found.state != entrystate::upnext)
        return refusal(404, "That song is no longer in the queue.");
    return std::nullopt;
}

webanswer phoneapi::removesong(call& c)
{
    queueentry e;
    if (auto refused = findwaiting(c, e))
        return *refused;
    if (e.guest.empty() || e.guest != c.phone->guest)
        if (auto refused = needpin(c))
            return *refused;
    if (!store.remove(e.entry))
        return refusal(409, "That song is no longer in the queue.");
    return changed();
}

webanswer phoneapi::changesong(call& c)
{
    queueentry e;
    if (auto refused = findwaiting(c, e))
        return *refused;
    long long key = e.key, tempo = e.tempo;
    std::string why;
    if (!numberfield(c.body, "key", KEY_MIN, KEY_MAX, key, false, why)
        || !numberfield(c.body, "tempo", TEMPO_MIN, TEMPO_MAX, tempo, false, why))
        return refusal(400, why);
    if (e.guest.empty() || e.guest != c.phone->guest)
        if (auto refused = needpin(c))
            return *refused;
    if (!store.change(e.entry, int(key), int(tempo)))
        return refusal(409, "That song can no longer be changed.");
    return changed();
}

webanswer phoneapi::movesong(call& c)
{
    if (auto refused = needpin(c))
        return *refused;
    long long position = 0;
    std::string why;
    if (!numberfield(c.body, "position", 1, 100000, position, true, why))
        return refusal(400, why);
    queueentry e;
    if (auto refused = findwaiting(c, e))
        return *refused;
    if (e.state != entrystate::waiting)
        return refusal(409, "That song is up next: it keeps its place.");
    // position counts the queue as /api/queue lists it, from 1; the store counts waiting songs from 0,
    // after the one on the up-next screen.
    int place = int(position) - 1;
    for (const auto& q : store.queue())
        if (q.state == entrystate::upnext)
            place--;
    if (!store.move(e.entry, place < 0 ? 0 : place))
        return refusal(409, "That song can no longer be moved.");
    return changed();
}

webanswer phoneapi::skip(call& c)
{
    if (auto refused = needpin(c))
        return *refused;
    if (!control.skip())
        return refusal(409, "No song is playing or up next.");
    return okanswer();
}

webanswer phoneapi::pause(call& c)
{
    if (auto refused = needpin(c))
        return *refused;
    if (!control.pause())
        return refusal(409, "No song is playing, or it is paused already.");
    return okanswer();
}

webanswer phoneapi::resume(call& c)
{
    if (auto refused = needpin(c))
        return *refused;
    if (!control.resume())
        return refusal(409, "No song is paused.");
    return okanswer();
}

webanswer phoneapi::clear(call& c)
{
    if (auto refused = needpin(c))
        return *refused;
    store.clear();
    return changed();
}
