#include "device/sim/SimClient.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "common/DebugLog.h"
#include "common/ErrnoText.h"
#include "device/DeviceChangeQueue.h"

namespace qv::sim {

namespace {

using Clock = std::chrono::steady_clock;

// Bound of the handshakes with a local daemon; reports use the caller's timeout.
constexpr std::chrono::milliseconds kHandshakeTimeout{2000};

// Sends `request` on a fresh connection and waits for the answer.
std::optional<std::string> Exchange(SimConnection& connection, std::string_view request,
                                    std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string answer;
    if (connection.Send(request, deadline) != TransferStatus::Done ||
        connection.Receive(answer, deadline) != TransferStatus::Done) {
        return std::nullopt;
    }
    return answer;
}

// The daemon's refusal "ERR <errno>" in words (its errno values are Linux's).
std::string Refusal(const std::string& answer) {
    const int number = std::atoi(answer.c_str() + 4);
    return ErrnoText(number > 0 ? number : EIO);
}

// A device opened in the daemon: one connection carrying its reports.
class SimHidDevice final : public HidDevice {
public:
    SimHidDevice(std::unique_ptr<SimConnection> connection, std::optional<HidAttributes> attributes,
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
    std::unique_ptr<SimConnection> connection_;
    std::optional<HidAttributes> attributes_;
    std::optional<HidCaps> caps_;
};

class SimHidPort final : public HidPort {
public:
    explicit SimHidPort(std::shared_ptr<SimTransport> transport)
        : transport_(std::move(transport)) {}

    std::vector<std::string> EnumerateHidInterfaces() override {
        std::vector<std::string> paths;
        std::string error;
        const std::unique_ptr<SimConnection> connection =
            transport_->Connect(kHandshakeTimeout, error);
        if (!connection) {
            DebugLog("simulator: " + error);
            return paths;
        }
        const std::optional<std::string> answer = Exchange(*connection, "ENUM", kHandshakeTimeout);
        if (!answer || answer->rfind("OK\n", 0) != 0) {
            DebugLog("simulator: no answer to the enumeration");
            return paths;
        }
        std::istringstream lines(answer->substr(3));
        for (std::string line; std::getline(lines, line);) {
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
        std::string error;
        std::unique_ptr<SimConnection> connection = transport_->Connect(kHandshakeTimeout, error);
        if (!connection) {
            DebugLog("simulator: " + error);
            return nullptr;
        }
        const std::optional<std::string> answer =
            Exchange(*connection, "OPEN " + path, kHandshakeTimeout);
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
            return std::make_unique<SimHidDevice>(std::move(connection), std::nullopt,
                                                  std::nullopt);
        }
        unsigned vendorId = 0;
        unsigned productId = 0;
        int inputLength = 0;
        int outputLength = 0;
        if (kind != "HID" || !(words >> vendorId >> productId >> inputLength >> outputLength)) {
            DebugLog("simulator: unreadable answer to opening " + path + ": " + *answer);
            return nullptr;
        }
        return std::make_unique<SimHidDevice>(std::move(connection),
                                              HidAttributes{static_cast<std::uint16_t>(vendorId),
                                                            static_cast<std::uint16_t>(productId)},
                                              HidCaps{inputLength, outputLength});
    }

private:
    std::shared_ptr<SimTransport> transport_;
};

class SimDeviceEvents final : public DeviceEvents {
public:
    explicit SimDeviceEvents(std::shared_ptr<SimTransport> transport)
        : transport_(std::move(transport)) {}
    ~SimDeviceEvents() override { Stop(); }
    SimDeviceEvents(const SimDeviceEvents&) = delete;
    SimDeviceEvents& operator=(const SimDeviceEvents&) = delete;

    bool Start(ChangesPending changesPending, std::string& error) override {
        Stop();
        std::string reason;
        std::unique_ptr<SimConnection> connection = transport_->Connect(kHandshakeTimeout, reason);
        if (!connection) {
            error = "simulator: " + reason;
            return false;
        }
        const std::optional<std::string> answer =
            Exchange(*connection, "EVENTS", kHandshakeTimeout);
        if (!answer) {
            error = "simulator: no answer from " + transport_->Address();
            return false;
        }
        if (answer->rfind("ERR ", 0) == 0) {
            error = "simulator: " + Refusal(*answer);
            return false;
        }
        if (*answer != "OK") {
            error = "simulator: unexpected answer: " + answer->substr(0, 40);
            return false;
        }
        connection_ = std::move(connection);
        queue_.Open(std::move(changesPending));
        reader_ = std::thread([this] { Read(); });
        return true;
    }

    void Stop() override {
        if (reader_.joinable()) {
            connection_->Shutdown();
            reader_.join();
        }
        connection_.reset();
        queue_.Close();
    }

    std::vector<DeviceChange> ReadPending() override { return queue_.Take(); }

private:
    // Until the daemon goes or Stop ends the connection: one change per message.
    void Read() {
        for (;;) {
            std::string message;
            if (connection_->Receive(message, SimConnection::Deadline::max()) !=
                TransferStatus::Done) {
                return;  // the daemon's removals have been queued; nothing more comes
            }
            if (std::optional<DeviceChange> change = Decode(message)) {
                queue_.Push(std::move(*change));
            }
        }
    }

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

    std::shared_ptr<SimTransport> transport_;
    std::unique_ptr<SimConnection> connection_;
    DeviceChangeQueue queue_;
    std::thread reader_;
};

}  // namespace

std::unique_ptr<HidPort> MakeSimHidPort(std::shared_ptr<SimTransport> transport) {
    return std::make_unique<SimHidPort>(std::move(transport));
}

std::unique_ptr<DeviceEvents> MakeSimDeviceEvents(std::shared_ptr<SimTransport> transport) {
    return std::make_unique<SimDeviceEvents>(std::move(transport));
}

SimReply SendSimCommand(SimTransport& transport, const std::vector<std::string>& words,
                        std::chrono::milliseconds timeout) {
    std::string request = "CTL";
    for (const std::string& word : words) {
        if (word.empty() || word.find_first_of(" \t\n") != std::string::npos) {
            return SimReply{SimReply::Code::Usage, "arguments must not be empty or hold spaces"};
        }
        request += ' ' + word;
    }
    std::string error;
    const std::unique_ptr<SimConnection> connection = transport.Connect(timeout, error);
    if (!connection) {
        return SimReply{SimReply::Code::Unreachable, "cannot reach the simulator: " + error};
    }
    const std::optional<std::string> answer = Exchange(*connection, request, timeout);
    if (!answer) {
        return SimReply{SimReply::Code::Unreachable,
                        "no answer from the simulator at " + transport.Address()};
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
