// The program's side of the simulator conversation over a scripted transport:
// what each backend sends, how it reads the daemon's answers, and how the
// event reader ends.

#include "device/sim/SimClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "PendingCalls.h"

namespace qv::sim {
namespace {

using namespace std::chrono_literals;

// The daemon's side of one connection: the test answers each message the
// client sends (a reply, or nothing), and may send more or close.
class ScriptedConnection final : public SimConnection {
public:
    using Answer = std::function<std::optional<std::string>(const std::string& message)>;

    explicit ScriptedConnection(Answer answer) : answer_(std::move(answer)) {}

    TransferStatus Send(std::string_view message, Deadline /*deadline*/) override {
        const std::lock_guard lock(mutex_);
        if (closed_) {
            return TransferStatus::Gone;
        }
        sent_.emplace_back(message);
        if (std::optional<std::string> reply = answer_(std::string(message))) {
            incoming_.push_back(std::move(*reply));
            arrived_.notify_all();
        }
        return TransferStatus::Done;
    }

    TransferStatus Receive(std::string& message, Deadline deadline) override {
        std::unique_lock lock(mutex_);
        const auto ready = [this] { return !incoming_.empty() || closed_; };
        if (deadline == Deadline::max()) {
            arrived_.wait(lock, ready);
        } else if (!arrived_.wait_until(lock, deadline, ready)) {
            return TransferStatus::TimedOut;
        }
        if (incoming_.empty()) {
            return TransferStatus::Gone;
        }
        message = std::move(incoming_.front());
        incoming_.pop_front();
        return TransferStatus::Done;
    }

    void Shutdown() override {
        const std::lock_guard lock(mutex_);
        ++shutdowns_;
        closed_ = true;
        arrived_.notify_all();
    }

    // The daemon sends `message` unasked.
    void Deliver(std::string message) {
        const std::lock_guard lock(mutex_);
        incoming_.push_back(std::move(message));
        arrived_.notify_all();
    }
    // The daemon closes the connection; what it sent before is still read.
    void Close() { Shutdown(); }

    std::vector<std::string> Sent() const {
        const std::lock_guard lock(mutex_);
        return sent_;
    }
    int Shutdowns() const {
        const std::lock_guard lock(mutex_);
        return shutdowns_;
    }

private:
    Answer answer_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::string> incoming_;
    std::vector<std::string> sent_;
    bool closed_ = false;
    int shutdowns_ = 0;
};

// A daemon that answers every connection's first message from a table.
class ScriptedTransport final : public SimTransport {
public:
    // Answers by request; nullopt: silence. Later messages get no answer.
    std::function<std::optional<std::string>(const std::string& request)> answer =
        [](const std::string&) { return std::nullopt; };
    // Set: Connect fails with it.
    std::optional<std::string> refuse;
    std::vector<ScriptedConnection*> connections;  // owned by the backends

    std::unique_ptr<SimConnection> Connect(std::chrono::milliseconds /*timeout*/,
                                           std::string& error) override {
        ++connects;
        if (refuse) {
            error = *refuse;
            return nullptr;
        }
        auto firstDone = std::make_shared<bool>(false);
        auto connection = std::make_unique<ScriptedConnection>(
            [this, firstDone](const std::string& message) -> std::optional<std::string> {
                if (*firstDone) {
                    return std::nullopt;
                }
                *firstDone = true;
                return answer(message);
            });
        connections.push_back(connection.get());
        return connection;
    }
    const std::string& Address() const override { return address_; }

