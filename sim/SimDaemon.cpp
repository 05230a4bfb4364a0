#include "SimDaemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <variant>
#include <vector>

#include "SimCommand.h"
#include "common/Deadline.h"
#include "common/ErrnoText.h"
#include "device/sim/SimFrame.h"
#include "device/sim/unix/SimSocket.h"

namespace qv::sim {

namespace {

// A reply to a handshake or a command: the client waits for it, so a short
// bound keeps a stuck client from holding the daemon.
constexpr std::chrono::milliseconds kReplyTimeout{200};

void Warn(const std::string& text) {
    std::fprintf(stderr, "quorvane-sim: %s\n", text.c_str());
}

void WarnErrno(const std::string& call, int error) {
    Warn(call + ": " + ErrnoText(error));
}

static_assert(kMaxFrameBytes == kMaxMessageBytes, "one message limit on both transports");

// A framed client's queue beyond which input reports are dropped: some reports'
// worth, so a reader that stopped reading does not make the daemon hoard them.
constexpr std::size_t kMaxQueuedBytes = 64 * 1024;

}  // namespace

bool ParseTcpEndpoint(const std::string& text, std::string& host, std::uint16_t& port,
                      std::string& error) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        error = "--tcp needs HOST:PORT, e.g. 127.0.0.1:0";
        return false;
    }
    host = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(digits) > 65535) {
        error = "--tcp: the port must be 0..65535: " + digits;
        return false;
    }
    port = static_cast<std::uint16_t>(std::stoul(digits));
    if (host == "localhost") {
        host = "127.0.0.1";
    }
    in_addr address{};
    // Only this machine may press buttons on the simulated receiver.
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1 || (ntohl(address.s_addr) >> 24) != 127) {
        error = "--tcp: only a loopback address (127.x.y.z, localhost) is served: " + host;
        return false;
    }
    return true;
}

struct SimDaemon::Client {
    enum class Role { New, Device, Events, Done };
    UniqueFd fd;
    Role role = Role::New;
    HandleId handle = 0;
    // TCP clients: messages are framed; what arrived in part, what waits to go out.
    bool framed = false;
    FrameDecoder in;
    std::string out;
};

SimDaemon::SimDaemon(DaemonOptions options) : options_(std::move(options)), bus_(options_.bus) {}

SimDaemon::~SimDaemon() {
    clients_.clear();
    if (listener_.Valid()) {
        listener_.Reset();
        // Remove the socket only while it is still ours: a newer daemon may
        // have replaced it.
        struct stat info;
        if (::stat(options_.socketPath.c_str(), &info) == 0 && info.st_ino == socketInode_) {
            if (::unlink(options_.socketPath.c_str()) != 0) {
                WarnErrno("unlink(" + options_.socketPath + ")", errno);
            }
        }
    }
}

