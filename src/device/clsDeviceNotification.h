#pragma once
// Device arrival and removal for the main window. clsDeviceNotification
// starts the device-event source for a window, watches the window's messages
// through modSubClass and turns WM_DEVICECHANGE broadcasts into the events
// DeviceArrival and DeviceRemoveComplete. DispatchDeviceChanges() turns what
// the source reports into those broadcasts; the application calls it when the
// source's descriptor is readable. ReceiverHotplug is the main window's
// handling of the two events: connect an arriving receiver, close a removed one.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/Dialogs.h"
#include "device/DeviceEvents.h"
#include "shell/ShellTypes.h"
#include "shell/WindowProcs.h"
#include "shell/modSubClass.h"

namespace qv {

// wParam values of WM_DEVICECHANGE.
inline constexpr WParam kDbtDeviceArrival = 0x8000;
inline constexpr WParam kDbtDeviceRemoveComplete = 0x8004;

// Longest device path a broadcast carries, in bytes; longer paths are cut.
inline constexpr std::size_t kMaxDevicePathChars = 1024;

// Header of every device broadcast record (12 bytes).
struct DevBroadcastHdr {
    std::int32_t dbch_size = 0;
    std::int32_t dbch_devicetype = 0;
    std::int32_t dbch_reserved = 0;
};

// A device-interface broadcast record (1052 bytes): the header, the interface
// class (16 bytes), the path as NUL-ended text in a 1024-byte field.
struct DevBroadcastDeviceInterface {
    std::int32_t dbcc_size = 0;
    std::int32_t dbcc_devicetype = 0;
    std::int32_t dbcc_reserved = 0;
    std::array<std::uint8_t, 16> dbcc_classguid{};
    std::array<char, kMaxDevicePathChars> dbcc_name{};
};
static_assert(sizeof(DevBroadcastHdr) == 12);
static_assert(sizeof(DevBroadcastDeviceInterface) == 12 + 16 + kMaxDevicePathChars);

// The broadcast record for one change: device type 5 with the path (cut to
// kMaxDevicePathChars bytes, a path of exactly that length keeps no NUL), any
// other type with an empty name and dbcc_size = 12.
DevBroadcastDeviceInterface MakeBroadcastRecord(const DeviceChange& change);

// Delivers one change to `hWnd` as WM_DEVICECHANGE (wParam = arrival or
// removal, lParam = the record's address) through WindowProcs; returns the
// window procedure's result.
LResult DispatchDeviceChange(WindowProcs& procs, WindowHandle hWnd, const DeviceChange& change);
// Reads the source's pending changes and dispatches each in order; returns
// how many were dispatched.
int DispatchDeviceChanges(DeviceEvents& source, WindowProcs& procs, WindowHandle hWnd);

// Arrival and removal events; the owner overrides what it handles.
class DeviceNotificationEvents {
public:
    virtual ~DeviceNotificationEvents() = default;
    // A device arrived: `wParam` is the device type, `DeviceName` the path
    // (empty for types other than 5).
    virtual void DeviceArrival(std::int32_t /*wParam*/, const std::string& /*DeviceName*/) {}
    // A device was removed: parameters as for DeviceArrival.
    virtual void DeviceRemoveComplete(std::int32_t /*wParam*/, const std::string& /*DeviceName*/) {}
};

class clsDeviceNotification final : public SubClassClient,
                                    public std::enable_shared_from_this<clsDeviceNotification> {
public:
    // Creates a notifier; router, source and dialogs must outlive it.
    static std::shared_ptr<clsDeviceNotification> Create(modSubClass& router, DeviceEvents& source,
                                                         Dialogs& dialogs);
    // Runs DoUnregisterDeviceNotification.
    ~clsDeviceNotification() override;
    clsDeviceNotification(const clsDeviceNotification&) = delete;
    clsDeviceNotification& operator=(const clsDeviceNotification&) = delete;

    // Receives the events (not owned; nullptr for none). The owner clears it
    // before it goes away.
    void SetEvents(DeviceNotificationEvents* events) { mEvents = events; }

    ProcId ProcOrg() const override { return mProcOrg; }
    void SetProcOrg(ProcId proc) override { mProcOrg = proc; }

    // Starts the device-event source for `hWnd` and watches the window. On
    // failure shows "RegisterDeviceNotification failed: <errno>" and returns false.
    bool DoRegisterDeviceInterface(WindowHandle hWnd);
    // Stops the source and the watching.
    void DoUnregisterDeviceNotification();
    // The window given to DoRegisterDeviceInterface; 0 before.
    WindowHandle hWnd() const override { return mHWnd; }
    // Raises the events for arrival and removal broadcasts; always -1.
    LResult WindowProc(WindowHandle hWnd, MessageId iMsg, WParam wParam, LParam lParam) override;

    // True while the source is started.
    bool Registered() const { return mNotifyHandle != 0; }

private:
    clsDeviceNotification(modSubClass& router, DeviceEvents& source, Dialogs& dialogs);

    modSubClass& mRouter;
    DeviceEvents& mSource;
    Dialogs& mDialogs;
    DeviceNotificationEvents* mEvents = nullptr;
    ProcId mProcOrg = 0;
    WindowHandle mHWnd = 0;
    std::int32_t mNotifyHandle = 0;
};

// What the main window's hotplug handling needs from the receiver link and
// the window; the application implements it over clsHidDirect and its controls.
class ReceiverLinkOps {
public:
    virtual ~ReceiverLinkOps() = default;
    // Opens `path` briefly and reads its identifiers; false when it is not a HID device.
    virtual bool DeviceCheck(const std::string& path, std::int32_t& VendorID,
                             std::int32_t& ProductID) = 0;
    // The path of the connected receiver; empty when none is connected.
    virtual std::string ConnectDevicePath() = 0;
    // Closes the receiver and empties ConnectDevicePath.
    virtual void Destroy() = 0;
    // The connect-and-start sequence (lamp, version, start, timer).
    virtual void ConnectReceiver() = 0;
    // Fills the lamp green (true) or red (false).
    virtual void SetLamp(bool green) = 0;
    // Stops polling (disables Timer1).
    virtual void DisableTimer() = 0;
};

// The main window's handling of the notifier's events.
class ReceiverHotplug final : public DeviceNotificationEvents {
public:
    // `vendorId`/`productId` are the configured receiver identifiers.
    ReceiverHotplug(ReceiverLinkOps& link, std::int32_t vendorId, std::int32_t productId)
        : mLink(link), mVendorID(vendorId), mProductID(productId) {}

    // Connects a receiver with the configured identifiers when none is connected.
    void DeviceArrival(std::int32_t wParam, const std::string& DeviceName) override;
    // Closes the connected receiver when it is the one removed (letter case
    // ignored): Destroy, lamp red, polling stopped. Other removals change nothing.
    void DeviceRemoveComplete(std::int32_t wParam, const std::string& DeviceName) override;

private:
    ReceiverLinkOps& mLink;
    std::int32_t mVendorID;
    std::int32_t mProductID;
};

// True when `a` and `b` are equal after ASCII upper-casing.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace qv
