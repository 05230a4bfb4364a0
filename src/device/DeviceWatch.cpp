#include "device/DeviceWatch.h"

#include <vector>

namespace qv {

DeviceWatch::DeviceWatch(DeviceEvents& source, Dialogs& dialogs, DeviceWatchEvents& events)
    : source_(source), dialogs_(dialogs), events_(events) {}

DeviceWatch::~DeviceWatch() {
    *alive_ = false;
    Unregister();
}

bool DeviceWatch::Register() {
    if (registered_) {
        source_.Stop();
        registered_ = false;
    }
    std::string error;
    if (!source_.Start(error)) {
        dialogs_.Tell("cannot watch for devices: " + error, MessageKind::Error);
        return false;
    }
    registered_ = true;
    return true;
}

void DeviceWatch::Unregister() {
    source_.Stop();
    registered_ = false;
}

int DeviceWatch::DeliverPending() {
    if (!registered_) {
        return 0;
    }
    // A handler may run a modal loop (a message box of the connect sequence)
    // in which the program ends this object or unregisters it.
    const std::shared_ptr<bool> alive = alive_;
    DeviceWatchEvents& events = events_;
    const std::vector<DeviceChange> changes = source_.ReadPending();
    int raised = 0;
    for (const DeviceChange& change : changes) {
        if (!*alive || !registered_) {
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
