#pragma once
// The application icon on Windows, drawn when the program starts (a remote
// control handset, as on Linux), so the program needs no image file: the
// window's icons and the notification-area icon.

#include <cstdint>
#include <vector>

#include "common/win32/Windows.h"

namespace qv {

// The icon's pixels, `size` x `size`, top row first, each 0xAARRGGBB with
// straight (not premultiplied) alpha, edges smoothed by 4 x 4 samples per pixel.
std::vector<std::uint32_t> AppIconPixels(int size);

// Owns an icon handle made by CreateIconIndirect.
class IconHandle {
public:
    IconHandle() = default;
    explicit IconHandle(HICON icon) : icon_(icon) {}
    ~IconHandle();
    IconHandle(IconHandle&& other) noexcept;
    IconHandle& operator=(IconHandle&& other) noexcept;
    IconHandle(const IconHandle&) = delete;
    IconHandle& operator=(const IconHandle&) = delete;
    HICON Get() const { return icon_; }

private:
    HICON icon_ = nullptr;
};

// The application icon at `size` pixels; an empty handle when Windows refused.
IconHandle MakeAppIcon(int size);

}  // namespace qv
