#include "device/ReceiverLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeHidPort.h"
#include "RecordingDialogs.h"

namespace qv {
namespace {

using test::FakeDeviceState;
using test::FakeHidPort;
using test::RecordingDialogs;

constexpr std::int32_t kVendor = 0x1234;
constexpr std::int32_t kProduct = 0x0001;

class RecordingIndicators : public ReceiverIndicators {
public:
    std::vector<bool> lamps;
    std::vector<std::string> versions;
    int timerEnabled = 0;

    void SetLamp(bool green) override { lamps.push_back(green); }
    void SetVersionText(const std::string& text) override { versions.push_back(text); }
    void EnableTimer() override { ++timerEnabled; }
};

// An input report of the receiver: ID, status, an uninterpreted byte, data.
FakeDeviceState::Reply Reply(std::uint8_t status, std::uint8_t d0 = 0, std::uint8_t d1 = 0,
                             std::uint8_t second = 0) {
    std::vector<std::uint8_t> report(65, 0);
    report[1] = status;
    report[2] = second;
    report[3] = d0;
    report[4] = d1;
    return {TransferStatus::Done, report};
}

// The command codes written to the receiver, in order.
std::vector<std::uint8_t> Codes(const FakeDeviceState& device) {
    std::vector<std::uint8_t> codes;
    for (const auto& report : device.written) {
        codes.push_back(report.at(1));
    }
    return codes;
}

class ReceiverLinkTest : public ::testing::Test {
protected:
    FakeHidPort port;
    FakeDeviceState& receiver = port.Add("/dev/hidraw0", kVendor, kProduct);
    HidTransport hid{port};
    RecordingDialogs dialogs;
    RecordingIndicators indicators;
    ReceiverLink link{hid, dialogs, indicators};

