#include "device/win32/Win32SimClient.h"

#include "common/win32/Windows.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "common/DebugLog.h"
#include "common/ErrnoText.h"
#include "common/win32/WideText.h"
#include "device/sim/SimFrame.h"

namespace qv::sim {
namespace {

using Clock = std::chrono::steady_clock;

// Bound of the handshakes with a local daemon; reports use the caller's timeout.
constexpr std::chrono::milliseconds kHandshakeTimeout{2000};

// Winsock is started once for the process and left running until it ends.
bool StartWinsock() {
    static const int started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (started != 0) {
        DebugLog(win32::ErrorText("WSAStartup", static_cast<DWORD>(started)));
    }
    return started == 0;
}

std::string SocketError(std::string_view call) {
    return win32::ErrorText(call, static_cast<DWORD>(::WSAGetLastError()));
}

struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
};

std::optional<Endpoint> ParseSimAddress(std::string_view simAddress) {
    constexpr std::string_view kPrefix = "tcp:";
    if (simAddress.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    simAddress.remove_prefix(kPrefix.size());
    const std::size_t colon = simAddress.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == simAddress.size() ||
        simAddress.size() - colon - 1 > 5) {
        return std::nullopt;
    }
    unsigned port = 0;
    for (char c : simAddress.substr(colon + 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port == 0 || port > 65535) {
        return std::nullopt;
    }
    Endpoint endpoint{std::string(simAddress.substr(0, colon)), static_cast<std::uint16_t>(port)};
    if (endpoint.host == "localhost") {
        endpoint.host = "127.0.0.1";
    }
    return endpoint;
}

// What waiting for the connection gave.
enum class Ready { Yes, TimedOut, Failed };

// One connection to the daemon, carrying framed messages.
class Connection {
public:
    Connection() = default;
    ~Connection() { Close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects within `timeout`; false with the reason.
    bool Connect(const std::string& simAddress, std::chrono::milliseconds timeout,
                 std::string& error) {
        const std::optional<Endpoint> endpoint = ParseSimAddress(simAddress);
        if (!endpoint) {
            error = "not a simulator address (tcp:HOST:PORT): " + simAddress;
            return false;
        }
        if (!StartWinsock()) {
            error = "Winsock did not start";
            return false;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(endpoint->port);
        if (::inet_pton(AF_INET, endpoint->host.c_str(), &address.sin_addr) != 1) {
            error = "not an IPv4 address: " + endpoint->host;
            return false;
        }
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (socket_ == INVALID_SOCKET) {
            error = SocketError("socket");
            return false;
        }
        // Reports are a few dozen bytes that the other side waits for: no batching.
        const BOOL yes = TRUE;
        ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes),
                     sizeof yes);
        u_long nonBlocking = 1;
        ::ioctlsocket(socket_, FIONBIO, &nonBlocking);
        if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
            ::WSAGetLastError() != WSAEWOULDBLOCK) {
            error = SocketError("connect(" + simAddress + ")");
            Close();
            return false;
        }
        const Ready ready = Wait(false, true, Clock::now() + timeout);
        int socketError = 0;
        int length = sizeof socketError;
        ::getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError), &length);
        if (ready != Ready::Yes || socketError != 0) {
            error = ready == Ready::TimedOut ? "connect(" + simAddress + "): timed out"
                                             : win32::ErrorText("connect(" + simAddress + ")",
                                                                static_cast<DWORD>(socketError));
            Close();
            return false;
        }
        return true;
    }

    void Close() {
        if (socket_ != INVALID_SOCKET) {
            ::closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
    }

    // Wakes a reader blocked on this connection: it sees the end of the stream.
    void Shutdown() {
        if (socket_ != INVALID_SOCKET) {
            ::shutdown(socket_, SD_BOTH);
        }
    }

    TransferStatus Send(std::string_view message, Clock::time_point deadline) {
        const std::string frame = EncodeFrame(message);
        std::size_t done = 0;
        while (done < frame.size()) {
            const int sent =
                ::send(socket_, frame.data() + done, static_cast<int>(frame.size() - done), 0);
            if (sent > 0) {
                done += static_cast<std::size_t>(sent);
                continue;
            }
            const int error = ::WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                return IsGone(error) ? TransferStatus::Gone : TransferStatus::Failed;
            }
            const Ready ready = Wait(false, true, deadline);
            if (ready != Ready::Yes) {
                return ready == Ready::TimedOut ? TransferStatus::TimedOut : TransferStatus::Failed;
            }
        }
        return TransferStatus::Done;
    }

    // One whole message before the deadline (Clock::time_point::max() waits for good).
    TransferStatus Receive(std::string& message, Clock::time_point deadline) {
        for (;;) {
            if (std::optional<std::string> next = decoder_.Next()) {
                message = std::move(*next);
                return TransferStatus::Done;
            }
            if (decoder_.Broken()) {
                return TransferStatus::Failed;
            }
            const Ready ready = Wait(true, false, deadline);
            if (ready != Ready::Yes) {
                return ready == Ready::TimedOut ? TransferStatus::TimedOut : TransferStatus::Failed;
            }
            char buffer[4096];
            const int got = ::recv(socket_, buffer, sizeof buffer, 0);
            if (got > 0) {
                decoder_.Feed(std::string_view(buffer, static_cast<std::size_t>(got)));
                continue;
            }
            if (got == 0) {
                return TransferStatus::Gone;  // the daemon closed: the device went away
            }
            const int error = ::WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                return IsGone(error) ? TransferStatus::Gone : TransferStatus::Failed;
            }
        }
    }

    // Sends a request and waits for its answer (handshakes and commands).
    std::optional<std::string> Exchange(std::string_view request,
                                        std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        std::string answer;
        if (Send(request, deadline) != TransferStatus::Done ||
            Receive(answer, deadline) != TransferStatus::Done) {
            return std::nullopt;
        }
        return answer;
    }

