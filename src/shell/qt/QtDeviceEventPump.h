#pragma once
// Watches a device-event source from the Qt event loop: when the source's
// descriptor becomes readable, `readable` runs (the application calls
// DeviceWatch::DeliverPending there).

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "device/DeviceEvents.h"

namespace qv {

class QtDeviceEventPump final : public QObject {
    Q_OBJECT
public:
    // `source` must outlive the pump. Watches nothing until Rearm().
    QtDeviceEventPump(DeviceEvents& source, std::function<void()> readable,
                      QObject* parent = nullptr);
    ~QtDeviceEventPump() override;

    // Watches the source's current descriptor (none when it is not started).
    // Call after the source was started or stopped; a change made by
    // `readable` itself is picked up without it.
    void Rearm();
    // The descriptor being watched; -1 for none.
    int WatchedFd() const { return fd_; }

private:
    void OnReadable();

    DeviceEvents& source_;
    std::function<void()> readable_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qv
