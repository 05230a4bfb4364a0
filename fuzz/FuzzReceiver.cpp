// fuzz_receiver: the receiver's reply handling, HidTransport and ReceiverLink over a
// fake HID port whose devices, report lengths, transfer outcomes and reply bytes all come
// from the input.
//
// The connect-and-start sequence and a few polls run against the fake; a plain model of
// the protocol (find the receiver, three commands to show the version, three to start,
// one reply per command, status 1 is success) runs on the same script. What the user and
// the window would see (lamp, version texts, message boxes, the timer, each poll's status
// and data) must be the same, and every report sent must be a well-formed command.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "common/Dialogs.h"
#include "device/HidPort.h"
#include "device/HidTransport.h"
#include "device/ReceiverLink.h"

namespace {

// One transfer as it happened: a write or a read, its outcome and, for a read, the bytes
// that arrived.
struct Transfer {
    bool read = false;
    qv::TransferStatus status = qv::TransferStatus::Done;
    std::vector<std::uint8_t> bytes;
};

// Outcomes and reply bytes come from the input as the transfers happen; every transfer is
// written down in order, for the model to replay.
class Script {
public:
    explicit Script(FuzzedDataProvider& input) : input_(input) {}
    const Transfer& Next(bool read, std::size_t length) {
        Transfer t;
        t.read = read;
        if (input_.remaining_bytes() == 0) {
            t.status = qv::TransferStatus::TimedOut;
        } else {
            // Mostly Done, so that sequences get far.
            const int pick = input_.ConsumeIntegralInRange(0, 15);
            t.status = pick < 12   ? qv::TransferStatus::Done
                       : pick < 13 ? qv::TransferStatus::TimedOut
                       : pick < 14 ? qv::TransferStatus::Gone
                                   : qv::TransferStatus::Failed;
            if (read) {
                t.bytes = input_.ConsumeBytes<std::uint8_t>(
                    input_.ConsumeIntegralInRange<std::size_t>(0, length));
            }
        }
        journal_.push_back(std::move(t));
        return journal_.back();
    }
    const std::vector<Transfer>& Journal() const { return journal_; }

private:
    FuzzedDataProvider& input_;
    std::vector<Transfer> journal_;
};

struct DeviceTraits {
    std::string path;
    bool opens = true;
    std::optional<qv::HidAttributes> attributes;
    std::optional<qv::HidCaps> caps;
};

class FakeDevice final : public qv::HidDevice {
public:
    FakeDevice(const DeviceTraits& traits, Script& script, std::vector<std::string>& log)
        : traits_(traits), script_(script), log_(log) {}
    std::optional<qv::HidAttributes> GetAttributes() override { return traits_.attributes; }
    std::optional<qv::HidCaps> GetCaps() override { return traits_.caps; }
    qv::TransferStatus WriteReport(std::span<const std::uint8_t> report,
                                   std::chrono::milliseconds) override {
        // A command report: ID 0, code, two parameters, zeros, at the full length.
        QV_FUZZ_CHECK(traits_.caps);
        QV_FUZZ_CHECK(report.size() ==
                      static_cast<std::size_t>(traits_.caps->outputReportByteLength));
        QV_FUZZ_CHECK(report[0] == 0);
        for (std::size_t i = 4; i < report.size(); ++i) {
            QV_FUZZ_CHECK(report[i] == 0);
        }
        log_.push_back("send " + std::to_string(report[1]) + " " + std::to_string(report[2]) + " " +
                       std::to_string(report[3]));
        return script_.Next(false, 0).status;
    }
    qv::TransferStatus ReadReport(std::span<std::uint8_t> report,
                                  std::chrono::milliseconds) override {
        QV_FUZZ_CHECK(traits_.caps);
        QV_FUZZ_CHECK(report.size() ==
                      static_cast<std::size_t>(traits_.caps->inputReportByteLength));
        const Transfer& t = script_.Next(true, report.size());
        std::copy(t.bytes.begin(), t.bytes.end(), report.begin());
        return t.status;
    }

private:
    const DeviceTraits& traits_;
    Script& script_;
    std::vector<std::string>& log_;
};

class FakePort final : public qv::HidPort {
public:
    FakePort(const std::vector<DeviceTraits>& devices, Script& script,
             std::vector<std::string>& log)
        : devices_(devices), script_(script), log_(log) {}
    std::vector<std::string> EnumerateHidInterfaces() override {
        std::vector<std::string> paths;
        for (const DeviceTraits& d : devices_) {
            paths.push_back(d.path);
        }
        return paths;
    }
    std::unique_ptr<qv::HidDevice> Open(const std::string& path) override {
        for (const DeviceTraits& d : devices_) {
            if (d.path == path && d.opens) {
                return std::make_unique<FakeDevice>(d, script_, log_);
            }
        }
        return nullptr;
    }

private:
    const std::vector<DeviceTraits>& devices_;
    Script& script_;
    std::vector<std::string>& log_;
};

class Recorder final : public qv::Dialogs, public qv::ReceiverIndicators {
public:
    explicit Recorder(std::vector<std::string>& log) : log_(log) {}
    void Tell(const std::string& text, qv::MessageKind) override { log_.push_back("box " + text); }
    qv::Answer Ask(const std::string& question, qv::MessageKind, qv::Answer) override {
        log_.push_back("box " + question);
        return qv::Answer::No;
    }
    void SetLamp(bool green) override { log_.push_back(green ? "lamp green" : "lamp red"); }
    void SetVersionText(const std::string& text) override { log_.push_back("version " + text); }
    void EnableTimer() override { log_.push_back("timer"); }

private:
    std::vector<std::string>& log_;
};

std::int32_t Widen(std::uint16_t id) {
    return static_cast<std::int16_t>(id);
}

// The protocol once more, replaying the journal of the real run: the receiver is the
// first device that opens, has the identifiers and reports long enough for the frames; a
// command is one write and, when the write went out, one read; the reply's payload is the
// input report after its ID byte (zeros where the report was short), its byte 0 the
// status and bytes 2..17 the data; status 1 is success.
class Model {
public:
    Model(const std::vector<DeviceTraits>& devices, const std::vector<Transfer>& journal)
        : devices_(devices), journal_(journal) {}

