#include "Simulator.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <variant>

#include "common/ErrnoText.h"
#include "device/DeviceChangeQueue.h"

namespace qv::sim {

namespace {

// One started DeviceEvents object: what it has not read yet, and its owner's
// "changes pending" call.
struct Subscriber {
    DeviceChangeQueue queue;
};

}  // namespace

struct Simulator::Shared {
    explicit Shared(const BusOptions& options) : bus(options) {}

    // Hands the bus's new events to every subscriber and wakes every waiter.
    // Called with `mutex` held after anything that may have changed the bus,
    // so a subscriber's call is made on the thread that changed it.
    void Publish() {
        const std::vector<DeviceChange> events = bus.TakeEvents();
        if (!events.empty()) {
            std::erase_if(subscribers,
                          [](const std::weak_ptr<Subscriber>& s) { return s.expired(); });
            for (const auto& weak : subscribers) {
                if (auto subscriber = weak.lock()) {
                    for (const DeviceChange& change : events) {
                        subscriber->queue.Push(change);
                    }
                }
            }
        }
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    Bus bus;
    std::vector<std::weak_ptr<Subscriber>> subscribers;
};

namespace {

using Shared = Simulator::Shared;

class SimHidDevice final : public HidDevice {
public:
    SimHidDevice(std::shared_ptr<Shared> shared, const OpenedDevice& opened)
        : shared_(std::move(shared)), opened_(opened) {}
    ~SimHidDevice() override {
        std::lock_guard lock(shared_->mutex);
        shared_->bus.Close(opened_.handle);
        shared_->Publish();
    }

    std::optional<HidAttributes> GetAttributes() override { return opened_.attributes; }
    std::optional<HidCaps> GetCaps() override { return opened_.caps; }

    TransferStatus WriteReport(std::span<const std::uint8_t> report,
                               std::chrono::milliseconds) override {
        std::lock_guard lock(shared_->mutex);
        const TransferStatus status = shared_->bus.Write(opened_.handle, report);
        shared_->Publish();
        return status;
    }

