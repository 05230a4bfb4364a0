#pragma once
// The daemon's Unix socket as a SimTransport (SOCK_SEQPACKET: one message per
// packet); what the Linux program uses with --simulator[=SOCKET].

#include <memory>
#include <string>

#include "device/sim/SimTransport.h"

namespace qv::sim {

// $XDG_RUNTIME_DIR/quorvane-sim.sock, or /tmp/quorvane-sim-<uid>.sock when
// XDG_RUNTIME_DIR is unset or empty.
std::string DefaultSimSocketPath();

// The daemon listening at `socketPath`.
std::shared_ptr<SimTransport> MakeUnixSimTransport(std::string socketPath);

// The transport an address names: tcp:HOST:PORT is the daemon's TCP port,
// anything else the path of its Unix socket (empty: the default one).
std::shared_ptr<SimTransport> MakeSimTransport(const std::string& address);

}  // namespace qv::sim
