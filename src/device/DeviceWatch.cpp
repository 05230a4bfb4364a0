#include "device/DeviceWatch.h"

#include <vector>

#include "common/AsciiCase.h"

namespace qv {

clsDeviceNotification::clsDeviceNotification(DeviceEvents& source, Dialogs& dialogs,
                                             DeviceNotificationEvents& events)
    : mSource(source), mDialogs(dialogs), mEvents(events) {}

clsDeviceNotification::~clsDeviceNotification() {
    *mAlive = false;
    DoUnregisterDeviceNotification();
}

bool clsDeviceNotification::DoRegisterDeviceInterface() {
    if (mRegistered) {
        mSource.Stop();
        mRegistered = false;
    }
    std::string error;
    if (!mSource.Start(error)) {
        mDialogs.MsgBox("cannot watch for devices: " + error, MsgIcon::Critical, MsgButtons::Ok);
        return false;
    }
    mRegistered = true;
    return true;
}

void clsDeviceNotification::DoUnregisterDeviceNotification() {
    mSource.Stop();
    mRegistered = false;
}

int clsDeviceNotification::DeliverPending() {
    if (!mRegistered) {
        return 0;
    }
    // A handler may run a modal loop (a message box of the connect sequence)
    // in which the program ends this object or unregisters it.
    const std::shared_ptr<bool> alive = mAlive;
    DeviceNotificationEvents& events = mEvents;
    const std::vector<DeviceChange> changes = mSource.ReadPending();
    int raised = 0;
    for (const DeviceChange& change : changes) {
        if (!*alive || !mRegistered) {
            break;
        }
        if (change.kind == DeviceChange::Kind::Arrival) {
            events.DeviceArrival(change.path);
        } else {
            events.DeviceRemoveComplete(change.path);
        }
        ++raised;
    }
    return raised;
}

void ReceiverHotplug::DeviceArrival(const std::string& DeviceName) {
    std::int32_t vendorId = 0;
    std::int32_t productId = 0;
    if (!mLink.DeviceCheck(DeviceName, vendorId, productId)) {
        return;
    }
    if (vendorId != mVendorID || productId != mProductID) {
        return;
    }
    if (!mLink.ConnectDevicePath().empty()) {
        return;
    }
    mLink.ConnectReceiver();
}

void ReceiverHotplug::DeviceRemoveComplete(const std::string& DeviceName) {
    // Device paths are compared as Windows compares them, without regard to
    // ASCII case. A removal without a path while nothing is connected matches
    // the empty path: it closes nothing and leaves the lamp red.
    if (!EqualsIgnoringAsciiCase(DeviceName, mLink.ConnectDevicePath())) {
        // Another device went away: the receiver is still there, keep polling.
        return;
    }
    mLink.Destroy();
    mLink.SetLamp(false);
    mLink.DisableTimer();
}

}  // namespace qv
