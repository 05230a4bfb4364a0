#include "device/sim/SimClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "common/Deadline.h"
#include "common/DebugLog.h"
#include "common/ErrnoText.h"
#include "common/posix/UniqueFd.h"
#include "device/sim/SimSocket.h"

namespace qv::sim {

namespace {

// Bound of the handshakes with a local daemon; reports use the caller's timeout.
constexpr std::chrono::milliseconds kHandshakeTimeout{2000};
// Largest report the daemon sends; a larger message would be cut.
constexpr std::size_t kMaxReportBytes = 4096;

// A device opened in the daemon: one connection carrying its reports.
class SocketHidDevice final : public HidDevice {
public:
    SocketHidDevice(UniqueFd fd, std::optional<HidAttributes> attributes,
                    std::optional<HidCaps> caps)
        : fd_(std::move(fd)), attributes_(attributes), caps_(caps) {}

    std::optional<HidAttributes> GetAttributes() override { return attributes_; }
    std::optional<HidCaps> GetCaps() override { return caps_; }

    TransferStatus WriteReport(std::span<const std::uint8_t> report,
                               std::chrono::milliseconds timeout) override {
        if (report.empty() || !attributes_) {
            return TransferStatus::Failed;
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const ssize_t sent =
                ::send(fd_.Get(), report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent >= 0) {
                return sent == static_cast<ssize_t>(report.size()) ? TransferStatus::Done
                                                                   : TransferStatus::Failed;
            }
            if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN) {
                return TransferStatus::Gone;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                DebugLogErrno("send(simulated report)", errno);
                return TransferStatus::Failed;
            }
            const TransferStatus waited = Wait(POLLOUT, deadline);
            if (waited != TransferStatus::Done) {
                return waited;
            }
        }
    }

    TransferStatus ReadReport(std::span<std::uint8_t> report,
                              std::chrono::milliseconds timeout) override {
        if (!attributes_) {
            return TransferStatus::Failed;  // a non-HID node has no reports
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::uint8_t buffer[kMaxReportBytes];
        for (;;) {
            // Wait first, as the hidraw backend does: poll() decides the deadline.
            const TransferStatus waited = Wait(POLLIN, deadline);
            if (waited != TransferStatus::Done) {
                return waited;
            }
            const ssize_t got = ::recv(fd_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                std::memcpy(report.data(), buffer,
                            std::min(report.size(), static_cast<std::size_t>(got)));
                return TransferStatus::Done;
            }
            if (got == 0 || errno == ECONNRESET || errno == ENOTCONN) {
                return TransferStatus::Gone;  // the daemon closed: the device went away
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                DebugLogErrno("recv(simulated report)", errno);
                return TransferStatus::Failed;
            }
        }
    }

private:
    // Done when `events` is ready on the connection before the deadline.
    TransferStatus Wait(short events, std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            pollfd entry{fd_.Get(), events, 0};
            const int ready = ::poll(&entry, 1, RemainingMs(deadline));
            if (ready == 0) {
                return TransferStatus::TimedOut;
            }
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                DebugLogErrno("poll(simulated device)", errno);
                return TransferStatus::Failed;
            }
            if ((entry.revents & events) != 0) {
                return TransferStatus::Done;  // pending data is read before a hang-up counts
            }
            if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                return TransferStatus::Gone;
            }
        }
    }

    UniqueFd fd_;
    std::optional<HidAttributes> attributes_;
    std::optional<HidCaps> caps_;
};

class SocketHidPort final : public HidPort {
public:
    explicit SocketHidPort(std::string socketPath) : socketPath_(std::move(socketPath)) {}

    std::vector<std::string> EnumerateHidInterfaces() override {
        int error = 0;
        UniqueFd fd = ConnectSimSocket(socketPath_, error);
        if (!fd.Valid()) {
            return {};
        }
        const std::optional<std::string> answer = Exchange(fd.Get(), "ENUM", kHandshakeTimeout);
        if (!answer || answer->rfind("OK\n", 0) != 0) {
            DebugLog("simulator: no answer to the enumeration");
            return {};
        }
        std::vector<std::string> paths;
        std::istringstream lines(answer->substr(3));
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty()) {
                paths.push_back(line);
            }
        }
        return paths;
    }

    std::unique_ptr<HidDevice> Open(const std::string& path) override {
        if (path.empty() || path.find_first_of(" \n") != std::string::npos) {
            return nullptr;  // the daemon's paths never hold white space
        }
        int error = 0;
        UniqueFd fd = ConnectSimSocket(socketPath_, error);
        if (!fd.Valid()) {
            return nullptr;
        }
        const std::optional<std::string> answer =
            Exchange(fd.Get(), "OPEN " + path, kHandshakeTimeout);
        if (!answer) {
            DebugLog("simulator: no answer to opening " + path);
            return nullptr;
        }
        std::istringstream words(*answer);
        std::string ok;
        std::string kind;
        words >> ok >> kind;
        if (ok != "OK") {
            return nullptr;
        }
        if (kind == "NONHID") {
            return std::make_unique<SocketHidDevice>(std::move(fd), std::nullopt, std::nullopt);
        }
        unsigned vid = 0;
        unsigned pid = 0;
        int input = 0;
        int output = 0;
        if (kind != "HID" || !(words >> vid >> pid >> input >> output)) {
            DebugLog("simulator: unreadable answer to opening " + path + ": " + *answer);
            return nullptr;
        }
        return std::make_unique<SocketHidDevice>(
            std::move(fd),
            HidAttributes{static_cast<std::uint16_t>(vid), static_cast<std::uint16_t>(pid)},
            HidCaps{input, output});
    }