    void Connect(std::int32_t vendor, std::int32_t product) {
        connected_ = nullptr;
        for (const DeviceTraits& d : devices_) {
            if (d.opens && d.attributes && Widen(d.attributes->vendorId) == vendor &&
                Widen(d.attributes->productId) == product && d.caps &&
                d.caps->outputReportByteLength >= 4 && d.caps->inputReportByteLength >= 19) {
                connected_ = &d;
                break;
            }
        }
        if (connected_ == nullptr) {
            log_.push_back("lamp red");
            return;
        }
        log_.push_back("lamp green");
        for (const qv::ReceiverCommand& c : {qv::kInit1, qv::kInit2, qv::kQueryVersion}) {
            std::array<std::uint8_t, 16> data{};
            if (!Step(c, data)) {
                break;
            }
            log_.push_back("version " + qv::VersionText(data[0], data[1]));
        }
        for (const qv::ReceiverCommand& c : {qv::kInit1, qv::kInit2, qv::kStartReceive}) {
            std::array<std::uint8_t, 16> data{};
            if (!Step(c, data)) {
                return;
            }
        }
        log_.push_back("timer");
    }

    bool Command(const qv::ReceiverCommand& c, std::uint8_t& status,
                 std::array<std::uint8_t, 16>& data) {
        if (connected_ == nullptr) {
            return false;
        }
        log_.push_back("send " + std::to_string(c.code) + " " + std::to_string(c.param1) + " " +
                       std::to_string(c.param2));
        const Transfer& write = Take(false);
        if (write.status != qv::TransferStatus::Done) {
            return false;
        }
        const Transfer& read = Take(true);
        if (read.status != qv::TransferStatus::Done) {
            return false;
        }
        std::vector<std::uint8_t> report(
            static_cast<std::size_t>(connected_->caps->inputReportByteLength), 0);
        std::copy(read.bytes.begin(), read.bytes.end(), report.begin());
        status = report[1];
        std::copy_n(report.begin() + 3, data.size(), data.begin());
        return true;
    }

