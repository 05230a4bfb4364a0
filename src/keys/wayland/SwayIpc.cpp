#include "keys/wayland/SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/Deadline.h"
#include "common/DebugLog.h"

namespace qv::wayland {
namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderSize = sizeof kMagic + 8;
// sway answers in well under a millisecond; a second is the bound for a
// compositor that is busy or stuck.
constexpr std::chrono::milliseconds kReplyBound{1000};
// A tree of a few hundred windows is some hundred kilobytes; more is not a reply.
constexpr std::uint32_t kMaxReply = 64u << 20;

bool WriteAll(int fd, const char* data, std::size_t size,
              std::chrono::steady_clock::time_point deadline) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{fd, POLLOUT, 0};
            const int left = RemainingMs(deadline);
            if (left == 0 || poll(&pfd, 1, left) <= 0) {
                return false;
            }
            continue;
        }
        DebugLogErrno("send (sway IPC)", errno);
        return false;
    }
    return true;
}

bool ReadAll(int fd, char* data, std::size_t size, std::chrono::steady_clock::time_point deadline) {
    while (size > 0) {
        pollfd pfd{fd, POLLIN, 0};
        const int left = RemainingMs(deadline);
        if (left == 0) {
            DebugLog("sway IPC: no reply in time");
            return false;
        }
        const int ready = poll(&pfd, 1, left);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;  // the deadline check above ends it
        }
        const ssize_t n = recv(fd, data, size, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            if (n < 0) {
                DebugLogErrno("recv (sway IPC)", errno);
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::unique_ptr<SwayIpc> SwayIpc::Connect(std::string socketPath, std::string& error) {
    if (socketPath.empty()) {
        const char* env = std::getenv("SWAYSOCK");
        socketPath = env != nullptr ? env : "";
    }
    if (socketPath.empty()) {
        error = "no sway IPC socket ($SWAYSOCK is not set)";
        return nullptr;
    }
    std::unique_ptr<SwayIpc> ipc(new SwayIpc(std::move(socketPath)));
    if (!ipc->Reconnect() || !ipc->Request(kSwayGetVersion, {})) {
        error = "sway does not answer on " + ipc->path_;
        return nullptr;
    }
    return ipc;
}

bool SwayIpc::Reconnect() {
    socket_.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket_.Valid()) {
        DebugLogErrno("socket (sway IPC)", errno);
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) {
        DebugLog("sway IPC: socket path too long: " + path_);
        socket_.Reset();
        return false;
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    if (connect(socket_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        DebugLogErrno("connect (" + path_ + ")", errno);
        socket_.Reset();
        return false;
    }
    return true;
}

std::optional<std::string> SwayIpc::Request(std::uint32_t type, std::string_view payload) {
    if (!socket_.Valid() && !Reconnect()) {
        return std::nullopt;
    }
    auto reply = Exchange(type, payload);
    if (!reply) {
        // A late reply would answer the next request: start afresh.
        socket_.Reset();
    }
    return reply;
}

std::optional<std::string> SwayIpc::Exchange(std::uint32_t type, std::string_view payload) {
    const auto deadline = std::chrono::steady_clock::now() + kReplyBound;
    std::string message(kMagic, sizeof kMagic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    message.append(payload);
    if (!WriteAll(socket_.Get(), message.data(), message.size(), deadline)) {
        return std::nullopt;
    }
    char header[kHeaderSize];
    if (!ReadAll(socket_.Get(), header, sizeof header, deadline)) {
        return std::nullopt;
    }
    std::uint32_t replyLength = 0;
    std::uint32_t replyType = 0;
    std::memcpy(&replyLength, header + sizeof kMagic, 4);
    std::memcpy(&replyType, header + sizeof kMagic + 4, 4);
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0 || replyType != type ||
        replyLength > kMaxReply) {
        DebugLog("sway IPC: unexpected reply header");
        return std::nullopt;
    }
    std::string reply(replyLength, '\0');
    if (!ReadAll(socket_.Get(), reply.data(), reply.size(), deadline)) {
        return std::nullopt;
    }
    return reply;
}

}  // namespace qv::wayland
