#pragma once
// Backends that talk to a running quorvane-sim daemon over its Unix socket
// (SOCK_SEQPACKET, one message per report). Transfers wait with poll() against
// the caller's timeout, as the hidraw backend does, so a silent simulated
// receiver holds the host for its whole deadline. The program picks these
// with --simulator[=SOCKET].

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceEvents.h"
#include "device/HidPort.h"

namespace qv::sim {

// $XDG_RUNTIME_DIR/quorvane-sim.sock, or /tmp/quorvane-sim-<uid>.sock when
// XDG_RUNTIME_DIR is unset or empty.
std::string DefaultSimSocketPath();

// A HID port whose devices live in the daemon at `socketPath`. Enumeration
// of an unreachable daemon is empty and opening fails.
std::unique_ptr<HidPort> MakeSimHidPort(const std::string& socketPath);

// A device-event source fed by the daemon at `socketPath`. Start fails, with
// the reason, when the daemon is unreachable or refuses.
std::unique_ptr<DeviceEvents> MakeSimDeviceEvents(const std::string& socketPath);

// Result of one control command sent to the daemon.
struct SimReply {
    enum class Code { Ok, Failed, Usage, Unreachable };
    Code code = Code::Ok;
    std::string text;  // output, or the reason
};

// Sends one control command (as words) to the daemon and waits for its answer.
SimReply SendSimCommand(const std::string& socketPath, const std::vector<std::string>& words,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace qv::sim
