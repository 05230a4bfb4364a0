#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "PendingCalls.h"
#include "device/linux/UdevDeviceEvents.h"

namespace qv {
namespace {

TEST(UeventTest, AddAndRemoveWithANode) {
    // As udevd announces it: the full path.
    auto add =
        DeviceChangeFromUevent({{"ACTION", "add"},
                                {"DEVPATH", "/devices/pci0000:00/usb1/1-1/1-1:1.0/hidraw/hidraw0"},
                                {"SUBSYSTEM", "hidraw"},
                                {"DEVNAME", "/dev/hidraw0"},
                                {"MAJOR", "242"},
                                {"MINOR", "0"}});
    ASSERT_TRUE(add);
    EXPECT_EQ(*add, (DeviceChange{DeviceChange::Kind::Arrival, "/dev/hidraw0"}));

    // As the kernel announces it: relative to /dev.
    auto remove = DeviceChangeFromUevent(
        {{"ACTION", "remove"}, {"SUBSYSTEM", "hidraw"}, {"DEVNAME", "hidraw0"}});
    ASSERT_TRUE(remove);
    EXPECT_EQ(*remove, (DeviceChange{DeviceChange::Kind::Removal, "/dev/hidraw0"}));

    auto usb = DeviceChangeFromUevent({{"ACTION", "add"}, {"DEVNAME", "bus/usb/001/007"}});
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->path, "/dev/bus/usb/001/007");
}

TEST(UeventTest, DevicesWithoutANodeHaveNoPath) {
    auto iface = DeviceChangeFromUevent(
        {{"ACTION", "add"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_interface"}});
    ASSERT_TRUE(iface);
    EXPECT_EQ(*iface, (DeviceChange{DeviceChange::Kind::Arrival, ""}));

    auto empty = DeviceChangeFromUevent({{"ACTION", "remove"}, {"DEVNAME", ""}});
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, (DeviceChange{DeviceChange::Kind::Removal, ""}));
}

TEST(UeventTest, OtherActionsAreNoArrivalOrRemoval) {
    for (const char* action : {"change", "bind", "unbind", "move", "online", "offline"}) {
        EXPECT_FALSE(DeviceChangeFromUevent({{"ACTION", action}, {"DEVNAME", "/dev/hidraw0"}}))
            << action;
    }
    EXPECT_FALSE(DeviceChangeFromUevent({{"DEVNAME", "/dev/hidraw0"}}));
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/qv-uevent.XXXXXX";
        path = ::mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

TEST(WaitForDeviceNodeTest, ExistingNodeIsThereAtOnceAMissingOneTimesOut) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string node = dir.path + "/hidraw7";
    std::ofstream(node).put('x');
    EXPECT_TRUE(WaitForDeviceNode(node, std::chrono::milliseconds(0)));
    EXPECT_FALSE(WaitForDeviceNode(dir.path + "/hidraw8", std::chrono::milliseconds(20)));
}

TEST(WaitForDeviceNodeTest, NodeThatAppearsLaterIsWaitedFor) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string node = dir.path + "/hidraw9";
    std::thread maker([node] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::ofstream(node).put('x');
    });
    const bool appeared = WaitForDeviceNode(node, std::chrono::seconds(5));
    maker.join();
    EXPECT_TRUE(appeared);
}

TEST(UdevDeviceEventsTest, StartsStopsAndReadsWithoutBlocking) {
    UdevDeviceEvents source;
    EXPECT_TRUE(source.ReadPending().empty());
    test::PendingCalls calls;
    std::string error = "stale";
    if (!source.Start(calls.Call(), error)) {
        // No netlink here: the reason names the monitor and the failing call.
        EXPECT_EQ(error.rfind("udev monitor: ", 0), 0u) << error;
        EXPECT_NE(error.find("(udev_"), std::string::npos) << error;
        GTEST_SKIP() << "netlink monitor unavailable: " << error;
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(source.UsesKernelSource(), !UdevDeviceEvents::UdevdRunning());
    // Nothing is plugged in here; the read returns at once.
    source.ReadPending();
    // Stop ends the reader, which waits on a quiet monitor, and may run twice.
    source.Stop();
    source.Stop();
    ASSERT_TRUE(source.Start(calls.Call(), error)) << error;
    source.Stop();
}

}  // namespace
}  // namespace qv
