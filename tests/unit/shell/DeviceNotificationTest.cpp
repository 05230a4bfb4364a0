#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "RecordingDialogs.h"
#include "ShellFakes.h"
#include "device/clsDeviceNotification.h"

namespace qv {
namespace {

using test::RecordingProcedure;
using test::TestClient;

class FakeDeviceEvents : public DeviceEvents {
public:
    bool startOk = true;
    int startError = 0;
    int starts = 0;
    int stops = 0;
    std::vector<DeviceChange> pending;
    bool Start(int& errorNumber) override {
        ++starts;
        errorNumber = startError;
        return startOk;
    }
    void Stop() override { ++stops; }
    int Fd() const override { return -1; }
    std::vector<DeviceChange> ReadPending() override { return std::exchange(pending, {}); }
};

class EventLog : public DeviceNotificationEvents {
public:
    std::vector<std::string> log;
    void DeviceArrival(std::int32_t w, const std::string& name) override {
        log.push_back("arrival " + std::to_string(w) + " " + name);
    }
    void DeviceRemoveComplete(std::int32_t w, const std::string& name) override {
        log.push_back("remove " + std::to_string(w) + " " + name);
    }
};

DeviceChange Change(DeviceChange::Kind kind, std::string path, std::int32_t type = 5) {
    DeviceChange c;
    c.kind = kind;
    c.deviceType = type;
    c.path = std::move(path);
    return c;
}

class DeviceNotificationTest : public ::testing::Test {
protected:
    DeviceNotificationTest() {
        defaultId = procs.RegisterProcedure(defaultProc);
        hWnd = procs.CreateWindowHandle(defaultId);
        // The tray icon watches the window first and holds its procedure.
        router.SubClass(first);
        notifier = clsDeviceNotification::Create(router, source, dialogs);
        notifier->SetEvents(&events);
    }

    WindowProcs procs;
    RecordingProcedure defaultProc;
    ProcId defaultId = 0;
    WindowHandle hWnd = 0;
    FakeDeviceEvents source;
    test::RecordingDialogs dialogs;
    EventLog events;
    modSubClass router{procs};
    std::shared_ptr<TestClient> first = std::make_shared<TestClient>(1);
    std::shared_ptr<clsDeviceNotification> notifier;
};

TEST_F(DeviceNotificationTest, FailedRegistrationIsReportedOnceAndWatchesNothing) {
    source.startOk = false;
    source.startError = 19;
    EXPECT_FALSE(notifier->DoRegisterDeviceInterface(hWnd));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "RegisterDeviceNotification failed: 19");
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::None);
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(notifier->hWnd(), hWnd);
    EXPECT_FALSE(router.IsRegistered(*notifier));

    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::Arrival, "/dev/hidraw0"));
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(DeviceNotificationTest, ArrivalAndRemovalCarryTypeAndPath) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(notifier->ProcOrg(), 0);  // shares the window with the first client

    EXPECT_EQ(
        DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::Arrival, "/dev/hidraw3")), 42);
    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::RemoveComplete, "/dev/hidraw3"));
    EXPECT_EQ(events.log,
              (std::vector<std::string>{"arrival 5 /dev/hidraw3", "remove 5 /dev/hidraw3"}));
    // Every broadcast also reaches the window's own procedure.
    ASSERT_EQ(defaultProc.seen.size(), 2u);
    EXPECT_EQ(defaultProc.seen[0].iMsg, kWmDeviceChange);
    EXPECT_EQ(defaultProc.seen[0].wParam, 0x8000);
    EXPECT_EQ(defaultProc.seen[1].wParam, 0x8004);
}

TEST_F(DeviceNotificationTest, OtherDeviceTypesCarryNoName) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::Arrival, "ignored", 0));
    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::RemoveComplete, "", 2));
    EXPECT_EQ(events.log, (std::vector<std::string>{"arrival 0 ", "remove 2 "}));
}

