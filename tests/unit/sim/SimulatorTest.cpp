#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "PendingCalls.h"

namespace qv::sim {
namespace {

using namespace std::chrono_literals;

constexpr const char* kReceiver = "/dev/sim/hidraw0";

// One output report as the host writes it: report ID 0, the command frame,
// zero padding to the report length.
std::vector<std::uint8_t> Command(std::uint8_t code, std::uint8_t p1, std::uint8_t p2,
                                  std::size_t length = 9) {
    std::vector<std::uint8_t> report(length, 0);
    report[1] = code;
    report[2] = p1;
    report[3] = p2;
    return report;
}

class SimulatorTest : public ::testing::Test {
protected:
    std::unique_ptr<HidDevice> OpenReceiver(const std::string& path = kReceiver) {
        auto device = port->Open(path);
        EXPECT_NE(device, nullptr) << path;
        return device;
    }

    // Writes one command and reads its reply (33 bytes, the default length).
    std::vector<std::uint8_t> Transact(HidDevice& device, std::uint8_t code, std::uint8_t p1,
                                       std::uint8_t p2,
                                       TransferStatus expectRead = TransferStatus::Done) {
        EXPECT_EQ(device.WriteReport(Command(code, p1, p2), 1000ms), TransferStatus::Done);
        std::vector<std::uint8_t> reply(33, 0xEE);
        EXPECT_EQ(device.ReadReport(reply, 1000ms), expectRead);
        return reply;
    }

    Simulator sim;
    std::unique_ptr<HidPort> port = sim.MakeHidPort();
};

TEST_F(SimulatorTest, EnumeratesHidDevicesOnlyInBusOrder) {
    EXPECT_EQ(port->EnumerateHidInterfaces(), (std::vector<std::string>{kReceiver}));
    const std::string foreign = sim.AddForeign(0x046D, 0xC52B).text;
    const std::string nonHid = sim.AddNonHid().text;
    const std::string second = sim.Execute("add-receiver").text;
    EXPECT_EQ(port->EnumerateHidInterfaces(),
              (std::vector<std::string>{kReceiver, foreign, second}));

    auto node = port->Open(nonHid);
    ASSERT_NE(node, nullptr) << "a non-HID node opens";
    EXPECT_FALSE(node->GetAttributes().has_value());
    EXPECT_FALSE(node->GetCaps().has_value());
    std::vector<std::uint8_t> buffer(8);
    EXPECT_EQ(node->ReadReport(buffer, 10ms), TransferStatus::Failed);

    auto keyboard = port->Open(foreign);
    ASSERT_NE(keyboard, nullptr);
    EXPECT_EQ(keyboard->GetAttributes()->vendorId, 0x046D);
    EXPECT_EQ(keyboard->GetAttributes()->productId, 0xC52B);

    EXPECT_EQ(port->Open("/dev/sim/hidraw99"), nullptr);
}

TEST_F(SimulatorTest, ReceiverReportsIdentityAndLengths) {
    auto device = OpenReceiver();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->GetAttributes().has_value());
    EXPECT_EQ(device->GetAttributes()->vendorId, 0x1234);
    EXPECT_EQ(device->GetAttributes()->productId, 0x0001);
    ASSERT_TRUE(device->GetCaps().has_value());
    EXPECT_EQ(device->GetCaps()->inputReportByteLength, 33);
    EXPECT_EQ(device->GetCaps()->outputReportByteLength, 9);
}

TEST(SimulatorOptionsTest, IdentityVersionAndLengthsAreConfigurable) {
    BusOptions options;
    options.vendorId = 0x8001;
    options.productId = 0xFFFF;
    options.versionMajor = 2;
    options.versionMinor = 7;
    options.inputReportLength = 19;
    options.outputReportLength = 4;
    Simulator sim(options);
    auto device = sim.MakeHidPort()->Open(kReceiver);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetAttributes()->vendorId, 0x8001);
    EXPECT_EQ(device->GetAttributes()->productId, 0xFFFF);
    EXPECT_EQ(device->GetCaps()->inputReportByteLength, 19);
    EXPECT_EQ(device->GetCaps()->outputReportByteLength, 4);

