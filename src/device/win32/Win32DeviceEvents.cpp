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

bool Win32DeviceEvents::Start(std::string& error) {
    if (registration_ != nullptr) {
        return true;
    }
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    ::HidD_GetHidGuid(&filter.dbcc_classguid);
    registration_ = ::RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (registration_ == nullptr) {
        error = "RegisterDeviceNotification failed: " + std::to_string(::GetLastError());
        return false;
    }
    return true;
}

void Win32DeviceEvents::Stop() {
    if (registration_ != nullptr) {
        if (!::UnregisterDeviceNotification(registration_)) {
            win32::DebugLogLastError("UnregisterDeviceNotification");
        }
        registration_ = nullptr;
    }
    std::lock_guard lock(mutex_);
    pending_.clear();
}

std::vector<DeviceChange> Win32DeviceEvents::ReadPending() {
    std::lock_guard lock(mutex_);
    return std::exchange(pending_, {});
}

void Win32DeviceEvents::OnDeviceChange(WPARAM event, LPARAM data) {
    if (registration_ == nullptr) {
        return;
    }
    if (auto change = DeviceChangeFromMessage(event, data)) {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(*change));
    }
}

}  // namespace qv
