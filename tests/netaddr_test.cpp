// The address phones reach: the default route's interface and its address.
#include "netaddr.h"

#include <gtest/gtest.h>

namespace {
const char* HEAD = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
}

TEST(NetAddr, DefaultRouteWithTheLowestMetricWins)
{
    // A container bridge listed first, a wireless default route with a high metric and a wired one.
    std::string table = std::string(HEAD)
        + "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
        + "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        + "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        + "eth0\t0000000A\t00000000\t0001\t0\t0\t100\t000000FF\t0\t0\t0\n";
    EXPECT_EQ(defaultrouteinterface(table), "eth0");
}

TEST(NetAddr, RoutesThatAreDownOrNotDefaultAreIgnored)
{
    std::string table = std::string(HEAD)
        + "eth0\t00000000\t0100000A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"      // not up
        + "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t50\t00FFFFFF\t0\t0\t0\n";   // a mask: not default
    EXPECT_EQ(defaultrouteinterface(table), "");
    EXPECT_EQ(defaultrouteinterface(""), "");
    EXPECT_EQ(defaultrouteinterface("garbage\nmore garbage here\n"), "");
}

TEST(NetAddr, TheDefaultRoutesAddressNotTheFirstListed)
{
    std::vector<ifaddress> all = {
        {"lo", "127.0.0.1", true, true},
        {"docker0", "172.17.0.1", true, false},
        {"wlan0", "192.168.1.20", true, false},
    };
    EXPECT_EQ(pickaddress(all, "wlan0"), "192.168.1.20");
    // Without a default route: the first address that is up and not the loopback.
    EXPECT_EQ(pickaddress(all, ""), "172.17.0.1");
    all[1].up = false;
    EXPECT_EQ(pickaddress(all, "eth9"), "192.168.1.20");
    EXPECT_EQ(pickaddress({{"lo", "127.0.0.1", true, true}}, ""), "127.0.0.1");
    EXPECT_EQ(pickaddress({}, ""), "127.0.0.1");
}
