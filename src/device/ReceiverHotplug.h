#pragma once
// The main window's handling of device arrival and removal (DeviceWatch's
// events): connect an arriving receiver, close a removed one.

#include <cstdint>
#include <string>

#include "device/DeviceWatch.h"

namespace qv {

// What the main window's hotplug handling needs from the receiver link and
// the window; the application implements it over HidTransport and its controls.
class ReceiverLinkOps {
public:
    virtual ~ReceiverLinkOps() = default;
    // Opens `path` briefly and reads its identifiers; false when it is not a HID device.
    virtual bool DeviceCheck(const std::string& path, std::int32_t& vendorId,
                             std::int32_t& productId) = 0;
    // The path of the connected receiver; empty when none is connected.
    virtual std::string ConnectDevicePath() = 0;
    // Closes the receiver and empties ConnectDevicePath.
    virtual void Destroy() = 0;
    // The connect-and-start sequence (lamp, version, start, timer).
    virtual void ConnectReceiver() = 0;
    // Fills the lamp green (true) or red (false).
    virtual void SetLamp(bool green) = 0;
    // Stops polling (disables the poll timer).
    virtual void DisableTimer() = 0;
};

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