TEST_F(DeviceNotificationTest, OtherMessagesPassOnWithoutEvents) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    EXPECT_EQ(notifier->WindowProc(hWnd, kWmDeviceChange, 0x0007, 0), -1);  // devnodes changed
    EXPECT_EQ(notifier->WindowProc(hWnd, MessageId{0x401}, 0x8000, 0), -1);
    EXPECT_EQ(procs.Dispatch(hWnd, 0x0010, 0x8000, 0), 42);
    EXPECT_TRUE(events.log.empty());
}

TEST_F(DeviceNotificationTest, PathsAreCutToTheRecordsField) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    const std::string exact(1024, 'p');
    const std::string longer = std::string(1024, 'q') + "tail";
    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::Arrival, exact));
    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::Arrival, longer));
    ASSERT_EQ(events.log.size(), 2u);
    EXPECT_EQ(events.log[0], "arrival 5 " + exact);
    EXPECT_EQ(events.log[1], "arrival 5 " + std::string(1024, 'q'));
}

TEST_F(DeviceNotificationTest, ARecordClaimingMoreThanItsSizeIsReadWithinBounds) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    DevBroadcastDeviceInterface record =
        MakeBroadcastRecord(Change(DeviceChange::Kind::Arrival, ""));
    record.dbcc_size = 100000;
    record.dbcc_name.fill('z');  // no NUL anywhere
    notifier->WindowProc(hWnd, kWmDeviceChange, kDbtDeviceArrival,
                         reinterpret_cast<LParam>(&record));
    // A size below the name's offset gives an empty name.
    record.dbcc_size = 20;
    notifier->WindowProc(hWnd, kWmDeviceChange, kDbtDeviceArrival,
                         reinterpret_cast<LParam>(&record));
    ASSERT_EQ(events.log.size(), 2u);
    EXPECT_EQ(events.log[0], "arrival 5 " + std::string(1024, 'z'));
    EXPECT_EQ(events.log[1], "arrival 5 ");
}

TEST_F(DeviceNotificationTest, RecordLayout) {
    const auto r = MakeBroadcastRecord(Change(DeviceChange::Kind::Arrival, "/dev/hidraw0"));
    EXPECT_EQ(r.dbcc_size, 28 + 12 + 1);
    EXPECT_EQ(r.dbcc_devicetype, 5);
    EXPECT_EQ(std::string(r.dbcc_name.data()), "/dev/hidraw0");
    const auto other = MakeBroadcastRecord(Change(DeviceChange::Kind::Arrival, "x", 0));
    EXPECT_EQ(other.dbcc_size, 12);
    EXPECT_EQ(other.dbcc_name[0], '\0');
    EXPECT_EQ(offsetof(DevBroadcastDeviceInterface, dbcc_name), 28u);
}

TEST_F(DeviceNotificationTest, PendingChangesAreDispatchedInOrder) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    source.pending = {Change(DeviceChange::Kind::Arrival, "/dev/a"),
                      Change(DeviceChange::Kind::RemoveComplete, "/dev/b")};
    EXPECT_EQ(DispatchDeviceChanges(source, procs, hWnd), 2);
    EXPECT_EQ(events.log, (std::vector<std::string>{"arrival 5 /dev/a", "remove 5 /dev/b"}));
    EXPECT_EQ(DispatchDeviceChanges(source, procs, hWnd), 0);
}

TEST_F(DeviceNotificationTest, UnregisterStopsTheSourceAndTheWatching) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    notifier->DoUnregisterDeviceNotification();
    EXPECT_EQ(source.stops, 1);
    EXPECT_FALSE(router.IsRegistered(*notifier));
    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::Arrival, "/dev/a"));
    EXPECT_TRUE(events.log.empty());
}

