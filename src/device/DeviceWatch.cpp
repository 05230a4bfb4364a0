#include "device/DeviceWatch.h"

#include <utility>
#include <vector>

namespace qv {

DeviceWatch::DeviceWatch(DeviceEvents& source, Dialogs& dialogs, DeviceWatchEvents& events,
                         DeviceEvents::ChangesPending changesPending)
    : source_(source),
      dialogs_(dialogs),
      events_(events),
      changesPending_(std::move(changesPending)) {}

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
    if (!source_.Start(changesPending_, error)) {
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
    if (delivering_) {
        readAgain_ = true;  // the running delivery reads these after its batch
        return 0;
    }
    // A handler may run a modal loop (a message box of the connect sequence)
    // in which the program ends this object or unregisters it.
    const std::shared_ptr<bool> alive = alive_;
    DeviceWatchEvents& events = events_;
    delivering_ = true;
    int raised = 0;
    do {
        readAgain_ = false;
        const std::vector<DeviceChange> changes = source_.ReadPending();
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
        if (!*alive) {
            return raised;  // the watch is gone: touch nothing
        }
    } while (readAgain_ && registered_);
    delivering_ = false;
    return raised;
}

}  // namespace qv
