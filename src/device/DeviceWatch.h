#pragma once
// Device arrival and removal for the main window. DeviceWatch starts the
// device-event source and turns what it reports into the events DeviceArrived
// and DeviceRemoved, each with the device's path. The application's event
// loop calls DeliverPending() when the source has something (its Fd() is
// readable, or the window was told on Windows).

#include <memory>
#include <string>

#include "common/Dialogs.h"
#include "device/DeviceEvents.h"

namespace qv {

// Arrival and removal events; the owner overrides what it handles. Both run
// on the thread that calls DeliverPending (the GUI thread).
class DeviceWatchEvents {
public:
    virtual ~DeviceWatchEvents() = default;
    // A device arrived at `path` (empty for a device without one).
    virtual void DeviceArrived(const std::string& /*path*/) {}
    // A device went away; `path` as for DeviceArrived.
    virtual void DeviceRemoved(const std::string& /*path*/) {}
};

class DeviceWatch {
public:
    // None owned; all must outlive it.
    DeviceWatch(DeviceEvents& source, Dialogs& dialogs, DeviceWatchEvents& events);
    // Runs Unregister.
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Starts the source. On failure tells the user "cannot watch for devices:
    // <reason>" and returns false; no device events come then. Registering
    // again replaces the registration.
    bool Register();
    // Stops the source; harmless when not registered.
    void Unregister();
    // Reads what the source has pending and raises DeviceArrived and
    // DeviceRemoved in that order; returns how many were raised.
    // Nothing when not registered. A handler may unregister (the rest of the
    // batch is dropped) or even end this object (nothing more is touched).
    int DeliverPending();

private:
    DeviceEvents& source_;
    Dialogs& dialogs_;
    DeviceWatchEvents& events_;
    bool registered_ = false;
    // Cleared by the destructor, so a delivery whose handler ended this
    // object stops before it touches it again.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv
