#include "device/ReceiverHotplug.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeReceiverLink.h"

namespace qv {
namespace {

TEST(ReceiverHotplugTest, ArrivalConnectsOnlyAReceiverWhenNoneIsConnected) {
    test::FakeReceiverLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceArrived("/dev/hidraw1");
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"DeviceCheck /dev/hidraw1", "ConnectReceiver"}));

    link.calls.clear();
    link.connected = "/dev/hidraw1";
    hotplug.DeviceArrived("/dev/hidraw2");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"DeviceCheck /dev/hidraw2"}));
}

TEST(ReceiverHotplugTest, ForeignDevicesChangeNothing) {
    test::FakeReceiverLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    link.pid = 0x0002;
    hotplug.DeviceArrived("/dev/hidraw1");
    link.pid = 0x0001;
    link.vid = 0x04D8;
    hotplug.DeviceArrived("/dev/hidraw1");
    link.isHid = false;
    link.vid = 0x1234;
    hotplug.DeviceArrived("/dev/sdb");
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"DeviceCheck /dev/hidraw1", "DeviceCheck /dev/hidraw1",
                                        "DeviceCheck /dev/sdb"}));
}

TEST(ReceiverHotplugTest, ConfiguredIdentifiersAreTheOnesMatched) {
    test::FakeReceiverLink link;
    link.vid = 0x04D8;
    link.pid = 0x003F;
    ReceiverHotplug hotplug(link, 0x04D8, 0x003F);
    hotplug.DeviceArrived("/dev/hidraw0");
    EXPECT_EQ(link.calls.back(), "ConnectReceiver");
}

TEST(ReceiverHotplugTest, RemovalOfTheReceiverIgnoresAsciiCaseAndStopsPolling) {
    test::FakeReceiverLink link;
    link.connected = "/dev/HIDRAW1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoved("/dev/hidraw1");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"Destroy", "red", "DisableTimer"}));
    EXPECT_TRUE(link.connected.empty());

    // Only ASCII letters fold: "É" and "é" are different paths.
    link.calls.clear();
    link.connected = "/dev/\xC3\x89";
    hotplug.DeviceRemoved("/dev/\xC3\xA9");
    EXPECT_TRUE(link.calls.empty());
}

TEST(ReceiverHotplugTest, RemovalOfAnotherDeviceKeepsPolling) {
    test::FakeReceiverLink link;
    link.connected = "/dev/hidraw1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoved("/dev/sdb1");
    hotplug.DeviceRemoved("");
    hotplug.DeviceRemoved("/dev/hidraw10");
    hotplug.DeviceRemoved("/dev/hidraw");
    EXPECT_TRUE(link.calls.empty());
    EXPECT_EQ(link.connected, "/dev/hidraw1");
}

TEST(ReceiverHotplugTest, PathlessRemovalWithoutReceiverKeepsTheLampRed) {
    test::FakeReceiverLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoved("");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"Destroy", "red", "DisableTimer"}));
}

}  // namespace
}  // namespace qv
