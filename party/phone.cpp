// The phone page as the party program runs it.
#include "phone.h"

#include "netaddr.h"
#include "pagefiles.h"

#include <unistd.h>

#include <cstdlib>

namespace {

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

bool phonepage::start(partystore& store, partycontrol& control, const partyoptions& o, std::string& why)
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
