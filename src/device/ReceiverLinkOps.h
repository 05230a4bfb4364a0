#pragma once
// What the main window's hotplug handling (ReceiverHotplug) needs from the
// receiver link and the window; the application implements it over
// HidTransport and its controls.

#include <optional>
#include <string>

#include "device/HidTransport.h"

namespace qv {

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

}  // namespace qv