    ASSERT_EQ(device->WriteReport(Command(kPicVersion, 0, 0, 4), 100ms), TransferStatus::Done);
    std::vector<std::uint8_t> reply(19, 0xEE);
    ASSERT_EQ(device->ReadReport(reply, 100ms), TransferStatus::Done);
    EXPECT_EQ(reply[0], 0) << "unnumbered reports read with report ID 0";
    EXPECT_EQ(reply[1], kStatusSuccess);
    EXPECT_EQ(reply[3], 2);
    EXPECT_EQ(reply[4], 7);
}

TEST(SimulatorOptionsTest, StartsUnpluggedWhenAsked) {
    BusOptions options;
    options.plugged = false;
    Simulator sim(options);
    EXPECT_TRUE(sim.MakeHidPort()->EnumerateHidInterfaces().empty());
    EXPECT_EQ(sim.MakeHidPort()->Open(kReceiver), nullptr);
    EXPECT_TRUE(sim.Plug().ok);
    EXPECT_EQ(sim.MakeHidPort()->EnumerateHidInterfaces(), (std::vector<std::string>{kReceiver}));
}

TEST_F(SimulatorTest, CommandRoundTripFillsTheReplyFrame) {
    auto device = OpenReceiver();
    const auto reply = Transact(*device, kPicInit1, 0x05, 0x64);
    EXPECT_EQ(reply[0], 0);
    EXPECT_EQ(reply[1], kStatusSuccess);
    EXPECT_EQ(reply[2], kPicInit1);
    EXPECT_EQ(reply[3], 1);
    EXPECT_EQ(reply[4], 5);
    for (std::size_t i = 5; i < reply.size(); ++i) {
        EXPECT_EQ(reply[i], 0) << "byte " << i;
    }

    // A buffer longer than the report keeps its tail.
    ASSERT_EQ(device->WriteReport(Command(kPicStartReceive, 2, 4), 100ms), TransferStatus::Done);
    std::vector<std::uint8_t> longer(40, 0xEE);
    ASSERT_EQ(device->ReadReport(longer, 100ms), TransferStatus::Done);
    EXPECT_EQ(longer[1], kStatusSuccess);
    EXPECT_EQ(longer[32], 0);
    EXPECT_EQ(longer[33], 0xEE);

    const BusStatus status = sim.Status();
    EXPECT_EQ(status.counts.picInit1, 1u);
    EXPECT_EQ(status.counts.picStartReceive, 1u);
    EXPECT_EQ(status.counts.unexpectedParams, 0u);
}

TEST_F(SimulatorTest, PressedCodeIsPolledOnceThenNothing) {
    auto device = OpenReceiver();
    ASSERT_TRUE(sim.Execute("press 5 120 7").ok);
    const auto code = Transact(*device, kPicPoll, 4, 4);
    EXPECT_EQ(code[1], kStatusSuccess);
    EXPECT_EQ((std::vector<int>{code[3], code[4], code[5]}), (std::vector<int>{5, 120, 7}));
    const auto nothing = Transact(*device, kPicPoll, 4, 4);
    EXPECT_EQ(nothing[1], kStatusSuccess);
    EXPECT_EQ(nothing[3], 0);
    EXPECT_EQ(sim.Status().counts.codesDelivered, 1u);
}

TEST_F(SimulatorTest, EveryOpenHandleGetsItsOwnCopyOfAReply) {
    auto first = OpenReceiver();
    auto second = OpenReceiver();
    ASSERT_EQ(first->WriteReport(Command(kPicVersion, 0, 0), 100ms), TransferStatus::Done);
    std::vector<std::uint8_t> a(33), b(33);
    EXPECT_EQ(first->ReadReport(a, 100ms), TransferStatus::Done);
    EXPECT_EQ(second->ReadReport(b, 100ms), TransferStatus::Done);
    EXPECT_EQ(a, b);
}

TEST_F(SimulatorTest, SilentReceiverMakesTheReadWaitItsWholeTimeout) {
    auto device = OpenReceiver();
    ASSERT_TRUE(sim.Execute("fault silence").ok);
    ASSERT_EQ(device->WriteReport(Command(kPicPoll, 4, 4), 100ms), TransferStatus::Done);
    std::vector<std::uint8_t> reply(33, 0xEE);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->ReadReport(reply, 150ms), TransferStatus::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    EXPECT_EQ(reply[1], 0xEE) << "a timed-out read leaves the buffer alone";
    EXPECT_EQ(sim.Status().counts.unanswered, 1u);

    ASSERT_TRUE(sim.Execute("fault clear").ok);
    EXPECT_EQ(Transact(*device, kPicPoll, 4, 4)[1], kStatusSuccess);
}