private:
    static bool IsGone(int error) {
        return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN ||
               error == WSAESHUTDOWN;
    }

    // Waits until the socket is readable or writable, bounded by `deadline`.
    Ready Wait(bool read, bool write, Clock::time_point deadline) {
        for (;;) {
            fd_set readable, writable, failed;
            FD_ZERO(&readable);
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            if (read) {
                FD_SET(socket_, &readable);
            }
            if (write) {
                FD_SET(socket_, &writable);
            }
            FD_SET(socket_, &failed);
            timeval wait{};
            timeval* bound = nullptr;
            if (deadline != Clock::time_point::max()) {
                const auto left = std::max<long long>(
                    0,
                    std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()).count());
                wait.tv_sec = static_cast<long>(left / 1000000);
                wait.tv_usec = static_cast<long>(left % 1000000);
                bound = &wait;
            }
            const int n = ::select(0, &readable, &writable, &failed, bound);
            if (n > 0) {
                return FD_ISSET(socket_, &failed) && !FD_ISSET(socket_, &readable) &&
                               !FD_ISSET(socket_, &writable)
                           ? Ready::Failed
                           : Ready::Yes;
            }
            if (n == 0) {
                return Ready::TimedOut;
            }
            if (::WSAGetLastError() != WSAEINTR) {
                DebugLog(SocketError("select"));
                return Ready::Failed;
            }
        }
    }

    SOCKET socket_ = INVALID_SOCKET;
    FrameDecoder decoder_;
};

std::unique_ptr<Connection> Connect(const std::string& simAddress, std::string& error) {
    auto connection = std::make_unique<Connection>();
    if (!connection->Connect(simAddress, kHandshakeTimeout, error)) {
        return nullptr;
    }
    return connection;
}

// An errno of the daemon's side as text ("ERR 13").
std::string DaemonError(const std::string& reply) {
    const int number = std::atoi(reply.c_str() + 4);
    return number > 0 ? ErrnoText(number) : reply;
}

class TcpHidDevice final : public HidDevice {
public:
    TcpHidDevice(std::unique_ptr<Connection> connection, std::optional<HidAttributes> attributes,
                 std::optional<HidCaps> caps)
        : connection_(std::move(connection)), attributes_(attributes), caps_(caps) {}

    std::optional<HidAttributes> GetAttributes() override { return attributes_; }
    std::optional<HidCaps> GetCaps() override { return caps_; }

    TransferStatus WriteReport(std::span<const std::uint8_t> report,
                               std::chrono::milliseconds timeout) override {
        if (report.empty() || !attributes_) {
            return TransferStatus::Failed;
        }
        return connection_->Send(
            std::string_view(reinterpret_cast<const char*>(report.data()), report.size()),
            Clock::now() + timeout);
    }

    TransferStatus ReadReport(std::span<std::uint8_t> report,
                              std::chrono::milliseconds timeout) override {
        if (!attributes_) {
            return TransferStatus::Failed;  // a non-HID node has no reports
        }
        std::string message;
        const TransferStatus status = connection_->Receive(message, Clock::now() + timeout);
        if (status == TransferStatus::Done) {
            std::memcpy(report.data(), message.data(), std::min(report.size(), message.size()));
        }
        return status;
    }

private:
    std::unique_ptr<Connection> connection_;
    std::optional<HidAttributes> attributes_;
    std::optional<HidCaps> caps_;
};

class TcpHidPort final : public HidPort {
public:
    explicit TcpHidPort(std::string simAddress) : spec_(std::move(simAddress)) {}

