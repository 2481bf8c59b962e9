// The phone interface in-process: handlers called with request values on a real store.
#include "phonefixture.h"

#include <gtest/gtest.h>

namespace {

std::string queuebody(long long song, const std::string& singer)
{
    return "{\"song\":" + std::to_string(song) + ",\"singer\":" + jsonstring(singer) + "}";
}

// The queue as a phone sees it, unchanged by whatever was refused.
struct unchanged {
    phoneparty& party;
    std::string before;
    explicit unchanged(phoneparty& p) : party(p), before(p.order()) {}
    void check(const std::string& what) { EXPECT_EQ(party.order(), before) << what; }
};

} // namespace

TEST(PhoneSearch, AccentFreeSpellingFindsTheSong)
{
    phoneparty party;
    phone p = party.newphone();
    webanswer a = party.get("/api/songs?q=bjork", &p);
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_EQ(field(a.body, "title"), "J\xc3\xb3ga");
    EXPECT_EQ(field(a.body, "artist"), "Bj\xc3\xb6rk");
    EXPECT_EQ(field(a.body, "kind"), "lrc");
    EXPECT_EQ(field(a.body, "id"), std::to_string(party.songid("bjork")));
    // Nothing typed, or only punctuation, finds nothing rather than the whole library.
    EXPECT_EQ(party.get("/api/songs?q=", &p).body, "[]");
    EXPECT_EQ(party.get("/api/songs?q=%22)(*", &p).body, "[]");
    EXPECT_EQ(party.get("/api/songs?q=" + std::string(201, 'a'), &p).status, 400);
}

TEST(PhoneSearch, HostileTitleIsEscapedInTheAnswer)
{
    phoneparty party;
    phone p = party.newphone();
    webanswer a = party.get("/api/songs?q=nobody", &p);
    EXPECT_EQ(field(a.body, "title"), "<script>alert(1)</script>");
    EXPECT_EQ(a.body.find('<'), std::string::npos) << a.body;
}

TEST(PhoneQueue, QueuedSongShowsWithSingerWaitAndWhoseItIs)
{
    phoneparty party;
    phone ana = party.newphone(), bo = party.newphone("192.168.1.31");
    webanswer a = party.post("/api/queue", "{\"song\":" + std::to_string(party.songid("waterloo"))
                                              + ",\"singer\":\"  Ana  \",\"key\":-2,\"tempo\":90}", &ana);
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_EQ(field(a.body, "singer"), "Ana");
    EXPECT_EQ(field(a.body, "key"), "-2");
    EXPECT_EQ(field(a.body, "tempo"), "90");
    EXPECT_EQ(field(a.body, "mine"), "true");
    ASSERT_EQ(party.post("/api/queue", queuebody(party.songid("queen"), "Bo"), &bo).status, 200);
    EXPECT_NE(party.control.takerequests() & partycontrol::QUEUE, 0);

    webanswer q = party.get("/api/queue", &bo);
    ASSERT_EQ(q.status, 200);
    EXPECT_EQ(field(q.body, "playing"), "null");
    // Ana's song first and not Bo's; Bo's after it with a wait of the first song's length.
    size_t first = q.body.find("\"title\":\"Waterloo\""), second = q.body.find("\"title\":\"Bohemian Rhapsody\"");
    ASSERT_NE(first, std::string::npos) << q.body;
    ASSERT_NE(second, std::string::npos) << q.body;
    EXPECT_LT(first, second);
    EXPECT_EQ(field(q.body.substr(first), "mine"), "false");
    EXPECT_EQ(field(q.body.substr(second), "mine"), "true");
    EXPECT_EQ(field(q.body.substr(second), "wait"), std::to_string(DEFAULT_SONG_SECONDS));
}

TEST(PhoneQueue, FairOrderWithThreeGuests)
{
    phoneparty party(5);
    phone a = party.newphone("10.0.0.1"), b = party.newphone("10.0.0.2"), c = party.newphone("10.0.0.3");
    long long w = party.songid("waterloo"), q = party.songid("queen"), j = party.songid("bjork");
    for (long long s : {w, q, j})
        ASSERT_EQ(party.post("/api/queue", queuebody(s, "Ann"), &a).status, 200);
    for (long long s : {q, j})
        ASSERT_EQ(party.post("/api/queue", queuebody(s, "Ben"), &b).status, 200);
    ASSERT_EQ(party.post("/api/queue", queuebody(j, "Cy"), &c).status, 200);
    EXPECT_EQ(party.order(), "Ann:Waterloo, Ben:Bohemian Rhapsody, Cy:J\xc3\xb3ga, Ann:Bohemian Rhapsody, "
                             "Ben:J\xc3\xb3ga, Ann:J\xc3\xb3ga");
}