TEST_F(SimulatorTest, ErrorStatusForAChosenCommand) {
    auto device = OpenReceiver();
    ASSERT_TRUE(sim.Execute("fault error PicStartReceive 2").ok);
    EXPECT_EQ(Transact(*device, kPicStartReceive, 2, 4)[1], 2);
    EXPECT_EQ(Transact(*device, kPicInit1, 5, 0x64)[1], kStatusSuccess);
    EXPECT_EQ(Transact(*device, 0x55, 0, 0)[1], kStatusUnknownCommand);
}

TEST_F(SimulatorTest, ShortReportsShowInCapsAndReplies) {
    ASSERT_TRUE(sim.Execute("fault short").ok);
    auto device = OpenReceiver();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetCaps()->inputReportByteLength, 18);
    EXPECT_EQ(device->GetCaps()->outputReportByteLength, 3);

    ASSERT_EQ(device->WriteReport(std::vector<std::uint8_t>{0, kPicVersion, 0}, 100ms),
              TransferStatus::Done);
    std::vector<std::uint8_t> reply(33, 0xEE);
    ASSERT_EQ(device->ReadReport(reply, 100ms), TransferStatus::Done);
    EXPECT_EQ(reply[1], kStatusSuccess);
    EXPECT_EQ(reply[17], 0) << "Data[14], the last byte the short report holds";
    EXPECT_EQ(reply[18], 0xEE) << "the report ends one byte short of the reply frame";
}

TEST_F(SimulatorTest, ReportsTheReceiverCannotTakeGoUnanswered) {
    auto device = OpenReceiver();
    std::vector<std::uint8_t> reply(33);
    // Numbered report, oversized report, report ID alone.
    for (const std::vector<std::uint8_t>& report :
         {std::vector<std::uint8_t>{1, kPicVersion, 0, 0, 0, 0, 0, 0, 0},
          Command(kPicVersion, 0, 0, 10), std::vector<std::uint8_t>{0}}) {
        EXPECT_EQ(device->WriteReport(report, 100ms), TransferStatus::Done);
        EXPECT_EQ(device->ReadReport(reply, 20ms), TransferStatus::TimedOut);
    }
    EXPECT_EQ(sim.Status().malformedReports, 3u);
    EXPECT_EQ(sim.Status().counts.picVersion, 0u);
}

TEST_F(SimulatorTest, RefusingToOpen) {
    const std::string foreign = sim.AddForeign(0x1111, 0x2222).text;
    const std::string second = sim.Execute("add-receiver").text;
    ASSERT_TRUE(sim.Execute("fault refuse-open " + std::string(kReceiver)).ok);
    EXPECT_EQ(port->Open(kReceiver), nullptr);
    EXPECT_NE(port->Open(second), nullptr) << "only the named path refuses";

    ASSERT_TRUE(sim.Execute("fault refuse-open").ok);
    EXPECT_EQ(port->Open(second), nullptr) << "now every receiver refuses";
    EXPECT_NE(port->Open(foreign), nullptr) << "other devices still open";
    EXPECT_EQ(port->EnumerateHidInterfaces().size(), 3u) << "refusing devices are still listed";

    ASSERT_TRUE(sim.Execute("fault clear").ok);
    EXPECT_NE(port->Open(kReceiver), nullptr);
}

class SimulatorEventsTest : public SimulatorTest {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(events->Start(calls.Call(), error)) << error;
    }
    // What is pending; the simulator announces changes on the thread that
    // made them, so by now the call was made.
    std::vector<DeviceChange> Next() {
        EXPECT_GT(calls.Count(), 0);
        return events->ReadPending();
    }

    test::PendingCalls calls;
    std::unique_ptr<DeviceEvents> events = sim.MakeDeviceEvents();
};

void ExpectChange(const DeviceChange& change, DeviceChange::Kind kind, const std::string& path) {
    EXPECT_EQ(change, (DeviceChange{kind, path}));
}

