#pragma once
// The changes a device-event source has collected and its owner has not read
// yet, with the owner's "changes pending" call: the source's thread pushes,
// the owner's thread takes.

#include <mutex>
#include <vector>

#include "device/DeviceEvents.h"

namespace qv {

class DeviceChangeQueue {
public:
    // Accepts changes from now on; `changesPending` is made when a change
    // arrives while none is waiting. Drops what an earlier opening left.
    void Open(DeviceEvents::ChangesPending changesPending);
    // Accepts no more changes and drops those waiting. Once it returns, the
    // call is not running and is not made again (so it must not be called
    // from inside that call).
    void Close();
    // Queues `change` (ignored while closed) and makes the call when it is
    // the first one waiting.
    void Push(DeviceChange change);
    // What is waiting, oldest first; empty while closed.
    std::vector<DeviceChange> Take();

private:
    std::mutex mutex_;  // guards open_ and waiting_
    bool open_ = false;
    std::vector<DeviceChange> waiting_;
    // Held while the call runs, so Close can wait for it.
    std::mutex callMutex_;
    DeviceEvents::ChangesPending changesPending_;
};

}  // namespace qv