    void Note(const std::string& line) { log_.push_back(line); }
    const std::vector<std::string>& Log() const { return log_; }
    bool UsedWholeJournal() const { return next_ == journal_.size(); }

private:
    const Transfer& Take(bool read) {
        QV_FUZZ_CHECK(next_ < journal_.size());
        const Transfer& t = journal_[next_++];
        QV_FUZZ_CHECK(t.read == read);
        return t;
    }

    bool Step(const qv::ReceiverCommand& c, std::array<std::uint8_t, 16>& data) {
        std::uint8_t status = 0;
        if (!Command(c, status, data)) {
            log_.push_back(std::string("box ") + qv::kMsgSendFailed);
            return false;
        }
        if (status != qv::kStatusOk) {
            log_.push_back(std::string("box ") + qv::kMsgReceiverError);
            return false;
        }
        return true;
    }

    const std::vector<DeviceTraits>& devices_;
    const std::vector<Transfer>& journal_;
    const DeviceTraits* connected_ = nullptr;
    std::size_t next_ = 0;
    std::vector<std::string> log_;
};

std::string PollLine(bool ok, std::uint8_t status, const std::array<std::uint8_t, 16>& data) {
    std::string line = ok ? "poll ok " + std::to_string(status) : "poll failed";
    if (ok) {
        for (std::uint8_t b : data) {
            line += " " + std::to_string(b);
        }
    }
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<DeviceTraits> devices(input.ConsumeIntegralInRange(0, 3));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        DeviceTraits& d = devices[i];
        d.path = "/dev/hidraw" + std::to_string(i);
        d.opens = input.ConsumeIntegralInRange(0, 7) != 0;
        if (input.ConsumeIntegralInRange(0, 7) != 0) {
            const bool usual = input.ConsumeBool();
            d.attributes = usual ? qv::HidAttributes{0x1234, 0x0001}
                                 : qv::HidAttributes{input.ConsumeIntegral<std::uint16_t>(),
                                                     input.ConsumeIntegral<std::uint16_t>()};
        }
        if (input.ConsumeIntegralInRange(0, 7) != 0) {
            // Around the shortest usable lengths; now and then anything up to 1 KiB.
            // HidTransport allocates a buffer of the length the device reports for every
            // transfer, whatever that length; larger lengths would only measure the
            // allocator, not the handling of replies.
            d.caps = qv::HidCaps{input.ConsumeIntegralInRange(17, 24),
                                 input.ConsumeIntegralInRange(2, 9)};
            if (input.ConsumeIntegralInRange(0, 15) == 0) {
                d.caps->inputReportByteLength = input.ConsumeIntegralInRange(-2, 1024);
                d.caps->outputReportByteLength = input.ConsumeIntegralInRange(-2, 1024);
            }
        }
    }
    const bool usual = input.ConsumeBool();
    const std::int32_t vendor = usual ? 0x1234 : Widen(input.ConsumeIntegral<std::uint16_t>());
    const std::int32_t product = usual ? 0x0001 : Widen(input.ConsumeIntegral<std::uint16_t>());
    const int polls = input.ConsumeIntegralInRange(0, 6);

    std::vector<std::string> log;
    Script script(input);
    FakePort port(devices, script, log);
    Recorder recorder(log);
    {
        qv::HidTransport hid(port);
        qv::ReceiverLink link(hid, recorder, recorder);
        link.ConnectReceiver(vendor, product);
        for (int i = 0; i < polls; ++i) {
            std::uint8_t status = 0;
            std::array<std::uint8_t, 16> reply{};
            const bool ok = link.SendCommand(qv::kPoll, status, reply);
            log.push_back(PollLine(ok, status, reply));
        }
    }

    Model model(devices, script.Journal());
    model.Connect(vendor, product);
    for (int i = 0; i < polls; ++i) {
        std::uint8_t status = 0;
        std::array<std::uint8_t, 16> reply{};
        const bool ok = model.Command(qv::kPoll, status, reply);
        model.Note(PollLine(ok, status, reply));
    }
    QV_FUZZ_CHECK(model.UsedWholeJournal());
    QV_FUZZ_CHECK(model.Log() == log);
    return 0;
}
