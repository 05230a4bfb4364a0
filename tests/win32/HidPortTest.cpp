// The Windows HID port against the HID devices Wine itself provides (a virtual
// mouse and keyboard): enumeration, identity, report lengths, reads that time out
// and are cancelled, and the receiver search that finds nothing.
#include <gtest/gtest.h>

#include "TempFolder.h"
#include "common/win32/Windows.h"
#include "device/HidTransport.h"
#include "device/win32/Win32HidPort.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

bool IsHidInterfacePath(const std::string& path) {
    std::string upper = path;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    // Interface paths name the HID interface class.
    return upper.rfind("\\\\?\\HID#", 0) == 0 &&
           upper.find("{4D1E55B2-F16F-11CF-88CB-001111000030}") != std::string::npos;
}

// Opens the first present device whose reports we can read; Wine provides two.
std::unique_ptr<HidDevice> OpenReadableDevice(Win32HidPort& port) {
    for (const std::string& path : port.EnumerateHidInterfaces()) {
        auto device = port.Open(path);
        if (device) {
            const auto caps = device->GetCaps();
            if (caps && caps->inputReportByteLength > 0) {
                return device;
            }
        }
    }
    return nullptr;
}

// Wine's bus driver adds its virtual devices a moment after the prefix is
// ready: the tests start once one of them can be opened (10 s at most, then
// they run and say what is missing).
class WineDevicesPresent : public ::testing::Environment {
public:
    void SetUp() override {
        Win32HidPort port;
        for (int i = 0; i < 200 && OpenReadableDevice(port) == nullptr; ++i) {
            ::Sleep(50);
        }
    }
};
const ::testing::Environment* const kWineDevices =
    ::testing::AddGlobalTestEnvironment(new WineDevicesPresent);

TEST(Win32HidPort, EnumeratesHidInterfacesInAStableOrder) {
    Win32HidPort port;
    const auto paths = port.EnumerateHidInterfaces();
    ASSERT_FALSE(paths.empty()) << "Wine provides virtual HID devices; none were enumerated";
    for (const auto& path : paths) {
        EXPECT_TRUE(IsHidInterfacePath(path)) << path;
    }
    EXPECT_EQ(port.EnumerateHidInterfaces(), paths);
}

TEST(Win32HidPort, EveryPresentDeviceReportsItsIdentityAndReportLengths) {
    Win32HidPort port;
    for (const auto& path : port.EnumerateHidInterfaces()) {
        // Read without access rights, the identity is the one the opened device gives.
        const std::optional<HidAttributes> identity = port.ReadIdentity(path);
        ASSERT_TRUE(identity.has_value()) << path;
        auto device = port.Open(path);
        ASSERT_NE(device, nullptr) << path;
        const std::optional<HidAttributes> attributes = device->GetAttributes();
        ASSERT_TRUE(attributes.has_value()) << path;
        EXPECT_EQ(identity->vendorId, attributes->vendorId) << path;
        EXPECT_EQ(identity->productId, attributes->productId) << path;
        const auto caps = device->GetCaps();
        ASSERT_TRUE(caps.has_value()) << path;
        EXPECT_GT(caps->inputReportByteLength, 0) << path;
    }
}

TEST(Win32HidPort, PathsThatAreNoHidDeviceOpenOrFailCleanly) {
    Win32HidPort port;
    const std::string absent =
        "\\\\?\\hid#vid_1234&pid_0001#none#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const HidOpenResult missing = port.TryOpen(absent);
    EXPECT_EQ(missing.device, nullptr);
    EXPECT_EQ(missing.error.kind, HidOpenFailure::Gone);
    EXPECT_NE(missing.error.reason.find("CreateFileW"), std::string::npos) << missing.error.reason;
    EXPECT_EQ(port.ReadIdentity(absent), std::nullopt);
    EXPECT_EQ(port.Open(""), nullptr);

    // A plain file opens, but answers no HID request.
    test::TempFolder dir;
    test::WriteBytes(dir.File("not-hid"), "x");
    auto file = port.Open(dir.File("not-hid"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetAttributes(), std::nullopt);
    EXPECT_EQ(file->GetCaps(), std::nullopt);
    EXPECT_EQ(port.ReadIdentity(dir.File("not-hid")), std::nullopt);
}

TEST(Win32HidPort, OpenErrorsSayWhatTheUserCanDo) {
    EXPECT_EQ(OpenFailureFromError(ERROR_ACCESS_DENIED), HidOpenFailure::AccessDenied);
    EXPECT_EQ(OpenFailureFromError(ERROR_SHARING_VIOLATION), HidOpenFailure::InUse);
    for (DWORD gone : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DEVICE_NOT_CONNECTED,
                       ERROR_DEV_NOT_EXIST, ERROR_DEVICE_REMOVED}) {
        EXPECT_EQ(OpenFailureFromError(gone), HidOpenFailure::Gone) << gone;
    }
    EXPECT_EQ(OpenFailureFromError(ERROR_GEN_FAILURE), HidOpenFailure::Other);
}

