#pragma once
// The conversation between the quorvane-sim daemon and its clients, over a
// Unix SOCK_SEQPACKET socket so that every message keeps its boundaries.
//
// A client opens one connection per purpose and says which with its first
// message:
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

#include <sys/un.h>

#include <chrono>
#include <optional>
#include <string>

#include "common/posix/UniqueFd.h"

namespace qv::sim {

// Largest message either side sends (a status listing is the largest).
inline constexpr std::size_t kMaxMessageBytes = 256 * 1024;

// Fills `address` for `path`; false (with the reason) when the path is too long.
bool MakeSocketAddress(const std::string& path, sockaddr_un& address, std::string& error);

// Connects to the daemon at `path`; an invalid fd and `errorNumber` set on failure.
UniqueFd ConnectSimSocket(const std::string& path, int& errorNumber);

// Sends one whole message without blocking the caller past `timeout`; false on failure.
bool SendMessage(int fd, const std::string& message, std::chrono::milliseconds timeout);

// Waits up to `timeout` for one message; nullopt on timeout, error or end of stream.
std::optional<std::string> ReceiveMessage(int fd, std::chrono::milliseconds timeout);

// One request and its answer on a fresh connection's first exchange.
std::optional<std::string> Exchange(int fd, const std::string& request,
                                    std::chrono::milliseconds timeout);

}  // namespace qv::sim
