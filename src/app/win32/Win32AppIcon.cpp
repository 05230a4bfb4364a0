#include "common/win32/Windows.h"

#include "app/win32/Win32AppIcon.h"

#include <utility>

#include "common/win32/WideText.h"

namespace qv {

IconHandle::~IconHandle() {
    if (icon_ != nullptr) {
        ::DestroyIcon(icon_);
    }
}

IconHandle::IconHandle(IconHandle&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}

IconHandle& IconHandle::operator=(IconHandle&& other) noexcept {
    if (this != &other) {
        if (icon_ != nullptr) {
            ::DestroyIcon(icon_);
        }
        icon_ = std::exchange(other.icon_, nullptr);
    }
    return *this;
}

IconHandle MakeAppIcon(int size) {
    if (size <= 0) {
        return IconHandle();
    }
    HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconResource),
                               IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    if (icon == nullptr) {
        win32::DebugLogLastError("LoadImageW(application icon, " + std::to_string(size) + ")");
    }
    return IconHandle(static_cast<HICON>(icon));
}

}  // namespace qv
