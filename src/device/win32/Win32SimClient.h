#pragma once
// The Windows program's simulator backends: a HID port and a device-event source
// that reach the quorvane-sim daemon over a loopback TCP connection (the daemon
// runs on Linux, the program under Wine, and Winsock connects the two). The
// conversation is the one of the daemon's Unix socket (src/device/sim/SimSocket.h),
// each message framed by its length (src/device/sim/SimFrame.h). Transfers wait
// against the caller's timeout, so a silent simulated receiver holds the host for
// its whole deadline, as a real one does. The program picks these with
// --simulator=tcp:HOST:PORT.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceEvents.h"
#include "device/HidPort.h"

namespace qv::sim {

// Whether `simAddress` names a simulator on TCP: "tcp:HOST:PORT".
bool IsTcpSimAddress(std::string_view simAddress);

// A HID port whose devices live in the daemon at `simAddress`. Enumeration of an
// unreachable daemon is empty and opening fails.
std::unique_ptr<HidPort> MakeTcpSimHidPort(const std::string& simAddress);

// A device-event source fed by the daemon at `simAddress`. A thread of its own reads
// the daemon's announcements; `pending` is called on that thread whenever
// changes became pending (the window then calls ReadPending on its own thread).
// Start fails, with the reason, when the daemon is unreachable or refuses.
std::unique_ptr<DeviceEvents> MakeTcpSimDeviceEvents(const std::string& simAddress,
                                                     std::function<void()> pending);

// Result of one control command sent to the daemon.
struct TcpSimReply {
    enum class Code { Ok, Failed, Usage, Unreachable };
    Code code = Code::Ok;
    std::string text;  // output, or the reason
};

// Sends one control command (as words, e.g. {"press", "5", "120", "7"}) to the
// daemon at `simAddress` and waits for its answer.
TcpSimReply SendTcpSimCommand(const std::string& simAddress, const std::vector<std::string>& words,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace qv::sim