private:
    std::string socketPath_;
};

class SocketDeviceEvents final : public DeviceEvents {
public:
    explicit SocketDeviceEvents(std::string socketPath) : socketPath_(std::move(socketPath)) {}

    bool Start(std::string& error) override {
        if (fd_.Valid()) {
            return true;
        }
        int errorNumber = 0;
        UniqueFd fd = ConnectSimSocket(socketPath_, errorNumber);
        if (!fd.Valid()) {
            error = "simulator: " + std::string(ErrnoText(errorNumber)) + " (connect " +
                    socketPath_ + ")";
            return false;
        }
        const std::optional<std::string> answer = Exchange(fd.Get(), "EVENTS", kHandshakeTimeout);
        if (!answer) {
            error = "simulator: no answer from " + socketPath_;
            return false;
        }
        if (answer->rfind("ERR ", 0) == 0) {
            const int refusal = std::atoi(answer->c_str() + 4);
            error = "simulator: " + std::string(ErrnoText(refusal > 0 ? refusal : EIO));
            return false;
        }
        if (*answer != "OK") {
            error = "simulator: unexpected answer: " + answer->substr(0, 40);
            return false;
        }
        fd_ = std::move(fd);
        return true;
    }

    void Stop() override { fd_.Reset(); }

    int Fd() const override { return fd_.Get(); }

    std::vector<DeviceChange> ReadPending() override {
        std::vector<DeviceChange> events;
        if (!fd_.Valid()) {
            return events;
        }
        char buffer[2048];
        for (;;) {
            const ssize_t got = ::recv(fd_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                if (auto change = Decode(std::string(buffer, static_cast<std::size_t>(got)))) {
                    events.push_back(std::move(*change));
                }
                continue;
            }
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            }
            // The daemon went away. Its removals have been delivered; keep the
            // fd number the owner watches but make it quiet for good, so that
            // an event loop does not spin on a hung-up socket.
            if (got < 0) {
                DebugLogErrno("recv(simulator events)", errno);
            }
            Quiet();
            break;
        }
        return events;
    }

private:
    static std::optional<DeviceChange> Decode(const std::string& message) {
        // "EV A|R [<path>]"; no path for a device without a node.
        std::istringstream words(message);
        std::string tag;
        std::string kind;
        if (!(words >> tag >> kind) || tag != "EV" || (kind != "A" && kind != "R")) {
            DebugLog("simulator: unreadable event: " + message);
            return std::nullopt;
        }
        std::string path;
        words >> path;
        return DeviceChange{kind == "A" ? DeviceChange::Kind::Arrival : DeviceChange::Kind::Removal,
                            path};
    }

    void Quiet() {
        UniqueFd quiet(::eventfd(0, EFD_CLOEXEC));
        if (!quiet.Valid() || ::dup3(quiet.Get(), fd_.Get(), O_CLOEXEC) < 0) {
            DebugLogErrno("eventfd/dup3", errno);
            fd_.Reset();  // better a closed fd than one that never stops being readable
        }
    }

    std::string socketPath_;
    UniqueFd fd_;
};

}  // namespace

std::string DefaultSimSocketPath() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] != '\0') {
        return std::string(runtimeDir) + "/quorvane-sim.sock";
    }
    return "/tmp/quorvane-sim-" + std::to_string(::getuid()) + ".sock";
}

std::unique_ptr<HidPort> MakeSimHidPort(const std::string& socketPath) {
    return std::make_unique<SocketHidPort>(socketPath);
}

std::unique_ptr<DeviceEvents> MakeSimDeviceEvents(const std::string& socketPath) {
    return std::make_unique<SocketDeviceEvents>(socketPath);
}

SimReply SendSimCommand(const std::string& socketPath, const std::vector<std::string>& words,
                        std::chrono::milliseconds timeout) {
    std::string request = "CTL";
    for (const std::string& word : words) {
        if (word.empty() || word.find_first_of(" \t\n") != std::string::npos) {
            return SimReply{SimReply::Code::Usage, "arguments must not be empty or hold spaces"};
        }
        request += ' ' + word;
    }
    int error = 0;
    UniqueFd fd = ConnectSimSocket(socketPath, error);
    if (!fd.Valid()) {
        return SimReply{SimReply::Code::Unreachable,
                        "cannot reach the simulator at " + socketPath + ": " + ErrnoText(error)};
    }
    const std::optional<std::string> answer = Exchange(fd.Get(), request, timeout);
    if (!answer) {
        return SimReply{SimReply::Code::Unreachable,
                        "no answer from the simulator at " + socketPath};
    }
    const std::size_t newline = answer->find('\n');
    const std::string head = answer->substr(0, newline);
    const std::string text = newline == std::string::npos ? "" : answer->substr(newline + 1);
    if (head == "OK") {
        return SimReply{SimReply::Code::Ok, text};
    }
    if (head == "USAGE") {
        return SimReply{SimReply::Code::Usage, text};
    }
    return SimReply{SimReply::Code::Failed, text};
}

}  // namespace qv::sim
