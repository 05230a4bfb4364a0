#include "device/sim/SimSocket.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/Deadline.h"
#include "common/DebugLog.h"

namespace qv::sim {

namespace {

// Waits for `events` on `fd` until `deadline`; the revents, 0 on timeout, -1 on error.
int WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, RemainingMs(deadline));
        if (ready > 0) {
            return entry.revents;
        }
        if (ready == 0) {
            return 0;
        }
        if (errno != EINTR) {
            DebugLogErrno("poll", errno);
            return -1;
        }
    }
}

}  // namespace

bool MakeSocketAddress(const std::string& path, sockaddr_un& address, std::string& error) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "socket path must be 1.." + std::to_string(sizeof address.sun_path - 1) +
                " bytes long: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

UniqueFd ConnectSimSocket(const std::string& path, int& errorNumber) {
    sockaddr_un address;
    std::string error;
    if (!MakeSocketAddress(path, address, error)) {
        errorNumber = ENAMETOOLONG;
        return UniqueFd();
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        errorNumber = errno;
        DebugLogErrno("socket(AF_UNIX, SOCK_SEQPACKET)", errorNumber);
        return UniqueFd();
    }
    for (;;) {
        if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return fd;
        }
        if (errno != EINTR) {
            errorNumber = errno;
            DebugLogErrno("connect(" + path + ")", errorNumber);
            return UniqueFd();
        }
    }
}

bool SendMessage(int fd, const std::string& message, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const ssize_t sent =
            ::send(fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(message.size())) {
            return true;
        }
        if (sent >= 0) {
            return false;  // a seqpacket message goes whole or not at all
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            DebugLogErrno("send", errno);
            return false;
        }
        const int revents = WaitFor(fd, POLLOUT, deadline);
        if (revents <= 0 || (revents & (POLLHUP | POLLERR)) != 0) {
            return false;
        }
    }
}

std::optional<std::string> ReceiveMessage(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<char> buffer(kMaxMessageBytes);
    for (;;) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
            return std::string(buffer.data(), static_cast<std::size_t>(got));
        }
        if (got == 0) {
            return std::nullopt;  // the other side closed the connection
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            DebugLogErrno("recv", errno);
            return std::nullopt;
        }
        const int revents = WaitFor(fd, POLLIN, deadline);
        if (revents <= 0) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> Exchange(int fd, const std::string& request,
                                    std::chrono::milliseconds timeout) {
    if (!SendMessage(fd, request, timeout)) {
        return std::nullopt;
    }
    return ReceiveMessage(fd, timeout);
}

}  // namespace qv::sim
