#pragma once
// The main window's handling of device arrival and removal (DeviceWatch's
// events): connect an arriving receiver, close a removed one.

#include <cstdint>
#include <optional>
#include <string>

#include "device/DeviceWatch.h"
#include "device/HidTransport.h"

namespace qv {

// What the main window's hotplug handling needs from the receiver link and
// the window; the application implements it over HidTransport and its controls.
class ReceiverLinkOps {
public:
    virtual ~ReceiverLinkOps() = default;
    // The identifiers of the device at `path`, read without opening it for
    // transfers; nullopt when it is not a HID device.
    virtual std::optional<DeviceIds> ReadIds(const std::string& path) = 0;
    // The path of the connected receiver; empty when none is connected.
    virtual std::string ConnectDevicePath() = 0;
    // The connect-and-start sequence (lamp, version, start, polling).
    virtual void ConnectReceiver() = 0;
    // The connected receiver went away: close it, show that, stop polling.
    virtual void ReceiverRemoved() = 0;
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
    // case ignored): ReceiverRemoved. Other removals change nothing.
    void DeviceRemoved(const std::string& path) override;

private:
    ReceiverLinkOps& link_;
    std::int32_t vendorId_;
    std::int32_t productId_;
};

}  // namespace qv
