// The daemon's TCP port as a transport: which addresses name it, and a
// connection that cannot be made. (Conversations over it run against the
// daemon in the integration tests, and under Wine in the Windows ones.)

#include "device/sim/TcpSimTransport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace qv::sim {
namespace {

using namespace std::chrono_literals;

TEST(TcpSimTransportTest, OnlyTcpHostColonPortOneTo65535IsAnAddress) {
    EXPECT_TRUE(IsTcpSimAddress("tcp:127.0.0.1:4000"));
    EXPECT_TRUE(IsTcpSimAddress("tcp:localhost:65535"));
    EXPECT_FALSE(IsTcpSimAddress("tcp:127.0.0.1:0"));
    EXPECT_FALSE(IsTcpSimAddress("tcp:127.0.0.1:65536"));
    EXPECT_FALSE(IsTcpSimAddress("tcp:127.0.0.1:"));
    EXPECT_FALSE(IsTcpSimAddress("tcp::4000"));
    EXPECT_FALSE(IsTcpSimAddress("tcp:127.0.0.1:40x0"));
    EXPECT_FALSE(IsTcpSimAddress("127.0.0.1:4000"));
    EXPECT_FALSE(IsTcpSimAddress("/run/user/0/quorvane-sim.sock"));
}

TEST(TcpSimTransportTest, ConnectingNamesTheAddressInItsReasons) {
    std::string error;
    EXPECT_EQ(MakeTcpSimTransport("tcp:127.0.0.1:0")->Connect(1000ms, error), nullptr);
    EXPECT_EQ(error, "connect(tcp:127.0.0.1:0): not a simulator address (tcp:HOST:PORT)");
    EXPECT_EQ(MakeTcpSimTransport("tcp:nowhere.invalid:4000")->Connect(1000ms, error), nullptr);
    EXPECT_EQ(error, "connect(tcp:nowhere.invalid:4000): not an IPv4 address: nowhere.invalid");
    // Port 1 on loopback: nothing listens there.
    const auto transport = MakeTcpSimTransport("tcp:localhost:1");
    EXPECT_EQ(transport->Address(), "tcp:localhost:1");
    EXPECT_EQ(transport->Connect(5000ms, error), nullptr);
    EXPECT_EQ(error.rfind("connect(tcp:localhost:1): ", 0), 0u) << error;
}

}  // namespace
}  // namespace qv::sim
