#pragma once
// Device arrival and removal for the main window. DeviceWatch starts the
// device-event source and turns what it reports into the events DeviceArrived
// and DeviceRemoved, each with the device's path. When the source says
// "changes pending" (on any thread), the owner has DeliverPending() run on its
// own thread.

#include <memory>
#include <string>

#include "common/Dialogs.h"
#include "device/DeviceEvents.h"
#include "device/DeviceWatchEvents.h"

namespace qv {

class DeviceWatch {
public:
    // None of the references is owned; all must outlive the watch.
    // `changesPending` is handed to the source (see DeviceEvents::ChangesPending).
    DeviceWatch(DeviceEvents& source, Dialogs& dialogs, DeviceWatchEvents& events,
                DeviceEvents::ChangesPending changesPending);
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
    // True while the source is started.
    bool Registered() const { return registered_; }
    // Reads what the source has pending and raises DeviceArrived and
    // DeviceRemoved in that order; returns how many were raised.
    // Nothing when not registered. A handler may unregister (the rest of the
    // batch is dropped) or even end this object (nothing more is touched). A
    // call made while a handler runs (from a modal loop inside it) raises
    // nothing itself: the running delivery reads again once its batch is
    // through, so changes keep their order.
    int DeliverPending();

private:
    DeviceEvents& source_;
    Dialogs& dialogs_;
    DeviceWatchEvents& events_;
    DeviceEvents::ChangesPending changesPending_;
    bool registered_ = false;
    bool delivering_ = false;
    bool readAgain_ = false;
    // Cleared by the destructor, so a delivery whose handler ended this
    // object stops before it touches it again.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv
