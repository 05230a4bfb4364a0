#include "SimBus.h"

#include <algorithm>
#include <cstdio>

namespace qv::sim {

namespace {

constexpr const char* kHidPathPrefix = "/dev/sim/hidraw";
constexpr const char* kNonHidPathPrefix = "/dev/sim/ttyACM";
// A foreign HID device looks like a keyboard: 8-byte input reports, a 1-byte
// LED output report (report ID byte included in both lengths).
constexpr HidCaps kForeignCaps{9, 2};

ControlResult Fail(std::string text) {
    return ControlResult{false, std::move(text)};
}

}  // namespace

const char* DeviceKindName(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::Receiver:
            return "receiver";
        case DeviceKind::Foreign:
            return "foreign";
        case DeviceKind::NonHid:
            return "nonhid";
    }
    return "?";
}

std::string FormatIds(std::uint16_t vendorId, std::uint16_t productId) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", static_cast<unsigned>(vendorId),
                  static_cast<unsigned>(productId));
    return text;
}

Bus::Bus(const BusOptions& options) : options_(options) {
    options_.inputReportLength = std::clamp(options_.inputReportLength, 1, kMaxReportLength);
    options_.outputReportLength = std::clamp(options_.outputReportLength, 1, kMaxReportLength);
    Device receiver{
        NextHidPath(),     DeviceKind::Receiver,
        options_.vendorId, options_.productId,
        options_.plugged,  ReceiverFirmware(options_.versionMajor, options_.versionMinor)};
    devices_.push_back(std::move(receiver));
}

std::string Bus::NextHidPath() {
    return kHidPathPrefix + std::to_string(nextHidNumber_++);
}

Bus::Device* Bus::Find(const std::string& path) {
    for (Device& device : devices_) {
        if (device.path == path) {
            return &device;
        }
    }
    return nullptr;
}

const Bus::Device* Bus::Find(const std::string& path) const {
    return const_cast<Bus*>(this)->Find(path);
}

Bus::Device* Bus::FindReceiver(const std::string& path, bool wantPresent) {
    for (Device& device : devices_) {
        if (device.kind != DeviceKind::Receiver) {
            continue;
        }
        if (path.empty() ? device.present == wantPresent : device.path == path) {
            return &device;
        }
    }
    return nullptr;
}

void Bus::Arrive(const Device& device) {
    events_.push_back(DeviceChange{DeviceChange::Kind::Arrival, device.path});
}

void Bus::Remove(Device& device) {
    device.present = false;
    device.firmware.PowerOff();
    for (auto& [id, handle] : handles_) {
        if (handle.path == device.path) {
            handle.gone = true;
        }
    }
    events_.push_back(DeviceChange{DeviceChange::Kind::Removal, device.path});
}

HidCaps Bus::ReceiverCaps() const {
    if (faults_.shortReports) {
        return *faults_.shortReports;
    }
    return HidCaps{options_.inputReportLength, options_.outputReportLength};
}

ControlResult Bus::Press(RemoteCode code, const std::string& path) {
    if (code.v0 == 0) {
        return Fail("the first value of a code must not be 0 (the host reads 0 as no code)");
    }
    Device* receiver = FindReceiver(path, true);
    if (receiver == nullptr) {
        return Fail(path.empty() ? "no receiver is plugged in" : "no receiver at " + path);
    }
    if (!receiver->present) {
        return Fail("the receiver at " + path + " is unplugged; the press is lost");
    }
    receiver->firmware.Press(code);
    return ControlResult{true, receiver->path};
}

ControlResult Bus::Plug(const std::string& path) {
    Device* receiver = path.empty() ? FindReceiver({}, false) : FindReceiver(path, false);
    if (receiver == nullptr) {
        if (path.empty()) {
            return Fail("every receiver is plugged in already");
        }
        return Fail("no receiver at " + path);
    }
    if (receiver->present) {
        return Fail("the receiver at " + receiver->path + " is plugged in already");
    }
    receiver->present = true;
    Arrive(*receiver);
    return ControlResult{true, receiver->path};
}

