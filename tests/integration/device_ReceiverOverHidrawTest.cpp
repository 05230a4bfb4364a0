// The transport and the receiver protocol over the hidraw backend's transfer
// code, with a receiver firmware played by a thread on the other end of a
// SOCK_SEQPACKET pair. Only the identity is supplied by the test (a socket
// answers no hidraw ioctl); report layout, ID handling, deadlines and the
// command sequences run as they do against a real receiver.

#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "RecordingDialogs.h"
#include "device/HidTransport.h"
#include "device/ReceiverLink.h"
#include "device/linux/HidrawPort.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The receiver's descriptor: unnumbered vendor reports, 64 bytes each way.
const Bytes kReceiverDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                   0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                   0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};

enum class Behaviour { Answer, Silent, UnplugAfterStart };

// Plays the receiver's firmware on one end of a socket pair.
class FirmwareThread {
public:
    FirmwareThread(UniqueFd end, Behaviour behaviour) : behaviour_(behaviour) {
        thread_ = std::thread([this, fd = std::move(end)]() mutable { Run(std::move(fd)); });
    }
    ~FirmwareThread() {
        stop_ = true;
        thread_.join();
    }
    // Queues a remote-control code for the next polls.
    void Press(std::array<std::uint8_t, 3> code) {
        std::lock_guard lock(mutex_);
        codes_.push_back(code);
    }
    // The command payloads received (the host's 0 report ID dropped, as the
    // kernel does for unnumbered reports).
    std::vector<Bytes> Commands() {
        std::lock_guard lock(mutex_);
        return commands_;
    }

private:
    void Run(UniqueFd fd) {
        while (!stop_) {
            pollfd p{fd.Get(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            std::array<std::uint8_t, 256> buffer{};
            const ssize_t n = ::recv(fd.Get(), buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                return;  // the host closed the device
            }
            Bytes command(buffer.begin() + 1, buffer.begin() + n);
            Bytes reply(64, 0);
            {
                std::lock_guard lock(mutex_);
                commands_.push_back(command);
                reply[0] = 1;
                reply[1] = 0x5A;  // firmware-private byte
                switch (command.at(0)) {
                    case 0x18:
                        reply[2] = 1;
                        reply[3] = 5;
                        break;
                    case 0x1E:
                        if (!codes_.empty()) {
                            std::copy(codes_.front().begin(), codes_.front().end(),
                                      reply.begin() + 2);
                            codes_.pop_front();
                        }
                        break;
                    default:
                        break;
                }
            }
            if (behaviour_ == Behaviour::Silent) {
                continue;
            }
            if (::send(fd.Get(), reply.data(), reply.size(), 0) != 64) {
                return;
            }
            if (behaviour_ == Behaviour::UnplugAfterStart && command.at(0) == 0x1B) {
                return;  // closes the end: the device is gone
            }
        }
    }

    Behaviour behaviour_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::deque<std::array<std::uint8_t, 3>> codes_;
    std::vector<Bytes> commands_;
    std::thread thread_;
};

// How each transfer ended, in order.
using Outcomes = std::vector<TransferStatus>;

// A hidraw device over a socket whose identity the test supplies.
class IdentifiedDevice : public HidDevice {
public:
    IdentifiedDevice(UniqueFd fd, HidAttributes attributes, std::shared_ptr<Outcomes> outcomes)
        : device_(std::move(fd), kReceiverDescriptor),
          attributes_(attributes),
          outcomes_(std::move(outcomes)) {}
    std::optional<HidAttributes> GetAttributes() override { return attributes_; }
    std::optional<HidCaps> GetCaps() override { return device_.GetCaps(); }
    TransferStatus WriteReport(std::span<const std::uint8_t> report,
                               milliseconds timeout) override {
        return Note(device_.WriteReport(report, timeout));
    }
    TransferStatus ReadReport(std::span<std::uint8_t> report, milliseconds timeout) override {
        return Note(device_.ReadReport(report, timeout));
    }

private:
    TransferStatus Note(TransferStatus status) {
        outcomes_->push_back(status);
        return status;
    }

    HidrawDevice device_;
    HidAttributes attributes_;
    std::shared_ptr<Outcomes> outcomes_;
};

// One receiver at "/dev/hidraw7"; each open starts its firmware.
class SocketReceiverPort : public HidPort {
public:
    explicit SocketReceiverPort(Behaviour behaviour) : behaviour_(behaviour) {}
    std::vector<std::string> EnumerateHidInterfaces() override { return {"/dev/hidraw7"}; }
    std::unique_ptr<HidDevice> Open(const std::string& path) override {
        if (path != "/dev/hidraw7") {
            return nullptr;
        }
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
            return nullptr;
        }
        firmware = std::make_unique<FirmwareThread>(UniqueFd(fds[1]), behaviour_);
        return std::make_unique<IdentifiedDevice>(UniqueFd(fds[0]), HidAttributes{0x1234, 0x0001},
                                                  outcomes);
    }
    std::unique_ptr<FirmwareThread> firmware;
    std::shared_ptr<Outcomes> outcomes = std::make_shared<Outcomes>();

private:
    Behaviour behaviour_;
};

class Indicators : public ReceiverIndicators {
public:
    std::vector<bool> lamps;
    std::string version;
    bool timer = false;
    void SetLamp(bool green) override { lamps.push_back(green); }
    void SetVersionText(const std::string& text) override { version = text; }
    void EnableTimer() override { timer = true; }
};

struct Rig {
    explicit Rig(Behaviour behaviour) : port(behaviour) {}
    SocketReceiverPort port;
    HidTransport hid{port};
    test::RecordingDialogs dialogs;
    Indicators indicators;
    ReceiverLink link{hid, dialogs, indicators};
};

class ReceiverOverHidraw : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }
};

