// Device-interface notifications: the records WM_DEVICECHANGE carries become
// typed arrivals and removals, and the source's own window on its own thread
// receives them.
#include <gtest/gtest.h>

#include "common/win32/Windows.h"

#include <dbt.h>

#include <cstring>
#include <thread>
#include <vector>

#include "PendingCalls.h"
#include "device/win32/Win32DeviceEvents.h"

namespace qv {
namespace {

// A device-interface broadcast record as Windows builds it, the path after the header.
std::vector<std::uint8_t> InterfaceRecord(std::wstring_view path, bool terminate = true,
                                          DWORD type = DBT_DEVTYP_DEVICEINTERFACE) {
    const std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    const std::size_t size =
        std::max(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W),
                 nameOffset + (path.size() + (terminate ? 1 : 0)) * sizeof(wchar_t));
    std::vector<std::uint8_t> bytes(size, 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = type;
    std::memcpy(bytes.data() + nameOffset, path.data(), path.size() * sizeof(wchar_t));
    return bytes;
}

LPARAM Data(std::vector<std::uint8_t>& record) {
    return reinterpret_cast<LPARAM>(record.data());
}

constexpr std::wstring_view kPath =
    L"\\\\?\\HID#VID_1234&PID_0001#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::string kPathUtf8 =
    "\\\\?\\HID#VID_1234&PID_0001#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

TEST(Win32DeviceEvents, ArrivalsAndCompletedRemovalsOfInterfacesCarryTheirPath) {
    auto record = InterfaceRecord(kPath);
    EXPECT_EQ(DeviceChangeFromMessage(DBT_DEVICEARRIVAL, Data(record)),
              (DeviceChange{DeviceChange::Kind::Arrival, kPathUtf8}));
    EXPECT_EQ(DeviceChangeFromMessage(DBT_DEVICEREMOVECOMPLETE, Data(record)),
              (DeviceChange{DeviceChange::Kind::Removal, kPathUtf8}));

    auto japanese = InterfaceRecord(L"\\\\?\\HID#受信機");
    EXPECT_EQ(DeviceChangeFromMessage(DBT_DEVICEARRIVAL, Data(japanese))->path,
              "\\\\?\\HID#受信機");
}

TEST(Win32DeviceEvents, OtherEventsAndDeviceTypesAreNoChange) {
    auto record = InterfaceRecord(kPath);
    for (WPARAM event :
         std::initializer_list<WPARAM>{DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING,
                                       DBT_DEVNODES_CHANGED, DBT_CONFIGCHANGED, DBT_CUSTOMEVENT}) {
        EXPECT_EQ(DeviceChangeFromMessage(event, Data(record)), std::nullopt) << event;
    }
    auto volume = InterfaceRecord(L"", true, DBT_DEVTYP_VOLUME);
    EXPECT_EQ(DeviceChangeFromMessage(DBT_DEVICEARRIVAL, Data(volume)), std::nullopt);
    EXPECT_EQ(DeviceChangeFromMessage(DBT_DEVICEARRIVAL, 0), std::nullopt);
}

TEST(Win32DeviceEvents, APathWithoutItsNulEndsWithTheRecord) {
    auto record = InterfaceRecord(L"\\\\?\\HID#ABCDEFGH", false);
    // Garbage after the record must not become part of the path.
    record.push_back('Z');
    record.push_back(0);
    EXPECT_EQ(DeviceChangeFromMessage(DBT_DEVICEARRIVAL, Data(record))->path,
              "\\\\?\\HID#ABCDEFGH");
}

// Hands `record` to the source's window as Windows would, from this thread;
// the window's thread has handled it when this returns.
void Notify(const Win32DeviceEvents& events, WPARAM event, std::vector<std::uint8_t>& record) {
    ASSERT_NE(events.Window(), nullptr);
    EXPECT_EQ(::SendMessageW(events.Window(), WM_DEVICECHANGE, event, Data(record)), TRUE);
}

TEST(Win32DeviceEvents, TheSourcesWindowQueuesChangesAndCallsFromItsThread) {
    Win32DeviceEvents events;
    EXPECT_EQ(events.Window(), nullptr);
    test::PendingCalls calls;
    std::string error;
    ASSERT_TRUE(events.Start(calls.Call(), error)) << error;
    EXPECT_TRUE(events.ReadPending().empty());

    auto record = InterfaceRecord(kPath);
    Notify(events, DBT_DEVICEARRIVAL, record);
    EXPECT_EQ(::SendMessageW(events.Window(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0), TRUE);
    Notify(events, DBT_DEVICEREMOVECOMPLETE, record);
    EXPECT_EQ(calls.Count(), 1);
    EXPECT_NE(calls.LastThread(), std::this_thread::get_id());
    const std::vector<DeviceChange> expected = {{DeviceChange::Kind::Arrival, kPathUtf8},
                                                {DeviceChange::Kind::Removal, kPathUtf8}};
    EXPECT_EQ(events.ReadPending(), expected);
    EXPECT_TRUE(events.ReadPending().empty());

    Notify(events, DBT_DEVICEARRIVAL, record);
    events.Stop();
    EXPECT_EQ(events.Window(), nullptr);
    EXPECT_TRUE(events.ReadPending().empty()) << "stopping drops what was not read";
    events.Stop();  // harmless twice
}

TEST(Win32DeviceEvents, StartingAgainMakesANewWindow) {
    Win32DeviceEvents events;
    test::PendingCalls first;
    std::string error;
    ASSERT_TRUE(events.Start(first.Call(), error)) << error;
    const HWND old = events.Window();
    test::PendingCalls second;
    ASSERT_TRUE(events.Start(second.Call(), error)) << error;
    EXPECT_FALSE(::IsWindow(old));
    auto record = InterfaceRecord(kPath);
    Notify(events, DBT_DEVICEARRIVAL, record);
    EXPECT_EQ(first.Count(), 0) << "the first start's call ended with it";
    EXPECT_EQ(second.Count(), 1);
    EXPECT_EQ(events.ReadPending().size(), 1u);
}

}  // namespace
}  // namespace qv
