#pragma once
// The main window's handling of device arrival and removal (DeviceWatch's
// events): connect an arriving receiver, close a removed one.

#include <cstdint>
#include <string>

#include "device/DeviceWatchEvents.h"
#include "device/ReceiverLinkOps.h"

namespace qv {

// The main window's handling of the device watch's events.
class ReceiverHotplug final : public DeviceWatchEvents {
public:
    // `vendorId`/`productId` are the configured receiver identifiers.
    ReceiverHotplug(ReceiverLinkOps& link, std::int32_t vendorId, std::int32_t productId)
        : link_(link), vendorId_(vendorId), productId_(productId) {}

    // Connects a receiver with the configured identifiers when none is connected.
    void DeviceArrived(const std::string& path) override;
    // Closes the connected receiver when it is the one removed (ASCII letter
    // case ignored): Destroy, lamp red, polling stopped. Other removals change
    // nothing.
    void DeviceRemoved(const std::string& path) override;

private:
    ReceiverLinkOps& link_;
    std::int32_t vendorId_;
    std::int32_t productId_;
};

}  // namespace qv
