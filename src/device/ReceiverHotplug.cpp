#include "device/ReceiverHotplug.h"

#include "common/AsciiCase.h"

namespace qv {

void ReceiverHotplug::DeviceArrived(const std::string& path) {
    std::int32_t vendorId = 0;
    std::int32_t productId = 0;
    if (!mLink.DeviceCheck(path, vendorId, productId)) {
        return;
    }
    if (vendorId != mVendorId || productId != mProductId) {
        return;
    }
    if (!mLink.ConnectDevicePath().empty()) {
        return;
    }
    mLink.ConnectReceiver();
}

void ReceiverHotplug::DeviceRemoved(const std::string& path) {
    // Device paths are compared as Windows compares them, without regard to
    // ASCII case. A removal without a path while nothing is connected matches
    // the empty path: it closes nothing and leaves the lamp red.
    if (!EqualsIgnoringAsciiCase(path, mLink.ConnectDevicePath())) {
        // Another device went away: the receiver is still there, keep polling.
        return;
    }
    mLink.Destroy();
    mLink.SetLamp(false);
    mLink.DisableTimer();
}

}  // namespace qv
