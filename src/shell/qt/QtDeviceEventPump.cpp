#include "shell/qt/QtDeviceEventPump.h"

#include "device/clsDeviceNotification.h"

namespace qv {

QtDeviceEventPump::QtDeviceEventPump(DeviceEvents& source, WindowProcs& procs, WindowHandle hWnd,
                                     QObject* parent)
    : QObject(parent), mSource(source), mProcs(procs), mHWnd(hWnd) {}

QtDeviceEventPump::~QtDeviceEventPump() = default;

void QtDeviceEventPump::Rearm() {
    const int fd = mSource.Fd();
    if (fd == mFd && (fd < 0 || mNotifier)) {
        return;
    }
    mNotifier.reset();
    mFd = fd;
    if (fd < 0) {
        return;
    }
    mNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(mNotifier.get(), &QSocketNotifier::activated, this, &QtDeviceEventPump::OnReadable);
}

void QtDeviceEventPump::OnReadable() {
    // Handlers run modal loops (message boxes during a connect); keep further
    // changes queued in the source until this batch is through, so they are
    // delivered in order.
    if (mNotifier) {
        mNotifier->setEnabled(false);
    }
    DispatchDeviceChanges(mSource, mProcs, mHWnd);
    if (mSource.Fd() != mFd) {
        Rearm();  // the source was stopped or restarted meanwhile
    } else if (mNotifier) {
        mNotifier->setEnabled(true);
    }
}

}  // namespace qv
