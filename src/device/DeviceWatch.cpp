#include "device/DeviceWatch.h"

#include <vector>

namespace qv {

DeviceWatch::DeviceWatch(DeviceEvents& source, Dialogs& dialogs, DeviceWatchEvents& events)
    : mSource(source), mDialogs(dialogs), mEvents(events) {}

DeviceWatch::~DeviceWatch() {
    *mAlive = false;
    Unregister();
}

bool DeviceWatch::Register() {
    if (mRegistered) {
        mSource.Stop();
        mRegistered = false;
    }
    std::string error;
    if (!mSource.Start(error)) {
        mDialogs.Tell("cannot watch for devices: " + error, MessageKind::Error);
        return false;
    }
    mRegistered = true;
    return true;
}

void DeviceWatch::Unregister() {
    mSource.Stop();
    mRegistered = false;
}

int DeviceWatch::DeliverPending() {
    if (!mRegistered) {
        return 0;
    }
    // A handler may run a modal loop (a message box of the connect sequence)
    // in which the program ends this object or unregisters it.
    const std::shared_ptr<bool> alive = mAlive;
    DeviceWatchEvents& events = mEvents;
    const std::vector<DeviceChange> changes = mSource.ReadPending();
    int raised = 0;
    for (const DeviceChange& change : changes) {
        if (!*alive || !mRegistered) {
            break;
        }
        if (change.kind == DeviceChange::Kind::Arrival) {
            events.DeviceArrived(change.path);
        } else {
            events.DeviceRemoved(change.path);
        }
        ++raised;
    }
    return raised;
}

}  // namespace qv