    std::vector<std::string> EnumerateHidInterfaces() override {
        std::vector<std::string> paths;
        std::string error;
        auto connection = Connect(spec_, error);
        if (!connection) {
            DebugLog("simulator: " + error);
            return paths;
        }
        const std::optional<std::string> reply = connection->Exchange("ENUM", kHandshakeTimeout);
        if (!reply || reply->rfind("OK\n", 0) != 0) {
            return paths;
        }
        std::istringstream lines(reply->substr(3));
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty()) {
                paths.push_back(line);
            }
        }
        return paths;
    }

    std::unique_ptr<HidDevice> Open(const std::string& path) override {
        std::string error;
        auto connection = Connect(spec_, error);
        if (!connection) {
            DebugLog("simulator: " + error);
            return nullptr;
        }
        const std::optional<std::string> reply =
            connection->Exchange("OPEN " + path, kHandshakeTimeout);
        if (!reply || reply->rfind("OK", 0) != 0) {
            return nullptr;
        }
        if (*reply == "OK NONHID") {
            return std::make_unique<TcpHidDevice>(std::move(connection), std::nullopt,
                                                  std::nullopt);
        }
        std::istringstream fields(reply->substr(2));
        std::string kind;
        unsigned vendor = 0, product = 0;
        int input = 0, output = 0;
        if (!(fields >> kind >> vendor >> product >> input >> output) || kind != "HID") {
            DebugLog("simulator: unexpected answer to OPEN: " + *reply);
            return nullptr;
        }
        return std::make_unique<TcpHidDevice>(
            std::move(connection),
            HidAttributes{static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product)},
            HidCaps{input, output});
    }

private:
    std::string spec_;
};

class TcpDeviceEvents final : public DeviceEvents {
public:
    TcpDeviceEvents(std::string simAddress, std::function<void()> pending)
        : spec_(std::move(simAddress)), pending_(std::move(pending)) {}
    ~TcpDeviceEvents() override { Stop(); }

    bool Start(std::string& error) override {
        if (reader_.joinable()) {
            return true;
        }
        std::string reason;
        auto connection = Connect(spec_, reason);
        if (!connection) {
            error = "simulator: " + reason;
            return false;
        }
        const std::optional<std::string> reply = connection->Exchange("EVENTS", kHandshakeTimeout);
        if (!reply) {
            error = "simulator: no answer (" + spec_ + ")";
            return false;
        }
        if (*reply != "OK") {
            error = "simulator: " + DaemonError(*reply);
            return false;
        }
        connection_ = std::move(connection);
        reader_ = std::thread([this] { Read(); });
        return true;
    }

    void Stop() override {
        if (reader_.joinable()) {
            connection_->Shutdown();
            reader_.join();
        }
        connection_.reset();
        std::lock_guard lock(mutex_);
        changes_.clear();
    }

    int Fd() const override { return -1; }

    std::vector<DeviceChange> ReadPending() override {
        std::lock_guard lock(mutex_);
        return std::exchange(changes_, {});
    }

private:
    // Until the daemon goes or Stop shuts the connection: one change per message.
    void Read() {
        for (;;) {
            std::string message;
            if (connection_->Receive(message, Clock::time_point::max()) != TransferStatus::Done) {
                return;
            }
            if (message.rfind("EV ", 0) != 0 || message.size() < 4) {
                continue;
            }
            DeviceChange change;
            change.kind =
                message[3] == 'A' ? DeviceChange::Kind::Arrival : DeviceChange::Kind::Removal;
            if (message.size() > 5) {
                change.path = message.substr(5);
            }
            {
                std::lock_guard lock(mutex_);
                changes_.push_back(std::move(change));
            }
            if (pending_) {
                pending_();
            }
        }
    }

    std::string spec_;
    std::function<void()> pending_;
    std::unique_ptr<Connection> connection_;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<DeviceChange> changes_;
};

}  // namespace

bool IsTcpSimAddress(std::string_view simAddress) {
    return ParseSimAddress(simAddress).has_value();
}

std::unique_ptr<HidPort> MakeTcpSimHidPort(const std::string& simAddress) {
    return std::make_unique<TcpHidPort>(simAddress);
}

std::unique_ptr<DeviceEvents> MakeTcpSimDeviceEvents(const std::string& simAddress,
                                                     std::function<void()> pending) {
    return std::make_unique<TcpDeviceEvents>(simAddress, std::move(pending));
}

TcpSimReply SendTcpSimCommand(const std::string& simAddress, const std::vector<std::string>& words,
                              std::chrono::milliseconds timeout) {
    std::string error;
    Connection connection;
    if (!connection.Connect(simAddress, timeout, error)) {
        return {TcpSimReply::Code::Unreachable, error};
    }
    std::string request = "CTL";
    for (const std::string& word : words) {
        request += ' ' + word;
    }
    const std::optional<std::string> reply = connection.Exchange(request, timeout);
    if (!reply) {
        return {TcpSimReply::Code::Unreachable,
                "no answer from the simulator (" + simAddress + ")"};
    }
    const std::size_t newline = reply->find('\n');
    const std::string head = reply->substr(0, newline);
    const std::string text = newline == std::string::npos ? "" : reply->substr(newline + 1);
    if (head == "OK") {
        return {TcpSimReply::Code::Ok, text};
    }
    if (head == "USAGE") {
        return {TcpSimReply::Code::Usage, text};
    }
    return {TcpSimReply::Code::Failed, text};
}

}  // namespace qv::sim
