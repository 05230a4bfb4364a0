#include "SimDaemon.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <variant>
#include <vector>

#include "SimCommand.h"
#include "device/sim/SimSocket.h"

namespace qv::sim {

namespace {

// A reply to a handshake or a command: the client waits for it, so a short
// bound keeps a stuck client from holding the daemon.
constexpr std::chrono::milliseconds kReplyTimeout{200};

void Warn(const std::string& text) {
    std::fprintf(stderr, "quorvane-sim: %s\n", text.c_str());
}

void WarnErrno(const std::string& call, int error) {
    Warn(call + ": " + std::strerror(error));
}

}  // namespace

struct SimDaemon::Client {
    enum class Role { New, Device, Events, Done };
    UniqueFd fd;
    Role role = Role::New;
    HandleId handle = 0;
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
            error = "unlink(" + path + "): " + std::strerror(errno);
            return false;
        }
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        error = std::string("socket(AF_UNIX, SOCK_SEQPACKET): ") + std::strerror(errno);
        return false;
    }
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "bind(" + path + "): " + std::strerror(errno);
        return false;
    }
    // Only this user may press buttons on the simulated receiver.
    if (::chmod(path.c_str(), 0600) != 0) {
        error = "chmod(" + path + "): " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    if (::listen(fd.Get(), 16) != 0) {
        error = "listen(" + path + "): " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    if (::stat(path.c_str(), &info) != 0) {
        error = "stat(" + path + "): " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    socketInode_ = info.st_ino;
    listener_ = std::move(fd);
    return true;
}

bool SimDaemon::Run(int stopFd) {
    std::vector<pollfd> entries;
    while (!quit_) {
        entries.clear();
        entries.push_back(pollfd{stopFd, POLLIN, 0});
        entries.push_back(pollfd{listener_.Get(), POLLIN, 0});
        for (const auto& client : clients_) {
            entries.push_back(pollfd{client->fd.Get(), POLLIN, 0});
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
        // 2.. match clients_ as it was when the round began.
        const std::size_t polled = entries.size() - 2;
        for (std::size_t i = 0; i < polled; ++i) {
            Client& client = *clients_[i];
            const short revents = entries[i + 2].revents;
            if (revents == 0 || client.role == Client::Role::Done) {
                continue;
            }
            if ((revents & POLLIN) != 0) {
                const ssize_t got =
                    ::recv(client.fd.Get(), buffer_.data(), buffer_.size(), MSG_DONTWAIT);
                if (got > 0) {
                    HandleMessage(client,
                                  std::string(buffer_.data(), static_cast<std::size_t>(got)));
                    // Out at once: an event subscriber that comes later in this
                    // round must not see what happened before it subscribed.
                    Flush();
                } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    Drop(client);
                }
            } else {
                Drop(client);  // hang-up or error without data
            }
        }
        if ((entries[1].revents & POLLIN) != 0) {
            Accept();
        }
        Flush();
        std::erase_if(clients_, [](const std::unique_ptr<Client>& client) {
            return client->role == Client::Role::Done;
        });
    }
    RemoveAllDevices();
    return true;
}

void SimDaemon::Accept() {
    for (;;) {
        const int fd = ::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                errno != ECONNABORTED) {
                WarnErrno("accept4", errno);
            }
            return;
        }
        auto client = std::make_unique<Client>();
        client->fd.Reset(fd);
        clients_.push_back(std::move(client));
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
    auto reply = [&client](const std::string& text) {
        return SendMessage(client.fd.Get(), text, kReplyTimeout);
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
        reply("OK HID " + std::to_string(opened->attributes->VendorID) + ' ' +
              std::to_string(opened->attributes->ProductID) + ' ' +
              std::to_string(opened->caps->InputReportByteLength) + ' ' +
              std::to_string(opened->caps->OutputReportByteLength));
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
                if (!SendMessage(client->fd.Get(), message, kReplyTimeout)) {
                    Warn("an event subscriber does not read its events; dropping it");
                    Drop(*client);
                    break;
                }
            }
        } else if (client->role == Client::Role::Device) {
            while (auto report = bus_.TakeReport(client->handle)) {
                const std::string message(report->begin(), report->end());
                // Like hidraw's ring, a reader that falls behind loses reports.
                SendMessage(client->fd.Get(), message, std::chrono::milliseconds(0));
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
