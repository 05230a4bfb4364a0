#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecordingDialogs.h"
#include "device/DeviceWatch.h"

namespace qv {
namespace {

class FakeDeviceEvents : public DeviceEvents {
public:
    bool startOk = true;
    std::string startError;
    int starts = 0;
    int stops = 0;
    bool started = false;
    std::vector<DeviceChange> pending;
    bool Start(std::string& error) override {
        ++starts;
        error = startError;
        started = startOk;
        return startOk;
    }
    void Stop() override {
        ++stops;
        started = false;
    }
    int Fd() const override { return started ? 7 : -1; }
    std::vector<DeviceChange> ReadPending() override { return std::exchange(pending, {}); }
};

class EventLog : public DeviceNotificationEvents {
public:
    std::vector<std::string> log;
    std::function<void()> onArrival;
    void DeviceArrival(const std::string& name) override {
        log.push_back("arrival " + name);
        if (onArrival) {
            auto handler = onArrival;  // may clear itself
            handler();
        }
    }
    void DeviceRemoveComplete(const std::string& name) override { log.push_back("remove " + name); }
};

DeviceChange Arrival(std::string path) {
    return {DeviceChange::Kind::Arrival, std::move(path)};
}
DeviceChange Removal(std::string path) {
    return {DeviceChange::Kind::Removal, std::move(path)};
}

class DeviceNotificationTest : public ::testing::Test {
protected:
    FakeDeviceEvents source;
    test::RecordingDialogs dialogs;
    EventLog events;
    std::unique_ptr<clsDeviceNotification> notifier =
        std::make_unique<clsDeviceNotification>(source, dialogs, events);
};

TEST_F(DeviceNotificationTest, FailedRegistrationIsReportedOnceInLinuxWords) {
    source.startOk = false;
    source.startError = "udev monitor: Permission denied (udev_monitor_enable_receiving)";
    EXPECT_FALSE(notifier->DoRegisterDeviceInterface());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "cannot watch for devices: udev monitor: Permission denied "
              "(udev_monitor_enable_receiving)");
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(notifier->Registered());

    // Whatever the source would hold is never read or raised.
    source.pending = {Arrival("/dev/hidraw0")};
    EXPECT_EQ(notifier->DeliverPending(), 0);
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(source.pending.size(), 1u);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(DeviceNotificationTest, ChangesAreRaisedInOrderWithTheirPaths) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface());
    EXPECT_TRUE(notifier->Registered());
    EXPECT_TRUE(dialogs.shown.empty());
    source.pending = {Arrival("/dev/hidraw3"), Removal("/dev/hidraw3"), Arrival(""), Removal("")};
    EXPECT_EQ(notifier->DeliverPending(), 4);
    EXPECT_EQ(events.log, (std::vector<std::string>{"arrival /dev/hidraw3", "remove /dev/hidraw3",
                                                    "arrival ", "remove "}));
    EXPECT_EQ(notifier->DeliverPending(), 0);
    EXPECT_EQ(events.log.size(), 4u);
}

TEST_F(DeviceNotificationTest, RegisteringAgainReplacesTheRegistration) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface());
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface());
    EXPECT_EQ(source.starts, 2);
    EXPECT_EQ(source.stops, 1);
    EXPECT_TRUE(source.started);

    // A failing second registration leaves nothing registered.
    source.startOk = false;
    source.startError = "x";
    EXPECT_FALSE(notifier->DoRegisterDeviceInterface());
    EXPECT_FALSE(notifier->Registered());
    EXPECT_EQ(source.stops, 2);
}

TEST_F(DeviceNotificationTest, UnregisterStopsTheSourceAndTheEvents) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface());
    notifier->DoUnregisterDeviceNotification();
    EXPECT_EQ(source.stops, 1);
    EXPECT_FALSE(source.started);
    EXPECT_FALSE(notifier->Registered());
    source.pending = {Arrival("/dev/a")};
    EXPECT_EQ(notifier->DeliverPending(), 0);
    EXPECT_TRUE(events.log.empty());
    notifier->DoUnregisterDeviceNotification();  // harmless twice
}

TEST_F(DeviceNotificationTest, TheNotifiersEndStopsTheSource) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface());
    notifier.reset();
    EXPECT_FALSE(source.started);
    EXPECT_EQ(source.stops, 1);
}

TEST_F(DeviceNotificationTest, AHandlerThatUnregistersDropsTheRestOfTheBatch) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface());
    events.onArrival = [this] { notifier->DoUnregisterDeviceNotification(); };
    source.pending = {Arrival("/dev/a"), Removal("/dev/a"), Arrival("/dev/b")};
    EXPECT_EQ(notifier->DeliverPending(), 1);
    EXPECT_EQ(events.log, (std::vector<std::string>{"arrival /dev/a"}));
}

