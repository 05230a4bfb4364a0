// The Windows program's simulator backends against the Linux quorvane-sim daemon,
// reached over loopback TCP from Wine (tests/win32/with-sim.sh starts a daemon for
// each test and names it in QV_SIM_TCP).
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "PendingCalls.h"
#include "device/HidTransport.h"
#include "device/ReceiverLink.h"
#include "device/sim/SimClient.h"
#include "device/sim/TcpSimTransport.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using sim::SimReply;

std::string SimAddress() {
    const char* simAddress = std::getenv("QV_SIM_TCP");
    return simAddress != nullptr ? simAddress : "";
}

void Command(const std::vector<std::string>& words) {
    const SimReply reply = sim::SendSimCommand(*sim::MakeTcpSimTransport(SimAddress()), words);
    ASSERT_EQ(reply.code, SimReply::Code::Ok) << reply.text;
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
    std::shared_ptr<sim::SimTransport> transport_ = sim::MakeTcpSimTransport(SimAddress());
    std::unique_ptr<HidPort> port_ = sim::MakeSimHidPort(transport_);
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
    auto events = sim::MakeSimDeviceEvents(transport_);
    test::PendingCalls calls;
    std::string error;
    ASSERT_TRUE(events->Start(calls.Call(), error)) << error;

    const std::string path = port_->EnumerateHidInterfaces().at(0);
    auto device = port_->Open(path);
    ASSERT_NE(device, nullptr);

    Command({"unplug"});
    std::vector<std::uint8_t> reply(64);
    EXPECT_EQ(device->ReadReport(reply, 5000ms), TransferStatus::Gone);
    Command({"plug"});

    // The announcements come on the backend's own thread, which makes the call.
    const std::vector<DeviceChange> expected = {{DeviceChange::Kind::Removal, path},
                                                {DeviceChange::Kind::Arrival, path}};
    EXPECT_EQ(calls.Collect(*events, 2), expected);
    EXPECT_NE(calls.LastThread(), std::this_thread::get_id());
    events->Stop();
    EXPECT_TRUE(events->ReadPending().empty());
}

TEST_F(SimOverTcp, ASimulatorThatRefusesEventsSaysSo) {
    Command({"fault", "refuse-events"});
    auto events = sim::MakeSimDeviceEvents(transport_);
    std::string error;
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error, "simulator: Permission denied");
}

TEST(SimOverTcpAddress, NoSimulatorThereFailsCleanly) {
    // Port 1 on loopback: nothing listens there.
    const auto transport = sim::MakeTcpSimTransport("tcp:127.0.0.1:1");
    auto port = sim::MakeSimHidPort(transport);
    EXPECT_TRUE(port->EnumerateHidInterfaces().empty());
    EXPECT_EQ(port->Open("sim:receiver"), nullptr);
    HidTransport hid(*port);
    EXPECT_FALSE(hid.Connect(0x1234, 0x0001));

    auto events = sim::MakeSimDeviceEvents(transport);
    std::string error;
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error.rfind("simulator: connect(tcp:127.0.0.1:1)", 0), 0u) << error;

    EXPECT_EQ(sim::SendSimCommand(*transport, {"status"}).code, SimReply::Code::Unreachable);
}

}  // namespace
}  // namespace qv
