#include "device/HidTransport.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "FakeHidPort.h"

namespace qv {
namespace {

using test::FakeHidPort;
using Outcome = ConnectResult::Outcome;

void ExpectNotConnected(const HidTransport& hid) {
    EXPECT_TRUE(hid.ConnectDevicePath().empty());
    EXPECT_EQ(hid.RecvSize(), -1);
    EXPECT_EQ(hid.SendSize(), -1);
}

TEST(HidTransportTest, NewInstanceHoldsNothingAndTransfersNothing) {
    FakeHidPort port;
    port.Add("/dev/hidraw0", 0x1234, 0x0001);
    HidTransport hid(port);
    EXPECT_TRUE(hid.ConnectDevicePath().empty());
    EXPECT_EQ(hid.RecvSize(), -1);
    EXPECT_EQ(hid.SendSize(), -1);

    std::array<std::uint8_t, 3> out{1, 2, 3};
    std::array<std::uint8_t, 3> in{7, 7, 7};
    EXPECT_FALSE(hid.Send(out));
    EXPECT_FALSE(hid.Recv(in));
    EXPECT_EQ(in, (std::array<std::uint8_t, 3>{7, 7, 7}));
    EXPECT_EQ(port.enumerations, 0);
    EXPECT_EQ(port.TotalOpens(), 0);
}

TEST(HidTransportTest, NoMatchingDeviceIsNotFoundAndNoDeviceIsOpened) {
    FakeHidPort port;
    auto& keyboard = port.Add("/dev/hidraw0", 0x046D, 0xC31C);
    auto& otherProduct = port.Add("/dev/hidraw1", 0x1234, 0x0002);
    HidTransport hid(port);
    const ConnectResult result = hid.Connect(0x1234, 0x0001);
    EXPECT_EQ(result.outcome, Outcome::NotFound);
    EXPECT_FALSE(result.Connected());
    EXPECT_TRUE(result.path.empty());
    ExpectNotConnected(hid);
    // Every device's identity was read; none was opened.
    EXPECT_EQ(keyboard.identityReads, 1);
    EXPECT_EQ(otherProduct.identityReads, 1);
    EXPECT_EQ(port.TotalOpens(), 0);

    FakeHidPort empty;
    HidTransport none(empty);
    EXPECT_EQ(none.Connect(0x1234, 0x0001).outcome, Outcome::NotFound);
}

TEST(HidTransportTest, FirstMatchInEnumerationOrderIsTaken) {
    FakeHidPort port;
    port.Add("/dev/hidraw0", 0x0001, 0x0001);
    auto& first = port.Add("/dev/hidraw3", 0x1234, 0x0001, 65, 9);
    auto& second = port.Add("/dev/hidraw1", 0x1234, 0x0001);
    HidTransport hid(port);
    const ConnectResult result = hid.Connect(0x1234, 0x0001);
    ASSERT_TRUE(result.Connected());
    EXPECT_EQ(result.path, "/dev/hidraw3");
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw3");
    EXPECT_EQ(hid.RecvSize(), 64);
    EXPECT_EQ(hid.SendSize(), 8);
    EXPECT_EQ(first.opens, 1);
    EXPECT_EQ(first.closes, 0);
    EXPECT_EQ(second.opens, 0);
}

TEST(HidTransportTest, UnopenableAndNonHidDevicesAreSkipped) {
    FakeHidPort port;
    auto& locked = port.Add("/dev/hidraw0", 0x1234, 0x0001);
    locked.openable = false;
    port.AddNonHid("/dev/hidraw1");
    port.Add("/dev/hidraw2", 0x1234, 0x0001);
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw2");
}

TEST(HidTransportTest, AReceiverThatCannotBeOpenedIsNamedWithTheReason) {
    FakeHidPort port;
    port.Add("/dev/hidraw0", 0x046D, 0xC31C);
    auto& locked = port.Add("/dev/hidraw4", 0x1234, 0x0001);
    locked.openable = false;
    locked.openError = {HidOpenFailure::AccessDenied, "Permission denied", "add the rule"};
    auto& second = port.Add("/dev/hidraw5", 0x1234, 0x0001);
    second.openable = false;
    second.openError = {HidOpenFailure::InUse, "Device or resource busy", ""};
    HidTransport hid(port);
    const ConnectResult result = hid.Connect(0x1234, 0x0001);
    EXPECT_EQ(result.outcome, Outcome::CannotOpen);
    EXPECT_EQ(result.path, "/dev/hidraw4");  // the first that failed
    EXPECT_EQ(result.error.kind, HidOpenFailure::AccessDenied);
    EXPECT_EQ(result.error.reason, "Permission denied");
    EXPECT_EQ(result.error.advice, "add the rule");
    ExpectNotConnected(hid);
}

TEST(HidTransportTest, IdentifiersCompareAsSigned16Bit) {
    FakeHidPort port;
    port.Add("/dev/hidraw0", 0x8001, 0xFFFF);
    HidTransport hid(port);
    EXPECT_FALSE(hid.Connect(0x8001, 0xFFFF).Connected());
    EXPECT_FALSE(hid.Connect(0x8001, -1).Connected());
    EXPECT_FALSE(hid.Connect(-32767, 0xFFFF).Connected());
    EXPECT_TRUE(hid.Connect(-32767, -1).Connected());
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw0");

    // 0x8000 is the most negative value.
    FakeHidPort port2;
    port2.Add("/dev/hidraw5", 0x8000, 0x7FFF);
    HidTransport hid2(port2);
    EXPECT_TRUE(hid2.Connect(-32768, 0x7FFF).Connected());
}

TEST(HidTransportTest, MatchWithoutCapabilitiesIsNotTakenAndLeavesNoPath) {
    FakeHidPort port;
    auto& broken = port.Add("/dev/hidraw0", 0x1234, 0x0001);
    broken.caps.reset();
    HidTransport hid(port);
    const ConnectResult result = hid.Connect(0x1234, 0x0001);
    EXPECT_EQ(result.outcome, Outcome::Unusable);
    EXPECT_EQ(result.path, "/dev/hidraw0");
    ExpectNotConnected(hid);
    EXPECT_EQ(broken.closes, 1);

    // A usable receiver after it is still found.
    port.Add("/dev/hidraw1", 0x1234, 0x0001);
    EXPECT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw1");
}

TEST(HidTransportTest, ReportsLongerThanAnyHidReportAreNotTaken) {
    FakeHidPort port;
    port.Add("/dev/hidraw0", 0x1234, 0x0001, INT32_MAX, 65);
    port.Add("/dev/hidraw1", 0x1234, 0x0001, 65, HidTransport::kMaxReportLength + 1);
    port.Add("/dev/hidraw2", 0x1234, 0x0001, HidTransport::kMaxReportLength, 4);
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw2");
}

TEST(HidTransportTest, ReportsTooShortForTheFramesAreNotTaken) {
    FakeHidPort port;
    auto& shortOut = port.Add("/dev/hidraw0", 0x1234, 0x0001, 65, 3);
    auto& shortIn = port.Add("/dev/hidraw1", 0x1234, 0x0001, 18, 65);
    port.Add("/dev/hidraw2", 0x1234, 0x0001, 19, 4);
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw2");
    EXPECT_EQ(hid.RecvSize(), 18);
    EXPECT_EQ(hid.SendSize(), 3);
    EXPECT_EQ(shortOut.closes, 1);
    EXPECT_EQ(shortIn.closes, 1);

    FakeHidPort onlyShort;
    onlyShort.Add("/dev/hidraw0", 0x1234, 0x0001, 65, 0);
    HidTransport hid2(onlyShort);
    EXPECT_EQ(hid2.Connect(0x1234, 0x0001).outcome, Outcome::Unusable);
    ExpectNotConnected(hid2);
}

TEST(HidTransportTest, ConnectClosesThePreviousDeviceFirst) {
    FakeHidPort port;
    auto& receiver = port.Add("/dev/hidraw0", 0x1234, 0x0001);
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
    EXPECT_FALSE(hid.Connect(0x1234, 0x0002).Connected());
    ExpectNotConnected(hid);
    EXPECT_EQ(receiver.closes, receiver.opens);
}

TEST(HidTransportTest, SendPadsThePayloadBehindReportIdZero) {
    FakeHidPort port;
    auto& receiver = port.Add("/dev/hidraw0", 0x1234, 0x0001, 65, 9);
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());