ControlResult Bus::Unplug(const std::string& path) {
    Device* receiver = FindReceiver(path, true);
    if (receiver == nullptr) {
        return Fail(path.empty() ? "no receiver is plugged in" : "no receiver at " + path);
    }
    if (!receiver->present) {
        return Fail("the receiver at " + receiver->path + " is unplugged already");
    }
    Remove(*receiver);
    return ControlResult{true, receiver->path};
}

ControlResult Bus::AddReceiver() {
    devices_.push_back(Device{NextHidPath(), DeviceKind::Receiver, options_.vendorId,
                              options_.productId, true,
                              ReceiverFirmware(options_.versionMajor, options_.versionMinor)});
    Arrive(devices_.back());
    return ControlResult{true, devices_.back().path};
}

ControlResult Bus::AddForeign(std::uint16_t vendorId, std::uint16_t productId) {
    devices_.push_back(
        Device{NextHidPath(), DeviceKind::Foreign, vendorId, productId, true, ReceiverFirmware()});
    Arrive(devices_.back());
    return ControlResult{true, devices_.back().path};
}

ControlResult Bus::AddNonHid() {
    devices_.push_back(Device{kNonHidPathPrefix + std::to_string(nextNonHidNumber_++),
                              DeviceKind::NonHid, 0, 0, true, ReceiverFirmware()});
    Arrive(devices_.back());
    return ControlResult{true, devices_.back().path};
}

ControlResult Bus::RemoveForeign(const std::string& pathOrAll) {
    std::string removed;
    for (auto it = devices_.begin(); it != devices_.end();) {
        if (it->kind == DeviceKind::Foreign && (pathOrAll == "all" || it->path == pathOrAll)) {
            Remove(*it);
            removed += (removed.empty() ? "" : "\n") + it->path;
            it = devices_.erase(it);
        } else {
            ++it;
        }
    }
    if (removed.empty() && pathOrAll != "all") {
        return Fail("no foreign device at " + pathOrAll);
    }
    return ControlResult{true, removed};
}

ControlResult Bus::RemoveNonHid(const std::string& pathOrAll) {
    std::string target = pathOrAll;
    if (target.empty()) {
        for (const Device& device : devices_) {
            if (device.kind == DeviceKind::NonHid) {
                target = device.path;  // the newest one wins: devices are in order of arrival
            }
        }
        if (target.empty()) {
            return Fail("no non-HID device is present");
        }
    }
    std::string removed;
    for (auto it = devices_.begin(); it != devices_.end();) {
        if (it->kind == DeviceKind::NonHid && (target == "all" || it->path == target)) {
            Remove(*it);
            removed += (removed.empty() ? "" : "\n") + it->path;
            it = devices_.erase(it);
        } else {
            ++it;
        }
    }
    if (removed.empty() && target != "all") {
        return Fail("no non-HID device at " + target);
    }
    return ControlResult{true, removed};
}

ControlResult Bus::Broadcast(DeviceChange change) {
    events_.push_back(std::move(change));
    return ControlResult{};
}

void Bus::SetFaults(const BusFaults& faults) {
    faults_ = faults;
}

std::size_t Bus::QueueLength() const {
    std::size_t total = 0;
    for (const Device& device : devices_) {
        if (device.kind == DeviceKind::Receiver) {
            total += device.firmware.QueueLength();
        }
    }
    return total;
}

BusStatus Bus::Status() const {
    BusStatus status;
    for (const Device& device : devices_) {
        DeviceSnapshot snapshot{device.path, device.kind, device.vendorId, device.productId,
                                device.present};
        if (device.kind == DeviceKind::Receiver) {
            snapshot.queued = device.firmware.QueueLength();
            status.queueLength += snapshot.queued;
            status.counts += device.firmware.Counts();
        }
        for (const auto& [id, handle] : handles_) {
            if (handle.path == device.path && !handle.gone) {
                ++snapshot.openHandles;
            }
        }
        status.devices.push_back(std::move(snapshot));
    }
    status.malformedReports = malformed_;
    status.faults = faults_;
    return status;
}