TEST(PhoneQueue, GuestRemovesAndChangesOwnSongsOnly)
{
    phoneparty party;
    phone ana = party.newphone(), bo = party.newphone("192.168.1.31");
    std::string mine = field(party.post("/api/queue", queuebody(party.songid("abba"), "Ana"), &ana).body, "entry");
    std::string theirs = field(party.post("/api/queue", queuebody(party.songid("queen"), "Bo"), &bo).body, "entry");
    ASSERT_FALSE(mine.empty());

    EXPECT_EQ(party.post("/api/change", "{\"entry\":" + mine + ",\"key\":3,\"tempo\":110}", &ana).status, 200);
    queueentry e;
    ASSERT_TRUE(party.store->entry(std::stoll(mine), e));
    EXPECT_EQ(e.key, 3);
    EXPECT_EQ(e.tempo, 110);

    unchanged before(party);
    EXPECT_EQ(party.post("/api/change", "{\"entry\":" + theirs + ",\"key\":1}", &ana).status, 403);
    EXPECT_EQ(party.post("/api/remove", "{\"entry\":" + theirs + "}", &ana).status, 403);
    EXPECT_EQ(party.post("/api/change", "{\"entry\":" + mine + ",\"key\":7}", &ana).status, 400);
    EXPECT_EQ(party.post("/api/change", "{\"entry\":" + mine + ",\"tempo\":74}", &ana).status, 400);
    before.check("another's song or a value out of range");

    EXPECT_EQ(party.post("/api/remove", "{\"entry\":" + mine + "}", &ana).status, 200);
    EXPECT_EQ(party.order(), "Bo:Bohemian Rhapsody");
    EXPECT_EQ(party.post("/api/remove", "{\"entry\":" + mine + "}", &ana).status, 404);
    // With the PIN, anyone's song.
    EXPECT_EQ(party.post("/api/remove", "{\"entry\":" + theirs + ",\"pin\":\"4321\"}", &ana).status, 200);
    EXPECT_EQ(party.order(), "");
}

TEST(PhoneHost, ActionsNeedThePin)
{
    phoneparty party;
    phone p = party.newphone();
    long long song = party.songid("queen");
    std::string entry = field(party.post("/api/queue", queuebody(song, "Ana"), &p).body, "entry");
    std::string other = field(party.post("/api/queue", queuebody(party.songid("abba"), "Ana"), &p).body, "entry");
    party.control.takerequests();
    party.control.showsong(std::stoll(entry), song, monotonicns());

    for (const char* path : {"/api/skip", "/api/pause", "/api/resume", "/api/clear"}) {
        EXPECT_EQ(party.post(path, "{}", &p).status, 403) << path;
        EXPECT_EQ(party.post(path, "{\"pin\":\"1111\"}", &p).status, 403) << path;
        // Two wrong a time; a right one between resets the count, so nothing locks here.
        EXPECT_EQ(party.post("/api/resume", "{\"pin\":\"4321\"}", &p).status, 409);
    }
    EXPECT_EQ(party.post("/api/move", "{\"entry\":" + other + ",\"position\":1}", &p).status, 403);
    EXPECT_EQ(party.control.takerequests(), 0) << "a refused host action asked the party for something";

    EXPECT_EQ(party.post("/api/pause", "{\"pin\":\"4321\"}", &p).status, 200);
    EXPECT_NE(party.control.takerequests() & partycontrol::PAUSE, 0);
    EXPECT_EQ(party.post("/api/resume", "{\"pin\":\"4321\"}", &p).status, 200);
    EXPECT_EQ(party.post("/api/skip", "{\"pin\":\"4321\"}", &p).status, 200);
    EXPECT_NE(party.control.takerequests() & partycontrol::SKIP, 0);
    EXPECT_EQ(party.post("/api/clear", "{\"pin\":\"4321\"}", &p).status, 200);
    EXPECT_EQ(party.order(), "");
}

