#include "shell/qt/QtDeviceEventPump.h"

#include <QPointer>

namespace qv {

QtDeviceEventPump::QtDeviceEventPump(DeviceEvents& source, std::function<void()> readable,
                                     QObject* parent)
    : QObject(parent), source_(source), readable_(std::move(readable)) {}

QtDeviceEventPump::~QtDeviceEventPump() = default;

void QtDeviceEventPump::Rearm() {
    const int fd = source_.Fd();
    if (fd == fd_ && (fd < 0 || notifier_)) {
        return;
    }
    notifier_.reset();
    fd_ = fd;
    if (fd < 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QtDeviceEventPump::OnReadable);
}

void QtDeviceEventPump::OnReadable() {
    // The handlers may run modal loops (message boxes during a connect); keep
    // further changes queued in the source until this batch is through, so
    // that they are delivered in order.
    if (notifier_) {
        notifier_->setEnabled(false);
    }
    const QPointer<QtDeviceEventPump> self(this);
    const std::function<void()> readable = readable_;  // the pump may end inside
    if (readable) {
        readable();
    }
    if (!self) {
        return;
    }
    if (source_.Fd() != fd_) {
        Rearm();  // the source was stopped or restarted meanwhile
    } else if (notifier_) {
        notifier_->setEnabled(true);
    }
}

}  // namespace qv