    TransferStatus ReadReport(std::span<std::uint8_t> report,
                              std::chrono::milliseconds timeout) override {
        if (!opened_.attributes) {
            return TransferStatus::Failed;  // a non-HID node has no reports to read
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(shared_->mutex);
        for (;;) {
            if (auto incoming = shared_->bus.TakeReport(opened_.handle)) {
                std::copy_n(incoming->begin(), std::min(incoming->size(), report.size()),
                            report.begin());
                return TransferStatus::Done;
            }
            if (shared_->bus.IsGone(opened_.handle)) {
                return TransferStatus::Gone;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return TransferStatus::TimedOut;
            }
            shared_->changed.wait_until(lock, deadline);
        }
    }

private:
    std::shared_ptr<Shared> shared_;
    OpenedDevice opened_;
};

class SimHidPort final : public HidPort {
public:
    explicit SimHidPort(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    std::vector<std::string> EnumerateHidInterfaces() override {
        std::lock_guard lock(shared_->mutex);
        return shared_->bus.EnumerateHid();
    }

    std::unique_ptr<HidDevice> Open(const std::string& path) override {
        std::optional<OpenedDevice> opened;
        {
            std::lock_guard lock(shared_->mutex);
            opened = shared_->bus.Open(path);
        }
        if (!opened) {
            return nullptr;
        }
        return std::make_unique<SimHidDevice>(shared_, *opened);
    }

private:
    std::shared_ptr<Shared> shared_;
};

class SimDeviceEvents final : public DeviceEvents {
public:
    explicit SimDeviceEvents(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    ~SimDeviceEvents() override { Stop(); }

    bool Start(ChangesPending changesPending, std::string& error) override {
        Stop();
        std::lock_guard lock(shared_->mutex);
        if (const int refusal = shared_->bus.EventsRefusal(); refusal != 0) {
            error = std::string("simulator: ") + ErrnoText(refusal);
            return false;
        }
        auto subscriber = std::make_shared<Subscriber>();
        subscriber->queue.Open(std::move(changesPending));
        shared_->subscribers.push_back(subscriber);
        subscriber_ = std::move(subscriber);
        return true;
    }

    void Stop() override {
        std::shared_ptr<Subscriber> stopped;
        {
            // Publish makes the calls with the lock held: none runs past this.
            std::lock_guard lock(shared_->mutex);
            stopped = std::exchange(subscriber_, nullptr);  // Publish drops the expired entry
        }
        if (stopped) {
            stopped->queue.Close();
        }
    }

    std::vector<DeviceChange> ReadPending() override {
        std::shared_ptr<Subscriber> subscriber;
        {
            std::lock_guard lock(shared_->mutex);
            subscriber = subscriber_;
        }
        return subscriber ? subscriber->queue.Take() : std::vector<DeviceChange>{};
    }

private:
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Subscriber> subscriber_;  // guarded by shared_->mutex
};

}  // namespace

Simulator::Simulator(const BusOptions& options) : shared_(std::make_shared<Shared>(options)) {}

Simulator::~Simulator() = default;

std::unique_ptr<HidPort> Simulator::MakeHidPort() {
    return std::make_unique<SimHidPort>(shared_);
}

std::unique_ptr<DeviceEvents> Simulator::MakeDeviceEvents() {
    return std::make_unique<SimDeviceEvents>(shared_);
}

ControlResult Simulator::Execute(const std::vector<std::string>& words) {
    auto parsed = ParseSimCommand(words);
    if (auto* usage = std::get_if<UsageError>(&parsed)) {
        return ControlResult{false, "usage: " + usage->message};
    }
    const SimCommand& command = std::get<SimCommand>(parsed);
    if (command.verb == SimCommand::Verb::WaitIdle) {
        if (WaitIdle(command.timeout)) {
            return ControlResult{};
        }
        return ControlResult{
            false, "timed out: " + std::to_string(Status().queueLength) + " codes still queued"};
    }
    if (command.verb == SimCommand::Verb::Quit) {
        return ControlResult{false, "quit stops the daemon; the in-process simulator has none"};
    }
    std::lock_guard lock(shared_->mutex);
    ControlResult result = ExecuteSimCommand(shared_->bus, command);
    shared_->Publish();
    return result;
}

ControlResult Simulator::Execute(const std::string& line) {
    return Execute(SplitWords(line));
}

ControlResult Simulator::Press(RemoteCode code, const std::string& path) {
    std::lock_guard lock(shared_->mutex);
    ControlResult result = shared_->bus.Press(code, path);
    shared_->Publish();
    return result;
}

ControlResult Simulator::Plug(const std::string& path) {
    std::lock_guard lock(shared_->mutex);
    ControlResult result = shared_->bus.Plug(path);
    shared_->Publish();
    return result;
}

ControlResult Simulator::Unplug(const std::string& path) {
    std::lock_guard lock(shared_->mutex);
    ControlResult result = shared_->bus.Unplug(path);
    shared_->Publish();
    return result;
}

ControlResult Simulator::AddForeign(std::uint16_t vendorId, std::uint16_t productId) {
    std::lock_guard lock(shared_->mutex);
    ControlResult result = shared_->bus.AddForeign(vendorId, productId);
    shared_->Publish();
    return result;
}

ControlResult Simulator::AddNonHid() {
    std::lock_guard lock(shared_->mutex);
    ControlResult result = shared_->bus.AddNonHid();
    shared_->Publish();
    return result;
}

void Simulator::SetFaults(const BusFaults& faults) {
    std::lock_guard lock(shared_->mutex);
    shared_->bus.SetFaults(faults);
    shared_->Publish();
}

BusStatus Simulator::Status() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->bus.Status();
}

bool Simulator::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, timeout,
                                     [this] { return shared_->bus.QueueLength() == 0; });
}

}  // namespace qv::sim
