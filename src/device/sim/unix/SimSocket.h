#pragma once
// The daemon's Unix socket: SOCK_SEQPACKET, so that every message keeps its
// boundaries. Both sides use these; the conversation is in SimTransport.h.

#include <sys/un.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/posix/UniqueFd.h"
#include "device/HidPort.h"

namespace qv::sim {

// Largest message either side sends (a status listing is the largest).
inline constexpr std::size_t kMaxMessageBytes = 256 * 1024;

// Fills `address` for `path`; false (with the reason) when the path is too long.
bool MakeSocketAddress(const std::string& path, sockaddr_un& address, std::string& error);

// Connects to the daemon at `path`; an invalid fd and `errorNumber` set on failure.
UniqueFd ConnectSimSocket(const std::string& path, int& errorNumber);

// Sends one whole message on the connected socket `fd`, waiting for room until
// `deadline`: Done, TimedOut, Gone when the other side closed, Failed.
TransferStatus SendMessage(int fd, std::string_view message,
                           std::chrono::steady_clock::time_point deadline);

}  // namespace qv::sim
