// Hotplug through the real udev event source: umockdev (run under
// umockdev-wrapper) fakes sysfs, the device nodes and the uevents, so the
// libudev monitor of UdevDeviceEvents receives arrivals and removals as it
// would from the system. From there they go through DeviceWatch to
// the main window's hotplug handling.

#include <gtest/gtest.h>
#include <libudev.h>
#include <umockdev.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PendingCalls.h"
#include "device/DeviceWatch.h"
#include "device/ReceiverHotplug.h"
#include "device/linux/UdevDeviceEvents.h"

namespace qv {
namespace {

class Testbed {
public:
    Testbed() : bed_(umockdev_testbed_new()) {}
    ~Testbed() { g_object_unref(bed_); }
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // Adds a hidraw device with a node (announced with "add"); returns its sysfs path.
    std::string AddHidraw(const std::string& name) {
        // The "N:" line makes umockdev create the device node as well.
        const std::string description = "P: /devices/virtual/hidraw/" + name + "\nN: " + name +
                                        "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" + name +
                                        "\nA: dev=242:0\n";
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(bed_, description.c_str(), &error)) {
            ADD_FAILURE() << (error ? error->message : "umockdev_testbed_add_from_string");
            g_clear_error(&error);
            return "";
        }
        return "/sys/devices/virtual/hidraw/" + name;
    }
    // Adds a device without a node (a USB interface), announced with "add".
    std::string AddInterface(const char* name) {
        gchar* sys =
            umockdev_testbed_add_device(bed_, "usb", name, nullptr, "bInterfaceClass", "03",
                                        nullptr, "DEVTYPE", "usb_interface", nullptr);
        std::string path = sys ? sys : "";
        g_free(sys);
        return path;
    }
    void Uevent(const std::string& sys, const char* action) {
        umockdev_testbed_uevent(bed_, sys.c_str(), action);
    }

private:
    UMockdevTestbed* bed_;
};

// The receiver link: hidraw nodes are HID devices with the receiver's
// identifiers, and connecting takes hidraw0.
class FakeLink : public ReceiverLinkOps {
public:
    std::vector<std::string> calls;
    std::string connected;
    bool DeviceCheck(const std::string& path, std::int32_t& v, std::int32_t& p) override {
        calls.push_back("DeviceCheck " + path);
        v = 0x1234;
        p = 0x0001;
        return path.rfind("/dev/hidraw", 0) == 0;
    }
    std::string ConnectDevicePath() override { return connected; }
    void Destroy() override {
        calls.push_back("Destroy");
        connected.clear();
    }
    void ConnectReceiver() override {
        calls.push_back("ConnectReceiver");
        connected = "/dev/hidraw0";
    }
    void SetLamp(bool green) override { calls.push_back(green ? "green" : "red"); }
    void DisableTimer() override { calls.push_back("DisableTimer"); }
};

class NoDialogs : public Dialogs {
public:
    int shown = 0;
    void Tell(const std::string&, MessageKind) override { ++shown; }
    Answer Ask(const std::string&, MessageKind, Answer) override {
        ++shown;
        return Answer::No;
    }
};

class HotplugTest : public ::testing::Test {
protected:
    void SetUp() override {
        // ctest runs this under umockdev-wrapper; without it the monitor would
        // listen to the real system.
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(preload && std::strstr(preload, "umockdev")) << "run under umockdev-wrapper";
    }
};

TEST_F(HotplugTest, UeventsBecomeArrivalsAndRemovals) {
    Testbed bed;
    UdevDeviceEvents source;
    test::PendingCalls calls;
    std::string error;
    ASSERT_TRUE(source.Start(calls.Call(), error)) << error;

    const std::string hid = bed.AddHidraw("hidraw0");
    bed.Uevent(hid, "change");  // not an arrival or removal
    const std::string iface = bed.AddInterface("1-1:1.0");
    bed.Uevent(hid, "remove");
    const auto changes = calls.Collect(source, 3);
    EXPECT_EQ(changes, (std::vector<DeviceChange>{{DeviceChange::Kind::Arrival, "/dev/hidraw0"},
                                                  {DeviceChange::Kind::Arrival, ""},
                                                  {DeviceChange::Kind::Removal, "/dev/hidraw0"}}));
    EXPECT_TRUE(source.ReadPending().empty());
    // The monitor is read on the source's own thread, which makes the call.
    EXPECT_NE(calls.LastThread(), std::this_thread::get_id());
}

TEST_F(HotplugTest, ReceiverPluggedAndUnpluggedThroughTheWatch) {
    Testbed bed;
    UdevDeviceEvents source;
    NoDialogs dialogs;
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    test::PendingCalls calls;
    auto watch = std::make_unique<DeviceWatch>(source, dialogs, hotplug, calls.Call());
    ASSERT_TRUE(watch->Register());
    EXPECT_EQ(dialogs.shown, 0);

    const std::string hid = bed.AddHidraw("hidraw0");
    const std::string iface = bed.AddInterface("1-2:1.0");
    bed.Uevent(iface, "remove");  // another device goes: polling goes on
    bed.Uevent(hid, "remove");
    // As the program's GUI thread does when the call reaches it.
    int delivered = 0;
    while (delivered < 4) {
        const int seen = calls.Count();
        delivered += watch->DeliverPending();
        if (delivered < 4 && !calls.WaitBeyond(seen, std::chrono::seconds(10))) {
            break;
        }
    }
    EXPECT_EQ(delivered, 4);
    // The interface's arrival has no path: the device check fails on it.
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"DeviceCheck /dev/hidraw0", "ConnectReceiver",
                                        "DeviceCheck ", "Destroy", "red", "DisableTimer"}));
    // Ending the watch stops the source: what comes later is not queued.
    watch.reset();
    bed.Uevent(hid, "add");
    EXPECT_TRUE(source.ReadPending().empty());
}

}  // namespace
}  // namespace qv
