// The machine's address on the local network as phones reach it: the IPv4 address of the interface
// that holds the default route, which is where a phone on the same network comes from.
#ifndef TRALUNE_NETADDR_H
#define TRALUNE_NETADDR_H

#include <string>
#include <string_view>
#include <vector>

// One IPv4 address of one interface, as getifaddrs lists them.
struct ifaddress {
    std::string name;     // "wlan0"
    std::string address;  // "192.168.1.20"
    bool up = false;
    bool loopback = false;
};

// The interface of the default route in a routing table in the form of /proc/net/route: among the
// lines whose destination and mask are both 0 and whose route is up, the one with the lowest metric
// (the kernel's choice). "" when there is none or the text is not such a table.
std::string defaultrouteinterface(std::string_view routetable);

// The address to give phones: the first address of routeinterface that is up; without one (no
// default route, or that interface has no IPv4 address), the first address that is up and not the
// loopback; without that, "127.0.0.1". A machine with a wired and a wireless interface, or with a
// container bridge, lists several, and the first one listed is often not the one phones reach.
std::string pickaddress(const std::vector<ifaddress>& all, const std::string& routeinterface);

// pickaddress over this machine's /proc/net/route and getifaddrs. Never fails: "127.0.0.1" when
// nothing better is known.
std::string localaddress();

#endif