    const std::vector<std::uint8_t> payload{0x1E, 0x04, 0x04};
    ASSERT_TRUE(hid.Send(payload));
    ASSERT_EQ(receiver.written.size(), 1u);
    EXPECT_EQ(receiver.written[0],
              (std::vector<std::uint8_t>{0x00, 0x1E, 0x04, 0x04, 0, 0, 0, 0, 0}));
    EXPECT_EQ(receiver.timeouts.at(0), HidTransport::kTransferTimeout);

    // A full payload fills the report; an empty one sends zeros.
    const std::vector<std::uint8_t> full{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(hid.Send(full));
    EXPECT_EQ(receiver.written[1], (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(hid.Send({}));
    EXPECT_EQ(receiver.written[2], std::vector<std::uint8_t>(9, 0));

    // A payload longer than the report is refused, nothing is written.
    const std::vector<std::uint8_t> tooLong(9, 0xAA);
    EXPECT_FALSE(hid.Send(tooLong));
    EXPECT_EQ(receiver.written.size(), 3u);
}

TEST(HidTransportTest, SendReportsFailedWritesButStaysOpen) {
    FakeHidPort port;
    auto& receiver = port.Add("/dev/hidraw0", 0x1234, 0x0001);
    receiver.writeResults = {TransferStatus::TimedOut, TransferStatus::Gone,
                             TransferStatus::Failed};
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
    const std::vector<std::uint8_t> payload{1};
    EXPECT_FALSE(hid.Send(payload));
    EXPECT_FALSE(hid.Send(payload));
    EXPECT_FALSE(hid.Send(payload));
    // Closing is the removal handling's business, not the transfer's.
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw0");
    EXPECT_EQ(receiver.closes, 0);
    EXPECT_TRUE(hid.Send(payload));
}

TEST(HidTransportTest, RecvHandsOverThePayloadAfterTheReportId) {
    FakeHidPort port;
    auto& receiver = port.Add("/dev/hidraw0", 0x1234, 0x0001, 19, 4);
    receiver.replies.push_back(
        {TransferStatus::Done,
         {0x55, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}});
    // A short report: the rest of the buffer stays zero, nothing left over.
    receiver.replies.push_back({TransferStatus::Done, {0x00, 9, 8}});
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());

    std::array<std::uint8_t, 18> full{};
    ASSERT_TRUE(hid.Recv(full));
    for (std::size_t i = 0; i < full.size(); ++i) {
        EXPECT_EQ(full[i], i + 1) << i;
    }
    std::array<std::uint8_t, 5> part{0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    ASSERT_TRUE(hid.Recv(part));
    EXPECT_EQ(part, (std::array<std::uint8_t, 5>{9, 8, 0, 0, 0}));
    EXPECT_EQ(receiver.timeouts.back(), HidTransport::kTransferTimeout);

    // A silent receiver: the read times out.
    EXPECT_FALSE(hid.Recv(part));
    // More than a report holds is refused without a read.
    const int reads = receiver.reads;
    std::array<std::uint8_t, 19> tooLong{};
    EXPECT_FALSE(hid.Recv(tooLong));
    EXPECT_EQ(receiver.reads, reads);
}

TEST(HidTransportTest, CloseAndDestructorCloseTheDevice) {
    FakeHidPort port;
    auto& receiver = port.Add("/dev/hidraw0", 0x1234, 0x0001);
    {
        HidTransport hid(port);
        ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
        hid.Close();
        ExpectNotConnected(hid);
        EXPECT_EQ(receiver.closes, 1);
        std::array<std::uint8_t, 2> in{4, 4};
        EXPECT_FALSE(hid.Send(in));
        EXPECT_FALSE(hid.Recv(in));
        EXPECT_EQ(in, (std::array<std::uint8_t, 2>{4, 4}));
        EXPECT_TRUE(receiver.written.empty());
        EXPECT_EQ(receiver.reads, 0);
        hid.Close();  // harmless twice
        ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());
    }
    EXPECT_EQ(receiver.opens, 2);
    EXPECT_EQ(receiver.closes, 2);
}

TEST(HidTransportTest, ReadIdsWidensTheIdentityAndLeavesTheConnectionAlone) {
    FakeHidPort port;
    auto& receiver = port.Add("/dev/hidraw0", 0x1234, 0x0001);
    auto& other = port.Add("/dev/hidraw1", 0xFFFE, 0x8000);
    port.AddNonHid("/dev/ttyS0");
    HidTransport hid(port);
    ASSERT_TRUE(hid.Connect(0x1234, 0x0001).Connected());

    EXPECT_EQ(hid.ReadIds("/dev/hidraw1"), (DeviceIds{-2, -32768}));
    EXPECT_EQ(other.opens, 0) << "read without opening it";
    EXPECT_EQ(hid.ReadIds("/dev/ttyS0"), std::nullopt);
    EXPECT_EQ(hid.ReadIds("/dev/nothing"), std::nullopt);

    // The connection is as it was.
    EXPECT_EQ(hid.ConnectDevicePath(), "/dev/hidraw0");
    EXPECT_EQ(hid.RecvSize(), 64);
    EXPECT_EQ(receiver.closes, 0);
}

}  // namespace
}  // namespace qv