TEST_F(SimulatorEventsTest, PlugAndUnplugAreAnnouncedInOrder) {
    EXPECT_EQ(calls.Count(), 0);
    ASSERT_TRUE(sim.Unplug().ok);
    ASSERT_TRUE(sim.Plug().ok);
    const std::string foreign = sim.AddForeign(0x046D, 0xC52B).text;
    ASSERT_TRUE(sim.Execute("remove-foreign all").ok);
    const std::string node = sim.AddNonHid().text;
    ASSERT_TRUE(sim.Execute("remove-nonhid").ok);

    const auto changes = Next();
    ASSERT_EQ(changes.size(), 6u);
    ExpectChange(changes[0], DeviceChange::Kind::Removal, kReceiver);
    ExpectChange(changes[1], DeviceChange::Kind::Arrival, kReceiver);
    ExpectChange(changes[2], DeviceChange::Kind::Arrival, foreign);
    ExpectChange(changes[3], DeviceChange::Kind::Removal, foreign);
    ExpectChange(changes[4], DeviceChange::Kind::Arrival, node);
    ExpectChange(changes[5], DeviceChange::Kind::Removal, node);
    EXPECT_EQ(calls.Count(), 1) << "one call while the first change waited for the others";
    EXPECT_EQ(calls.LastThread(), std::this_thread::get_id());
    EXPECT_TRUE(events->ReadPending().empty());
    ASSERT_TRUE(sim.Unplug().ok);
    EXPECT_EQ(calls.Count(), 2) << "read empty: the next change calls again";
}

TEST_F(SimulatorEventsTest, UnplugLosesTheDeviceAndItsQueue) {
    auto device = OpenReceiver();
    ASSERT_TRUE(sim.Press({1, 2, 3}).ok);
    ASSERT_TRUE(sim.Unplug().ok);
    ExpectChange(Next().at(0), DeviceChange::Kind::Removal, kReceiver);
    EXPECT_TRUE(port->EnumerateHidInterfaces().empty());
    EXPECT_EQ(port->Open(kReceiver), nullptr);
    EXPECT_EQ(device->WriteReport(Command(kPicPoll, 4, 4), 100ms), TransferStatus::Gone);
    std::vector<std::uint8_t> reply(33);
    EXPECT_EQ(device->ReadReport(reply, 100ms), TransferStatus::Gone);
    EXPECT_FALSE(sim.Press({1, 2, 3}).ok) << "a press with no receiver is lost";

    ASSERT_TRUE(sim.Plug().ok);
    ExpectChange(Next().at(0), DeviceChange::Kind::Arrival, kReceiver);
    EXPECT_EQ(device->WriteReport(Command(kPicPoll, 4, 4), 100ms), TransferStatus::Gone)
        << "a handle from before the unplug stays dead";
    auto fresh = OpenReceiver();
    EXPECT_EQ(Transact(*fresh, kPicPoll, 4, 4)[3], 0) << "the queue went with the power";
}

TEST_F(SimulatorEventsTest, UnplugMidTransferMakesThePendingReadGone) {
    auto device = OpenReceiver();
    ASSERT_TRUE(sim.Execute("fault unplug-mid-transfer").ok);
    // Gone, not TimedOut: the read ends with the unplug, before its deadline.
    Transact(*device, kPicInit1, 5, 0x64, TransferStatus::Gone);
    ExpectChange(Next().at(0), DeviceChange::Kind::Removal, kReceiver);
    EXPECT_FALSE(sim.Status().faults.unplugMidTransfer) << "the fault fires once";
    EXPECT_EQ(sim.Status().counts.picInit1, 1u);

    ASSERT_TRUE(sim.Plug().ok);
    auto fresh = OpenReceiver();
    EXPECT_EQ(Transact(*fresh, kPicInit1, 5, 0x64)[1], kStatusSuccess);
}

TEST_F(SimulatorEventsTest, UnplugFromAnotherThreadEndsAWaitingRead) {
    auto device = OpenReceiver();
    ASSERT_TRUE(sim.Execute("fault silence").ok);
    ASSERT_EQ(device->WriteReport(Command(kPicPoll, 4, 4), 100ms), TransferStatus::Done);
    std::thread unplugger([&sim = sim] {
        std::this_thread::sleep_for(50ms);
        sim.Unplug();
    });
    std::vector<std::uint8_t> reply(33);
    // Gone, not TimedOut: the waiting read ends with the unplug.
    EXPECT_EQ(device->ReadReport(reply, 5000ms), TransferStatus::Gone);
    unplugger.join();
}