bool SimDaemon::Listen(std::string& error) {
    sockaddr_un address;
    if (!MakeSocketAddress(options_.socketPath, address, error)) {
        return false;
    }
    const std::string& path = options_.socketPath;
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            error = path + " exists and is not a socket";
            return false;
        }
        int connectError = 0;
        if (ConnectSimSocket(path, connectError).Valid()) {
            error = "another simulator is serving " + path;
            return false;
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            error = "unlink(" + path + "): " + ErrnoText(errno);
            return false;
        }
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        error = std::string("socket(AF_UNIX, SOCK_SEQPACKET): ") + ErrnoText(errno);
        return false;
    }
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "bind(" + path + "): " + ErrnoText(errno);
        return false;
    }
    // Only this user may press buttons on the simulated receiver.
    if (::chmod(path.c_str(), 0600) != 0) {
        error = "chmod(" + path + "): " + ErrnoText(errno);
        ::unlink(path.c_str());
        return false;
    }
    if (::listen(fd.Get(), 16) != 0) {
        error = "listen(" + path + "): " + ErrnoText(errno);
        ::unlink(path.c_str());
        return false;
    }
    if (::stat(path.c_str(), &info) != 0) {
        error = "stat(" + path + "): " + ErrnoText(errno);
        ::unlink(path.c_str());
        return false;
    }
    socketInode_ = info.st_ino;
    listener_ = std::move(fd);
    if (!options_.tcp.empty() && !ListenTcp(error)) {
        listener_.Reset();
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool SimDaemon::ListenTcp(std::string& error) {
    std::string host;
    std::uint16_t port = 0;
    if (!ParseTcpEndpoint(options_.tcp, host, port, error)) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        error = std::string("socket(AF_INET, SOCK_STREAM): ") + ErrnoText(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "bind(" + options_.tcp + "): " + ErrnoText(errno);
        return false;
    }
    if (::listen(fd.Get(), 16) != 0) {
        error = "listen(" + options_.tcp + "): " + ErrnoText(errno);
        return false;
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::string("getsockname: ") + ErrnoText(errno);
        return false;
    }
    tcpEndpoint_ = host + ':' + std::to_string(ntohs(address.sin_port));
    tcpListener_ = std::move(fd);
    return true;
}

bool SimDaemon::Run(int stopFd) {
    constexpr std::size_t kFirstClient = 3;  // after the stop fd and the two listeners
    std::vector<pollfd> entries;
    while (!quit_) {
        entries.clear();
        entries.push_back(pollfd{stopFd, POLLIN, 0});
        entries.push_back(pollfd{listener_.Get(), POLLIN, 0});
        // A negative fd is skipped by poll(): no TCP listener, no entry that wakes.
        entries.push_back(pollfd{tcpListener_.Valid() ? tcpListener_.Get() : -1, POLLIN, 0});
        for (const auto& client : clients_) {
            const short events = client->out.empty() ? POLLIN : POLLIN | POLLOUT;
            entries.push_back(pollfd{client->fd.Get(), events, 0});
        }
        if (::poll(entries.data(), entries.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            WarnErrno("poll", errno);
            RemoveAllDevices();
            return false;
        }
        if (entries[0].revents != 0) {
            break;  // SIGTERM or SIGINT
        }
        // Clients accepted now are polled from the next round on; entries
        // kFirstClient.. match clients_ as it was when the round began.
        const std::size_t polled = entries.size() - kFirstClient;
        for (std::size_t i = 0; i < polled; ++i) {
            Client& client = *clients_[i];
            const short revents = entries[i + kFirstClient].revents;
            if (revents == 0 || client.role == Client::Role::Done) {
                continue;
            }
            if ((revents & POLLOUT) != 0) {
                SendQueued(client);
                if (client.role == Client::Role::Done) {
                    continue;
                }
            }
            if ((revents & POLLIN) != 0) {
                Receive(client);
            } else if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                Drop(client);  // hang-up or error without data
            }
        }
        if ((entries[1].revents & POLLIN) != 0) {
            Accept(listener_.Get(), false);
        }
        if ((entries[2].revents & POLLIN) != 0) {
            Accept(tcpListener_.Get(), true);
        }
        Flush();
        std::erase_if(clients_, [](const std::unique_ptr<Client>& client) {
            return client->role == Client::Role::Done;
        });
    }
    RemoveAllDevices();
    return true;
}

void SimDaemon::Accept(int listener, bool framed) {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                errno != ECONNABORTED) {
                WarnErrno("accept4", errno);
            }
            return;
        }
        auto client = std::make_unique<Client>();
        client->fd.Reset(fd);
        client->framed = framed;
        if (framed) {
            // A report is a few dozen bytes that the host waits for: no batching.
            const int yes = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        }
        clients_.push_back(std::move(client));
    }
}

void SimDaemon::Receive(Client& client) {
    const ssize_t got = ::recv(client.fd.Get(), buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        Drop(client);
        return;
    }
    if (got < 0) {
        return;
    }
    const std::string bytes(buffer_.data(), static_cast<std::size_t>(got));
    if (!client.framed) {
        HandleMessage(client, bytes);
        // Out at once: an event subscriber that comes later in this round must
        // not see what happened before it subscribed.
        Flush();
        return;
    }
    client.in.Feed(bytes);
    while (client.role != Client::Role::Done) {
        std::optional<std::string> message = client.in.Next();
        if (!message) {
            break;
        }
        HandleMessage(client, *message);
        Flush();
    }
    if (client.in.Broken() && client.role != Client::Role::Done) {
        Warn("a TCP client sent a message longer than any the simulator takes; dropping it");
        Drop(client);
    }
}

bool SimDaemon::Send(Client& client, const std::string& message, std::chrono::milliseconds timeout,
                     bool droppable) {
    if (!client.framed) {
        return SendMessage(client.fd.Get(), message, std::chrono::steady_clock::now() + timeout) ==
               TransferStatus::Done;
    }
    if (droppable && client.out.size() > kMaxQueuedBytes) {
        return false;
    }
    client.out += EncodeFrame(message);
    SendQueued(client);
    // As on the Unix socket, a reply waits (bounded) for room; whatever is left
    // then goes when the connection takes it.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!client.out.empty() && client.role != Client::Role::Done) {
        pollfd entry{client.fd.Get(), POLLOUT, 0};
        const int ready = ::poll(&entry, 1, RemainingMs(deadline));
        if (ready <= 0) {
            break;
        }
        SendQueued(client);
    }
    return client.role != Client::Role::Done;
}