TEST(PhoneHost, HostMovesASongToTheFront)
{
    phoneparty party(5);
    phone a = party.newphone("10.0.0.1"), b = party.newphone("10.0.0.2");
    ASSERT_EQ(party.post("/api/queue", queuebody(party.songid("abba"), "Ann"), &a).status, 200);
    ASSERT_EQ(party.post("/api/queue", queuebody(party.songid("queen"), "Ben"), &b).status, 200);
    std::string last = field(party.post("/api/queue", queuebody(party.songid("bjork"), "Ben"), &b).body, "entry");
    EXPECT_EQ(party.post("/api/move", "{\"entry\":" + last + ",\"position\":1,\"pin\":\"4321\"}", &a).status, 200);
    EXPECT_EQ(party.order().substr(0, 9), "Ben:J\xc3\xb3ga");
}

TEST(PhoneHost, ThreeWrongPinsLockThatPhoneOutForAMinute)
{
    phoneparty party;
    phone p = party.newphone(), other = party.newphone("192.168.1.31");
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(party.post("/api/clear", "{\"pin\":\"000" + std::to_string(i) + "\"}", &p).status, 403);
    webanswer locked = party.post("/api/clear", "{\"pin\":\"4321\"}", &p);
    EXPECT_EQ(locked.status, 403);
    EXPECT_NE(locked.body.find("locked"), std::string::npos) << locked.body;
    // Another phone is not locked out.
    EXPECT_EQ(party.post("/api/clear", "{\"pin\":\"4321\"}", &other).status, 200);
    party.now += 55000000000LL;
    EXPECT_EQ(party.post("/api/clear", "{\"pin\":\"4321\"}", &p).status, 403);
    party.now += 6000000000LL;
    EXPECT_EQ(party.post("/api/clear", "{\"pin\":\"4321\"}", &p).status, 200);
}

TEST(PhoneRefusals, EveryRefusalIsA4xxInWordsAndChangesNothing)
{
    phoneparty party;
    phone p = party.newphone();
    long long song = party.songid("abba");
    ASSERT_EQ(party.post("/api/queue", queuebody(song, "Ana"), &p).status, 200);
    unchanged before(party);
    phone notoken = p;
    notoken.token = "";
    phone wrongtoken = p;
    wrongtoken.token = std::string(32, '0');
    phone nosession;
    nosession.token = p.token;
    struct {
        const char* what;
        webanswer got;
        int status;
    } cases[] = {
        {"no token", party.post("/api/queue", queuebody(song, "Ana"), &notoken), 403},
        {"a wrong token", party.post("/api/queue", queuebody(song, "Ana"), &wrongtoken), 403},
        {"no session", party.post("/api/queue", queuebody(song, "Ana"), &nosession), 403},
        {"a GET that tries to change", party.get("/api/skip", &p), 405},
        {"a GET that tries to clear", party.get("/api/clear?pin=4321", &p), 405},
        {"a foreign host", party.post("/api/queue", queuebody(song, "Ana"), &p, "evil.example:8080"), 403},
        {"the right host on another port", party.get("/api/queue", &p, "192.168.1.20:9090"), 403},
        {"no host", party.get("/api/queue", &p, ""), 403},
        {"a path in place of an id", party.post("/api/queue", "{\"song\":\"/etc/passwd\",\"singer\":\"Ana\"}", &p), 400},
        {"an id that is no song", party.post("/api/queue", queuebody(987654, "Ana"), &p), 404},
        {"no name", party.post("/api/queue", queuebody(song, "  "), &p), 400},
        {"a name of 41 characters", party.post("/api/queue", queuebody(song, std::string(41, 'x')), &p), 400},
        {"a name with a control character", party.post("/api/queue", queuebody(song, "A\x01na"), &p), 400},
        {"a key out of range", party.post("/api/queue", "{\"song\":1,\"singer\":\"A\",\"key\":9}", &p), 400},
        {"not JSON", party.post("/api/queue", "song=1&singer=Ana", &p), 400},
        {"a nested object", party.post("/api/queue", "{\"song\":{\"id\":1},\"singer\":\"Ana\"}", &p), 400},
        {"an unknown path", party.get("/etc/passwd", &p), 404},
        {"a file by name", party.get("/page.html", &p), 404},
        {"a parent folder", party.get("/../party.db", &p), 404},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got.status, c.status) << c.what << ": " << c.got.body;
        std::string error = field(c.got.body, "error");
        EXPECT_GT(error.size(), 8u) << c.what << ": " << c.got.body;
        EXPECT_EQ(c.got.type, "application/json") << c.what;
    }
    before.check("after the refusals");

    // The body limit: the server marks a body past 4 KB; the interface refuses it whatever it holds.
    webrequest big;
    big.method = "POST";
    big.path = "/api/queue";
    big.host = "localhost:8080";
    big.cookie = p.cookie;
    big.token = p.token;
    big.body = queuebody(song, "Ana");
    big.bodytoolarge = true;
    EXPECT_EQ(party.api->handle(big, party.now += 200000000).status, 413);
    before.check("after an oversized body");
    // localhost and 127.0.0.1 with the port are the party's own.
    EXPECT_EQ(party.get("/api/queue", &p, "localhost:8080").status, 200);
    EXPECT_EQ(party.get("/api/queue", &p, "127.0.0.1:8080").status, 200);
    EXPECT_EQ(party.get("/api/queue", &p, "PartyHost:8080").status, 200);
}

