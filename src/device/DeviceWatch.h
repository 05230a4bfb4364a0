#pragma once
// Device arrival and removal for the main window. clsDeviceNotification
// starts the device-event source and turns what it reports into the events
// DeviceArrival and DeviceRemoveComplete, each with the device's path.
// The application's event loop calls DeliverPending() when the source has
// something (its Fd() is readable, or the window was told on Windows).
// ReceiverHotplug is the main window's handling of the two events: connect an
// arriving receiver, close a removed one.

#include <cstdint>
#include <memory>
#include <string>

#include "common/Dialogs.h"
#include "device/DeviceEvents.h"

namespace qv {

// Arrival and removal events; the owner overrides what it handles. Both run
// on the thread that calls DeliverPending (the GUI thread).
class DeviceNotificationEvents {
public:
    virtual ~DeviceNotificationEvents() = default;
    // A device arrived; `DeviceName` is its path, empty for a device without one.
    virtual void DeviceArrival(const std::string& /*DeviceName*/) {}
    // A device went away; `DeviceName` as for DeviceArrival.
    virtual void DeviceRemoveComplete(const std::string& /*DeviceName*/) {}
};

class clsDeviceNotification {
public:
    // None owned; all must outlive it.
    clsDeviceNotification(DeviceEvents& source, Dialogs& dialogs, DeviceNotificationEvents& events);
    // Runs DoUnregisterDeviceNotification.
    ~clsDeviceNotification();
    clsDeviceNotification(const clsDeviceNotification&) = delete;
    clsDeviceNotification& operator=(const clsDeviceNotification&) = delete;

    // Starts the source. On failure tells the user "cannot watch for devices:
    // <reason>" and returns false; no device events come then. Registering
    // again replaces the registration.
    bool DoRegisterDeviceInterface();
    // Stops the source; harmless when not registered.
    void DoUnregisterDeviceNotification();
    // True while the source is started.
    bool Registered() const { return mRegistered; }
    // Reads what the source has pending and raises DeviceArrival and
    // DeviceRemoveComplete in that order; returns how many were raised.
    // Nothing when not registered. A handler may unregister (the rest of the
    // batch is dropped) or even end this object (nothing more is touched).
    int DeliverPending();

private:
    DeviceEvents& mSource;
    Dialogs& mDialogs;
    DeviceNotificationEvents& mEvents;
    bool mRegistered = false;
    // Cleared by the destructor, so a delivery whose handler ended this
    // object stops before it touches it again.
    std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
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
    void DeviceArrival(const std::string& DeviceName) override;
    // Closes the connected receiver when it is the one removed (ASCII letter
    // case ignored): Destroy, lamp red, polling stopped. Other removals change
    // nothing.
    void DeviceRemoveComplete(const std::string& DeviceName) override;

private:
    ReceiverLinkOps& mLink;
    std::int32_t mVendorID;
    std::int32_t mProductID;
};

}  // namespace qv
