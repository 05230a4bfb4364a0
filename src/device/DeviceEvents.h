#pragma once
// The device-event source: arrivals and removals of HID device interfaces as
// the system announces them (a udev monitor on Linux, device notifications on
// Windows, the simulator's bus in the demo and in tests). The source says
// "changes pending" through a call its owner gives it; the owner then collects
// them with ReadPending on its own thread.

#include <functional>
#include <string>
#include <vector>

namespace qv {

struct DeviceChange {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string path;  // the device path; empty for devices without one
    friend bool operator==(const DeviceChange&, const DeviceChange&) = default;
};

class DeviceEvents {
public:
    // Made at least once after every change that arrives (once for several
    // that arrive together). It may run on any thread, the source's own
    // included, must return promptly and must not call into the source: it
    // hands a call of ReadPending to the owner's thread.
    using ChangesPending = std::function<void()>;

    virtual ~DeviceEvents() = default;
    // Starts watching; `changesPending` is made from now until Stop. False when
    // that is impossible, with the reason in the platform's own words in
    // `error` (e.g. "udev monitor: Permission denied"). Starting again
    // restarts.
    virtual bool Start(ChangesPending changesPending, std::string& error) = 0;
    // Stops watching and drops what was not read; harmless when not started.
    // Once it returns, `changesPending` is not running and is not made again.
    virtual void Stop() = 0;
    // The changes that arrived since the last call, oldest first. Never blocks.
    virtual std::vector<DeviceChange> ReadPending() = 0;
};

}  // namespace qv