TEST_F(DeviceNotificationTest, AHandlerMayEndTheNotifier) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface());
    // As when the program's exit runs inside a message box of the connect sequence.
    events.onArrival = [this] {
        events.onArrival = nullptr;
        notifier.reset();
    };
    source.pending = {Arrival("/dev/a"), Removal("/dev/a")};
    clsDeviceNotification* raw = notifier.get();
    EXPECT_EQ(raw->DeliverPending(), 1);
    EXPECT_FALSE(notifier);
    EXPECT_EQ(events.log, (std::vector<std::string>{"arrival /dev/a"}));
    EXPECT_FALSE(source.started);
}

// --- the main window's hotplug handling ---

class FakeLink : public ReceiverLinkOps {
public:
    std::vector<std::string> calls;
    bool isHid = true;
    std::int32_t vid = 0x1234, pid = 0x0001;
    std::string connected;
    bool DeviceCheck(const std::string& path, std::int32_t& v, std::int32_t& p) override {
        calls.push_back("DeviceCheck " + path);
        v = vid;
        p = pid;
        return isHid;
    }
    std::string ConnectDevicePath() override { return connected; }
    void Destroy() override {
        calls.push_back("Destroy");
        connected.clear();
    }
    void ConnectReceiver() override { calls.push_back("ConnectReceiver"); }
    void SetLamp(bool green) override { calls.push_back(green ? "green" : "red"); }
    void DisableTimer() override { calls.push_back("DisableTimer"); }
};

TEST(ReceiverHotplugTest, ArrivalConnectsOnlyAReceiverWhenNoneIsConnected) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceArrival("/dev/hidraw1");
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"DeviceCheck /dev/hidraw1", "ConnectReceiver"}));

    link.calls.clear();
    link.connected = "/dev/hidraw1";
    hotplug.DeviceArrival("/dev/hidraw2");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"DeviceCheck /dev/hidraw2"}));
}

TEST(ReceiverHotplugTest, ForeignDevicesChangeNothing) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    link.pid = 0x0002;
    hotplug.DeviceArrival("/dev/hidraw1");
    link.pid = 0x0001;
    link.vid = 0x04D8;
    hotplug.DeviceArrival("/dev/hidraw1");
    link.isHid = false;
    link.vid = 0x1234;
    hotplug.DeviceArrival("/dev/sdb");
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"DeviceCheck /dev/hidraw1", "DeviceCheck /dev/hidraw1",
                                        "DeviceCheck /dev/sdb"}));
}

TEST(ReceiverHotplugTest, ConfiguredIdentifiersAreTheOnesMatched) {
    FakeLink link;
    link.vid = 0x04D8;
    link.pid = 0x003F;
    ReceiverHotplug hotplug(link, 0x04D8, 0x003F);
    hotplug.DeviceArrival("/dev/hidraw0");
    EXPECT_EQ(link.calls.back(), "ConnectReceiver");
}

TEST(ReceiverHotplugTest, RemovalOfTheReceiverIgnoresAsciiCaseAndStopsPolling) {
    FakeLink link;
    link.connected = "/dev/HIDRAW1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoveComplete("/dev/hidraw1");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"Destroy", "red", "DisableTimer"}));
    EXPECT_TRUE(link.connected.empty());

    // Only ASCII letters fold: "É" and "é" are different paths.
    link.calls.clear();
    link.connected = "/dev/\xC3\x89";
    hotplug.DeviceRemoveComplete("/dev/\xC3\xA9");
    EXPECT_TRUE(link.calls.empty());
}

TEST(ReceiverHotplugTest, RemovalOfAnotherDeviceKeepsPolling) {
    FakeLink link;
    link.connected = "/dev/hidraw1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoveComplete("/dev/sdb1");
    hotplug.DeviceRemoveComplete("");
    hotplug.DeviceRemoveComplete("/dev/hidraw10");
    hotplug.DeviceRemoveComplete("/dev/hidraw");
    EXPECT_TRUE(link.calls.empty());
    EXPECT_EQ(link.connected, "/dev/hidraw1");
}

TEST(ReceiverHotplugTest, PathlessRemovalWithoutReceiverKeepsTheLampRed) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoveComplete("");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"Destroy", "red", "DisableTimer"}));
}

TEST(ReceiverHotplugTest, UnplugAndReplugThroughTheNotifier) {
    FakeDeviceEvents source;
    test::RecordingDialogs dialogs;
    FakeLink link;
    link.connected = "/dev/hidraw4";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    clsDeviceNotification notifier(source, dialogs, hotplug);
    ASSERT_TRUE(notifier.DoRegisterDeviceInterface());

    source.pending = {Removal("/dev/hidraw4"), Arrival("/dev/hidraw4")};
    EXPECT_EQ(notifier.DeliverPending(), 2);
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"Destroy", "red", "DisableTimer",
                                        "DeviceCheck /dev/hidraw4", "ConnectReceiver"}));
}

}  // namespace
}  // namespace qv
