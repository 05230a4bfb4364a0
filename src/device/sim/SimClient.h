#pragma once
// The program's simulator backends: a HID port and a device-event source
// whose devices live in the quorvane-sim daemon, reached over a SimTransport
// (a Unix socket on Linux, loopback TCP from Windows). Transfers wait against
// the caller's timeout, so a silent simulated receiver holds the host for its
// whole deadline, as a real one does. The program picks these with
// --simulator[=ADDRESS].

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceEvents.h"
#include "device/HidPort.h"
#include "device/sim/SimTransport.h"

namespace qv::sim {

// A HID port whose devices live in the daemon. Enumeration of an unreachable
// daemon is empty and opening fails.
std::unique_ptr<HidPort> MakeSimHidPort(std::shared_ptr<SimTransport> transport);

// A device-event source fed by the daemon; a thread of its own reads the
// daemon's announcements and makes the "changes pending" call. Start fails,
// with the reason, when the daemon is unreachable or refuses.
std::unique_ptr<DeviceEvents> MakeSimDeviceEvents(std::shared_ptr<SimTransport> transport);

// Result of one control command sent to the daemon.
struct SimReply {
    enum class Code { Ok, Failed, Usage, Unreachable };
    Code code = Code::Ok;
    std::string text;  // output, or the reason
};

// Sends one control command (as words, e.g. {"press", "5", "120", "7"}) to the
// daemon and waits for its answer.
SimReply SendSimCommand(SimTransport& transport, const std::vector<std::string>& words,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace qv::sim
