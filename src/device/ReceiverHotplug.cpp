#include "device/ReceiverHotplug.h"

#include "common/AsciiCase.h"

namespace qv {

void ReceiverHotplug::DeviceArrived(const std::string& path) {
    std::int32_t vendorId = 0;
    std::int32_t productId = 0;
    if (!link_.DeviceCheck(path, vendorId, productId)) {
        return;
    }
    if (vendorId != vendorId_ || productId != productId_) {
        return;
    }
    if (!link_.ConnectDevicePath().empty()) {
        return;
    }
    link_.ConnectReceiver();
}

void ReceiverHotplug::DeviceRemoved(const std::string& path) {
    // Device paths are compared as Windows compares them, without regard to
    // ASCII case. A removal without a path while nothing is connected matches
    // the empty path: it closes nothing and leaves the lamp red.
    if (!EqualsIgnoringAsciiCase(path, link_.ConnectDevicePath())) {
        // Another device went away: the receiver is still there, keep polling.
        return;
    }
    link_.Destroy();
    link_.SetLamp(false);
    link_.DisableTimer();
}

}  // namespace qv