std::vector<std::string> Bus::EnumerateHid() const {
    std::vector<std::string> paths;
    for (const Device& device : devices_) {
        if (device.present && device.kind != DeviceKind::NonHid) {
            paths.push_back(device.path);
        }
    }
    return paths;
}

std::optional<OpenedDevice> Bus::Open(const std::string& path) {
    const Device* device = Find(path);
    if (device == nullptr || !device->present) {
        return std::nullopt;
    }
    if (faults_.refuseOpenPaths.count(path) != 0 ||
        (faults_.refuseOpenReceivers && device->kind == DeviceKind::Receiver)) {
        return std::nullopt;
    }
    OpenedDevice opened;
    opened.handle = nextHandle_++;
    switch (device->kind) {
        case DeviceKind::Receiver:
            opened.attributes = HidAttributes{device->vendorId, device->productId};
            opened.caps = ReceiverCaps();
            break;
        case DeviceKind::Foreign:
            opened.attributes = HidAttributes{device->vendorId, device->productId};
            opened.caps = kForeignCaps;
            break;
        case DeviceKind::NonHid:
            break;
    }
    handles_.emplace(opened.handle, Handle{path, false, {}});
    return opened;
}

TransferStatus Bus::Write(HandleId id, std::span<const std::uint8_t> report) {
    auto found = handles_.find(id);
    if (found == handles_.end()) {
        return TransferStatus::Failed;
    }
    if (found->second.gone) {
        return TransferStatus::Gone;
    }
    Device* device = Find(found->second.path);
    if (device == nullptr || !device->present) {
        return TransferStatus::Gone;
    }
    if (device->kind == DeviceKind::NonHid) {
        return TransferStatus::Failed;  // no HID node: no reports at all
    }
    if (device->kind == DeviceKind::Foreign) {
        return TransferStatus::Done;  // a keyboard takes LED reports and answers none
    }
    const HidCaps caps = ReceiverCaps();
    // The receiver only knows unnumbered reports of its own length (or less,
    // as a short USB transfer); anything else goes unanswered.
    if (report.size() < 2 || report[0] != 0 ||
        report.size() > static_cast<std::size_t>(caps.outputReportByteLength)) {
        ++malformed_;
        return TransferStatus::Done;
    }
    if (faults_.unplugMidTransfer) {
        // The command went out; the receiver vanishes before it answers.
        faults_.unplugMidTransfer = false;
        device->firmware.Answer(report.subspan(1), FirmwareFaults{true, {}});
        Remove(*device);
        return TransferStatus::Done;
    }
    if (auto reply = device->firmware.Answer(report.subspan(1), faults_.firmware)) {
        Deliver(*device, *reply);
    }
    return TransferStatus::Done;
}

void Bus::Deliver(const Device& device, const ReplyFrame& reply) {
    const std::size_t length = static_cast<std::size_t>(ReceiverCaps().inputReportByteLength);
    std::vector<std::uint8_t> report(length, 0);
    // Byte 0 stays 0: the receiver's reports are unnumbered.
    for (std::size_t i = 0; i < reply.size() && i + 1 < length; ++i) {
        report[i + 1] = reply[i];
    }
    // Like hidraw, every open handle on the device gets its own copy.
    for (auto& [id, handle] : handles_) {
        if (handle.path == device.path && !handle.gone) {
            handle.reports.push_back(report);
        }
    }
}

std::optional<std::vector<std::uint8_t>> Bus::TakeReport(HandleId id) {
    auto found = handles_.find(id);
    if (found == handles_.end() || found->second.reports.empty()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> report = std::move(found->second.reports.front());
    found->second.reports.pop_front();
    return report;
}

bool Bus::IsGone(HandleId id) const {
    auto found = handles_.find(id);
    return found == handles_.end() || found->second.gone;
}

void Bus::Close(HandleId id) {
    handles_.erase(id);
}

std::vector<DeviceChange> Bus::TakeEvents() {
    std::vector<DeviceChange> events(events_.begin(), events_.end());
    events_.clear();
    return events;
}

}  // namespace qv::sim