TEST(PhoneRefusals, NameOfFortyCharactersIsTakenFortyOneIsNot)
{
    phoneparty party;
    phone p = party.newphone();
    std::string forty;
    for (int i = 0; i < 40; i++)
        forty += "\xc3\xb6";  // 80 bytes, 40 characters
    EXPECT_EQ(party.post("/api/queue", queuebody(party.songid("abba"), forty), &p).status, 200);
    EXPECT_EQ(party.post("/api/queue", queuebody(party.songid("abba"), forty + "x"), &p).status, 400);
}

TEST(PhoneRefusals, TooManySongsForOneGuest)
{
    phoneparty party;
    phone p = party.newphone(), other = party.newphone("192.168.1.31");
    long long song = party.songid("abba");
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(party.post("/api/queue", queuebody(song, "Ana"), &p).status, 200);
    unchanged before(party);
    webanswer a = party.post("/api/queue", queuebody(song, "Ana"), &p);
    EXPECT_EQ(a.status, 409);
    EXPECT_NE(field(a.body, "error").find("3 songs"), std::string::npos) << a.body;
    before.check("a fourth song");
    // Another phone still may; and once one of Ana's is gone, Ana may again.
    EXPECT_EQ(party.post("/api/queue", queuebody(song, "Bo"), &other).status, 200);
    std::string first = std::to_string(party.store->queue()[0].entry);
    EXPECT_EQ(party.post("/api/remove", "{\"entry\":" + first + "}", &p).status, 200);
    EXPECT_EQ(party.post("/api/queue", queuebody(song, "Ana"), &p).status, 200);
}

TEST(PhoneRefusals, TooManyRequestsFromOnePhone)
{
    phoneparty party;
    phone p = party.newphone(), other = party.newphone("192.168.1.31");
    webrequest r;
    r.method = "GET";
    r.path = "/api/queue";
    r.host = "192.168.1.20:8080";
    r.cookie = p.cookie;
    long long t = party.now + 2000000000LL;
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(party.api->handle(r, t + i * 50000000LL).status, 200) << i;
    webanswer refused = party.api->handle(r, t + 600000000LL);
    EXPECT_EQ(refused.status, 429);
    EXPECT_FALSE(field(refused.body, "error").empty());
    // Another phone is not slowed down, and this one is answered again a second after its first.
    r.cookie = other.cookie;
    EXPECT_EQ(party.api->handle(r, t + 600000000LL).status, 200);
    r.cookie = p.cookie;
    EXPECT_EQ(party.api->handle(r, t + 1000000000LL).status, 200);
}

TEST(PhoneSessions, OneAddressCannotCrowdOutOtherPhones)
{
    phoneparty party;
    phone kept = party.newphone("192.168.1.40");
    for (int i = 0; i < 30; i++)
        party.newphone("192.168.1.66");
    EXPECT_EQ(party.post("/api/queue", queuebody(party.songid("abba"), "Kim"), &kept).status, 200);
    // A reload keeps the session: the same token, no new cookie.
    webanswer again = party.get("/api/session", &kept);
    EXPECT_EQ(field(again.body, "token"), kept.token);
    EXPECT_EQ(again.setcookie, "");
}
