// The Windows program's simulator backends against the Linux quorvane-sim daemon,
// reached over loopback TCP from Wine (tests/win32/with-sim.sh starts a daemon for
// each test and names it in QV_SIM_TCP).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "device/HidTransport.h"
#include "device/ReceiverLink.h"
#include "device/win32/Win32SimClient.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using sim::TcpSimReply;

std::string SimAddress() {
    const char* simAddress = std::getenv("QV_SIM_TCP");
    return simAddress != nullptr ? simAddress : "";
}

void Command(const std::vector<std::string>& words) {
    const TcpSimReply reply = sim::SendTcpSimCommand(SimAddress(), words);
    ASSERT_EQ(reply.code, TcpSimReply::Code::Ok) << reply.text;
}

class NoDialogs : public Dialogs {
public:
    std::vector<std::string> shown;
    void Tell(const std::string& text, MessageKind) override { shown.push_back(text); }
    Answer Ask(const std::string& question, MessageKind, Answer) override {
        shown.push_back(question);
        return Answer::No;
    }
};

class Indicators : public ReceiverIndicators {
public:
    bool lamp = false;
    std::string version;
    bool timer = false;
    void SetLamp(bool green) override { lamp = green; }
    void SetVersionText(const std::string& text) override { version = text; }
    void EnableTimer() override { timer = true; }
};

class SimOverTcp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim::IsTcpSimAddress(SimAddress())) << "run under with-sim.sh";
    }
    std::unique_ptr<HidPort> port_ = sim::MakeTcpSimHidPort(SimAddress());
};

TEST_F(SimOverTcp, TheReceiverIsFoundOpenedAndStarted) {
    const auto paths = port_->EnumerateHidInterfaces();
    ASSERT_EQ(paths.size(), 1u);
    auto device = port_->Open(paths.front());
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->GetAttributes().has_value());
    EXPECT_EQ(device->GetAttributes()->vendorId, 0x1234);
    EXPECT_EQ(device->GetAttributes()->productId, 0x0001);
    device.reset();

    HidTransport hid(*port_);
    NoDialogs dialogs;
    Indicators indicators;
    ReceiverLink link(hid, dialogs, indicators);
    link.ConnectReceiver(0x1234, 0x0001);
    EXPECT_EQ(hid.ConnectDevicePath(), paths.front());
    EXPECT_TRUE(indicators.lamp);
    EXPECT_EQ(indicators.version, "1.05");
    EXPECT_TRUE(indicators.timer);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SimOverTcp, APressedButtonComesBackToAPoll) {
    HidTransport hid(*port_);
    NoDialogs dialogs;
    Indicators indicators;
    ReceiverLink link(hid, dialogs, indicators);
    link.ConnectReceiver(0x1234, 0x0001);
    ASSERT_TRUE(indicators.timer);

    std::uint8_t status = 0;
    std::array<std::uint8_t, 16> data{};
    ASSERT_TRUE(link.SendCommand(kPoll, status, data));
    EXPECT_EQ(status, kStatusOk);
    EXPECT_EQ(data[0], 0) << "nothing pressed yet";

    Command({"press", "5", "120", "7"});
    ASSERT_TRUE(link.SendCommand(kPoll, status, data));
    EXPECT_EQ(status, kStatusOk);
    EXPECT_EQ(data[0], 5);
    EXPECT_EQ(data[1], 120);
    EXPECT_EQ(data[2], 7);
}

TEST_F(SimOverTcp, ASilentReceiverTimesOutAndAnswersAgainAfterwards) {
    HidTransport hid(*port_);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001));
    const auto paths = port_->EnumerateHidInterfaces();
    auto device = port_->Open(paths.front());
    ASSERT_NE(device, nullptr);
    const auto caps = device->GetCaps();
    ASSERT_TRUE(caps.has_value());

    Command({"fault", "silence"});
    std::vector<std::uint8_t> command(static_cast<std::size_t>(caps->outputReportByteLength), 0);
    command[1] = kQueryVersion.code;
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(caps->inputReportByteLength), 0xAA);
    EXPECT_EQ(device->WriteReport(command, 1000ms), TransferStatus::Done);
    EXPECT_EQ(device->ReadReport(reply, 50ms), TransferStatus::TimedOut);
    EXPECT_EQ(reply, std::vector<std::uint8_t>(reply.size(), 0xAA));

    Command({"fault", "clear"});
    EXPECT_EQ(device->WriteReport(command, 1000ms), TransferStatus::Done);
    EXPECT_EQ(device->ReadReport(reply, 5000ms), TransferStatus::Done);
}

