#pragma once
// The device-event source: arrivals and removals of HID device interfaces as
// the system announces them (a udev monitor on Linux, device notifications on
// Windows, the simulator's bus in the demo and in tests). The application's
// event loop watches Fd() for readability (or, on Windows, the window hands
// the notifications to the backend) and then calls ReadPending().

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
    virtual ~DeviceEvents() = default;
    // Starts watching. False when that is impossible, with the reason in the
    // platform's own words in `error` (e.g. "udev monitor: Permission denied").
    virtual bool Start(std::string& error) = 0;
    // Stops watching; harmless when not started.
    virtual void Stop() = 0;
    // A descriptor that becomes readable when changes are pending; -1 when
    // not started or when the backend is fed by the window (Windows).
    virtual int Fd() const = 0;
    // The changes that arrived since the last call, oldest first. Never blocks.
    virtual std::vector<DeviceChange> ReadPending() = 0;
};

}  // namespace qv
