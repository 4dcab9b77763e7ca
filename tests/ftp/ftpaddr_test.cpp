// The texts that say where a data connection goes. Expected values are worked by hand from the
// replies of real servers (vsftpd, ProFTPD, Pure-FTPd, IIS, pyftpdlib) and the examples of RFC 959
// and RFC 2428.
#include "ftp/ftpaddr.h"

#include <gtest/gtest.h>

namespace {

TEST(PortArgument, AddressCommasThenHighAndLowByteOfThePort) {
    EXPECT_EQ(PortArgument("192.168.1.5", 4660), "192,168,1,5,18,52");
    EXPECT_EQ(PortArgument("127.0.0.1", 255), "127,0,0,1,0,255");
    EXPECT_EQ(PortArgument("127.0.0.1", 256), "127,0,0,1,1,0");
    EXPECT_EQ(PortArgument("10.0.0.1", 65535), "10,0,0,1,255,255");
}

TEST(EprtArgument, FamilyAddressAndDecimalPortBetweenBars) {
    // The two examples of RFC 2428.
    EXPECT_EQ(EprtArgument("132.235.1.2", 6275), "|1|132.235.1.2|6275|");
    EXPECT_EQ(EprtArgument("1080::8:800:200c:417a", 5282), "|2|1080::8:800:200c:417a|5282|");
    EXPECT_EQ(EprtArgument("::1", 1), "|2|::1|1|");
}

TEST(ParsePasvReply, FindsTheSixNumbersWhereverTheServerPutsThem) {
    const struct {
        const char* reply;
        const char* address; // nullptr: no endpoint
        std::uint16_t port;
    } rows[] = {
        {"227 Entering Passive Mode (192,168,1,5,18,52).", "192.168.1.5", 4660},
        {"227 Entering Passive Mode (127,0,0,1,195,149)", "127.0.0.1", 50069},
        {"227 Entering Passive Mode 10,0,0,7,4,1", "10.0.0.7", 1025},
        {"227 =203,0,113,9,0,21", "203.0.113.9", 21},
        {"227 Entering Passive Mode (192, 168, 1, 5, 18, 52)", "192.168.1.5", 4660},
        {"227 Passive (port 2 of 3) 192,0,2,1,7,208 ok", "192.0.2.1", 2000},
        {"227 0,0,0,0,255,255", "0.0.0.0", 65535},
        // Not an endpoint.
        {"227 Entering Passive Mode", nullptr, 0},
        {"227 Entering Passive Mode (192,168,1,5,18)", nullptr, 0},
        {"227 Entering Passive Mode (192,168,1,256,18,52)", nullptr, 0},
        {"227 Entering Passive Mode (192,168,1,5,0,0)", nullptr, 0},
        {"227 Entering Passive Mode (1192,168,1,5,18,52)", nullptr, 0},
        {"227 Entering Passive Mode (192,168,1,5,18,52", "192.168.1.5", 4660},
        {"227 Entering Passive Mode (a,b,c,d,e,f)", nullptr, 0},
        {"227", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        const std::optional<TPassiveEndpoint> got = ParsePasvReply(row.reply);
        if (!row.address) {
            EXPECT_FALSE(got.has_value());
            continue;
        }
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->address, row.address);
        EXPECT_EQ(got->port, row.port);
    }
}

TEST(ParseEpsvReply, TakesThePortBetweenTheDelimiters) {
    const struct {
        const char* reply;
        int port; // -1: none
    } rows[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", 6446},
        {"229 Entering Extended Passive Mode (|||65535|).", 65535},
        {"229 Entering Extended Passive Mode (!!!1025!)", 1025},
        {"229 (|||21|)", 21},
        {"229 Entering Extended Passive Mode (|||0|)", -1},
        {"229 Entering Extended Passive Mode (|||65536|)", -1},
        {"229 Entering Extended Passive Mode (|||6446)", -1},
        {"229 Entering Extended Passive Mode (||6446|)", -1},
        {"229 Entering Extended Passive Mode (|1|::1|6446|)", -1},
        {"229 Entering Extended Passive Mode (1116461)", -1},
        {"229 Entering Extended Passive Mode |||6446|", -1},
        {"229 Entering Extended Passive Mode (|||", -1},
        {"229 Entering Extended Passive Mode (", -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        const std::optional<std::uint16_t> got = ParseEpsvReply(row.reply);
        if (row.port < 0) {
            EXPECT_FALSE(got.has_value());
        } else {
            ASSERT_TRUE(got.has_value());
            EXPECT_EQ(*got, row.port);
        }
    }
}

TEST(PassiveAddress, AnAddressOnlyTheServerSideReachesGivesWayToTheControlPeer) {
    const struct {
        const char* offered;
        const char* peer;
        const char* used;
    } rows[] = {
        // A server reached over the internet, behind a router.
        {"192.168.1.5", "203.0.113.7", "203.0.113.7"},
        {"10.1.2.3", "203.0.113.7", "203.0.113.7"},
        {"172.16.0.9", "203.0.113.7", "203.0.113.7"},
        {"172.31.255.1", "203.0.113.7", "203.0.113.7"},
        {"100.64.0.1", "203.0.113.7", "203.0.113.7"},
        {"169.254.10.10", "203.0.113.7", "203.0.113.7"},
        {"127.0.0.1", "203.0.113.7", "203.0.113.7"},
        {"0.0.0.0", "203.0.113.7", "203.0.113.7"},
        // Public addresses are taken as they are, also another host's (a separate data host).
        {"203.0.113.7", "203.0.113.7", "203.0.113.7"},
        {"198.51.100.20", "203.0.113.7", "198.51.100.20"},
        {"172.32.0.1", "203.0.113.7", "172.32.0.1"}, // just outside 172.16/12
        // A server on the local network names its own private address: kept.
        {"192.168.1.5", "192.168.1.5", "192.168.1.5"},
        {"192.168.1.6", "192.168.1.5", "192.168.1.6"},
        {"198.51.100.20", "192.168.1.5", "198.51.100.20"},
        {"127.0.0.1", "192.168.1.5", "192.168.1.5"},
        {"0.0.0.0", "192.168.1.5", "192.168.1.5"},
        // A server on this machine: its data port is reached over loopback as well.
        {"127.0.0.1", "127.0.0.1", "127.0.0.1"},
        {"127.0.0.2", "127.0.0.1", "127.0.0.2"},
        {"192.168.1.5", "127.0.0.1", "127.0.0.1"},
        {"203.0.113.7", "127.0.0.1", "127.0.0.1"},
        {"0.0.0.0", "127.0.0.1", "127.0.0.1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.offered) + " from " + row.peer);
        EXPECT_EQ(PassiveAddress(row.offered, row.peer), row.used);
    }
}

} // namespace