TEST_F(SimulatorEventsTest, RawBroadcastsAndLateSubscribers) {
    ASSERT_TRUE(sim.Execute("event removal").ok);
    ASSERT_TRUE(sim.Execute("event arrival /dev/sim/other").ok);
    const auto raw = Next();
    ASSERT_EQ(raw.size(), 2u);
    ExpectChange(raw[0], DeviceChange::Kind::Removal, "");
    ExpectChange(raw[1], DeviceChange::Kind::Arrival, "/dev/sim/other");
    EXPECT_EQ(port->EnumerateHidInterfaces(), (std::vector<std::string>{kReceiver}))
        << "a raw broadcast changes no device";

    auto late = sim.MakeDeviceEvents();
    EXPECT_TRUE(late->ReadPending().empty()) << "not started";
    test::PendingCalls lateCalls;
    std::string error;
    ASSERT_TRUE(late->Start(lateCalls.Call(), error)) << error;
    EXPECT_TRUE(late->ReadPending().empty()) << "nothing from before the start";
    EXPECT_EQ(lateCalls.Count(), 0);
    ASSERT_TRUE(sim.Unplug().ok);
    EXPECT_EQ(lateCalls.Count(), 1);
    EXPECT_EQ(late->ReadPending().size(), 1u);
    late->Stop();
    ASSERT_TRUE(sim.Plug().ok);
    EXPECT_EQ(lateCalls.Count(), 1) << "no call after Stop";
    EXPECT_TRUE(late->ReadPending().empty());
}

TEST(SimulatorRefusalTest, EventSubscriptionCanBeRefused) {
    Simulator sim;
    ASSERT_TRUE(sim.Execute("fault refuse-events").ok);
    auto events = sim.MakeDeviceEvents();
    std::string error;
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error, "simulator: Permission denied");
    ASSERT_TRUE(sim.Unplug().ok);
    EXPECT_TRUE(events->ReadPending().empty());
}

TEST_F(SimulatorTest, WaitIdleReturnsOnceEveryCodeIsPolled) {
    auto device = OpenReceiver();
    ASSERT_TRUE(sim.Press({1, 1, 1}).ok);
    ASSERT_TRUE(sim.Press({2, 2, 2}).ok);
    EXPECT_FALSE(sim.WaitIdle(20ms));
    std::thread host([&device] {
        for (int i = 0; i < 2; ++i) {
            std::this_thread::sleep_for(20ms);
            device->WriteReport(Command(kPicPoll, 4, 4), 100ms);
        }
    });
    EXPECT_TRUE(sim.Execute("wait-idle --timeout 5").ok);
    host.join();
    EXPECT_EQ(sim.Status().queueLength, 0u);
}

TEST_F(SimulatorTest, PressTargetsTheFirstPluggedReceiverOrTheNamedOne) {
    const std::string second = sim.Execute("add-receiver").text;
    ASSERT_TRUE(sim.Execute("press 1 2 3 " + second).ok);
    ASSERT_TRUE(sim.Unplug().ok);
    ASSERT_TRUE(sim.Execute("press 4 5 6").ok) << "the second receiver is now the first plugged";
    auto device = OpenReceiver(second);
    EXPECT_EQ(Transact(*device, kPicPoll, 4, 4)[3], 1);
    EXPECT_EQ(Transact(*device, kPicPoll, 4, 4)[3], 4);
}

TEST(SimulatorLifetimeTest, BackendsOutliveTheSimulator) {
    std::unique_ptr<HidPort> port;
    std::unique_ptr<HidDevice> device;
    std::unique_ptr<DeviceEvents> events;
    {
        Simulator sim;
        port = sim.MakeHidPort();
        events = sim.MakeDeviceEvents();
        device = port->Open(kReceiver);
    }
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->WriteReport(Command(kPicPoll, 4, 4), 10ms), TransferStatus::Done);
    EXPECT_EQ(port->EnumerateHidInterfaces().size(), 1u);
    std::string error;
    EXPECT_TRUE(events->Start(nullptr, error)) << error;
}

}  // namespace
}  // namespace qv::sim
