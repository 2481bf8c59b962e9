// The phone interface over a socket: the real server on 127.0.0.1 on a free port, spoken to as a
// browser does.
#include "phonefixture.h"
#include "web.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct reply {
    int status = 0;
    std::string head, body;
    std::string header(const std::string& name) const
    {
        size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos)
            return "";
        at += name.size() + 4;
        return head.substr(at, head.find("\r\n", at) - at);
    }
};

// Sends one raw request and reads the whole answer; the connection is closed after it.
reply roundtrip(int port, const std::string& request)
{
    reply r;
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return r;
    }
    timeval t{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;  // the server may answer and close before a large body is all sent
        sent += size_t(n);
    }
    std::string all;
    char buf[4096];
    ssize_t n;
    while ((n = recv(s, buf, sizeof buf, 0)) > 0)
        all.append(buf, size_t(n));
    close(s);
    size_t end = all.find("\r\n\r\n");
    if (all.size() > 12 && end != std::string::npos) {
        r.status = std::stoi(all.substr(9, 3));
        r.head = all.substr(0, end);
        r.body = all.substr(end + 4);
    }
    return r;
}

struct liveparty : phoneparty {
    int port = 0;
    liveparty()
    {
        // The interface checks the Host header against its port, so it is chosen first.
        std::string why;
        port = freeloopbackport();
        phonesettings s;
        s.port = port;
        s.hosts = {"192.168.1.20:" + std::to_string(port)};
        s.pin = "4321";
        s.files = {{"/", {"text/html; charset=utf-8", "<!DOCTYPE html><title>page</title>"}}};
        api = std::make_unique<phoneapi>(*store, control, s);
        live = std::make_unique<webserver>(*api);
        EXPECT_TRUE(live->start(port, true, why)) << why;
    }
    std::unique_ptr<webserver> live;

    std::string host() const { return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"; }
    reply get(const std::string& path, const std::string& cookie = "", const std::string& hostline = "")
    {
        return roundtrip(port, "GET " + path + " HTTP/1.1\r\n" + (hostline.empty() ? host() : hostline)
                                  + (cookie.empty() ? "" : "Cookie: tralune_phone=" + cookie + "\r\n")
                                  + "Connection: close\r\n\r\n");
    }
    reply post(const std::string& path, const std::string& body, const phone& p, const std::string& extra = "")
    {
        return roundtrip(port, "POST " + path + " HTTP/1.1\r\n" + host() + "Cookie: tralune_phone=" + p.cookie
                                  + "\r\nX-Token: " + p.token + "\r\nContent-Type: application/json\r\n"
                                  + "Content-Length: " + std::to_string(body.size()) + "\r\n" + extra
                                  + "Connection: close\r\n\r\n" + body);
    }
    phone session()
    {
        reply r = get("/api/session");
        phone p;
        std::string cookie = r.header("Set-Cookie");
        size_t eq = cookie.find('='), semi = cookie.find(';');
        p.cookie = cookie.substr(eq + 1, semi - eq - 1);
        p.token = field(r.body, "token");
        return p;
    }
};

} // namespace

TEST(PhoneServer, SearchQueueAndSeeItOverTheWire)
{
    liveparty party;
    phone p = party.session();
    ASSERT_FALSE(p.cookie.empty());
    ASSERT_EQ(p.token.size(), 32u);
    reply found = party.get("/api/songs?q=ac%2Fdc", p.cookie);
    ASSERT_EQ(found.status, 200) << found.head;
    EXPECT_EQ(field(found.body, "title"), "Back in Black");
    reply queued = party.post("/api/queue", "{\"song\":" + field(found.body, "id") + ",\"singer\":\"Ana\"}", p);
    ASSERT_EQ(queued.status, 200) << queued.body;
    reply q = party.get("/api/queue", p.cookie);
    EXPECT_EQ(field(q.body, "singer"), "Ana");
    EXPECT_EQ(field(q.body, "mine"), "true");
    EXPECT_EQ(q.header("Content-Type"), "application/json");
    EXPECT_EQ(q.header("Cache-Control"), "no-store");
}

TEST(PhoneServer, PageComesWithAPolicyThatLoadsNothingFromElsewhere)
{
    liveparty party;
    reply page = party.get("/");
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(page.header("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
    EXPECT_EQ(page.header("X-Frame-Options"), "DENY");
    EXPECT_EQ(party.get("/page.html").status, 404);
    EXPECT_EQ(party.get("/%2e%2e/%2e%2e/etc/passwd").status, 404);
}

TEST(PhoneServer, RefusalsOverTheWire)
{
    liveparty party;
    phone p = party.session();
    std::string song = std::to_string(party.songid("abba"));
    std::string body = "{\"song\":" + song + ",\"singer\":\"Ana\"}";
    phone notoken = p;
    notoken.token = "";
    EXPECT_EQ(party.post("/api/queue", body, notoken).status, 403);
    EXPECT_EQ(party.get("/api/skip", p.cookie).status, 405);
    EXPECT_EQ(party.get("/api/queue", p.cookie, "Host: attacker.example:" + std::to_string(party.port) + "\r\n").status, 403);
    // A body announced past 4 KB is refused before it is read; one that runs past it as it comes too.
    reply big = party.post("/api/queue", "{\"singer\":\"" + std::string(5000, 'x') + "\",\"song\":" + song + "}", p);
    EXPECT_EQ(big.status, 413) << big.body;
    reply chunked = roundtrip(party.port, "POST /api/queue HTTP/1.1\r\n" + party.host() + "Cookie: tralune_phone="
                                             + p.cookie + "\r\nX-Token: " + p.token
                                             + "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                                             + "1400\r\n" + std::string(0x1400, ' ') + "\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.status, 413) << chunked.body;
    EXPECT_EQ(party.order(), "");
    // Ten requests in a second are answered; the eleventh is not.
    int refused = 0;
    for (int i = 0; i < 12; i++)
        refused += party.get("/api/queue", p.cookie).status == 429;
    EXPECT_GE(refused, 1);
    EXPECT_EQ(party.order(), "");
}
