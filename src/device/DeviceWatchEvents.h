#pragma once
// What the device watch raises: a device arrived or went away, each with the
// device's path. The owner overrides what it handles; both run on the thread
// that calls DeviceWatch::DeliverPending (the GUI thread).

#include <string>

namespace qv {

class DeviceWatchEvents {
public:
    virtual ~DeviceWatchEvents() = default;
    // A device arrived at `path` (empty for a device without one).
    virtual void DeviceArrived(const std::string& /*path*/) {}
    // A device went away; `path` as for DeviceArrived.
    virtual void DeviceRemoved(const std::string& /*path*/) {}
};

}  // namespace qv
