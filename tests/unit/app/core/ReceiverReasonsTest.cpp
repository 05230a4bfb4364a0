// Why the lamp is red, as the window says it: the core over the real hidraw
// backend on a fake sysfs tree, with opens recorded and refused on request.
#include <gtest/gtest.h>

#include <set>

#include "CoreHarness.h"
#include "FakeSysfs.h"
#include "app/core/ReceiverStatusText.h"

namespace qv::test {
namespace {

constexpr const char* kKeyboard = "pci0000:00/usb1/1-1/1-1:1.0/0003:046D:C31C.0001";
constexpr const char* kReceiver = "pci0000:00/usb1/1-2/1-2:1.0/0003:1234:0001.0002";

// Loads the core over `port` and returns what the window last showed.
ReceiverStatus LoadOver(HidrawPort& port, const std::string& ini = "") {
    HarnessOptions options;
    options.hid = &port;
    options.iniText = ini;
    options.writeIni = !ini.empty();
    CoreHarness h(options);
    h.Load();
    EXPECT_EQ(h.view.statuses.size(), 1u);
    EXPECT_TRUE(h.view.boxes.empty()) << "a missing receiver is no message box";
    EXPECT_FALSE(h.app->TimerEnabled());
    return h.view.statuses.empty() ? ReceiverStatus{} : h.view.statuses.back();
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ReceiverReasons, ANodeWithoutAccessIsNamedWithTheSystemsReasonAndTheUdevRule) {
    FakeSysfs fs;
    fs.AddNode(kKeyboard, "hidraw0", {{0x046D, 0xC31C}});
    fs.AddNode(kReceiver, "hidraw3", {{0x1234, 0x0001}});
    fs.FailOpen("hidraw3", EACCES);
    HidrawPort port = fs.Port();
    const ReceiverStatus shown = LoadOver(port);
    EXPECT_EQ(shown.lamp, LampColor::Red);
    EXPECT_TRUE(Has(shown.line, "開けません")) << shown.line;
    EXPECT_TRUE(Has(shown.line, fs.Node("hidraw3"))) << shown.line;
    EXPECT_TRUE(Has(shown.line, "Permission denied")) << shown.line;
    EXPECT_TRUE(Has(shown.toolTip, fs.Node("hidraw3"))) << shown.toolTip;
    EXPECT_TRUE(Has(shown.toolTip, "Permission denied")) << shown.toolTip;
    EXPECT_TRUE(Has(shown.toolTip, "sudo cp packaging/70-quorvane-receiver.rules"))
        << shown.toolTip;
    // The keyboard's node was never opened; the receiver's only.
    EXPECT_EQ(fs.Opened(), (std::vector<std::string>{fs.Node("hidraw3")}));
}

TEST(ReceiverReasons, DevicesWithOtherIdentifiersMeanNoReceiverWithTheConfiguredOnes) {
    FakeSysfs fs;
    fs.AddNode(kKeyboard, "hidraw0", {{0x046D, 0xC31C}});
    fs.AddNode(kReceiver, "hidraw1", {{0x1234, 0x0001}});
    HidrawPort port = fs.Port();
    // The file names another receiver.
    const ReceiverStatus shown = LoadOver(port, "[HID]\r\nVendorID=0x04D8\r\nProductID=0x003F\r\n");
    EXPECT_EQ(shown.lamp, LampColor::Red);
    EXPECT_TRUE(Has(shown.line, "見つかりません")) << shown.line;
    EXPECT_TRUE(Has(shown.line, "VendorID 04D8・ProductID 003F")) << shown.line;
    EXPECT_TRUE(Has(shown.toolTip, "Quorvane.ini")) << shown.toolTip;
    EXPECT_TRUE(fs.Opened().empty());
}

TEST(ReceiverReasons, NoHidDeviceAtAllMeansNoReceiver) {
    FakeSysfs fs;
    HidrawPort port = fs.Port();
    const ReceiverStatus shown = LoadOver(port);
    EXPECT_EQ(shown.lamp, LampColor::Red);
    EXPECT_TRUE(Has(shown.line, "見つかりません")) << shown.line;
    EXPECT_TRUE(Has(shown.line, "VendorID 1234・ProductID 0001")) << shown.line;
    EXPECT_TRUE(Has(shown.toolTip, "受信機を挿してください")) << shown.toolTip;
    EXPECT_TRUE(fs.Opened().empty());
}

TEST(ReceiverReasons, EachStateHasItsOwnLampLineAndTip) {
    const DeviceIds ids{0x1234, 0x0001};
    LinkStatus running;
    running.state = LinkStatus::State::Running;
    running.path = "/dev/hidraw5";
    LinkStatus busy;
    busy.state = LinkStatus::State::CannotOpen;
    busy.path = "/dev/hidraw5";
    busy.openError = {HidOpenFailure::InUse, "Device or resource busy", ""};
    LinkStatus unusable;
    unusable.state = LinkStatus::State::Unusable;
    unusable.path = "/dev/hidraw5";
    LinkStatus refused;
    refused.state = LinkStatus::State::NotStarted;
    refused.path = "/dev/hidraw5";
    refused.startFailure = SequenceOutcome::ReceiverError;
    LinkStatus silent = refused;
    silent.startFailure = SequenceOutcome::NoAnswer;

    EXPECT_EQ(DescribeLink(running, ids).lamp, LampColor::Green);
    EXPECT_TRUE(Has(DescribeLink(running, ids).line, "受信中"));
    EXPECT_EQ(DescribeLink(busy, ids).lamp, LampColor::Red);
    EXPECT_TRUE(Has(DescribeLink(busy, ids).line, "Device or resource busy"));
    EXPECT_EQ(DescribeLink(unusable, ids).lamp, LampColor::Red);
    EXPECT_TRUE(Has(DescribeLink(unusable, ids).toolTip, "レポートの長さ"));
    EXPECT_EQ(DescribeLink(refused, ids).lamp, LampColor::Amber);
    EXPECT_TRUE(Has(DescribeLink(refused, ids).toolTip, "エラーが返されました"));
    EXPECT_EQ(DescribeLink(silent, ids).lamp, LampColor::Amber);
    EXPECT_TRUE(Has(DescribeLink(silent, ids).line, "応答しません"));
    // Every state reads differently.
    std::set<std::string> lines;
    for (const LinkStatus& s : {running, busy, unusable, refused, silent, LinkStatus{}}) {
        lines.insert(DescribeLink(s, ids).line);
    }
    EXPECT_EQ(lines.size(), 6u);
    EXPECT_EQ(IdText(-1), "FFFF");
    EXPECT_EQ(IdText(0x4D8), "04D8");
}

}  // namespace
}  // namespace qv::test
