#include "device/sim/unix/SimSocket.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "common/Deadline.h"
#include "common/DebugLog.h"

namespace qv::sim {

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

TransferStatus SendMessage(int fd, std::string_view message,
                           std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const ssize_t sent =
            ::send(fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent >= 0) {
            // A seqpacket message goes whole or not at all.
            return sent == static_cast<ssize_t>(message.size()) ? TransferStatus::Done
                                                                : TransferStatus::Failed;
        }
        if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN) {
            return TransferStatus::Gone;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            DebugLogErrno("send", errno);
            return TransferStatus::Failed;
        }
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, RemainingMs(deadline));
        if (ready == 0) {
            return TransferStatus::TimedOut;
        }
        if (ready < 0 && errno != EINTR) {
            DebugLogErrno("poll", errno);
            return TransferStatus::Failed;
        }
        if (ready > 0 && (entry.revents & POLLOUT) == 0) {
            return TransferStatus::Gone;  // POLLHUP or POLLERR without room
        }
    }
}

}  // namespace qv::sim
