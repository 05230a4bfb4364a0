#pragma once
// Arrivals and removals of HID device interfaces on Windows: the program's window
// is registered for device-interface notifications of the HID class, its window
// procedure hands every WM_DEVICECHANGE to OnDeviceChange, and the application
// then collects the queued changes with ReadPending. There is no descriptor to
// watch (Fd() is -1): the window's message loop is the wake-up.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/win32/Windows.h"
#include "device/DeviceEvents.h"

namespace qv {

// The change a WM_DEVICECHANGE message reports: an arrival or a completed
// removal of a device interface, with its path; nullopt for any other event or
// device type.
std::optional<DeviceChange> DeviceChangeFromMessage(WPARAM event, LPARAM data);

class Win32DeviceEvents final : public DeviceEvents {
public:
    // `window` receives the notifications (settable later, before Start).
    explicit Win32DeviceEvents(HWND window = nullptr) : window_(window) {}
    ~Win32DeviceEvents() override;
    Win32DeviceEvents(const Win32DeviceEvents&) = delete;
    Win32DeviceEvents& operator=(const Win32DeviceEvents&) = delete;

    void SetWindow(HWND window) { window_ = window; }

    // RegisterDeviceNotificationW for the HID interface class on the window;
    // false with "RegisterDeviceNotification failed: <error number>" otherwise.
    bool Start(std::string& error) override;
    void Stop() override;
    int Fd() const override { return -1; }
    std::vector<DeviceChange> ReadPending() override;

    // For the window procedure: queues the change a WM_DEVICECHANGE reports.
    // Messages that arrive while not started are ignored.
    void OnDeviceChange(WPARAM event, LPARAM data);

private:
    HWND window_ = nullptr;
    HDEVNOTIFY registration_ = nullptr;
    std::mutex mutex_;
    std::vector<DeviceChange> pending_;
};

}  // namespace qv