TEST_F(ReceiverOverHidraw, ConnectsStartsAndPolls) {
    Rig rig(Behaviour::Answer);
    rig.link.ConnectReceiver(0x1234, 0x0001);
    EXPECT_EQ(rig.indicators.lamps, (std::vector<bool>{true}));
    EXPECT_EQ(rig.indicators.version, "1.05");
    EXPECT_TRUE(rig.indicators.timer);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.hid.SendSize(), 64);
    EXPECT_EQ(rig.hid.RecvSize(), 64);

    std::uint8_t status = 0;
    std::array<std::uint8_t, 16> data{};
    ASSERT_TRUE(rig.link.SendCommand(kPoll, status, data));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(data[0], 0);  // nothing received yet

    rig.port.firmware->Press({0x40, 0x21, 0x13});
    ASSERT_TRUE(rig.link.SendCommand(kPoll, status, data));
    EXPECT_EQ(data[0], 0x40);
    EXPECT_EQ(data[1], 0x21);
    EXPECT_EQ(data[2], 0x13);

    // The firmware saw each command as a full zero-padded payload.
    const std::vector<Bytes> commands = rig.port.firmware->Commands();
    ASSERT_EQ(commands.size(), 8u);
    Bytes expected(64, 0);
    expected[0] = 0x1C;
    expected[1] = 0x05;
    expected[2] = 0x64;
    EXPECT_EQ(commands[0], expected);
    EXPECT_EQ(commands[5].at(0), 0x1B);
    EXPECT_EQ(commands[7].at(0), 0x1E);
}

TEST_F(ReceiverOverHidraw, SilentReceiverCostsTwoDeadlinesAndTwoMessages) {
    Rig rig(Behaviour::Silent);
    const Clock::time_point start = Clock::now();
    rig.link.ConnectReceiver(0x1234, 0x0001);
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    EXPECT_EQ(rig.indicators.lamps, (std::vector<bool>{true}));
    ASSERT_EQ(rig.dialogs.shown.size(), 2u);
    EXPECT_EQ(rig.dialogs.shown[0].text, kMsgSendFailed);
    EXPECT_EQ(rig.dialogs.shown[1].text, kMsgSendFailed);
    EXPECT_FALSE(rig.indicators.timer);
    EXPECT_GE(elapsed, 2 * 1010);
    // Two commands went out, so no more than two deadlines were waited for.
    EXPECT_EQ(rig.port.firmware->Commands().size(), 2u);
}

TEST_F(ReceiverOverHidraw, UnpluggedReceiverFailsPollsWithoutWaiting) {
    Rig rig(Behaviour::UnplugAfterStart);
    rig.link.ConnectReceiver(0x1234, 0x0001);
    ASSERT_TRUE(rig.indicators.timer);
    std::uint8_t status = 0;
    std::array<std::uint8_t, 16> data{};
    rig.port.outcomes->clear();
    EXPECT_FALSE(rig.link.SendCommand(kPoll, status, data));
    // The poll ended at the hang-up, not by waiting out the transfer deadline.
    ASSERT_FALSE(rig.port.outcomes->empty());
    for (TransferStatus outcome : *rig.port.outcomes) {
        EXPECT_NE(outcome, TransferStatus::TimedOut);
    }
    EXPECT_NE(rig.port.outcomes->back(), TransferStatus::Done);
    // The connection stays until the removal handling destroys it.
    EXPECT_EQ(rig.hid.ConnectDevicePath(), "/dev/hidraw7");
}

}  // namespace
}  // namespace qv
