#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeReceiverLink.h"
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
    ChangesPending changesPending;  // what the last start was given
    std::vector<DeviceChange> pending;
    bool Start(ChangesPending call, std::string& error) override {
        ++starts;
        error = startError;
        started = startOk;
        changesPending = startOk ? std::move(call) : nullptr;
        return startOk;
    }
    void Stop() override {
        ++stops;
        started = false;
        changesPending = nullptr;
    }
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
    int pendingCalls = 0;
    std::unique_ptr<DeviceWatch> watch =
        std::make_unique<DeviceWatch>(source, dialogs, events, [this] { ++pendingCalls; });
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
    EXPECT_FALSE(watch->Registered());

    // Whatever the source would hold is never read or raised.
    source.pending = {Arrival("/dev/hidraw0")};
    EXPECT_EQ(watch->DeliverPending(), 0);
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(source.pending.size(), 1u);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(DeviceWatchTest, ChangesAreRaisedInOrderWithTheirPaths) {
    ASSERT_TRUE(watch->Register());
    EXPECT_TRUE(watch->Registered());
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
    EXPECT_FALSE(watch->Registered());
    EXPECT_EQ(source.stops, 2);
}

TEST_F(DeviceWatchTest, UnregisterStopsTheSourceAndTheEvents) {
    ASSERT_TRUE(watch->Register());
    watch->Unregister();
    EXPECT_EQ(source.stops, 1);
    EXPECT_FALSE(source.started);
    EXPECT_FALSE(watch->Registered());
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

TEST_F(DeviceWatchTest, TheSourceIsGivenTheOwnersChangesPendingCall) {
    ASSERT_TRUE(watch->Register());
    ASSERT_TRUE(source.changesPending);
    source.changesPending();
    EXPECT_EQ(pendingCalls, 1);
    // Registering again hands the same call to the new start.
    ASSERT_TRUE(watch->Register());
    source.changesPending();
    EXPECT_EQ(pendingCalls, 2);
}

TEST_F(DeviceWatchTest, ADeliveryInsideAHandlerKeepsTheOrder) {
    ASSERT_TRUE(watch->Register());
    // As when a message box of the connect sequence runs the event loop, and
    // a posted delivery of later changes runs inside it.
    int nested = -1;
    events.onArrival = [&] {
        events.onArrival = nullptr;
        source.pending = {Removal("/dev/b")};
        nested = watch->DeliverPending();
    };
    source.pending = {Arrival("/dev/a"), Removal("/dev/a")};
    EXPECT_EQ(watch->DeliverPending(), 3);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(events.log,
              (std::vector<std::string>{"arrival /dev/a", "remove /dev/a", "remove /dev/b"}));
}

TEST(DeviceWatchHotplugTest, UnplugAndReplugReachTheReceiverLink) {
    FakeDeviceEvents source;
    test::RecordingDialogs dialogs;
    test::FakeReceiverLink link;
    link.connected = "/dev/hidraw4";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    DeviceWatch watch(source, dialogs, hotplug, nullptr);
    ASSERT_TRUE(watch.Register());

    source.pending = {Removal("/dev/hidraw4"), Arrival("/dev/hidraw4")};
    EXPECT_EQ(watch.DeliverPending(), 2);
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"Destroy", "red", "DisableTimer",
                                        "DeviceCheck /dev/hidraw4", "ConnectReceiver"}));
}

}  // namespace
}  // namespace qv