void SimDaemon::SendQueued(Client& client) {
    while (!client.out.empty()) {
        const ssize_t sent = ::send(client.fd.Get(), client.out.data(), client.out.size(),
                                    MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            client.out.erase(0, static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;  // the rest goes when the connection takes it (POLLOUT)
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        Drop(client);
        return;
    }
}

void SimDaemon::HandleMessage(Client& client, const std::string& message) {
    switch (client.role) {
        case Client::Role::New:
            HandleFirstMessage(client, message);
            break;
        case Client::Role::Device: {
            const std::span<const std::uint8_t> report(
                reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
            bus_.Write(client.handle, report);
            break;
        }
        case Client::Role::Events:
        case Client::Role::Done:
            break;  // nothing is expected from these
    }
}

void SimDaemon::HandleFirstMessage(Client& client, const std::string& message) {
    auto reply = [this, &client](const std::string& text) {
        return Send(client, text, kReplyTimeout);
    };
    if (message == "ENUM") {
        std::string text = "OK\n";
        for (const std::string& path : bus_.EnumerateHid()) {
            text += path + '\n';
        }
        reply(text);
        Drop(client);
        return;
    }
    if (message.rfind("OPEN ", 0) == 0) {
        const std::optional<OpenedDevice> opened = bus_.Open(message.substr(5));
        if (!opened) {
            reply("ERR " + std::to_string(ENOENT));
            Drop(client);
            return;
        }
        client.role = Client::Role::Device;
        client.handle = opened->handle;
        if (!opened->attributes || !opened->caps) {
            reply("OK NONHID");
            return;
        }
        reply("OK HID " + std::to_string(opened->attributes->vendorId) + ' ' +
              std::to_string(opened->attributes->productId) + ' ' +
              std::to_string(opened->caps->inputReportByteLength) + ' ' +
              std::to_string(opened->caps->outputReportByteLength));
        return;
    }
    if (message == "EVENTS") {
        if (const int refusal = bus_.EventsRefusal(); refusal != 0) {
            reply("ERR " + std::to_string(refusal));
            Drop(client);
            return;
        }
        // Events already taken from the bus went out before this subscriber
        // came; it sees what happens from now on, like a fresh registration.
        client.role = Client::Role::Events;
        reply("OK");
        return;
    }
    if (message.rfind("CTL", 0) == 0) {
        const auto parsed = ParseSimCommand(SplitWords(message.substr(3)));
        if (const auto* usage = std::get_if<UsageError>(&parsed)) {
            reply("USAGE\n" + usage->message);
        } else {
            const SimCommand& command = std::get<SimCommand>(parsed);
            const ControlResult result = ExecuteSimCommand(bus_, command);
            reply((result.ok ? "OK\n" : "FAIL\n") + result.text);
            if (command.verb == SimCommand::Verb::Quit) {
                quit_ = true;
            }
        }
        Drop(client);
        return;
    }
    Warn("unknown request from a client: " + message.substr(0, 40));
    Drop(client);
}

void SimDaemon::Flush() {
    const std::vector<DeviceChange> events = bus_.TakeEvents();
    for (const auto& client : clients_) {
        if (client->role == Client::Role::Events) {
            for (const DeviceChange& change : events) {
                std::string message = change.kind == DeviceChange::Kind::Arrival ? "EV A" : "EV R";
                if (!change.path.empty()) {
                    message += ' ' + change.path;
                }
                if (!Send(*client, message, kReplyTimeout)) {
                    Warn("an event subscriber does not read its events; dropping it");
                    Drop(*client);
                    break;
                }
            }
        } else if (client->role == Client::Role::Device) {
            while (auto report = bus_.TakeReport(client->handle)) {
                const std::string message(report->begin(), report->end());
                // Like hidraw's ring, a reader that falls behind loses reports.
                Send(*client, message, std::chrono::milliseconds(0), true);
            }
            if (bus_.IsGone(client->handle)) {
                Drop(*client);  // the hang-up tells the host that the device is gone
            }
        }
    }
}

void SimDaemon::RemoveAllDevices() {
    // The devices leave with the daemon; tell the subscribers as unplugging would.
    for (const DeviceSnapshot& device : bus_.Status().devices) {
        if (!device.present) {
            continue;
        }
        switch (device.kind) {
            case DeviceKind::Receiver:
                bus_.Unplug(device.path);
                break;
            case DeviceKind::Foreign:
                bus_.RemoveForeign(device.path);
                break;
            case DeviceKind::NonHid:
                bus_.RemoveNonHid(device.path);
                break;
        }
    }
    Flush();
}

void SimDaemon::Drop(Client& client) {
    if (client.role == Client::Role::Device) {
        bus_.Close(client.handle);
    }
    client.role = Client::Role::Done;
    client.fd.Reset();
}

}  // namespace qv::sim