TEST_F(SimOverTcp, UnpluggingEndsTheDeviceAndBothChangesAreAnnounced) {
    std::atomic<int> wakeUps{0};
    auto events = sim::MakeTcpSimDeviceEvents(SimAddress(), [&] { ++wakeUps; });
    std::string error;
    ASSERT_TRUE(events->Start(error)) << error;
    EXPECT_EQ(events->Fd(), -1);

    const std::string path = port_->EnumerateHidInterfaces().at(0);
    auto device = port_->Open(path);
    ASSERT_NE(device, nullptr);

    Command({"unplug"});
    std::vector<std::uint8_t> reply(64);
    EXPECT_EQ(device->ReadReport(reply, 5000ms), TransferStatus::Gone);
    Command({"plug"});

    // The announcements come on the backend's own thread; wait for both (bounded).
    std::vector<DeviceChange> changes;
    for (int i = 0; i < 500 && changes.size() < 2; ++i) {
        auto more = events->ReadPending();
        changes.insert(changes.end(), more.begin(), more.end());
        if (changes.size() < 2) {
            std::this_thread::sleep_for(10ms);
        }
    }
    const std::vector<DeviceChange> expected = {{DeviceChange::Kind::Removal, path},
                                                {DeviceChange::Kind::Arrival, path}};
    EXPECT_EQ(changes, expected);
    EXPECT_GE(wakeUps.load(), 1);
    events->Stop();
    EXPECT_TRUE(events->ReadPending().empty());
}

TEST_F(SimOverTcp, ASimulatorThatRefusesEventsSaysSo) {
    Command({"fault", "refuse-events"});
    auto events = sim::MakeTcpSimDeviceEvents(SimAddress(), nullptr);
    std::string error;
    EXPECT_FALSE(events->Start(error));
    EXPECT_EQ(error, "simulator: Permission denied");
}

TEST(SimOverTcpAddress, NoSimulatorThereFailsCleanly) {
    // Port 1 on loopback: nothing listens there.
    const std::string simAddress = "tcp:127.0.0.1:1";
    auto port = sim::MakeTcpSimHidPort(simAddress);
    EXPECT_TRUE(port->EnumerateHidInterfaces().empty());
    EXPECT_EQ(port->Open("sim:receiver"), nullptr);
    HidTransport hid(*port);
    EXPECT_FALSE(hid.Connect(0x1234, 0x0001));

    auto events = sim::MakeTcpSimDeviceEvents(simAddress, nullptr);
    std::string error;
    EXPECT_FALSE(events->Start(error));
    EXPECT_EQ(error.rfind("simulator: connect(tcp:127.0.0.1:1)", 0), 0u) << error;

    EXPECT_EQ(sim::SendTcpSimCommand(simAddress, {"status"}).code, TcpSimReply::Code::Unreachable);
}

TEST(SimOverTcpAddress, OnlyTcpHostColonPortOneTo65535IsAnAddress) {
    EXPECT_TRUE(sim::IsTcpSimAddress("tcp:127.0.0.1:4000"));
    EXPECT_TRUE(sim::IsTcpSimAddress("tcp:localhost:65535"));
    EXPECT_FALSE(sim::IsTcpSimAddress("tcp:127.0.0.1:0"));
    EXPECT_FALSE(sim::IsTcpSimAddress("tcp:127.0.0.1:65536"));
    EXPECT_FALSE(sim::IsTcpSimAddress("tcp:127.0.0.1:"));
    EXPECT_FALSE(sim::IsTcpSimAddress("tcp::4000"));
    EXPECT_FALSE(sim::IsTcpSimAddress("tcp:127.0.0.1:40x0"));
    EXPECT_FALSE(sim::IsTcpSimAddress("127.0.0.1:4000"));
    EXPECT_FALSE(sim::IsTcpSimAddress("/run/user/0/quorvane-sim.sock"));
}

}  // namespace
}  // namespace qv
