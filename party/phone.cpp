// The phone page as the party program runs it.
#include "phone.h"

#include "netaddr.h"
#include "pagefiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const PHONE_HELP =
    "  --port N         serve the phone page on port N (default 8080)\n"
    "  --no-web         no phone page\n"
    "  --url URL        the page's address to show, where phones reach this machine another way\n"
    "  --pin NNNN       the host's PIN for the page's host controls (default: four random digits)\n"
    "  --per-guest N    songs one phone may have in the queue at once (default 3)\n";

namespace {

bool wholenumber(const char* text, long low, long high, int& out)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    long n = strtol(text, &end, 10);
    if (*end || errno || n < low || n > high)
        return false;
    out = int(n);
    return true;
}

// The host and port of a URL as a Host header names them: "http://party.lan/" -> "party.lan".
std::string urlhost(const std::string& url)
{
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    std::string host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t at = host.rfind('@');
    return at == std::string::npos ? host : host.substr(at + 1);
}

} // namespace

int phoneoption(int argc, char** argv, int& i, phoneoptions& o, std::string& why)
{
    std::string arg = argv[i];
    std::string name = arg, value;
    bool inline_ = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inline_ = true;
    }
    if (name == "--no-web" && !inline_) {
        o.web = false;
        return 1;
    }
    if (name != "--port" && name != "--url" && name != "--pin" && name != "--per-guest")
        return 0;
    if (!inline_) {
        if (i + 1 >= argc) {
            why = name + " needs a value";
            return -1;
        }
        value = argv[++i];
    }
    if (name == "--port" && !wholenumber(value.c_str(), 1, 65535, o.port)) {
        why = "--port takes a port number from 1 to 65535, not \"" + value + "\"";
        return -1;
    }
    if (name == "--per-guest" && !wholenumber(value.c_str(), 1, 100, o.perguest)) {
        why = "--per-guest takes a number of songs from 1 to 100, not \"" + value + "\"";
        return -1;
    }
    if (name == "--pin") {
        if (value.size() != 4 || value.find_first_not_of("0123456789") != std::string::npos) {
            why = "--pin takes four digits";
            return -1;
        }
        o.pin = value;
    }
    if (name == "--url") {
        if ((value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0) || urlhost(value).empty()) {
            why = "--url takes an address starting with http:// or https://, not \"" + value + "\"";
            return -1;
        }
        o.url = value;
    }
    return 1;
}

bool phonepage::start(partystore& store, partycontrol& control, const phoneoptions& o, std::string& why)
{
    stop();
    if (!o.web)
        return true;
    std::string here = localaddress();
    std::string port = std::to_string(o.port);
    phonesettings s;
    s.port = o.port;
    s.pin = o.pin.empty() ? randompin() : o.pin;
    s.perguest = o.perguest;
    s.files = pagefiles();
    s.hosts.push_back(here + ":" + port);
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) == 0 && name[0]) {
        s.hosts.push_back(std::string(name) + ":" + port);
        s.hosts.push_back(std::string(name) + ".local:" + port);
    }
    if (!o.url.empty()) {
        std::string h = urlhost(o.url);
        // https:// behind a proxy on its default port names no port.
        if (o.url.rfind("https://", 0) == 0 && h.find(':') == std::string::npos)
            h += ":443";
        s.hosts.push_back(h);
    }
    hostpin = s.pin;
    api = std::make_unique<phoneapi>(store, control, s);
    server = std::make_unique<webserver>(*api);
    if (!server->start(o.port, false, why)) {
        server.reset();
        api.reset();
        return false;
    }
    address = o.url.empty() ? "http://" + here + ":" + port + "/" : o.url;
    if (!makeqrcode(address, qr))
        qr = qrcode();
    return true;
}

void phonepage::stop()
{
    server.reset();
    api.reset();
    address.clear();
    qr = qrcode();
}

std::string phonepage::terminallines() const
{
    if (!server)
        return "";
    return "Phones: " + address + "\nHost PIN: " + hostpin + "\n";
}

int phonepage::drawcode(pixel* frame, int x, int y, int box) const
{
    if (!server)
        return 0;
    return drawqrcode(frame, qr, x, y, box);
}