TEST_F(DeviceNotificationTest, TheNotifierEndsWithTheRegistryAndStopsTheSource) {
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    std::weak_ptr<clsDeviceNotification> weak = notifier;
    notifier.reset();
    EXPECT_FALSE(weak.expired());
    const int stopsBefore = source.stops;
    router.ReleaseAll();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(source.stops, stopsBefore + 1);
    EXPECT_EQ(procs.WindowProcedureOf(hWnd), defaultId);
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
    hotplug.DeviceArrival(5, "/dev/hidraw1");
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"DeviceCheck /dev/hidraw1", "ConnectReceiver"}));

    link.calls.clear();
    link.connected = "/dev/hidraw1";
    hotplug.DeviceArrival(5, "/dev/hidraw2");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"DeviceCheck /dev/hidraw2"}));
}

TEST(ReceiverHotplugTest, ForeignDevicesChangeNothing) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    link.pid = 0x0002;
    hotplug.DeviceArrival(5, "/dev/hidraw1");
    link.pid = 0x0001;
    link.vid = 0x04D8;
    hotplug.DeviceArrival(5, "/dev/hidraw1");
    link.isHid = false;
    link.vid = 0x1234;
    hotplug.DeviceArrival(5, "/dev/sdb");
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"DeviceCheck /dev/hidraw1", "DeviceCheck /dev/hidraw1",
                                        "DeviceCheck /dev/sdb"}));
}

TEST(ReceiverHotplugTest, ConfiguredIdentifiersAreTheOnesMatched) {
    FakeLink link;
    link.vid = 0x04D8;
    link.pid = 0x003F;
    ReceiverHotplug hotplug(link, 0x04D8, 0x003F);
    hotplug.DeviceArrival(5, "/dev/hidraw0");
    EXPECT_EQ(link.calls.back(), "ConnectReceiver");
}

TEST(ReceiverHotplugTest, RemovalOfTheReceiverIgnoresCaseAndStopsPolling) {
    FakeLink link;
    link.connected = "/dev/HIDRAW1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoveComplete(5, "/dev/hidraw1");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"Destroy", "red", "DisableTimer"}));
    EXPECT_TRUE(link.connected.empty());
}

TEST(ReceiverHotplugTest, RemovalOfAnotherDeviceKeepsPolling) {
    FakeLink link;
    link.connected = "/dev/hidraw1";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoveComplete(5, "/dev/sdb1");
    hotplug.DeviceRemoveComplete(0, "");
    hotplug.DeviceRemoveComplete(5, "/dev/hidraw10");
    EXPECT_TRUE(link.calls.empty());
    EXPECT_EQ(link.connected, "/dev/hidraw1");
}

TEST(ReceiverHotplugTest, NamelessRemovalWithoutReceiverKeepsTheLampRed) {
    FakeLink link;
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    hotplug.DeviceRemoveComplete(0, "");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"Destroy", "red", "DisableTimer"}));
}

TEST(ReceiverHotplugTest, UnplugAndReplugThroughTheNotifier) {
    WindowProcs procs;
    RecordingProcedure defaultProc;
    const ProcId defaultId = procs.RegisterProcedure(defaultProc);
    const WindowHandle hWnd = procs.CreateWindowHandle(defaultId);
    modSubClass router(procs);
    FakeDeviceEvents source;
    test::RecordingDialogs dialogs;
    FakeLink link;
    link.connected = "/dev/hidraw4";
    ReceiverHotplug hotplug(link, 0x1234, 0x0001);
    auto notifier = clsDeviceNotification::Create(router, source, dialogs);
    notifier->SetEvents(&hotplug);
    ASSERT_TRUE(notifier->DoRegisterDeviceInterface(hWnd));
    EXPECT_EQ(notifier->ProcOrg(), defaultId);  // the only client installs the router

    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::RemoveComplete, "/dev/hidraw4"));
    DispatchDeviceChange(procs, hWnd, Change(DeviceChange::Kind::Arrival, "/dev/hidraw4"));
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"Destroy", "red", "DisableTimer",
                                        "DeviceCheck /dev/hidraw4", "ConnectReceiver"}));
    notifier->SetEvents(nullptr);
}

}  // namespace
}  // namespace qv
