// Addresses of networked ports: which texts are addresses, their parts, and the errors of the
// ones that are not right.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/net_address.h"
#include "support/row_name.h"

namespace ovx::platform::detail {
namespace {

struct GoodRow {
    const char* name;
    std::string text;
    NetProtocol protocol;
    std::string host;
    std::string port;
};

void PrintTo(const GoodRow& row, std::ostream* os) {
    *os << row.name;
}

class NetAddressGood : public ::testing::TestWithParam<GoodRow> {};

TEST_P(NetAddressGood, SplitsIntoProtocolHostAndPort) {
    const GoodRow& row = GetParam();
    NetAddress a;
    std::string error;
    ASSERT_TRUE(ParseNetAddress(row.text, a, error)) << error;
    EXPECT_TRUE(IsNetAddress(row.text));
    EXPECT_EQ(a.protocol, row.protocol);
    EXPECT_EQ(a.host, row.host);
    EXPECT_EQ(a.port, row.port);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetAddressGood,
    ::testing::Values(
        GoodRow{"RawIpv4", "tcp://127.0.0.1:7001", NetProtocol::kRawTcp, "127.0.0.1", "7001"},
        GoodRow{"Rfc2217Name", "rfc2217://devsrv-3.plant:2001", NetProtocol::kRfc2217,
                "devsrv-3.plant", "2001"},
        GoodRow{"Ipv6", "tcp://[::1]:23", NetProtocol::kRawTcp, "::1", "23"},
        GoodRow{"LowestPort", "tcp://h:1", NetProtocol::kRawTcp, "h", "1"},
        GoodRow{"HighestPort", "rfc2217://h:65535", NetProtocol::kRfc2217, "h", "65535"}),
    testing::RowName());

struct BadRow {
    const char* name;
    std::string text;
    std::string error;
};

void PrintTo(const BadRow& row, std::ostream* os) {
    *os << row.name;
}

class NetAddressBad : public ::testing::TestWithParam<BadRow> {};

TEST_P(NetAddressBad, IsRefusedWithItsReason) {
    const BadRow& row = GetParam();
    NetAddress a;
    std::string error;
    EXPECT_FALSE(ParseNetAddress(row.text, a, error));
    EXPECT_EQ(error, row.error);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetAddressBad,
    ::testing::Values(
        BadRow{"NoPort", "tcp://host", "no port number in tcp://host (tcp://HOST:PORT)"},
        BadRow{"EmptyPort", "tcp://host:", "no port number in tcp://host: (tcp://HOST:PORT)"},
        BadRow{"NoHost", "rfc2217://:7001", "no host in rfc2217://:7001 (rfc2217://HOST:PORT)"},
        BadRow{"Nothing", "tcp://", "no host in tcp:// (tcp://HOST:PORT)"},
        BadRow{"PortZero", "tcp://h:0",
               "the port must be a number 1 to 65535 in tcp://h:0 (tcp://HOST:PORT)"},
        BadRow{"PortTooHigh", "tcp://h:65536",
               "the port must be a number 1 to 65535 in tcp://h:65536 (tcp://HOST:PORT)"},
        BadRow{"PortLong", "tcp://h:0000007001",
               "the port must be a number 1 to 65535 in tcp://h:0000007001 (tcp://HOST:PORT)"},
        BadRow{"PortText", "tcp://h:telnet",
               "the port must be a number 1 to 65535 in tcp://h:telnet (tcp://HOST:PORT)"},
        BadRow{"PathAfterPort", "tcp://h:7001/x",
               "the port must be a number 1 to 65535 in tcp://h:7001/x (tcp://HOST:PORT)"},
        BadRow{"HostWithSlash", "tcp://a/b:1",
               "the host \"a/b\" is no host name or address in tcp://a/b:1 (tcp://HOST:PORT)"},
        BadRow{"Ipv6Unclosed", "tcp://[::1:23",
               "unclosed [ around the host in tcp://[::1:23 (tcp://HOST:PORT)"},
        BadRow{"Ipv6NoPort", "tcp://[::1]", "no port number in tcp://[::1] (tcp://HOST:PORT)"},
        BadRow{"BracketsNoIpv6", "tcp://[host]:1",
               "no IPv6 address in the brackets in tcp://[host]:1 (tcp://HOST:PORT)"},
        BadRow{"OtherScheme", "udp://h:1",
               "udp://h:1 is no network address (tcp://HOST:PORT or rfc2217://HOST:PORT)"}),
    testing::RowName());

struct KindRow {
    const char* name;
    std::string text;
    bool network;
};

void PrintTo(const KindRow& row, std::ostream* os) {
    *os << row.name;
}

class NetAddressKind : public ::testing::TestWithParam<KindRow> {};

TEST_P(NetAddressKind, IsToldFromADevicePath) {
    EXPECT_EQ(IsNetAddress(GetParam().text), GetParam().network);
}

INSTANTIATE_TEST_SUITE_P(Rows, NetAddressKind,
                         ::testing::Values(KindRow{"Device", "/dev/ttyUSB0", false},
                                           KindRow{"Com", "COM3", false},
                                           KindRow{"Tcp", "tcp://x", true},
                                           KindRow{"Rfc2217", "rfc2217://", true},
                                           KindRow{"UpperCaseIsAPath", "TCP://h:1", false},
                                           KindRow{"RelativePathLike", "./tcp://h:1", false}),
                         testing::RowName());

} // namespace
} // namespace ovx::platform::detail
