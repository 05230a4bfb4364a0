#pragma once
// How the program reaches the quorvane-sim daemon: connections that carry
// whole messages, in order. The daemon listens on a Unix SOCK_SEQPACKET
// socket, which keeps message boundaries itself, and on request on a loopback
// TCP port, where each message travels with its length (SimFrame.h).
//
// The conversation is the same on both. A client opens one connection per
// purpose and says which with its first message:
//   "ENUM"          -> "OK\n" followed by the HID paths, one per line
//   "OPEN <path>"   -> "OK HID <vid> <pid> <input-length> <output-length>",
//                      "OK NONHID" or "ERR <errno>"; after "OK" each message
//                      is one report: output reports from the client, input
//                      reports from the daemon. The daemon closes the
//                      connection when the device goes away.
//   "EVENTS"        -> "OK" or "ERR <errno>"; then one message per arrival
//                      or removal: "EV A|R [<path>]" (no path for a device
//                      without a node)
//   "CTL <words>"   -> "OK\n<output>", "FAIL\n<reason>" or "USAGE\n<reason>";
//                      then the daemon closes the connection.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "device/HidPort.h"

namespace qv::sim {

// One connection to the daemon.
class SimConnection {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    virtual ~SimConnection() = default;
    // Sends one whole message before `deadline`: Done, TimedOut, Gone when the
    // daemon closed the connection, Failed otherwise.
    virtual TransferStatus Send(std::string_view message, Deadline deadline) = 0;
    // The next message; Deadline::max() waits as long as it takes. A message
    // that arrived before the daemon closed is still received.
    virtual TransferStatus Receive(std::string& message, Deadline deadline) = 0;
    // Ends the connection from any thread: a Receive waiting on another thread
    // returns (Gone), as does every later call.
    virtual void Shutdown() = 0;
};

// Where the daemon listens.
class SimTransport {
public:
    virtual ~SimTransport() = default;
    // A new connection, made within `timeout`; nullptr with the reason in
    // `error` ("connect(<address>): <the system's words>").
    virtual std::unique_ptr<SimConnection> Connect(std::chrono::milliseconds timeout,
                                                   std::string& error) = 0;
    // The daemon's address as the user gave it (a socket path, tcp:HOST:PORT).
    virtual const std::string& Address() const = 0;
};

}  // namespace qv::sim
