#pragma once
// The daemon's loopback TCP port as a SimTransport: each message travels with
// its length (SimFrame.h). The Windows program reaches the Linux daemon this
// way (a Wine process connects through Winsock): --simulator=tcp:HOST:PORT.

#include <memory>
#include <string>
#include <string_view>

#include "device/sim/SimTransport.h"

namespace qv::sim {

// Whether `address` names the daemon's TCP port: "tcp:HOST:PORT", HOST an IPv4
// address or "localhost", PORT 1..65535.
bool IsTcpSimAddress(std::string_view address);

// The daemon at `address` (tcp:HOST:PORT); connecting fails, with the reason,
// when the address is not one.
std::shared_ptr<SimTransport> MakeTcpSimTransport(std::string address);

}  // namespace qv::sim
