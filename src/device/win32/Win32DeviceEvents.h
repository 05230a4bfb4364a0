#pragma once
// Arrivals and removals of HID device interfaces on Windows. While started, a
// thread of the source's own keeps a message-only window registered for
// device-interface notifications of the HID class; its window procedure turns
// every WM_DEVICECHANGE into a change and makes the "changes pending" call.

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/win32/Windows.h"
#include "device/DeviceChangeQueue.h"
#include "device/DeviceEvents.h"

namespace qv {

// The change a WM_DEVICECHANGE message reports: an arrival or a completed
// removal of a device interface, with its path; nullopt for any other event or
// device type.
std::optional<DeviceChange> DeviceChangeFromMessage(WPARAM event, LPARAM data);

class Win32DeviceEvents final : public DeviceEvents {
public:
    Win32DeviceEvents() = default;
    ~Win32DeviceEvents() override;
    Win32DeviceEvents(const Win32DeviceEvents&) = delete;
    Win32DeviceEvents& operator=(const Win32DeviceEvents&) = delete;

    // Creates the window and registers it (RegisterDeviceNotificationW); false
    // with "RegisterDeviceNotification failed: <error number>" (or the failing
    // window call) otherwise.
    bool Start(ChangesPending changesPending, std::string& error) override;
    void Stop() override;
    std::vector<DeviceChange> ReadPending() override;

    // The window that receives the notifications; nullptr while not started.
    HWND Window() const { return window_.load(); }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    // The thread: the window, its registration and its message loop; `error`
    // and `ready` report how the start went.
    void Run(std::string& error, std::atomic<int>& ready);

    DeviceChangeQueue queue_;
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    HDEVNOTIFY registration_ = nullptr;  // the thread's
};

}  // namespace qv
