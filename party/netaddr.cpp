// The machine's address on the local network: the default route's interface and its IPv4 address.
#include "netaddr.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <climits>
#include <fstream>
#include <sstream>

std::string defaultrouteinterface(std::string_view routetable)
{
    std::istringstream in{std::string(routetable)};
    std::string line;
    std::string best;
    long bestmetric = LONG_MAX;
    // The first line names the columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, refcnt, use, metric, mask;
        if (!(fields >> name >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask))
            continue;
        const unsigned long RTF_UP_FLAG = 1;
        char* end = nullptr;
        unsigned long f = strtoul(flags.c_str(), &end, 16);
        if (*end || !(f & RTF_UP_FLAG) || destination != "00000000" || mask != "00000000")
            continue;
        long m = strtol(metric.c_str(), &end, 10);
        if (*end || m < 0)
            continue;
        if (m < bestmetric) {
            bestmetric = m;
            best = name;
        }
    }
    return best;
}

std::string pickaddress(const std::vector<ifaddress>& all, const std::string& routeinterface)
{
    if (!routeinterface.empty())
        for (const auto& a : all)
            if (a.name == routeinterface && a.up)
                return a.address;
    for (const auto& a : all)
        if (a.up && !a.loopback)
            return a.address;
    return "127.0.0.1";
}

std::string localaddress()
{
    std::ifstream routes("/proc/net/route");
    std::stringstream table;
    table << routes.rdbuf();
    std::vector<ifaddress> all;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN];
            auto* in4 = reinterpret_cast<sockaddr_in*>(i->ifa_addr);
            if (!inet_ntop(AF_INET, &in4->sin_addr, text, sizeof text))
                continue;
            ifaddress a;
            a.name = i->ifa_name;
            a.address = text;
            a.up = (i->ifa_flags & IFF_UP) && (i->ifa_flags & IFF_RUNNING);
            a.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
            all.push_back(a);
        }
        freeifaddrs(list);
    }
    return pickaddress(all, defaultrouteinterface(table.str()));
}
