#pragma once
// Feeds the device-event source into the Qt event loop: when the source's
// descriptor is readable, its pending changes are delivered to the main
// window as WM_DEVICECHANGE messages (DispatchDeviceChanges), so they reach
// clsDeviceNotification through the router.

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "device/DeviceEvents.h"
#include "shell/WindowProcs.h"

namespace qv {

class QtDeviceEventPump final : public QObject {
    Q_OBJECT
public:
    // `source` and `procs` must outlive the pump. Watches nothing until Rearm().
    QtDeviceEventPump(DeviceEvents& source, WindowProcs& procs, WindowHandle hWnd,
                      QObject* parent = nullptr);
    ~QtDeviceEventPump() override;

    // Watches the source's current descriptor (none when it is not started).
    // Call after the source was started or stopped (DoRegisterDeviceInterface,
    // DoUnregisterDeviceNotification); a change made while a message is being
    // delivered is picked up by itself.
    void Rearm();
    // The descriptor being watched; -1 for none.
    int WatchedFd() const { return mFd; }

private:
    void OnReadable();

    DeviceEvents& mSource;
    WindowProcs& mProcs;
    WindowHandle mHWnd;
    int mFd = -1;
    std::unique_ptr<QSocketNotifier> mNotifier;
};

}  // namespace qv
