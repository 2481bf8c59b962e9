// A party for the phone interface's tests.
#include "phonefixture.h"

#include <gtest/gtest.h>


phoneparty::phoneparty(int perguest)
{
    std::string why;
    store = partystore::open(dir / "data", why);
    if (!store)
        throw std::runtime_error("store: " + why);
    if (!makelibrary(dir / "songs"))
        throw std::runtime_error("cannot write the library");
    if (!store->scan({dir / "songs"}, nameorder::artisttitle, nullptr))
        throw std::runtime_error("scan: " + store->error());
    phonesettings s;
    s.port = 8080;
    s.hosts = {"192.168.1.20:8080", "partyhost:8080"};
    s.pin = "4321";
    s.perguest = perguest;
    s.files = {{"/", {"text/html; charset=utf-8", "<!DOCTYPE html><title>t</title>"}}};
    api = std::make_unique<phoneapi>(*store, control, s);
}

webanswer phoneparty::get(const std::string& path, const phone* p, const std::string& host)
{
    webrequest r;
    r.method = "GET";
    size_t q = path.find('?');
    r.path = path.substr(0, q);
    if (q != std::string::npos) {
        // The tests' queries are a single argument without escapes.
        std::string arg = path.substr(q + 1);
        size_t eq = arg.find('=');
        r.query.emplace_back(arg.substr(0, eq), eq == std::string::npos ? "" : arg.substr(eq + 1));
    }
    r.host = host;
    r.peer = p ? p->peer : "192.168.1.30";
    if (p)
        r.cookie = p->cookie;
    now += 150000000;  // well under the rate limit unless a test says otherwise
    return api->handle(r, now);
}

webanswer phoneparty::post(const std::string& path, const std::string& body, const phone* p, const std::string& host)
{
    webrequest r;
    r.method = "POST";
    r.path = path;
    r.host = host;
    r.body = body;
    r.peer = p ? p->peer : "192.168.1.30";
    if (p) {
        r.cookie = p->cookie;
        r.token = p->token;
    }
    now += 150000000;
    return api->handle(r, now);
}

phone phoneparty::newphone(const std::string& peer)
{
    phone p;
    p.peer = peer;
    webrequest r;
    r.method = "GET";
    r.path = "/api/session";
    r.host = "192.168.1.20:8080";
    r.peer = peer;
    now += 150000000;
    webanswer a = api->handle(r, now);
    EXPECT_EQ(a.status, 200) << a.body;
    // "tralune_phone=ID; Path=/; ..."
    size_t eq = a.setcookie.find('='), semi = a.setcookie.find(';');
    EXPECT_NE(eq, std::string::npos) << a.setcookie;
    p.cookie = a.setcookie.substr(eq + 1, semi - eq - 1);
    p.token = field(a.body, "token");
    return p;
}

long long phoneparty::songid(const std::string& search)
{
    auto found = store->search(search, 1);
    return found.empty() ? 0 : found[0].id;
}

std::string phoneparty::order()
{
    std::string out;
    for (const auto& e : store->queue())
        out += (out.empty() ? "" : ", ") + e.singer + ":" + e.title;
    return out;
}

std::string field(const std::string& json, const std::string& name)
{
    std::string key = "\"" + name + "\":";
    size_t at = json.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    size_t end = at;
    if (json[at] == '"') {
        end++;
        while (end < json.size() && json[end] != '"')
            end += json[end] == '\\' ? 2 : 1;
        end++;
    } else {
        end = json.find_first_of(",}]", at);
    }
    jsonobject o;
    std::string why;
    if (!readjsonobject("{\"v\":" + json.substr(at, end - at) + "}", o, why))
        return "";
    const jsonvalue& v = o.members[0].second;
    return v.kind == jsonvalue::STRING ? v.text : v.kind == jsonvalue::NUMBER ? std::to_string(v.number)
                                               : v.kind == jsonvalue::BOOLEAN ? (v.truth ? "true" : "false") : "null";
}
