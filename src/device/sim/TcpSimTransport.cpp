#include "device/sim/TcpSimTransport.h"

#ifdef _WIN32
#include "common/win32/Windows.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/win32/WideText.h"
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "common/Deadline.h"
#include "common/ErrnoText.h"
#endif

#include <algorithm>
#include <cstdint>
#include <optional>

#include "common/DebugLog.h"
#include "device/sim/SimFrame.h"

namespace qv::sim {

namespace {

using Deadline = SimConnection::Deadline;

// The few places where Winsock and BSD sockets differ.
#ifdef _WIN32
using NativeSocket = SOCKET;
constexpr NativeSocket kNoSocket = INVALID_SOCKET;

int LastSocketError() {
    return ::WSAGetLastError();
}
bool WouldBlock(int error) {
    return error == WSAEWOULDBLOCK;
}
bool Interrupted(int error) {
    return error == WSAEINTR;
}
bool ConnectionGone(int error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN ||
           error == WSAESHUTDOWN;
}
std::string SocketErrorText(std::string_view call, int error) {
    return win32::ErrorText(call, static_cast<DWORD>(error));
}
void CloseSocket(NativeSocket socket) {
    ::closesocket(socket);
}
bool MakeNonBlocking(NativeSocket socket) {
    u_long nonBlocking = 1;
    return ::ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}
constexpr int kShutdownBoth = SD_BOTH;
constexpr int kSendFlags = 0;

// Winsock is started once for the process and left running until it ends.
bool StartSockets(std::string& error) {
    static const int kStarted = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (kStarted != 0) {
        error = SocketErrorText("WSAStartup", kStarted);
    }
    return kStarted == 0;
}
#else
using NativeSocket = int;
constexpr NativeSocket kNoSocket = -1;

int LastSocketError() {
    return errno;
}
bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS;
}
bool Interrupted(int error) {
    return error == EINTR;
}
bool ConnectionGone(int error) {
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ECONNABORTED;
}
std::string SocketErrorText(std::string_view call, int error) {
    return std::string(call) + ": " + ErrnoText(error);
}
void CloseSocket(NativeSocket socket) {
    ::close(socket);
}
bool MakeNonBlocking(NativeSocket socket) {
    const int flags = ::fcntl(socket, F_GETFL);
    return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}
constexpr int kShutdownBoth = SHUT_RDWR;
constexpr int kSendFlags = MSG_NOSIGNAL;

bool StartSockets(std::string& /*error*/) {
    return true;
}
#endif

enum class Ready { Yes, TimedOut, Failed };

// Waits until `socket` is readable (or writable), at most until `deadline`.
// A socket that failed or was shut down counts as ready: the call that follows
// tells what happened.
Ready WaitReady(NativeSocket socket, bool forWriting, Deadline deadline) {
    for (;;) {
#ifdef _WIN32
        fd_set wanted;
        fd_set failed;
        FD_ZERO(&wanted);
        FD_ZERO(&failed);
        FD_SET(socket, &wanted);
        FD_SET(socket, &failed);
        timeval wait{};
        timeval* bound = nullptr;
        if (deadline != Deadline::max()) {
            const long long left = std::max<long long>(
                0, std::chrono::ceil<std::chrono::microseconds>(deadline - Deadline::clock::now())
                       .count());
            wait.tv_sec = static_cast<long>(left / 1000000);
            wait.tv_usec = static_cast<long>(left % 1000000);
            bound = &wait;
        }
        const int n = forWriting ? ::select(0, nullptr, &wanted, &failed, bound)
                                 : ::select(0, &wanted, nullptr, &failed, bound);
#else
        pollfd entry{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
        const int n = ::poll(&entry, 1, deadline == Deadline::max() ? -1 : RemainingMs(deadline));
#endif
        if (n > 0) {
            return Ready::Yes;
        }
        if (n == 0) {
            return Ready::TimedOut;
        }
        const int error = LastSocketError();
        if (!Interrupted(error)) {
            DebugLog(SocketErrorText(forWriting ? "wait to send" : "wait to receive", error));
            return Ready::Failed;
        }
    }
}

TransferStatus StatusOf(Ready ready) {
    return ready == Ready::TimedOut ? TransferStatus::TimedOut : TransferStatus::Failed;
}

struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
};

std::optional<Endpoint> ParseAddress(std::string_view address) {
    constexpr std::string_view kPrefix = "tcp:";
    if (address.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    address.remove_prefix(kPrefix.size());
    const std::size_t colon = address.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == address.size() ||
        address.size() - colon - 1 > 5) {
        return std::nullopt;
    }
    unsigned port = 0;
    for (const char c : address.substr(colon + 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port == 0 || port > 65535) {
        return std::nullopt;
    }
    Endpoint endpoint{std::string(address.substr(0, colon)), static_cast<std::uint16_t>(port)};
    if (endpoint.host == "localhost") {
        endpoint.host = "127.0.0.1";
    }
    return endpoint;
}

class TcpSimConnection final : public SimConnection {
public:
    explicit TcpSimConnection(NativeSocket socket) : socket_(socket) {}
    ~TcpSimConnection() override { CloseSocket(socket_); }
    TcpSimConnection(const TcpSimConnection&) = delete;
    TcpSimConnection& operator=(const TcpSimConnection&) = delete;

    TransferStatus Send(std::string_view message, Deadline deadline) override {
        if (peerClosed_) {
            // TCP would take a write or two after the daemon's close before it
            // says so; the Unix socket says so at once, and so does this.
            return TransferStatus::Gone;
        }
        const std::string frame = EncodeFrame(message);
        std::size_t done = 0;
        while (done < frame.size()) {
            const auto sent = ::send(socket_, frame.data() + done,
                                     static_cast<int>(frame.size() - done), kSendFlags);
            if (sent > 0) {
                done += static_cast<std::size_t>(sent);
                continue;
            }
            const int error = LastSocketError();
            if (Interrupted(error)) {
                continue;
            }
            if (!WouldBlock(error)) {
                return ConnectionGone(error) ? TransferStatus::Gone : TransferStatus::Failed;
            }
            const Ready ready = WaitReady(socket_, true, deadline);
            if (ready != Ready::Yes) {
                return StatusOf(ready);
            }
        }
        return TransferStatus::Done;
    }

    TransferStatus Receive(std::string& message, Deadline deadline) override {
        for (;;) {
            if (std::optional<std::string> next = decoder_.Next()) {
                message = std::move(*next);
                return TransferStatus::Done;
            }
            if (decoder_.Broken()) {
                return TransferStatus::Failed;
            }
            const Ready ready = WaitReady(socket_, false, deadline);
            if (ready != Ready::Yes) {
                return StatusOf(ready);
            }
            char buffer[4096];
            const auto got = ::recv(socket_, buffer, sizeof buffer, 0);
            if (got > 0) {
                decoder_.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
                continue;
            }
            if (got == 0) {
                peerClosed_ = true;
                return TransferStatus::Gone;  // the daemon closed, or Shutdown
            }
            const int error = LastSocketError();
            if (!WouldBlock(error) && !Interrupted(error)) {
                peerClosed_ = ConnectionGone(error);
                return peerClosed_ ? TransferStatus::Gone : TransferStatus::Failed;
            }
        }
    }

    void Shutdown() override { ::shutdown(socket_, kShutdownBoth); }

private:
    NativeSocket socket_;
    FrameDecoder decoder_;
    bool peerClosed_ = false;  // a receive saw the end of the stream
};

class TcpSimTransport final : public SimTransport {
public:
    explicit TcpSimTransport(std::string address) : address_(std::move(address)) {}

    std::unique_ptr<SimConnection> Connect(std::chrono::milliseconds timeout,
                                           std::string& error) override {
        const std::string call = "connect(" + address_ + ")";
        const std::optional<Endpoint> endpoint = ParseAddress(address_);
        if (!endpoint) {
            error = call + ": not a simulator address (tcp:HOST:PORT)";
            return nullptr;
        }
        std::string reason;
        if (!StartSockets(reason)) {
            error = call + ": " + reason;
            return nullptr;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(endpoint->port);
        if (::inet_pton(AF_INET, endpoint->host.c_str(), &address.sin_addr) != 1) {
            error = call + ": not an IPv4 address: " + endpoint->host;
            return nullptr;
        }
        const NativeSocket socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (socket == kNoSocket) {
            error = SocketErrorText("socket", LastSocketError());
            return nullptr;
        }
        auto connection = std::make_unique<TcpSimConnection>(socket);
        // Reports are a few dozen bytes that the other side waits for: no batching.
        const int yes = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                     sizeof yes);
        if (!MakeNonBlocking(socket)) {
            error = SocketErrorText(call, LastSocketError());
            return nullptr;
        }
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
            !WouldBlock(LastSocketError())) {
            error = SocketErrorText(call, LastSocketError());
            return nullptr;
        }
        const Ready ready = WaitReady(socket, true, std::chrono::steady_clock::now() + timeout);
        int socketError = 0;
        socklen_t length = sizeof socketError;
        ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError), &length);
        if (ready == Ready::TimedOut) {
            error = call + ": timed out";
            return nullptr;
        }
        if (ready != Ready::Yes || socketError != 0) {
            error = SocketErrorText(call, socketError != 0 ? socketError : LastSocketError());
            return nullptr;
        }
        return connection;
    }

    const std::string& Address() const override { return address_; }

private:
    std::string address_;
};

}  // namespace

bool IsTcpSimAddress(std::string_view address) {
    return ParseAddress(address).has_value();
}

std::shared_ptr<SimTransport> MakeTcpSimTransport(std::string address) {
    return std::make_shared<TcpSimTransport>(std::move(address));
}

}  // namespace qv::sim
