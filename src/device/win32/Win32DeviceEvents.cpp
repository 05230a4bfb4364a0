#include "device/win32/Win32DeviceEvents.h"

#include <dbt.h>

// MinGW's HID headers lack the C linkage that the HID library's functions have.
extern "C" {
#include <hidsdi.h>
}

#include <cwchar>
#include <utility>

#include "common/DebugLog.h"
#include "common/win32/WideText.h"

namespace qv {

namespace {

constexpr const wchar_t* kWindowClass = L"QuorvaneDeviceEvents";

}  // namespace

std::optional<DeviceChange> DeviceChangeFromMessage(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) {
        return std::nullopt;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) {
        return std::nullopt;
    }
    const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data);
    // The path runs to its NUL, and never beyond the record's own size.
    const std::size_t room =
        (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) /
        sizeof(wchar_t);
    const std::wstring_view name(record->dbcc_name, wcsnlen(record->dbcc_name, room));
    DeviceChange change;
    change.kind =
        event == DBT_DEVICEARRIVAL ? DeviceChange::Kind::Arrival : DeviceChange::Kind::Removal;
    change.path = win32::WideToUtf8(name);
    return change;
}

Win32DeviceEvents::~Win32DeviceEvents() {
    Stop();
}

bool Win32DeviceEvents::Start(ChangesPending changesPending, std::string& error) {
    Stop();
    queue_.Open(std::move(changesPending));
    // 0 while the thread starts, 1 once it runs its loop, -1 when it failed.
    std::string failure;
    std::atomic<int> ready{0};
    thread_ = std::thread([this, &failure, &ready] { Run(failure, ready); });
    ready.wait(0);
    if (ready.load() < 0) {
        thread_.join();
        queue_.Close();
        error = failure;
        return false;
    }
    return true;
}

void Win32DeviceEvents::Stop() {
    if (thread_.joinable()) {
        ::PostMessageW(window_.load(), WM_CLOSE, 0, 0);
        thread_.join();
    }
    queue_.Close();
}

std::vector<DeviceChange> Win32DeviceEvents::ReadPending() {
    return queue_.Take();
}

void Win32DeviceEvents::Run(std::string& error, std::atomic<int>& ready) {
    const auto fail = [&](std::string reason) {
        error = std::move(reason);
        ready.store(-1);
        ready.notify_one();
    };
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32DeviceEvents::WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        fail(win32::ErrorText("RegisterClassExW", ::GetLastError()));
        return;
    }
    HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    instance, nullptr);
    if (window == nullptr) {
        fail(win32::ErrorText("CreateWindowExW", ::GetLastError()));
        return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    ::HidD_GetHidGuid(&filter.dbcc_classguid);
    registration_ = ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (registration_ == nullptr) {
        const DWORD reason = ::GetLastError();
        ::DestroyWindow(window);
        fail("RegisterDeviceNotification failed: " + std::to_string(reason));
        return;
    }
    window_.store(window);
    ready.store(1);
    ready.notify_one();

    // Until Stop posts WM_CLOSE: the window procedure then unregisters and
    // destroys the window.
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    window_.store(nullptr);
}

LRESULT CALLBACK Win32DeviceEvents::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    auto* self = reinterpret_cast<Win32DeviceEvents*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_DEVICECHANGE:
            if (self != nullptr) {
                if (std::optional<DeviceChange> change = DeviceChangeFromMessage(wParam, lParam)) {
                    self->queue_.Push(std::move(*change));
                }
            }
            return TRUE;
        case WM_CLOSE:
            if (self != nullptr && self->registration_ != nullptr) {
                if (!::UnregisterDeviceNotification(self->registration_)) {
                    win32::DebugLogLastError("UnregisterDeviceNotification");
                }
                self->registration_ = nullptr;
            }
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace qv
