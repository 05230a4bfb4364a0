#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecordingDialogs.h"
#include "device/DeviceWatch.h"
#include "device/ReceiverHotplug.h"

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

class EventLog : public DeviceWatchEvents {
public:
    std::vector<std::string> log;
    std::function<void()> onArrival;
    void DeviceArrived(const std::string& name) override {
        log.push_back("arrival " + name);
        if (onArrival) {
            auto handler = onArrival;  // may clear itself
            handler();
        }
    }
    void DeviceRemoved(const std::string& name) override { log.push_back("remove " + name); }
};

DeviceChange Arrival(std::string path) {
    return {DeviceChange::Kind::Arrival, std::move(path)};
}
DeviceChange Removal(std::string path) {
    return {DeviceChange::Kind::Removal, std::move(path)};
}

class DeviceWatchTest : public ::testing::Test {
protected:
    FakeDeviceEvents source;
    test::RecordingDialogs dialogs;
    EventLog events;
    std::unique_ptr<DeviceWatch> watch = std::make_unique<DeviceWatch>(source, dialogs, events);
};

TEST_F(DeviceWatchTest, FailedRegistrationIsReportedOnceInLinuxWords) {
    source.startOk = false;
    source.startError = "udev monitor: Permission denied (udev_monitor_enable_receiving)";
    EXPECT_FALSE(watch->Register());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "cannot watch for devices: udev monitor: Permission denied "
              "(udev_monitor_enable_receiving)");
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_FALSE(dialogs.shown[0].question);
    EXPECT_FALSE(source.started);

    // Whatever the source would hold is never read or raised.
    source.pending = {Arrival("/dev/hidraw0")};
    EXPECT_EQ(watch->DeliverPending(), 0);
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(source.pending.size(), 1u);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(DeviceWatchTest, ChangesAreRaisedInOrderWithTheirPaths) {
    ASSERT_TRUE(watch->Register());
    EXPECT_TRUE(source.started);
    EXPECT_TRUE(dialogs.shown.empty());
    source.pending = {Arrival("/dev/hidraw3"), Removal("/dev/hidraw3"), Arrival(""), Removal("")};
    EXPECT_EQ(watch->DeliverPending(), 4);
    EXPECT_EQ(events.log, (std::vector<std::string>{"arrival /dev/hidraw3", "remove /dev/hidraw3",
                                                    "arrival ", "remove "}));
    EXPECT_EQ(watch->DeliverPending(), 0);
    EXPECT_EQ(events.log.size(), 4u);
}

TEST_F(DeviceWatchTest, RegisteringAgainReplacesTheRegistration) {
    ASSERT_TRUE(watch->Register());
    ASSERT_TRUE(watch->Register());
    EXPECT_EQ(source.starts, 2);
    EXPECT_EQ(source.stops, 1);
    EXPECT_TRUE(source.started);

    // A failing second registration leaves nothing registered.
    source.startOk = false;
    source.startError = "x";
    EXPECT_FALSE(watch->Register());
    EXPECT_EQ(source.stops, 2);
    source.pending = {Arrival("/dev/a")};
    EXPECT_EQ(watch->DeliverPending(), 0) << "nothing is registered";
}

TEST_F(DeviceWatchTest, UnregisterStopsTheSourceAndTheEvents) {
    ASSERT_TRUE(watch->Register());
    watch->Unregister();
    EXPECT_EQ(source.stops, 1);
    EXPECT_FALSE(source.started);
    source.pending = {Arrival("/dev/a")};
    EXPECT_EQ(watch->DeliverPending(), 0);
    EXPECT_TRUE(events.log.empty());
    watch->Unregister();  // harmless twice
}

TEST_F(DeviceWatchTest, EndingTheWatchStopsTheSource) {
    ASSERT_TRUE(watch->Register());
    watch.reset();
    EXPECT_FALSE(source.started);
    EXPECT_EQ(source.stops, 1);
}

TEST_F(DeviceWatchTest, AHandlerThatUnregistersDropsTheRestOfTheBatch) {
    ASSERT_TRUE(watch->Register());
    events.onArrival = [this] { watch->Unregister(); };
    source.pending = {Arrival("/dev/a"), Removal("/dev/a"), Arrival("/dev/b")};
    EXPECT_EQ(watch->DeliverPending(), 1);
    EXPECT_EQ(events.log, (std::vector<std::string>{"arrival /dev/a"}));
}