    int connects = 0;

private:
    std::string address_ = "scripted";
};

TEST(SimHidPortTest, EnumerationListsThePathsTheDaemonNames) {
    auto transport = std::make_shared<ScriptedTransport>();
    transport->answer = [](const std::string& request) -> std::optional<std::string> {
        return request == "ENUM" ? std::optional<std::string>("OK\n/dev/sim/a\n\n/dev/sim/b\n")
                                 : std::nullopt;
    };
    EXPECT_EQ(MakeSimHidPort(transport)->EnumerateHidInterfaces(),
              (std::vector<std::string>{"/dev/sim/a", "/dev/sim/b"}));

    transport->answer = [](const std::string&) { return std::optional<std::string>("ERR 5"); };
    EXPECT_TRUE(MakeSimHidPort(transport)->EnumerateHidInterfaces().empty());
    transport->refuse = "connect(scripted): refused";
    EXPECT_TRUE(MakeSimHidPort(transport)->EnumerateHidInterfaces().empty());
}

TEST(SimHidPortTest, OpeningReadsTheIdentityFromTheAnswer) {
    auto transport = std::make_shared<ScriptedTransport>();
    transport->answer = [](const std::string& request) -> std::optional<std::string> {
        if (request == "OPEN /dev/sim/receiver") {
            return "OK HID 4660 1 33 9";
        }
        if (request == "OPEN /dev/sim/node") {
            return "OK NONHID";
        }
        if (request == "OPEN /dev/sim/garbled") {
            return "OK HID 4660";
        }
        return "ERR 13";
    };
    auto port = MakeSimHidPort(transport);
    auto receiver = port->Open("/dev/sim/receiver");
    ASSERT_NE(receiver, nullptr);
    EXPECT_EQ(receiver->GetAttributes()->vendorId, 0x1234);
    EXPECT_EQ(receiver->GetAttributes()->productId, 0x0001);
    EXPECT_EQ(receiver->GetCaps()->inputReportByteLength, 33);
    EXPECT_EQ(receiver->GetCaps()->outputReportByteLength, 9);

    auto node = port->Open("/dev/sim/node");
    ASSERT_NE(node, nullptr);
    EXPECT_FALSE(node->GetAttributes());
    EXPECT_FALSE(node->GetCaps());
    std::vector<std::uint8_t> report(9);
    EXPECT_EQ(node->WriteReport(report, 100ms), TransferStatus::Failed);
    EXPECT_EQ(node->ReadReport(report, 100ms), TransferStatus::Failed);

    EXPECT_EQ(port->Open("/dev/sim/garbled"), nullptr);
    EXPECT_EQ(port->Open("/dev/sim/refused"), nullptr);
    const int connects = transport->connects;
    // The daemon's paths never hold white space: nothing is asked for these.
    EXPECT_EQ(port->Open(""), nullptr);
    EXPECT_EQ(port->Open("/dev/sim/a b"), nullptr);
    EXPECT_EQ(port->Open("/dev/sim/a\nENUM"), nullptr);
    EXPECT_EQ(transport->connects, connects);
}

TEST(SimHidPortTest, ReportsTravelAsWholeMessages) {
    auto transport = std::make_shared<ScriptedTransport>();
    transport->answer = [](const std::string&) {
        return std::optional<std::string>("OK HID 4660 1 33 9");
    };
    auto device = MakeSimHidPort(transport)->Open("/dev/sim/receiver");
    ASSERT_NE(device, nullptr);
    ScriptedConnection& connection = *transport->connections.back();

    const std::vector<std::uint8_t> command = {0, 0x1E, 4, 4, 0, 0, 0, 0, 0};
    EXPECT_EQ(device->WriteReport(command, 100ms), TransferStatus::Done);
    EXPECT_EQ(connection.Sent().back(), std::string("\0\x1E\x04\x04\0\0\0\0\0", 9));
    EXPECT_EQ(device->WriteReport({}, 100ms), TransferStatus::Failed);

    // A shorter reply leaves the rest of the buffer; a longer one is cut.
    std::vector<std::uint8_t> reply(5, 0xEE);
    connection.Deliver(std::string("\0\x01\x00", 3));
    EXPECT_EQ(device->ReadReport(reply, 100ms), TransferStatus::Done);
    EXPECT_EQ(reply, (std::vector<std::uint8_t>{0, 1, 0, 0xEE, 0xEE}));
    connection.Deliver("0123456789");
    EXPECT_EQ(device->ReadReport(reply, 100ms), TransferStatus::Done);
    EXPECT_EQ(reply, (std::vector<std::uint8_t>{'0', '1', '2', '3', '4'}));

    EXPECT_EQ(device->ReadReport(reply, 20ms), TransferStatus::TimedOut);
    connection.Close();
    EXPECT_EQ(device->ReadReport(reply, 100ms), TransferStatus::Gone);
    EXPECT_EQ(device->WriteReport(command, 100ms), TransferStatus::Gone);
}

TEST(SimDeviceEventsTest, StartFailsWithTheDaemonsReason) {
    auto transport = std::make_shared<ScriptedTransport>();
    auto events = MakeSimDeviceEvents(transport);
    std::string error;
    transport->refuse = "connect(scripted): No such file or directory";
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error, "simulator: connect(scripted): No such file or directory");

    transport->refuse.reset();
    transport->answer = [](const std::string&) { return std::optional<std::string>("ERR 13"); };
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error, "simulator: Permission denied");

    transport->answer = [](const std::string&) {
        return std::optional<std::string>("HELLO THERE");
    };
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error, "simulator: unexpected answer: HELLO THERE");

    transport->answer = [](const std::string&) { return std::nullopt; };
    EXPECT_FALSE(events->Start(nullptr, error));
    EXPECT_EQ(error, "simulator: no answer from scripted");
}

