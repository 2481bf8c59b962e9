// The phone page under load: 50 phones reading the queue every 2 s and 10 searching as they type, all
// on loopback against the party's web server with a real store, for a bounded time. Prints the answer
// times (99th percentile), the memory the server adds, and the lag of a song's lines timed with "at"
// with and without the phones.
//   tralune-bench-phones [SECONDS]     seconds of load per run (default 20, at most 120)
#include "common.h"
#include "pagefiles.h"
#include "phoneapi.h"
#include "web.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

using namespace bench;

namespace {

// Resident memory of this process in kB, from /proc.
long residentkb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return atol(line.c_str() + 6);
    return 0;
}

// One phone: a kept-alive connection from its own loopback address (each phone of a party has its own
// address, which the server's per-address limits count), with its session.
struct client {
    int fd = -1;
    int port;
    std::string source, cookie, token;
    explicit client(int port_, int n) : port(port_)
    {
        source = "127.0.1." + std::to_string(n + 1);
    }
    ~client() { if (fd >= 0) close(fd); }
    bool connectnow()
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in from{}, to{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, source.c_str(), &from.sin_addr);
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0
               && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    // One request and its answer; the status, 0 when the connection failed. Reads the headers and
    // then Content-Length bytes.
    int request(const std::string& method, const std::string& path, const std::string& body, std::string* setcookie,
                std::string* answer)
    {
        if (fd < 0 && !connectnow())
            return 0;
        std::string r = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
        if (!cookie.empty())
            r += "Cookie: tralune_phone=" + cookie + "\r\n";
        if (method == "POST")
            r += "X-Token: " + token + "\r\nContent-Type: application/json\r\nContent-Length: "
                 + std::to_string(body.size()) + "\r\n";
        r += "\r\n" + body;
        if (send(fd, r.data(), r.size(), MSG_NOSIGNAL) != ssize_t(r.size()))
            return 0;
        std::string in;
        char buf[16384];
        size_t headend = std::string::npos, want = 0;
        while (headend == std::string::npos || in.size() < headend + 4 + want) {
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                close(fd);
                fd = -1;
                return 0;
            }
            in.append(buf, size_t(n));
            if (headend == std::string::npos && (headend = in.find("\r\n\r\n")) != std::string::npos) {
                size_t cl = in.find("Content-Length: ");
                want = cl < headend ? size_t(atol(in.c_str() + cl + 16)) : 0;
            }
        }
        if (setcookie) {
            size_t c = in.find("Set-Cookie: tralune_phone=");
            if (c != std::string::npos)
                *setcookie = in.substr(c + 26, in.find(';', c) - c - 26);
        }
        if (answer)
            *answer = in.substr(headend + 4);
        return atoi(in.c_str() + 9);
    }
    bool startsession()
    {
        std::string body;
        if (request("GET", "/api/session", "", &cookie, &body) != 200)
            return false;
        size_t t = body.find("\"token\":\"");
        token = body.substr(t + 9, 32);
        return true;
    }
};

// Answer times in seconds, by kind.
struct timings {
    std::mutex lock;
    std::vector<double> queue, search;
    int refused = 0, failed = 0;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
}

const char* words[] = {"a", "ab", "abb", "love", "lo", "the", "th", "night", "ni", "my", "heart", "he", "blue",
                       "bl", "song", "so", "rock", "ro", "baby", "ba"};

// Runs 50 readers and 10 searchers for seconds against port. With quiet, the phones' threads run at the
// lowest priority: they stand for other devices, whose work is not the party machine's.
void load(int port, double seconds, timings& t, bool quiet)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> phones;
    for (int n = 0; n < 60; n++)
        phones.emplace_back([&, n] {
            if (quiet)
                setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 19);
            client c(port, n);
            if (!c.startsession()) {
                std::lock_guard<std::mutex> hold(t.lock);
                t.failed++;
                return;
            }
            bool searcher = n >= 50;
            // Readers start spread over the first 2 s, as phones open the page at different moments.
            double next = monotonic() + (searcher ? 0.03 * (n - 50) : 2.0 * n / 50);
            double end = monotonic() + seconds;
            int step = 0;
            while (!stop && next < end) {
                double now = monotonic();
                if (next > now)
                    usleep(useconds_t((next - now) * 1e6));
                std::string path = searcher ? "/api/songs?q=" + std::string(words[(n * 7 + step) % 20]) : "/api/queue";
                double t0 = monotonic();
                int status = c.request("GET", path, "", nullptr, nullptr);
                double took = monotonic() - t0;
                {
                    std::lock_guard<std::mutex> hold(t.lock);
                    if (status == 200)
                        (searcher ? t.search : t.queue).push_back(took);
                    else if (status == 0)
                        t.failed++;
                    else
                        t.refused++;
                }
                step++;
                // A searcher types on: a request every 0.3 s, the page's pause in typing.
                next += searcher ? 0.3 : 2.0;
            }
        });
    for (auto& p : phones)
        p.join();
}

