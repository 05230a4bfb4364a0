#pragma once
// The receiver simulator inside the test process: the same bus and commands as
// the quorvane-sim daemon, with HidPort and DeviceEvents objects that talk to
// it directly (no socket, no other process). Thread-safe: a test may unplug
// the receiver from another thread while the host waits for a reply.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "SimBus.h"
#include "SimCommand.h"
#include "device/DeviceEvents.h"
#include "device/HidPort.h"

namespace qv::sim {

class Simulator {
public:
    explicit Simulator(const BusOptions& options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // A HID port over this simulator's bus; it may outlive the simulator.
    std::unique_ptr<HidPort> MakeHidPort();
    // A device-event source over this simulator's bus; it may outlive the simulator.
    std::unique_ptr<DeviceEvents> MakeDeviceEvents();

    // Runs one control command given as words, as `quorvane-sim` would
    // ("press 1 2 3", "fault error 0x1C 0"); wait-idle waits here.
    ControlResult Execute(const std::vector<std::string>& words);
    // Same, with the words in one line.
    ControlResult Execute(const std::string& line);

    // Typed shortcuts for the commands tests use most.
    ControlResult Press(RemoteCode code, const std::string& path = {});
    ControlResult Plug(const std::string& path = {});
    ControlResult Unplug(const std::string& path = {});
    ControlResult AddForeign(std::uint16_t vendorId, std::uint16_t productId);
    ControlResult AddNonHid();
    // Replaces the faults in force.
    void SetFaults(const BusFaults& faults);
    BusStatus Status() const;
    // Waits until every pressed code has been polled; false on timeout.
    bool WaitIdle(std::chrono::milliseconds timeout);

    struct Shared;  // the bus, its lock and the event subscribers

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace qv::sim