TEST(Win32HidPort, AReadWithNothingToReadTimesOutAndTheDeviceStaysUsable) {
    Win32HidPort port;
    auto device = OpenReadableDevice(port);
    ASSERT_NE(device, nullptr);
    const auto length = static_cast<std::size_t>(device->GetCaps()->inputReportByteLength);

    // Nobody moves Wine's virtual mouse: the reads are cancelled at their deadline.
    std::vector<std::uint8_t> report(length, 0xAA);
    EXPECT_EQ(device->ReadReport(report, 30ms), TransferStatus::TimedOut);
    EXPECT_EQ(report, std::vector<std::uint8_t>(length, 0xAA))
        << "a timed-out read delivers nothing";
    // The cancelled read has let go of its buffer: the next read starts normally.
    EXPECT_EQ(device->ReadReport(report, 0ms), TransferStatus::TimedOut);
    EXPECT_EQ(device->ReadReport(report, 10ms), TransferStatus::TimedOut);
}

TEST(Win32HidPort, WritesToADeviceWithoutOutputReportsFail) {
    Win32HidPort port;
    auto device = OpenReadableDevice(port);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->GetCaps()->outputReportByteLength, 0);
    const std::uint8_t report[] = {0x00, 0x1E, 0x04, 0x04};
    EXPECT_EQ(device->WriteReport(report, 100ms), TransferStatus::Failed);
}

TEST(Win32HidPort, ReceiverSearchOverWinesDevicesFindsNoReceiver) {
    Win32HidPort port;
    HidTransport hid(port);
    EXPECT_EQ(hid.Connect(0x1234, 0x0001).outcome, ConnectResult::Outcome::NotFound);
    EXPECT_EQ(hid.ConnectDevicePath(), "");
    EXPECT_EQ(hid.RecvSize(), -1);
    EXPECT_EQ(hid.SendSize(), -1);
    std::uint8_t payload[3] = {};
    EXPECT_FALSE(hid.Send(payload));
    EXPECT_FALSE(hid.Recv(payload));
}

TEST(Win32HidPort, AMatchingDeviceWithoutOutputReportsIsNotTakenForTheReceiver) {
    Win32HidPort port;
    const auto paths = port.EnumerateHidInterfaces();
    ASSERT_FALSE(paths.empty());
    auto device = port.Open(paths.front());
    ASSERT_NE(device, nullptr);
    const auto attributes = device->GetAttributes();
    ASSERT_TRUE(attributes.has_value());
    device.reset();

    HidTransport hid(port);
    const std::optional<DeviceIds> ids = hid.ReadIds(paths.front());
    ASSERT_TRUE(ids.has_value());
    EXPECT_EQ(ids->vendorId, static_cast<std::int16_t>(attributes->vendorId));
    EXPECT_EQ(ids->productId, static_cast<std::int16_t>(attributes->productId));
    // Its identity matches, but a report without room for the command frames does not.
    const ConnectResult result = hid.Connect(ids->vendorId, ids->productId);
    EXPECT_EQ(result.outcome, ConnectResult::Outcome::Unusable);
    EXPECT_EQ(result.path, paths.front());
    EXPECT_EQ(hid.ConnectDevicePath(), "");
}

TEST(Win32HidPort, ErrorsOfAnUnpluggedDeviceMeanGone) {
    for (DWORD error : {ERROR_DEVICE_NOT_CONNECTED, ERROR_DEV_NOT_EXIST, ERROR_DEVICE_REMOVED,
                        ERROR_BAD_COMMAND, ERROR_GEN_FAILURE}) {
        EXPECT_EQ(TransferStatusFromError(error), TransferStatus::Gone) << error;
    }
    for (DWORD error : {ERROR_INVALID_PARAMETER, ERROR_INVALID_USER_BUFFER, ERROR_ACCESS_DENIED,
                        ERROR_INVALID_HANDLE}) {
        EXPECT_EQ(TransferStatusFromError(error), TransferStatus::Failed) << error;
    }
}

}  // namespace
}  // namespace qv