TEST_F(DeviceWatchTest, AHandlerMayEndTheWatch) {
    ASSERT_TRUE(watch->Register());
    // As when the program's exit runs inside a message box of the connect sequence.
    events.onArrival = [this] {
        events.onArrival = nullptr;
        watch.reset();
    };
    source.pending = {Arrival("/dev/a"), Removal("/dev/a")};
    DeviceWatch* raw = watch.get();
    EXPECT_EQ(raw->DeliverPending(), 1);
    EXPECT_FALSE(watch);
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
    std::optional<DeviceIds> ReadIds(const std::string& path) override {
        calls.push_back("ReadIds " + path);
        return isHid ? std::optional<DeviceIds>(DeviceIds{vid, pid}) : std::nullopt;
    }
    std::string ConnectDevicePath() override { return connected; }
    void ConnectReceiver() override { calls.push_back("ConnectReceiver"); }
    void ReceiverRemoved() override {
        calls.push_back("ReceiverRemoved");
        connected.clear();
    }
};

TEST(ReceiverHotplugTest, ArrivalConnectsOnlyAReceiverWhenNoneIsConnected) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceArrived("/dev/hidraw1");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"ReadIds /dev/hidraw1", "ConnectReceiver"}));

    link.calls.clear();
    link.connected = "/dev/hidraw1";
    hotplug.DeviceArrived("/dev/hidraw2");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"ReadIds /dev/hidraw2"}));
}

TEST(ReceiverHotplugTest, ForeignDevicesChangeNothing) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    link.pid = 0x0002;
    hotplug.DeviceArrived("/dev/hidraw1");
    link.pid = 0x0001;
    link.vid = 0x04D8;
    hotplug.DeviceArrived("/dev/hidraw1");
    link.isHid = false;
    link.vid = 0x1234;
    hotplug.DeviceArrived("/dev/sdb");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"ReadIds /dev/hidraw1", "ReadIds /dev/hidraw1",
                                                    "ReadIds /dev/sdb"}));
}

TEST(ReceiverHotplugTest, ConfiguredIdentifiersAreTheOnesMatched) {
    FakeLink link;
    link.vid = 0x04D8;
    link.pid = 0x003F;
    ReceiverHotplug hotplug(link, 0x04D8, 0x003F);
    hotplug.DeviceArrived("/dev/hidraw0");
    EXPECT_EQ(link.calls.back(), "ConnectReceiver");
}

TEST(ReceiverHotplugTest, RemovalOfTheReceiverIgnoresAsciiCaseAndStopsPolling) {
    FakeLink link;
    link.connected = "/dev/HIDRAW1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoved("/dev/hidraw1");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"ReceiverRemoved"}));
    EXPECT_TRUE(link.connected.empty());

    // Only ASCII letters fold: "É" and "é" are different paths.
    link.calls.clear();
    link.connected = "/dev/\xC3\x89";
    hotplug.DeviceRemoved("/dev/\xC3\xA9");
    EXPECT_TRUE(link.calls.empty());
}

TEST(ReceiverHotplugTest, RemovalOfAnotherDeviceKeepsPolling) {
    FakeLink link;
    link.connected = "/dev/hidraw1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoved("/dev/sdb1");
    hotplug.DeviceRemoved("");
    hotplug.DeviceRemoved("/dev/hidraw10");
    hotplug.DeviceRemoved("/dev/hidraw");
    EXPECT_TRUE(link.calls.empty());
    EXPECT_EQ(link.connected, "/dev/hidraw1");
}

TEST(ReceiverHotplugTest, PathlessRemovalWithoutReceiverReportsTheReceiverGone) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoved("");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"ReceiverRemoved"}));
}

TEST(ReceiverHotplugTest, UnplugAndReplugThroughTheWatch) {
    FakeDeviceEvents source;
    test::RecordingDialogs dialogs;
    FakeLink link;
    link.connected = "/dev/hidraw4";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    DeviceWatch watch(source, dialogs, hotplug);
    ASSERT_TRUE(watch.Register());

    source.pending = {Removal("/dev/hidraw4"), Arrival("/dev/hidraw4")};
    EXPECT_EQ(watch.DeliverPending(), 2);
    EXPECT_EQ(link.calls, (std::vector<std::string>{"ReceiverRemoved", "ReadIds /dev/hidraw4",
                                                    "ConnectReceiver"}));
}

}  // namespace
}  // namespace qv
