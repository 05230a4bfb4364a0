#pragma once
// A scripted HID port for tests: devices in a fixed enumeration order, each
// with its identity, report lengths, reply queue and a record of what was
// written to it and how often it was opened and closed.

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/HidPort.h"

namespace qv::test {

struct FakeDeviceState {
    std::string path;
    bool openable = true;
    HidOpenError openError;  // why it does not open (when not openable)
    std::optional<HidAttributes> attributes;
    std::optional<HidCaps> caps;

    // Replies in order; when none is left a read times out (a silent device).
    struct Reply {
        TransferStatus status = TransferStatus::Done;
        std::vector<std::uint8_t> report;
    };
    std::deque<Reply> replies;
    std::deque<TransferStatus> writeResults;  // Done when empty

    std::vector<std::vector<std::uint8_t>> written;
    std::vector<std::chrono::milliseconds> timeouts;
    int opens = 0;
    int closes = 0;
    int reads = 0;
    int identityReads = 0;
};

class FakeHidDevice : public HidDevice {
public:
    explicit FakeHidDevice(std::shared_ptr<FakeDeviceState> state) : state_(std::move(state)) {}
    ~FakeHidDevice() override { ++state_->closes; }

    std::optional<HidAttributes> GetAttributes() override { return state_->attributes; }
    std::optional<HidCaps> GetCaps() override { return state_->caps; }

    TransferStatus WriteReport(std::span<const std::uint8_t> report,
                               std::chrono::milliseconds timeout) override {
        state_->timeouts.push_back(timeout);
        state_->written.emplace_back(report.begin(), report.end());
        if (state_->writeResults.empty()) {
            return TransferStatus::Done;
        }
        const TransferStatus result = state_->writeResults.front();
        state_->writeResults.pop_front();
        return result;
    }

    TransferStatus ReadReport(std::span<std::uint8_t> report,
                              std::chrono::milliseconds timeout) override {
        state_->timeouts.push_back(timeout);
        ++state_->reads;
        if (state_->replies.empty()) {
            return TransferStatus::TimedOut;
        }
        FakeDeviceState::Reply reply = std::move(state_->replies.front());
        state_->replies.pop_front();
        std::copy_n(reply.report.begin(), std::min(reply.report.size(), report.size()),
                    report.begin());
        return reply.status;
    }

private:
    std::shared_ptr<FakeDeviceState> state_;
};

class FakeHidPort : public HidPort {
public:
    std::vector<std::shared_ptr<FakeDeviceState>> devices;
    int enumerations = 0;

    // Adds a HID device with these identifiers and report lengths.
    FakeDeviceState& Add(const std::string& path, std::uint16_t vendor, std::uint16_t product,
                         std::int32_t inputLength = 65, std::int32_t outputLength = 65) {
        auto state = std::make_shared<FakeDeviceState>();
        state->path = path;
        state->attributes = HidAttributes{vendor, product};
        state->caps = HidCaps{inputLength, outputLength};
        devices.push_back(state);
        return *state;
    }

    // Adds a path that opens but is no HID device.
    FakeDeviceState& AddNonHid(const std::string& path) {
        FakeDeviceState& state = Add(path, 0, 0);
        state.attributes.reset();
        state.caps.reset();
        return state;
    }

    int TotalOpens() const {
        int n = 0;
        for (const auto& d : devices) {
            n += d->opens;
        }
        return n;
    }

    std::vector<std::string> EnumerateHidInterfaces() override {
        ++enumerations;
        std::vector<std::string> paths;
        for (const auto& d : devices) {
            paths.push_back(d->path);
        }
        return paths;
    }

    std::unique_ptr<HidDevice> Open(const std::string& path) override {
        return TryOpen(path).device;
    }

    HidOpenResult TryOpen(const std::string& path) override {
        HidOpenResult result;
        result.error.kind = HidOpenFailure::Gone;
        for (const auto& d : devices) {
            if (d->path == path) {
                if (!d->openable) {
                    result.error = d->openError;
                    return result;
                }
                ++d->opens;
                result.device = std::make_unique<FakeHidDevice>(d);
                return result;
            }
        }
        return result;
    }

    // As the platforms read it: without opening the device.
    std::optional<HidAttributes> ReadIdentity(const std::string& path) override {
        for (const auto& d : devices) {
            if (d->path == path) {
                ++d->identityReads;
                return d->attributes;
            }
        }
        return std::nullopt;
    }
};

}  // namespace qv::test
