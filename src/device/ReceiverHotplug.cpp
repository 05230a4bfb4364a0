#include "device/ReceiverHotplug.h"

#include "common/AsciiCase.h"

namespace qv {

void ReceiverHotplug::DeviceArrived(const std::string& path) {
    const std::optional<DeviceIds> ids = link_.ReadIds(path);
    if (!ids || *ids != DeviceIds{vendorId_, productId_}) {
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
    link_.ReceiverRemoved();
}

}  // namespace qv
