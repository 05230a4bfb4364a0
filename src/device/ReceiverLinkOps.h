#pragma once
// What the main window's hotplug handling (ReceiverHotplug) needs from the
// receiver link and the window; the application implements it over
// HidTransport and its controls.

#include <cstdint>
#include <string>

namespace qv {

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

}  // namespace qv