TEST(SimDeviceEventsTest, AnnouncementsBecomeChangesOnTheReadersThread) {
    auto transport = std::make_shared<ScriptedTransport>();
    transport->answer = [](const std::string& request) -> std::optional<std::string> {
        return request == "EVENTS" ? std::optional<std::string>("OK") : std::nullopt;
    };
    auto events = MakeSimDeviceEvents(transport);
    test::PendingCalls calls;
    std::string error;
    ASSERT_TRUE(events->Start(calls.Call(), error)) << error;
    ScriptedConnection& connection = *transport->connections.back();
    EXPECT_EQ(connection.Sent(), (std::vector<std::string>{"EVENTS"}));

    connection.Deliver("EV R /dev/sim/hidraw0");
    connection.Deliver("nonsense");
    connection.Deliver("EV X /dev/sim/hidraw0");
    connection.Deliver("EV A");
    connection.Deliver("EV A /dev/sim/hidraw0");
    const std::vector<DeviceChange> changes = calls.Collect(*events, 3);
    EXPECT_EQ(changes,
              (std::vector<DeviceChange>{{DeviceChange::Kind::Removal, "/dev/sim/hidraw0"},
                                         {DeviceChange::Kind::Arrival, ""},
                                         {DeviceChange::Kind::Arrival, "/dev/sim/hidraw0"}}));
    EXPECT_NE(calls.LastThread(), std::this_thread::get_id());

    // Stop ends the connection, which ends the waiting reader.
    events->Stop();
    EXPECT_EQ(connection.Shutdowns(), 1);
    EXPECT_TRUE(events->ReadPending().empty());
}

TEST(SimDeviceEventsTest, TheReaderEndsWhenTheDaemonCloses) {
    auto transport = std::make_shared<ScriptedTransport>();
    transport->answer = [](const std::string&) { return std::optional<std::string>("OK"); };
    auto events = MakeSimDeviceEvents(transport);
    test::PendingCalls calls;
    std::string error;
    ASSERT_TRUE(events->Start(calls.Call(), error)) << error;
    ScriptedConnection& connection = *transport->connections.back();
    connection.Deliver("EV R /dev/sim/hidraw0");
    connection.Close();  // the daemon's last words are still read
    EXPECT_EQ(calls.Collect(*events, 1),
              (std::vector<DeviceChange>{{DeviceChange::Kind::Removal, "/dev/sim/hidraw0"}}));

    // Starting again makes a new connection.
    ASSERT_TRUE(events->Start(calls.Call(), error)) << error;
    EXPECT_EQ(transport->connections.size(), 2u);
    transport->connections.back()->Deliver("EV A /dev/sim/hidraw0");
    EXPECT_EQ(calls.Collect(*events, 1),
              (std::vector<DeviceChange>{{DeviceChange::Kind::Arrival, "/dev/sim/hidraw0"}}));
}

TEST(SendSimCommandTest, TheAnswersHeadDecidesTheCode) {
    ScriptedTransport transport;
    std::vector<std::string> requests;
    transport.answer = [&requests](const std::string& request) -> std::optional<std::string> {
        requests.push_back(request);
        if (request == "CTL status") {
            return "OK\ndevice a\n";
        }
        if (request == "CTL press 1") {
            return "USAGE\npress needs three values";
        }
        if (request == "CTL unplug") {
            return "FAIL\nno receiver is plugged in";
        }
        if (request == "CTL quit") {
            return "OK";
        }
        return std::nullopt;
    };
    const SimReply status = SendSimCommand(transport, {"status"});
    EXPECT_EQ(status.code, SimReply::Code::Ok);
    EXPECT_EQ(status.text, "device a\n");
    const SimReply usage = SendSimCommand(transport, {"press", "1"});
    EXPECT_EQ(usage.code, SimReply::Code::Usage);
    EXPECT_EQ(usage.text, "press needs three values");
    const SimReply failed = SendSimCommand(transport, {"unplug"});
    EXPECT_EQ(failed.code, SimReply::Code::Failed);
    EXPECT_EQ(failed.text, "no receiver is plugged in");
    const SimReply quit = SendSimCommand(transport, {"quit"});
    EXPECT_EQ(quit.code, SimReply::Code::Ok);
    EXPECT_EQ(quit.text, "");
    const SimReply silent = SendSimCommand(transport, {"queue"}, 20ms);
    EXPECT_EQ(silent.code, SimReply::Code::Unreachable);
    EXPECT_EQ(silent.text, "no answer from the simulator at scripted");
    EXPECT_EQ(requests, (std::vector<std::string>{"CTL status", "CTL press 1", "CTL unplug",
                                                  "CTL quit", "CTL queue"}));

    // Words that would change the conversation are refused before connecting.
    const int connects = transport.connects;
    EXPECT_EQ(SendSimCommand(transport, {"press", "1 2"}).code, SimReply::Code::Usage);
    EXPECT_EQ(SendSimCommand(transport, {"press", ""}).code, SimReply::Code::Usage);
    EXPECT_EQ(SendSimCommand(transport, {"a\nENUM"}).code, SimReply::Code::Usage);
    EXPECT_EQ(transport.connects, connects);

    transport.refuse = "connect(scripted): Connection refused";
    const SimReply unreachable = SendSimCommand(transport, {"status"});
    EXPECT_EQ(unreachable.code, SimReply::Code::Unreachable);
    EXPECT_EQ(unreachable.text,
              "cannot reach the simulator: connect(scripted): Connection refused");
}

}  // namespace
}  // namespace qv::sim
