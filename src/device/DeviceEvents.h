#pragma once
// The device-event source: arrivals and removals of device interfaces, as the
// system announces them (a udev monitor on Linux, the simulator's bus in the
// demo and in tests). The source is polled from the GUI thread's event loop:
// the application watches Fd() for readability and then calls ReadPending().

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// Device type of a broadcast: 5 is a device interface (it has a path).
inline constexpr std::int32_t kDevTypDeviceInterface = 5;

struct DeviceChange {
    enum class Kind { Arrival, RemoveComplete };
    Kind kind = Kind::Arrival;
    std::int32_t deviceType = kDevTypDeviceInterface;
    std::string path;  // the device node; empty for devices without one
};

class DeviceEvents {
public:
    virtual ~DeviceEvents() = default;
    // Starts watching. False when that is impossible; `errorNumber` then
    // holds the system's error number.
    virtual bool Start(int& errorNumber) = 0;
    // Stops watching; harmless when not started.
    virtual void Stop() = 0;
    // A file descriptor that becomes readable when events are pending; -1
    // when not started.
    virtual int Fd() const = 0;
    // The events that arrived since the last call, oldest first. Never blocks.
    virtual std::vector<DeviceChange> ReadPending() = 0;
};

}  // namespace qv