    void ExpectMessages(const std::vector<std::string>& texts) {
        ASSERT_EQ(dialogs.shown.size(), texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(dialogs.shown[i].text, texts[i]);
            EXPECT_EQ(dialogs.shown[i].kind, MessageKind::Error);
            EXPECT_FALSE(dialogs.shown[i].question);
        }
    }
};

TEST_F(ReceiverLinkTest, SendCommandWithoutReceiverSendsNothing) {
    std::uint8_t status = 9;
    std::array<std::uint8_t, 16> data{};
    data.fill(7);
    EXPECT_FALSE(link.SendCommand(kPoll, status, data));
    EXPECT_EQ(status, 9);
    EXPECT_EQ(data[0], 7);
    EXPECT_EQ(port.TotalOpens(), 0);

    // Connected, but a client emptied the path: still no transfer.
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    hid.SetConnectDevicePath("");
    EXPECT_FALSE(link.SendCommand(kPoll, status, data));
    EXPECT_TRUE(receiver.written.empty());
    EXPECT_EQ(receiver.reads, 0);
}

TEST_F(ReceiverLinkTest, SendCommandFramesCommandAndReply) {
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    std::vector<std::uint8_t> report(65, 0);
    report[1] = 1;     // status
    report[2] = 0x77;  // not interpreted
    for (int i = 0; i < 16; ++i) {
        report[3 + i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    report[19] = 0xFF;  // beyond the data: ignored
    receiver.replies.push_back({TransferStatus::Done, report});

    std::uint8_t status = 0;
    std::array<std::uint8_t, 16> data{};
    ASSERT_TRUE(link.SendCommand(0x1E, 0x04, 0x04, status, data));
    ASSERT_EQ(receiver.written.size(), 1u);
    std::vector<std::uint8_t> expected(65, 0);
    expected[1] = 0x1E;
    expected[2] = 0x04;
    expected[3] = 0x04;
    EXPECT_EQ(receiver.written[0], expected);
    EXPECT_EQ(status, 1);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(data[i], 0xA0 + i) << i;
    }
}

TEST_F(ReceiverLinkTest, SendCommandStopsAtTheFirstFailedTransfer) {
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    receiver.writeResults = {TransferStatus::Gone};
    receiver.replies.push_back(Reply(1));
    std::uint8_t status = 5;
    std::array<std::uint8_t, 16> data{};
    EXPECT_FALSE(link.SendCommand(kPoll, status, data));
    EXPECT_EQ(receiver.reads, 0);  // no read after a failed send
    EXPECT_EQ(status, 5);

    receiver.replies.clear();
    EXPECT_FALSE(link.SendCommand(kPoll, status, data));  // read times out
    EXPECT_EQ(receiver.reads, 1);
    EXPECT_EQ(status, 5);
}

TEST_F(ReceiverLinkTest, StatusZeroToInit1EndsTheVersionQuery) {
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    receiver.replies = {Reply(0, 1, 2), Reply(1, 1, 3), Reply(1, 2, 7)};
    link.ShowChipVersion();
    ExpectMessages({kMsgReceiverError});
    EXPECT_TRUE(indicators.versions.empty());
    EXPECT_EQ(Codes(receiver), (std::vector<std::uint8_t>{0x1C}));
}

TEST_F(ReceiverLinkTest, VersionTextOfTheLastReplyStays) {
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    receiver.replies = {Reply(1, 1, 2), Reply(1, 1, 3), Reply(1, 2, 7)};
    link.ShowChipVersion();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(indicators.versions, (std::vector<std::string>{"1.02", "1.03", "2.07"}));
    EXPECT_EQ(Codes(receiver), (std::vector<std::uint8_t>{0x1C, 0x1D, 0x18}));
    EXPECT_EQ(receiver.written[0][2], 0x05);
    EXPECT_EQ(receiver.written[0][3], 0x64);
    EXPECT_EQ(receiver.written[1][2], 0x10);
    EXPECT_EQ(receiver.written[1][3], 0xF0);
    EXPECT_EQ(receiver.written[2][2], 0x00);
    EXPECT_EQ(receiver.written[2][3], 0x00);
    EXPECT_EQ(indicators.timerEnabled, 0);
}

TEST_F(ReceiverLinkTest, FailedVersionCommandKeepsTheEarlierText) {
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    receiver.replies = {Reply(1, 1, 2), Reply(1, 1, 3)};  // kQueryVersion gets no reply
    link.ShowChipVersion();
    ExpectMessages({kMsgSendFailed});
    EXPECT_EQ(indicators.versions.back(), "1.03");
}

TEST_F(ReceiverLinkTest, StartReceiverEnablesTheTimerOnlyAfterThreeSuccesses) {
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    receiver.replies = {Reply(1), Reply(1), Reply(1)};
    link.StartReceiver();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(indicators.timerEnabled, 1);
    EXPECT_TRUE(indicators.versions.empty());
    EXPECT_EQ(Codes(receiver), (std::vector<std::uint8_t>{0x1C, 0x1D, 0x1B}));
    EXPECT_EQ(receiver.written[2][2], 0x02);
    EXPECT_EQ(receiver.written[2][3], 0x04);
}

TEST_F(ReceiverLinkTest, ErrorToStartReceiveLeavesTheTimerOff) {
    ASSERT_TRUE(hid.Connect(kVendor, kProduct));
    receiver.replies = {Reply(1), Reply(1), Reply(2)};
    link.StartReceiver();
    ExpectMessages({kMsgReceiverError});
    EXPECT_EQ(indicators.timerEnabled, 0);

    // An error earlier ends the sequence before kStartReceive is sent.
    receiver.written.clear();
    dialogs.shown.clear();
    receiver.replies = {Reply(1), Reply(0xFF)};
    link.StartReceiver();
    ExpectMessages({kMsgReceiverError});
    EXPECT_EQ(Codes(receiver), (std::vector<std::uint8_t>{0x1C, 0x1D}));
    EXPECT_EQ(indicators.timerEnabled, 0);
}

TEST_F(ReceiverLinkTest, ConnectReceiverWithoutReceiverOnlyTurnsTheLampRed) {
    receiver.attributes = HidAttributes{0x1234, 0x0002};
    link.ConnectReceiver(kVendor, kProduct);
    EXPECT_EQ(indicators.lamps, (std::vector<bool>{false}));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(indicators.timerEnabled, 0);
    EXPECT_TRUE(receiver.written.empty());
}

TEST_F(ReceiverLinkTest, ConnectReceiverRunsVersionQueryThenStart) {
    receiver.replies = {Reply(1, 0, 1), Reply(1, 0, 2), Reply(1, 1, 5),
                        Reply(1),       Reply(1),       Reply(1)};
    link.ConnectReceiver(kVendor, kProduct);
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw0");
    EXPECT_EQ(indicators.lamps, (std::vector<bool>{true}));
    EXPECT_EQ(indicators.versions.back(), "1.05");
    EXPECT_EQ(indicators.timerEnabled, 1);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(Codes(receiver), (std::vector<std::uint8_t>{0x1C, 0x1D, 0x18, 0x1C, 0x1D, 0x1B}));
}

TEST_F(ReceiverLinkTest, SilentReceiverGivesTwoSendFailuresAndNoPolling) {
    link.ConnectReceiver(kVendor, kProduct);
    EXPECT_EQ(indicators.lamps, (std::vector<bool>{true}));
    ExpectMessages({kMsgSendFailed, kMsgSendFailed});
    EXPECT_EQ(indicators.timerEnabled, 0);
    EXPECT_TRUE(indicators.versions.empty());
    // One kInit1 from each sequence, nothing after it.
    EXPECT_EQ(Codes(receiver), (std::vector<std::uint8_t>{0x1C, 0x1C}));
    // The connection stays open: nothing is closed on failure.
    EXPECT_EQ(hid.DeviceHandle(), HidTransport::HandleState::Open);
}

TEST_F(ReceiverLinkTest, VersionFailureDoesNotStopTheStartSequence) {
    receiver.replies = {Reply(1, 1, 0), Reply(3), Reply(1), Reply(1), Reply(1)};
    link.ConnectReceiver(kVendor, kProduct);
    ExpectMessages({kMsgReceiverError});
    EXPECT_EQ(indicators.versions, (std::vector<std::string>{"1.00"}));
    EXPECT_EQ(indicators.timerEnabled, 1);
}

TEST_F(ReceiverLinkTest, SecondReplyByteChangesNothing) {
    for (std::uint8_t second : {0x00, 0x01, 0x02, 0x80, 0xFF}) {
        FakeHidPort p;
        FakeDeviceState& r = p.Add("/dev/hidraw0", kVendor, kProduct);
        HidTransport h(p);
        RecordingDialogs d;
        RecordingIndicators i;
        ReceiverLink l(h, d, i);
        r.replies = {Reply(1, 3, 4, second), Reply(1, 3, 4, second), Reply(1, 3, 4, second),
                     Reply(1, 0, 0, second), Reply(1, 0, 0, second), Reply(1, 0, 0, second)};
        l.ConnectReceiver(kVendor, kProduct);
        EXPECT_TRUE(d.shown.empty()) << int(second);
        EXPECT_EQ(i.versions.back(), "3.04") << int(second);
        EXPECT_EQ(i.timerEnabled, 1) << int(second);
    }
}

}  // namespace
}  // namespace qv