// A song of `lines` text lines timed with "at" over `seconds` of song, and a one-line script that only
// waits for the same song time; run side by side, the first's time beyond the second's is the lag of
// its last line.
double songlagonce(double seconds, int lines)
{
    std::string timed;
    for (int i = 1; i <= lines; i++)
        timed += std::string("text(") + lyrics[i % 8] + ")\n" + fmt("at(%.3f)\n", seconds * i / lines);
    Stage a, b;
    writefile(a.work("font.pcx"), encodepcx(benchFont()));
    writefile(b.work("font.pcx"), encodepcx(benchFont()));
    a.dir.write("work/script.txt", timed);
    b.dir.write("work/script.txt", fmt("at(%.3f)\n", seconds));
    Run ra, rb;
    std::thread other([&] { rb = runprogram(b, TRALUNE_BINARY, {"script.txt"}, false); });
    ra = runprogram(a, TRALUNE_BINARY, {"script.txt"}, false);
    other.join();
    if (ra.status != 0 || rb.status != 0)
        die("a song run failed:\n" + ra.output + rb.output);
    return ra.seconds - rb.seconds;
}

// A library of count LRC songs with made-up names.
void makelibrary(const std::string& folder, int count)
{
    mkdir(folder.c_str(), 0755);
    const char* first[] = {"Love", "Night", "Blue", "Heart", "Baby", "Rock", "Song", "Dream", "Fire", "Rain"};
    const char* second[] = {"Again", "Tonight", "Forever", "Away", "Home", "Road", "Light", "Dance", "Town", "Sky"};
    for (int i = 0; i < count; i++) {
        std::string stem = "Artist " + std::to_string(i % 300) + " - " + first[i % 10] + " " + second[(i / 10) % 10]
                           + " " + std::to_string(i);
        writefile(folder + "/" + stem + ".lrc", std::vector<uint8_t>{'[', '0', '0', ':', '0', '1', '.', '0', '0', ']', 'l', 'a', '\n'});
        writefile(folder + "/" + stem + ".mp3", {});
    }
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::max(5.0, std::min(120.0, atof(argv[1]))) : 20;
    ScratchDir dir;
    makelibrary(dir / "songs", 5000);
    std::string why;
    auto store = partystore::open(dir / "data", why);
    if (!store)
        die("store: " + why);
    if (!store->scan({dir / "songs"}, nameorder::artisttitle, nullptr))
        die("scan: " + store->error());
    auto songs = store->search("love", 20);
    for (size_t i = 0; i < songs.size(); i++)
        store->enqueue(songs[i].id, "Singer " + std::to_string(i % 7));
    partycontrol control;

    long before = residentkb();
    int port = freeloopbackport();
    phonesettings set;
    set.port = port;
    set.pin = "1234";
    set.files = pagefiles();
    phoneapi api(*store, control, set);
    webserver server(api);
    if (!server.start(port, true, why))
        die(why);

    printf("load average at start: %s", readtext("/proc/loadavg").c_str());
    printf("phones: 5000 songs, %zu queued; 50 phones reading the queue every 2 s and 10 searching every 0.3 s, "
           "%.0f s, loopback\n", songs.size(), seconds);
    fflush(stdout);
    timings t;
    long peak = residentkb();
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            peak = std::max(peak, residentkb());
            usleep(100000);
        }
    });
    // The answer times, with the phones' threads at the same priority as everything else here.
    load(port, seconds, t, false);
    // The song's lines with the phones, then without, three times in turn; the answers of these runs
    // are not counted.
    std::vector<double> lagwith, lagwithout;
    const double songseconds = 30;
    for (int r = 0; r < 3; r++) {
        timings ignored;
        std::thread phones([&] { load(port, songseconds + 3, ignored, true); });
        usleep(1500000);
        lagwith.push_back(songlagonce(songseconds, 100));
        phones.join();
        lagwithout.push_back(songlagonce(songseconds, 100));
    }
    sampling = false;
    sampler.join();

    double q99 = percentile(t.queue, 0.99), s99 = percentile(t.search, 0.99);
    std::vector<double> all = t.queue;
    all.insert(all.end(), t.search.begin(), t.search.end());
    double a99 = percentile(all, 0.99);
    printf("answers: %zu queue reads (median %.2f ms, 99th %.2f ms, most %.2f ms), %zu searches (median %.2f ms, "
           "99th %.2f ms, most %.2f ms); %d refused, %d failed\n",
           t.queue.size(), percentile(t.queue, 0.5) * 1e3, q99 * 1e3, percentile(t.queue, 1) * 1e3, t.search.size(),
           percentile(t.search, 0.5) * 1e3, s99 * 1e3, percentile(t.search, 1) * 1e3, t.refused, t.failed);
    table.push_back({"phones: 99th percentile of an answer (all)", fmt("%.2f ms", a99 * 1e3), "-", "-", "< 50 ms", a99 < 0.05});
    table.push_back({"phones: 99th percentile, queue reads / searches", fmt("%.2f", q99 * 1e3) + fmt(" / %.2f ms", s99 * 1e3),
                     "-", "-", "-", true});
    printf("song lag, each run with phones / without:");
    for (size_t i = 0; i < lagwith.size(); i++)
        printf(" %.1f / %.1f ms;", lagwith[i] * 1e3, lagwithout[i] * 1e3);
    printf("\n");
    double lw = median(lagwith), lo = median(lagwithout);
    table.push_back({"lag of the last of 100 at() lines over 30 s, with phones vs without", fmt("%.1f ms", lw * 1e3),
                     fmt("%.1f ms", lo * 1e3), fmt("%+.1f ms", (lw - lo) * 1e3), "no worse", lw - lo < 0.005});
    double added = (peak - before) / 1024.0;
    table.push_back({"phones: resident memory the server adds (peak under load)", fmt("%.1f MB", added), "-", "-",
                     "< 8 MB", added < 8});
    printtable();
    return 0;
}
